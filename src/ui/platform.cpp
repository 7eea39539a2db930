#include "ui/platform.h"

#include "ui/artwork.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTextBrowser>
#include <QTextStream>
#include <QUrl>
#include <QVBoxLayout>

// Kept in their own file: the X11 headers define macros that clash with Qt's names.
bool x11Indicators(bool& num, bool& caps, bool& scroll);

// The help page is compiled into the program's static library, whose resources are registered only
// when asked for; the macro must stand outside any namespace. Registering twice is harmless.
static void registerHelpResources()
{
    Q_INIT_RESOURCE(resources);
}

namespace platform {

static int g_beeps = 0;
static bool g_insert = false;

void beep()
{
    ++g_beeps;
    QApplication::beep();
}

int beepCount() { return g_beeps; }

namespace {
class InsertTracker : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            // Every key press reaches the filter once per receiver on its way up; count the
            // press only where it first arrives, at a widget with focus or a window.
            if (key->key() == Qt::Key_Insert && !key->isAutoRepeat() && watched->isWidgetType() &&
                static_cast<QWidget*>(watched) == QApplication::focusWidget()) {
                g_insert = !g_insert;
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace

LockKeys lockKeys()
{
    LockKeys keys;
    keys.insert = g_insert;
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        x11Indicators(keys.num, keys.caps, keys.scroll);
    }
    return keys;
}

void installKeyTracking(QApplication& application)
{
    application.installEventFilter(new InsertTracker(&application));
}

// On a Linux desktop, opening a file always "succeeds" as soon as xdg-open starts, even when no
// program is registered for the file's type. Ask the desktop's type registry first.
static bool desktopHasHandlerFor(const QString& path)
{
#if defined(Q_OS_LINUX)
    const QString mime = QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchExtension).name();
    if (QStandardPaths::findExecutable(QStringLiteral("xdg-mime")).isEmpty()) return true;
    QProcess query;
    query.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"), mime});
    if (!query.waitForFinished(3000)) {
        query.kill();
        return true;  // no answer: let the desktop try
    }
    return !query.readAllStandardOutput().trimmed().isEmpty();
#else
    Q_UNUSED(path);
    return true;
#endif
}

bool openDocument(const QString& path)
{
    const QUrl url = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
    // Without a display (offscreen) there is no desktop to ask; a URL handler may take the request.
    if (QGuiApplication::platformName() != QLatin1String("offscreen") && !desktopHasHandlerFor(path)) return false;
    return QDesktopServices::openUrl(url);
}

void showHelp(QWidget* parent)
{
    static QPointer<QDialog> window;
    if (!window) {
        registerHelpResources();
        window = new QDialog(parent, Qt::Window);
        window->setObjectName(QStringLiteral("HelpWindow"));
        window->setWindowTitle(QStringLiteral("Exavoro 帮助"));
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->resize(720, 560);
        auto* layout = new QVBoxLayout(window);
        auto* browser = new QTextBrowser(window);
        browser->setObjectName(QStringLiteral("HelpBrowser"));
        browser->setOpenExternalLinks(false);
        browser->setSource(QUrl(QStringLiteral("qrc:/help/help.html")));
        layout->addWidget(browser);
        auto* close = new QPushButton(QStringLiteral("关闭"), window);
        QObject::connect(close, &QPushButton::clicked, window, &QDialog::close);
        layout->addWidget(close, 0, Qt::AlignRight);
    }
    window->show();
    window->raise();
    window->activateWindow();
}

int selfCheck()
{
    showHelp(nullptr);
    QTextBrowser* browser = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->objectName() == QLatin1String("HelpWindow")) browser = top->findChild<QTextBrowser*>("HelpBrowser");
    }
    const QString text = browser ? browser->toPlainText().trimmed() : QString();
    QTextStream out(stdout);
    out.setEncoding(QStringConverter::Utf8);
    out << "help: " << (browser ? browser->documentTitle() : QString()) << " | " << text.size() << " | "
        << text.section(QLatin1Char('\n'), 0, 0) << Qt::endl;
    if (browser) browser->window()->close();
    return text.isEmpty() ? 1 : 0;
}

void showAbout(QWidget* parent)
{
    QMessageBox box(parent);
    box.setObjectName(QStringLiteral("AboutBox"));
    box.setWindowTitle(QStringLiteral("关于 Exavoro"));
    box.setIconPixmap(artwork::appIcon().pixmap(64, 64));
    box.setText(QStringLiteral("<b>Exavoro</b>"));
    box.setInformativeText(QStringLiteral("版本 %1<br>题库管理与组卷系统<br>Exavoro 开发团队 出品")
                               .arg(QCoreApplication::applicationVersion()));
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

}  // namespace platform
