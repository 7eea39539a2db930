// The blueprint laid out by knowledge points (按知识点): rows by path in tree order counting their
// branches, a composition that never draws a question twice where rows share questions and ticks the
// questions' own chapters, shortages told at draw time, the printed table's header, and templates
// that remember their rows (a point deleted since is told when the template opens).
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QSqlQuery>
#include <QStandardItemModel>
#include <QTableWidget>
#include <QTest>

#include "app/application.h"
#include "blueprint/blueprint_plan.h"
#include "blueprint/blueprint_store.h"
#include "cli/bank_copy.h"
#include "data/bank_file.h"
#include "data/composition_state.h"
#include "data/data_module.h"
#include "data/engine.h"
#include "data/knowledge_points.h"
#include "data/random_draw.h"
#include "data/schema.h"
#include "data/sql.h"
#include "test_support.h"
#include "windows/blueprint/blueprint_window.h"
#include "windows/blueprint/blueprint_fixture.h"
#include "windows/blueprint/shortage_report.h"
#include "windows/wizard/overall_settings.h"
#include "windows/wizard/wizard_fixture.h"

using testing::BoxAnswerer;
using testing::Workspace;
using namespace wizardtest;

namespace {

using blueprinttest::keepTypes;
using blueprinttest::offers;
using blueprinttest::setCell;
using blueprinttest::type;

struct Points {
    qint64 algebra = 0;    // 代数
    qint64 equations = 0;  // 代数/方程
    qint64 geometry = 0;   // 几何
};

qint64 questionId(Workspace& ws, const QString& th)
{
    return ws.scalar("SELECT id FROM stb WHERE kmh='01' AND txh='01' AND th=?", {th}).toLongLong();
}

// 数学 选择题: 001 (第一章, 易) 代数; 002 (第二章, 易) 方程; 003 (第一章, 易) 方程 and 几何;
// 004 (第二章, 易) 几何; 005 (第一章, 易) 几何; 006 (第一章, 易) no point; 007 (第二章, 较易) 方程.
// 代数 holds 001–003 and 007 through 方程; 003 stands under both 代数 and 几何. A third chapter
// holds no linked question.
Points seedBank(Workspace& ws)
{
    seedSubjects(ws);
    ws.exec("INSERT INTO zjb (kmh, zjh, zjm, bz) VALUES ('01','03','第三章','0')");
    const char* const chapters[] = {"01", "02", "01", "02", "01", "01", "02"};
    for (int i = 0; i < 7; ++i) {
        addQuestion(ws, "01", "01", QStringLiteral("00%1").arg(i + 1), chapters[i], i == 6 ? "较易" : "易");
    }
    addQuestion(ws, "01", "03", "001", "03", "难");
    QSqlDatabase db = DM->db();
    Points p;
    p.algebra = knowledge::add(db, "01", "代数", 0);
    p.equations = knowledge::add(db, "01", "方程", p.algebra);
    p.geometry = knowledge::add(db, "01", "几何", 0);
    knowledge::setForQuestion(db, questionId(ws, "001"), {p.algebra});
    knowledge::setForQuestion(db, questionId(ws, "002"), {p.equations});
    knowledge::setForQuestion(db, questionId(ws, "003"), {p.equations, p.geometry});
    knowledge::setForQuestion(db, questionId(ws, "004"), {p.geometry});
    knowledge::setForQuestion(db, questionId(ws, "005"), {p.geometry});
    knowledge::setForQuestion(db, questionId(ws, "007"), {p.equations});
    // The 解答题 of 第三章 is linked to 方程: 代数 counts it too.
    knowledge::setForQuestion(
        db, ws.scalar("SELECT id FROM stb WHERE kmh='01' AND txh='03' AND th='001'").toLongLong(), {p.equations});
    ws.refreshDatasets();
    return p;
}

// Chooses 按章节 (0) or 按知识点 (1) as a user would.
void chooseRows(BlueprintWindow* w, int index)
{
    w->ComboBoxRows->setCurrentIndex(index);
    emit w->ComboBoxRows->activated(index);
}

QStringList rowNames(BlueprintWindow* w)
{
    QStringList out;
    for (int r = 0; r < w->TableBlueprint->rowCount(); ++r) out << w->TableBlueprint->verticalHeaderItem(r)->text();
    return out;
}

QString available(BlueprintWindow* w, const QString& row, const QString& txh, const QString& nd)
{
    const QLabel* label = w->availableLabel(w->rowOf(row), w->columnOf(txh, nd));
    return label ? label->text() : QStringLiteral("(none)");
}

// The paper in sjb as stb ids, in paper order.
QVector<qint64> paperIds(Workspace& ws)
{
    QVector<qint64> out;
    QSqlQuery q(DM->db());
    q.exec("SELECT txh, th FROM sjb ORDER BY id");
    while (q.next()) {
        out << ws.scalar("SELECT id FROM stb WHERE kmh='01' AND txh=? AND th=?", {q.value(0), q.value(1)})
                   .toLongLong();
    }
    return out;
}

// Whether the question is linked to `point` or to a point below it.
bool standsUnder(qint64 question, qint64 point)
{
    QSqlDatabase db = DM->db();
    const QList<qint64> branch = knowledge::withDescendants(db, {point});
    for (qint64 linked : knowledge::ofQuestion(db, question)) {
        if (branch.contains(linked)) return true;
    }
    return false;
}

QStringList tickedChapters()
{
    QStringList out;
    for (const composition::ChapterFlag& f : composition::chapterFlags(DM->db(), "01")) {
        if (f.chosen) out << f.zjm;
    }
    return out;
}

// Saves, as a template of that name, two cells by knowledge point: 2 questions of 选择题·易 at 25
// points under 代数/方程 and under 几何.
void savePointTemplate(BlueprintWindow* w, const QString& name)
{
    chooseRows(w, 1);
    keepTypes(w, {"选择题"});
    setCell(w, "代数/方程", "01", "易", "2", "25");
    setCell(w, "几何", "01", "易", "2", "25");
    w->EditTemplateName->setText(name);
    QTest::mouseClick(w->BtnSave, Qt::LeftButton);
}

}  // namespace

class BlueprintPointsTest : public QObject {
    Q_OBJECT
    testing::ModalGuard guard_;

private slots:
    void initTestCase() { app::setup(*qApp); }
    void cleanup() { testing::closeAllWindows(); }

    void pointRowsShowPathsInTreeOrderAndCountTheirWholeBranch()
    {
        Workspace ws;
        const Points p = seedBank(ws);
        // 001 linked to 代数 and to 方程 below it: one question of each row.
        {
            QSqlDatabase db = DM->db();
            knowledge::setForQuestion(db, questionId(ws, "001"), {p.algebra, p.equations});
        }
        BlueprintWindow w;
        QCOMPARE(w.ComboBoxRows->currentText(), QString("按章节"));
        QCOMPARE(w.rowHeader(), QString("章节"));
        QCOMPARE(rowNames(&w), (QStringList{"第一章", "第二章", "第三章", "合计"}));
        chooseRows(&w, 1);
        QCOMPARE(w.rowKind(), blueprint::RowKind::Points);
        QCOMPARE(w.rowHeader(), QString("知识点"));
        QCOMPARE(rowNames(&w), (QStringList{"代数", "代数/方程", "几何", "合计"}));
        // 003 counts once under 代数 (through 方程) and once under 几何.
        QCOMPARE(available(&w, "代数", "01", "易"), QString("/3"));
        QCOMPARE(available(&w, "代数/方程", "01", "易"), QString("/3"));
        QCOMPARE(available(&w, "几何", "01", "易"), QString("/3"));
        QCOMPARE(available(&w, "代数", "01", "较易"), QString("/1"));
        QCOMPARE(available(&w, "几何", "01", "较易"), QString("/0"));
        QCOMPARE(available(&w, "代数", "03", "难"), QString("/1"));
        QCOMPARE(available(&w, "几何", "03", "难"), QString("/0"));
        // A link added behind the window shows after a refresh; a question of another subject
        // linked to a point of this one is not counted.
        QSqlDatabase db = DM->db();
        addQuestion(ws, "02", "01", "009", "01", "易");
        ws.exec("INSERT INTO stzsd (stid, zsdid) SELECT s.id, z.id FROM stb s, zsdb z"
                " WHERE s.kmh='02' AND s.th='009' AND z.zsdm='几何'");
        knowledge::setForQuestion(db, questionId(ws, "006"), {p.geometry});
        QTest::mouseClick(w.BtnRefresh, Qt::LeftButton);
        QCOMPARE(available(&w, "几何", "01", "易"), QString("/4"));
        // Merged, a row counts every difficulty of its branch.
        for (int i = 0; i < w.TableTypes->rowCount(); ++i) {
            if (w.TableTypes->item(i, 0)->text() == "选择题") w.TableTypes->item(i, 1)->setCheckState(Qt::Checked);
        }
        QCOMPARE(available(&w, "代数", "01", ""), QString("/4"));
        // Back to chapters (the merged column counts as a change): the chapters' rows and counts.
        BoxAnswerer boxes;
        boxes.queue(QMessageBox::Ok);
        chooseRows(&w, 0);
        QCOMPARE(boxes.texts, QStringList{"当前细目表尚未保存，改变细目表的行将放弃已填写的内容，是否继续？"});
        QCOMPARE(w.rowHeader(), QString("章节"));
        QCOMPARE(rowNames(&w), (QStringList{"第一章", "第二章", "第三章", "合计"}));
        QCOMPARE(available(&w, "第一章", "01", ""), QString("/4"));
    }

    void aSubjectWithoutPointsSaysWhereRowsComeFrom()
    {
        Workspace ws;
        seedBank(ws);
        ws.exec("DELETE FROM stzsd");
        ws.exec("DELETE FROM zsdb");
        BlueprintWindow w;
        QCOMPARE(w.LabelStatus->text(), QString());
        chooseRows(&w, 1);
        QCOMPARE(rowNames(&w), QStringList{"合计"});
        QCOMPARE(w.LabelStatus->text(), QString("本科目还没有知识点，请先在“知识点设置”中添加知识点并为试题标注。"));
        chooseRows(&w, 0);
        QCOMPARE(w.LabelStatus->text(), QString());
    }

    void switchingRowsWithTypedCellsAsksFirst()
    {
        Workspace ws;
        seedBank(ws);
        BoxAnswerer boxes;
        BlueprintWindow w;
        setCell(&w, "第一章", "01", "易", "2", "5");
        boxes.queue(QMessageBox::Cancel);
        chooseRows(&w, 1);
        QCOMPARE(boxes.last(), QString("当前细目表尚未保存，改变细目表的行将放弃已填写的内容，是否继续？"));
        QCOMPARE(w.ComboBoxRows->currentText(), QString("按章节"));
        QCOMPARE(w.countEdit(w.rowOf("第一章"), w.columnOf("01", "易"))->text(), QString("2"));
        boxes.queue(QMessageBox::Ok);
        chooseRows(&w, 1);
        QCOMPARE(rowNames(&w).first(), QString("代数"));
        QCOMPARE(w.countEdit(w.rowOf("代数"), w.columnOf("01", "易"))->text(), QString());
        QCOMPARE(w.LabelTotal->text(), QString("合计：0道题，0分，试卷总分为100分，相差100分"));
    }

    // 代数 asks for all three of its 易 questions, 几何 for two of its three: 003 belongs to both,
    // so 几何 must take 004 and 005. The chapters ticked are those of the questions drawn.
    void composingByPointsDrawsEachQuestionOnceUnderItsRow()
    {
        Workspace ws;
        const Points p = seedBank(ws);
        BoxAnswerer boxes;
        for (quint32 seed : {1u, 2u, 3u, 4u}) {
            BlueprintWindow w;
            chooseRows(&w, 1);
            keepTypes(&w, {"选择题"});
            setCell(&w, "代数", "01", "易", "3", "20");
            setCell(&w, "几何", "01", "易", "2", "20");
            randomdraw::setState(seed);
            QVERIFY(w.compose());
            QCOMPARE(boxes.texts.join('|'), QString());
            const QVector<qint64> ids = paperIds(ws);
            QCOMPARE(ids.size(), 5);
            QCOMPARE(QSet<qint64>(ids.cbegin(), ids.cend()).size(), 5);
            for (int i = 0; i < 3; ++i) QVERIFY(standsUnder(ids.at(i), p.algebra));
            for (int i = 3; i < 5; ++i) QVERIFY(standsUnder(ids.at(i), p.geometry));
            QCOMPARE(tickedChapters(), (QStringList{"第一章", "第二章"}));
            // The table printed after the answers speaks of points, by their paths.
            w.CheckPrintBlueprint->setChecked(true);
            TZtszF step1(nullptr);
            w.handOver(&step1);
            const QVector<QStringList> table = step1.BlueprintTable;
            QCOMPARE(table.size(), 4);
            QCOMPARE(table.first(), (QStringList{"知识点", "选择题·易", "合计"}));
            QCOMPARE(table.at(1), (QStringList{"代数", "3题 60分", "3题 60分"}));
            QCOMPARE(table.at(2), (QStringList{"几何", "2题 40分", "2题 40分"}));
        }
    }

    void drawnQuestionsCarryTheirOwnChapterAndTheirRow()
    {
        Workspace ws;
        const Points p = seedBank(ws);
        blueprint::Plan plan;
        plan.kmh = "01";
        plan.rows = blueprint::RowKind::Points;
        plan.chapters = blueprint::rowsOf(DM->db(), "01", blueprint::RowKind::Points);
        plan.types = {{"01", "选择题", false}};
        const QString equations = QString::number(p.equations);
        plan.cells = {{equations, "01", "易", 2, 10}, {equations, "01", "较易", 1, 10}};
        randomdraw::setState(5);
        const blueprint::Draw d = blueprint::draw(DM->db(), plan, {});
        QVERIFY(d.unmet.isEmpty());
        QCOMPARE(d.questions.size(), 3);
        for (const blueprint::DrawnQuestion& q : d.questions) {
            QCOMPARE(q.row, equations);
            QCOMPARE(q.zjh, ws.scalar("SELECT zjh FROM stb WHERE id=?", {q.id}));
        }
        blueprint::writePaper(DM->db(), plan, d);
        // 002 and 007 of 第二章, 003 of 第一章.
        QCOMPARE(tickedChapters(), (QStringList{"第一章", "第二章"}));
    }

    // Each row alone looks met (代数 3 of 3, 几何 3 of 3), together they need six of five.
    void overlappingRowsLeftShortAtDrawTimeAreReported()
    {
        Workspace ws;
        seedBank(ws);
        BoxAnswerer boxes;
        BlueprintWindow w;
        chooseRows(&w, 1);
        keepTypes(&w, {"选择题"});
        setCell(&w, "代数", "01", "易", "3", "10");
        setCell(&w, "几何", "01", "易", "3", "10");
        type(w.EditZf, "60");
        QVERIFY(!w.isShort(w.rowOf("几何"), w.columnOf("01", "易")));
        QVERIFY(!w.compose());
        QCOMPARE(boxes.last(), QString("题库中的题目不够，试卷没有生成：\n几何 / 选择题·易：需要3道，只能选出2道"));
        QCOMPARE(ws.count("sjb"), 0);
    }

    void anotherPointFillsUpWithoutRepeatingAQuestion()
    {
        Workspace ws;
        const Points p = seedBank(ws);
        BoxAnswerer boxes;
        BlueprintWindow w;
        chooseRows(&w, 1);
        keepTypes(&w, {"选择题"});
        setCell(&w, "代数/方程", "01", "易", "3", "10");
        setCell(&w, "代数/方程", "01", "较易", "2", "10");
        type(w.EditZf, "50");
        QStringList seen;
        bool picked = false;
        boxes.onOtherModal = [&](QWidget* modal) {
            auto* report = qobject_cast<ShortageReport*>(modal);
            if (!report) return false;
            for (QComboBox* box : report->choices) seen << offers(box).join(" | ");
            if (picked) {
                report->reject();
                return true;
            }
            picked = true;
            // 方程·易 from 几何 (whose 003 the cell's own draw takes first), 方程·较易 from 代数
            // (whose only 较易 question, 007, is 方程's own).
            report->choices.at(0)->setCurrentIndex(report->choices.at(0)->findText("从知识点“几何”补1道（可用3道）"));
            report->choices.at(1)->setCurrentIndex(report->choices.at(1)->findText("从知识点“代数”补1道（可用1道）"));
            report->BtnFixOk->click();
            return true;
        };
        randomdraw::setState(11);
        QVERIFY(!w.compose());
        const QString choose = "（请选择处理方式）";
        QCOMPARE(seen, (QStringList{choose + " | 少出题：只出2道 | 放宽难度到较易：补1道（可用0道）（不可选）"
                                             " | 从知识点“代数”补1道（可用3道） | 从知识点“几何”补1道（可用3道）",
                                    choose + " | 少出题：只出1道 | 放宽难度到易、中等：补1道（可用0道）（不可选）"
                                             " | 从知识点“代数”补1道（可用1道） | 从知识点“几何”补1道（可用0道）（不可选）"}));
        // The shared 较易 question is drawn once: the fill-up from 代数 finds nothing left.
        QCOMPARE(boxes.last(), QString("题库中的题目不够，试卷没有生成：\n代数/方程 / 选择题·较易：需要2道，只能选出1道"));
        QCOMPARE(ws.count("sjb"), 0);

        // Taking fewer of 较易 and filling 易 from 几何 composes: three 易 questions, none twice.
        BlueprintWindow again;
        chooseRows(&again, 1);
        keepTypes(&again, {"选择题"});
        setCell(&again, "代数/方程", "01", "易", "3", "10");
        setCell(&again, "代数/方程", "01", "较易", "2", "20");
        type(again.EditZf, "50");
        boxes.onOtherModal = [&](QWidget* modal) {
            auto* report = qobject_cast<ShortageReport*>(modal);
            if (!report) return false;
            report->choices.at(0)->setCurrentIndex(report->choices.at(0)->findText("从知识点“几何”补1道（可用3道）"));
            report->choices.at(1)->setCurrentIndex(report->choices.at(1)->findText("少出题：只出1道"));
            report->BtnFixOk->click();
            return true;
        };
        for (quint32 seed : {1u, 2u, 3u}) {
            boxes.clear();
            randomdraw::setState(seed);
            type(again.countEdit(again.rowOf("代数/方程"), again.columnOf("01", "较易")), "2");
            QVERIFY2(again.compose(), qPrintable(boxes.texts.join('|')));
            const QVector<qint64> ids = paperIds(ws);
            QCOMPARE(ids.size(), 4);
            QCOMPARE(QSet<qint64>(ids.cbegin(), ids.cend()).size(), 4);
            QVERIFY(standsUnder(ids.at(0), p.equations));
            QVERIFY(standsUnder(ids.at(1), p.equations));
            QVERIFY(standsUnder(ids.at(2), p.geometry));
            QCOMPARE(ids.at(3), questionId(ws, "007"));
        }
    }

    void templatesRememberTheirRowsAndCopiesKeepThem()
    {
        Workspace ws;
        const Points p = seedBank(ws);
        BoxAnswerer boxes;
        {
            BlueprintWindow w;
            savePointTemplate(&w, "按知识点");
            QCOMPARE(boxes.last(), QString("模板“按知识点”已保存。"));
            chooseRows(&w, 0);
            setCell(&w, "第一章", "01", "易", "4", "25");
            w.EditTemplateName->setText("按章节");
            QTest::mouseClick(w.BtnSave, Qt::LeftButton);
        }
        QCOMPARE(ws.scalar("SELECT row_kind FROM blueprints WHERE name='按知识点'"), QString("zsd"));
        QCOMPARE(ws.scalar("SELECT row_kind FROM blueprints WHERE name='按章节'"), QString("zj"));
        QCOMPARE(testing::joined("SELECT zjh FROM blueprint_cells WHERE blueprint_id="
                                 "(SELECT id FROM blueprints WHERE name='按知识点') ORDER BY id"),
                 QString::number(p.equations) + "," + QString::number(p.geometry));
        // A new window starts by chapters and takes the template's rows with its cells.
        BlueprintWindow w;
        QCOMPARE(w.ComboBoxRows->currentText(), QString("按章节"));
        w.ComboBoxTemplate->setCurrentText("按知识点");
        QTest::mouseClick(w.BtnOpen, Qt::LeftButton);
        QCOMPARE(w.ComboBoxRows->currentText(), QString("按知识点"));
        QCOMPARE(w.rowHeader(), QString("知识点"));
        QCOMPARE(w.countEdit(w.rowOf("代数/方程"), w.columnOf("01", "易"))->text(), QString("2"));
        QCOMPARE(w.pointsEdit(w.rowOf("几何"), w.columnOf("01", "易"))->text(), QString("25"));
        QCOMPARE(w.countEdit(w.rowOf("代数"), w.columnOf("01", "易"))->text(), QString());
        QCOMPARE(w.LabelTotal->text(), QString("合计：4道题，100分，与试卷总分100分一致"));
        w.ComboBoxTemplate->setCurrentText("按章节");
        QTest::mouseClick(w.BtnOpen, Qt::LeftButton);
        QCOMPARE(w.ComboBoxRows->currentText(), QString("按章节"));
        QCOMPARE(w.countEdit(w.rowOf("第一章"), w.columnOf("01", "易"))->text(), QString("4"));
        // A copy is laid out as its original.
        w.ComboBoxTemplate->setCurrentText("按知识点");
        QTest::mouseClick(w.BtnCopy, Qt::LeftButton);
        QCOMPARE(ws.scalar("SELECT row_kind FROM blueprints WHERE name='按知识点（副本）'"), QString("zsd"));
        QCOMPARE(ws.count("blueprint_cells", "blueprint_id=(SELECT id FROM blueprints WHERE name='按知识点（副本）')"), 2);
        // A template saved before templates kept their rows opens by chapters.
        ws.exec("INSERT INTO blueprints (kmh, name, zf) VALUES ('01', '旧模板', '100')");
        ws.exec("INSERT INTO blueprint_cells (blueprint_id, zjh, txh, nd, ts, fs)"
                " SELECT id, '02', '01', '易', '3', '10' FROM blueprints WHERE name='旧模板'");
        ws.exec("INSERT INTO blueprint_types (blueprint_id, txh, merged)"
                " SELECT id, '01', '0' FROM blueprints WHERE name='旧模板'");
        BlueprintWindow old;
        chooseRows(&old, 1);
        old.ComboBoxTemplate->setCurrentText("旧模板");
        QTest::mouseClick(old.BtnOpen, Qt::LeftButton);
        QCOMPARE(old.ComboBoxRows->currentText(), QString("按章节"));
        QCOMPARE(old.rowHeader(), QString("章节"));
        QCOMPARE(old.countEdit(old.rowOf("第二章"), old.columnOf("01", "易"))->text(), QString("3"));
    }

    void aPointDeletedSinceSavingIsToldWhenTheTemplateOpens()
    {
        Workspace ws;
        const Points p = seedBank(ws);
        BoxAnswerer boxes;
        {
            BlueprintWindow w;
            savePointTemplate(&w, "期中");
        }
        QSqlDatabase db = DM->db();
        knowledge::remove(db, p.geometry);
        boxes.clear();
        BlueprintWindow w;
        w.ComboBoxTemplate->setCurrentText("期中");
        QTest::mouseClick(w.BtnOpen, Qt::LeftButton);
        QCOMPARE(boxes.texts,
                 QStringList{"模板“期中”中有1个知识点已被删除，这些知识点所在行的题数没有打开，请检查细目表。"});
        QCOMPARE(rowNames(&w), (QStringList{"代数", "代数/方程", "合计"}));
        QCOMPARE(w.countEdit(w.rowOf("代数/方程"), w.columnOf("01", "易"))->text(), QString("2"));
        QCOMPARE(w.LabelTotal->text(), QString("合计：2道题，50分，试卷总分为100分，相差50分"));
        // The template itself keeps the cell until it is saved again.
        QCOMPARE(ws.count("blueprint_cells"), 2);
    }

    // A bank copied from a file or a server into a file, and from there onto a server, keeps the
    // template's rows and the point ids its cells name.
    void aCopyOfTheBankKeepsThePointTemplate()
    {
        Workspace ws;
        const Points p = seedBank(ws);
        blueprint::Plan plan;
        plan.kmh = "01";
        plan.rows = blueprint::RowKind::Points;
        plan.types = {{"01", "选择题", false}};
        plan.cells = {{QString::number(p.geometry), "01", "易", 2, 50}};
        blueprint::store::save(DM->db(), plan, "几何专项");
        const QString copied = ws.root() + "/copied.db";
        bank_copy::copy(testing::onServer() ? ws.serverUri() : ws.databasePath(), copied);
        const auto readBack = [&](const QString& connection) {
            QSqlDatabase copy = QSqlDatabase::database(connection);
            return sql::scalar(copy, "SELECT b.row_kind || '|' || c.zjh FROM blueprints b, blueprint_cells c"
                                     " WHERE c.blueprint_id = b.id AND b.name=?",
                               {QStringLiteral("几何专项")});
        };
        {
            QSqlDatabase copy = QSqlDatabase::addDatabase("QSQLITE", "points-copy");
            copy.setDatabaseName(copied);
            QVERIFY(copy.open());
            QCOMPARE(readBack("points-copy"), "zsd|" + QString::number(p.geometry));
            QCOMPARE(sql::scalar(copy, "SELECT zsdm FROM zsdb WHERE id=?", {p.geometry}), QString("几何"));
            sql::releaseStatements(copy);
            copy.close();
        }
        QSqlDatabase::removeDatabase("points-copy");
        if (!testing::onServer()) return;
        const QString server = testing::createServerDatabase();
        bank_copy::copy(copied, server);
        {
            QSqlDatabase onServer = engine::openServer("points-server", server);
            QCOMPARE(readBack("points-server"), "zsd|" + QString::number(p.geometry));
            onServer.close();
        }
        QSqlDatabase::removeDatabase("points-server");
        testing::dropServerDatabase(server);
    }

    // A file whose points name each other as parents: the walk down the tree ends, the points
    // reachable from the top are the rows.
    void pointsLinkedInACircleStillOpen()
    {
        Workspace ws;
        const Points p = seedBank(ws);
        ws.exec("UPDATE zsdb SET sjid=? WHERE id=?", {p.equations, p.algebra});
        BlueprintWindow w;
        chooseRows(&w, 1);
        QCOMPARE(rowNames(&w), (QStringList{"几何", "合计"}));
        QCOMPARE(available(&w, "几何", "01", "易"), QString("/3"));
        QCOMPARE(blueprint::rowsOf(DM->db(), "01", blueprint::RowKind::Points).size(), 1);
    }

    void aVersionFiveBankGainsTheRowKindAndStaysTheProgramsOwn()
    {
        if (testing::onServer()) QSKIP("a bank file of version 5");
        Workspace ws;
        seedBank(ws);
        QString earlier;
        for (const QString& statement : schema::earlierTableStatements()) {
            if (statement.startsWith("CREATE TABLE blueprints ") && statement.contains("duration")) earlier = statement;
        }
        QVERIFY(!earlier.isEmpty());
        QVERIFY(!earlier.contains("row_kind"));
        ws.exec("DROP TABLE blueprints");
        ws.exec(earlier);
        ws.exec("CREATE INDEX blueprints_kmh ON blueprints (kmh, name)");
        ws.exec("INSERT INTO blueprints (kmh, name, zf, title, duration) VALUES ('01', '旧模板', '100', '期末', '90')");
        ws.exec("PRAGMA user_version = 5");
        const QString path = ws.databasePath();
        DM->disconnectFromBank();
        DM->connectTo(path);
        QCOMPARE(ws.scalar("PRAGMA user_version").toInt(), schema::kVersion);
        QCOMPARE(bank_file::foreignObjects(DM->db()), QStringList());
        QCOMPARE(ws.scalar("SELECT sql FROM sqlite_master WHERE name='blueprints'"),
                 schema::createStatement("blueprints"));
        QCOMPARE(blueprint::store::rowKind(DM->db(), "01", "旧模板"), blueprint::RowKind::Chapters);
        BlueprintWindow w;
        w.ComboBoxTemplate->setCurrentText("旧模板");
        QTest::mouseClick(w.BtnOpen, Qt::LeftButton);
        QCOMPARE(w.EditSjbt->text(), QString("期末"));
        QCOMPARE(w.ComboBoxRows->currentText(), QString("按章节"));
    }
};

QTEST_MAIN(BlueprintPointsTest)
#include "test_blueprint_points.moc"
