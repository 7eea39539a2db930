#include "data/db_tool.h"

#include <termios.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QTextStream>
#include <cstdio>
#include <iostream>
#include <string>

#include "data/backup.h"
#include "data/data_module.h"
#include "data/demo.h"
#include "data/errors.h"

namespace {

QTextStream& out()
{
    static QTextStream s(stdout);
    return s;
}

QTextStream& err()
{
    static QTextStream s(stderr);
    return s;
}

const char* const kUsage =
    "用法：\n"
    "  exavoro-db init --admin 用户名          新建空数据库 Data/examdb.db，含一个超级用户（密码在终端输入两次）\n"
    "  exavoro-db demo                        新建示例数据库 Data/examdb.db（三个示例账户与一个示例题库）\n"
    "  exavoro-db generate --questions N      新建含 N 道试题的大型测试题库 Data/examdb.db\n"
    "  exavoro-db backup [-o 文件]            在程序运行时也能写出题库的一致副本\n"
    "                                         （默认 Data/backup/examdb-日期-时间.db，不覆盖已有文件）\n"
    "  exavoro-db restore 文件                检查文件后用它替换题库；原来的题库保留为\n"
    "                                         examdb.db.before-restore-日期-时间；程序使用题库时拒绝\n"
    "  exavoro-db check                       检查题库：完整性、数据表与字段、孤立的记录；有问题时退出码为 1\n"
    "  选项 --file 路径 可改用其他数据库文件。\n";

// Reads a line from the terminal without echo; from a pipe it simply reads a line.
QString readSecret(const QString& prompt)
{
    err() << prompt << Qt::flush;
    termios old{};
    const bool tty = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &old) == 0;
    if (tty) {
        termios quiet = old;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string line;
    const bool got = static_cast<bool>(std::getline(std::cin, line));
    if (tty) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &old);
        err() << "\n" << Qt::flush;
    }
    if (!got) throw AppError(QStringLiteral("未能读取密码。"));
    return QString::fromStdString(line);
}

QString option(const QStringList& args, const QString& name)
{
    const int at = args.indexOf(name);
    if (at < 0) return QString();
    if (at + 1 >= args.size()) throw AppError(QStringLiteral("选项 %1 缺少取值。").arg(name));
    return args.at(at + 1);
}

// Progress of long work on a terminal: one line rewritten in place, cleared when done. Nothing is
// printed when standard error is not a terminal (scripts, tests).
class TerminalProgress {
public:
    explicit TerminalProgress(const QString& action) : action_(action), tty_(isatty(STDERR_FILENO)) {}
    ~TerminalProgress()
    {
        if (tty_ && shown_ >= 0) err() << "\r\033[K" << Qt::flush;
    }
    void operator()(qint64 done, qint64 total)
    {
        if (!tty_ || total <= 0) return;
        const int percent = static_cast<int>(100 * std::min(done, total) / total);
        if (percent == shown_) return;
        shown_ = percent;
        err() << QStringLiteral("\r%1…… %2%").arg(action_).arg(percent) << Qt::flush;
    }
    backup::Progress callback()
    {
        return [this](qint64 done, qint64 total) { (*this)(done, total); };
    }

private:
    QString action_;
    bool tty_;
    int shown_ = -1;
};

int runCheck(const QString& path)
{
    backup::CheckReport report;
    {
        TerminalProgress progress(QStringLiteral("正在检查题库"));
        report = backup::check(path, progress.callback());
    }
    if (report.clean()) {
        out() << QStringLiteral("题库 %1 检查通过：完整性、数据表与字段均正常，没有孤立的记录。\n").arg(path)
              << Qt::flush;
        return 0;
    }
    out() << QStringLiteral("题库 %1 有问题：\n").arg(path);
    for (const QString& line : report.damage) out() << QStringLiteral("  损坏：%1\n").arg(line);
    for (const QString& line : report.orphans) out() << QStringLiteral("  孤立记录：%1\n").arg(line);
    out() << Qt::flush;
    return 1;
}

}  // namespace

int runDbTool(const QStringList& arguments)
{
    const QStringList args = arguments.mid(1);
    if (args.isEmpty() || args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        (args.isEmpty() ? err() : out()) << QString::fromUtf8(kUsage) << Qt::flush;
        return args.isEmpty() ? 2 : 0;
    }
    try {
        QString path = option(args, QStringLiteral("--file"));
        path = path.isEmpty() ? TDM::defaultDatabasePath() : QDir::current().absoluteFilePath(path);
        const QString command = args.first();
        if (command == QLatin1String("init")) {
            const QString admin = option(args, QStringLiteral("--admin"));
            if (admin.isEmpty()) throw AppError(QStringLiteral("请用 --admin 指定超级用户的用户名。"));
            if (admin.size() > 20) throw AppError(QStringLiteral("用户名最多 20 个字符。"));
            if (QFileInfo::exists(path)) throw AppError(QStringLiteral("数据库文件“%1”已存在，不会覆盖。").arg(path));
            const QString first = readSecret(QStringLiteral("请输入 %1 的密码：").arg(admin));
            const QString second = readSecret(QStringLiteral("请再次输入密码："));
            if (first != second) throw AppError(QStringLiteral("两次输入的密码不一致。"));
            if (first.size() > 10) throw AppError(QStringLiteral("密码最多 10 个字符（登录窗口只接受 10 个字符）。"));
            demo::createDatabase(path, {{admin, first, 3}});
            out() << QStringLiteral("已创建数据库 %1，超级用户：%2\n").arg(path, admin) << Qt::flush;
            return 0;
        }
        if (command == QLatin1String("demo")) {
            demo::createDemoDatabase(path);
            out() << QStringLiteral("已创建示例数据库 %1\n示例账户（用户名 / 密码 / 权限）：\n").arg(path);
            for (const demo::Account& a : demo::accounts()) {
                out() << QStringLiteral("  %1 / %2 / %3\n").arg(a.name, a.password, demo::levelDescription(a.level));
            }
            out() << Qt::flush;
            return 0;
        }
        if (command == QLatin1String("generate")) {
            bool ok = false;
            const int n = option(args, QStringLiteral("--questions")).toInt(&ok);
            if (!ok || n < 0) throw AppError(QStringLiteral("请用 --questions N 指定试题数量（非负整数）。"));
            {
                TerminalProgress progress(QStringLiteral("正在生成题库"));
                demo::createGeneratedDatabase(path, n, 1, progress.callback());
            }
            out() << QStringLiteral("已创建含 %1 道试题的数据库 %2\n").arg(n).arg(path) << Qt::flush;
            return 0;
        }
        if (command == QLatin1String("backup")) {
            QString target = option(args, QStringLiteral("-o"));
            target = target.isEmpty() ? backup::defaultBackupPath(path) : QDir::current().absoluteFilePath(target);
            {
                TerminalProgress progress(QStringLiteral("正在备份题库"));
                backup::backupTo(path, target, progress.callback());
            }
            out() << QStringLiteral("已备份题库 %1 到 %2\n").arg(path, target) << Qt::flush;
            return 0;
        }
        if (command == QLatin1String("restore")) {
            const QString file = args.value(1);
            if (file.isEmpty() || file.startsWith(QLatin1Char('-'))) {
                throw AppError(QStringLiteral("请指定用来恢复的备份文件：exavoro-db restore 文件"));
            }
            QString kept;
            {
                TerminalProgress progress(QStringLiteral("正在恢复题库"));
                kept = backup::restore(path, QDir::current().absoluteFilePath(file), progress.callback());
            }
            out() << QStringLiteral("已用 %1 恢复题库 %2\n").arg(QDir::current().absoluteFilePath(file), path);
            if (!kept.isEmpty()) out() << QStringLiteral("原来的题库保留为 %1\n").arg(kept);
            out() << Qt::flush;
            return 0;
        }
        if (command == QLatin1String("check")) return runCheck(path);
        err() << QStringLiteral("未知命令：%1\n").arg(command) << QString::fromUtf8(kUsage) << Qt::flush;
        return 2;
    } catch (const AppError& e) {
        err() << QStringLiteral("错误：%1\n").arg(QString(e.text()).replace(QLatin1Char('\n'), QLatin1Char(' ')))
              << Qt::flush;
        return 1;
    }
}
