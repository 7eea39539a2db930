#include "app/navigator.h"

#include <QComboBox>
#include <QLabel>

#include "app/login.h"
#include "app/main_window.h"
#include "ui/forms.h"
#include "ui/handler.h"
#include "ui/navigator.h"
#include "windows/blueprint/blueprint_window.h"
#include "windows/wizard/detail_settings.h"
#include "windows/wizard/overall_settings.h"

namespace app {

namespace {

class ShellNavigator : public ui::Navigator {
public:
    QWidget* mainWindow() const override { return MainF && MainF->isVisible() ? MainF.data() : nullptr; }

    QLabel* statusPanel() const override { return MainF ? MainF->StatusPanels[0] : nullptr; }

    QString currentSubject() const override { return MainF ? MainF->ComboBoxKmm->currentText() : QString(); }

    void subjectsChanged() override
    {
        if (MainF) MainF->fillSubjectBox();
    }

    void openStepTwo(QDialog* settings, bool keepPaper) override
    {
        auto* step2 = new TXxszF(settings);
        XxszF = step2;
        step2->setKeepPaper(keepPaper);
        step2->exec();
        // Step 2 has closed step 1 as well; both are released with their owner.
    }

    bool composeFromBlueprint(QDialog* settings) override
    {
        auto* step1 = qobject_cast<TZtszF*>(settings);
        BlueprintWindow window(settings, step1);
        if (window.exec() != QDialog::Accepted) return false;
        if (step1) window.handOver(step1);
        return true;
    }

    void logInAgain(QWidget* mainWindow) override
    {
        auto* dialog = new TDLF(mainWindow, false);
        DLF = dialog;
        dialog->setWindowModality(Qt::ApplicationModal);
        dialog->exec();
        if (!ui::terminating()) dialog->deleteLater();
    }
};

}  // namespace

void installNavigator()
{
    static ShellNavigator navigator;
    ui::setNavigator(&navigator);
}

}  // namespace app
