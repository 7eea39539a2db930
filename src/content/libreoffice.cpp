#include "content/libreoffice.h"

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include "data/errors.h"

namespace libreoffice {

namespace {

const QString kMissing = QStringLiteral(
    "需要安装 LibreOffice 才能读取 Word 97-2003（.doc）和 WPS（.wps）文档（Debian/Ubuntu：sudo apt install "
    "libreoffice-writer）。也可以先用 Word 或 WPS 把文件另存为 .docx 再导入。");

QString program()
{
    for (const char* name : {"soffice", "libreoffice"}) {
        const QString found = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!found.isEmpty()) return found;
    }
    return QString();
}

// Whether this system lets an unprivileged program run without network (a network namespace of
// its own); asked once.
bool canCutNetwork()
{
    static const bool can = [] {
        const QString unshare = QStandardPaths::findExecutable(QStringLiteral("unshare"));
        if (unshare.isEmpty()) return false;
        QProcess probe;
        probe.start(unshare, {QStringLiteral("-rn"), QStringLiteral("true")});
        return probe.waitForFinished(5000) && probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0;
    }();
    return can;
}

}  // namespace

bool available()
{
    return !program().isEmpty();
}

QString convertToDocx(const QString& path, const QString& outputDirectory, int timeoutMs)
{
    const QFileInfo info(path);
    const QString name = info.fileName();
    // Looked at before anything opens it: a device or a pipe never ends.
    if (!info.exists()) throw AppError(QStringLiteral("文件“%1”不存在。").arg(path));
    if (!info.isFile()) throw AppError(QStringLiteral("“%1”不是普通文件，无法读取。").arg(name));
    if (info.size() > kMaxInputBytes) {
        throw AppError(QStringLiteral("“%1”太大（%2 MB），最多允许 %3 MB。")
                           .arg(name)
                           .arg(info.size() >> 20)
                           .arg(kMaxInputBytes >> 20));
    }
    const QString exe = program();
    if (exe.isEmpty()) throw AppError(kMissing);

    // LibreOffice gets a copy under a plain name (a name starting with "-" would be an option) and
    // a profile of its own, both removed afterwards.
    QTemporaryDir work(QDir::tempPath() + QStringLiteral("/exavoro-office-XXXXXX"));
    if (!work.isValid()) throw AppError(QStringLiteral("无法建立临时文件夹，无法转换“%1”。").arg(name));
    const QString input = work.filePath(QStringLiteral("document.") + info.suffix().toLower());
    if (!QFile::copy(path, input)) throw AppError(QStringLiteral("无法读取文件“%1”。").arg(name));
    const QString converted = work.filePath(QStringLiteral("out"));
    QDir().mkpath(converted);
    QStringList arguments = {QStringLiteral("-env:UserInstallation=") +
                                 QUrl::fromLocalFile(work.filePath(QStringLiteral("profile"))).toString(),
                             QStringLiteral("--headless"),
                             QStringLiteral("--norestore"),
                             QStringLiteral("--nolockcheck"),
                             QStringLiteral("--convert-to"),
                             QStringLiteral("docx:MS Word 2007 XML"),
                             QStringLiteral("--outdir"),
                             converted,
                             input};
    QString command = exe;
    if (canCutNetwork()) {
        // A document may link pictures on the web; LibreOffice would fetch them while converting.
        arguments = QStringList{QStringLiteral("-rn"), exe} + arguments;
        command = QStandardPaths::findExecutable(QStringLiteral("unshare"));
    }

    QProcess process;
    const rlim_t written = rlim_t(kMaxInputBytes * 4);
    const rlim_t cpuSeconds = rlim_t(2 * (timeoutMs / 1000) + 5);
    process.setChildProcessModifier([written, cpuSeconds] {
        // Between fork and exec: its own process group, so that a timeout stops every process it
        // started; the kernel's limits should our own timeout ever fail.
        setpgid(0, 0);
        const struct rlimit fsize = {written, written};
        const struct rlimit cpu = {cpuSeconds, cpuSeconds + 2};
        setrlimit(RLIMIT_FSIZE, &fsize);
        setrlimit(RLIMIT_CPU, &cpu);
    });
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(command, arguments);
    if (!process.waitForStarted(10000)) throw AppError(kMissing);
    QElapsedTimer clock;
    clock.start();
    QByteArray said;
    while (process.state() != QProcess::NotRunning && clock.elapsed() <= timeoutMs) {
        process.waitForFinished(100);
        said += process.readAll();
        if (said.size() > 64 * 1024) said = said.right(16 * 1024);
    }
    if (process.state() != QProcess::NotRunning) {
        ::kill(-pid_t(process.processId()), SIGKILL);
        process.kill();
        process.waitForFinished(5000);
        throw AppError(QStringLiteral("LibreOffice 在 %1 秒内未能转换“%2”，已停止。请在 Word 或 WPS 中把它另存为 .docx "
                                      "后再导入。")
                           .arg(timeoutMs / 1000)
                           .arg(name));
    }
    said += process.readAll();
    const QString produced = QDir(converted).filePath(QStringLiteral("document.docx"));
    if (process.exitStatus() != QProcess::NormalExit || !QFileInfo(produced).isFile() ||
        QFileInfo(produced).size() == 0) {
        const QString detail = QString::fromLocal8Bit(said).trimmed().right(300);
        throw AppError(
            QStringLiteral("LibreOffice 无法转换“%1”：文件已损坏、受密码保护或不是 Word/WPS 文档。").arg(name) +
            (detail.isEmpty() ? QString() : QStringLiteral("（LibreOffice：") + detail + QStringLiteral("）")));
    }
    const QString target = QDir(outputDirectory).filePath(info.completeBaseName() + QStringLiteral(".docx"));
    QFile::remove(target);
    if (!QFile::rename(produced, target) && !QFile::copy(produced, target)) {
        throw AppError(QStringLiteral("无法保存“%1”转换出的文档。").arg(name));
    }
    return target;
}

}  // namespace libreoffice
