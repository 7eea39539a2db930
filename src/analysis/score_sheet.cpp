#include "analysis/score_sheet.h"

#include "exchange/text_encoding.h"

#include <QHash>
#include <QStringList>

#include <cmath>

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

}  // namespace

QString columnTitle(int number, double fullMarks)
{
    return QStringLiteral("%1（%2分）").arg(number).arg(marksText(fullMarks));
}

QByteArray emptySheetCsv(const QVector<double>& fullMarks)
{
    QStringList heading = kFixedColumns;
    for (int q = 0; q < fullMarks.size(); ++q) heading << csvCell(columnTitle(q + 1, fullMarks.at(q)));
    return QByteArray("\xEF\xBB\xBF") + heading.join(QLatin1Char(',')).toUtf8() + "\r\n";
}

ReadSheet readSheetCsv(const QByteArray& bytes, const QVector<double>& fullMarks, const QString& fileName)
{
    const QString text = exchange::decodeText(bytes, exchange::TextEncoding::Automatic, fileName).text;
    const QVector<CsvRow> rows = parseCsv(text);
    ReadSheet sheet;
    const int columns = static_cast<int>(kFixedColumns.size() + fullMarks.size());
    auto problem = [&](int row, int column, const QString& message) { sheet.problems.append({row, column, message}); };
    if (rows.isEmpty()) {
        problem(1, 1, QStringLiteral("成绩表是空的，第一行应是表头“学号,姓名,班级,1（…分）…”。"));
        return sheet;
    }
    const CsvRow& head = rows.first();
    for (int c = 0; c < columns; ++c) {
        const QString wanted = c < kFixedColumns.size() ? kFixedColumns.at(c)
                                                         : columnTitle(c - int(kFixedColumns.size()) + 1,
                                                                       fullMarks.at(c - kFixedColumns.size()));
        const QString given = c < head.cells.size() ? head.cells.at(c).trimmed() : QString();
        if (given != wanted) {
            problem(head.line, c + 1,
                    QStringLiteral("表头应为“%1”，这里是“%2”：成绩表与这份试卷的题目不符。").arg(wanted, given));
        }
    }
    if (head.cells.size() > columns && !blank(head.cells.mid(columns))) {
        problem(head.line, columns + 1, QStringLiteral("表头比试卷的题目多出%1列。").arg(head.cells.size() - columns));
    }
    if (!sheet.problems.isEmpty()) return sheet;

    QHash<QString, int> seen;  // 学号 → the row it was first given on
    for (qsizetype r = 1; r < rows.size(); ++r) {
        const CsvRow& row = rows.at(r);
        if (blank(row.cells)) continue;
        const qsizetype before = sheet.problems.size();
        QStringList cells = row.cells;
        if (cells.size() > columns && blank(cells.mid(columns))) cells = cells.mid(0, columns);
        if (cells.size() != columns) {
            problem(row.line, std::min<int>(int(cells.size()), columns) + 1,
                    QStringLiteral("这一行有%1格，应有%2格。").arg(cells.size()).arg(columns));
            continue;
        }
        Student student;
        student.id = cells.at(0).trimmed();
        student.name = cells.at(1).trimmed();
        student.group = cells.at(2).trimmed();
        if (student.id.isEmpty()) {
            problem(row.line, 1, QStringLiteral("缺少学号。"));
        } else if (seen.contains(student.id)) {
            problem(row.line, 1, QStringLiteral("学号“%1”在第%2行已经出现过。").arg(student.id).arg(seen.value(student.id)));
        } else {
            seen.insert(student.id, row.line);
        }
        for (int q = 0; q < fullMarks.size(); ++q) {
            const int column = int(kFixedColumns.size()) + q + 1;
            const QString given = cells.at(column - 1).trimmed();
            double score = 0;
            if (!given.isEmpty()) {
                bool ok = false;
                score = given.toDouble(&ok);
                if (!ok || !std::isfinite(score)) {
                    problem(row.line, column, QStringLiteral("“%1”不是分数。").arg(given.left(20)));
                    continue;
                }
                if (score < 0) {
                    problem(row.line, column, QStringLiteral("分数%1小于0。").arg(given));
                    continue;
                }
                if (score > fullMarks.at(q)) {
                    problem(row.line, column,
                            QStringLiteral("分数%1超过本题满分%2分。").arg(given, marksText(fullMarks.at(q))));
                    continue;
                }
            }
            student.scores << score;
        }
        if (sheet.problems.size() == before) sheet.students.append(student);
    }
    return sheet;
}

}  // namespace analysis
