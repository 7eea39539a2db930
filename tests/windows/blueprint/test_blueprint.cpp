// Composing from a blueprint: live counts, totals and bad input in the grid, the shortage offers,
// an exact composition that continues in wizard step 2, and templates kept in the bank.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSqlQuery>
#include <QStandardItemModel>
#include <QTableWidget>
#include <QTest>

#include "windows/wizard/wizard_fixture.h"
#include "app/application.h"
#include "ui/forms.h"
#include "app/main_window.h"
#include "blueprint/blueprint_store.h"
#include "windows/blueprint/blueprint_window.h"
#include "windows/blueprint/blueprint_fixture.h"
#include "windows/blueprint/shortage_report.h"
#include "data/bank_file.h"
#include "data/data_module.h"
#include "data/schema.h"
#include "test_support.h"
#include "windows/wizard/detail_settings.h"
#include "data/random_draw.h"

using testing::BoxAnswerer;
using testing::Workspace;
using namespace wizardtest;

namespace {

using blueprinttest::keepTypes;
using blueprinttest::offers;
using blueprinttest::setCell;
using blueprinttest::type;

// 数学: 第一章 has 1 易 and 2 较易 选择题, 3 中等 填空题, 2 解答题 of mixed levels; 第二章 has 4 易 选择题.
void seedBank(Workspace& ws)
{
    seedSubjects(ws);
    addQuestion(ws, "01", "01", "001", "01", "易");
    addQuestion(ws, "01", "01", "002", "01", "较易");
    addQuestion(ws, "01", "01", "003", "01", "较易");
    for (int i = 4; i <= 7; ++i)
        addQuestion(ws, "01", "01", QStringLiteral("%1").arg(i, 3, 10, QLatin1Char('0')), "02", "易");
    for (int i = 1; i <= 3; ++i) addQuestion(ws, "01", "02", QStringLiteral("00%1").arg(i), "01", "中等");
    addQuestion(ws, "01", "03", "001", "01", "难");
    addQuestion(ws, "01", "03", "002", "01", "易");
    ws.refreshDatasets();
}

// Types of the paper: 选择题 by difficulty, 填空题 by difficulty, 解答题 merged ("全部").
void mergeType(BlueprintWindow* w, const QString& txm)
{
    for (int i = 0; i < w->TableTypes->rowCount(); ++i) {
        if (w->TableTypes->item(i, 0)->text() == txm) w->TableTypes->item(i, 1)->setCheckState(Qt::Checked);
    }
}

int bankCount(Workspace& ws, const QString& zjh, const QString& txh, const QString& nd)
{
    if (nd.isEmpty()) return ws.count("stb", "kmh='01' AND zjh=? AND txh=?", {zjh, txh});
    return ws.count("stb", "kmh='01' AND zjh=? AND txh=? AND nd=?", {zjh, txh, nd});
}

// The paper in sjb as "type chapter difficulty points" per question, in paper order.
QStringList paperCells(Workspace& ws)
{
    Q_UNUSED(ws);
    QStringList out;
    QSqlQuery q(DM->db());
    q.exec("SELECT txh, zjh, nd, fs FROM sjb ORDER BY id");
    while (q.next()) {
        out << QStringLiteral("%1 %2 %3 %4")
                   .arg(q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                        QString::number(q.value(3).toString().toDouble()));
    }
    return out;
}

// A plan the bank above can meet: 100 points over 9 questions.
void fillMeetablePlan(BlueprintWindow* w)
{
    mergeType(w, "解答题");
    setCell(w, "第一章", "01", "易", "1", "10");
    setCell(w, "第一章", "01", "较易", "2", "10");
    setCell(w, "第二章", "01", "易", "3", "10");
    setCell(w, "第一章", "02", "中等", "2", "5");
    setCell(w, "第一章", "03", "", "1", "30");
}

// The difficulties of the paper in sjb, sorted.
QStringList paperLevels()
{
    QStringList out = testing::joined("SELECT nd FROM sjb ORDER BY id").split(',', Qt::SkipEmptyParts);
    out.sort();
    return out;
}

}  // namespace

class BlueprintTest : public QObject {
    Q_OBJECT
    // A dialog no test answers fails the test at once instead of hanging until the CTest timeout.
    testing::ModalGuard guard_;

private slots:
    void initTestCase() { app::setup(*qApp); }
    void cleanup() { testing::closeAllWindows(); }

    // More questions than one statement writes: every drawn question lands once, in paper order,
    // with its points and its own texts; one deleted between the draw and the write adds no row.
    void aLargePaperIsWrittenInDrawOrderAcrossStatements()
    {
        Workspace ws;
        seedSubjects(ws);
        addQuestions(ws, "01", "01", "01", 1, 150);
        addQuestions(ws, "01", "02", "02", 1, 90);
        ws.refreshDatasets();
        blueprint::Plan plan;
        plan.kmh = "01";
        plan.chapters = {{"01", "第一章"}, {"02", "第二章"}};
        plan.types = {{"01", "选择题", false}, {"02", "填空题", false}};
        plan.cells = {{"01", "01", "易", 140, 0.5}, {"02", "02", "易", 80, 0.25}};
        randomdraw::setState(7);
        const blueprint::Draw d = blueprint::draw(DM->db(), plan, {});
        QVERIFY(d.unmet.isEmpty());
        QCOMPARE(d.questions.size(), 220);
        const qint64 gone = d.questions.at(150).id;
        ws.exec("DELETE FROM stb WHERE id=?", {gone});
        blueprint::writePaper(DM->db(), plan, d);
        QStringList expected;
        for (const blueprint::DrawnQuestion& q : d.questions) {
            if (q.id == gone) continue;
            expected << ws.scalar("SELECT txh || '/' || th || '/' || tm FROM stb WHERE id=?", {q.id}) + "/" +
                            QString::number(q.points);
        }
        QStringList written;
        QSqlQuery q(DM->db());
        QVERIFY(q.exec("SELECT txh, th, tm, fs FROM sjb ORDER BY id"));
        while (q.next()) {
            written << QStringLiteral("%1/%2/%3/%4")
                           .arg(q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                                QString::number(q.value(3).toString().toDouble()));
        }
        QCOMPARE(written.size(), 219);
        QCOMPARE(written, expected);
    }

    void liveCountsAgreeWithTheBankAfterAddsAndDeletes()
    {
        Workspace ws;
        seedBank(ws);
        BlueprintWindow w;
        mergeType(&w, "解答题");
        auto check = [&] {
            for (const QString& zjm : {QStringLiteral("第一章"), QStringLiteral("第二章")}) {
                const QString zjh = zjm == "第一章" ? "01" : "02";
                for (const QString& txh : {QStringLiteral("01"), QStringLiteral("02")}) {
                    for (const QString& nd : blueprint::levels()) {
                        QCOMPARE(w.availableLabel(w.rowOf(zjm), w.columnOf(txh, nd))->text(),
                                 "/" + QString::number(bankCount(ws, zjh, txh, nd)));
                    }
                }
                QCOMPARE(w.availableLabel(w.rowOf(zjm), w.columnOf("03", ""))->text(),
                         "/" + QString::number(bankCount(ws, zjh, "03", "")));
            }
        };
        check();
        QCOMPARE(w.availableLabel(w.rowOf("第二章"), w.columnOf("01", "易"))->text(), QString("/4"));
        // Questions added and deleted behind the window show after a refresh.
        ws.exec("DELETE FROM stb WHERE kmh='01' AND txh='01' AND zjh='02' AND th IN ('004','005')");
        addQuestion(ws, "01", "03", "003", "02", "中等");
        addQuestion(ws, "02", "01", "001", "01", "易");  // another subject's question is not counted
        QTest::mouseClick(w.BtnRefresh, Qt::LeftButton);
        check();
        QCOMPARE(w.availableLabel(w.rowOf("第二章"), w.columnOf("01", "易"))->text(), QString("/2"));
        QCOMPARE(w.availableLabel(w.rowOf("第二章"), w.columnOf("03", ""))->text(), QString("/1"));
    }

    void typingUpdatesTotalsAndMarksShortCellsRed()
    {
        Workspace ws;
        seedBank(ws);
        BlueprintWindow w;
        const int r = w.rowOf("第一章");
        const int c = w.columnOf("01", "易");
        setCell(&w, "第一章", "01", "易", "3", "5");
        QVERIFY(w.isShort(r, c));
        QVERIFY(w.countEdit(r, c)->styleSheet().contains("background"));
        setCell(&w, "第一章", "02", "中等", "2", "4.5");
        QCOMPARE(w.findChild<QLabel*>(QStringLiteral("RowTotal_%1").arg(r))->text(), QString("5题 24分"));
        QCOMPARE(w.findChild<QLabel*>(QStringLiteral("ColumnTotal_%1").arg(c))->text(), QString("3题 15分"));
        QCOMPARE(w.findChild<QLabel*>("GrandTotal")->text(), QString("5题 24分"));
        QCOMPARE(w.LabelTotal->text(), QString("合计：5道题，24分，试卷总分为100分，相差76分"));
        // Fixing the count clears the red; matching the total is reported as such.
        type(w.countEdit(r, c), "1");
        QVERIFY(!w.isShort(r, c));
        QVERIFY(w.countEdit(r, c)->styleSheet().isEmpty());
        type(w.EditZf, "14");
        QCOMPARE(w.LabelTotal->text(), QString("合计：3道题，14分，与试卷总分14分一致"));
    }

    void badInputGetsAClearMessage()
    {
        Workspace ws;
        seedBank(ws);
        BoxAnswerer boxes;
        BlueprintWindow w;
        w.show();
        const int r = w.rowOf("第二章");
        const int c = w.columnOf("01", "易");
        struct Case {
            QString count, points, expected;
        };
        const Case cases[] = {
            {"abc", "5", "第二章 / 选择题·易：题数只能填写整数，“abc”不是整数。"},
            {"-2", "5", "第二章 / 选择题·易：题数不能为负数。"},
            {"10000", "5", "第二章 / 选择题·易：每格最多999道题，不能填写10000。"},
            {"2", "x", "第二章 / 选择题·易：每题分数只能填写数字（最多两位小数），“x”不是。"},
            {"2", "-1", "第二章 / 选择题·易：每题分数不能为负数。"},
            {"2", "", "第二章 / 选择题·易：请填写每题分数。"},
        };
        for (const Case& k : cases) {
            type(w.countEdit(r, c), k.count);
            type(w.pointsEdit(r, c), k.points);
            if (!k.points.isEmpty()) QCOMPARE(w.LabelStatus->text(), k.expected);
            boxes.clear();
            QTest::mouseClick(w.BtnCompose, Qt::LeftButton);
            QTRY_COMPARE(boxes.texts, QStringList{k.expected});
        }
        QCOMPARE(ws.count("sjb"), 0);
        // A plan whose points do not add up to the paper's total is refused.
        setCell(&w, "第二章", "01", "易", "2", "5");
        type(w.EditZf, "abc");
        QVERIFY(w.LabelTotal->text().contains("试卷总分应为1到1000之间的整数"));
        type(w.EditZf, "100");
        for (const QString& txh : {QStringLiteral("02"), QStringLiteral("03")}) {
            setCell(&w, "第一章", txh, txh == "02" ? "中等" : "难", "1", "5");
        }
        boxes.clear();
        QTest::mouseClick(w.BtnCompose, Qt::LeftButton);
        QTRY_COMPARE(boxes.texts, QStringList{"细目表各格分数之和为20分，与试卷总分100分不一致，请检查后重试！"});
        // A chosen type without any question is named.
        setCell(&w, "第一章", "03", "难", "", "");
        boxes.clear();
        QTest::mouseClick(w.BtnCompose, Qt::LeftButton);
        QTRY_COMPARE(boxes.texts, QStringList{"题型“解答题”在细目表中还没有题目，请填写题数或取消选用该题型！"});
        QCOMPARE(ws.count("sjb"), 0);
    }

    void aPlanTheBankCanMeetIsComposedCellByCellAndContinuesInStepTwo()
    {
        Workspace ws;
        seedBank(ws);
        ws.exec("INSERT INTO sjb (kmh, txh, th) VALUES ('01','09','999')");  // an earlier paper
        BoxAnswerer boxes;
        QAction* action = MainF->findChild<QAction*>("XmbZj");
        QVERIFY(action);
        QVERIFY(action->isEnabled());
        QCOMPARE(action->text(), QString("按细目表组卷(&B)"));
        QStringList stepTwoLines;
        QString stepTwoCount;
        QList<Qt::CheckState> ticks;
        boxes.onOtherModal = [&](QWidget* modal) {
            if (auto* w = qobject_cast<BlueprintWindow*>(modal)) {
                if (w->property("filled").toBool()) {
                    w->reject();  // composing failed: the boxes recorded say why
                    return true;
                }
                w->setProperty("filled", true);
                fillMeetablePlan(w);
                w->BtnCompose->click();  // step 2 follows once the window has closed
                return true;
            }
            if (auto* step2 = qobject_cast<TXxszF*>(modal)) {
                stepTwoLines = lines(step2->ListBoxSj);
                stepTwoCount = step2->EditTs->text();
                for (int i = 0; i < step2->CheckListBoxZj->count(); ++i)
                    ticks << step2->CheckListBoxZj->item(i)->checkState();
                step2->Button3->click();
                return true;
            }
            return false;
        };
        action->trigger();
        QCOMPARE(boxes.texts.join('|'), QString());
        // Per cell: type, chapter, difficulty, count and points, in paper order.
        QStringList cells = paperCells(ws);
        QCOMPARE(cells.mid(0, 6), (QStringList{"01 01 易 10", "01 01 较易 10", "01 01 较易 10", "01 02 易 10",
                                               "01 02 易 10", "01 02 易 10"}));
        QCOMPARE(cells.mid(6, 2), (QStringList{"02 01 中等 5", "02 01 中等 5"}));
        QCOMPARE(cells.size(), 9);
        QVERIFY(cells.at(8).startsWith("03 01 "));
        QVERIFY(cells.at(8).endsWith(" 30"));
        QCOMPARE(ws.count("sjb", "kmh='01'"), 9);
        QCOMPARE(ws.scalar("SELECT COUNT(DISTINCT txh || '/' || th) FROM sjb"), QString("9"));
        QCOMPARE(ws.count("txb", "kmh='01' AND bz='1'"), 3);
        QCOMPARE(ws.count("zjb", "kmh='01' AND bz='1'"), 2);
        // Step 2 took the paper over: the first type lists its six questions, chapters ticked.
        QCOMPARE(stepTwoLines.size(), 6);
        QVERIFY(stepTwoLines.first().endsWith("----10.0分"));
        QCOMPARE(stepTwoCount, QString("6"));
        QCOMPARE(ticks, (QList<Qt::CheckState>{Qt::Checked, Qt::Checked}));
    }

    void shortageOffersDoWhatTheyPromise_data()
    {
        QTest::addColumn<QString>("offer");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("message");
        // 第一章 / 选择题·易 asks for 3 but holds 1; 第二章 易 gives 1 of its 4 to its own cell.
        QTest::newRow("widen") << "放宽难度到较易：补2道（可用2道）"
                               << QStringList{"01 易", "01 较易", "01 较易", "02 易"} << QString();
        QTest::newRow("other chapter") << "从“第二章”补2道（可用3道）"
                                       << QStringList{"01 易", "02 易", "02 易", "02 易"} << QString();
        QTest::newRow("fewer") << "少出题：只出1道" << QStringList{}
                               << "细目表各格分数之和为20分，与试卷总分40分不一致，请检查后重试！";
    }

    void shortageOffersDoWhatTheyPromise()
    {
        QFETCH(QString, offer);
        QFETCH(QStringList, expected);
        QFETCH(QString, message);
        Workspace ws;
        seedBank(ws);
        BoxAnswerer boxes;
        BlueprintWindow w;
        w.show();
        for (int i = 0; i < w.TableTypes->rowCount(); ++i) {
            if (w.TableTypes->item(i, 0)->text() != "选择题") w.TableTypes->item(i, 0)->setCheckState(Qt::Unchecked);
        }
        setCell(&w, "第一章", "01", "易", "3", "10");
        setCell(&w, "第二章", "01", "易", "1", "10");
        type(w.EditZf, "40");
        QStringList offered;
        boxes.onOtherModal = [&](QWidget* modal) {
            auto* report = qobject_cast<ShortageReport*>(modal);
            if (!report || report->property("done").toBool()) return false;
            report->setProperty("done", true);
            QComboBox* box = report->findChild<QComboBox*>("ComboFix_0");
            for (int i = 0; i < box->count(); ++i) offered << box->itemText(i);
            box->setCurrentIndex(box->findText(offer));
            report->BtnFixOk->click();
            return true;
        };
        QTest::mouseClick(w.BtnCompose, Qt::LeftButton);
        QCOMPARE(offered, (QStringList{"（请选择处理方式）", "少出题：只出1道", "放宽难度到较易：补2道（可用2道）",
                                       "从“第二章”补2道（可用3道）"}));
        if (!message.isEmpty()) {
            QTRY_COMPARE(boxes.texts, QStringList{message});
            QCOMPARE(ws.count("sjb"), 0);
            // The cell now asks for what the bank holds; with the total adjusted it composes.
            QCOMPARE(w.countEdit(w.rowOf("第一章"), w.columnOf("01", "易"))->text(), QString("1"));
            type(w.EditZf, "20");
            QTest::mouseClick(w.BtnCompose, Qt::LeftButton);
            expected = QStringList{"01 易", "02 易"};
        }
        QStringList got;
        for (const QString& cell : paperCells(ws)) got << cell.section(' ', 1, 2);
        QCOMPARE(got, expected);
        QCOMPARE(ws.scalar("SELECT COUNT(DISTINCT th) FROM sjb"), QString::number(expected.size()));
    }

    void anUndecidedOrImpossibleShortageComposesNothing()
    {
        Workspace ws;
        seedBank(ws);
        BoxAnswerer boxes;
        BlueprintWindow w;
        w.show();
        for (int i = 0; i < w.TableTypes->rowCount(); ++i) {
            if (w.TableTypes->item(i, 0)->text() != "选择题") w.TableTypes->item(i, 0)->setCheckState(Qt::Unchecked);
        }
        setCell(&w, "第一章", "01", "易", "4", "10");  // 3 missing: widening offers only 2
        setCell(&w, "第二章", "01", "易", "2", "30");
        int step = 0;
        boxes.onOtherModal = [&](QWidget* modal) {
            auto* report = qobject_cast<ShortageReport*>(modal);
            if (!report) return false;
            QComboBox* box = report->findChild<QComboBox*>("ComboFix_0");
            // Each click runs here; the boxes it raises are answered meanwhile.
            ++step;
            if (step == 1) {
                report->BtnFixOk->click();  // nothing chosen
            } else if (step == 2) {
                box->setCurrentIndex(2);  // widening cannot supply 3
                report->BtnFixOk->click();
            } else {
                report->BtnFixCancel->click();
            }
            return true;
        };
        QTest::mouseClick(w.BtnCompose, Qt::LeftButton);
        QCOMPARE(boxes.texts,
                 (QStringList{"请为每个题量不足的格子选择处理方式！", "所选的补题来源题目不够，请另选处理方式！"}));
        QCOMPARE(ws.count("sjb"), 0);
        QVERIFY(w.isVisible());
    }

    // A short 较易 cell may widen to the levels on both sides, 易 and 中等, and drawing really
    // takes from both; a neighbouring level whose own cell takes its questions offers none.
    void aShortMiddleLevelWidensToBothNeighbouringLevels()
    {
        Workspace ws;
        seedBank(ws);
        addQuestion(ws, "01", "01", "008", "01", "中等");
        addQuestion(ws, "01", "01", "009", "01", "中等");
        ws.refreshDatasets();
        BoxAnswerer boxes;
        BlueprintWindow w;
        w.show();
        keepTypes(&w, {"选择题"});
        // 第一章 / 选择题·较易 asks 5 and holds 2; 易 holds 1, taken by its own cell; 中等 holds 2.
        setCell(&w, "第一章", "01", "较易", "5", "10");
        setCell(&w, "第一章", "01", "易", "1", "10");
        type(w.EditZf, "60");
        QList<QStringList> shown;
        int step = 0;
        boxes.onOtherModal = [&](QWidget* modal) {
            auto* report = qobject_cast<ShortageReport*>(modal);
            if (!report) return false;
            QComboBox* box = report->findChild<QComboBox*>("ComboFix_0");
            if (!box || step == 2) return false;  // a report left open after the second is a fault
            shown << offers(box);
            box->setCurrentIndex(2);  // widening; the first time it cannot supply 3 while 易 is taken
            report->BtnFixOk->click();
            if (++step == 1) report->BtnFixCancel->click();
            return true;
        };
        QTest::mouseClick(w.BtnCompose, Qt::LeftButton);
        QCOMPARE(boxes.texts, QStringList{"所选的补题来源题目不够，请另选处理方式！"});
        QCOMPARE(ws.count("sjb"), 0);
        // Without the 易 cell the widening supplies exactly what is missing.
        setCell(&w, "第一章", "01", "易", "", "");
        type(w.EditZf, "50");
        boxes.clear();
        QTest::mouseClick(w.BtnCompose, Qt::LeftButton);
        QCOMPARE(boxes.texts.join('|'), QString());
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown.at(0),
                 (QStringList{"（请选择处理方式）", "少出题：只出2道", "放宽难度到易、中等：补3道（可用2道）（不可选）",
                              "从“第二章”补3道（可用0道）（不可选）"}));
        QCOMPARE(shown.at(1),
                 (QStringList{"（请选择处理方式）", "少出题：只出2道", "放宽难度到易、中等：补3道（可用3道）",
                              "从“第二章”补3道（可用0道）（不可选）"}));
        QCOMPARE(paperLevels(), (QStringList{"中等", "中等", "易", "较易", "较易"}));
        QCOMPARE(ws.scalar("SELECT COUNT(DISTINCT th) FROM sjb WHERE zjh='01' AND fs='10'"), QString("5"));
    }

    // 100 points per question is the most a cell takes: accepted and written; 100.5 and 100.01
    // are refused with the limit named, in the status line and when composing.
    void aHundredPointsPerQuestionIsTheLargestAccepted()
    {
        Workspace ws;
        seedBank(ws);
        BoxAnswerer boxes;
        BlueprintWindow w;
        w.show();
        keepTypes(&w, {"选择题"});
        for (const QString& points : {QStringLiteral("100.5"), QStringLiteral("100.01")}) {
            setCell(&w, "第二章", "01", "易", "1", points);
            const QString expected = "第二章 / 选择题·易：每题分数不能超过100分。";
            QCOMPARE(w.LabelStatus->text(), expected);
            boxes.clear();
            QTest::mouseClick(w.BtnCompose, Qt::LeftButton);
            QCOMPARE(boxes.texts, QStringList{expected});
        }
        QCOMPARE(ws.count("sjb"), 0);
        setCell(&w, "第二章", "01", "易", "1", "100");
        QCOMPARE(w.LabelStatus->text(), QString());
        QCOMPARE(w.LabelTotal->text(), QString("合计：1道题，100分，与试卷总分100分一致"));
        boxes.clear();
        QTest::mouseClick(w.BtnCompose, Qt::LeftButton);
        QCOMPARE(boxes.texts.join('|'), QString());
        QCOMPARE(paperCells(ws).size(), 1);
        QCOMPARE(paperCells(ws).first(), QString("01 02 易 100"));
    }

    // A merged 全部 column takes from every difficulty of its chapter: what another chapter's
    // merged cell takes is not offered to a short cell, and what is offered really composes.
    void aMergedColumnOffersOnlyWhatItsOwnCellsLeave()
    {
        Workspace ws;
        seedBank(ws);
        addQuestion(ws, "01", "03", "003", "02", "易");
        addQuestion(ws, "01", "03", "004", "02", "中等");
        addQuestion(ws, "01", "03", "005", "02", "难");
        ws.refreshDatasets();
        BoxAnswerer boxes;
        BlueprintWindow w;
        w.show();
        keepTypes(&w, {"解答题"});
        mergeType(&w, "解答题");
        // 第一章 holds 2 解答题 and asks 4; 第二章 holds 3 and its own cell takes 2.
        setCell(&w, "第一章", "03", "", "4", "10");
        setCell(&w, "第二章", "03", "", "2", "10");
        type(w.EditZf, "60");
        QList<QStringList> shown;
        int step = 0;
        boxes.onOtherModal = [&](QWidget* modal) {
            auto* report = qobject_cast<ShortageReport*>(modal);
            QComboBox* box = report ? report->findChild<QComboBox*>("ComboFix_0") : nullptr;
            if (!box || step == 2) return false;  // a report left open after the second is a fault
            shown << offers(box);
            box->setCurrentIndex(box->count() - 1);  // from 第二章
            report->BtnFixOk->click();
            if (++step == 1) report->BtnFixCancel->click();
            return true;
        };
        QTest::mouseClick(w.BtnCompose, Qt::LeftButton);
        QCOMPARE(boxes.texts, QStringList{"所选的补题来源题目不够，请另选处理方式！"});
        QCOMPARE(ws.count("sjb"), 0);
        setCell(&w, "第一章", "03", "", "3", "10");
        type(w.EditZf, "50");
        boxes.clear();
        QTest::mouseClick(w.BtnCompose, Qt::LeftButton);
        QCOMPARE(boxes.texts.join('|'), QString());
        QCOMPARE(shown,
                 (QList<QStringList>{{"（请选择处理方式）", "少出题：只出2道", "从“第二章”补2道（可用1道）（不可选）"},
                                     {"（请选择处理方式）", "少出题：只出2道", "从“第二章”补1道（可用1道）"}}));
        QCOMPARE(testing::joined("SELECT zjh FROM sjb ORDER BY zjh"), QString("01,01,02,02,02"));
        QCOMPARE(ws.scalar("SELECT COUNT(DISTINCT th) FROM sjb WHERE txh='03'"), QString("5"));
    }

    // Every offer of the shortage report is enabled exactly when drawing with it fills the cell:
    // widening at either end of the levels and in the middle, other chapters whose own cells take
    // some of their questions, and merged columns, beside each other in one plan.
    void everyOfferIsEnabledExactlyWhenComposingWithItSucceeds()
    {
        Workspace ws;
        seedSubjects(ws);
        // 选择题 by difficulty: 第一章 易1 较易2 中等2 较难1, 第二章 易4 较易1 难1; 解答题 (merged):
        // 第一章 2, 第二章 3.
        const QList<QStringList> questions = {{"01", "01", "易"},   {"01", "01", "较易"}, {"01", "01", "较易"},
                                              {"01", "01", "中等"}, {"01", "01", "中等"}, {"01", "01", "较难"},
                                              {"01", "02", "易"},   {"01", "02", "易"},   {"01", "02", "易"},
                                              {"01", "02", "易"},   {"01", "02", "较易"}, {"01", "02", "难"},
                                              {"03", "01", "难"},   {"03", "01", "易"},   {"03", "02", "易"},
                                              {"03", "02", "中等"}, {"03", "02", "难"}};
        int n = 0;
        for (const QStringList& q : questions)
            addQuestion(ws, "01", q.at(0), QStringLiteral("%1").arg(++n, 3, 10, QLatin1Char('0')), q.at(1), q.at(2));
        ws.refreshDatasets();
        blueprint::BankCounts counts;
        counts.load(DM->db(), "01");
        struct Scenario {
            const char* name;
            QVector<blueprint::Cell> cells;
        };
        const Scenario scenarios[] = {
            {"middle level, its neighbour taken", {{"01", "01", "较易", 5, 1}, {"01", "01", "易", 1, 1}}},
            {"middle level", {{"01", "01", "较易", 4, 1}, {"02", "01", "较易", 1, 1}}},
            {"lowest level, other chapter partly taken", {{"01", "01", "易", 3, 1}, {"02", "01", "易", 2, 1}}},
            {"lowest level, other chapter all but one taken", {{"01", "01", "易", 4, 1}, {"02", "01", "易", 3, 1}}},
            {"highest level", {{"01", "01", "难", 1, 1}, {"02", "01", "难", 1, 1}}},
            {"highest level, empty neighbour", {{"02", "01", "难", 2, 1}}},
            {"merged, other chapter partly taken", {{"01", "03", "", 4, 1}, {"02", "03", "", 2, 1}}},
            {"merged, just enough", {{"01", "03", "", 3, 1}, {"02", "03", "", 2, 1}}},
            {"merged beside levels",
             {{"01", "03", "", 3, 1}, {"02", "03", "", 1, 1}, {"01", "01", "较难", 2, 1}, {"02", "01", "较易", 2, 1}}},
        };
        int enabledSeen = 0;
        int disabledSeen = 0;
        QStringList shownOffers;
        for (const Scenario& scenario : scenarios) {
            blueprint::Plan plan;
            plan.kmh = "01";
            plan.chapters = {{"01", "第一章"}, {"02", "第二章"}};
            bool merged = false;
            for (const blueprint::Cell& c : scenario.cells) merged = merged || c.nd.isEmpty();
            plan.types = {{"01", "选择题", false}};
            if (merged) plan.types.append({"03", "解答题", true});
            plan.cells = scenario.cells;
            const QVector<blueprint::Shortage> shortList = blueprint::shortages(plan, counts);
            QVERIFY2(!shortList.isEmpty(), scenario.name);
            ShortageReport report(plan, counts, shortList);
            for (int i = 0; i < shortList.size(); ++i) {
                QComboBox* box = report.findChild<QComboBox*>(QStringLiteral("ComboFix_%1").arg(i));
                QVERIFY(box);
                shownOffers << offers(box).join(QStringLiteral(" | "));
                auto* model = qobject_cast<QStandardItemModel*>(box->model());
                for (int item = 2; item < box->count(); ++item) {
                    // This cell takes the offer, every other short cell takes fewer.
                    for (QComboBox* other : report.choices) other->setCurrentIndex(1);
                    box->setCurrentIndex(item);
                    const QHash<QString, blueprint::Fix> fixes = report.fixes();
                    const bool enabled = model->item(item)->isEnabled();
                    (enabled ? enabledSeen : disabledSeen) += 1;
                    for (quint32 seed : {1u, 2u, 3u}) {
                        randomdraw::setState(seed);
                        const blueprint::Draw d = blueprint::draw(DM->db(), plan, fixes);
                        const QString cell = blueprint::cellName(plan, shortList.at(i).cell);
                        bool filled = true;
                        for (const QString& line : d.unmet) filled = filled && !line.startsWith(cell + "：");
                        QVERIFY2(filled == enabled,
                                 qPrintable(QStringLiteral("%1: %2 %3 but drawing %4")
                                                .arg(scenario.name, box->itemText(item),
                                                     enabled ? "enabled" : "disabled", d.unmet.join(';'))));
                    }
                }
            }
        }
        // What the report offers: widening one level either side (one at either end), with the
        // questions left once the plan's own cells have taken theirs.
        const QString choose = QStringLiteral("（请选择处理方式）");
        QCOMPARE(
            shownOffers,
            (QStringList{
                choose + " | 少出题：只出2道 | 放宽难度到易、中等：补3道（可用2道）（不可选） | "
                         "从“第二章”补3道（可用1道）（不可选）",
                choose +
                    " | 少出题：只出2道 | 放宽难度到易、中等：补2道（可用3道） | 从“第二章”补2道（可用0道）（不可选）",
                choose + " | 少出题：只出1道 | 放宽难度到较易：补2道（可用2道） | 从“第二章”补2道（可用2道）",
                choose + " | 少出题：只出1道 | 放宽难度到较易：补3道（可用2道）（不可选） | "
                         "从“第二章”补3道（可用1道）（不可选）",
                choose + " | 少出题：只出0道 | 放宽难度到较难：补1道（可用1道） | 从“第二章”补1道（可用0道）（不可选）",
                choose + " | 少出题：只出1道 | 放宽难度到较难：补1道（可用0道）（不可选） | "
                         "从“第一章”补1道（可用0道）（不可选）",
                choose + " | 少出题：只出2道 | 从“第二章”补2道（可用1道）（不可选）",
                choose + " | 少出题：只出2道 | 从“第二章”补1道（可用1道）",
                choose +
                    " | 少出题：只出1道 | 放宽难度到中等、难：补1道（可用2道） | 从“第二章”补1道（可用0道）（不可选）",
                choose + " | 少出题：只出1道 | 放宽难度到易、中等：补1道（可用4道） | 从“第一章”补1道（可用2道）",
                choose + " | 少出题：只出2道 | 从“第二章”补1道（可用2道）"}));
        QVERIFY(enabledSeen >= 5);
        QVERIFY(disabledSeen >= 5);
    }

    void templatesSurviveARestartAndCanBeCopiedAndDeleted()
    {
        Workspace ws;
        seedBank(ws);
        BoxAnswerer boxes;
        {
            BlueprintWindow w;
            fillMeetablePlan(&w);
            w.EditSjbt->setText("七年级数学期中考试");
            w.EditSj->setText("120");
            QTest::mouseClick(w.BtnSave, Qt::LeftButton);
            QCOMPARE(boxes.last(), QString("请输入模板名称！"));
            w.EditTemplateName->setText("期中考试");
            QTest::mouseClick(w.BtnSave, Qt::LeftButton);
            QCOMPARE(boxes.last(), QString("模板“期中考试”已保存。"));
            // Saving again under the same name asks first; Cancel keeps the stored one.
            setCell(&w, "第一章", "01", "易", "0", "10");
            boxes.queue(QMessageBox::Cancel);
            QTest::mouseClick(w.BtnSave, Qt::LeftButton);
            QCOMPARE(boxes.texts.at(boxes.texts.size() - 1), QString("模板“期中考试”已存在，是否覆盖？"));
        }
        const QString path = ws.databasePath();
        DM->disconnectFromBank();
        DM->connectTo(path);
        boxes.clear();
        BlueprintWindow w;
        QCOMPARE(w.ComboBoxTemplate->currentText(), QString("期中考试"));
        w.EditSjbt->setText("别的标题");
        w.EditSj->setText("45");
        QTest::mouseClick(w.BtnOpen, Qt::LeftButton);
        // The title and 考试时间 come back with the grid.
        QCOMPARE(w.EditSjbt->text(), QString("七年级数学期中考试"));
        QCOMPARE(w.EditSj->text(), QString("120"));
        const int r = w.rowOf("第一章");
        QCOMPARE(w.countEdit(r, w.columnOf("01", "易"))->text(), QString("1"));
        QCOMPARE(w.pointsEdit(r, w.columnOf("03", ""))->text(), QString("30"));
        QCOMPARE(w.countEdit(w.rowOf("第二章"), w.columnOf("01", "易"))->text(), QString("3"));
        QCOMPARE(w.columnOf("03", "难"), -1);  // 解答题 stays merged
        QCOMPARE(w.LabelTotal->text(), QString("合计：9道题，100分，与试卷总分100分一致"));
        // Changed and saved over, copied, deleted.
        setCell(&w, "第一章", "02", "中等", "3", "5");
        setCell(&w, "第一章", "03", "", "1", "15");
        boxes.queue(QMessageBox::Ok);
        QTest::mouseClick(w.BtnSave, Qt::LeftButton);
        QCOMPARE(ws.scalar("SELECT ts FROM blueprint_cells WHERE txh='02'"), QString("3"));
        QTest::mouseClick(w.BtnCopy, Qt::LeftButton);
        QCOMPARE(boxes.last(), QString("已复制为模板“期中考试（副本）”。"));
        QCOMPARE(blueprint::store::names(DM->db(), "01"), (QStringList{"期中考试", "期中考试（副本）"}));
        QCOMPARE(ws.count("blueprint_cells"), 10);
        QCOMPARE(ws.scalar("SELECT title || '|' || duration FROM blueprints WHERE name='期中考试（副本）'"),
                 QString("七年级数学期中考试|120"));
        boxes.queue(QMessageBox::Ok);
        QTest::mouseClick(w.BtnDelete, Qt::LeftButton);
        QCOMPARE(boxes.last(), QString("确实要删除模板“期中考试（副本）”吗？"));
        QCOMPARE(blueprint::store::names(DM->db(), "01"), QStringList{"期中考试"});
        QCOMPARE(ws.count("blueprint_cells"), 5);
    }

    void anOlderBankGainsTheTemplateTablesWhenOpened()
    {
        Workspace ws;
        ws.exec("DROP TABLE blueprint_cells");
        ws.exec("DROP TABLE blueprints");
        const QString path = ws.databasePath();
        DM->disconnectFromBank();
        DM->connectTo(path);
        QCOMPARE(ws.count("blueprints"), 0);
        QCOMPARE(ws.count("blueprint_cells"), 0);
        QCOMPARE(ws.scalar("SELECT COUNT(*) FROM sqlite_master WHERE name='blueprint_cells_owner'"), QString("1"));
    }

    void aVersionThreeBankGainsTemplateTitlesAndStaysTheProgramsOwn()
    {
        if (testing::onServer()) QSKIP("a bank file of version 3 (the server's upgrade: data/test_server)");
        Workspace ws;
        seedBank(ws);
        BoxAnswerer boxes;
        // The templates table of a version 3 file, with one template saved then.
        ws.exec("DROP TABLE blueprints");
        ws.exec(schema::earlierTableStatements().at(1));
        ws.exec("CREATE INDEX blueprints_kmh ON blueprints (kmh, name)");
        ws.exec("INSERT INTO blueprints (kmh, name, zf) VALUES ('01', '旧模板', '100')");
        ws.exec("PRAGMA user_version = 3");
        const QString path = ws.databasePath();
        DM->disconnectFromBank();
        DM->connectTo(path);
        QCOMPARE(ws.scalar("PRAGMA user_version").toInt(), schema::kVersion);
        QCOMPARE(bank_file::foreignObjects(DM->db()), QStringList());
        QCOMPARE(ws.scalar("SELECT sql FROM sqlite_master WHERE name='blueprints'"),
                 schema::createStatement("blueprints"));
        // The old template opens and leaves the title and 考试时间 as typed.
        BlueprintWindow w;
        w.EditSjbt->setText("单元测验");
        w.EditSj->setText("90");
        w.ComboBoxTemplate->setCurrentText("旧模板");
        QTest::mouseClick(w.BtnOpen, Qt::LeftButton);
        QCOMPARE(w.EditSjbt->text(), QString("单元测验"));
        QCOMPARE(w.EditSj->text(), QString("90"));
        QCOMPARE(w.EditZf->text(), QString("100"));
    }

    void stepOneOpensTheBlueprintWithItsSettingsAndGoesOnToStepTwo()
    {
        Workspace ws;
        seedBank(ws);
        BoxAnswerer boxes;
        auto* step1 = new TZtszF(nullptr);
        ZtszF = step1;
        step1->show();
        step1->SBtnQbyrClick();
        step1->SpeedButton6Click();  // nothing selected: order stays
        step1->ListBoxSj->setCurrentRow(0);
        step1->SpeedButton6Click();  // 填空题 first, then 选择题, 解答题
        step1->EditSjbt->setText("单元测验");
        step1->EditZf->setText("20");
        QStringList headers;
        QString title;
        QStringList stepTwoTypes;
        boxes.onOtherModal = [&](QWidget* modal) {
            if (auto* w = qobject_cast<BlueprintWindow*>(modal)) {
                if (w->property("filled").toBool()) {
                    w->reject();
                    return true;
                }
                w->setProperty("filled", true);
                title = w->EditSjbt->text();
                for (int c = 0; c < w->TableBlueprint->columnCount(); ++c) {
                    headers << w->TableBlueprint->horizontalHeaderItem(c)->text().section('\n', 0, 0);
                }
                w->TableTypes->item(2, 0)->setCheckState(Qt::Unchecked);  // no 解答题
                setCell(w, "第一章", "02", "中等", "1", "10");
                setCell(w, "第二章", "01", "易", "2", "5");
                w->BtnCompose->click();
                return true;
            }
            if (auto* step2 = qobject_cast<TXxszF*>(modal)) {
                stepTwoTypes = lines(step2->ListBoxTx);
                step2->Button3->click();
                return true;
            }
            return false;
        };
        QTest::mouseClick(step1->BtnXmb, Qt::LeftButton);
        QCOMPARE(boxes.texts.join('|'), QString());
        QCOMPARE(title, QString("单元测验"));
        QCOMPARE(headers.mid(0, 5), QStringList(5, "填空题"));
        QCOMPARE(headers.mid(5, 5), QStringList(5, "选择题"));
        QCOMPARE(stepTwoTypes, (QStringList{"填空题", "选择题"}));
        QCOMPARE(paperCells(ws), (QStringList{"02 01 中等 10", "01 02 易 5", "01 02 易 5"}));
    }

    void oneTemplateTwoSeedsGiveTwoPapersOfTheSameStructure()
    {
        Workspace ws;
        seedSubjects(ws);
        addQuestions(ws, "01", "01", "01", 1, 40);  // 40 易 选择题 in 第一章
        ws.exec("UPDATE stb SET nd='中等' WHERE CAST(th AS INTEGER) > 20");
        blueprint::Plan plan;
        plan.kmh = "01";
        plan.chapters = {{"01", "第一章"}, {"02", "第二章"}};
        plan.types = {{"01", "选择题", false}};
        plan.cells = {{"01", "01", "易", 5, 4}, {"01", "01", "中等", 5, 16}};
        blueprint::store::save(DM->db(), plan, "单元测验");
        QStringList papers, structures;
        for (quint32 seed : {1u, 2u}) {
            blueprint::Plan loaded;
            loaded.kmh = "01";
            loaded.chapters = plan.chapters;
            QVERIFY(blueprint::store::load(DM->db(), "01", "单元测验", &loaded));
            randomdraw::setState(seed);
            const blueprint::Draw d = blueprint::draw(DM->db(), loaded, {});
            QVERIFY(d.unmet.isEmpty());
            blueprint::writePaper(DM->db(), loaded, d);
            papers << ws.scalar("SELECT group_concat(th) FROM (SELECT th FROM sjb ORDER BY id)");
            structures << ws.scalar("SELECT group_concat(nd || fs) FROM (SELECT nd, fs FROM sjb ORDER BY id)");
        }
        QVERIFY(papers.at(0) != papers.at(1));
        QCOMPARE(structures.at(0), structures.at(1));
        QCOMPARE(structures.at(0).count("易4"), 5);
        QCOMPARE(structures.at(0).count("中等16"), 5);
    }
};

QTEST_MAIN(BlueprintTest)
#include "test_blueprint.moc"
