#include "app/application.h"
#include "app/desktop_start.h"
#include "ui/forms.h"
#include "app/login.h"
#include "app/main_window.h"
#include "app/navigator.h"
#include "ui/platform.h"
#include "app/startup_probe.h"
#include "data/data_module.h"
#include "data/errors.h"
#include "ui/handler.h"

#include <QDir>

int main(int argc, char** argv)
{
    Application application(argc, argv);
    app::setup(application);
    app::installNavigator();
    if (application.arguments().contains(QStringLiteral("--self-check"))) return platform::selfCheck();
    // Started from the desktop menu: work in ~/Exavoro, offering a bank when it has none.
    if (desktop::wanted(application.arguments())) ui::run([] { desktop::prepare(); });
    // The bank: a server named by --server or by the settings file, else the file under the
    // working folder. A bad setting is reported before the login window shows.
    try {
        app::setBankLocation(engine::chooseLocation(application.arguments(), QDir::currentPath()));
    } catch (const AppError& e) {
        ui::reportError(e.text());
        return 1;
    }

    // The login window is created first and is the program's main window; the data module
    // follows. The main window that stands until a login makes its own is built once the login
    // window has been painted, so that the login window appears without waiting for it; then,
    // while the user types, a bank file is opened ahead, so that "确定" only reads the datasets.
    // Whatever goes wrong there is left for the login to report.
    auto* login = new TDLF(nullptr, true);
    DLF = login;
    DM = new TDM(&application);
    TMainF* unusedMain = nullptr;
    app::afterFirstPaint(login, [&unusedMain] {
        unusedMain = new TMainF(nullptr);
        if (!MainF) MainF = unusedMain;
        DM->openBankAhead(app::bankLocation());
    });

    app::probeStartup(login);  // only with EXAVORO_STARTUP_PROBE set (the benchmark)
    login->show();
    const int result = application.exec();

    delete unusedMain;
    delete login;
    delete DM;
    DM = nullptr;
    return result;
}
