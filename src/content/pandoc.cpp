#include "content/pandoc.h"

#include <sys/resource.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>

#include "content/zip_guard.h"
#include "data/errors.h"

namespace pandoc {

namespace {

const QString kMissing =
    QStringLiteral("需要安装 pandoc 软件包才能读取文档（Debian/Ubuntu：sudo apt install pandoc）。");

// Exit code of a Haskell program whose heap passed its +RTS -M limit or could not grow.
constexpr int kHeapExhausted = 251;

QString program()
{
    return QStandardPaths::findExecutable(QStringLiteral("pandoc"));
}

QString megabytes(qint64 bytes)
{
    return QString::number(bytes / (1024 * 1024));
}

// The options after which pandoc expects a value as the next argument.
bool takesValue(const QString& a)
{
    static const QStringList options = {QStringLiteral("-f"),     QStringLiteral("-t"),   QStringLiteral("-o"),
                                        QStringLiteral("--from"), QStringLiteral("--to"), QStringLiteral("--output"),
                                        QStringLiteral("-r"),     QStringLiteral("-w"),   QStringLiteral("--read"),
                                        QStringLiteral("--write")};
    return options.contains(a);
}

// The input files among pandoc's arguments (those that are not options or their values).
QStringList inputFiles(const QStringList& arguments)
{
    QStringList files;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        if (a.startsWith(QLatin1Char('-'))) {
            if (takesValue(a)) ++i;
            continue;
        }
        files << a;
    }
    return files;
}

// The output format the arguments ask for, and the position of its value (or -1).
QString outputFormat(const QStringList& arguments, int* at)
{
    *at = -1;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        if ((a == QLatin1String("-t") || a == QLatin1String("--to") || a == QLatin1String("-w") ||
             a == QLatin1String("--write")) &&
            i + 1 < arguments.size()) {
            *at = i + 1;
            return arguments.at(i + 1);
        }
        for (const char* prefix : {"--to=", "--write=", "-t"}) {
            if (a.startsWith(QLatin1String(prefix)) && a.size() > qsizetype(strlen(prefix))) {
                *at = i;
                return a.mid(qsizetype(strlen(prefix)));
            }
        }
    }
    // Without a format, pandoc takes it from the output file's extension.
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        QString output;
        if ((a == QLatin1String("-o") || a == QLatin1String("--output")) && i + 1 < arguments.size()) {
            output = arguments.at(i + 1);
        } else if (a.startsWith(QLatin1String("--output="))) {
            output = a.mid(9);
        }
        if (output.endsWith(QLatin1String(".docx"), Qt::CaseInsensitive)) return QStringLiteral("docx");
    }
    return QString();
}

// Pictures left out of a tree that the docx writer will turn into a document: it would fetch
// each from its path or URL. Formulas hold none; a picture found there was smuggled in.
QJsonValue withoutPictures(const QJsonValue& value)
{
    if (value.isArray()) {
        QJsonArray out;
        for (const QJsonValue& v : value.toArray()) out.append(withoutPictures(v));
        return out;
    }
    if (!value.isObject()) return value;
    QJsonObject o = value.toObject();
    if (o.value(QLatin1String("t")).toString() == QLatin1String("Image")) {
        return QJsonObject{{QStringLiteral("t"), QStringLiteral("Str")}, {QStringLiteral("c"), QString()}};
    }
    for (auto it = o.begin(); it != o.end(); ++it) it.value() = withoutPictures(it.value());
    return o;
}

// One bounded run of pandoc. `sandbox` is false only for the docx writer's step, whose input is a
// tree we checked (see run()).
QByteArray runOnce(const QString& exe, QStringList arguments, const QString& subject, int timeoutMs,
                   const QByteArray& input, const QString& failure, const Limits& limits, bool sandbox)
{
    if (sandbox) arguments.prepend(QStringLiteral("--sandbox"));
    // The heap limit comes first and is read by the runtime, not by pandoc itself.
    arguments =
        QStringList{QStringLiteral("+RTS"), QStringLiteral("-M%1m").arg(limits.heapMegabytes), QStringLiteral("-RTS")} +
        arguments;

    QProcess process;
    const rlim_t addressSpace = rlim_t(limits.addressSpaceBytes);
    const rlim_t written = rlim_t(limits.writtenFileBytes);
    // The kernel stops it should our own timeout ever fail; its garbage collector may keep two
    // processors busy, so its processor time may run ahead of the clock.
    const rlim_t cpuSeconds = rlim_t(2 * (timeoutMs / 1000) + 5);
    process.setChildProcessModifier([addressSpace, written, cpuSeconds] {
        // Runs in the child between fork and exec: only async-signal-safe calls.
        const struct rlimit as = {addressSpace, addressSpace};
        const struct rlimit fsize = {written, written};
        const struct rlimit cpu = {cpuSeconds, cpuSeconds + 2};
        setrlimit(RLIMIT_AS, &as);
        setrlimit(RLIMIT_FSIZE, &fsize);
        setrlimit(RLIMIT_CPU, &cpu);
    });
    process.start(exe, arguments);
    if (!process.waitForStarted(10000)) throw AppError(kMissing);
    if (!input.isEmpty()) process.write(input);
    process.closeWriteChannel();

    const auto stop = [&process] {
        process.kill();
        process.waitForFinished(5000);
    };
    QElapsedTimer clock;
    clock.start();
    QByteArray output;
    QByteArray errors;
    bool timedOut = false;
    while (process.state() != QProcess::NotRunning) {
        process.waitForReadyRead(50);
        output += process.readAllStandardOutput();
        // Only the end of what it says on its error channel is kept for the message.
        errors += process.readAllStandardError();
        if (errors.size() > 64 * 1024) errors = errors.right(16 * 1024);
        if (output.size() > limits.outputBytes) {
            stop();
            throw AppError(QStringLiteral("“%1”转换出的内容超过 %2 MB，已停止读取。文件太大，请分成几个较小的文件。")
                               .arg(subject, megabytes(limits.outputBytes)));
        }
        if (clock.elapsed() > timeoutMs) {
            stop();
            timedOut = true;
            break;
        }
    }
    output += process.readAllStandardOutput();
    errors += process.readAllStandardError();
    if (output.size() > limits.outputBytes) {
        throw AppError(QStringLiteral("“%1”转换出的内容超过 %2 MB，已停止读取。文件太大，请分成几个较小的文件。")
                           .arg(subject, megabytes(limits.outputBytes)));
    }
    const QString detail = QString::fromUtf8(errors).trimmed().right(300);
    const bool heap = process.exitStatus() == QProcess::NormalExit && process.exitCode() == kHeapExhausted;
    if (heap || detail.contains(QLatin1String("Heap exhausted")) || detail.contains(QLatin1String("out of memory")) ||
        detail.contains(QLatin1String("Cannot allocate memory"))) {
        throw AppError(QStringLiteral("“%1”太复杂：pandoc 处理它所需的内存超过上限（%2 MB），已停止。"
                                      "请检查文件内容，或把它分成几个较小的文件。")
                           .arg(subject, QString::number(limits.heapMegabytes)));
    }
    // Past its CPU limit the kernel ends it with a signal: as slow as a timeout.
    if (timedOut || (process.exitStatus() == QProcess::CrashExit && clock.elapsed() >= timeoutMs)) {
        throw AppError(QStringLiteral("pandoc 在 %1 秒内未能处理完“%2”，已停止。").arg(timeoutMs / 1000).arg(subject));
    }
    if (process.exitStatus() != QProcess::NormalExit) {
        // Killed by the kernel: its memory, its CPU time or the size of a file it wrote.
        throw AppError(QStringLiteral("pandoc 处理“%1”时用尽了允许的资源（内存、时间或写出文件的大小），"
                                      "已被停止。请检查文件内容，或把它分成几个较小的文件。")
                           .arg(subject));
    }
    if (process.exitCode() != 0) {
        const QString text =
            failure.isEmpty()
                ? QStringLiteral("无法读取“%1”：文件已损坏、受密码保护或不是所选格式的文档。").arg(subject)
                : failure;
        throw AppError(text +
                       (detail.isEmpty() ? QString() : QStringLiteral("（pandoc：") + detail + QStringLiteral("）")));
    }
    return output;
}

}  // namespace

bool available()
{
    return !program().isEmpty();
}

QByteArray run(const QStringList& arguments, const QString& subject, int timeoutMs, const QByteArray& input,
               const QString& failure, const Limits& limits)
{
    const QString exe = program();
    if (exe.isEmpty()) throw AppError(kMissing);
    const QString tooLarge = QStringLiteral("“%1”太大（%2 MB），最多允许 %3 MB。");
    if (input.size() > limits.inputBytes) {
        throw AppError(tooLarge.arg(subject, megabytes(input.size()), megabytes(limits.inputBytes)));
    }
    for (const QString& file : inputFiles(arguments)) {
        const QFileInfo info(file);
        // Only regular files: a device or a pipe named as input never ends.
        if (info.exists() && !info.isFile()) {
            throw AppError(QStringLiteral("“%1”不是普通文件，无法读取。").arg(info.fileName()));
        }
        if (info.size() > limits.inputBytes) {
            throw AppError(tooLarge.arg(info.fileName(), megabytes(info.size()), megabytes(limits.inputBytes)));
        }
    }
    int formatAt = -1;
    const QString format = outputFormat(arguments, &formatAt);
    if (format != QLatin1String("docx")) {
        return runOnce(exe, arguments, subject, timeoutMs, input, failure, limits, true);
    }
    // This pandoc reads the docx writer's parts from its data files, which --sandbox forbids. The
    // input is therefore read in the sandbox into a tree, its pictures left out (the writer would
    // fetch them), and only that tree is written out as .docx, with nothing left to read or fetch.
    QStringList reading = arguments;
    QStringList writing;
    if (formatAt < 0) {
        reading << QStringLiteral("--to=json");
    } else if (reading.at(formatAt).startsWith(QLatin1Char('-'))) {
        reading[formatAt] = QStringLiteral("--to=json");
    } else {
        reading[formatAt] = QStringLiteral("json");
    }
    for (int i = 0; i < reading.size(); ++i) {
        const QString a = reading.at(i);
        if ((a == QLatin1String("-o") || a == QLatin1String("--output")) && i + 1 < reading.size()) {
            writing << a << reading.at(i + 1);
            reading.remove(i, 2);
            --i;
        } else if (a.startsWith(QLatin1String("--output="))) {
            writing << a;
            reading.removeAt(i);
            --i;
        }
    }
    QElapsedTimer clock;
    clock.start();
    // A tree handed over as JSON on the input (the formulas' documents) is read here rather than by
    // a sandboxed pandoc: its JSON reader fetches nothing, and the same pictures are left out below.
    const bool treeGiven = reading.contains(QStringLiteral("--from=json")) && inputFiles(arguments).isEmpty();
    const QByteArray json = treeGiven ? input : runOnce(exe, reading, subject, timeoutMs, input, failure, limits, true);
    const QJsonDocument tree = QJsonDocument::fromJson(json);
    if (!tree.isObject()) throw AppError(failure.isEmpty() ? QStringLiteral("pandoc 的输出无法读取。") : failure);
    const QByteArray cleaned = QJsonDocument(withoutPictures(tree.object()).toObject()).toJson(QJsonDocument::Compact);
    const int left = std::max<int>(1000, timeoutMs - int(clock.elapsed()));
    return runOnce(exe, QStringList{QStringLiteral("--from=json"), QStringLiteral("--to=docx")} + writing, subject,
                   left, cleaned, failure, limits, false);
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

QByteArray documentTree(const QString& path, int timeoutMs)
{
    const QString name = QFileInfo(path).fileName();
    const QString format = inputFormat(path);
    if (format.isEmpty()) {
        throw AppError(QStringLiteral("不支持文件“%1”的格式，请选择 Word 文档（.docx、.doc）、WPS 文档（.wps）、OpenDocument 文本（.odt）、"
                                      "Markdown（.md）、纯文本（.txt）、Moodle XML（.xml）或 GIFT（.gift）文件。")
                           .arg(name));
    }
    if (!QFileInfo(path).isFile()) throw AppError(QStringLiteral("文件“%1”不存在。").arg(path));
    // Without pandoc no document is read, whatever the file holds: say what to install first.
    if (!available()) throw AppError(kMissing);
    if (format == QLatin1String("docx") || format == QLatin1String("odt")) packed::check(path, name);
    return run({QStringLiteral("-f"), format, QStringLiteral("-t"), QStringLiteral("json"), path}, name, timeoutMs);
}

}  // namespace pandoc
