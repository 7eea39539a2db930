#pragma once
#include <QString>

class QDialog;
class QLabel;
class QWidget;

namespace ui {

// What the shell (the main window and the login) offers the windows, so that a window reaches the
// main window, or another window it leads to, without knowing the class of either. The shell
// installs its navigator at start; until then every way leads nowhere.
class Navigator {
public:
    virtual ~Navigator() = default;

    // The program's current main window while it is shown, else null.
    virtual QWidget* mainWindow() const = 0;
    // The first panel of the main window's status bar, or null while there is no main window.
    virtual QLabel* statusPanel() const = 0;
    // The subject chosen in the main window's subject box (empty while there is no main window).
    virtual QString currentSubject() const = 0;
    // The subjects changed: the main window's subject box lists them afresh.
    virtual void subjectsChanged() = 0;

    // Step 1 of the wizard (总体设置, `settings`) goes on to step 2 and waits until it closes.
    virtual void openStepTwo(QDialog* settings, bool keepPaper) = 0;
    // Step 1's 双向细目表: the blueprint window over it. True when a paper was composed there and its
    // settings were handed over to `settings`.
    virtual bool composeFromBlueprint(QDialog* settings) = 0;
    // 注销 in the main window: a new login window over it, until that closes.
    virtual void logInAgain(QWidget* mainWindow) = 0;
};

Navigator& navigator();
// Installs the shell's navigator (not owned); null puts back the one that leads nowhere.
void setNavigator(Navigator* navigator);

}  // namespace ui
