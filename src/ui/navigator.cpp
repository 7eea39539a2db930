#include "ui/navigator.h"

#include "data/errors.h"

namespace ui {

namespace {

// Before the shell is up (and in a window opened on its own) there is no main window to reach and
// no window to go on to.
class Nowhere : public Navigator {
public:
    QWidget* mainWindow() const override { return nullptr; }
    QLabel* statusPanel() const override { return nullptr; }
    QString currentSubject() const override { return {}; }
    void subjectsChanged() override {}
    void openStepTwo(QDialog*, bool) override { unavailable(); }
    bool composeFromBlueprint(QDialog*) override
    {
        unavailable();
        return false;
    }
    void logInAgain(QWidget*) override { unavailable(); }

private:
    [[noreturn]] static void unavailable()
    {
        throw AppError(QStringLiteral("程序的主窗口尚未建立，无法打开这个窗口。"));
    }
};

Nowhere g_nowhere;
Navigator* g_navigator = &g_nowhere;

}  // namespace

Navigator& navigator()
{
    return *g_navigator;
}

void setNavigator(Navigator* navigator)
{
    g_navigator = navigator ? navigator : &g_nowhere;
}

}  // namespace ui
