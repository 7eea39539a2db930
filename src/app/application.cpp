#include "app/application.h"
#include <QTimer>
#include <QPointer>

#include <optional>

#include "data/data_module.h"

#include "content/fonts.h"
#include "ui/handler.h"
#include "ui/platform.h"
#include "data/errors.h"
#include "data/sql.h"

#include <QFont>
#include <QLibraryInfo>
#include <QScreen>
#include <QTranslator>
#include <QWidget>

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const AppError& e) {
        ui::reportError(e.text());
    } catch (const std::exception& e) {
        ui::reportError(QString::fromLocal8Bit(e.what()));
    }
    return false;
}

namespace app {

void setup(QApplication& application)
{
    sql::keepFreedMemory();
    application.setApplicationName(QStringLiteral("Exavoro"));
    application.setApplicationDisplayName(QString());
    application.setApplicationVersion(QStringLiteral(EXAVORO_VERSION));
    application.setQuitOnLastWindowClosed(false);
    application.setFont(fonts::song(12));
    const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    auto* translator = new QTranslator(&application);
    if (translator->load(QLocale(QStringLiteral("zh_CN")), QStringLiteral("qtbase"), QStringLiteral("_"), dir) ||
        translator->load(QLocale(QStringLiteral("zh_CN")), QStringLiteral("qt"), QStringLiteral("_"), dir)) {
        application.installTranslator(translator);
    }
    platform::installKeyTracking(application);
}

int& failedLogins()
{
    static int count = 0;
    return count;
}

static std::optional<engine::Location>& chosenLocation()
{
    static std::optional<engine::Location> location;
    return location;
}

engine::Location bankLocation()
{
    if (chosenLocation()) return *chosenLocation();
    engine::Location file;
    file.file = TDM::defaultDatabasePath();
    return file;
}

void setBankLocation(const engine::Location& location)
{
    chosenLocation() = location;
}

}  // namespace app
