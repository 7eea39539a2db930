#include "content/formulas.h"

#include <zip.h>

#include <QCryptographicHash>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include "data/errors.h"
#include "content/pandoc.h"
#include "content/zip_guard.h"
#include "data/sql.h"

namespace formulas {

namespace {

QString latexKey(const QString& latex)
{
    return QString::fromLatin1(QCryptographicHash::hash(latex.toUtf8(), QCryptographicHash::Sha256).toHex());
}

// A formula as pandoc's LaTeX reader gets it: on one line (a blank line would end the paragraph)
// and with a bare "%" meaning a percent sign rather than the start of a comment that would swallow
// the closing delimiter.
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

// Reads pandoc's document: one paragraph per formula, each starting with "@<index>" and holding
// the formula as an m:oMath element when it converted, as plain text when it did not.
QHash<int, QString> readConverted(const QByteArray& documentXml)
{
    QHash<int, QString> found;
    QXmlStreamReader r(documentXml);
    const QString w = QStringLiteral("http://schemas.openxmlformats.org/wordprocessingml/2006/main");
    const QString m = QLatin1String(kMathNamespace);
    int index = -1;
    QString math;
    bool firstText = true;
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement() && r.namespaceUri() == w && r.name() == u"p") {
            index = -1;
            math.clear();
            firstText = true;
        } else if (r.isStartElement() && r.namespaceUri() == w && r.name() == u"t" && firstText) {
            firstText = false;
            const QString text = r.readElementText();
            if (text.startsWith(u'@')) index = text.mid(1).toInt();
        } else if (r.isStartElement() && r.namespaceUri() == m && r.name() == u"oMath") {
            const QString copy = copyElement(r);
            // Only one formula per paragraph: a second means the paragraphs ran together.
            if (math.isEmpty()) {
                math = copy;
            } else {
                index = -1;
            }
        } else if (r.isEndElement() && r.namespaceUri() == w && r.name() == u"p") {
            if (index >= 0 && !math.isEmpty()) found.insert(index, math);
            index = -1;
        }
    }
    if (r.hasError()) return {};
    return found;
}

}  // namespace

Conversion convertWithPandoc(const QStringList& latex)
{
    Conversion result;
    if (latex.isEmpty()) return result;

    QTemporaryDir dir;
    if (!dir.isValid()) throw AppError(QStringLiteral("无法转换公式：无法创建临时文件夹。"));
    QString source;
    for (int i = 0; i < latex.size(); ++i) {
        source += QStringLiteral("@%1 \\(%2\\)\n\n").arg(i).arg(forPandoc(latex.at(i)));
    }
    const QString input = dir.filePath(QStringLiteral("formulas.tex"));
    const QString output = dir.filePath(QStringLiteral("formulas.docx"));
    {
        QFile file(input);
        if (!file.open(QIODevice::WriteOnly) || file.write(source.toUtf8()) < 0 || !file.flush()) {
            throw AppError(QStringLiteral("无法转换公式：无法写入临时文件。"));
        }
    }
    pandoc::run({QStringLiteral("--from=latex"), QStringLiteral("--to=docx"), QStringLiteral("--output"), output, input},
                QStringLiteral("公式"), kPandocTimeoutMs, QByteArray(),
                QStringLiteral("pandoc 转换公式失败，试卷没有生成。"));
    const QByteArray documentXml = readZipEntry(output, "word/document.xml");
    if (documentXml.isEmpty()) throw AppError(QStringLiteral("无法读取 pandoc 转换公式的结果。"));
    const QHash<int, QString> converted = readConverted(documentXml);
    for (int i = 0; i < latex.size(); ++i) {
        const auto it = converted.constFind(i);
        if (it == converted.constEnd()) {
            result.failed << latex.at(i);
        } else {
            result.omml.insert(latex.at(i), it.value());
        }
    }
    return result;
}

Conversion toOmml(const QSqlDatabase& db, const QStringList& latex)
{
    Conversion result;
    QStringList missing;
    QSet<QString> seen;
    for (const QString& source : latex) {
        if (seen.contains(source)) continue;
        seen.insert(source);
        sql::Reader q(db, QStringLiteral("SELECT latex, omml FROM formula_omml WHERE latex_hash = ?"),
                      {latexKey(source)});
        if (q.next() && q.text(0) == source) {
            result.omml.insert(source, q.text(1));
        } else {
            missing << source;
        }
    }
    if (missing.isEmpty()) return result;

    const Conversion fresh = convertWithPandoc(missing);
    result.failed = fresh.failed;
    QSqlDatabase conn = db;
    sql::transaction(conn, [&] {
        for (auto it = fresh.omml.constBegin(); it != fresh.omml.constEnd(); ++it) {
            const QString key = latexKey(it.key());
            sql::exec(db, QStringLiteral("DELETE FROM formula_omml WHERE latex_hash = ?"), {key});
            sql::exec(db, QStringLiteral("INSERT INTO formula_omml (latex_hash, latex, omml) VALUES (?, ?, ?)"),
                      {key, it.key(), it.value()});
            result.omml.insert(it.key(), it.value());
        }
    });
    return result;
}

}  // namespace formulas
