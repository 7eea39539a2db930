#include "content/pandoc.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include "data/errors.h"

namespace pandoc {

namespace {

const QString kMissing =
    QStringLiteral("需要安装 pandoc 软件包才能读取文档（Debian/Ubuntu：sudo apt install pandoc）。");

QString program()
{
    return QStandardPaths::findExecutable(QStringLiteral("pandoc"));
}

}  // namespace

bool available()
{
    return !program().isEmpty();
}

QByteArray run(const QStringList& arguments, const QString& subject, int timeoutMs, const QByteArray& input,
               const QString& failure)
{
    const QString exe = program();
    if (exe.isEmpty()) throw AppError(kMissing);
    QProcess process;
    process.start(exe, arguments);
    if (!process.waitForStarted(10000)) throw AppError(kMissing);
    if (!input.isEmpty()) process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        throw AppError(QStringLiteral("pandoc 在 %1 秒内未能处理完“%2”，已停止。").arg(timeoutMs / 1000).arg(subject));
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        const QString detail = QString::fromUtf8(process.readAllStandardError()).trimmed().left(300);
        const QString text = failure.isEmpty()
                                 ? QStringLiteral("无法读取“%1”：文件已损坏、受密码保护或不是所选格式的文档。").arg(subject)
                                 : failure;
        throw AppError(text + (detail.isEmpty() ? QString() : QStringLiteral("（pandoc：") + detail + QStringLiteral("）")));
    }
    return process.readAllStandardOutput();
}

QString inputFormat(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("docx")) return QStringLiteral("docx");
    if (suffix == QLatin1String("odt")) return QStringLiteral("odt");
    if (suffix == QLatin1String("md") || suffix == QLatin1String("txt"))
        return QStringLiteral("markdown+tex_math_single_backslash");
    return QString();
}

QByteArray documentTree(const QString& path, const QString& mediaDir, int timeoutMs)
{
    const QString name = QFileInfo(path).fileName();
    const QString format = inputFormat(path);
    if (format.isEmpty()) {
        throw AppError(QStringLiteral("不支持文件“%1”的格式，请选择 Word 文档（.docx）、OpenDocument 文本（.odt）、"
                                      "Markdown（.md）、纯文本（.txt）、Moodle XML（.xml）或 GIFT（.gift）文件。")
                           .arg(name));
    }
    if (!QFileInfo(path).isFile()) throw AppError(QStringLiteral("文件“%1”不存在。").arg(path));
    return run({QStringLiteral("-f"), format, QStringLiteral("-t"), QStringLiteral("json"),
                QStringLiteral("--extract-media=") + mediaDir, path},
               name, timeoutMs);
}

}  // namespace pandoc
