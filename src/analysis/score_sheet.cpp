#include "analysis/score_sheet.h"

#include <xlsxwriter.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QStringList>
#include <QTemporaryFile>
#include <QXmlStreamReader>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "content/zip_guard.h"
#include "data/errors.h"
#include "exchange/text_encoding.h"

namespace analysis {

namespace {

const QStringList kFixedColumns = {QStringLiteral("学号"), QStringLiteral("姓名"), QStringLiteral("班级")};

QString marksText(double fullMarks)
{
    return QString::number(fullMarks, 'g', 6);
}

QString csvCell(const QString& text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n')) &&
        !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// The rows of a CSV text, each with its row number as a spreadsheet shows it (1 for the first; a
// line break inside a quoted cell stays within its row).
struct CsvRow {
    int line = 0;
    QStringList cells;
};

QVector<CsvRow> parseCsv(const QString& text)
{
    QVector<CsvRow> rows;
    CsvRow row;
    QString cell;
    bool quoted = false;
    bool cellStarted = false;
    row.line = 1;
    auto endCell = [&] {
        row.cells << cell;
        cell.clear();
        cellStarted = false;
    };
    auto endRow = [&] {
        endCell();
        rows.append(row);
        row = CsvRow{};
        row.line = static_cast<int>(rows.size()) + 1;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"')) {
                    cell += QLatin1Char('"');
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                cell += c;
            }
        } else if (c == QLatin1Char('"') && !cellStarted) {
            quoted = true;
            cellStarted = true;
        } else if (c == QLatin1Char(',')) {
            endCell();
        } else if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n')) ++i;
            endRow();
        } else {
            cell += c;
            cellStarted = true;
        }
    }
    if (cellStarted || !cell.isEmpty() || !row.cells.isEmpty()) endRow();
    return rows;
}

bool blank(const QStringList& cells)
{
    for (const QString& c : cells) {
        if (!c.trimmed().isEmpty()) return false;
    }
    return true;
}

// The letter a cell names, upper case: "A", "a", the full-width "Ａ" and "ａ" a Chinese input
// method types; a null character for anything else.
QChar letterOf(QStringView text)
{
    if (text.size() != 1) return QChar();
    const char16_t c = text.at(0).unicode();
    if (c >= u'A' && c <= u'Z') return QChar(c);
    if (c >= u'a' && c <= u'z') return QChar(char16_t(c - u'a' + u'A'));
    if (c >= u'Ａ' && c <= u'Ｚ') return QChar(char16_t(c - u'Ａ' + u'A'));
    if (c >= u'ａ' && c <= u'ｚ') return QChar(char16_t(c - u'ａ' + u'A'));
    return QChar();
}

// The letters a choice question takes: its options (and its key, should the options leave it
// out), or A–D when the options are not given.
QString lettersOf(const SheetQuestion& question)
{
    QString letters;
    for (const QChar c : question.options) {
        const QChar letter = letterOf(QStringView(&c, 1));
        if (!letter.isNull() && !letters.contains(letter)) letters += letter;
    }
    const QChar key = letterOf(QStringView(&question.key, 1));
    if (letters.isEmpty()) {
        for (char16_t c = u'A'; c <= std::max(u'D', key.isNull() ? u'D' : key.unicode()); ++c) letters += QChar(c);
    } else if (!key.isNull() && !letters.contains(key)) {
        letters += key;
    }
    std::sort(letters.begin(), letters.end());
    return letters;
}

// "A–D" for a run of letters, "A、C、E" otherwise.
QString lettersText(const QString& letters)
{
    if (letters.size() > 2 && letters.back().unicode() - letters.front().unicode() == letters.size() - 1)
        return letters.front() + QStringLiteral("–") + letters.back();
    QStringList each;
    for (const QChar c : letters) each << QString(c);
    return each.join(QStringLiteral("、"));
}

// Longest 学号, 姓名 or 班级 taken; anything longer is no such thing (and a hostile file's
// megabyte-long cell goes no further).
constexpr int kMaxTextCell = 100;

// The checks every sheet goes through, whatever file it came from, fed one row at a time: the
// heading first, then each row below it.
class Checker {
public:
    Checker(const QVector<SheetQuestion>& questions, ReadSheet& sheet)
        : questions_(questions), sheet_(sheet), columns_(int(kFixedColumns.size() + questions.size()))
    {
        for (const SheetQuestion& q : questions) {
            letters_ << (q.isChoice() ? lettersOf(q) : QString());
            keys_ << (q.isChoice() ? letterOf(QStringView(&q.key, 1)) : QChar());
        }
    }

    int columns() const { return columns_; }

    // A sheet without a single row.
    void empty() { problem(1, 1, QStringLiteral("成绩表是空的，第一行应是表头“学号,姓名,班级,1（…分）…”。")); }

    // The heading row; false when it does not name the paper's questions (the sheet is then
    // refused whole). `stray` is the last column holding something past the questions (0 for none)
    // where `cells` stop at the last question's column.
    bool heading(int line, const QStringList& cells, int stray = 0)
    {
        for (int c = 0; c < columns_; ++c) {
            const QString wanted =
                c < kFixedColumns.size()
                    ? kFixedColumns.at(c)
                    : columnTitle(c - int(kFixedColumns.size()) + 1, questions_.at(c - kFixedColumns.size()).fullMarks);
            const QString given = c < cells.size() ? cells.at(c).trimmed() : QString();
            if (given != wanted) {
                problem(line, c + 1,
                        QStringLiteral("表头应为“%1”，这里是“%2”：成绩表与这份试卷的题目不符。")
                            .arg(wanted, given.left(40)));
            }
        }
        if (stray > columns_) {
            problem(line, columns_ + 1, QStringLiteral("表头比试卷的题目多出%1列。").arg(stray - columns_));
        } else if (cells.size() > columns_ && !blank(cells.mid(columns_))) {
            problem(line, columns_ + 1, QStringLiteral("表头比试卷的题目多出%1列。").arg(cells.size() - columns_));
        }
        return sheet_.problemCount == 0;
    }

    // A row below the heading: a student when every cell is good, its problems otherwise. A blank
    // row is skipped.
    void row(int line, const QStringList& given, int stray = 0)
    {
        if (stray == 0 && blank(given)) return;
        const int before = sheet_.problemCount;
        QStringList cells = given;
        if (cells.size() > columns_ && blank(cells.mid(columns_))) cells = cells.mid(0, columns_);
        if (cells.size() != columns_) {
            problem(line, std::min<int>(int(cells.size()), columns_) + 1,
                    QStringLiteral("这一行有%1格，应有%2格。").arg(cells.size()).arg(columns_));
            return;
        }
        if (stray > columns_) {
            problem(line, stray, QStringLiteral("这一格在试卷的题目之外（第%1列以后应是空的）。").arg(columns_));
            return;
        }
        Student student;
        student.id = cells.at(0).trimmed();
        student.name = cells.at(1).trimmed();
        student.group = cells.at(2).trimmed();
        for (int c = 0; c < int(kFixedColumns.size()); ++c) {
            const qsizetype length = cells.at(c).trimmed().size();
            if (length > kMaxTextCell) {
                problem(line, c + 1,
                        QStringLiteral("%1太长（%2个字），最多%3个字。")
                            .arg(kFixedColumns.at(c))
                            .arg(length)
                            .arg(kMaxTextCell));
            }
        }
        if (sheet_.problemCount != before) return;
        if (student.id.isEmpty()) {
            problem(line, 1, QStringLiteral("缺少学号。"));
        } else if (seen_.contains(student.id)) {
            problem(line, 1,
                    QStringLiteral("学号“%1”在第%2行已经出现过。").arg(student.id).arg(seen_.value(student.id)));
        } else {
            seen_.insert(student.id, line);
        }
        const int questions = int(questions_.size());
        student.scores.reserve(questions);
        student.choices = QString(questions, QLatin1Char(' '));
        for (int q = 0; q < questions; ++q) {
            const int column = int(kFixedColumns.size()) + q + 1;
            const QString text = cells.at(column - 1).trimmed();
            const double full = questions_.at(q).fullMarks;
            double score = 0;
            if (!text.isEmpty()) {
                const QChar letter = letters_.at(q).isEmpty() ? QChar() : letterOf(text);
                if (!letter.isNull()) {
                    if (!letters_.at(q).contains(letter)) {
                        problem(
                            line, column,
                            QStringLiteral("选项“%1”不是本题的选项（%2）。").arg(text, lettersText(letters_.at(q))));
                        continue;
                    }
                    student.choices[q] = letter;
                    student.scores << (letter == keys_.at(q) ? full : 0.0);
                    continue;
                }
                bool ok = false;
                score = text.toDouble(&ok);
                if (!ok || !std::isfinite(score)) {
                    problem(line, column,
                            letters_.at(q).isEmpty() ? QStringLiteral("“%1”不是分数。").arg(text.left(20))
                                                     : QStringLiteral("“%1”既不是本题的选项（%2），也不是分数。")
                                                           .arg(text.left(20), lettersText(letters_.at(q))));
                    continue;
                }
                if (score < 0) {
                    problem(line, column, QStringLiteral("分数%1小于0。").arg(text));
                    continue;
                }
                if (score > full) {
                    problem(line, column, QStringLiteral("分数%1超过本题满分%2分。").arg(text, marksText(full)));
                    continue;
                }
            }
            student.scores << score;
        }
        if (sheet_.problemCount == before) sheet_.students.append(student);
    }

private:
    // Every problem is counted; the first kListedProblems are kept to be shown.
    void problem(int row, int column, const QString& message)
    {
        if (sheet_.problemCount++ < kListedProblems) sheet_.problems.append({row, column, message});
    }

    const QVector<SheetQuestion>& questions_;
    ReadSheet& sheet_;
    const int columns_;
    QStringList letters_;  // per question: the letters a choice question takes, empty for points
    QVector<QChar> keys_;
    QHash<QString, int> seen_;  // 学号 → the row it was first given on
};

QVector<SheetQuestion> pointsOnly(const QVector<double>& fullMarks)
{
    QVector<SheetQuestion> questions;
    questions.reserve(fullMarks.size());
    for (const double full : fullMarks) questions.append(SheetQuestion{full, QChar(), QString()});
    return questions;
}

}  // namespace

QString columnTitle(int number, double fullMarks)
{
    return QStringLiteral("%1（%2分）").arg(number).arg(marksText(fullMarks));
}

QByteArray emptySheetCsv(const QVector<double>& fullMarks)
{
    return emptySheetCsv(pointsOnly(fullMarks));
}

QByteArray emptySheetCsv(const QVector<SheetQuestion>& questions)
{
    QStringList heading = kFixedColumns;
    for (int q = 0; q < questions.size(); ++q) heading << csvCell(columnTitle(q + 1, questions.at(q).fullMarks));
    return QByteArray("\xEF\xBB\xBF") + heading.join(QLatin1Char(',')).toUtf8() + "\r\n";
}

ReadSheet readSheetCsv(const QByteArray& bytes, const QVector<double>& fullMarks, const QString& fileName)
{
    return readSheetCsv(bytes, pointsOnly(fullMarks), fileName);
}

ReadSheet readSheetCsv(const QByteArray& bytes, const QVector<SheetQuestion>& questions, const QString& fileName)
{
    const QString text = exchange::decodeText(bytes, exchange::TextEncoding::Automatic, fileName).text;
    const QVector<CsvRow> rows = parseCsv(text);
    ReadSheet sheet;
    Checker checker(questions, sheet);
    if (rows.isEmpty()) {
        checker.empty();
        return sheet;
    }
    if (!checker.heading(rows.first().line, rows.first().cells)) return sheet;
    for (qsizetype r = 1; r < rows.size(); ++r) checker.row(rows.at(r).line, rows.at(r).cells);
    return sheet;
}

namespace {

// ---- the workbook (.xlsx) ----------------------------------------------------------------------

// Largest file taken as a sheet, and largest part of a workbook unpacked: a sheet of 10,000
// students and 100 questions is a few megabytes.
constexpr qint64 kMaxSheetFileBytes = 100LL << 20;
const qint64 kMaxPartBytes = packed::Limits().xmlBytes;
// Excel's own limits of a worksheet.
constexpr int kMaxRows = 1048576;
constexpr int kMaxColumns = 16384;

bool isWorkbookName(const QString& path)
{
    return path.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive);
}

// One XML part of a workbook, read token by token. A document type declaration is refused outright
// (entities declared in it could expand a few bytes into gigabytes); a part that is not
// well-formed XML is a damaged workbook.
class Part {
public:
    Part(const QByteArray& bytes, const QString& name, const QString& subject)
        : xml(bytes), name_(name), subject_(subject)
    {
    }

    // The next start or end element; false at the end of the part.
    bool next()
    {
        while (!xml.atEnd()) {
            const QXmlStreamReader::TokenType token = xml.readNext();
            if (token == QXmlStreamReader::DTD) {
                throw AppError(QStringLiteral("“%1”中的“%2”含有文档类型定义（DTD），Excel 工作簿中不会有，不予读取"
                                              "（可能是恶意构造的文件）。")
                                   .arg(subject_, name_));
            }
            if (token == QXmlStreamReader::StartElement || token == QXmlStreamReader::EndElement) return true;
        }
        failIfBad();
        return false;
    }

    // The text of the current element and of the text elements (<t>) inside it, leaving out
    // phonetic guides (<rPh>): a shared or inline string, with rich text runs joined.
    QString text()
    {
        QString out;
        int depth = 1;
        while (depth > 0 && next()) {
            if (xml.isStartElement()) {
                if (xml.name() == u"t") {
                    out += xml.readElementText(QXmlStreamReader::SkipChildElements);
                } else if (xml.name() == u"rPh" || xml.name() == u"phoneticPr") {
                    xml.skipCurrentElement();
                } else {
                    ++depth;
                }
            } else {
                --depth;
            }
        }
        failIfBad();
        return out;
    }

    void failIfBad() const
    {
        if (xml.hasError()) {
            throw AppError(QStringLiteral("无法读取“%1”：工作簿已损坏（“%2”第%3行：%4）。")
                               .arg(subject_, name_)
                               .arg(xml.lineNumber())
                               .arg(xml.errorString()));
        }
    }

    QXmlStreamReader xml;

private:
    QString name_, subject_;
};

// A cell reference ("B3") as its column and row, both from 1; {0, 0} when it is none.
std::pair<int, int> cellPlace(QStringView reference)
{
    qsizetype i = 0;
    qint64 column = 0, row = 0;
    for (; i < reference.size(); ++i) {
        const char16_t c = reference.at(i).unicode();
        if (c >= u'A' && c <= u'Z') {
            column = column * 26 + (c - u'A' + 1);
        } else if (c >= u'a' && c <= u'z') {
            column = column * 26 + (c - u'a' + 1);
        } else {
            break;
        }
        if (column > kMaxColumns + 1) column = kMaxColumns + 1;
    }
    const qsizetype digits = i;
    for (; i < reference.size(); ++i) {
        const char16_t c = reference.at(i).unicode();
        if (c < u'0' || c > u'9') return {0, 0};
        row = std::min<qint64>(row * 10 + (c - u'0'), qint64(kMaxRows) + 1);
    }
    if (digits == 0 || i == digits) return {0, 0};
    return {int(column), int(row)};
}

// A number as a spreadsheet stores it, as the sheet shows it: a score typed as 3 may come back as
// 2.9999999999999996 after a formula, so ten significant digits are kept (no score has more) and a
// whole number is written without a point (a long 学号 stays whole).
QString numberText(const QString& stored)
{
    bool digitsOnly = !stored.isEmpty() && stored.size() <= 15;
    for (const QChar c : stored) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            digitsOnly = false;
            break;
        }
    }
    if (digitsOnly) return stored;
    bool ok = false;
    const double value = stored.toDouble(&ok);
    if (!ok || !std::isfinite(value)) return stored;
    const double rounded = QString::number(value, 'g', 10).toDouble();
    if (std::fabs(rounded) < 1e15 && rounded == std::floor(rounded)) return QString::number(qint64(rounded));
    return QString::number(rounded, 'g', 10);
}

// The unpacked bytes of a workbook's part; throws AppError when it is required and missing, or
// cannot be unpacked within the limit.
QByteArray workbookPart(const packed::Archive& archive, const QString& name, const QString& subject, bool required)
{
    if (!archive.contains(name)) {
        if (!required) return QByteArray();
        throw AppError(QStringLiteral("“%1”不是 Excel 工作簿（.xlsx）：缺少“%2”。请在 Excel 或 WPS 表格中另存为"
                                      " .xlsx 或 CSV 后再读入。")
                           .arg(subject, name));
    }
    const std::optional<QByteArray> bytes = archive.read(name, kMaxPartBytes);
    if (!bytes) {
        throw AppError(QStringLiteral("无法读取“%1”中的“%2”：它已损坏，或解压后超过 %3 MB（可能是恶意构造的"
                                      "“压缩炸弹”）。")
                           .arg(subject, name)
                           .arg(kMaxPartBytes >> 20));
    }
    return *bytes;
}

// A relationship's target as the name of a part: relative to xl/ unless it starts with "/".
QString partName(const QString& target)
{
    const QString path = target.startsWith(QLatin1Char('/')) ? target.mid(1) : QStringLiteral("xl/") + target;
    return QDir::cleanPath(path);
}

struct WorkbookParts {
    QString sheet;          // the first worksheet
    QString sharedStrings;  // empty when the workbook has none
};

WorkbookParts findParts(const packed::Archive& archive, const QString& subject)
{
    const QString workbookName = QStringLiteral("xl/workbook.xml");
    const QString relsName = QStringLiteral("xl/_rels/workbook.xml.rels");
    QString sheetId;
    {
        Part workbook(workbookPart(archive, workbookName, subject, true), workbookName, subject);
        while (sheetId.isEmpty() && workbook.next()) {
            if (!workbook.xml.isStartElement() || workbook.xml.name() != u"sheet") continue;
            // The relationship's id, r:id in whichever namespace the workbook's dialect uses.
            for (const QXmlStreamAttribute& a : workbook.xml.attributes()) {
                if (a.name() == u"id" && !a.namespaceUri().isEmpty()) sheetId = a.value().toString();
            }
            if (sheetId.isEmpty()) break;
        }
    }
    if (sheetId.isEmpty()) {
        throw AppError(QStringLiteral("“%1”中没有工作表，无法读取成绩。").arg(subject));
    }
    WorkbookParts parts;
    Part rels(workbookPart(archive, relsName, subject, true), relsName, subject);
    while (rels.next()) {
        if (!rels.xml.isStartElement() || rels.xml.name() != u"Relationship") continue;
        const QXmlStreamAttributes a = rels.xml.attributes();
        const QStringView type = a.value(QLatin1String("Type"));
        if (a.value(QLatin1String("Id")) == sheetId)
            parts.sheet = partName(a.value(QLatin1String("Target")).toString());
        if (type.endsWith(u"/sharedStrings"))
            parts.sharedStrings = partName(a.value(QLatin1String("Target")).toString());
    }
    if (parts.sheet.isEmpty()) {
        throw AppError(QStringLiteral("“%1”不是完整的 Excel 工作簿：找不到第一张工作表（%2）。").arg(subject, sheetId));
    }
    return parts;
}

QStringList sharedStrings(const packed::Archive& archive, const QString& name, const QString& subject)
{
    QStringList strings;
    if (name.isEmpty()) return strings;
    const QByteArray bytes = workbookPart(archive, name, subject, false);
    if (bytes.isEmpty()) return strings;  // named but missing: a cell that refers to one is refused
    Part part(bytes, name, subject);
    while (part.next()) {
        if (part.xml.isStartElement() && part.xml.name() == u"si") strings << part.text();
    }
    return strings;
}

// A cell's value as text, by its type: a shared string (s), an inline string, a formula's text
// result (str), a truth value (b), an error (e) and a number (n, the default).
QString cellText(Part& sheet, const QStringList& strings, const QString& subject)
{
    const QXmlStreamAttributes attributes = sheet.xml.attributes();
    const QStringView type = attributes.value(QLatin1String("t"));
    QString value;
    bool inlineText = false;
    while (sheet.next()) {
        if (sheet.xml.isEndElement()) break;  // </c>
        if (sheet.xml.name() == u"v") {
            value = sheet.xml.readElementText(QXmlStreamReader::SkipChildElements);
        } else if (sheet.xml.name() == u"is") {
            value = sheet.text();
            inlineText = true;
        } else {
            sheet.xml.skipCurrentElement();  // a formula (f), extensions
        }
    }
    if (inlineText || type == u"str" || type == u"inlineStr") return value;
    if (type == u"s") {
        bool ok = false;
        const qsizetype index = value.toLongLong(&ok);
        if (!ok || index < 0 || index >= strings.size()) {
            throw AppError(QStringLiteral("无法读取“%1”：工作簿已损坏（引用了不存在的第%2个共享文字）。")
                               .arg(subject, value.left(20)));
        }
        return strings.at(index);
    }
    if (type == u"b") return value == u"1" ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    if (type == u"e" || type == u"d") return value;
    return numberText(value);
}

}  // namespace

ReadSheet readSheetXlsx(const QByteArray& bytes, const QVector<SheetQuestion>& questions, const QString& fileName)
{
    const QString subject = QFileInfo(fileName).fileName();
    const packed::Archive archive(packed::Archive::InMemory{}, bytes, subject);
    const WorkbookParts parts = findParts(archive, subject);
    const QStringList strings = sharedStrings(archive, parts.sharedStrings, subject);
    Part sheet(workbookPart(archive, parts.sheet, subject, true), parts.sheet, subject);

    ReadSheet read;
    Checker checker(questions, read);
    const int columns = checker.columns();
    bool headed = false;
    int line = 0;  // the current row's number
    int stray = 0;
    QStringList cells;
    int column = 0;
    // Hands the row just read to the checks; false once the heading has refused the sheet.
    const auto deliver = [&]() -> bool {
        if (!headed) {
            headed = true;
            if (line != 1) {  // the sheet starts below row 1: its heading row is empty
                if (!checker.heading(1, QStringList())) return false;
            } else {
                return checker.heading(line, cells, stray);
            }
        }
        checker.row(line, cells, stray);
        return true;
    };
    const auto tooLarge = [&](const QString& what) {
        return AppError(QStringLiteral("“%1”的工作表有%2，超过 Excel 的上限，不予读取（可能是恶意构造的文件）。")
                            .arg(subject, what));
    };
    while (sheet.next()) {
        if (sheet.xml.isStartElement()) {
            const QStringView name = sheet.xml.name();
            if (name == u"row") {
                const QXmlStreamAttributes attributes = sheet.xml.attributes();
                const QStringView r = attributes.value(QLatin1String("r"));
                int number = line + 1;
                if (!r.isEmpty()) {
                    bool ok = false;
                    number = r.toInt(&ok);
                    if (!ok || number <= line) {
                        throw AppError(QStringLiteral("无法读取“%1”：工作簿已损坏（行号“%2”不对）。")
                                           .arg(subject, r.left(20).toString()));
                    }
                }
                if (number > kMaxRows) throw tooLarge(QStringLiteral("第%1行").arg(number));
                line = number;
                cells = QStringList(columns);
                stray = 0;
                column = 0;
            } else if (name == u"c") {
                if (line == 0)
                    throw AppError(QStringLiteral("无法读取“%1”：工作簿已损坏（单元格不在任何一行中）。").arg(subject));
                const QXmlStreamAttributes attributes = sheet.xml.attributes();
                const QStringView r = attributes.value(QLatin1String("r"));
                if (r.isEmpty()) {
                    ++column;
                } else {
                    const int c = cellPlace(r).first;
                    if (c == 0 || c <= column) {
                        throw AppError(QStringLiteral("无法读取“%1”：工作簿已损坏（单元格“%2”的位置不对）。")
                                           .arg(subject, r.left(20).toString()));
                    }
                    column = c;
                }
                if (column > kMaxColumns) throw tooLarge(QStringLiteral("第%1列以后的内容").arg(kMaxColumns));
                const QString text = cellText(sheet, strings, subject);
                if (column <= columns) {
                    cells[column - 1] = text;
                } else if (!text.trimmed().isEmpty() && stray == 0) {
                    stray = column;
                }
            }
        } else if (sheet.xml.name() == u"row") {
            if (!deliver()) return read;
        } else if (sheet.xml.name() == u"sheetData") {
            break;  // the rest is formatting: merged cells, validations, page setup
        }
    }
    if (!headed) checker.empty();
    return read;
}

void writeEmptySheetXlsx(const QString& path, const QVector<SheetQuestion>& questions)
{
    const QFileInfo info(path);
    // libxlsxwriter writes a file by its name; it writes a temporary one beside the sheet, which
    // then takes the sheet's name in one step.
    QTemporaryFile temporary(info.absolutePath() + QStringLiteral("/.exavoro-sheet-XXXXXX.xlsx"));
    if (!temporary.open()) {
        throw AppError(QStringLiteral("无法在“%1”中保存成绩表：%2")
                           .arg(QDir::toNativeSeparators(info.absolutePath()), temporary.errorString()));
    }
    const QByteArray temporaryName = QFile::encodeName(temporary.fileName());
    temporary.close();

    lxw_workbook* workbook = workbook_new(temporaryName.constData());
    if (!workbook) throw AppError(QStringLiteral("无法保存成绩表“%1”。").arg(info.fileName()));
    lxw_worksheet* sheet = workbook_add_worksheet(workbook, "成绩");
    lxw_format* bold = workbook_add_format(workbook);
    format_set_bold(bold);
    lxw_format* text = workbook_add_format(workbook);
    format_set_num_format_index(text, 49);  // "@", text: a 学号 stays as typed, 0012 keeps its zeros
    worksheet_set_column(sheet, 0, 0, 14, text);
    worksheet_set_column(sheet, 1, 2, 12, nullptr);
    const int fixed = int(kFixedColumns.size());
    if (!questions.isEmpty()) {
        worksheet_set_column(sheet, lxw_col_t(fixed), lxw_col_t(fixed + questions.size() - 1), 10, nullptr);
    }
    worksheet_freeze_panes(sheet, 1, lxw_col_t(fixed));
    for (int c = 0; c < fixed; ++c)
        worksheet_write_string(sheet, 0, lxw_col_t(c), kFixedColumns.at(c).toUtf8().constData(), bold);
    for (int q = 0; q < questions.size(); ++q) {
        const SheetQuestion& question = questions.at(q);
        const lxw_col_t column = lxw_col_t(fixed + q);
        worksheet_write_string(sheet, 0, column, columnTitle(q + 1, question.fullMarks).toUtf8().constData(), bold);
        lxw_data_validation validation{};
        QByteArray message;
        QVector<QByteArray> letters;
        std::vector<char*> list;  // libxlsxwriter copies the letters
        if (question.isChoice()) {
            // A choice question's drop-down of letters; points are still taken (a warning only).
            const QString taken = lettersOf(question);
            for (const QChar c : taken) letters << QString(c).toUtf8();
            for (QByteArray& l : letters) list.push_back(l.data());
            list.push_back(nullptr);
            message = QStringLiteral("请填写本题的选项字母（%1），或0到%2之间的分数。")
                          .arg(lettersText(taken), marksText(question.fullMarks))
                          .toUtf8();
            validation.validate = LXW_VALIDATION_TYPE_LIST;
            validation.value_list = list.data();
            validation.error_type = LXW_VALIDATION_ERROR_TYPE_WARNING;
        } else {
            message = QStringLiteral("请填写0到%1之间的分数。").arg(marksText(question.fullMarks)).toUtf8();
            validation.validate = LXW_VALIDATION_TYPE_DECIMAL;
            validation.criteria = LXW_VALIDATION_CRITERIA_BETWEEN;
            validation.minimum_number = 0;
            validation.maximum_number = question.fullMarks;
            validation.error_type = LXW_VALIDATION_ERROR_TYPE_STOP;
        }
        validation.error_message = message.data();
        worksheet_data_validation_range(sheet, 1, column, LXW_ROW_MAX - 1, column, &validation);
    }
    const lxw_error error = workbook_close(workbook);
    if (error != LXW_NO_ERROR) {
        throw AppError(
            QStringLiteral("无法保存成绩表“%1”：%2").arg(info.fileName(), QString::fromUtf8(lxw_strerror(error))));
    }
    if (std::rename(temporaryName.constData(), QFile::encodeName(info.absoluteFilePath()).constData()) != 0) {
        throw AppError(
            QStringLiteral("无法保存成绩表“%1”：不能替换这个文件（它可能正在别的程序中打开，或没有写入权限）。")
                .arg(info.fileName()));
    }
    temporary.setAutoRemove(false);
}

void writeEmptySheet(const QString& path, const QVector<SheetQuestion>& questions)
{
    if (isWorkbookName(path)) {
        writeEmptySheetXlsx(path, questions);
        return;
    }
    QSaveFile file(path);
    const QByteArray bytes = emptySheetCsv(questions);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        throw AppError(QStringLiteral("无法保存成绩表“%1”：%2").arg(QFileInfo(path).fileName(), file.errorString()));
    }
}

ReadSheet readSheetFile(const QString& path, const QVector<SheetQuestion>& questions)
{
    const QFileInfo info(path);
    const QString name = info.fileName();
    // Looked at before anything opens it: a device or a pipe never ends.
    if (!info.exists()) throw AppError(QStringLiteral("文件“%1”不存在。").arg(path));
    if (!info.isFile()) throw AppError(QStringLiteral("“%1”不是普通文件，无法读取。").arg(name));
    if (info.size() > kMaxSheetFileBytes) {
        throw AppError(QStringLiteral("“%1”太大（%2 MB），成绩表最多 %3 MB。")
                           .arg(name)
                           .arg(info.size() >> 20)
                           .arg(kMaxSheetFileBytes >> 20));
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw AppError(QStringLiteral("无法读取“%1”：%2").arg(name, file.errorString()));
    }
    const QByteArray bytes = file.read(kMaxSheetFileBytes + 1);
    if (bytes.size() > kMaxSheetFileBytes) {
        throw AppError(QStringLiteral("“%1”太大，成绩表最多 %2 MB。").arg(name).arg(kMaxSheetFileBytes >> 20));
    }
    return isWorkbookName(path) ? readSheetXlsx(bytes, questions, name) : readSheetCsv(bytes, questions, name);
}

}  // namespace analysis
