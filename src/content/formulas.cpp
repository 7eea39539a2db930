#include "content/formulas.h"

#include <zip.h>

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QSet>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include "content/pandoc.h"
#include "data/errors.h"
#include "content/zip_guard.h"
#include "data/sql.h"

#ifdef Q_OS_LINUX
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace formulas {

namespace {

// What formula_omml holds in place of OMML for a formula pandoc did not convert in time. OMML
// always starts with "<", so the two cannot be confused.
const QString kTimedOut = QStringLiteral("timeout");

QString latexKey(const QString& latex)
{
    return QString::fromLatin1(QCryptographicHash::hash(latex.toUtf8(), QCryptographicHash::Sha256).toHex());
}

// A formula as pandoc's formula reader gets it: on one line and with a bare "%" meaning a percent
// sign rather than the start of a comment that would swallow the rest of the formula.
QString forPandoc(const QString& latex)
{
    QString out;
    out.reserve(latex.size() + 8);
    int backslashes = 0;
    for (const QChar c : latex) {
        if (c == u'\n' || c == u'\r') {
            out += u' ';
        } else if (c == u'%' && backslashes % 2 == 0) {
            out += QStringLiteral("\\%");
        } else {
            out += c;
        }
        backslashes = c == u'\\' ? backslashes + 1 : 0;
    }
    return out;
}

QByteArray readZipEntry(const QString& path, const char* name)
{
    int error = 0;
    zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
    if (!archive) return {};
    QByteArray bytes;
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat(archive, name, 0, &st) == 0 && (st.valid & ZIP_STAT_SIZE) &&
        st.size <= zip_uint64_t(packed::Limits().xmlBytes)) {
        if (zip_file_t* file = zip_fopen(archive, name, 0)) {
            bytes.resize(qsizetype(st.size));
            if (zip_fread(file, bytes.data(), st.size) != zip_int64_t(st.size)) bytes.clear();
            zip_fclose(file);
        }
    }
    zip_close(archive);
    return bytes;
}

// Copies the element the reader stands on, with everything inside it, as a standalone fragment
// that declares the namespaces it uses.
QString copyElement(QXmlStreamReader& r)
{
    QString out;
    QXmlStreamWriter w(&out);
    int depth = 0;
    do {
        if (r.isStartElement() && depth == 0) {
            // The root carries the declarations, so the children keep the usual prefixes.
            w.writeStartElement(QStringLiteral("m:") + r.name().toString());
            w.writeNamespace(QLatin1String(kMathNamespace), QStringLiteral("m"));
            w.writeNamespace(QStringLiteral("http://schemas.openxmlformats.org/wordprocessingml/2006/main"),
                             QStringLiteral("w"));
            for (const QXmlStreamAttribute& a : r.attributes()) w.writeAttribute(a);
            ++depth;
        } else if (r.isStartElement()) {
            w.writeStartElement(r.namespaceUri().toString(), r.name().toString());
            for (const QXmlStreamAttribute& a : r.attributes()) w.writeAttribute(a);
            ++depth;
        } else if (r.isEndElement()) {
            w.writeEndElement();
            --depth;
        } else if (r.isCharacters()) {
            w.writeCharacters(r.text().toString());
        }
        if (depth == 0) break;
        r.readNext();
    } while (!r.atEnd() && !r.hasError());
    return out;
}

// The one m:oMath element of pandoc's document for a single formula; empty when the document holds
// none (pandoc writes a formula it cannot convert as plain text) or more than one.
QString readConverted(const QByteArray& documentXml)
{
    QXmlStreamReader r(documentXml);
    const QString m = QLatin1String(kMathNamespace);
    QString math;
    int found = 0;
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement() && r.namespaceUri() == m && r.name() == u"oMath") {
            ++found;
            math = copyElement(r);
        }
    }
    if (r.hasError() || found != 1) return QString();
    return math;
}

// The version of pandoc's document tree that the installed pandoc reads, asked of pandoc once.
QJsonValue apiVersion()
{
    static QMutex mutex;
    static QJsonValue version;
    QMutexLocker lock(&mutex);
    if (version.isUndefined() || version.isNull()) {
        const QByteArray empty =
            pandoc::run({QStringLiteral("--from=markdown"), QStringLiteral("--to=json")}, QStringLiteral("公式"),
                        kFormulaTimeoutMs, QByteArray(), QStringLiteral("pandoc 无法运行，公式没有转换。"));
        const QJsonValue found = QJsonDocument::fromJson(empty).object().value(QStringLiteral("pandoc-api-version"));
        if (!found.isArray()) throw AppError(QStringLiteral("无法识别 pandoc 的版本，公式没有转换。"));
        version = found;
    }
    return version;
}

// Formulas as pandoc's document tree: a paragraph for each, holding nothing but the formula.
QByteArray documentOf(const QStringList& latex)
{
    QJsonArray blocks;
    for (const QString& source : latex) {
        const QJsonArray math{QJsonObject{{QStringLiteral("t"), QStringLiteral("InlineMath")}}, forPandoc(source)};
        blocks.append(QJsonObject{
            {QStringLiteral("t"), QStringLiteral("Para")},
            {QStringLiteral("c"),
             QJsonArray{QJsonObject{{QStringLiteral("t"), QStringLiteral("Math")}, {QStringLiteral("c"), math}}}}});
    }
    const QJsonObject document{{QStringLiteral("pandoc-api-version"), apiVersion()},
                               {QStringLiteral("meta"), QJsonObject()},
                               {QStringLiteral("blocks"), blocks}};
    return QJsonDocument(document).toJson(QJsonDocument::Compact);
}

// The m:oMath of each paragraph of pandoc's document, in order; empty for a paragraph that holds
// none (a formula pandoc could not convert is written as plain text) or more than one. Empty as a
// whole when the document is not one paragraph for each of `count` formulas.
QStringList readConvertedEach(const QByteArray& documentXml, qsizetype count)
{
    QXmlStreamReader r(documentXml);
    const QString m = QLatin1String(kMathNamespace);
    const QString w = QStringLiteral("http://schemas.openxmlformats.org/wordprocessingml/2006/main");
    QStringList each;
    int inParagraph = 0;
    int found = 0;
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement() && r.namespaceUri() == w && r.name() == u"p") {
            if (inParagraph++ > 0) return {};  // no paragraph inside another
            each.append(QString());
            found = 0;
        } else if (r.isEndElement() && r.namespaceUri() == w && r.name() == u"p") {
            --inParagraph;
        } else if (r.isStartElement() && r.namespaceUri() == m && r.name() == u"oMath") {
            if (inParagraph == 0 || each.size() > count) return {};
            const QString math = copyElement(r);
            each.last() = ++found == 1 ? math : QString();
        }
    }
    if (r.hasError() || each.size() != count) return {};
    return each;
}

long long currentThreadId()
{
#ifdef Q_OS_LINUX
    return static_cast<long long>(::syscall(SYS_gettid));
#else
    return 0;
#endif
}

// Ends the pandoc processes that the given thread started (Linux keeps each thread's children
// apart), so that a cancelled conversion does not wait for pandoc's own timeout.
void killPandocOf(long long thread)
{
#ifdef Q_OS_LINUX
    if (thread <= 0) return;
    QFile children(QStringLiteral("/proc/self/task/%1/children").arg(thread));
    if (!children.open(QIODevice::ReadOnly)) return;
    const QList<QByteArray> pids = children.readAll().simplified().split(' ');
    for (const QByteArray& text : pids) {
        bool ok = false;
        const pid_t pid = pid_t(text.toLongLong(&ok));
        if (!ok || pid <= 0) continue;
        QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().startsWith("pandoc")) ::kill(pid, SIGKILL);
    }
#else
    Q_UNUSED(thread);
#endif
}

// The most formulas converted in one run: a paper's worth, so that a run that fails costs a paper.
constexpr qsizetype kTogether = 1000;

// Converts the formulas (each once) in one pandoc run, each in a paragraph of its own (a Math
// element of the tree, so that none can reach into another): pandoc starts once instead of once per
// formula. False when that run failed, took too long or gave a document that does not tell each
// formula's result apart: the formulas are then converted one by one, which tells which one failed.
bool convertTogether(const QStringList& sources, const QString& output, Control* control, Conversion* result)
{
    if (sources.size() < 2) return false;
    QFile::remove(output);
    // pandoc converts a formula in milliseconds once it runs. A run that takes much longer holds a
    // formula that would take one run of its own its whole time, which the runs one by one find.
    const int timeoutMs = 2000 + int(sources.size()) * 20;
    try {
        pandoc::run({QStringLiteral("--from=json"), QStringLiteral("--to=docx"), QStringLiteral("--output"), output},
                    QStringLiteral("公式"), timeoutMs, documentOf(sources),
                    QStringLiteral("pandoc 转换公式失败，试卷没有生成。"));
    } catch (const AppError&) {
        if (control && control->cancelled) {
            result->cancelled = true;
            return true;
        }
        if (!pandoc::available()) throw;
        return false;
    }
    const QStringList each = readConvertedEach(readZipEntry(output, "word/document.xml"), sources.size());
    if (each.isEmpty()) return false;
    for (qsizetype i = 0; i < sources.size(); ++i) {
        if (each.at(i).isEmpty()) {
            result->failed << sources.at(i);
        } else {
            result->omml.insert(sources.at(i), each.at(i));
        }
    }
    return true;
}

}  // namespace

void stop(Control& control)
{
    control.cancelled = true;
    killPandocOf(control.worker.load());
}

Conversion convertWithPandoc(const QStringList& latex, Control* control)
{
    Conversion result;
    if (latex.isEmpty()) return result;
    if (control) control->worker = currentThreadId();

    QTemporaryDir dir;
    if (!dir.isValid()) throw AppError(QStringLiteral("无法转换公式：无法创建临时文件夹。"));
    const QString output = dir.filePath(QStringLiteral("formula.docx"));
    // First in runs of many formulas each; what such a run did not settle, one formula per run.
    QStringList sources;
    QSet<QString> seen;
    for (const QString& source : latex) {
        if (!seen.contains(source)) sources << source;
        seen.insert(source);
    }
    for (qsizetype from = 0; from < sources.size(); from += kTogether) {
        convertTogether(sources.mid(from, kTogether), output, control, &result);
        if (result.cancelled) return result;
        if (control && control->progress) {
            int settled = 0;
            for (const QString& source : latex) settled += result.omml.contains(source) || result.failed.contains(source);
            control->progress(settled, int(latex.size()));
        }
    }
    for (int i = 0; i < latex.size(); ++i) {
        if (control && control->cancelled) {
            result.cancelled = true;
            break;
        }
        const QString& source = latex.at(i);
        if (result.omml.contains(source) || result.failed.contains(source) || result.timedOut.contains(source))
            continue;
        QFile::remove(output);
        const QByteArray document = documentOf({source});
        QElapsedTimer clock;
        clock.start();
        try {
            pandoc::run(
                {QStringLiteral("--from=json"), QStringLiteral("--to=docx"), QStringLiteral("--output"), output},
                QStringLiteral("公式"), kFormulaTimeoutMs, document,
                QStringLiteral("pandoc 转换公式失败，试卷没有生成。"));
        } catch (const AppError&) {
            if (control && control->cancelled) {
                result.cancelled = true;
                break;
            }
            // pandoc missing is the whole conversion's failure; anything else is this formula's.
            if (!pandoc::available()) throw;
            (clock.elapsed() >= kFormulaTimeoutMs ? result.timedOut : result.failed) << source;
            if (control && control->progress) control->progress(i + 1, int(latex.size()));
            continue;
        }
        const QString math = readConverted(readZipEntry(output, "word/document.xml"));
        if (math.isEmpty()) {
            result.failed << source;
        } else {
            result.omml.insert(source, math);
        }
        if (control && control->progress) control->progress(i + 1, int(latex.size()));
    }
    return result;
}

Lookup lookup(const QSqlDatabase& db, const QStringList& latex)
{
    Lookup result;
    QSet<QString> seen;
    for (const QString& source : latex) {
        if (seen.contains(source)) continue;
        seen.insert(source);
        sql::Reader q(db, QStringLiteral("SELECT latex, omml FROM formula_omml WHERE latex_hash = ?"),
                      {latexKey(source)});
        // The stored source is compared as well: the result belongs to this exact text only.
        if (q.next() && q.text(0) == source) {
            const QString omml = q.text(1);
            if (omml == kTimedOut) {
                result.known.timedOut << source;
            } else {
                result.known.omml.insert(source, omml);
            }
        } else {
            result.missing << source;
        }
    }
    return result;
}

void remember(const QSqlDatabase& db, const Conversion& fresh)
{
    if (fresh.omml.isEmpty() && fresh.timedOut.isEmpty()) return;
    QSqlDatabase conn = db;
    const auto store = [&](const QString& source, const QString& omml) {
        const QString key = latexKey(source);
        sql::exec(db, QStringLiteral("DELETE FROM formula_omml WHERE latex_hash = ?"), {key});
        sql::exec(db, QStringLiteral("INSERT INTO formula_omml (latex_hash, latex, omml) VALUES (?, ?, ?)"),
                  {key, source, omml});
    };
    sql::transaction(conn, [&] {
        for (auto it = fresh.omml.constBegin(); it != fresh.omml.constEnd(); ++it) store(it.key(), it.value());
        for (const QString& source : fresh.timedOut) store(source, kTimedOut);
    });
}

Conversion toOmml(const QSqlDatabase& db, const QStringList& latex)
{
    Lookup found = lookup(db, latex);
    if (found.missing.isEmpty()) return found.known;
    const Conversion fresh = convertWithPandoc(found.missing);
    remember(db, fresh);
    Conversion result = found.known;
    for (auto it = fresh.omml.constBegin(); it != fresh.omml.constEnd(); ++it) result.omml.insert(it.key(), it.value());
    result.failed << fresh.failed;
    result.timedOut << fresh.timedOut;
    return result;
}

}  // namespace formulas
