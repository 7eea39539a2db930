#include "exchange/paper_import.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>
#include <map>
#include <memory>
#include <optional>

#include "content/content.h"
#include "content/libreoffice.h"
#include "content/pandoc.h"
#include "content/zip_guard.h"
#include "data/errors.h"
#include "exchange/moodle.h"

namespace exchange {

namespace {

const QString kUnreadablePicture = QStringLiteral("[图片无法读取]");
const QString kSkippedPicture = QStringLiteral("[图片未导入]");
const QString kDefaultDifficulty = QStringLiteral("中等");

// ---- pandoc's document tree -------------------------------------------------------------------

class TreeReader {
public:
    TreeReader(QHash<QString, QByteArray>* pictures, const PictureSource& source) : pictures_(pictures), source_(source)
    {
        if (!source.packedPath.isEmpty()) {
            archive_ = std::make_unique<packed::Archive>(source.packedPath, QFileInfo(source.packedPath).fileName());
        }
    }
    QStringList paragraphs;

    void blocks(const QJsonArray& list)
    {
        for (const QJsonValue& block : list) this->block(block.toObject());
    }

private:
    QHash<QString, QByteArray>* pictures_;
    PictureSource source_;
    std::unique_ptr<packed::Archive> archive_;

    // A run of inlines becomes one paragraph per line break.
    void addInlines(const QJsonArray& list, const QString& prefix = QString())
    {
        QString text = prefix;
        inlines(list, text);
        const QStringList lines = text.split(QLatin1Char('\n'));
        for (const QString& line : lines) paragraphs.append(line.trimmed());
    }

    void block(const QJsonObject& b)
    {
        const QString t = b.value(QLatin1String("t")).toString();
        const QJsonValue c = b.value(QLatin1String("c"));
        if (t == QLatin1String("Para") || t == QLatin1String("Plain")) {
            addInlines(c.toArray());
        } else if (t == QLatin1String("Header")) {
            addInlines(c.toArray().at(2).toArray());
        } else if (t == QLatin1String("OrderedList")) {
            const QJsonArray attributes = c.toArray().at(0).toArray();
            const int start = attributes.at(0).toInt(1);
            const QString style = attributes.at(1).toObject().value(QLatin1String("t")).toString();
            const QString delim = attributes.at(2).toObject().value(QLatin1String("t")).toString();
            const QJsonArray items = c.toArray().at(1).toArray();
            for (int i = 0; i < items.size(); ++i) item(items.at(i).toArray(), listLabel(start + i, style, delim));
        } else if (t == QLatin1String("BulletList")) {
            for (const QJsonValue& it : c.toArray()) item(it.toArray(), QString());
        } else if (t == QLatin1String("BlockQuote")) {
            blocks(c.toArray());
        } else if (t == QLatin1String("Div")) {
            blocks(c.toArray().at(1).toArray());
        } else if (t == QLatin1String("LineBlock")) {
            for (const QJsonValue& line : c.toArray()) addInlines(line.toArray());
        } else if (t == QLatin1String("CodeBlock")) {
            for (const QString& line : c.toArray().at(1).toString().split(QLatin1Char('\n')))
                paragraphs.append(line.trimmed());
        } else if (t == QLatin1String("DefinitionList")) {
            for (const QJsonValue& entry : c.toArray()) {
                addInlines(entry.toArray().at(0).toArray());
                for (const QJsonValue& definition : entry.toArray().at(1).toArray()) blocks(definition.toArray());
            }
        } else if (t == QLatin1String("Table")) {
            if (!keyTable(c.toArray())) nested(c);  // every cell's paragraphs, row by row
        }
        // HorizontalRule, RawBlock, Null: nothing to read
    }

    // The paragraphs of a list item; the first carries the item's number or letter as typed.
    void item(const QJsonArray& itemBlocks, const QString& label)
    {
        const qsizetype first = paragraphs.size();
        blocks(itemBlocks);
        if (!label.isEmpty()) {
            if (first < paragraphs.size()) {
                paragraphs[first] = label + QLatin1Char(' ') + paragraphs[first];
            } else {
                paragraphs.append(label);
            }
        }
    }

    // The rows of a pandoc table (head, bodies, foot), each as its cells' texts.
    QVector<QStringList> tableRows(const QJsonArray& table)
    {
        QJsonArray rows;
        const auto addRows = [&rows](const QJsonValue& list) {
            for (const QJsonValue& row : list.toArray()) rows.append(row);
        };
        addRows(table.at(3).toArray().at(1));  // TableHead: [attributes, rows]
        for (const QJsonValue& body : table.at(4).toArray()) {
            addRows(body.toArray().at(2));  // TableBody: [attributes, row head columns, head rows, rows]
            addRows(body.toArray().at(3));
        }
        addRows(table.at(5).toArray().at(1));  // TableFoot
        QVector<QStringList> result;
        for (const QJsonValue& row : rows) {
            QStringList cells;
            for (const QJsonValue& cell : row.toArray().at(1).toArray()) {
                // Cell: [attributes, alignment, row span, column span, blocks]
                const qsizetype before = paragraphs.size();
                blocks(cell.toArray().at(4).toArray());
                cells << paragraphs.mid(before).join(QLatin1Char(' ')).simplified();
                paragraphs.remove(before, paragraphs.size() - before);
            }
            result << cells;
        }
        return result;
    }

    // A 题号/答案 table, the way answer keys are often set: rows "题号 | 1 | 2 | …" each followed
    // by "答案 | C | A | …", or columns headed "题号" and "答案". It becomes the key's line
    // "参考答案：1．C　2．A …" for the recogniser; any other table is read cell by cell.
    bool keyTable(const QJsonArray& table)
    {
        const QVector<QStringList> rows = tableRows(table);
        const auto isNumberLabel = [](const QString& cell) {
            return cell == QStringLiteral("题号") || cell == QStringLiteral("题 号");
        };
        const auto isAnswerLabel = [](const QString& cell) {
            return cell == QStringLiteral("答案") || cell == QStringLiteral("答 案") ||
                   cell == QStringLiteral("参考答案");
        };
        QStringList entries;
        if (!rows.isEmpty() && rows.first().size() >= 2 && isNumberLabel(rows.first().at(0)) &&
            isAnswerLabel(rows.first().at(1))) {
            for (qsizetype r = 1; r < rows.size(); ++r) {
                if (rows[r].size() >= 2 && !rows[r].at(0).isEmpty() && !rows[r].at(1).isEmpty())
                    entries << rows[r].at(0) + QStringLiteral("．") + rows[r].at(1);
            }
        } else {
            bool pairs = false;
            for (qsizetype r = 0; r + 1 < rows.size(); ++r) {
                if (rows[r].isEmpty() || rows[r + 1].isEmpty() || !isNumberLabel(rows[r].at(0)) ||
                    !isAnswerLabel(rows[r + 1].at(0)))
                    continue;
                pairs = true;
                for (qsizetype i = 1; i < rows[r].size() && i < rows[r + 1].size(); ++i) {
                    if (!rows[r].at(i).isEmpty() && !rows[r + 1].at(i).isEmpty())
                        entries << rows[r].at(i) + QStringLiteral("．") + rows[r + 1].at(i);
                }
            }
            if (!pairs) return false;
        }
        if (!entries.isEmpty()) paragraphs << QStringLiteral("参考答案：") + entries.join(QStringLiteral("　"));
        return true;
    }

    // Paragraphs anywhere inside a value (table cells), in document order.
    void nested(const QJsonValue& value)
    {
        if (value.isArray()) {
            for (const QJsonValue& v : value.toArray()) nested(v);
        } else if (value.isObject()) {
            const QJsonObject o = value.toObject();
            const QString t = o.value(QLatin1String("t")).toString();
            if (t == QLatin1String("Para") || t == QLatin1String("Plain")) {
                block(o);
            } else {
                nested(o.value(QLatin1String("c")));
            }
        }
    }

    static QString listLabel(int n, const QString& style, const QString& delim)
    {
        QString mark = QString::number(n);
        if (style == QLatin1String("UpperAlpha") || style == QLatin1String("LowerAlpha")) {
            mark = QString(QChar((style == QLatin1String("UpperAlpha") ? 'A' : 'a') + (n - 1) % 26));
        }
        if (delim == QLatin1String("TwoParens")) return QLatin1Char('(') + mark + QLatin1Char(')');
        if (delim == QLatin1String("OneParen")) return mark + QLatin1Char(')');
        return mark + QLatin1Char('.');
    }

    void inlines(const QJsonArray& list, QString& out)
    {
        for (const QJsonValue& v : list) {
            const QJsonObject o = v.toObject();
            const QString t = o.value(QLatin1String("t")).toString();
            const QJsonValue c = o.value(QLatin1String("c"));
            if (t == QLatin1String("Str")) {
                out += c.toString();
            } else if (t == QLatin1String("Space")) {
                out += QLatin1Char(' ');
            } else if (t == QLatin1String("SoftBreak") || t == QLatin1String("LineBreak")) {
                out += QLatin1Char('\n');
            } else if (t == QLatin1String("Math")) {
                const bool display =
                    c.toArray().at(0).toObject().value(QLatin1String("t")).toString() == QLatin1String("DisplayMath");
                const QString tex = c.toArray().at(1).toString().trimmed();
                out += (display ? QStringLiteral("\\[") : QStringLiteral("\\(")) + tex +
                       (display ? QStringLiteral("\\]") : QStringLiteral("\\)"));
            } else if (t == QLatin1String("Image")) {
                out += picture(c.toArray().at(2).toArray().at(0).toString());
            } else if (t == QLatin1String("Quoted")) {
                const bool single =
                    c.toArray().at(0).toObject().value(QLatin1String("t")).toString() == QLatin1String("SingleQuote");
                out += single ? QStringLiteral("‘") : QStringLiteral("“");
                inlines(c.toArray().at(1).toArray(), out);
                out += single ? QStringLiteral("’") : QStringLiteral("”");
            } else if (t == QLatin1String("Code")) {
                out += c.toArray().at(1).toString();
            } else if (t == QLatin1String("Emph") || t == QLatin1String("Strong") || t == QLatin1String("Underline") ||
                       t == QLatin1String("Strikeout") || t == QLatin1String("Superscript") ||
                       t == QLatin1String("Subscript") || t == QLatin1String("SmallCaps")) {
                inlines(c.toArray(), out);
            } else if (t == QLatin1String("Span") || t == QLatin1String("Link") || t == QLatin1String("Cite")) {
                inlines(c.toArray().at(1).toArray(), out);  // [attributes or citations, inlines, …]
            }
            // Note (footnotes), RawInline: left out
        }
    }

    // The bytes of a picture the tree names: an entry of the packed document, or a data: address.
    // Anything else is a path on this computer or a web address and is never read.
    std::optional<QByteArray> pictureBytes(const QString& source)
    {
        if (source.startsWith(QLatin1String("data:"), Qt::CaseInsensitive)) {
            const qsizetype comma = source.indexOf(QLatin1Char(','));
            if (comma < 0 || !source.left(comma).endsWith(QLatin1String(";base64"), Qt::CaseInsensitive))
                return std::nullopt;
            if (source.size() - comma > content::kMaxPictureBytes / 3 * 4 + 4) return std::nullopt;
            return QByteArray::fromBase64(source.mid(comma + 1).toLatin1());
        }
        if (!archive_) return std::nullopt;
        // pandoc names a .docx picture by its place relative to the main document ("media/x.png"
        // for "word/media/x.png"), an .odt picture by its place in the archive.
        for (const QString& name : {source_.packedRoot + source, source}) {
            const QString clean = QDir::cleanPath(name);
            if (clean.startsWith(QLatin1String("../")) || clean.startsWith(QLatin1Char('/'))) continue;
            if (auto bytes = archive_->read(clean, content::kMaxPictureBytes)) return bytes;
        }
        return std::nullopt;
    }

    bool isReference(const QString& source) const
    {
        if (source.startsWith(QLatin1String("data:"), Qt::CaseInsensitive)) return false;
        return !archive_ || !QUrl(source).scheme().isEmpty() || source.startsWith(QLatin1Char('/')) ||
               source.startsWith(QLatin1Char('\\'));
    }

    QString picture(const QString& source)
    {
        if (isReference(source)) {
            if (source_.skipped) source_.skipped->append(source.left(200));
            return kSkippedPicture;
        }
        const std::optional<QByteArray> bytes = pictureBytes(source);
        if (!bytes) return kUnreadablePicture;
        try {
            const content::StoredPicture examined = content::examinePicture(*bytes);
            const QString& hash = examined.hash;
            if (!pictures_->contains(hash)) pictures_->insert(hash, examined.data);
            return content::pictureMarker(hash);
        } catch (const AppError&) {
            return kUnreadablePicture;  // e.g. a Windows metafile
        }
    }
};

// ---- recognising questions --------------------------------------------------------------------

const QRegularExpression& re(const char* pattern)
{
    // Patterns are few and fixed; each is compiled once (map entries keep their address).
    static std::map<const char*, QRegularExpression> cache;
    auto it = cache.find(pattern);
    if (it == cache.end()) {
        it = cache
                 .emplace(pattern, QRegularExpression(QString::fromUtf8(pattern),
                                                      QRegularExpression::UseUnicodePropertiesOption))
                 .first;
    }
    return it->second;
}

const char* const kSection = "^([一二三四五六七八九十]{1,3})\\s*[、.．]\\s*(.+)$";
const char* const kPoints = "每(?:小|道)?题\\s*(\\d+(?:\\.\\d+)?)\\s*分";
// Question numbers have no length limit: a collection of exercises runs to 10,000 and beyond.
const char* const kQuestionDot = "^(\\d+)\\s*[.、．](?![\\d.．])\\s*(.*)$";
const char* const kQuestionParen = "^[（(]\\s*(\\d+)\\s*[)）]\\s*(.*)$";
const char* const kOptionStart = "^(?:[（(]\\s*[A-H]\\s*[)）]|[A-H]\\s*[.、．])";
const char* const kOptionLabel = "(?:^|\\s)(?:[（(]\\s*[A-H]\\s*[)）]|[A-H]\\s*[.、．])";
const char* const kAnswerLabel =
    "^(【答案】|【解析】|【详解】|【分析】|【点评】|答案\\s*[:：]|解析\\s*[:：]|详解\\s*[:：])\\s*(.*)$";
const char* const kInlineLabel = "(【答案】|【解析】|【详解】|【分析】|【点评】)";
const char* const kKeyHeading =
    "^(?:[一二三四五六七八九十]{1,3}\\s*[、.．]\\s*)?(?:参考答案|答案)(?:与解析|及解析|与评分标准|及评分标准)?\\s*[:：]"
    "?$";
// A key heading with the key on the same line: "参考答案：1．C　2．A".
const char* const kKeyHeadingInline =
    "^(?:[一二三四五六七八九十]{1,3}\\s*[、.．]\\s*)?(参考答案|答案)(?:与解析|及解析|与评分标准|及评分标准)?\\s*[:：]"
    "\\s*(.+)$";
// One entry of a key, "1．C", "12、x = 3", "(3) B", up to the next entry; entries are separated by
// blanks (also the wide one), commas or semicolons.
const char* const kKeyEntry =
    "(?:^|[\\s,，;；])(?:(\\d+)\\s*[.、．:：]|[（(](\\d+)[)）])\\s*(.+?)(?=[\\s,，;；]+(?:\\d+\\s*[.、．:：]|[（(]\\d+["
    ")）])|$)";
// Choices of consecutive questions in one run: "1-5 CADBB", "6～10：ABDCA".
const char* const kKeyRange = "(\\d+)\\s*[-~～—–－]+\\s*(\\d+)\\s*[.、．:：]?\\s*([A-Ha-h]+)(?![A-Za-z])";

QString headingTypeName(const QString& rest)
{
    QString name = rest;
    const qsizetype cut = name.indexOf(QRegularExpression(QStringLiteral("[（(:：,，。]")));
    if (cut >= 0) name.truncate(cut);
    return name.trimmed();
}

const char* const kTrailingSeparators = "[\\s,，;；、]+$";

// A number as written without its leading zeros ("007" is 7), of any length.
QString plainNumber(const QString& digits)
{
    qsizetype zeros = 0;
    while (zeros + 1 < digits.size() && digits.at(zeros) == QLatin1Char('0')) ++zeros;
    return digits.mid(zeros);
}

enum class Numbering { Unknown, Dot, Paren };

class Recogniser {
public:
    ImportedPaper paper;

    void line(const QString& raw, int paragraph)
    {
        const QString text = raw.trimmed();
        if (text.isEmpty()) return;
        QRegularExpressionMatch m;
        if (inKey_) {
            keyLine(text, paragraph);
            return;
        }
        if (re(kKeyHeading).match(text).hasMatch() && !paper.questions.isEmpty()) {
            inKey_ = true;
            current_ = -1;
            return;
        }
        if (!paper.questions.isEmpty() && (m = re(kKeyHeadingInline).match(text)).hasMatch() &&
            isKeyOnOneLine(m.captured(1), m.captured(2))) {
            inKey_ = true;
            current_ = -1;
            keyLine(m.captured(2), paragraph);
            return;
        }
        if ((m = re(kSection).match(text)).hasMatch()) {
            ImportedSection s;
            s.heading = text;
            s.typeName = headingTypeName(m.captured(2));
            const QRegularExpressionMatch points = re(kPoints).match(text);
            if (points.hasMatch()) s.score = points.captured(1);
            paper.sections.append(s);
            numbering_ = Numbering::Unknown;
            current_ = -1;
            return;
        }
        const QRegularExpressionMatch dot = re(kQuestionDot).match(text);
        const QRegularExpressionMatch paren =
            dot.hasMatch() ? QRegularExpressionMatch() : re(kQuestionParen).match(text);
        if (dot.hasMatch() || paren.hasMatch()) {
            const Numbering style = dot.hasMatch() ? Numbering::Dot : Numbering::Paren;
            // "(1)" inside a question numbered "1." is one of its parts, and the other way round.
            if (current_ >= 0 && numbering_ != Numbering::Unknown && style != numbering_) {
                append(text);
                return;
            }
            numbering_ = style;
            const QRegularExpressionMatch& q = dot.hasMatch() ? dot : paren;
            startQuestion(q.captured(1), q.captured(2), paragraph);
            return;
        }
        append(text, paragraph);
    }

    void keyLine(const QString& line, int paragraph)
    {
        QString text = line;
        QRegularExpressionMatch m;
        // A key may be repeated under its heading ("参考答案：1．C …" on a later page).
        if ((m = re(kKeyHeadingInline).match(text)).hasMatch()) text = m.captured(2);
        if ((m = re(kSection).match(text)).hasMatch()) {
            keySection_ = -1;
            const QString name = headingTypeName(m.captured(2));
            for (int i = 0; i < paper.sections.size(); ++i) {
                if (paper.sections[i].typeName == name) keySection_ = i;
            }
            lastKeyed_ = -1;
            // "一、选择题 1-5 CADBB": the entries after the heading are read as well.
            const qsizetype first = firstKeyEntry(m.captured(2));
            if (first < 0) return;
            text = m.captured(2).mid(first);
        }
        bool any = false;
        // Runs of choices first; what they leave is read entry by entry.
        QString rest = text;
        QRegularExpressionMatchIterator runs = re(kKeyRange).globalMatch(text);
        qsizetype removed = 0;
        while (runs.hasNext()) {
            const QRegularExpressionMatch r = runs.next();
            const qint64 from = r.captured(1).toLongLong();
            const qint64 to = r.captured(2).toLongLong();
            const QString letters = r.captured(3).toUpper();
            if (to < from || to - from + 1 != letters.size()) continue;  // not a run of choices
            any = true;
            for (qint64 n = from; n <= to; ++n)
                giveKey(QString::number(n), letters.at(n - from), r.captured(0).trimmed(), paragraph);
            rest.replace(r.capturedStart() - removed, r.capturedLength(), QStringLiteral(" "));
            removed += r.capturedLength() - 1;
        }
        QRegularExpressionMatchIterator it = re(kKeyEntry).globalMatch(rest);
        while (it.hasNext()) {
            const QRegularExpressionMatch e = it.next();
            const QString number = e.captured(1).isEmpty() ? e.captured(2) : e.captured(1);
            QString value = e.captured(3).trimmed();
            // The separator before the next entry is not part of this one's answer.
            if (e.capturedEnd() < rest.size()) value.remove(re(kTrailingSeparators));
            any = true;
            giveKey(number, value, e.captured(0).trimmed(), paragraph);
        }
        if (any) return;
        if (lastKeyed_ >= 0) {
            paper.questions[lastKeyed_].answer += QLatin1Char('\n') + text;  // a long answer's next line
            ++paper.keyLinesJoined;
        } else {
            paper.loose.append({paragraph, text});
        }
    }

    void finish()
    {
        QHash<int, qint64> lastNumber;  // section -> number of its previous question
        for (ImportedQuestion& q : paper.questions) {
            const qint64 n = q.number.toLongLong();
            if (lastNumber.contains(q.section) && n != lastNumber.value(q.section) + 1) {
                q.warnings << QStringLiteral("题号不连续（上一题为 %1）").arg(lastNumber.value(q.section));
            }
            lastNumber[q.section] = n;
            q.text = q.text.trimmed();
            q.answer = q.answer.trimmed();
            if (q.text.isEmpty()) q.warnings << QStringLiteral("题目为空");
            if (q.answer.isEmpty()) q.warnings << QStringLiteral("未找到答案");
            if (q.typeName.contains(QStringLiteral("选择")) && q.options == 0)
                q.warnings << QStringLiteral("未找到选项");
            if (q.text.contains(kUnreadablePicture) || q.answer.contains(kUnreadablePicture)) {
                q.warnings << QStringLiteral("有图片无法读取");
            }
            if (q.text.contains(kSkippedPicture) || q.answer.contains(kSkippedPicture)) {
                q.warnings << QStringLiteral("有图片未导入（文件只引用了本机文件或网址）");
            }
        }
    }

private:
    int current_ = -1;
    bool inAnswer_ = false;
    bool inKey_ = false;
    int keySection_ = -1;
    int lastKeyed_ = -1;
    Numbering numbering_ = Numbering::Unknown;

    void startQuestion(const QString& number, const QString& rest, int paragraph)
    {
        ImportedQuestion q;
        q.number = plainNumber(number);
        q.section = paper.sections.isEmpty() ? -1 : static_cast<int>(paper.sections.size() - 1);
        q.paragraph = paragraph;
        if (q.section >= 0) {
            q.typeName = paper.sections.at(q.section).typeName;
            q.score = paper.sections.at(q.section).score;
        }
        q.difficulty = kDefaultDifficulty;
        paper.questions.append(q);
        current_ = static_cast<int>(paper.questions.size() - 1);
        inAnswer_ = false;
        append(rest);
    }

    // Adds a line to the current question: its text, or its answer after an answer label; a label
    // inside a line ("……（ ）【答案】B") starts the answer there.
    void append(const QString& line, int paragraph = 0)
    {
        if (current_ < 0) {
            if (!line.isEmpty()) paper.loose.append({paragraph, line});
            return;
        }
        ImportedQuestion& q = paper.questions[current_];
        QString rest = line;
        const QRegularExpressionMatch inside = re(kInlineLabel).match(rest);
        if (inside.hasMatch() && inside.capturedStart() > 0) {
            const QString before = rest.left(inside.capturedStart());
            rest = rest.mid(inside.capturedStart());
            append(before);
        }
        const QRegularExpressionMatch label = re(kAnswerLabel).match(rest);
        if (label.hasMatch()) {
            inAnswer_ = true;
            const QString tag = label.captured(1);
            const bool plainAnswer =
                tag.startsWith(QStringLiteral("【答案】")) || tag.startsWith(QStringLiteral("答案"));
            QString value = label.captured(2).trimmed();
            if (!plainAnswer) {
                QString name = tag;
                name.remove(QRegularExpression(QStringLiteral("[【】:：\\s]")));
                value = name + QStringLiteral("：") + value;
            }
            if (!value.isEmpty()) q.answer += (q.answer.isEmpty() ? QString() : QStringLiteral("\n")) + value;
            return;
        }
        const bool option = re(kOptionStart).match(rest).hasMatch();
        if (inAnswer_ && !option) {
            q.answer += (q.answer.isEmpty() ? QString() : QStringLiteral("\n")) + rest;
            return;
        }
        if (option) {
            QRegularExpressionMatchIterator it = re(kOptionLabel).globalMatch(rest);
            while (it.hasNext()) {
                it.next();
                ++q.options;
            }
        }
        if (rest.isEmpty()) return;
        q.text += (q.text.isEmpty() ? QString() : QStringLiteral("\n")) + rest;
    }

    // The key of question `number`: added to its answer, or listed when no question has that number.
    void giveKey(const QString& number, const QString& value, const QString& asWritten, int paragraph)
    {
        const int index = questionNumbered(number);
        if (index < 0 || value.isEmpty()) {
            paper.unmatchedKeys.append({paragraph, asWritten});
            return;
        }
        QString& answer = paper.questions[index].answer;
        answer += (answer.isEmpty() ? QString() : QStringLiteral("\n")) + value;
        lastKeyed_ = index;
    }

    // Where the first key entry or run of choices of a text starts, -1 when it has none.
    static qsizetype firstKeyEntry(const QString& text)
    {
        qsizetype first = -1;
        for (const char* pattern : {kKeyEntry, kKeyRange}) {
            const QRegularExpressionMatch m = re(pattern).match(text);
            if (m.hasMatch() && (first < 0 || m.capturedStart() < first)) first = m.capturedStart();
        }
        return first;
    }

    // "参考答案：1．C　2．A" is a key on one line. After a plain "答案：" a question's own answer is
    // as likely ("答案：1. 5"), so there it takes runs of choices or three entries that all
    // name questions of the file.
    bool isKeyOnOneLine(const QString& heading, const QString& rest) const
    {
        if (firstKeyEntry(rest) != 0) return false;
        if (heading == QStringLiteral("参考答案")) return true;
        if (re(kKeyRange).match(rest).hasMatch()) return true;
        int named = 0;
        for (QRegularExpressionMatchIterator it = re(kKeyEntry).globalMatch(rest); it.hasNext();) {
            const QRegularExpressionMatch e = it.next();
            const QString number = e.captured(1).isEmpty() ? e.captured(2) : e.captured(1);
            if (questionNumbered(number) < 0) return false;
            ++named;
        }
        return named >= 3;
    }

    int questionNumbered(const QString& number) const
    {
        const QString n = plainNumber(number);
        int first = -1;
        for (int i = 0; i < paper.questions.size(); ++i) {
            const ImportedQuestion& q = paper.questions.at(i);
            if (q.number != n) continue;
            if (keySection_ >= 0) {
                if (q.section == keySection_) return i;
                continue;
            }
            if (q.answer.isEmpty()) return i;  // numbers restart per section: the first still unanswered
            if (first < 0) first = i;
        }
        return first;
    }
};

}  // namespace

ImportedPaper recognise(const QStringList& paragraphs, const QHash<QString, QByteArray>& pictures)
{
    Recogniser r;
    for (int i = 0; i < paragraphs.size(); ++i) r.line(paragraphs.at(i), i + 1);
    r.finish();
    r.paper.pictures = pictures;
    return r.paper;
}

QStringList paragraphsOfTree(const QByteArray& json, QHash<QString, QByteArray>* pictures, const PictureSource& source)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject() || !doc.object().contains(QLatin1String("blocks"))) {
        throw AppError(QStringLiteral("pandoc 的输出无法读取（%1）。").arg(error.errorString()));
    }
    TreeReader reader(pictures, source);
    reader.blocks(doc.object().value(QLatin1String("blocks")).toArray());
    return reader.paragraphs;
}

namespace {

// The bytes of a file read whole, after the checks every reader makes: it exists, it is a regular
// file (a pipe or a device named like a document would never end), it is not larger than `limit`.
QByteArray readWhole(const QString& path, qint64 limit)
{
    const QFileInfo info(path);
    if (!info.exists()) throw AppError(QStringLiteral("文件“%1”不存在。").arg(path));
    if (!info.isFile()) throw AppError(QStringLiteral("“%1”不是普通文件，无法读取。").arg(info.fileName()));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw AppError(QStringLiteral("无法读取文件“%1”：%2").arg(info.fileName(), file.errorString()));
    }
    if (file.size() > limit) {
        throw AppError(QStringLiteral("文件“%1”太大（%2 MB），最多允许 %3 MB。")
                           .arg(info.fileName())
                           .arg(file.size() >> 20)
                           .arg(limit >> 20));
    }
    return file.read(limit + 1);
}

// Pictures a .docx only links to (a:blip r:link, a file on the author's computer or the web)
// instead of holding them: pandoc leaves them out without a word, so they are looked for in the
// document itself and listed by the place they name.
QStringList linkedPictures(const QString& docx)
{
    const packed::Archive archive(docx, QFileInfo(docx).fileName());
    const std::optional<QByteArray> document =
        archive.read(QStringLiteral("word/document.xml"), packed::Limits().xmlBytes);
    if (!document) return {};
    const QString xml = QString::fromUtf8(*document);
    static const QRegularExpression blip(QStringLiteral("<a:blip\\b[^>]*>"));
    static const QRegularExpression link(QStringLiteral("\\br:link=\"([^\"]+)\""));
    QStringList ids;
    for (auto it = blip.globalMatch(xml); it.hasNext();) {
        const QString element = it.next().captured(0);
        // Word's "link and embed" keeps a copy inside the document: that one is read as usual.
        if (element.contains(QLatin1String("r:embed="))) continue;
        const QRegularExpressionMatch m = link.match(element);
        if (m.hasMatch()) ids << m.captured(1);
    }
    if (ids.isEmpty()) return {};
    QHash<QString, QString> targets;
    if (const auto rels = archive.read(QStringLiteral("word/_rels/document.xml.rels"), packed::Limits().xmlBytes)) {
        static const QRegularExpression relation(QStringLiteral("<Relationship\\b[^>]*>"));
        static const QRegularExpression id(QStringLiteral("\\bId=\"([^\"]+)\""));
        static const QRegularExpression target(QStringLiteral("\\bTarget=\"([^\"]*)\""));
        for (auto it = relation.globalMatch(QString::fromUtf8(*rels)); it.hasNext();) {
            const QString element = it.next().captured(0);
            targets.insert(id.match(element).captured(1), target.match(element).captured(1));
        }
    }
    QStringList result;
    for (const QString& rid : ids) {
        const QString place = targets.value(rid);
        result << (place.isEmpty() ? QStringLiteral("（链接 %1）").arg(rid) : place.left(200));
    }
    return result;
}

// A document tree read by pandoc, its pictures read from the packed document it came from.
ImportedPaper recogniseTree(const QByteArray& tree, const QString& packedPath, const QString& packedRoot)
{
    QHash<QString, QByteArray> pictures;
    QStringList skipped;
    PictureSource source;
    source.skipped = &skipped;
    source.packedPath = packedPath;
    source.packedRoot = packedRoot;
    const QStringList paragraphs = paragraphsOfTree(tree, &pictures, source);
    ImportedPaper paper = recognise(paragraphs, pictures);
    paper.skippedPictures = skipped;
    return paper;
}

ImportedPaper readPackedDocx(const QString& docx)
{
    ImportedPaper paper = recogniseTree(pandoc::documentTree(docx), docx, QStringLiteral("word/"));
    const QStringList linked = linkedPictures(docx);
    paper.skippedPictures += linked;
    if (!linked.isEmpty() && !paper.questions.isEmpty()) {
        // Where in the text they stood pandoc does not say: the first question carries the warning.
        paper.questions.first().warnings
            << QStringLiteral("文件中有 %1 张图片只是链接（未嵌入文档），未导入").arg(linked.size());
    }
    return paper;
}

// A Moodle XML or GIFT file: a declared XML encoding is the XML reader's to follow; an undeclared
// one, and a GIFT file's, is found (or taken as chosen) like a plain text's.
ImportedPaper readExchangeFile(const QString& path, ExchangeFormat format, TextEncoding encoding)
{
    const QString name = QFileInfo(path).fileName();
    const QByteArray bytes = readWhole(path, kMaxMoodleBytes);
    if (format == ExchangeFormat::MoodleXml && hasXmlEncodingDeclaration(bytes)) return readMoodleXml(bytes);
    const DecodedText text = decodeText(bytes, encoding, name);
    ImportedPaper paper =
        format == ExchangeFormat::MoodleXml ? readMoodleXml(text.text.toUtf8()) : readGift(text.text);
    paper.encoding = encodingName(text.encoding);
    return paper;
}

}  // namespace

ImportedPaper readDocument(const QString& path, TextEncoding encoding)
{
    const QFileInfo info(path);
    const QString suffix = info.suffix().toLower();
    const QString name = info.fileName();
    // Looked at before opening: a folder named like a document, a named pipe or a device.
    if (info.exists() && !info.isFile()) {
        throw AppError(info.isDir() ? QStringLiteral("“%1”是一个文件夹，不是文件。请选择要导入的文件。").arg(name)
                                    : QStringLiteral("“%1”不是普通文件，无法读取。").arg(name));
    }
    // Moodle XML and GIFT are known by their extension or, whatever it is, by their content
    // (Moodle names its GIFT export ".txt").
    const bool packedOrWord = suffix == QLatin1String("docx") || suffix == QLatin1String("odt") ||
                              suffix == QLatin1String("doc") || suffix == QLatin1String("wps");
    const ExchangeFormat format = suffix == QLatin1String("xml")    ? ExchangeFormat::MoodleXml
                                  : suffix == QLatin1String("gift") ? ExchangeFormat::Gift
                                  : packedOrWord                    ? ExchangeFormat::Other
                                                                    : exchangeFormatOfFile(path);
    if (format != ExchangeFormat::Other) return readExchangeFile(path, format, encoding);
    if (suffix == QLatin1String("doc") || suffix == QLatin1String("wps")) {
        QTemporaryDir converted(QDir::tempPath() + QStringLiteral("/exavoro-import-XXXXXX"));
        if (!converted.isValid()) throw AppError(QStringLiteral("无法建立临时文件夹，无法读取“%1”。").arg(name));
        return readPackedDocx(libreoffice::convertToDocx(path, converted.path()));
    }
    if (suffix == QLatin1String("txt") || suffix == QLatin1String("md")) {
        if (!pandoc::available()) pandoc::documentTree(path);  // says what to install
        // pandoc reads UTF-8 only: the text goes to it decoded and written again in UTF-8.
        const pandoc::Limits limits;
        const DecodedText text = decodeText(readWhole(path, limits.inputBytes), encoding, name);
        if (const ExchangeFormat decoded = sniffExchangeFormat(text.text.left(64 * 1024).toUtf8());
            decoded != ExchangeFormat::Other) {
            ImportedPaper paper =
                decoded == ExchangeFormat::Gift ? readGift(text.text) : readMoodleXml(text.text.toUtf8());
            paper.encoding = encodingName(text.encoding);
            return paper;
        }
        const QByteArray tree =
            pandoc::run({QStringLiteral("-f"), pandoc::inputFormat(path), QStringLiteral("-t"), QStringLiteral("json")},
                        name, pandoc::kDefaultTimeoutMs, text.text.toUtf8());
        ImportedPaper paper = recogniseTree(tree, QString(), QString());
        paper.encoding = encodingName(text.encoding);
        return paper;
    }
    if (suffix == QLatin1String("docx")) return readPackedDocx(path);
    // documentTree has checked a packed document's limits before pandoc opens it.
    const QByteArray tree = pandoc::documentTree(path);
    return recogniseTree(tree, suffix == QLatin1String("odt") ? path : QString(), QString());
}

QString matchTypeName(const QString& name, const QStringList& subjectTypes)
{
    if (name.isEmpty() || subjectTypes.contains(name)) return name;
    QString found;
    for (const QString& type : subjectTypes) {
        if (type.contains(name) || name.contains(type)) {
            if (!found.isEmpty()) return name;  // more than one: no guess
            found = type;
        }
    }
    return found.isEmpty() ? name : found;
}

}  // namespace exchange
