// The score sheet as CSV: the empty sheet's heading, a filled sheet read back (quoted cells, blank
// rows, empty scores, GB18030 from a Chinese spreadsheet program), and every kind of bad cell named
// by its row and column as a spreadsheet shows them; choice questions answered by letter, and sheets
// written to a file and read back by its name.
#include "analysis/score_sheet.h"
#include "data/errors.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QStringEncoder>
#include <QTest>

#include <functional>

using analysis::Problem;

namespace {

const QVector<double> kMarks = {3, 1.5, 10};

// The problems as "row/column" pairs.
QStringList places(const analysis::ReadSheet& sheet)
{
    QStringList out;
    for (const Problem& p : sheet.problems) out << QStringLiteral("%1/%2").arg(p.row).arg(p.column);
    return out;
}

QByteArray filled(const QByteArray& rows)
{
    return analysis::emptySheetCsv(kMarks) + rows;
}

}  // namespace

class ScoreSheetTest : public QObject {
    Q_OBJECT
private slots:
    void theEmptySheetNamesEveryQuestionWithItsFullMarks()
    {
        QCOMPARE(analysis::columnTitle(2, 1.5), QString("2（1.5分）"));
        const QByteArray sheet = analysis::emptySheetCsv(kMarks);
        QVERIFY(sheet.startsWith("\xEF\xBB\xBF"));
        QCOMPARE(QString::fromUtf8(sheet.mid(3)), QString("学号,姓名,班级,1（3分）,2（1.5分）,3（10分）\r\n"));
        const analysis::ReadSheet back = analysis::readSheetCsv(sheet, kMarks, "空表.csv");
        QVERIFY(back.clean());
        QVERIFY(back.students.isEmpty());
    }

    void aFilledSheetReadsBackStudentByStudent()
    {
        const analysis::ReadSheet sheet = analysis::readSheetCsv(
            filled("2024001,张三,高一（1）班,3,1.5,9.5\r\n"
                   "\r\n"
                   ",,,,,\r\n"
                   "2024002,\"李,四\",\"高一\n（2）班\",0,,10\r\n"
                   " 2024003 ,\"王\"\"五\"\"\",高一（1）班, 2 ,0.5,0\n"),
            kMarks, "成绩.csv");
        QVERIFY2(sheet.clean(), qPrintable(places(sheet).join(' ')));
        QCOMPARE(sheet.students.size(), 3);
        QCOMPARE(sheet.students.at(0).id, QString("2024001"));
        QCOMPARE(sheet.students.at(0).scores, (QVector<double>{3, 1.5, 9.5}));
        QCOMPARE(sheet.students.at(1).name, QString("李,四"));
        QCOMPARE(sheet.students.at(1).group, QString("高一\n（2）班"));
        QCOMPARE(sheet.students.at(1).scores, (QVector<double>{0, 0, 10}));  // an empty score is 0
        QCOMPARE(sheet.students.at(2).id, QString("2024003"));
        QCOMPARE(sheet.students.at(2).name, QString("王\"五\""));
        QCOMPARE(sheet.students.at(2).scores, (QVector<double>{2, 0.5, 0}));
        // The same sheet as a Chinese spreadsheet program saves it: GB18030, no mark.
        QStringEncoder gb("GB18030");
        QVERIFY(gb.isValid());
        const QByteArray local = gb.encode(QString::fromUtf8(analysis::emptySheetCsv(kMarks).mid(3)) +
                                           "2024009,赵六,高一（3）班,1,1,1\r\n");
        const analysis::ReadSheet fromGb = analysis::readSheetCsv(local, kMarks, "成绩.csv");
        QVERIFY(fromGb.clean());
        QCOMPARE(fromGb.students.size(), 1);
        QCOMPARE(fromGb.students.first().name, QString("赵六"));
    }

    void everyBadCellIsNamedByItsRowAndColumn()
    {
        // Row 1 is the heading; rows 2 … as a spreadsheet numbers them (the quoted line break in
        // row 3 does not start a row; the blank row 4 still counts).
        const analysis::ReadSheet sheet = analysis::readSheetCsv(
            filled("2024001,张三,一班,3,1.5,10\r\n"
                   ",\"无\n学号\",一班,1,1,1\r\n"
                   "\r\n"
                   "2024001,重名,一班,1,1,1\r\n"
                   "2024005,甲,一班,三,-1,10.5\r\n"
                   "2024006,乙,一班,3.5,1.6,1e999\r\n"
                   "2024007,丙,一班,1,1\r\n"
                   "2024008,丁,一班,1,1,1,2\r\n"),
            kMarks, "成绩.csv");
        QCOMPARE(places(sheet), (QStringList{"3/1", "5/1", "6/4", "6/5", "6/6", "7/4", "7/5", "7/6", "8/6", "9/7"}));
        QCOMPARE(sheet.problems.at(1).message, QString("学号“2024001”在第2行已经出现过。"));
        QCOMPARE(sheet.problems.at(2).message, QString("“三”不是分数。"));
        QCOMPARE(sheet.problems.at(3).message, QString("分数-1小于0。"));
        QCOMPARE(sheet.problems.at(4).message, QString("分数10.5超过本题满分10分。"));
        QCOMPARE(sheet.problems.at(6).message, QString("分数1.6超过本题满分1.5分。"));
        QCOMPARE(sheet.problems.at(8).message, QString("这一行有5格，应有6格。"));
        // Only the clean row is taken.
        QCOMPARE(sheet.students.size(), 1);
        QCOMPARE(sheet.students.first().id, QString("2024001"));
        QCOMPARE(sheet.students.first().name, QString("张三"));
        QCOMPARE(sheet.problemCount, 10);

        // A sheet wrong throughout counts every bad cell and lists the first thousand; its clean
        // rows are still taken.
        QByteArray rows;
        for (int i = 0; i < 1500; ++i) rows += QByteArray::number(3000 + i) + ",某,一班,9,9,1\r\n";
        rows += "9999,好,一班,1,1,1\r\n";
        const analysis::ReadSheet wrong = analysis::readSheetCsv(filled(rows), kMarks, "成绩.csv");
        QCOMPARE(wrong.problemCount, 3000);
        QCOMPARE(wrong.problems.size(), analysis::kListedProblems);
        QCOMPARE(places(wrong).last(), QString("501/5"));
        QVERIFY(!wrong.clean());
        QCOMPARE(wrong.students.size(), 1);
        QCOMPARE(wrong.students.first().id, QString("9999"));
    }

    void aSheetOfAnotherPaperOrNoSheetIsRefusedWhole()
    {
        const analysis::ReadSheet other = analysis::readSheetCsv(
            analysis::emptySheetCsv({3, 2, 10}) + "2024001,张三,一班,3,1,9\r\n", kMarks, "成绩.csv");
        QCOMPARE(places(other), QStringList{"1/5"});
        QCOMPARE(other.problems.first().message, QString("表头应为“2（1.5分）”，这里是“2（2分）”：成绩表与这份试卷的题目不符。"));
        QVERIFY(other.students.isEmpty());
        const analysis::ReadSheet fewer = analysis::readSheetCsv(analysis::emptySheetCsv({3, 1.5}), kMarks, "成绩.csv");
        QCOMPARE(places(fewer), QStringList{"1/6"});
        const analysis::ReadSheet more =
            analysis::readSheetCsv(analysis::emptySheetCsv({3, 1.5, 10, 2}), kMarks, "成绩.csv");
        QCOMPARE(places(more), QStringList{"1/7"});
        QCOMPARE(places(analysis::readSheetCsv("", kMarks, "空.csv")), QStringList{"1/1"});
        // Bytes that are no text at all.
        bool refused = false;
        try {
            analysis::readSheetCsv(QByteArray("\xff\xfe\x00\xd8\x00\x00\xff", 7) + QByteArray(64, '\x80'), kMarks,
                                   "图片.csv");
        } catch (const AppError&) {
            refused = true;
        }
        QVERIFY(refused);
    }

    void choiceQuestionsTakeTheLetterChosenAndScoreOnlyTheKey()
    {
        const QVector<analysis::SheetQuestion> questions = {
            {2, QChar('B'), QStringLiteral("ABCD")}, {3, QChar(), QString()}, {2, QChar('a'), QStringLiteral("ABCDE")}};
        const QByteArray empty = analysis::emptySheetCsv(questions);
        // The heading names the questions as for any other paper.
        QCOMPARE(QString::fromUtf8(empty.mid(3)), QString("学号,姓名,班级,1（2分）,2（3分）,3（2分）\r\n"));
        const analysis::ReadSheet sheet = analysis::readSheetCsv(empty +
                                                                     "1,甲,一班,B,3,A\r\n"
                                                                     "2,乙,一班,c,1,e\r\n"
                                                                     "3,丙,一班, Ｂ ,0,ａ\r\n"
                                                                     "4,丁,一班,2,,\r\n"
                                                                     "5,戊,一班,E,1,F\r\n"
                                                                     "6,己,一班,AB,1,\r\n"
                                                                     "7,庚,一班,2.5,一,\r\n"
                                                                     "8,辛,一班,ｅ,1,b\r\n",
                                                                 questions, "成绩.csv");
        QCOMPARE(sheet.students.size(), 4);
        const analysis::Student& right = sheet.students.at(0);
        QCOMPARE(right.scores, (QVector<double>{2, 3, 2}));
        QCOMPARE(right.choices, QString("B A"));
        // Wrong letters score nothing, in either case.
        QCOMPARE(sheet.students.at(1).scores, (QVector<double>{0, 1, 0}));
        QCOMPARE(sheet.students.at(1).choices, QString("C E"));
        // Full-width letters from a Chinese input method.
        QCOMPARE(sheet.students.at(2).scores, (QVector<double>{2, 0, 2}));
        QCOMPARE(sheet.students.at(2).choices, QString("B A"));
        // Points in a choice question's cell are taken as points; nothing chosen is a blank.
        QCOMPARE(sheet.students.at(3).scores, (QVector<double>{2, 0, 0}));
        QCOMPARE(sheet.students.at(3).choices, QString("   "));
        QCOMPARE(places(sheet), (QStringList{"6/4", "6/6", "7/4", "8/4", "8/5", "9/4"}));
        QCOMPARE(sheet.problems.at(0).message, QString("选项“E”不是本题的选项（A–D）。"));
        QCOMPARE(sheet.problems.at(1).message, QString("选项“F”不是本题的选项（A–E）。"));
        QCOMPARE(sheet.problems.at(2).message, QString("“AB”既不是本题的选项（A–D），也不是分数。"));
        QCOMPARE(sheet.problems.at(3).message, QString("分数2.5超过本题满分2分。"));
        // A question scored in points still refuses a letter.
        QCOMPARE(sheet.problems.at(4).message, QString("“一”不是分数。"));
        QCOMPARE(sheet.problems.at(5).message, QString("选项“ｅ”不是本题的选项（A–D）。"));

        // A key whose options are not given: A–D, and the key's own letter beyond them.
        const QVector<analysis::SheetQuestion> bare = {{1, QChar('F'), QString()}, {1, QChar('C'), QStringLiteral("CA")}};
        const analysis::ReadSheet more = analysis::readSheetCsv(analysis::emptySheetCsv(bare) +
                                                                    "1,甲,一班,F,A\r\n"
                                                                    "2,乙,一班,E,B\r\n",
                                                                bare, "成绩.csv");
        QCOMPARE(places(more), QStringList{"3/5"});
        QCOMPARE(more.problems.first().message, QString("选项“B”不是本题的选项（A、C）。"));
        QCOMPARE(more.students.size(), 1);
        QCOMPARE(more.students.first().scores, (QVector<double>{1, 0}));
        QCOMPARE(more.students.first().choices, QString("FA"));
    }

    void aSheetOfPointsGivesNoLettersAndTheOldReadingStays()
    {
        const QVector<analysis::SheetQuestion> points = {{3, QChar(), QString()}, {1.5, QChar(), QString()},
                                                         {10, QChar(), QString()}};
        QCOMPARE(analysis::emptySheetCsv(points), analysis::emptySheetCsv(kMarks));
        // A letter in a question scored in points is no score.
        const analysis::ReadSheet sheet = analysis::readSheetCsv(filled("1,甲,一班,3,1,10\r\n2,乙,一班,A,1,1\r\n"),
                                                                 kMarks, "成绩.csv");
        QCOMPARE(places(sheet), QStringList{"3/4"});
        QCOMPARE(sheet.problems.first().message, QString("“A”不是分数。"));
        QCOMPARE(sheet.students.first().choices, QString("   "));
        // 学号, 姓名 and 班级 longer than any real one are refused.
        const analysis::ReadSheet longer = analysis::readSheetCsv(
            filled("1," + QByteArray(101, 'x') + ",一班,3,1,10\r\n2,乙," + QByteArray(100, 'y') + ",1,1,1\r\n"), kMarks,
            "成绩.csv");
        QCOMPARE(places(longer), QStringList{"2/2"});
        QCOMPARE(longer.problems.first().message, QString("姓名太长（101个字），最多100个字。"));
        QCOMPARE(longer.students.size(), 1);
    }

    void sheetsAreWrittenAndReadByTheirFileName()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QVector<analysis::SheetQuestion> questions = {{2, QChar('B'), QStringLiteral("ABCD")},
                                                            {3, QChar(), QString()}};
        const QString csv = dir.filePath("成绩.csv");
        analysis::writeEmptySheet(csv, questions);
        QFile written(csv);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), analysis::emptySheetCsv(questions));
        written.close();
        // Written again over the old one, through a temporary file that does not stay behind.
        analysis::writeEmptySheet(csv, questions);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"成绩.csv"});
        QVERIFY(written.open(QIODevice::Append));
        written.write("2024001,张三,一班,b,2.5\r\n");
        written.close();
        const analysis::ReadSheet back = analysis::readSheetFile(csv, questions);
        QVERIFY(back.clean());
        QCOMPARE(back.students.first().scores, (QVector<double>{2, 2.5}));
        QCOMPARE(back.students.first().choices, QString("B "));
        // Upper-case .XLSX is a workbook as well.
        const QString book = dir.filePath("成绩.XLSX");
        analysis::writeEmptySheet(book, questions);
        QFile bytes(book);
        QVERIFY(bytes.open(QIODevice::ReadOnly));
        QVERIFY(bytes.read(2) == "PK");
        QVERIFY(analysis::readSheetFile(book, questions).clean());

        const auto refusal = [](const std::function<void()>& step) {
            try {
                step();
            } catch (const AppError& e) {
                return e.text();
            }
            return QString();
        };
        QCOMPARE(refusal([&] { analysis::readSheetFile(dir.filePath("没有.csv"), questions); }),
                 QString("文件“%1”不存在。").arg(dir.filePath("没有.csv")));
        QCOMPARE(refusal([&] { analysis::readSheetFile(dir.path(), questions); }),
                 QString("“%1”不是普通文件，无法读取。").arg(QFileInfo(dir.path()).fileName()));
        // A file larger than any sheet is not read at all (a sparse file: nothing is written).
        QFile large(dir.filePath("大.csv"));
        QVERIFY(large.open(QIODevice::WriteOnly) && large.resize((100LL << 20) + 1));
        large.close();
        QCOMPARE(refusal([&] { analysis::readSheetFile(large.fileName(), questions); }),
                 QString("“大.csv”太大（100 MB），成绩表最多 100 MB。"));
        // Into a folder that does not exist: an error, and nothing written.
        QVERIFY(refusal([&] { analysis::writeEmptySheet(dir.filePath("无/成绩.csv"), questions); })
                    .startsWith("无法保存成绩表“成绩.csv”"));
        QVERIFY(refusal([&] { analysis::writeEmptySheet(dir.filePath("无/成绩.xlsx"), questions); })
                    .startsWith("无法在"));
        QVERIFY(!QFileInfo::exists(dir.filePath("无")));
    }
};

QTEST_GUILESS_MAIN(ScoreSheetTest)
#include "test_score_sheet.moc"
