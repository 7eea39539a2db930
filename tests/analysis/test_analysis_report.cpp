// How an item analysis reads (成绩分析): figures as text, the reasons a question is flagged, a choice
// question's letters, and the report document built from them and written whole or not at all.
#include "analysis/analysis_report.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <limits>
#include <unistd.h>

#include "data/errors.h"
#include "output/docx_package.h"
#include "output/docx_reader.h"

using namespace analysis;

namespace {

ItemStats item(double p, double d, double r, QVector<OptionShare> options = {})
{
    ItemStats s;
    s.difficulty = p;
    s.mean = p * 2;
    s.discrimination = d;
    s.itemRest = r;
    s.options = options;
    return s;
}

ReportData sample()
{
    ReportData data;
    data.paperTitle = QStringLiteral("期末\r考试");
    SittingInfo one;
    one.heldOn = QStringLiteral("2026-11-20");
    one.group = QStringLiteral("1班");
    one.students = 30;
    SittingInfo two = one;
    two.heldOn = QStringLiteral("2026-11-21");
    two.group = QString();
    two.students = 12;
    data.sittings = {one, two};
    data.questions = {{1, QStringLiteral("选择题"), 2, QLatin1Char('B')}, {2, QStringLiteral("简答题"), 10, QChar()}};
    data.analysis.items = {item(0.85, 0.45, 0.4,
                                {{QLatin1Char('A'), 0.0, 0.3, 0.1}, {QLatin1Char('B'), 0.9, 0.5, 0.85},
                                 {QLatin1Char('C'), 0.1, 0.2, 0.05}}),
                           item(0.12, 0.1, -0.05)};
    data.analysis.paper.students = 42;
    data.analysis.paper.total = 12;
    data.analysis.paper.mean = 7.25;
    data.analysis.paper.sd = 2.5;
    data.analysis.paper.passRate = 0.5;
    data.analysis.paper.alpha = 0.7123;
    data.analysis.paper.sem = 1.34;
    QImage chart(160, 90, QImage::Format_RGB32);
    chart.fill(Qt::white);
    data.charts = {{QStringLiteral("总分分布"), chart}};
    return data;
}

}  // namespace

class AnalysisReportTest : public QObject {
    Q_OBJECT
private slots:
    void figuresReadWithTheirDecimalsAndADashForNothing();
    void reasonsNameTheFigureAndItsLine();
    void wrongLettersDrawingTheTopGroupAreNamed();
    void reportHoldsTheSittingsFiguresTableAndCharts();
    void reportThatCannotBeWrittenLeavesTheOldFileWhole();
};

void AnalysisReportTest::figuresReadWithTheirDecimalsAndADashForNothing()
{
    QCOMPARE(figureText(0.625), QStringLiteral("0.63"));
    QCOMPARE(figureText(-0.001), QStringLiteral("0.00"));
    QCOMPARE(figureText(-0.1), QStringLiteral("-0.10"));
    QCOMPARE(figureText(std::numeric_limits<double>::quiet_NaN()), QStringLiteral("—"));
    QCOMPARE(figureText(0.71234, 3), QStringLiteral("0.712"));
    QCOMPARE(percentText(0.655), QStringLiteral("65.5%"));
    QCOMPARE(percentText(1), QStringLiteral("100.0%"));
    PaperStats paper;
    paper.students = 3;
    paper.alpha = std::numeric_limits<double>::quiet_NaN();
    paper.sem = std::numeric_limits<double>::quiet_NaN();
    const auto figures = paperFigures(paper);
    QCOMPARE(figures.size(), 10);
    QCOMPARE(figures.first(), qMakePair(QStringLiteral("人数"), QStringLiteral("3")));
    QCOMPARE(figures.at(8), qMakePair(QStringLiteral("Cronbach α"), QStringLiteral("—")));
    QCOMPARE(figures.at(9), qMakePair(QStringLiteral("测量标准误"), QStringLiteral("—")));
}

void AnalysisReportTest::reasonsNameTheFigureAndItsLine()
{
    FlagReasons hard = flagReasons(item(0.15, 0.5, 0.3), QChar());
    QCOMPARE(hard.difficulty, QStringLiteral("难度 0.15 低于 0.2：题目过难"));
    QVERIFY(hard.discrimination.isEmpty() && hard.itemRest.isEmpty() && hard.options.isEmpty());
    QCOMPARE(flagReasons(item(0.95, 0.5, 0.3), QChar()).difficulty, QStringLiteral("难度 0.95 高于 0.9：题目过易"));
    // On the lines themselves: nothing to say.
    QVERIFY(!flagReasons(item(0.2, 0.2, 0), QChar()).any());
    QVERIFY(!flagReasons(item(0.9, 0.2, 0), QChar()).any());
    const FlagReasons weak = flagReasons(item(0.5, 0.12, -0.2), QChar());
    QCOMPARE(weak.discrimination, QStringLiteral("区分度 0.12 低于 0.2：区分能力弱"));
    QCOMPARE(weak.itemRest, QStringLiteral("题总相关 -0.20 低于 0：与其余题目的得分方向相反"));
    QCOMPARE(weak.all().size(), 2);
    // A correlation that cannot be computed is no reason.
    QVERIFY(flagReasons(item(0.5, 0.5, std::numeric_limits<double>::quiet_NaN()), QChar()).itemRest.isEmpty());
}

void AnalysisReportTest::wrongLettersDrawingTheTopGroupAreNamed()
{
    const ItemStats choice = item(0.6, 0.4, 0.3,
                                  {{QLatin1Char('A'), 0.1, 0.3, 0.2},
                                   {QLatin1Char('B'), 0.6, 0.5, 0.55},
                                   {QLatin1Char('C'), 0.3, 0.1, 0.2},
                                   {QLatin1Char('D'), 0.0, 0.1, 0.05}});
    QCOMPARE(misleadingLetters(choice, QLatin1Char('B')), QStringLiteral("C"));
    QCOMPARE(flagReasons(choice, QLatin1Char('B')).options,
             QStringLiteral("选项 C 吸引高分组 30.0%，多于低分组 10.0%：干扰项或答案可能有误"));
    // With the key C, the letters drawing the top group are B (wrong) and C itself (right).
    QCOMPARE(misleadingLetters(choice, QLatin1Char('C')), QStringLiteral("B"));
    QCOMPARE(flagSummary(choice, QLatin1Char('B')), QStringLiteral("干扰项"));
    QCOMPARE(flagSummary(item(0.95, 0.1, 0.3), QChar()), QStringLiteral("过易、区分弱"));
    QCOMPARE(flagSummary(item(0.5, 0.5, 0.3), QChar()), QString());
    QCOMPARE(optionSharesText(choice, QLatin1Char('B')), QStringLiteral("A 10%/30%  B* 60%/50%  C 30%/10%  D 0%/10%"));
    // Not a choice question: no letters, nothing said.
    QCOMPARE(optionSharesText(item(0.5, 0.5, 0.5), QChar()), QString());
    QVERIFY(flagReasons(choice, QChar()).options.isEmpty());
}

void AnalysisReportTest::reportHoldsTheSittingsFiguresTableAndCharts()
{
    const docx::Document doc = buildReport(sample());
    QCOMPARE(doc.paragraphs().first().runs.value(0).text, QStringLiteral("期末 考试 成绩分析"));
    QVERIFY(doc.paragraphs().first().bold);
    QCOMPARE(doc.tables().size(), 3);
    // The figures in pairs: 10 figures on 5 rows below the heading.
    const docx::Table& figures = doc.tables().at(0);
    QCOMPARE(figures.rows.size(), 6);
    QCOMPARE(figures.rows.at(1), (QStringList{"人数", "42", "平均分", "7.25"}));
    QCOMPARE(figures.rows.at(5), (QStringList{"Cronbach α", "0.712", "测量标准误", "1.34"}));
    const docx::Table& items = doc.tables().at(1);
    QCOMPARE(items.rows.size(), 3);
    QCOMPARE(items.rows.at(1).mid(0, 7), (QStringList{"1", "选择题", "2", "1.70", "0.85", "0.45", "0.40"}));
    QCOMPARE(items.rows.at(1).at(7), QString());
    QCOMPARE(items.rows.at(2).at(7), QStringLiteral("过难、区分弱、负相关"));
    const docx::Table& options = doc.tables().at(2);
    QCOMPARE(options.rows.size(), 2);
    QCOMPARE(options.rows.at(1), (QStringList{"1", "B", "A 0%/30%  B* 90%/50%  C 10%/20%"}));
    QCOMPARE(doc.pictures().size(), 1);
    QCOMPARE(doc.pictures().first().size, QSize(160, 90));

    // Written and read back as a word processor does.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("报告.docx"));
    writeReport(path, sample());
    const docxread::Package back = docxread::read(path);
    QVERIFY2(back.error.isEmpty(), qPrintable(back.error));
    const QStringList tokens = back.tokens();
    for (const QString& line : {QStringLiteral("2026-11-20  1班  30 人"), QStringLiteral("2026-11-21  12 人"),
                                QStringLiteral("及格线为总分的 60%，优秀线为总分的 85%。"),
                                QStringLiteral("共 1 道题需要注意："),
                                QStringLiteral("第 2 题：难度 0.12 低于 0.2：题目过难；区分度 0.10 低于 0.2：区分能力弱；"
                                               "题总相关 -0.05 低于 0：与其余题目的得分方向相反"),
                                QStringLiteral("图1  总分分布")}) {
        QVERIFY2(tokens.contains(line), qPrintable(line + QStringLiteral("\n") + tokens.join('\n')));
    }
    int pictures = 0;
    for (const docxread::Paragraph& p : back.paragraphs) {
        for (const docxread::Picture& picture : p.pictures) {
            ++pictures;
            // As wide as the printable area, in the picture's proportions.
            QCOMPARE(picture.cx, qint64(docx::kPrintableWidthPixels) * docx::kEmuPerPixel);
            QCOMPARE(picture.cy, picture.cx * 90 / 160);
        }
    }
    QCOMPARE(pictures, 1);

    // A table of other questions than the analysis has is refused.
    ReportData wrong = sample();
    wrong.questions.removeLast();
    QVERIFY_THROWS_EXCEPTION(AppError, buildReport(wrong));
}

void AnalysisReportTest::reportThatCannotBeWrittenLeavesTheOldFileWhole()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("报告.docx"));
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old report");
    old.close();
    // The folder refuses new files: the temporary file cannot be made.
    QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    bool refused = false;
    try {
        writeReport(path, sample());
    } catch (const AppError& e) {
        refused = e.text().contains(QStringLiteral("报告没有生成"));
    }
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    if (!refused && ::geteuid() == 0) QSKIP("running as root: the folder's permissions do not hold");
    QVERIFY(refused);
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("old report"));
}

QTEST_GUILESS_MAIN(AnalysisReportTest)
#include "test_analysis_report.moc"
