// The score sheet as CSV: the empty sheet's heading, a filled sheet read back (quoted cells, blank
// rows, empty scores, GB18030 from a Chinese spreadsheet program), and every kind of bad cell named
// by its row and column as a spreadsheet shows them.
#include "analysis/score_sheet.h"
#include "data/errors.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <QTest>

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
};

QTEST_GUILESS_MAIN(ScoreSheetTest)
#include "test_score_sheet.moc"
