#include "exchange/moodle.h"

#include <QXmlStreamWriter>

#include "content/content.h"
#include "content/svg_safety.h"
#include "data/errors.h"
#include "data/picture_refs.h"
#include "data/sql.h"
#include "exchange/moodle_common.h"

// Writing the bank's questions as Moodle XML and GIFT.
namespace exchange {

namespace {

using namespace moodle_common;

struct Row {
    QString subject, type, chapter, score, difficulty, text, answer, number;
};

QVector<Row> exportRows(const QSqlDatabase& db, const ExportScope& scope)
{
    if (scope.kmh.isEmpty()) throw AppError(QStringLiteral("科目不存在！"));
    // Grouped by type and chapter in their own read order, questions in theirs.
    QString statement = QStringLiteral(
        "SELECT k.kmm, t.txm, z.zjm, s.fs, s.nd, s.tm, s.da, s.th FROM stb s "
        "JOIN kmb k ON k.kmh = s.kmh "
        "LEFT JOIN txb t ON t.kmh = s.kmh AND t.txh = s.txh "
        "LEFT JOIN zjb z ON z.kmh = s.kmh AND z.zjh = s.zjh WHERE s.kmh = ?");
    QVariantList binds{scope.kmh};
    if (!scope.txh.isEmpty()) {
        statement += QStringLiteral(" AND s.txh = ?");
        binds << scope.txh;
    }
    if (!scope.zjh.isEmpty()) {
        statement += QStringLiteral(" AND s.zjh = ?");
        binds << scope.zjh;
    }
    statement += QStringLiteral(" ORDER BY t.id, z.id, s.id");
    QVector<Row> rows;
    for (sql::Reader r(db, statement, binds); r.next();)
        rows.append({r.text(0), r.text(1), r.text(2), r.text(3), r.text(4), r.text(5), r.text(6), r.text(7)});
    return rows;
}

QString categoryName(const QString& name)
{
    return QString(name).replace(QLatin1Char('/'), QStringLiteral("//"));
}

QString categoryPath(const Row& row)
{
    return QStringLiteral("$course$/top/") + categoryName(row.subject) + QLatin1Char('/') + categoryName(row.type) +
           QLatin1Char('/') + categoryName(row.chapter);
}

QString extensionOf(const QString& mime)
{
    const QString sub = mime.section(QLatin1Char('/'), 1);
    if (sub == QLatin1String("jpeg")) return QStringLiteral("jpg");
    if (sub == QLatin1String("svg+xml")) return QStringLiteral("svg");
    return sub;
}

struct EmbeddedFile {
    QString name;
    QByteArray data;
};

// A picture's width and place as the style of its <img>: " style=\"width: 4cm; float: right\"",
// empty for a picture without either, so such pictures go out as they always did.
QString imageStyle(const QString& options)
{
    const picture_refs::Placement placement = picture_refs::placementOf(options);
    QStringList style;
    if (placement.width == picture_refs::Placement::Centimetres) {
        style << QStringLiteral("width: %1cm").arg(placement.amount);
    } else if (placement.width == picture_refs::Placement::Percent) {
        style << QStringLiteral("width: %1%").arg(placement.amount);
    }
    if (placement.right) style << QStringLiteral("float: right");
    return style.isEmpty() ? QString() : QStringLiteral(" style=\"%1\"").arg(style.join(QStringLiteral("; ")));
}

// A content-model text as HTML: formulas stay \( \) / \[ \] for the platform's MathJax; each
// picture becomes an <img> whose file is returned in `files` (or a data URI when `files` is null).
QString toHtml(const QSqlDatabase& db, const QString& text, QVector<EmbeddedFile>* files)
{
    QString html;
    for (const content::Segment& s : content::parse(text)) {
        switch (s.kind) {
            case content::Segment::Text:
                html += s.text.toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>"));
                break;
            case content::Segment::InlineMath:
                html += QStringLiteral("\\(") + s.text.toHtmlEscaped() + QStringLiteral("\\)");
                break;
            case content::Segment::DisplayMath:
                html += QStringLiteral("\\[") + s.text.toHtmlEscaped() + QStringLiteral("\\]");
                break;
            case content::Segment::Picture: {
                auto picture = content::loadPicture(db, s.text);
                if (!picture) {
                    html += QStringLiteral("[图]");
                    break;
                }
                // A stored SVG goes out cleaned: an older bank may hold one with scripts or references.
                if (picture->mime == QLatin1String("image/svg+xml")) {
                    try {
                        picture->data = content::cleanSvg(picture->data).data;
                    } catch (const AppError&) {
                        html += QStringLiteral("[图]");
                        break;
                    }
                }
                const QString name = s.text + QLatin1Char('.') + extensionOf(picture->mime);
                if (files) {
                    if (std::none_of(files->begin(), files->end(),
                                     [&](const EmbeddedFile& f) { return f.name == name; }))
                        files->append({name, picture->data});
                    html += QStringLiteral("<img src=\"@@PLUGINFILE@@/%1\" alt=\"\"%2>").arg(name, imageStyle(s.options));
                } else {
                    html += QStringLiteral("<img src=\"data:%1;base64,%2\" alt=\"\"%3>")
                                .arg(picture->mime, QString::fromLatin1(picture->data.toBase64()), imageStyle(s.options));
                }
                break;
            }
        }
    }
    return html;
}

void writeText(QXmlStreamWriter& xml, const QString& element, const QString& html, const QVector<EmbeddedFile>& files)
{
    xml.writeStartElement(element);
    xml.writeAttribute(QStringLiteral("format"), QStringLiteral("html"));
    xml.writeTextElement(QStringLiteral("text"), html);
    for (const EmbeddedFile& f : files) {
        xml.writeStartElement(QStringLiteral("file"));
        xml.writeAttribute(QStringLiteral("name"), f.name);
        xml.writeAttribute(QStringLiteral("path"), QStringLiteral("/"));
        xml.writeAttribute(QStringLiteral("encoding"), QStringLiteral("base64"));
        xml.writeCharacters(QString::fromLatin1(f.data.toBase64()));
        xml.writeEndElement();
    }
    xml.writeEndElement();
}

QString giftEscape(const QString& text)
{
    QString out;
    for (QChar c : text) {
        if (kGiftSpecial.contains(c)) out += QLatin1Char('\\');
        out += c == QLatin1Char('\n') ? QStringLiteral("<br>") : QString(c);
    }
    return out;
}

}  // namespace

QByteArray exportMoodleXml(const QSqlDatabase& db, const ExportScope& scope, int* count)
{
    const QVector<Row> rows = exportRows(db, scope);
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("quiz"));
    QString category;
    for (const Row& row : rows) {
        if (categoryPath(row) != category) {
            category = categoryPath(row);
            xml.writeStartElement(QStringLiteral("question"));
            xml.writeAttribute(QStringLiteral("type"), QStringLiteral("category"));
            xml.writeStartElement(QStringLiteral("category"));
            xml.writeTextElement(QStringLiteral("text"), category);
            xml.writeEndElement();
            xml.writeEndElement();
        }
        xml.writeStartElement(QStringLiteral("question"));
        xml.writeAttribute(QStringLiteral("type"), QStringLiteral("essay"));
        xml.writeStartElement(QStringLiteral("name"));
        xml.writeTextElement(QStringLiteral("text"), row.type + QLatin1Char(' ') + row.number);
        xml.writeEndElement();
        QVector<EmbeddedFile> textFiles;
        const QString textHtml = toHtml(db, row.text, &textFiles);
        writeText(xml, QStringLiteral("questiontext"), textHtml, textFiles);
        QVector<EmbeddedFile> answerFiles;
        const QString answerHtml = toHtml(db, row.answer, &answerFiles);
        writeText(xml, QStringLiteral("generalfeedback"), QString(), {});
        xml.writeTextElement(QStringLiteral("defaultgrade"), row.score.isEmpty() ? QStringLiteral("1") : row.score);
        xml.writeTextElement(QStringLiteral("penalty"), QStringLiteral("0"));
        xml.writeTextElement(QStringLiteral("hidden"), QStringLiteral("0"));
        xml.writeTextElement(QStringLiteral("responseformat"), QStringLiteral("editor"));
        xml.writeTextElement(QStringLiteral("responserequired"), QStringLiteral("1"));
        xml.writeTextElement(QStringLiteral("responsefieldlines"), QStringLiteral("10"));
        xml.writeTextElement(QStringLiteral("attachments"), QStringLiteral("0"));
        writeText(xml, QStringLiteral("graderinfo"), answerHtml, answerFiles);
        writeText(xml, QStringLiteral("responsetemplate"), QString(), {});
        if (!row.difficulty.isEmpty()) {
            xml.writeStartElement(QStringLiteral("tags"));
            xml.writeStartElement(QStringLiteral("tag"));
            xml.writeTextElement(QStringLiteral("text"), kDifficultyTag + row.difficulty);
            xml.writeEndElement();
            xml.writeEndElement();
        }
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndDocument();
    if (count) *count = static_cast<int>(rows.size());
    return out;
}

QByteArray exportGift(const QSqlDatabase& db, const ExportScope& scope, int* count)
{
    const QVector<Row> rows = exportRows(db, scope);
    QString out;
    QString category;
    for (const Row& row : rows) {
        if (categoryPath(row) != category) {
            category = categoryPath(row);
            out += QStringLiteral("$CATEGORY: ") + category + QStringLiteral("\n\n");
        }
        out += QStringLiteral("// 分数:%1 %2%3\n").arg(row.score, kDifficultyTag, row.difficulty);
        out += QStringLiteral("::") + giftEscape(row.type + QLatin1Char(' ') + row.number) +
               QStringLiteral("::[html]") + giftEscape(toHtml(db, row.text, nullptr)) + QStringLiteral(" {");
        if (!row.answer.isEmpty()) out += QStringLiteral("####") + giftEscape(toHtml(db, row.answer, nullptr));
        out += QStringLiteral("}\n\n");
    }
    if (count) *count = static_cast<int>(rows.size());
    return out.toUtf8();
}

}  // namespace exchange
