#pragma once
#include <QByteArray>
#include <QString>
#include <QVector>

// The score sheet of a paper as a CSV file or an Excel workbook: a teacher fills in one row per
// student (学号, 姓名, 班级) and one column per question, headed with its number and full marks
// ("1（3分）"). Reading one back checks every cell and names each bad one by its row and column, as a
// spreadsheet shows them; both kinds of file go through the same checks.
namespace analysis {

// A question's column on the sheet, in paper order (the first is question 1).
struct SheetQuestion {
    double fullMarks = 0;
    // A choice question (选择题) whose key is one letter: the key and the letters it offers
    // ("ABCD"). Its cell takes the letter a student chose, which scores the full marks when it is
    // the key and 0 otherwise; points are taken too. A null key: a question scored in points.
    QChar key{};
    QString options{};
    bool isChoice() const { return !key.isNull(); }
};

// The heading of a question's column: "1（3分）", "2（1.5分）".
QString columnTitle(int number, double fullMarks);

// The empty sheet of a paper whose questions have these full marks: the heading row only, in
// UTF-8 with the mark spreadsheet programs look for to read it as such.
QByteArray emptySheetCsv(const QVector<double>& fullMarks);

struct Student {
    QString id;      // 学号
    QString name;    // 姓名
    QString group;   // 班级
    QVector<double> scores;
    // One character per question: the letter chosen for a choice question, ' ' where none was
    // given or the question is scored in points.
    QString choices{};
};

// A bad cell: row 1 is the heading row, column 1 is 学号.
struct Problem {
    int row = 0;
    int column = 0;
    QString message;
};

// A sheet gone wrong throughout (another paper's, a shifted column) names its first bad cells; a
// list of a million helps nobody and costs the memory of one.
constexpr int kListedProblems = 1000;

struct ReadSheet {
    QVector<Student> students;  // the rows without problems, in the sheet's order
    QVector<Problem> problems;  // the bad cells in the sheet's order, the first kListedProblems of them
    int problemCount = 0;       // every bad cell
    bool clean() const { return problemCount == 0; }
};

// Reads a filled sheet (UTF-8 or GB18030, commas; quoted cells may hold commas, quotes and line
// breaks) for a paper whose questions have these full marks. The heading row must name the
// questions as emptySheetCsv() does. An empty score counts as 0; blank rows are skipped. Each of
// these is a problem: a heading that does not match, a row with too many or too few cells, a
// missing 学号, a 学号 given twice, a 学号, 姓名 or 班级 longer than 100 characters, a score that is
// not a number, below 0 or above the question's full marks. Throws AppError when the bytes are no
// text.
ReadSheet readSheetCsv(const QByteArray& bytes, const QVector<double>& fullMarks, const QString& fileName);

// The same for sheets with choice questions: a choice question's cell takes a letter of its options
// (upper or lower case, full-width Ａ–Ｚ too) or points; any other letter is a problem.
// Student::choices holds the letters.
QByteArray emptySheetCsv(const QVector<SheetQuestion>& questions);
ReadSheet readSheetCsv(const QByteArray& bytes, const QVector<SheetQuestion>& questions, const QString& fileName);

// The sheet as an Excel workbook (.xlsx): one worksheet, the heading row, a choice question's
// column taking one of its letters. Written with libxlsxwriter into `path` (through a temporary
// file, so that a failure leaves no half-written sheet); throws AppError.
void writeEmptySheetXlsx(const QString& path, const QVector<SheetQuestion>& questions);
// A filled workbook read back: the first worksheet's cells (shared strings, inline strings and
// numbers) checked as readSheetCsv() checks them, row and column as the spreadsheet shows them.
// Throws AppError when the bytes are no workbook (or a hostile one: too large unpacked).
ReadSheet readSheetXlsx(const QByteArray& bytes, const QVector<SheetQuestion>& questions, const QString& fileName);

// By the file name: .xlsx as a workbook, anything else as CSV. Throws AppError when the file cannot
// be written or read.
void writeEmptySheet(const QString& path, const QVector<SheetQuestion>& questions);
ReadSheet readSheetFile(const QString& path, const QVector<SheetQuestion>& questions);

}  // namespace analysis
