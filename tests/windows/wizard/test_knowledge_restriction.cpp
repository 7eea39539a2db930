// Wizard step 2 restricted to knowledge points (知识点): the list beside the chapters, the draw and
// the hand-picked candidates following it, the count checked before a draw, and the restriction
// kept per type and with the paper being composed.
#include "app/application.h"
#include "ui/db_grid.h"
#include "ui/forms.h"
#include "data/composition_state.h"
#include "data/data_module.h"
#include "data/dataset.h"
#include "data/knowledge_points.h"
#include "data/random_draw.h"
#include "data/sql.h"
#include "test_support.h"
#include "windows/wizard/detail_settings.h"
#include "windows/wizard/overall_settings.h"
#include "windows/wizard/wizard_fixture.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

using testing::BoxAnswerer;
using testing::Workspace;
using namespace wizardtest;

namespace {

const QString kShortage = QStringLiteral("满足条件的题目数量不足，已修改当前小题数！");

// The points of subject 01 (数学), by path.
struct Points {
    qint64 algebra = 0;    // 代数
    qint64 equations = 0;  // 代数/方程
    qint64 linear = 0;     // 代数/方程/一元一次
    qint64 geometry = 0;   // 几何
    qint64 triangles = 0;  // 几何/三角形
};

qint64 questionId(Workspace& ws, const QString& kmh, const QString& txh, const QString& th)
{
    return ws.scalar("SELECT id FROM stb WHERE kmh=? AND txh=? AND th=?", {kmh, txh, th}).toLongLong();
}

void link(Workspace& ws, const QString& kmh, const QString& txh, const QString& th, const QList<qint64>& points)
{
    QSqlDatabase db = DM->db();
    knowledge::setForQuestion(db, questionId(ws, kmh, txh, th), points);
}

// Seven questions of 选择题 in 数学 (001–007), linked: 001 代数, 002 方程, 003 一元一次 (第二章,
// 较易), 004 几何, 005 三角形, 006 none, 007 方程 and 几何. A 填空题 of 方程 and a 语文 question
// with the same codes linked to a point of 语文 stand outside every 选择题 branch of 数学.
Points seedBank(Workspace& ws)
{
    seedSubjects(ws);
    addQuestion(ws, "01", "01", "001", "01", "易");
    addQuestion(ws, "01", "01", "002", "01", "易");
    addQuestion(ws, "01", "01", "003", "02", "较易");
    addQuestion(ws, "01", "01", "004", "01", "易");
    addQuestion(ws, "01", "01", "005", "01", "易");
    addQuestion(ws, "01", "01", "006", "01", "易");
    addQuestion(ws, "01", "01", "007", "01", "易");
    addQuestion(ws, "01", "02", "001", "01", "易");
    addQuestion(ws, "02", "01", "002", "01", "易");
    QSqlDatabase db = DM->db();
    Points p;
    p.algebra = knowledge::add(db, "01", "代数", 0);
    p.equations = knowledge::add(db, "01", "方程", p.algebra);
    p.linear = knowledge::add(db, "01", "一元一次", p.equations);
    p.geometry = knowledge::add(db, "01", "几何", 0);
    p.triangles = knowledge::add(db, "01", "三角形", p.geometry);
    const qint64 words = knowledge::add(db, "02", "字词", 0);
    link(ws, "01", "01", "001", {p.algebra});
    link(ws, "01", "01", "002", {p.equations});
    link(ws, "01", "01", "003", {p.linear});
    link(ws, "01", "01", "004", {p.geometry});
    link(ws, "01", "01", "005", {p.triangles});
    link(ws, "01", "01", "007", {p.equations, p.geometry});
    link(ws, "01", "02", "001", {p.equations});
    link(ws, "02", "01", "002", {words});
    ws.refreshDatasets();
    return p;
}

// Ticks or unticks the line of `path` as a click on its box does.
void tickPoint(TXxszF* dlg, const QString& path, bool on = true)
{
    const auto found = dlg->ListZsd->findItems(path, Qt::MatchExactly);
    QVERIFY2(!found.isEmpty(), qPrintable(path));
    found.first()->setCheckState(on ? Qt::Checked : Qt::Unchecked);
}

QStringList tickedLines(const QListWidget* list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->checkState() == Qt::Checked) out << list->item(i)->text();
    }
    return out;
}

// The numbers of the candidates listed, in their order.
QStringList candidateNumbers()
{
    Dataset* st = DM->ADOQuerySt;
    QStringList out;
    for (int r = 0; r < st->recordCount(); ++r) {
        st->setRecNo(r);
        out << st->str("kmh") + st->str("txh") + st->str("th");
    }
    return out;
}

QStringList paperNumbers()
{
    QStringList out = sql::column(DM->db(), "SELECT kmh||txh||th FROM sjb ORDER BY id");
    out.sort();
    return out;
}

void tickBothChapters(TXxszF* dlg)
{
    tick(dlg, "第一章");
    tick(dlg, "第二章");
}

// Step 2 continuing the paper in progress (as after a blueprint), rather than starting afresh.
TXxszF* reopenKeepingThePaper()
{
    delete ZtszF;  // step 2 goes with it
    auto* step1 = new TZtszF(nullptr);
    ZtszF = step1;
    step1->show();
    step1->SBtnQbyrClick();
    auto* step2 = new TXxszF(step1);
    XxszF = step2;
    step2->setKeepPaper(true);
    step2->show();
    return step2;
}

}  // namespace

class KnowledgeRestrictionTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { app::setup(*qApp); }
    void cleanup() { testing::closeAllWindows(); }
    void pointsAreListedByPathWithEverythingTickedFirst();
    void subjectWithoutPointsShowsNoListAndDrawsAsBefore();
    void restrictedDrawYieldsOnlyTheTickedBranch();
    void restrictionCombinesWithChaptersAndDifficulty();
    void tooFewInTheBranchGivesTheShortageMessage();
    void handPickedCandidatesFollowTheRestriction();
    void restrictionIsKeptPerTypeAndWithThePaper();
    void aStateWithoutRestrictionMeansEveryPoint();
    void aDeletedPointRestrictsToNothingRatherThanEverything();
    void largeBankDrawsFromTheBranchQuickly();
    void candidatesAreReadThroughTheIndexOfLinks();
};

void KnowledgeRestrictionTest::pointsAreListedByPathWithEverythingTickedFirst()
{
    Workspace ws;
    seedBank(ws);
    TXxszF* dlg = openStepTwo();
    QVERIFY(!dlg->ListZsd->isHidden());
    QCOMPARE(lines(dlg->ListZsd),
             (QStringList{"全部知识点", "代数", "代数/方程", "代数/方程/一元一次", "几何", "几何/三角形"}));
    QCOMPARE(tickedLines(dlg->ListZsd), QStringList{"全部知识点"});
    // Beside the chapters, in the same panel.
    QCOMPARE(dlg->ListZsd->parentWidget(), dlg->CheckListBoxZj->parentWidget());
    QVERIFY(dlg->ListZsd->x() > dlg->CheckListBoxZj->x() + dlg->CheckListBoxZj->width() - 1);
    tickBothChapters(dlg);
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("7"));
    QVERIFY(dlg->chosenPoints().isEmpty());

    // A point ticked takes the place of "全部知识点"; the last one unticked gives it back.
    tickPoint(dlg, "几何");
    QCOMPARE(tickedLines(dlg->ListZsd), QStringList{"几何"});
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("3"));
    tickPoint(dlg, "几何", false);
    QCOMPARE(tickedLines(dlg->ListZsd), QStringList{"全部知识点"});
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("7"));
    // "全部知识点" clears the points ticked; unticked alone, it stays.
    tickPoint(dlg, "代数");
    tickPoint(dlg, "几何/三角形");
    QCOMPARE(tickedLines(dlg->ListZsd), (QStringList{"代数", "几何/三角形"}));
    tickPoint(dlg, "全部知识点");
    QCOMPARE(tickedLines(dlg->ListZsd), QStringList{"全部知识点"});
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("7"));
    tickPoint(dlg, "全部知识点", false);
    QCOMPARE(tickedLines(dlg->ListZsd), QStringList{"全部知识点"});
    QVERIFY(composition::typePoints(DM->db(), "01", "选择题").isEmpty());
}

void KnowledgeRestrictionTest::subjectWithoutPointsShowsNoListAndDrawsAsBefore()
{
    Workspace ws;
    seedSubjects(ws);
    addQuestions(ws, "01", "01", "01", 1, 10);
    ws.refreshDatasets();
    BoxAnswerer boxes;
    TXxszF* dlg = openStepTwo();
    QVERIFY(dlg->ListZsd->isHidden());
    QCOMPARE(lines(dlg->ListZsd), QStringList{"全部知识点"});
    QCOMPARE(tickedLines(dlg->ListZsd), QStringList{"全部知识点"});
    tick(dlg, "第一章");
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("10"));
    dlg->EditTs->setText("3");
    dlg->EditZf->setText("10");
    // The same draws as without points at all (from state 0: 0, 0, 8, 2).
    randomdraw::setState(0);
    QTest::mouseClick(dlg->SBtnQbyr, Qt::LeftButton);
    QVERIFY(boxes.texts.isEmpty());
    QCOMPARE(sql::column(DM->db(), "SELECT th FROM sjb ORDER BY id"), (QStringList{"001", "009", "003"}));
}

void KnowledgeRestrictionTest::restrictedDrawYieldsOnlyTheTickedBranch()
{
    Workspace ws;
    seedBank(ws);
    BoxAnswerer boxes;
    TXxszF* dlg = openStepTwo();
    tickBothChapters(dlg);
    // 方程 with its descendant 一元一次: 002, 003 and 007 (linked twice, listed once).
    tickPoint(dlg, "代数/方程");
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("3"));
    QCOMPARE(candidateNumbers(), (QStringList{"0101002", "0101003", "0101007"}));
    dlg->EditTs->setText("3");
    dlg->EditZf->setText("6");
    QTest::mouseClick(dlg->SBtnQbyr, Qt::LeftButton);
    QVERIFY(boxes.texts.isEmpty());
    QCOMPARE(paperNumbers(), (QStringList{"0101002", "0101003", "0101007"}));
    QCOMPARE(typeFlag(ws, "01", "01"), QStringLiteral("1"));

    // Two branches: every question of either, each once.
    tickPoint(dlg, "几何");
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("5"));
    dlg->EditTs->setText("5");
    dlg->EditZf->setText("10");
    for (quint32 seed : {1u, 77u, 4242u}) {
        randomdraw::setState(seed);
        QTest::mouseClick(dlg->SBtnQbyr, Qt::LeftButton);
        QVERIFY(boxes.texts.isEmpty());
        QCOMPARE(paperNumbers(), (QStringList{"0101002", "0101003", "0101004", "0101005", "0101007"}));
    }
}

void KnowledgeRestrictionTest::restrictionCombinesWithChaptersAndDifficulty()
{
    Workspace ws;
    seedBank(ws);
    TXxszF* dlg = openStepTwo();
    tick(dlg, "第一章");
    tickPoint(dlg, "代数");
    QCOMPARE(candidateNumbers(), (QStringList{"0101001", "0101002", "0101007"}));  // 003 is in 第二章
    tick(dlg, "第二章");
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("4"));
    // The difficulty reruns the type's settings; the points ticked stay.
    dlg->ComboBoxNd->setCurrentIndex(dlg->ComboBoxNd->findText("较易"));
    QCOMPARE(tickedLines(dlg->ListZsd), QStringList{"代数"});
    QCOMPARE(candidateNumbers(), QStringList{"0101003"});
    tickPoint(dlg, "几何");
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("1"));
}

void KnowledgeRestrictionTest::tooFewInTheBranchGivesTheShortageMessage()
{
    Workspace ws;
    seedBank(ws);
    BoxAnswerer boxes;
    TXxszF* dlg = openStepTwo();
    tickBothChapters(dlg);
    tickPoint(dlg, "几何/三角形");
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("1"));
    dlg->EditTs->setText("3");
    dlg->EditZf->setText("9");
    QTest::mouseClick(dlg->SBtnQbyr, Qt::LeftButton);
    QCOMPARE(boxes.texts, QStringList{kShortage});
    QCOMPARE(dlg->EditTs->text(), QStringLiteral("1"));
    QCOMPARE(paperNumbers(), QStringList{"0101005"});

    // A branch with questions of other types and subjects only has none of this type's.
    boxes.clear();
    selectType(dlg, 0);
    tickPoint(dlg, "几何/三角形", false);
    QSqlDatabase db = DM->db();
    const qint64 empty = knowledge::add(db, "01", "统计", 0);
    link(ws, "01", "02", "001", {empty});
    selectType(dlg, 1);
    selectType(dlg, 0);
    tickPoint(dlg, "统计");
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("0"));
    dlg->EditTs->setText("2");
    dlg->EditZf->setText("4");
    QTest::mouseClick(dlg->SBtnQbyr, Qt::LeftButton);
    QCOMPARE(boxes.texts, QStringList{kShortage});
    QCOMPARE(dlg->EditTs->text(), QStringLiteral("0"));
}

void KnowledgeRestrictionTest::handPickedCandidatesFollowTheRestriction()
{
    Workspace ws;
    seedBank(ws);
    BoxAnswerer boxes;
    TXxszF* dlg = openStepTwo();
    tickBothChapters(dlg);
    QTest::mouseClick(dlg->RadioGroup1Manual, Qt::LeftButton);
    QVERIFY(!dlg->ListZsd->isHidden());
    QCOMPARE(dlg->DBGridTm->model()->rowCount(), 7);
    tickPoint(dlg, "几何");
    QCOMPARE(dlg->DBGridTm->model()->rowCount(), 3);
    QCOMPARE(candidateNumbers(), (QStringList{"0101004", "0101005", "0101007"}));
    QCOMPARE(dlg->LabelTH->text(), QStringLiteral("004"));  // the first candidate is shown
    // A search narrows within the restriction.
    dlg->EditSsHx->setText(QStringLiteral("题0101005"));
    dlg->EditSsHxSearch();
    QCOMPARE(candidateNumbers(), QStringList{"0101005"});
    dlg->EditSsHx->setText(QStringLiteral("题0101006"));
    dlg->EditSsHxSearch();
    QCOMPARE(candidateNumbers(), QStringList{});
    dlg->clearCandidateSearch();
    // Picking by hand takes the candidate the grid shows.
    dlg->EditTs->setText("1");
    dlg->EditZf->setText("3");
    DM->ADOQuerySt->setRecNo(1);
    QTest::mouseClick(dlg->SBtnYr, Qt::LeftButton);
    QCOMPARE(paperNumbers(), QStringList{"0101005"});
    QVERIFY(boxes.texts.isEmpty());
}

void KnowledgeRestrictionTest::restrictionIsKeptPerTypeAndWithThePaper()
{
    Workspace ws;
    const Points p = seedBank(ws);
    TXxszF* dlg = openStepTwo();
    tickBothChapters(dlg);
    tickPoint(dlg, "代数/方程");
    QCOMPARE(composition::typePoints(DM->db(), "01", "选择题"), QList<qint64>{p.equations});
    // The next type has its own, none yet.
    selectType(dlg, 1);
    QCOMPARE(tickedLines(dlg->ListZsd), QStringList{"全部知识点"});
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("1"));
    tickPoint(dlg, "几何");
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("0"));
    selectType(dlg, 0);
    QCOMPARE(tickedLines(dlg->ListZsd), QStringList{"代数/方程"});
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("3"));
    dlg->EditTs->setText("2");
    dlg->EditZf->setText("4");
    QTest::mouseClick(dlg->SBtnQbyr, Qt::LeftButton);

    // Continued later (as a blueprint hands over), the paper keeps its restrictions.
    dlg = reopenKeepingThePaper();
    QCOMPARE(dlg->currentTypeName(), QStringLiteral("选择题"));
    QCOMPARE(tickedLines(dlg->ListZsd), QStringList{"代数/方程"});
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("3"));
    QCOMPARE(dlg->EditTs->text(), QStringLiteral("2"));
    selectType(dlg, 1);
    QCOMPARE(tickedLines(dlg->ListZsd), QStringList{"几何"});

    // A new paper starts with every point.
    delete ZtszF;
    dlg = openStepTwo();
    QCOMPARE(tickedLines(dlg->ListZsd), QStringList{"全部知识点"});
    QVERIFY(composition::typePoints(DM->db(), "01", "选择题").isEmpty());
    QVERIFY(composition::typePoints(DM->db(), "01", "填空题").isEmpty());
}

void KnowledgeRestrictionTest::aStateWithoutRestrictionMeansEveryPoint()
{
    Workspace ws;
    seedBank(ws);
    // A paper in progress made without any restriction, read by a connection that has never
    // stored one: every point, and the type's stored questions as they are.
    composition::chooseChapterByCode(DM->db(), "01", "01");
    ws.exec("INSERT INTO sjb (kmh, txh, th, fs, tm) VALUES ('01','01','006','5','甲')");
    composition::chooseTypeByCode(DM->db(), "01", "01");
    QVERIFY(composition::typePoints(DM->db(), "01", "选择题").isEmpty());
    TXxszF* dlg = reopenKeepingThePaper();
    QCOMPARE(tickedLines(dlg->ListZsd), QStringList{"全部知识点"});
    QCOMPARE(tickedLines(dlg->CheckListBoxZj), QStringList{"第一章"});
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("6"));
    QCOMPARE(dlg->EditTs->text(), QStringLiteral("1"));
}

void KnowledgeRestrictionTest::aDeletedPointRestrictsToNothingRatherThanEverything()
{
    Workspace ws;
    const Points p = seedBank(ws);
    TXxszF* dlg = openStepTwo();
    tickBothChapters(dlg);
    tickPoint(dlg, "几何/三角形");
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("1"));
    QSqlDatabase db = DM->db();
    knowledge::remove(db, p.triangles);
    selectType(dlg, 1);
    selectType(dlg, 0);
    QVERIFY(!lines(dlg->ListZsd).contains("几何/三角形"));
    QCOMPARE(tickedLines(dlg->ListZsd), QStringList{});
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("0"));
    // "全部知识点" lifts it.
    tickPoint(dlg, "全部知识点");
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("7"));
}

void KnowledgeRestrictionTest::largeBankDrawsFromTheBranchQuickly()
{
    Workspace ws;
    seedSubjects(ws);
    addQuestions(ws, "01", "01", "01", 1, 5000);
    QSqlDatabase db = DM->db();
    const qint64 top = knowledge::add(db, "01", "代数", 0);
    const qint64 other = knowledge::add(db, "01", "几何", 0);
    QVector<qint64> leaves;
    for (int i = 0; i < 20; ++i) leaves << knowledge::add(db, "01", QStringLiteral("方程%1").arg(i), top);
    // Every other question in the 代数 branch (spread over its leaves), the rest under 几何.
    const QVector<qint64> ids = sql::ids(db, "stb");
    QVector<QVariantList> rows;
    for (int i = 0; i < ids.size(); ++i) rows.append({ids[i], i % 2 == 0 ? leaves[(i / 2) % 20] : other});
    testing::insertRows(ws, "stzsd", {"stid", "zsdid"}, rows);
    ws.refreshDatasets();
    BoxAnswerer boxes;
    TXxszF* dlg = openStepTwo();
    tick(dlg, "第一章");
    QElapsedTimer clock;
    clock.start();
    tickPoint(dlg, "代数");
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("2500"));
    dlg->EditTs->setText("200");
    dlg->EditZf->setText("100");
    QTest::mouseClick(dlg->SBtnQbyr, Qt::LeftButton);
    QVERIFY(boxes.texts.isEmpty());
    QCOMPARE(ws.count("sjb"), 200);
    // No question drawn is one of 几何's.
    QCOMPARE(ws.count("sjb", "th IN (SELECT s.th FROM stb s JOIN stzsd z ON z.stid=s.id WHERE z.zsdid=?)", {other}), 0);
    QVERIFY2(clock.elapsed() < 20000, qPrintable(QString::number(clock.elapsed())));
}

// On a large bank the restriction costs a look-up in the index of links by point, never a pass
// over every link (SQLite's plan names it; a server plans by its own statistics).
void KnowledgeRestrictionTest::candidatesAreReadThroughTheIndexOfLinks()
{
    if (testing::onServer()) QSKIP("the plan checked is SQLite's");
    Workspace ws;
    seedBank(ws);
    TXxszF* dlg = openStepTwo();
    tickBothChapters(dlg);
    tickPoint(dlg, "代数");
    Dataset* st = DM->ADOQuerySt;
    QVERIFY(st->sql().contains(QStringLiteral("stzsd")));
    QStringList plan;
    sql::Reader q(DM->db(), QStringLiteral("EXPLAIN QUERY PLAN ") + st->sql(), st->binds());
    while (q.next()) plan << q.text(3);
    QVERIFY2(plan.join('\n').contains(QStringLiteral("stzsd_zsdid")), qPrintable(plan.join('\n')));
    QVERIFY2(!plan.join('\n').contains(QStringLiteral("SCAN stzsd")), qPrintable(plan.join('\n')));
}

QTEST_MAIN(KnowledgeRestrictionTest)
#include "test_knowledge_restriction.moc"
