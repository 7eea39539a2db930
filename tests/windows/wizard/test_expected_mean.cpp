// 组卷向导 step 2 says what mean score the paper may expect: Σ P × points over the questions on it
// that were measured in stored sittings, and how many were not; it follows every change of the paper.
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

#include "analysis/measured_fixture.h"
#include "app/application.h"
#include "data/convert.h"
#include "data/data_module.h"
#include "test_support.h"
#include "ui/db_grid.h"
#include "windows/content/content_preview.h"
#include "windows/wizard/detail_settings.h"
#include "windows/wizard/wizard_fixture.h"

using measuredtest::idOf;
using testing::BoxAnswerer;
using testing::Workspace;
using namespace wizardtest;

namespace {

// P of the measured questions by (type, number): 选择题 001–003 and 填空题 001; 选择题 004 and
// 填空题 002 sat no exam.
const QHash<QString, double> kShares = {{"01/001", 0.8}, {"01/002", 0.5}, {"01/003", 0.25}, {"02/001", 0.6}};

void seed(Workspace& ws)
{
    seedSubjects(ws);
    for (const char* th : {"001", "002", "003", "004"}) addQuestion(ws, "01", "01", th, "01", "中等");
    for (const char* th : {"001", "002"}) addQuestion(ws, "01", "02", th, "01", "中等");
    ws.refreshDatasets();
    const library::StoredPaper paper = measuredtest::storePaperOf(
        {idOf("01", "01", "001"), idOf("01", "01", "002"), idOf("01", "01", "003"), idOf("01", "02", "001")});
    measuredtest::storeSittingOf(paper, {0.8, 0.5, 0.25, 0.6}, 12);
}

// Σ P × points over the paper's rows in sjb, worked out here from the shares the sitting was given.
double expectedFromPaper(Workspace& ws)
{
    double sum = 0;
    QSqlQuery rows = sql::run(DM->db(), "SELECT txh, th, fs FROM sjb WHERE kmh='01' ORDER BY id");
    while (rows.next()) {
        const QString key = rows.value(0).toString() + "/" + rows.value(1).toString();
        if (kShares.contains(key)) sum += kShares.value(key) * convert::toFloat(rows.value(2).toString());
    }
    Q_UNUSED(ws);
    return sum;
}

void addCandidate(TXxszF* dlg, int row)
{
    DBGrid* grid = dlg->DBGridTm;
    const QRect cell = grid->visualRect(grid->model()->index(row, 0));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseClick(dlg->SBtnYr, Qt::LeftButton);
}

}  // namespace

class ExpectedMeanTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { app::setup(*qApp); }
    void cleanup() { testing::closeAllWindows(); }
    void theExpectedMeanFollowsThePaper();
    void nothingIsSaidWithoutMeasurements();

private:
    testing::ModalGuard guard_;
};

void ExpectedMeanTest::theExpectedMeanFollowsThePaper()
{
    Workspace ws;
    seed(ws);
    BoxAnswerer boxes;
    TXxszF* dlg = openStepTwo();
    QLabel* label = dlg->findChild<QLabel*>("LabelYqpjf");
    QVERIFY(label);
    QVERIFY(label->text().isEmpty());
    QVERIFY(label->isHidden());

    // 选择题 by hand, four questions for 8 points: 2 each.
    tick(dlg, "第一章");
    selectType(dlg, 0);
    QTest::mouseClick(dlg->RadioGroup1Manual, Qt::LeftButton);
    dlg->EditTs->setText("4");
    dlg->EditZf->setText("8");
    addCandidate(dlg, 0);  // 001: 0.8 × 2
    QCOMPARE(label->text(), QStringLiteral("预计平均分 1.6（按全部 1 道题的实测难度）"));
    QVERIFY(label->isVisible());
    addCandidate(dlg, 3);  // 004: no measurement, not guessed at
    QCOMPARE(label->text(), QStringLiteral("预计平均分 1.6（按 1 道题的实测难度；其余 1 道无实测，未计入）"));
    addCandidate(dlg, 1);  // 002: + 0.5 × 2
    addCandidate(dlg, 2);  // 003: + 0.25 × 2
    QCOMPARE(label->text(), QStringLiteral("预计平均分 3.1（按 3 道题的实测难度；其余 1 道无实测，未计入）"));
    QCOMPARE(expectedFromPaper(ws), 3.1);

    // 填空题 drawn automatically, both questions for 10 points: 001 adds 0.6 × 5.
    selectType(dlg, 1);
    QTest::mouseClick(dlg->RadioGroup1Auto, Qt::LeftButton);
    dlg->EditTs->setText("2");
    dlg->EditZf->setText("10");
    QTest::mouseClick(dlg->SBtnQbyr, Qt::LeftButton);
    QCOMPARE(ws.count("sjb", "txh='02'"), 2);
    QCOMPARE(label->text(), QStringLiteral("预计平均分 6.1（按 4 道题的实测难度；其余 2 道无实测，未计入）"));
    QVERIFY(qAbs(expectedFromPaper(ws) - 6.1) < 1e-9);
    // The line has its own room below the current question, clear of its preview.
    QTRY_VERIFY(!label->geometry().intersects(dlg->PreviewTm->geometry()));
    QVERIFY(dlg->PanelYl->rect().contains(label->geometry()));
    QVERIFY(label->fontMetrics().horizontalAdvance(label->text()) <= label->width());

    // 选择题's 001 taken off the paper: 6.1 − 1.6.
    selectType(dlg, 0);
    QCOMPARE(lines(dlg->ListBoxSj).first(), QStringLiteral(" 1) 001----2.0分"));
    dlg->ListBoxSj->setCurrentRow(0);
    QTest::mouseClick(dlg->SBtnYc, Qt::LeftButton);
    QCOMPARE(ws.count("sjb", "txh='01'"), 3);
    QCOMPARE(label->text(), QStringLiteral("预计平均分 4.5（按 3 道题的实测难度；其余 2 道无实测，未计入）"));
    QVERIFY(qAbs(expectedFromPaper(ws) - 4.5) < 1e-9);

    // Every 选择题 cleared: 填空题 001 alone.
    QTest::mouseClick(dlg->SBtnQbyc, Qt::LeftButton);
    QCOMPARE(ws.count("sjb", "txh='01'"), 0);
    QCOMPARE(label->text(), QStringLiteral("预计平均分 3.0（按 1 道题的实测难度；其余 1 道无实测，未计入）"));
    // 填空题 cleared too: nothing on the paper, nothing said.
    selectType(dlg, 1);
    QTest::mouseClick(dlg->SBtnQbyc, Qt::LeftButton);
    QCOMPARE(ws.count("sjb"), 0);
    QVERIFY(label->text().isEmpty());
    QVERIFY(label->isHidden());
}

void ExpectedMeanTest::nothingIsSaidWithoutMeasurements()
{
    Workspace ws;
    seedSubjects(ws);
    for (const char* th : {"001", "002"}) addQuestion(ws, "01", "01", th, "01", "中等");
    ws.refreshDatasets();
    BoxAnswerer boxes;
    TXxszF* dlg = openStepTwo();
    tick(dlg, "第一章");
    selectType(dlg, 0);
    dlg->EditTs->setText("2");
    dlg->EditZf->setText("10");
    QTest::mouseClick(dlg->SBtnQbyr, Qt::LeftButton);
    QCOMPARE(ws.count("sjb"), 2);
    QVERIFY(dlg->findChild<QLabel*>("LabelYqpjf")->text().isEmpty());
    QVERIFY(dlg->findChild<QLabel*>("LabelYqpjf")->isHidden());
}

QTEST_MAIN(ExpectedMeanTest)
#include "test_expected_mean.moc"
