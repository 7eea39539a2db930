#include "exchange/moodle.h"

#include <QStringEncoder>

#include "content/content.h"
#include "content/svg_safety.h"
#include "data/errors.h"
#include "data/knowledge_points.h"
#include "data/picture_refs.h"
#include "data/sql.h"
#include "exchange/moodle_common.h"
#include "exchange/moodle_types.h"

// Writing the bank's questions as Moodle XML and GIFT.
namespace exchange {

namespace {

using namespace moodle_common;

struct Row {
    QString subject, type, chapter, score, difficulty, text, answer, number;
    qint64 typeOrder = -1, chapterOrder = -1, id = 0;  // read order of the type, the chapter, the question
};

// The questions of the scope, grouped by type and chapter in their own read order, questions in
// theirs. The names come from the small tables first and the questions in one pass without a
// sort in the database, which would carry every text through a temporary tree.
QVector<Row> exportRows(const QSqlDatabase& db, const ExportScope& scope)
{
    if (scope.kmh.isEmpty()) throw AppError(QStringLiteral("科目不存在！"));
    const QString subject =
        sql::scalar(db, QStringLiteral("SELECT kmm FROM kmb WHERE kmh = ? ORDER BY id LIMIT 1"), {scope.kmh});
    struct Named {
        QString name;
        qint64 order;
    };
    QHash<QString, Named> types, chapters;
    for (sql::Reader r(db, QStringLiteral("SELECT txh, txm, id FROM txb WHERE kmh = ? ORDER BY id"), {scope.kmh});
         r.next();)
        if (!types.contains(r.text(0))) types.insert(r.text(0), {r.text(1), r.int64(2)});
    for (sql::Reader r(db, QStringLiteral("SELECT zjh, zjm, id FROM zjb WHERE kmh = ? ORDER BY id"), {scope.kmh});
         r.next();)
        if (!chapters.contains(r.text(0))) chapters.insert(r.text(0), {r.text(1), r.int64(2)});
    if (sql::scalar(db, QStringLiteral("SELECT COUNT(*) FROM kmb WHERE kmh = ?"), {scope.kmh}).toInt() == 0) return {};
    QString statement = QStringLiteral("SELECT s.txh, s.zjh, s.fs, s.nd, s.tm, s.da, s.th, s.id FROM stb s WHERE s.kmh = ?");
    QVariantList binds{scope.kmh};
    if (!scope.txh.isEmpty()) {
        statement += QStringLiteral(" AND s.txh = ?");
        binds << scope.txh;
    }
    if (!scope.zjh.isEmpty()) {
        statement += QStringLiteral(" AND s.zjh = ?");
        binds << scope.zjh;
    }
    QVector<Row> rows;
    for (sql::Reader r(db, statement, binds); r.next();) {
        const auto type = types.constFind(r.text(0));
        const auto chapter = chapters.constFind(r.text(1));
        Row row{subject, type == types.cend() ? QString() : type->name,
                chapter == chapters.cend() ? QString() : chapter->name, r.text(2), r.text(3), r.text(4), r.text(5),
                r.text(6)};
        row.typeOrder = type == types.cend() ? -1 : type->order;
        row.chapterOrder = chapter == chapters.cend() ? -1 : chapter->order;
        row.id = r.int64(7);
        rows.append(std::move(row));
    }
    std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
        return std::tie(a.typeOrder, a.chapterOrder, a.id) < std::tie(b.typeOrder, b.chapterOrder, b.id);
    });
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

// Writes XML into a byte array exactly as QXmlStreamWriter with automatic formatting does (the
// same calls, the same bytes), at a fraction of its cost: it encodes runs of text into the array
// at once instead of through an I/O device call by call. The texts given hold only characters
// XML 1.0 can carry (HtmlWriter sees to that).
class XmlOut {
public:
    explicit XmlOut(QByteArray* out) : out_(*out) {}
    void setAutoFormatting(bool) {}  // always on
    void writeStartDocument() { out_ += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"; }
    void writeStartElement(const QString& name)
    {
        closeStartTag();
        if (!stack_.empty()) stack_.back().children = true;
        newLine(stack_.size());
        out_ += '<';
        append(name);
        stack_.push_back({name, false});
        startOpen_ = true;
    }
    void writeAttribute(const QString& name, const QString& value)
    {
        out_ += ' ';
        append(name);
        out_ += "=\"";
        appendEscaped(value, true);
        out_ += '"';
    }
    void writeCharacters(const QString& text)
    {
        closeStartTag();
        appendEscaped(text, false);
    }
    void writeTextElement(const QString& name, const QString& text)
    {
        writeStartElement(name);
        writeCharacters(text);
        writeEndElement();
    }
    void writeEndElement()
    {
        const Open open = stack_.back();
        stack_.pop_back();
        if (startOpen_) {
            out_ += "/>";
            startOpen_ = false;
            return;
        }
        if (open.children) newLine(stack_.size());
        out_ += "</";
        append(open.name);
        out_ += '>';
    }
    void writeEndDocument()
    {
        while (!stack_.empty()) writeEndElement();
        out_ += '\n';
    }

private:
    struct Open {
        QString name;
        bool children;
    };

    void closeStartTag()
    {
        if (startOpen_) out_ += '>';
        startOpen_ = false;
    }

    void newLine(size_t depth)
    {
        out_ += '\n';
        out_.append(qsizetype(depth * 4), ' ');
    }

    void append(QStringView text)
    {
        if (text.isEmpty()) return;
        const qsizetype old = out_.size();
        out_.resize(old + encoder_.requiredSpace(text.size()));
        char* end = encoder_.appendToBuffer(out_.data() + old, text);
        out_.resize(end - out_.constData());
    }

    // As QXmlStreamWriter escapes: < > & " always, and in attributes a tab, line feed and CR.
    void appendEscaped(const QString& text, bool attribute)
    {
        const char16_t* data = reinterpret_cast<const char16_t*>(text.constData());
        const qsizetype n = text.size();
        qsizetype run = 0;
        for (qsizetype i = 0; i < n; ++i) {
            const char16_t u = data[i];
            const char* ref = nullptr;
            switch (u) {
                case u'<':
                    ref = "&lt;";
                    break;
                case u'>':
                    ref = "&gt;";
                    break;
                case u'&':
                    ref = "&amp;";
                    break;
                case u'"':
                    ref = "&quot;";
                    break;
                case u'\t':
                    ref = attribute ? "&#9;" : nullptr;
                    break;
                case u'\n':
                    ref = attribute ? "&#10;" : nullptr;
                    break;
                case u'\r':
                    ref = attribute ? "&#13;" : nullptr;
                    break;
                default:
                    break;
            }
            if (!ref) continue;
            append(QStringView(data + run, i - run));
            out_ += ref;
            run = i + 1;
        }
        append(QStringView(data + run, n - run));
    }

    QByteArray& out_;
    QStringEncoder encoder_{QStringEncoder::Utf8};
    std::vector<Open> stack_;
    bool startOpen_ = false;
};

struct EmbeddedFile {
    QString name;
    QByteArray data;
};

void writeFiles(XmlOut& xml, const QVector<EmbeddedFile>& files)
{
    for (const EmbeddedFile& f : files) {
        xml.writeStartElement(QStringLiteral("file"));
        xml.writeAttribute(QStringLiteral("name"), f.name);
        xml.writeAttribute(QStringLiteral("path"), QStringLiteral("/"));
        xml.writeAttribute(QStringLiteral("encoding"), QStringLiteral("base64"));
        xml.writeCharacters(QString::fromLatin1(f.data.toBase64()));
        xml.writeEndElement();
    }
}

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

// Writes content-model texts as HTML for a platform, keeping every character: what HTML or XML
// would change or cannot hold goes out as a character reference the reader turns back.
class HtmlWriter {
public:
    HtmlWriter(const QSqlDatabase& db, ExportReport* report) : db_(db), report_(report) {}

    // The question the texts belong to, named in warnings ("选择题 003").
    void setQuestion(const QString& name) { question_ = name; }

    // A text as HTML: formulas stay \( \) / \[ \] for the platform's MathJax; each picture becomes
    // an <img> whose file is added to `files` (or a data URI when `files` is null).
    QString html(const QString& text, QVector<EmbeddedFile>* files)
    {
        QString out;
        out.reserve(text.size() + text.size() / 4 + 16);
        for (const content::Segment& s : content::parse(text)) {
            switch (s.kind) {
                case content::Segment::Text:
                    appendText(out, s.text, false);
                    break;
                case content::Segment::InlineMath:
                    out += QLatin1String("\\(");
                    appendText(out, s.text, true);
                    out += QLatin1String("\\)");
                    break;
                case content::Segment::DisplayMath:
                    out += QLatin1String("\\[");
                    appendText(out, s.text, true);
                    out += QLatin1String("\\]");
                    break;
                case content::Segment::Picture:
                    appendPicture(out, s, files);
                    break;
            }
        }
        protectEnds(text, out);
        return out;
    }

    // A text that is no HTML (a name, a category, a tag, a short answer): what XML 1.0 cannot
    // hold is left out and listed.
    QString plain(const QString& text)
    {
        QString out;
        out.reserve(text.size());
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text.at(i);
            if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
                out += c;
                out += text.at(++i);
            } else if (xmlCannotHold(c) || c.isSurrogate()) {
                warn(QStringLiteral("含有 XML 1.0 无法表示的字符 U+%1，已略去").arg(hex(c)));
            } else {
                out += c;
            }
        }
        return out;
    }

private:
    static bool xmlCannotHold(QChar c)
    {
        const char16_t u = c.unicode();
        return (u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r') || u == 0xFFFE || u == 0xFFFF;
    }

    static QString hex(QChar c) { return QStringLiteral("%1").arg(c.unicode(), 4, 16, QLatin1Char('0')).toUpper(); }

    void warn(const QString& what)
    {
        const QString line = question_ + QStringLiteral("：") + what;
        if (report_ && !report_->warnings.contains(line)) report_->warnings << line;
    }

    // Plain text or a formula's source, escaped; in text a line break is <br>.
    void appendText(QString& out, const QString& text, bool formula)
    {
        // Runs of ordinary characters go over whole; only the few below are looked at one by one.
        const auto ordinary = [](char16_t u) {
            return u >= 0x20 && u != u'&' && u != u'<' && u != u'>' && u != u'"' && u != u'$' && (u < 0xD800 || u > 0xDFFF) &&
                   u != 0xFFFE && u != 0xFFFF;
        };
        const char16_t* data = reinterpret_cast<const char16_t*>(text.constData());
        const qsizetype n = text.size();
        qsizetype run = 0;
        for (qsizetype i = 0; i < n; ++i) {
            const char16_t u = data[i];
            if (ordinary(u) || u == u'\t') continue;
            out += QStringView(data + run, i - run);
            run = i + 1;
            switch (u) {
                case u'&':
                    out += QLatin1String("&amp;");
                    break;
                case u'<':
                    out += QLatin1String("&lt;");
                    break;
                case u'>':
                    out += QLatin1String("&gt;");
                    break;
                case u'"':
                    out += QLatin1String("&quot;");
                    break;
                case u'$':
                    // A "$$x$$" typed as text must not be taken for a formula.
                    out += formula ? QLatin1String("$") : QLatin1String("&#36;");
                    break;
                case u'\n':
                    // Inside a formula a line break stays one (MathJax reads it as a blank).
                    out += formula ? QLatin1String("\n") : QLatin1String("<br>");
                    break;
                case u'\r':
                    out += QLatin1String("&#13;");
                    break;
                case u'\v':
                    out += QLatin1String("&#11;");  // Word's line break; the reader takes it back
                    break;
                default:
                    if (QChar::isHighSurrogate(u) && i + 1 < n && QChar::isLowSurrogate(data[i + 1])) {
                        out += QStringView(data + i, 2);
                        run = ++i + 1;
                    } else if (QChar::isSurrogate(u)) {
                        warn(QStringLiteral("含有不成对的代理字符 U+%1，已略去").arg(hex(QChar(u))));
                    } else {
                        out += QStringLiteral("&#%1;").arg(int(u));
                        warn(QStringLiteral("含有 XML 1.0 无法表示的控制字符 U+%1，已写作 &#%2;").arg(hex(QChar(u))).arg(int(u)));
                    }
            }
        }
        out += QStringView(data + run, n - run);
    }

    // Moodle trims every text it imports: blanks at either end go out as references it keeps.
    // They stand at the ends of the HTML as they stand in the text (blanks are written as they are).
    static void protectEnds(const QString& text, QString& html)
    {
        const auto trimmable = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
        const qsizetype n = text.size();
        qsizetype lead = 0;
        while (lead < n && trimmable(text.at(lead))) ++lead;
        qsizetype trail = 0;
        while (lead + trail < n && trimmable(text.at(n - 1 - trail))) ++trail;
        if (lead == 0 && trail == 0) return;
        const auto ref = [](QChar c) {
            return c == QLatin1Char(' ') ? QStringLiteral("&#32;") : QStringLiteral("&#9;");
        };
        QString out;
        out.reserve(html.size() + 5 * (lead + trail));
        for (qsizetype i = 0; i < lead; ++i) out += ref(html.at(i));
        out += QStringView(html).mid(lead, html.size() - lead - trail);
        for (qsizetype i = html.size() - trail; i < html.size(); ++i) out += ref(html.at(i));
        html = out;
    }

    void appendPicture(QString& out, const content::Segment& s, QVector<EmbeddedFile>* files)
    {
        auto picture = content::loadPicture(db_, s.text);
        if (!picture) {
            out += QStringLiteral("[图]");
            warn(QStringLiteral("图片 %1 不在题库中，写作“[图]”").arg(s.text.left(12)));
            return;
        }
        // A stored SVG goes out cleaned: an older bank may hold one with scripts or references.
        if (picture->mime == QLatin1String("image/svg+xml")) {
            try {
                picture->data = content::cleanSvg(picture->data).data;
            } catch (const AppError&) {
                out += QStringLiteral("[图]");
                warn(QStringLiteral("图片 %1 无法读取，写作“[图]”").arg(s.text.left(12)));
                return;
            }
        }
        const QString name = s.text + QLatin1Char('.') + extensionOf(picture->mime);
        if (files) {
            if (std::none_of(files->begin(), files->end(), [&](const EmbeddedFile& f) { return f.name == name; }))
                files->append({name, picture->data});
            out += QStringLiteral("<img src=\"@@PLUGINFILE@@/%1\" alt=\"\"%2>").arg(name, imageStyle(s.options));
        } else {
            out += QStringLiteral("<img src=\"data:%1;base64,%2\" alt=\"\"%3>")
                       .arg(picture->mime, QString::fromLatin1(picture->data.toBase64()), imageStyle(s.options));
        }
    }

    const QSqlDatabase& db_;
    ExportReport* report_;
    QString question_;
};

void writeText(XmlOut& xml, const QString& element, const QString& html,
               const QVector<EmbeddedFile>& files = {})
{
    xml.writeStartElement(element);
    xml.writeAttribute(QStringLiteral("format"), QStringLiteral("html"));
    xml.writeTextElement(QStringLiteral("text"), html);
    writeFiles(xml, files);
    xml.writeEndElement();
}

// An <answer> as Moodle writes it: its text (HTML with files, or plain for true/false and short
// answers) and an empty feedback.
void writeAnswer(XmlOut& xml, const QString& fraction, const QString& text, bool html,
                 const QVector<EmbeddedFile>& files = {})
{
    xml.writeStartElement(QStringLiteral("answer"));
    xml.writeAttribute(QStringLiteral("fraction"), fraction);
    xml.writeAttribute(QStringLiteral("format"), html ? QStringLiteral("html") : QStringLiteral("moodle_auto_format"));
    xml.writeTextElement(QStringLiteral("text"), text);
    writeFiles(xml, files);
    writeText(xml, QStringLiteral("feedback"), QString());
    xml.writeEndElement();
}

// Escapes a text as Moodle's GIFT writer does: a backslash and ~ = # { } : get a backslash before
// them, a line break becomes "\n".
QString giftEscape(const QString& text)
{
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar c : text) {
        if (c == QLatin1Char('\n')) {
            out += QLatin1String("\\n");
        } else if (c == QLatin1Char('\r')) {
            out += QLatin1String("&\\#13;");  // Moodle's writer drops a CR; the HTML keeps it
        } else {
            if (kGiftSpecial.contains(c)) out += QLatin1Char('\\');
            out += c;
        }
    }
    return out;
}

}  // namespace

QByteArray exportMoodleXml(const QSqlDatabase& db, const ExportScope& scope, int* count)
{
    ExportReport report;
    const QByteArray out = exportMoodleXml(db, scope, &report);
    if (count) *count = report.count;
    return out;
}

QByteArray exportMoodleXml(const QSqlDatabase& db, const ExportScope& scope, ExportReport* report)
{
    using moodle_types::Kind;
    const QVector<Row> rows = exportRows(db, scope);
    QSqlDatabase handle = db;
    const QHash<qint64, QStringList> points = knowledge::pathsOfQuestions(handle, scope.kmh);
    ExportReport local;
    ExportReport& r = report ? *report : local;
    HtmlWriter writer(db, &r);
    QByteArray out;
    out.reserve(rows.size() * 2048);
    XmlOut xml(&out);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("quiz"));
    QString category;
    for (const Row& row : rows) {
        const QString name = row.type + QLatin1Char(' ') + row.number;
        writer.setQuestion(name);
        if (categoryPath(row) != category) {
            category = categoryPath(row);
            xml.writeStartElement(QStringLiteral("question"));
            xml.writeAttribute(QStringLiteral("type"), QStringLiteral("category"));
            xml.writeStartElement(QStringLiteral("category"));
            xml.writeTextElement(QStringLiteral("text"), writer.plain(category));
            xml.writeEndElement();
            xml.writeEndElement();
        }
        const moodle_types::Classified c = moodle_types::classify(row.text, row.answer);
        r.types.add(row.type, c.kind);
        xml.writeStartElement(QStringLiteral("question"));
        xml.writeAttribute(QStringLiteral("type"), moodle_types::qtypeName(c.kind));
        xml.writeStartElement(QStringLiteral("name"));
        xml.writeTextElement(QStringLiteral("text"), writer.plain(name));
        xml.writeEndElement();
        QVector<EmbeddedFile> files;
        const QString textHtml = writer.html(c.kind == Kind::MultiChoice ? c.stem : row.text, &files);
        writeText(xml, QStringLiteral("questiontext"), textHtml, files);
        files.clear();
        const QString feedbackHtml = writer.html(c.feedback, &files);
        writeText(xml, QStringLiteral("generalfeedback"), feedbackHtml, files);
        xml.writeTextElement(QStringLiteral("defaultgrade"), row.score.isEmpty() ? QStringLiteral("1") : row.score);
        xml.writeTextElement(QStringLiteral("penalty"), QStringLiteral("0"));
        xml.writeTextElement(QStringLiteral("hidden"), QStringLiteral("0"));
        switch (c.kind) {
            case Kind::MultiChoice:
                xml.writeTextElement(QStringLiteral("single"), c.single ? QStringLiteral("true") : QStringLiteral("false"));
                // The options keep their letters: explanations name them ("A、D 不是同类项").
                xml.writeTextElement(QStringLiteral("shuffleanswers"), QStringLiteral("false"));
                xml.writeTextElement(QStringLiteral("answernumbering"), QStringLiteral("ABCD"));
                writeText(xml, QStringLiteral("correctfeedback"), QString());
                writeText(xml, QStringLiteral("partiallycorrectfeedback"), QString());
                writeText(xml, QStringLiteral("incorrectfeedback"), QString());
                for (int i = 0; i < c.options.size(); ++i) {
                    files.clear();
                    const QString option = writer.html(c.options[i], &files);
                    writeAnswer(xml, c.fractions[i], option, true, files);
                }
                break;
            case Kind::TrueFalse:
                writeAnswer(xml, c.judgement ? QStringLiteral("100") : QStringLiteral("0"), QStringLiteral("true"), false);
                writeAnswer(xml, c.judgement ? QStringLiteral("0") : QStringLiteral("100"), QStringLiteral("false"), false);
                break;
            case Kind::ShortAnswer:
                xml.writeTextElement(QStringLiteral("usecase"), QStringLiteral("0"));
                for (const QString& a : c.accepted) writeAnswer(xml, QStringLiteral("100"), writer.plain(a), false);
                break;
            case Kind::Essay: {
                xml.writeTextElement(QStringLiteral("responseformat"), QStringLiteral("editor"));
                xml.writeTextElement(QStringLiteral("responserequired"), QStringLiteral("1"));
                xml.writeTextElement(QStringLiteral("responsefieldlines"), QStringLiteral("10"));
                xml.writeTextElement(QStringLiteral("attachments"), QStringLiteral("0"));
                files.clear();
                const QString answerHtml = writer.html(row.answer, &files);
                writeText(xml, QStringLiteral("graderinfo"), answerHtml, files);
                writeText(xml, QStringLiteral("responsetemplate"), QString());
                break;
            }
        }
        // The difficulty and the knowledge points as Moodle tags; the points by their paths, sorted.
        QStringList tags;
        if (!row.difficulty.isEmpty()) tags << kDifficultyTag + row.difficulty;
        tags += points.value(row.id);
        if (!tags.isEmpty()) {
            xml.writeStartElement(QStringLiteral("tags"));
            for (const QString& tag : tags) {
                xml.writeStartElement(QStringLiteral("tag"));
                xml.writeTextElement(QStringLiteral("text"), writer.plain(tag));
                xml.writeEndElement();
            }
            xml.writeEndElement();
        }
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndDocument();
    r.count = static_cast<int>(rows.size());
    return out;
}

QByteArray exportGift(const QSqlDatabase& db, const ExportScope& scope, int* count)
{
    ExportReport report;
    const QByteArray out = exportGift(db, scope, &report);
    if (count) *count = report.count;
    return out;
}

QByteArray exportGift(const QSqlDatabase& db, const ExportScope& scope, ExportReport* report)
{
    using moodle_types::Kind;
    const QVector<Row> rows = exportRows(db, scope);
    ExportReport local;
    ExportReport& r = report ? *report : local;
    HtmlWriter writer(db, &r);
    QString out;
    QString category;
    for (const Row& row : rows) {
        const QString name = row.type + QLatin1Char(' ') + row.number;
        writer.setQuestion(name);
        if (categoryPath(row) != category) {
            category = categoryPath(row);
            out += QStringLiteral("$CATEGORY: ") + writer.plain(category) + QStringLiteral("\n\n");
        }
        const moodle_types::Classified c = moodle_types::classify(row.text, row.answer);
        r.types.add(row.type, c.kind);
        out += QStringLiteral("// 分数:%1 %2%3\n").arg(row.score, kDifficultyTag, row.difficulty);
        // GIFT has no place for graders: an essay's answer stands in a comment students never see.
        if (c.kind == Kind::Essay && !row.answer.isEmpty())
            out += QStringLiteral("// 答案:") + giftEscape(writer.html(row.answer, nullptr)) + QLatin1Char('\n');
        out += QStringLiteral("::") + giftEscape(writer.plain(name)) + QStringLiteral("::[html]") +
               giftEscape(writer.html(c.kind == Kind::MultiChoice ? c.stem : row.text, nullptr)) +
               QLatin1Char('{');
        const QString feedback =
            c.feedback.isEmpty() ? QString() : QStringLiteral("####") + giftEscape(writer.html(c.feedback, nullptr));
        switch (c.kind) {
            case Kind::MultiChoice:
                out += QLatin1Char('\n');
                for (int i = 0; i < c.options.size(); ++i) {
                    const QString& f = c.fractions[i];
                    out += QLatin1Char('\t');
                    out += f == QLatin1String("0")                    ? QStringLiteral("~")
                           : c.single                                 ? QStringLiteral("=")
                                                                      : QStringLiteral("~%") + f + QLatin1Char('%');
                    out += giftEscape(writer.html(c.options[i], nullptr)) + QLatin1Char('\n');
                }
                if (!feedback.isEmpty()) out += QLatin1Char('\t') + feedback + QLatin1Char('\n');
                break;
            case Kind::TrueFalse:
                out += (c.judgement ? QStringLiteral("T") : QStringLiteral("F")) + feedback;
                break;
            case Kind::ShortAnswer:
                out += QLatin1Char('\n');
                for (const QString& a : c.accepted) out += QStringLiteral("\t=") + giftEscape(writer.plain(a)) + QLatin1Char('\n');
                break;
            case Kind::Essay:
                break;
        }
        out += QStringLiteral("}\n\n");
    }
    r.count = static_cast<int>(rows.size());
    return out.toUtf8();
}

moodle_types::TypeCounter exportTypeCounts(const QSqlDatabase& db, const ExportScope& scope)
{
    moodle_types::TypeCounter counter;
    for (const Row& row : exportRows(db, scope)) counter.add(row.type, moodle_types::classify(row.text, row.answer).kind);
    return counter;
}

}  // namespace exchange
