#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QUrl>
#include <QXmlStreamReader>
#include <algorithm>

#include "blueprint/blueprint_plan.h"
#include "content/content.h"
#include "data/errors.h"
#include "data/picture_refs.h"
#include "data/question_fields.h"
#include "exchange/key_text.h"
#include "exchange/moodle.h"
#include "exchange/knowledge_tags.h"
#include "exchange/moodle_common.h"

// Reading Moodle XML and GIFT into imported questions.
namespace exchange {

namespace {

using namespace moodle_common;

// The placement text (picture_refs.h) an <img> tag's style asks for; empty when it gives no width
// in cm or % and does not float right, or gives a width the bank would not accept.
QString placementOfImage(const QString& tag)
{
    static const QRegularExpression width(QStringLiteral("\\bwidth\\s*:\\s*([0-9.]+)\\s*(cm|%)"),
                                          QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression floating(QStringLiteral("\\bfloat\\s*:\\s*right"),
                                             QRegularExpression::CaseInsensitiveOption);
    QStringList parts;
    const auto sized = width.match(tag);
    if (sized.hasMatch()) parts << sized.captured(1) + sized.captured(2).toLower();
    if (floating.match(tag).hasMatch()) parts << picture_refs::kRight;
    picture_refs::Placement placement;
    if (!picture_refs::readPlacement(parts.join(u'|'), &placement).isEmpty()) return QString();
    return picture_refs::placementText(placement);
}

// Decodes character references once: "&amp;lt;" becomes "&lt;", never "<". Names this program
// does not know stay as written.
QString decodeEntities(const QString& text)
{
    static const QRegularExpression reference(
        QStringLiteral("&(#[xX][0-9a-fA-F]{1,6}|#[0-9]{1,7}|[A-Za-z][A-Za-z0-9]{1,9});"));
    static const QHash<QString, QString> named = {{QStringLiteral("nbsp"), QStringLiteral(" ")},
                                                  {QStringLiteral("lt"), QStringLiteral("<")},
                                                  {QStringLiteral("gt"), QStringLiteral(">")},
                                                  {QStringLiteral("quot"), QStringLiteral("\"")},
                                                  {QStringLiteral("apos"), QStringLiteral("'")},
                                                  {QStringLiteral("amp"), QStringLiteral("&")},
                                                  {QStringLiteral("times"), QStringLiteral("×")},
                                                  {QStringLiteral("divide"), QStringLiteral("÷")},
                                                  {QStringLiteral("minus"), QStringLiteral("−")},
                                                  {QStringLiteral("plusmn"), QStringLiteral("±")},
                                                  {QStringLiteral("deg"), QStringLiteral("°")},
                                                  {QStringLiteral("le"), QStringLiteral("≤")},
                                                  {QStringLiteral("ge"), QStringLiteral("≥")},
                                                  {QStringLiteral("ne"), QStringLiteral("≠")},
                                                  {QStringLiteral("middot"), QStringLiteral("·")},
                                                  {QStringLiteral("hellip"), QStringLiteral("…")},
                                                  {QStringLiteral("ldquo"), QStringLiteral("“")},
                                                  {QStringLiteral("rdquo"), QStringLiteral("”")},
                                                  {QStringLiteral("lsquo"), QStringLiteral("‘")},
                                                  {QStringLiteral("rsquo"), QStringLiteral("’")},
                                                  {QStringLiteral("mdash"), QStringLiteral("—")},
                                                  {QStringLiteral("ndash"), QStringLiteral("–")},
                                                  {QStringLiteral("pi"), QStringLiteral("π")},
                                                  {QStringLiteral("alpha"), QStringLiteral("α")},
                                                  {QStringLiteral("beta"), QStringLiteral("β")},
                                                  {QStringLiteral("radic"), QStringLiteral("√")},
                                                  {QStringLiteral("infin"), QStringLiteral("∞")},
                                                  {QStringLiteral("copy"), QStringLiteral("©")},
                                                  {QStringLiteral("shy"), QString()},
                                                  {QStringLiteral("ensp"), QStringLiteral(" ")},
                                                  {QStringLiteral("emsp"), QStringLiteral(" ")},
                                                  {QStringLiteral("thinsp"), QStringLiteral(" ")}};
    QString out;
    qsizetype last = 0;
    for (auto it = reference.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        out += QStringView(text).mid(last, m.capturedStart() - last);
        last = m.capturedEnd();
        const QString name = m.captured(1);
        if (name.startsWith(QLatin1Char('#'))) {
            const bool hex = name.size() > 1 && (name.at(1) == QLatin1Char('x') || name.at(1) == QLatin1Char('X'));
            bool ok = false;
            const uint code = name.mid(hex ? 2 : 1).toUInt(&ok, hex ? 16 : 10);
            if (ok && code > 0 && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF)) {
                out +=
                    code == 0xA0 ? QStringLiteral(" ") : QString::fromUcs4(reinterpret_cast<const char32_t*>(&code), 1);
            } else {
                out += m.captured(0);
            }
        } else if (named.contains(name)) {
            out += named.value(name);
        } else {
            out += m.captured(0);
        }
    }
    out += QStringView(text).mid(last);
    return out;
}

// Characters a superscript or subscript taken into a formula must not bring in unescaped.
QString latexEscaped(const QString& text)
{
    QString out;
    for (const QChar c : text) {
        if (QStringLiteral("{}%#&_$").contains(c)) out += QLatin1Char('\\');
        out += c;
    }
    return out;
}

// Where the base of a superscript starts at the end of `text`: a run of letters and digits, a
// bracketed group with the name before it ("f(x)", "(a+b)"), or nothing.
qsizetype baseStart(const QString& text)
{
    qsizetype i = text.size();
    auto isWord = [](QChar c) { return c.isLetterOrNumber() && c.unicode() < 0x2E80; };
    if (i > 0 && (text.at(i - 1) == QLatin1Char(')') || text.at(i - 1) == QLatin1Char(']'))) {
        const QChar close = text.at(i - 1);
        const QChar open = close == QLatin1Char(')') ? QLatin1Char('(') : QLatin1Char('[');
        int depth = 0;
        for (qsizetype j = i - 1; j >= 0; --j) {
            if (text.at(j) == close) ++depth;
            if (text.at(j) == open && --depth == 0) {
                i = j;
                break;
            }
            if (j == 0) return text.size();  // unbalanced: no base
        }
    }
    while (i > 0 && isWord(text.at(i - 1))) --i;
    return i;
}

// HTML from a platform back into a content-model text: paragraphs, list items and line breaks
// become lines, <sup>/<sub> formulas (x<sup>2</sup> is \(x^{2}\)), character references are
// decoded once; pictures come from the embedded files (or data URIs) and are held by hash in
// `pictures`.
QString fromHtml(QString html, const QHash<QString, QByteArray>& files, QHash<QString, QByteArray>* pictures,
                 QStringList* warnings)
{
    static const QRegularExpression unseen(
        QStringLiteral("<!--.*?-->|<(script|style)\\b[^>]*>.*?</\\1\\s*>"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression preformatted(
        QStringLiteral("<pre\\b[^>]*>(.*?)</pre\\s*>"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression image(QStringLiteral("<img\\b[^>]*\\bsrc\\s*=\\s*\"([^\"]*)\"[^>]*>"),
                                          QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression lineBreak(QStringLiteral("<br\\s*/?>"), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression block(
        QStringLiteral("</?(p|div|li|ul|ol|tr|table|tbody|thead|h[1-6]|blockquote|pre|dl|dt|dd|hr)\\b[^>]*>"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression script(
        QStringLiteral("<(sup|sub)\\b[^>]*>(.*?)</\\1\\s*>"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression tag(QStringLiteral("<[^>]*>"));
    static const QRegularExpression boundary(QStringLiteral("[ \\t\\n]*\\x{1}[\\x{1} \\t\\n]*"));
    static const QRegularExpression displayDollars(QStringLiteral("\\$\\$(.+?)\\$\\$"));
    const QChar kBlock(0x1);         // a paragraph or list item begins or ends here
    const QChar kScript(0x2);        // a superscript or subscript kept aside, by its index
    const QChar kPreLineBreak(0x3);  // a line break inside <pre>

    html.remove(unseen);
    // Line breaks in the HTML source are blanks, except inside <pre>.
    QString joined;
    qsizetype last = 0;
    for (auto it = preformatted.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        joined += html.mid(last, m.capturedStart() - last)
                      .replace(QLatin1Char('\r'), QString())
                      .replace(QLatin1Char('\n'), QLatin1Char(' '));
        joined += kBlock;
        QString pre = m.captured(1);
        pre.remove(QLatin1Char('\r'));
        joined += pre.replace(QLatin1Char('\n'), kPreLineBreak);
        joined += kBlock;
        last = m.capturedEnd();
    }
    joined += html.mid(last).replace(QLatin1Char('\r'), QString()).replace(QLatin1Char('\n'), QLatin1Char(' '));
    html = joined;
    html.replace(lineBreak, QStringLiteral("\n"));
    html.replace(block, QString(kBlock));

    // Superscripts and subscripts are set aside until the text around them is plain.
    QStringList scripts;
    QString withScripts;
    last = 0;
    for (auto it = script.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        withScripts += html.mid(last, m.capturedStart() - last);
        last = m.capturedEnd();
        QString inner = m.captured(2);
        inner.remove(tag);
        inner = decodeEntities(inner).trimmed();
        if (inner.isEmpty()) continue;
        const bool up = m.captured(1).compare(QLatin1String("sup"), Qt::CaseInsensitive) == 0;
        withScripts += kScript + QString::number(scripts.size()) + kScript;
        scripts << (up ? QStringLiteral("^{") : QStringLiteral("_{")) + latexEscaped(inner) + QLatin1Char('}');
    }
    withScripts += html.mid(last);
    html = withScripts;

    QString out;
    last = 0;
    for (auto it = image.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        out += QStringView(html).mid(last, m.capturedStart() - last);
        last = m.capturedEnd();
        const QString src = decodeEntities(m.captured(1));
        QByteArray bytes;
        if (src.startsWith(QLatin1String("@@PLUGINFILE@@/"))) {
            bytes = files.value(QUrl::fromPercentEncoding(src.mid(15).toUtf8()));
        } else if (src.startsWith(QLatin1String("data:")) && src.contains(QLatin1String(";base64,"))) {
            bytes = QByteArray::fromBase64(src.section(QLatin1Char(','), 1).toLatin1());
        }
        try {
            const content::StoredPicture picture = content::examinePicture(bytes);
            const QString& hash = picture.hash;
            if (!pictures->contains(hash)) pictures->insert(hash, picture.data);
            out += content::pictureMarker(hash, placementOfImage(m.captured(0)));
        } catch (const AppError&) {
            out += QStringLiteral("[图片无法读取]");
            if (!warnings->contains(QStringLiteral("有图片无法读取")))
                warnings->append(QStringLiteral("有图片无法读取"));
        }
    }
    out += QStringView(html).mid(last);
    out.remove(tag);
    out = decodeEntities(out);
    out.replace(boundary, QStringLiteral("\n"));
    out.replace(kPreLineBreak, QLatin1Char('\n'));

    // Each superscript or subscript joins the formula before it, or starts one with its base.
    QString text;
    for (qsizetype i = 0; i < out.size(); ++i) {
        if (out.at(i) != kScript) {
            text += out.at(i);
            continue;
        }
        const qsizetype end = out.indexOf(kScript, i + 1);
        const QString& piece = scripts.value(out.mid(i + 1, end - i - 1).toInt());
        i = end;
        if (text.endsWith(QLatin1String("\\)"))) {
            text.chop(2);
            text += piece + QStringLiteral("\\)");
        } else {
            const qsizetype from = baseStart(text);
            const QString base = text.mid(from);
            text.truncate(from);
            text += QStringLiteral("\\(") + latexEscaped(base) + piece + QStringLiteral("\\)");
        }
    }
    text.replace(displayDollars, QStringLiteral("\\[\\1\\]"));
    return text.trimmed();
}

// A text in the format it declares: HTML converted, plain text, Moodle's auto-format and Markdown
// kept as written.
QString fromFormatted(const QString& text, const QString& format, const QHash<QString, QByteArray>& files,
                      QHash<QString, QByteArray>* pictures, QStringList* warnings)
{
    if (format.isEmpty() || format.compare(QLatin1String("html"), Qt::CaseInsensitive) == 0)
        return fromHtml(text, files, pictures, warnings);
    QString plain = text;
    plain.remove(QLatin1Char('\r'));
    return plain.trimmed();
}

QString cleanScore(const QString& grade)
{
    bool ok = false;
    const double value = grade.toDouble(&ok);
    if (!ok || value <= 0) return QString();
    return QString::number(value, 'g', 15);
}

// Category path below "top": subject, type, chapter (Moodle doubles a "/" inside a name).
QStringList categoryParts(const QString& path)
{
    QStringList parts;
    QString current;
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (path.at(i) == QLatin1Char('/')) {
            if (i + 1 < path.size() && path.at(i + 1) == QLatin1Char('/')) {
                current += QLatin1Char('/');
                ++i;
            } else {
                parts << current.trimmed();
                current.clear();
            }
        } else {
            current += path.at(i);
        }
    }
    parts << current.trimmed();
    parts.removeAll(QString());
    if (!parts.isEmpty() && parts.first().startsWith(QLatin1Char('$'))) parts.removeFirst();
    if (!parts.isEmpty() && parts.first() == QLatin1String("top")) parts.removeFirst();
    return parts;
}

// The chapter is the category's last element; a path of three levels below the course
// (科目/题型/章节, as this program writes) also names a type, the question's type until
// typeForSubject decides it for a subject.
void applyCategory(const QStringList& parts, ImportedQuestion& q)
{
    if (parts.isEmpty()) return;
    q.chapterName = parts.last();
    if (parts.size() == 3) q.typeName = q.categoryType = parts.at(1);
}

// A question of a kind this program stores, with the type that kind takes by default.
ImportedQuestion newQuestion(const QString& kind)
{
    ImportedQuestion q;
    q.sourceKind = kind;
    q.typeName = defaultTypeOfKind(kind);
    q.difficulty = QStringLiteral("中等");
    return q;
}

void countKind(QVector<QPair<QString, int>>& counts, const QString& kind)
{
    for (auto& [name, count] : counts) {
        if (name == kind) {
            ++count;
            return;
        }
    }
    counts.append({kind, 1});
}

// The letters of the right options, in order.
QString keyLetters(const QVector<bool>& right)
{
    QString letters;
    for (int i = 0; i < right.size(); ++i)
        if (right.at(i)) letters += optionLetter(i);
    return letters;
}

// A choice question's answer: the key alone, or the explanation when it opens with the same key,
// else the key and the explanation on the next line.
QString choiceAnswer(const QString& letters, const QString& feedback)
{
    if (feedback.isEmpty()) return letters;
    const key_text::LeadingKey lead = key_text::leadingKey(feedback);
    QString named = lead.letters;
    QString key = letters;
    std::sort(named.begin(), named.end());
    std::sort(key.begin(), key.end());
    if (lead.kind == key_text::LeadingKey::Letters && named == key) return feedback;
    return letters.isEmpty() ? feedback : letters + QLatin1Char('\n') + feedback;
}

// A true/false question's answer: 对 or 错, or the explanation when it opens with the same judgement.
QString judgementAnswer(bool value, const QString& feedback)
{
    const QString key = value ? QStringLiteral("对") : QStringLiteral("错");
    if (feedback.isEmpty()) return key;
    const key_text::LeadingKey lead = key_text::leadingKey(feedback);
    if (lead.kind == key_text::LeadingKey::Judgement && lead.value == value) return feedback;
    return key + QLatin1Char('\n') + feedback;
}

QString joinedLines(const QStringList& parts)
{
    QStringList kept;
    for (const QString& p : parts)
        if (!p.trimmed().isEmpty() && !kept.contains(p.trimmed())) kept << p.trimmed();
    return kept.join(QLatin1Char('\n'));
}

// A number as a teacher writes it: "3", "0.5", "-2".
QString plainNumber(const QString& text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    return ok ? QString::number(value, 'g', 12) : text.trimmed();
}

// One accepted numerical answer: "3", "3±0.5", or the range "1～5".
QString numericalAnswer(const QString& value, const QString& tolerance)
{
    bool ok = false;
    const double t = tolerance.trimmed().toDouble(&ok);
    if (ok && t > 0) return plainNumber(value) + QStringLiteral("±") + plainNumber(tolerance);
    return plainNumber(value);
}

// The accepted answers joined with "；": those worth full marks ("*", any other answer, is none).
QString acceptedAnswers(const QVector<QPair<QString, double>>& answers)
{
    QStringList full;
    for (const auto& [text, fraction] : answers)
        if (!text.isEmpty() && text != QLatin1String("*") && fraction >= 99.99) full << text;
    return full.join(QStringLiteral("；"));
}

// Checks a score and a difficulty as 录入试题 checks them (data/question_fields.h). Returns what is
// wrong, empty when fine.
QString scoreProblem(const QString& score)
{
    const QString problem = fields::scoreProblem(score);
    return problem.isEmpty() ? problem : problem + QStringLiteral("，未采用");
}

QString difficultyProblem(const QString& difficulty)
{
    const QString problem = fields::difficultyProblem(difficulty);
    return problem.isEmpty() ? problem : problem + QStringLiteral("，未采用");
}

// A small element tree read with QXmlStreamReader (Qt's XML DOM is not linked).
struct Node {
    QString name;
    QXmlStreamAttributes attributes;
    QString text;
    QVector<Node> children;
    const Node* child(const QString& n) const
    {
        for (const Node& c : children)
            if (c.name == n) return &c;
        return nullptr;
    }
    QString childText(const QString& n) const
    {
        const Node* c = child(n);
        const Node* t = c ? c->child(QStringLiteral("text")) : nullptr;
        return t ? t->text : (c ? c->text : QString());
    }
};

// Bounds of a Moodle XML file's tree: Moodle writes a few levels and texts of a few kilobytes
// (a picture's base64 a few megabytes); a hostile file is stopped before it costs memory or stack.
constexpr int kMaxDepth = 32;
constexpr qsizetype kMaxElementText = 32 * 1024 * 1024;
constexpr qsizetype kMaxElements = 2000000;

struct TreeLimits {
    qsizetype elements = 0;
};

[[noreturn]] void refuseTree(const QString& why)
{
    throw AppError(QStringLiteral("文件不是有效的 Moodle XML（%1），不予读取。").arg(why));
}

Node readNode(QXmlStreamReader& reader, TreeLimits& limits, int depth)
{
    if (depth > kMaxDepth) refuseTree(QStringLiteral("元素嵌套超过 %1 层").arg(kMaxDepth));
    if (++limits.elements > kMaxElements) refuseTree(QStringLiteral("元素超过 %1 个").arg(kMaxElements));
    Node node;
    node.name = reader.name().toString();
    node.attributes = reader.attributes();
    while (!reader.atEnd()) {
        const auto token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            node.children.append(readNode(reader, limits, depth + 1));
        } else if (token == QXmlStreamReader::Characters) {
            if (node.text.size() + reader.text().size() > kMaxElementText) {
                refuseTree(QStringLiteral("“%1”元素的文字超过 %2 MB").arg(node.name).arg(kMaxElementText >> 20));
            }
            node.text += reader.text();
        } else if (token == QXmlStreamReader::EntityReference) {
            // Only declared entities come as references, and declarations are refused before.
            refuseTree(QStringLiteral("含有实体引用"));
        } else if (token == QXmlStreamReader::EndElement) {
            break;
        }
    }
    return node;
}

QHash<QString, QByteArray> filesOf(const Node* element)
{
    QHash<QString, QByteArray> files;
    if (!element) return files;
    for (const Node& c : element->children) {
        if (c.name == QLatin1String("file"))
            files.insert(c.attributes.value(QStringLiteral("name")).toString(),
                         QByteArray::fromBase64(c.text.toLatin1()));
    }
    return files;
}

// The text of a child element and the format it declares (Moodle's default: HTML).
QString formatOf(const Node* element)
{
    return element ? element->attributes.value(QStringLiteral("format")).toString() : QString();
}

// GIFT's escapes undone: \\ \: \# \= \{ \} \~ and \n (a line break); any other backslash stays.
QString giftUnescape(const QString& text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('\\') && i + 1 < text.size()) {
            const QChar next = text.at(i + 1);
            if (next == QLatin1Char('n')) {
                out += QLatin1Char('\n');
                ++i;
                continue;
            }
            if (next == QLatin1Char('\\') || kGiftSpecial.contains(next)) {
                out += next;
                ++i;
                continue;
            }
        }
        out += text.at(i);
    }
    return out;
}

// The index of the next unescaped `c` from `from`, or -1.
qsizetype giftFind(const QString& text, QChar c, qsizetype from)
{
    for (qsizetype i = from; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('\\')) {
            ++i;
        } else if (text.at(i) == c) {
            return i;
        }
    }
    return -1;
}

qsizetype giftFind(const QString& text, const QString& s, qsizetype from)
{
    for (qsizetype i = from; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('\\')) {
            ++i;
        } else if (QStringView(text).mid(i).startsWith(s)) {
            return i;
        }
    }
    return -1;
}

// The parts of `text` between unescaped `c`.
QStringList giftSplit(const QString& text, QChar c)
{
    QStringList parts;
    qsizetype from = 0;
    for (qsizetype at; (at = giftFind(text, c, from)) >= 0; from = at + 1) parts << text.mid(from, at - from);
    parts << text.mid(from);
    return parts;
}

// One answer of a GIFT answer block: "=", "~" or nothing before it, an optional weight "%50%",
// the text and an optional feedback after "#".
struct GiftChoice {
    QChar mark;  // '=', '~' or null
    bool weighted = false;
    double weight = 0;
    QString text;  // still escaped
    QString feedback;
};

QVector<GiftChoice> giftChoices(const QString& answers)
{
    static const QRegularExpression weight(QStringLiteral("^\\s*%(-?\\d+(?:\\.\\d+)?)%"));
    QVector<GiftChoice> choices;
    qsizetype i = 0;
    while (i < answers.size()) {
        GiftChoice choice;
        if (answers.at(i) == QLatin1Char('=') || answers.at(i) == QLatin1Char('~')) choice.mark = answers.at(i++);
        qsizetype next = i;
        while (next < answers.size()) {
            if (answers.at(next) == QLatin1Char('\\')) {
                next += 2;
                continue;
            }
            if (answers.at(next) == QLatin1Char('=') || answers.at(next) == QLatin1Char('~')) break;
            ++next;
        }
        next = std::min(next, answers.size());
        QString part = answers.mid(i, next - i);
        i = next;
        const qsizetype hash = giftFind(part, QLatin1Char('#'), 0);
        if (hash >= 0) {
            choice.feedback = part.mid(hash + 1);
            part.truncate(hash);
        }
        const auto w = weight.match(part);
        if (w.hasMatch()) {
            choice.weighted = true;
            choice.weight = w.captured(1).toDouble();
            part = part.mid(w.capturedEnd());
        }
        choice.text = part.trimmed();
        if (choice.mark.isNull() && choice.text.isEmpty() && choice.feedback.isEmpty()) continue;
        choices.append(choice);
    }
    return choices;
}

}  // namespace

QString defaultTypeOfKind(const QString& kind)
{
    if (kind == QLatin1String("multichoice")) return QStringLiteral("选择题");
    if (kind == QLatin1String("truefalse")) return QStringLiteral("判断题");
    if (kind == QLatin1String("shortanswer") || kind == QLatin1String("numerical")) return QStringLiteral("填空题");
    if (kind == QLatin1String("essay") || kind == QLatin1String("match")) return QStringLiteral("解答题");
    return QString();
}

QString typeForSubject(const ImportedQuestion& q, const QString& sourceType, const QStringList& subjectTypes,
                       const QHash<QString, QString>& kindTypes)
{
    if (q.sourceKind.isEmpty()) return matchTypeName(sourceType, subjectTypes);
    const QString chosen = kindTypes.value(q.sourceKind).trimmed();
    if (!chosen.isEmpty()) return chosen;
    if (!q.categoryType.isEmpty() && subjectTypes.contains(q.categoryType)) return q.categoryType;
    return matchTypeName(defaultTypeOfKind(q.sourceKind), subjectTypes);
}

QVector<QPair<QString, int>> kindsOf(const QVector<ImportedQuestion>& questions)
{
    QVector<QPair<QString, int>> kinds;
    for (const ImportedQuestion& q : questions)
        if (!q.sourceKind.isEmpty()) countKind(kinds, q.sourceKind);
    return kinds;
}

QString countsText(const QVector<QPair<QString, int>>& counts)
{
    QStringList parts;
    for (const auto& [name, count] : counts) parts << QStringLiteral("%1 %2 道").arg(name).arg(count);
    return parts.join(QStringLiteral("，"));
}

ImportedPaper readMoodleXml(const QByteArray& data)
{
    if (data.size() > kMaxMoodleBytes) {
        throw AppError(QStringLiteral("Moodle XML 文件太大（%1 MB），最多允许 %2 MB。")
                           .arg(data.size() >> 20)
                           .arg(kMaxMoodleBytes >> 20));
    }
    QXmlStreamReader reader(data);
    Node quiz;
    TreeLimits limits;
    while (!reader.atEnd()) {
        const auto token = reader.readNext();
        // Moodle never writes a document type; its entity declarations are how a few hundred
        // kilobytes expand to gigabytes, so any is refused before a single one is expanded.
        if (token == QXmlStreamReader::DTD) {
            throw AppError(
                QStringLiteral("文件含有文档类型（DOCTYPE）或实体（ENTITY）声明，Moodle 导出的文件不会有这些，"
                               "可能是恶意构造的文件，不予读取。"));
        }
        if (token == QXmlStreamReader::StartElement) {
            quiz = readNode(reader, limits, 0);
            break;
        }
    }
    if (reader.hasError() || quiz.name != QLatin1String("quiz")) {
        throw AppError(QStringLiteral("文件不是有效的 Moodle XML（%1）。")
                           .arg(reader.hasError() ? reader.errorString() : QStringLiteral("缺少 quiz 元素")));
    }
    ImportedPaper paper;
    QStringList category;
    int number = 0;
    int index = 0;
    for (const Node& question : quiz.children) {
        ++index;
        if (question.name != QLatin1String("question")) continue;
        const QString type = question.attributes.value(QStringLiteral("type")).toString();
        if (type == QLatin1String("category")) {
            category = categoryParts(question.childText(QStringLiteral("category")));
            continue;
        }
        ImportedQuestion q = newQuestion(type);
        // A text of the question in its declared format, its files and pictures kept.
        auto read = [&](const Node* element) {
            if (!element) return QString();
            const Node* text = element->child(QStringLiteral("text"));
            return fromFormatted(text ? text->text : element->text, formatOf(element), filesOf(element),
                                 &paper.pictures, &q.warnings);
        };
        q.paragraph = index;
        applyCategory(category, q);
        q.text = read(question.child(QStringLiteral("questiontext")));
        if (defaultTypeOfKind(type).isEmpty()) {
            countKind(paper.unsupported, type);
            paper.loose.append({index, QStringLiteral("不支持的题目类型“%1”：%2").arg(type, q.text.left(60))});
            continue;
        }
        // Moodle 1.9 kept a question's picture beside its text.
        const QString oldImage = question.childText(QStringLiteral("image")).trimmed();
        const QByteArray oldImageData =
            QByteArray::fromBase64(question.childText(QStringLiteral("image_base64")).toLatin1().simplified());
        if (!oldImageData.isEmpty()) {
            try {
                const content::StoredPicture picture = content::examinePicture(oldImageData);
                if (!paper.pictures.contains(picture.hash)) paper.pictures.insert(picture.hash, picture.data);
                q.text += (q.text.isEmpty() ? QString() : QStringLiteral("\n")) + content::pictureMarker(picture.hash);
            } catch (const AppError&) {
                q.text += QStringLiteral("\n[图片无法读取]");
                q.warnings << QStringLiteral("有图片无法读取");
            }
        } else if (!oldImage.isEmpty()) {
            paper.skippedPictures << oldImage;
            q.text += QStringLiteral("\n[图片未导入]");
        }
        q.number = QString::number(++number);
        q.score = cleanScore(question.childText(QStringLiteral("defaultgrade")));
        if (const Node* tags = question.child(QStringLiteral("tags"))) {
            // Every other tag names a knowledge point (exportMoodleXml writes their paths).
            QStringList points;
            for (const Node& tag : tags->children) {
                const QString t = tag.childText(QStringLiteral("text")).trimmed();
                if (!t.startsWith(kDifficultyTag)) {
                    if (tag.name == QLatin1String("tag")) points << t;
                    continue;
                }
                const QString difficulty = t.mid(kDifficultyTag.size()).trimmed();
                const QString problem = difficultyProblem(difficulty);
                if (problem.isEmpty()) {
                    q.difficulty = difficulty;
                } else {
                    q.warnings << problem;
                }
            }
            q.knowledge = pointPaths(points, &q.warnings);
        }
        QVector<const Node*> answers;
        for (const Node& c : question.children)
            if (c.name == QLatin1String("answer")) answers << &c;
        auto fraction = [](const Node* a) { return a->attributes.value(QStringLiteral("fraction")).toDouble(); };
        const QString feedback = read(question.child(QStringLiteral("generalfeedback")));
        if (type == QLatin1String("essay")) {
            q.answer = joinedLines({read(question.child(QStringLiteral("graderinfo"))), feedback});
        } else if (type == QLatin1String("multichoice")) {
            // Moodle's default is one right answer; then only the answer worth 100% is right.
            const QString single = question.childText(QStringLiteral("single")).trimmed().toLower();
            const bool several = single == QLatin1String("false") || single == QLatin1String("0");
            QVector<bool> right;
            for (const Node* a : answers) {
                q.text +=
                    QLatin1Char('\n') + optionLetter(static_cast<int>(right.size())) + QStringLiteral(". ") + read(a);
                right << (several ? fraction(a) > 0 : fraction(a) >= 99.99);
            }
            q.options = static_cast<int>(answers.size());
            q.answer = choiceAnswer(keyLetters(right), feedback);
        } else if (type == QLatin1String("truefalse")) {
            for (const Node* a : answers) {
                if (fraction(a) < 99.99) continue;
                const QString word = read(a).trimmed().toLower();
                const bool value =
                    word == QLatin1String("true") || word == QStringLiteral("对") || word == QStringLiteral("正确");
                q.answer = judgementAnswer(value, feedback);
            }
        } else {  // shortanswer, numerical
            QVector<QPair<QString, double>> accepted;
            for (const Node* a : answers) {
                QString text = read(a);
                if (type == QLatin1String("numerical"))
                    text = numericalAnswer(text, a->childText(QStringLiteral("tolerance")));
                accepted.append({text, fraction(a)});
            }
            q.answer = joinedLines({acceptedAnswers(accepted), feedback});
        }
        if (q.answer.isEmpty()) q.answer = feedback;
        // Feedback given to one answer (why option B is wrong) goes with the answer, named by the
        // option's letter or the answer it belongs to, so nothing of the file is dropped.
        QStringList answerFeedback;
        for (int i = 0; i < answers.size(); ++i) {
            const QString given = read(answers[i]->child(QStringLiteral("feedback"))).trimmed();
            if (given.isEmpty()) continue;
            const QString owner = type == QLatin1String("multichoice") ? optionLetter(i) : read(answers[i]).trimmed();
            answerFeedback << owner + QStringLiteral("：") + given;
        }
        if (!answerFeedback.isEmpty())
            q.answer = joinedLines({q.answer, QStringLiteral("各答案的反馈：\n") + answerFeedback.join(QLatin1Char('\n'))});
        if (q.text.isEmpty()) q.warnings << QStringLiteral("题目为空");
        if (q.answer.isEmpty()) q.warnings << QStringLiteral("未找到答案");
        paper.questions.append(q);
    }
    return paper;
}

namespace {

// What the comment lines before a GIFT question give for it.
struct GiftComments {
    QString score;
    QString difficulty;
    QString answer;
    bool hasAnswer = false;
    QStringList warnings;
};

void readGiftComment(const QString& line, GiftComments& c)
{
    static const QRegularExpression answer(QStringLiteral("^//\\s*答案[:：]\\s?(.*)$"));
    static const QRegularExpression score(QStringLiteral("(?:^|\\s)分数[:：]\\s*(\\S*)"));
    static const QRegularExpression difficulty(QStringLiteral("(?:^|\\s)难度[:：]\\s*(\\S*)"));
    const auto a = answer.match(line);
    if (a.hasMatch()) {
        // The answer is one line: "\n" stands for a line break, "\\" for a backslash.
        c.answer = giftUnescape(a.captured(1));
        c.hasAnswer = true;
        return;
    }
    const QString body = line.mid(2);
    const auto s = score.match(body);
    if (s.hasMatch()) {
        const QString problem = scoreProblem(s.captured(1));
        if (problem.isEmpty()) {
            c.score = plainNumber(s.captured(1));
        } else {
            c.warnings << QStringLiteral("注释中的") + problem;
        }
    }
    const auto d = difficulty.match(body);
    if (d.hasMatch()) {
        const QString problem = difficultyProblem(d.captured(1));
        if (problem.isEmpty()) {
            c.difficulty = d.captured(1);
        } else {
            c.warnings << QStringLiteral("注释中的") + problem;
        }
    }
}

// Reads GIFT question by question; a block it cannot read becomes a loose paragraph.
class GiftReader {
public:
    ImportedPaper paper;

    void category(const QString& path) { category_ = categoryParts(path); }
    void comment(const QString& line) { readGiftComment(line, comments_); }

    void block(const QString& raw, int paragraph)
    {
        GiftComments comments = comments_;
        comments_ = GiftComments();
        QString body = raw.trimmed();
        if (body.isEmpty()) return;
        if (body.startsWith(QLatin1String("::"))) {
            const qsizetype end = giftFind(body, QStringLiteral("::"), 2);
            if (end > 0) body = body.mid(end + 2).trimmed();
        }
        const QString format = formatPrefix(body);
        const qsizetype open = giftFind(body, QLatin1Char('{'), 0);
        const qsizetype close = open < 0 ? -1 : giftFind(body, QLatin1Char('}'), open + 1);
        if (open < 0 && giftFind(body, QLatin1Char('}'), 0) < 0) {
            // Text without an answer block: what Moodle calls a description.
            countKind(paper.unsupported, QStringLiteral("description"));
            paper.loose.append({paragraph, QStringLiteral("没有答案部分的 GIFT 段落（description）：") + raw.left(80)});
            return;
        }
        if (open < 0 || close < 0) {
            paper.loose.append({paragraph, QStringLiteral("无法读取的 GIFT 题目（“{”与“}”不成对）：") + raw.left(80)});
            return;
        }
        const QString before = body.left(open);
        const QString after = body.mid(close + 1);
        QString answers = body.mid(open + 1, close - open - 1).trimmed();
        QString feedback;
        const qsizetype general = giftFind(answers, QStringLiteral("####"), 0);
        if (general >= 0) {
            feedback = convert(answers.mid(general + 4), format);
            answers = answers.left(general).trimmed();
        }
        ImportedQuestion q;
        QString text = before;
        // Text after the answers: a missing-word question, the blank where the answers stood.
        if (!after.trimmed().isEmpty()) text = before + QStringLiteral("______") + after;
        static const QRegularExpression judgement(
            QStringLiteral("^(T|TRUE|F|FALSE)\\s*(#.*)?$"),
            QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
        const auto tf = judgement.match(answers);
        if (answers.isEmpty()) {
            q = newQuestion(QStringLiteral("essay"));
            q.text = convert(text, format);
            q.answer = feedback;
        } else if (tf.hasMatch()) {
            q = newQuestion(QStringLiteral("truefalse"));
            q.text = convert(text, format);
            const QStringList feedbacks = giftSplit(tf.captured(2).mid(1), QLatin1Char('#'));
            QStringList parts;
            for (const QString& f : feedbacks) parts << convert(f, format);
            parts << feedback;
            q.answer =
                judgementAnswer(tf.captured(1).startsWith(QLatin1Char('T'), Qt::CaseInsensitive), joinedLines(parts));
        } else if (answers.startsWith(QLatin1Char('#'))) {
            q = newQuestion(QStringLiteral("numerical"));
            q.text = convert(text, format);
            QVector<QPair<QString, double>> accepted;
            const QVector<GiftChoice> choices = giftChoices(answers.mid(1));
            for (const GiftChoice& c : choices) {
                if (c.mark == QLatin1Char('~')) continue;
                const QString value = giftUnescape(c.text).trimmed();
                const qsizetype range = value.indexOf(QLatin1String(".."));
                const qsizetype colon = value.indexOf(QLatin1Char(':'));
                QString shown;
                if (range > 0) {
                    shown = plainNumber(value.left(range)) + QStringLiteral("～") + plainNumber(value.mid(range + 2));
                } else if (colon > 0) {
                    shown = numericalAnswer(value.left(colon), value.mid(colon + 1));
                } else {
                    shown = plainNumber(value);
                }
                accepted.append({shown, c.weighted ? c.weight : 100});
            }
            q.answer = joinedLines({acceptedAnswers(accepted), feedback});
        } else {
            const QVector<GiftChoice> choices = giftChoices(answers);
            bool anyWrong = false;
            bool anyRight = false;
            bool allPairs = !choices.isEmpty();
            for (const GiftChoice& c : choices) {
                anyWrong = anyWrong || c.mark == QLatin1Char('~');
                anyRight = anyRight || c.mark == QLatin1Char('=');
                allPairs = allPairs && c.mark == QLatin1Char('=') && giftFind(c.text, QStringLiteral("->"), 0) >= 0;
            }
            if (allPairs) {
                // Matching: kept as a question to answer in words, the pairs as its lines.
                q = newQuestion(QStringLiteral("match"));
                QStringList pairs;
                for (const GiftChoice& c : choices) {
                    const qsizetype arrow = giftFind(c.text, QStringLiteral("->"), 0);
                    pairs << (convert(c.text.left(arrow), format) + QStringLiteral(" → ") +
                              convert(c.text.mid(arrow + 2), format))
                                 .trimmed();
                }
                q.text = joinedLines({convert(text, format), pairs.join(QLatin1Char('\n'))});
                q.answer = joinedLines({pairs.join(QLatin1Char('\n')), feedback});
            } else if (anyWrong) {
                // Moodle: one right answer when any is marked "=", then only full marks are right.
                q = newQuestion(QStringLiteral("multichoice"));
                q.text = convert(text, format);
                QVector<bool> right;
                for (const GiftChoice& c : choices) {
                    q.text += QLatin1Char('\n') + optionLetter(static_cast<int>(right.size())) + QStringLiteral(". ") +
                              convert(c.text, format);
                    const double weight = c.weighted ? c.weight : (c.mark == QLatin1Char('=') ? 100 : 0);
                    right << (anyRight ? weight >= 99.99 : weight > 0);
                }
                q.options = static_cast<int>(choices.size());
                q.answer = choiceAnswer(keyLetters(right), feedback);
            } else {
                q = newQuestion(QStringLiteral("shortanswer"));
                q.text = convert(text, format);
                QVector<QPair<QString, double>> accepted;
                for (const GiftChoice& c : choices)
                    accepted.append({convert(c.text, format), c.weighted ? c.weight : 100});
                q.answer = joinedLines({acceptedAnswers(accepted), feedback});
            }
        }
        q.paragraph = paragraph;
        q.number = QString::number(paper.questions.size() + 1);
        applyCategory(category_, q);
        if (!comments.score.isEmpty()) q.score = comments.score;
        if (!comments.difficulty.isEmpty()) q.difficulty = comments.difficulty;
        // The answer a comment line carries is written like the question's text (HTML in an [html]
        // question), already unescaped.
        if (comments.hasAnswer && !comments.answer.trimmed().isEmpty()) {
            q.answer = format == QLatin1String("html") ? fromHtml(comments.answer, {}, &paper.pictures, &scratch_)
                                                       : comments.answer;
        }
        q.warnings << comments.warnings;
        if (q.text.isEmpty()) q.warnings << QStringLiteral("题目为空");
        if (q.answer.isEmpty()) q.warnings << QStringLiteral("未找到答案");
        paper.questions.append(q);
    }

private:
    // "[html]" and the other format names at the start of a text, taken off; empty when none.
    static QString formatPrefix(QString& text)
    {
        static const QRegularExpression prefix(QStringLiteral("^\\s*\\[(html|moodle|plain|markdown)\\]"),
                                               QRegularExpression::CaseInsensitiveOption);
        const auto m = prefix.match(text);
        if (!m.hasMatch()) return QString();
        text = text.mid(m.capturedEnd());
        return m.captured(1).toLower();
    }

    // A GIFT text unescaped and converted from its format (its own prefix, else the question's).
    QString convert(QString part, const QString& questionFormat)
    {
        QString format = formatPrefix(part);
        if (format.isEmpty()) format = questionFormat;
        const QString plain = giftUnescape(part).trimmed();
        if (format == QLatin1String("html")) return fromHtml(plain, {}, &paper.pictures, &scratch_);
        return plain;
    }

    QStringList category_;
    GiftComments comments_;
    QStringList scratch_;  // warnings of pictures in GIFT texts (data URIs only)
};

}  // namespace

ImportedPaper readGift(const QString& input)
{
    QString text = input;
    if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    GiftReader reader;
    // Questions are separated by blank lines; comment and $CATEGORY lines before a question stand
    // alone, comment lines inside one are left out (as Moodle does).
    QStringList block;
    int blockStart = 0;
    const QStringList lines = text.split(QLatin1Char('\n'));
    auto flush = [&] {
        if (!block.isEmpty()) reader.block(block.join(QLatin1Char('\n')), blockStart);
        block.clear();
    };
    for (int i = 0; i < lines.size(); ++i) {
        const QString& line = lines.at(i);
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty()) {
            flush();
            continue;
        }
        if (trimmed.startsWith(QLatin1String("//"))) {
            if (block.isEmpty()) reader.comment(trimmed);
            continue;
        }
        if (block.isEmpty() && trimmed.startsWith(QLatin1String("$CATEGORY:"))) {
            reader.category(trimmed.mid(10).trimmed());
            continue;
        }
        if (block.isEmpty()) blockStart = i + 1;
        block << line;
    }
    flush();
    return reader.paper;
}

ExchangeFormat sniffExchangeFormat(const QByteArray& head)
{
    QByteArray start = head.left(4096);
    if (start.startsWith("\xEF\xBB\xBF")) start.remove(0, 3);
    const QByteArray lead = start.trimmed();
    if (lead.startsWith('<')) {
        QXmlStreamReader reader(head);
        while (!reader.atEnd()) {
            const auto token = reader.readNext();
            if (token == QXmlStreamReader::StartElement)
                return reader.name() == QLatin1String("quiz") ? ExchangeFormat::MoodleXml : ExchangeFormat::Other;
            if (token == QXmlStreamReader::Invalid) break;
        }
        return ExchangeFormat::Other;
    }
    // Binary files (a packed document, a picture) are no GIFT.
    if (head.contains('\0')) return ExchangeFormat::Other;
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(head);
    if (decoder.hasError()) return ExchangeFormat::Other;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    static const QRegularExpression answerBlock(QStringLiteral("(?<!\\\\)\\{\\s*(\\}|[=~#]|(T|F|TRUE|FALSE)\\s*[#}])"),
                                                QRegularExpression::CaseInsensitiveOption);
    int blocks = 0;
    int gift = 0;
    bool category = false;
    const QStringList paragraphs = text.split(QRegularExpression(QStringLiteral("\\n\\s*\\n")));
    for (const QString& paragraph : paragraphs) {
        QStringList lines;
        for (const QString& line : paragraph.split(QLatin1Char('\n'))) {
            const QString t = line.trimmed();
            if (t.startsWith(QLatin1String("$CATEGORY:"))) {
                category = true;
            } else if (!t.isEmpty() && !t.startsWith(QLatin1String("//"))) {
                lines << t;
            }
        }
        if (lines.isEmpty()) continue;
        ++blocks;
        const QString body = lines.join(QLatin1Char('\n'));
        if (body.startsWith(QLatin1String("::")) || answerBlock.match(body).hasMatch()) ++gift;
    }
    if (gift == 0) return ExchangeFormat::Other;
    return (gift * 2 > blocks || (category && gift * 2 >= blocks)) ? ExchangeFormat::Gift : ExchangeFormat::Other;
}

ExchangeFormat exchangeFormatOfFile(const QString& path)
{
    // Looked at before opening: opening a named pipe or a device could wait or never end.
    const QFileInfo info(path);
    if (!info.isFile()) return ExchangeFormat::Other;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return ExchangeFormat::Other;
    return sniffExchangeFormat(file.read(64 * 1024));
}

}  // namespace exchange
