#include "app/application.h"

#include "app/message_box.h"
#include "app/platform.h"
#include "data/errors.h"

#include <QFont>
#include <QLibraryInfo>
#include <QScreen>
#include <QWidget>
#include <QTranslator>

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const AppError& e) {
        app::reportError(e.text());
    } catch (const std::exception& e) {
        app::reportError(QString::fromLocal8Bit(e.what()));
    }
    return false;
}

namespace app {

static bool g_terminating = false;
static std::function<void()> g_terminateHook;

QFont songFont(int pixelSize, bool bold)
{
    QFont font;
    // 宋体 where it is installed, else a Song-style CJK font.
    font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("Noto Serif CJK SC"),
                      QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Noto Sans CJK")});
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

void setup(QApplication& application)
{
    application.setApplicationName(QStringLiteral("Exavoro"));
    application.setApplicationDisplayName(QString());
    application.setApplicationVersion(QStringLiteral(EXAVORO_VERSION));
    application.setQuitOnLastWindowClosed(false);
    application.setFont(songFont(12));
    const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    auto* translator = new QTranslator(&application);
    if (translator->load(QLocale(QStringLiteral("zh_CN")), QStringLiteral("qtbase"), QStringLiteral("_"), dir) ||
        translator->load(QLocale(QStringLiteral("zh_CN")), QStringLiteral("qt"), QStringLiteral("_"), dir)) {
        application.installTranslator(translator);
    }
    platform::installKeyTracking(application);
}

void centreOnScreen(QWidget* window)
{
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        window->move(screen->availableGeometry().center() - window->rect().center());
    }
}

void reportError(const QString& text)
{
    MsgBox::error(text);
}

void run(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const AppError& e) {
        reportError(e.text());
    } catch (const std::exception& e) {
        reportError(QString::fromLocal8Bit(e.what()));
    }
}

void terminate()
{
    g_terminating = true;
    if (g_terminateHook) {
        g_terminateHook();
        return;
    }
    // exit() tells every event loop of the thread to return, the nested ones included.
    QCoreApplication::exit(0);
}

void setTerminateHook(std::function<void()> hook) { g_terminateHook = std::move(hook); }

bool terminating() { return g_terminating; }
void resetTermination() { g_terminating = false; }

int& failedLogins()
{
    static int count = 0;
    return count;
}

}  // namespace app
