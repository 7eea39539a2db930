// The wizard's candidates on a type of 3,000 questions, more than a window of rows: the count shown,
// the manual grid scrolled to its end and its current row chosen, and automatic draws over every
// candidate that equal the draws over the whole result read at once, for fixed states.
#include "app/application.h"
#include "ui/db_grid.h"
#include "ui/forms.h"
#include "data/data_module.h"
#include "data/errors.h"
#include "data/sql.h"
#include "test_support.h"
#include "windows/wizard/detail_settings.h"
#include "windows/wizard/overall_settings.h"
#include "data/random_draw.h"
#include "windows/wizard/wizard_fixture.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QSqlQuery>
#include <QTest>
#include <QToolButton>

using testing::BoxAnswerer;
using testing::Workspace;
using namespace wizardtest;

namespace {

// 选择题 of 数学: 2,000 questions of 第一章 (001 … 2000) and 1,000 of 第二章 (2001 … 3000); two of
// 填空题. A second chapter row with the code of 第一章 (第一章续), when ticked too, lists every
// question of 第一章 twice.
void seed(Workspace& ws)
{
    seedSubjects(ws);
    const QString twice = QStringLiteral("INSERT INTO zjb (kmh, zjh, zjm, bz) VALUES ('01','01','第一章续','0')");
    if (testing::onServer()) {
        // A server bank refuses a second chapter row with a code its subject already uses.
        QVERIFY_THROWS_EXCEPTION(DataError, ws.exec(twice));
    } else {
        ws.exec(twice);
    }
    addQuestions(ws, "01", "01", "01", 1, 2000);
    addQuestions(ws, "01", "01", "02", 2001, 1000);
    addQuestion(ws, "01", "02", "001", "01", "易");
    addQuestion(ws, "01", "02", "002", "02", "难");
    ws.refreshDatasets();
}

// The lowest row drawn in the grid.
int bottomRow(DBGrid* grid)
{
    for (int y = grid->viewport()->height() - 1; y >= 0; --y) {
        if (grid->rowAt(y) >= 0) return grid->rowAt(y);
    }
    return -1;
}

// The numbers on the paper, in paper order.
QStringList paperNumbers(Workspace& ws)
{
    return sql::column(DM->db(), QStringLiteral("SELECT th FROM sjb ORDER BY id"));
}

struct Draw {
    QStringList numbers;  // in the order drawn
    int lastRow = -1;
    quint32 stateAfter = 0;
};

// The automatic selection of `count` questions as it was made over the whole candidate result read
// at once: the rows of the candidate statement in id order, a draw below their number until
// `count` distinct questions are chosen.
Draw wholeResultDraw(const QString& txm, int count, quint32 state)
{
    QSqlQuery q(DM->db());
    q.prepare(QStringLiteral("SELECT stb.id, stb.kmh, stb.txh, stb.th, stb.zjh, stb.nd, stb.fs, stb.\"time\", stb.bz,"
                             " zjb.zjm FROM stb, zjb, txb WHERE stb.zjh=zjb.zjh AND stb.txh=txb.txh"
                             " AND stb.kmh=? AND %1 AND txb.txm=? AND zjb.kmh=? AND txb.kmh=? ORDER BY stb.id")
                  .arg(composition::chosenChapterCondition(DM->db())));
    for (const QVariant& v : QVariantList{"01", txm, "01", "01"}) q.addBindValue(v);
    q.exec();
    QVector<QPair<QString, QString>> rows;
    while (q.next()) rows.append({q.value(2).toString(), q.value(3).toString()});
    Draw draw;
    const quint32 before = randomdraw::state();
    randomdraw::setState(state);
    QSet<QPair<QString, QString>> held;
    while (draw.numbers.size() < count) {
        const int r = randomdraw::below(rows.size());
        if (held.contains(rows[r])) continue;
        held.insert(rows[r]);
        draw.numbers << rows[r].second;
        draw.lastRow = r;
    }
    draw.stateAfter = randomdraw::state();
    randomdraw::setState(before);
    return draw;
}

}  // namespace

class CandidateGridTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { app::setup(*qApp); }
    void countsFollowTheTickedChaptersAndDifficulty();
    void manualGridScrollsToItsEndAndAddsTheCurrentRow();
    void drawsEqualTheWholeResultDrawsForFixedStates();
};

void CandidateGridTest::countsFollowTheTickedChaptersAndDifficulty()
{
    Workspace ws;
    seed(ws);
    ws.exec("UPDATE stb SET nd='难' WHERE txh='01' AND CAST(th AS INTEGER) % 3 = 0");
    BoxAnswerer boxes;
    TXxszF* dlg = openStepTwo();
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("0"));
    tick(dlg, "第二章");
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("1000"));
    tick(dlg, "第一章");
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("3000"));
    if (testing::onServer()) QSKIP("a bank on a server cannot hold two chapter rows with one code");
    tick(dlg, "第一章续");  // every question of 第一章 listed twice
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("5000"));
    QCOMPARE(dlg->DBGridTm->model()->rowCount(), 5000);
    dlg->ComboBoxNd->setCurrentText(QStringLiteral("难"));
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("1666"));  // 666 of 第一章 twice, 334 of 第二章
    dlg->ComboBoxNd->setCurrentText(QStringLiteral("全部"));
    tick(dlg, "第一章续", false);
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("3000"));
    selectType(dlg, 1);
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("2"));
    selectType(dlg, 0);
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("3000"));
    QVERIFY(DM->ADOQuerySt->rowsInMemory() <= 256);
    QVERIFY(boxes.texts.isEmpty());
}

void CandidateGridTest::manualGridScrollsToItsEndAndAddsTheCurrentRow()
{
    Workspace ws;
    seed(ws);
    BoxAnswerer boxes;
    TXxszF* dlg = openStepTwo();
    tick(dlg, "第一章");
    tick(dlg, "第二章");
    QTest::mouseClick(dlg->RadioGroup1Manual, Qt::LeftButton);
    DBGrid* grid = dlg->DBGridTm;
    QVERIFY(grid->isVisible());
    QCOMPARE(grid->model()->rowCount(), 3000);
    grid->verticalScrollBar()->setValue(grid->verticalScrollBar()->maximum());
    QTest::qWait(0);
    const int last = bottomRow(grid);
    QCOMPARE(last, 2999);
    QCOMPARE(grid->model()->index(last, 0).data().toString(), QStringLiteral("3000"));
    QCOMPARE(grid->model()->index(last, 2).data().toString(), QStringLiteral("第二章"));
    // A click on the last row shows its question; a double click puts it on the paper.
    dlg->EditTs->setText("2");
    dlg->EditZf->setText("10");
    const QPoint at = grid->visualRect(grid->model()->index(last, 0)).center();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(dlg->LabelTH->text(), QStringLiteral("3000"));
    QCOMPARE(dlg->MemoTm->toPlainText(), QStringLiteral("题3000"));
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(paperNumbers(ws), QStringList{"3000"});
    QCOMPARE(ws.scalar("SELECT tm || da || zjh || fs FROM sjb"), QStringLiteral("题3000答3000025"));
    // Up from there chooses the row before it.
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Up);
    QCOMPARE(dlg->LabelTH->text(), QStringLiteral("2999"));
    // Every key that moves the current row shows its question: Home, Page Down, Ctrl+End.
    QTest::keyClick(grid, Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(dlg->LabelTH->text(), QStringLiteral("001"));
    QCOMPARE(dlg->MemoTm->toPlainText(), QStringLiteral("题1"));
    QTest::keyClick(grid, Qt::Key_PageDown);
    QCOMPARE(dlg->LabelTH->text(), DM->ADOQuerySt->str(QStringLiteral("th")));
    QVERIFY(dlg->LabelTH->text() != QLatin1String("001"));
    QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(dlg->LabelTH->text(), QStringLiteral("3000"));
    QTest::keyClick(grid, Qt::Key_Up);
    QCOMPARE(dlg->LabelTH->text(), QStringLiteral("2999"));
    QTest::mouseClick(dlg->SBtnYr, Qt::LeftButton);
    QCOMPARE(paperNumbers(ws), (QStringList{"3000", "2999"}));
    QCOMPARE(dlg->LabelZt->text(), QStringLiteral("小题已设置完毕！"));
    QVERIFY(DM->ADOQuerySt->rowsInMemory() <= 2 * 256);
}

void CandidateGridTest::drawsEqualTheWholeResultDrawsForFixedStates()
{
    Workspace ws;
    seed(ws);
    BoxAnswerer boxes;
    TXxszF* dlg = openStepTwo();
    tick(dlg, "第一章");
    tick(dlg, "第二章");
    if (testing::onServer()) QSKIP("a bank on a server cannot hold two chapter rows with one code");
    tick(dlg, "第一章续");
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("5000"));
    for (const quint32 state : {0u, 12345u, 0xDEADBEEFu, 0xFFFFFFFFu}) {
        const Draw expected = wholeResultDraw(QStringLiteral("选择题"), 60, state);
        dlg->EditTs->setText("60");
        dlg->EditZf->setText("120");
        randomdraw::setState(state);
        QTest::mouseClick(dlg->SBtnQbyr, Qt::LeftButton);
        QCOMPARE(paperNumbers(ws), expected.numbers);
        QCOMPARE(randomdraw::state(), expected.stateAfter);
        QCOMPARE(DM->ADOQuerySt->recNo(), expected.lastRow);
        // Each paper row carries its question's own values.
        QCOMPARE(ws.count("sjb"), 60);
        QCOMPARE(ws.scalar("SELECT COUNT(*) FROM sjb JOIN stb ON stb.kmh=sjb.kmh AND stb.txh=sjb.txh AND"
                           " stb.th=sjb.th WHERE stb.tm=sjb.tm AND stb.da=sjb.da AND stb.zjh=sjb.zjh AND"
                           " stb.nd=sjb.nd AND sjb.fs='2'"),
                 QStringLiteral("60"));
    }
    // A question of another type on the paper stays; the draw is the same.
    ws.exec("INSERT INTO sjb (kmh, txh, th, fs) VALUES ('01','02','001','1')");
    ws.exec("DELETE FROM sjb WHERE txh='01'");
    const Draw expected = wholeResultDraw(QStringLiteral("选择题"), 10, 777);
    dlg->EditTs->setText("10");
    dlg->EditZf->setText("10");
    randomdraw::setState(777);
    QTest::mouseClick(dlg->SBtnQbyr, Qt::LeftButton);
    QCOMPARE(paperNumbers(ws), QStringList{"001"} + expected.numbers);
    QVERIFY(boxes.texts.isEmpty());
}

QTEST_MAIN(CandidateGridTest)
#include "test_candidate_grid.moc"
