#include "ui/handler.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include "data/errors.h"
#include "ui/message_box.h"

namespace ui {

static bool g_terminating = false;
static std::function<void()> g_terminateHook;

void centreOnScreen(QWidget* window)
{
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        window->move(screen->availableGeometry().center() - window->rect().center());
    }
}

namespace {
// SQLite's messages for the failures a user meets, matched case-insensitively within the text.
struct KnownFailure {
    const char* needle;
    const char* explanation;
};
const KnownFailure kKnownFailures[] = {
    {"database is locked", "题库正被另一个程序使用（数据库已锁定），操作没有完成。请稍后重试。"},
    {"database table is locked", "题库正被另一个程序使用（数据表已锁定），操作没有完成。请稍后重试。"},
    {"database schema is locked", "题库正被另一个程序使用（数据库已锁定），操作没有完成。请稍后重试。"},
    {"readonly database", "题库文件是只读的，修改无法保存。请检查题库文件及其文件夹的写入权限。"},
    {"disk is full", "磁盘已满，修改无法保存。请腾出磁盘空间后重试。"},
    {"disk image is malformed", "题库文件已损坏，无法读写。请换用备份的题库文件。"},
    {"file is not a database", "这个文件不是题库文件或已损坏，无法读写。请换用备份的题库文件。"},
    {"constraint failed", "修改违反了题库的数据规则（例如编号重复或缺少必填的值），没有保存。"},
    {"no such table", "题库文件中缺少本程序需要的数据表，它可能不是本程序的题库，或已被别的程序改动。"},
    {"no such column", "题库文件的数据表中缺少本程序需要的字段，它可能不是本程序的题库，或已被别的程序改动。"},
    {"disk i/o error", "读写题库文件时发生磁盘错误。请检查磁盘或网络文件夹后重试。"},
    {"unable to open database file", "无法打开题库文件。请检查文件是否存在以及文件夹的访问权限。"},
};
}  // namespace

ErrorReport explainError(const QString& text)
{
    const QString statementMark = QStringLiteral("\n语句：");
    const int mark = text.indexOf(statementMark);
    const QString message = mark >= 0 ? text.left(mark) : text;
    for (const KnownFailure& known : kKnownFailures) {
        if (message.contains(QLatin1String(known.needle), Qt::CaseInsensitive)) {
            return {QString::fromUtf8(known.explanation), QStringLiteral("数据库的原始信息：") + text};
        }
    }
    // Any other failure of a statement: its message stays in view (a trigger may word it for the
    // user); the statement goes below.
    if (mark >= 0) return {QStringLiteral("数据库操作没有完成：") + message, text.mid(mark + 1)};
    return {text, QString()};
}

void reportError(const QString& text)
{
    const ErrorReport report = explainError(text);
    MsgBox::error(report.text, nullptr, report.detail);
}

bool run(const std::function<void()>& handler)
{
    try {
        handler();
        return true;
    } catch (const AppError& e) {
        reportError(e.text());
    } catch (const std::exception& e) {
        reportError(QString::fromLocal8Bit(e.what()));
    }
    return false;
}

void load(QWidget* window, const std::function<void()>& loading)
{
    if (run(loading)) return;
    QPointer<QWidget> guarded(window);
    QTimer::singleShot(0, window, [guarded] {
        if (guarded && guarded->isVisible()) guarded->close();
    });
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

void setTerminateHook(std::function<void()> hook)
{
    g_terminateHook = std::move(hook);
}

bool terminating()
{
    return g_terminating;
}
void resetTermination()
{
    g_terminating = false;
}

}  // namespace ui
