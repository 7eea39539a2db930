// Picking questions by hand in wizard step 2: the search over the candidates, picking from what
// it found, the current candidate rendered below the list, the keys, and the splitter kept.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSplitter>
#include <QStandardPaths>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QToolButton>

#include "app/application.h"
#include "content/content.h"
#include "data/data_module.h"
#include "data/sql.h"
#include "ui/db_grid.h"
#include "ui/window_state.h"
#include "windows/content/content_preview.h"
#include "windows/wizard/wizard_fixture.h"

using namespace wizardtest;
using testing::BoxAnswerer;
using testing::Workspace;

namespace {

const QString kFormula = QStringLiteral("化简\\(\\frac{a}{b}+\\frac{c}{d}\\)的结果\n第二行说明");

// 数学 选择题: three of 第一章 and one of 第二章 (not ticked) speak of triangles, one of 第一章 holds a
// formula; 填空题 and 语文 have a triangle each as well.
void seed(Workspace& ws)
{
    seedSubjects(ws);
    addQuestion(ws, "01", "01", "001", "01", "易", QStringLiteral("计算圆的面积"));
    addQuestion(ws, "01", "01", "002", "01", "易", QStringLiteral("求等腰三角形的底角大小"));
    addQuestion(ws, "01", "01", "003", "01", "较易", QStringLiteral("一个三角形的周长是多少"));
    addQuestion(ws, "01", "01", "004", "02", "易", QStringLiteral("两个三角形全等的判定"));
    addQuestion(ws, "01", "01", "005", "01", "难", kFormula);
    addQuestion(ws, "01", "01", "006", "01", "易", QStringLiteral("直角三角形斜边上的中线"));
    addQuestion(ws, "01", "02", "001", "01", "易", QStringLiteral("三角形内角和是____度"));
    addQuestion(ws, "02", "01", "001", "01", "易", QStringLiteral("三角形的诗"));
    ws.refreshDatasets();
}

// The numbers the candidate grid lists, top to bottom.
QStringList listed(TXxszF* dlg)
{
    QStringList out;
    const QAbstractItemModel* model = dlg->DBGridTm->model();
    for (int row = 0; row < model->rowCount(); ++row) out << model->index(row, 0).data().toString();
    return out;
}

int rowOf(TXxszF* dlg, const QString& th)
{
    return int(listed(dlg).indexOf(th));
}

void clickRow(TXxszF* dlg, int row)
{
    const QRect cell = dlg->DBGridTm->visualRect(dlg->DBGridTm->model()->index(row, 0));
    QTest::mouseClick(dlg->DBGridTm->viewport(), Qt::LeftButton, {}, cell.center());
}

// Types text into a box one character at a time, as key presses carrying the character (QTest
// has no key for a Chinese character).
void type(QWidget* box, const QString& text)
{
    for (const QChar ch : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(box, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(box, &release);
    }
}

// Types a phrase into the search box and presses Enter.
void search(TXxszF* dlg, const QString& phrase)
{
    dlg->EditSsHx->clear();
    dlg->EditSsHx->setFocus();
    type(dlg->EditSsHx, phrase);
    QTest::keyClick(dlg->EditSsHx, Qt::Key_Return);
}

// Step 2 on 数学 with 第一章 ticked, picking by hand two questions worth 10 in all.
TXxszF* openByHand()
{
    TXxszF* dlg = openStepTwo();
    tick(dlg, "第一章");
    QTest::mouseClick(dlg->RadioGroup1Manual, Qt::LeftButton);
    dlg->EditTs->setText("2");
    dlg->EditZf->setText("10");
    return dlg;
}

QStringList paperRows(Workspace& ws)
{
    return sql::column(DM->db(), QStringLiteral("SELECT txh || '/' || th || '/' || fs FROM sjb ORDER BY id"));
}

// How many pictures (typeset formulas among them) the preview placed.
int placedPictures(content::ContentPreview* preview)
{
    int placed = 0;
    for (QTextBlock block = preview->document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) placed += it.fragment().charFormat().isImageFormat();
    }
    return placed;
}

void forgetKeptSizes()
{
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Exavoro"),
                       QStringLiteral("windows"));
    settings.clear();
}

}  // namespace

class CandidateSearchTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // The kept splitter sizes go to a settings file of the tests' own.
        QStandardPaths::setTestModeEnabled(true);
        app::setup(*qApp);
    }
    void init() { forgetKeptSizes(); }
    void cleanup() { testing::closeAllWindows(); }
    void searchNarrowsAndPickingFromItKeepsCountsAndScores();
    void clearingOrLeavingTheSearchGivesEveryCandidateBack();
    void aPauseInTypingSearchesAndANoHitIsSaid();
    void theSearchKeepsToTheTypeChaptersAndDifficulty();
    void aSearchFindingMoreThanItListsSaysSo();
    void theCurrentCandidateIsShownRenderedAndFollowsTheKeys();
    void theSplitterIsKeptAndALargerWindowGivesTheListsTheRoom();
};

void CandidateSearchTest::searchNarrowsAndPickingFromItKeepsCountsAndScores()
{
    Workspace ws;
    seed(ws);
    BoxAnswerer boxes;
    TXxszF* dlg = openByHand();
    QVERIFY(dlg->EditSsHx->isVisible());
    QCOMPARE(dlg->EditSsHx->placeholderText(), QStringLiteral("搜索候选题…"));
    QCOMPARE(listed(dlg), (QStringList{"001", "002", "003", "005", "006"}));
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("5"));

    // A phrase from the middle of one question.
    search(dlg, QStringLiteral("腰三角形的底"));
    QCOMPARE(listed(dlg), QStringList{"002"});
    QCOMPARE(dlg->LabelSsHx->text(), QStringLiteral("找到 1 道"));
    QCOMPARE(dlg->LabelTH->text(), QStringLiteral("002"));

    search(dlg, QStringLiteral("三角形"));
    QCOMPARE(listed(dlg), (QStringList{"002", "003", "006"}));
    QCOMPARE(dlg->LabelSsHx->text(), QStringLiteral("找到 3 道"));
    // The candidates as a type counts them stay all five.
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("5"));
    QCOMPARE(dlg->candidateCount(), 5);

    // Enter on a found candidate puts that question on the paper with its share of the score.
    clickRow(dlg, rowOf(dlg, "006"));
    QCOMPARE(dlg->LabelTH->text(), QStringLiteral("006"));
    dlg->DBGridTm->setFocus();
    QTest::keyClick(dlg->DBGridTm, Qt::Key_Return);
    QCOMPARE(paperRows(ws), QStringList{"01/006/5"});
    QCOMPARE(lines(dlg->ListBoxSj), QStringList{" 1) 006----5.0分"});
    QCOMPARE(dlg->EditTs->text(), QStringLiteral("2"));
    QVERIFY(boxes.texts.isEmpty());
    // Chosen, it stands out in the list; the others do not.
    const QAbstractItemModel* model = dlg->DBGridTm->model();
    QVERIFY(model->index(rowOf(dlg, "006"), 0).data(Qt::BackgroundRole).isValid());
    QVERIFY(!model->index(rowOf(dlg, "003"), 0).data(Qt::BackgroundRole).isValid());
    // Picking it again is refused as from the full list.
    QTest::keyClick(dlg->DBGridTm, Qt::Key_Return);
    QCOMPARE(boxes.last(), QStringLiteral("该题已选入，请选择其它题目！"));
    QCOMPARE(paperRows(ws), QStringList{"01/006/5"});

    // The button picks as well and completes the type.
    clickRow(dlg, rowOf(dlg, "002"));
    QTest::mouseClick(dlg->SBtnYr, Qt::LeftButton);
    QCOMPARE(paperRows(ws), (QStringList{"01/006/5", "01/002/5"}));
    QCOMPARE(dlg->LabelZt->text(), QStringLiteral("小题已设置完毕！"));
    QCOMPARE(typeFlag(ws, "01", "01"), QStringLiteral("1"));
    QCOMPARE(boxes.texts.size(), 1);
    // Taken off the paper, its mark goes.
    dlg->ListBoxSj->setCurrentRow(0);
    QTest::mouseClick(dlg->SBtnYc, Qt::LeftButton);
    QCOMPARE(paperRows(ws), QStringList{"01/002/5"});
    QVERIFY(!model->index(rowOf(dlg, "006"), 0).data(Qt::BackgroundRole).isValid());
    QVERIFY(model->index(rowOf(dlg, "002"), 0).data(Qt::BackgroundRole).isValid());
    QVERIFY(dlg->isOnPaper("01", "002") && !dlg->isOnPaper("01", "006"));
}

void CandidateSearchTest::clearingOrLeavingTheSearchGivesEveryCandidateBack()
{
    Workspace ws;
    seed(ws);
    BoxAnswerer boxes;
    TXxszF* dlg = openByHand();
    search(dlg, QStringLiteral("三角形"));
    QCOMPARE(listed(dlg).size(), 3);
    // Emptying the box lists every candidate at once, without waiting.
    dlg->EditSsHx->selectAll();
    QTest::keyClick(dlg->EditSsHx, Qt::Key_Backspace);
    QCOMPARE(listed(dlg), (QStringList{"001", "002", "003", "005", "006"}));
    QCOMPARE(dlg->LabelSsHx->text(), QString());
    QCOMPARE(dlg->candidateSearch(), QString());

    // Choosing automatically ends the search: the box and its result go, every candidate is back.
    search(dlg, QStringLiteral("周长"));
    QCOMPARE(listed(dlg), QStringList{"003"});
    QTest::mouseClick(dlg->RadioGroup1Auto, Qt::LeftButton);
    QVERIFY(dlg->EditSsHx->isHidden());
    QVERIFY(dlg->LabelSsHx->isHidden());
    QCOMPARE(dlg->EditSsHx->text(), QString());
    QCOMPARE(listed(dlg).size(), 5);

    // The automatic draw started from the total field (Enter) while a search narrows the list
    // draws from every candidate, not only from those found.
    QTest::mouseClick(dlg->RadioGroup1Manual, Qt::LeftButton);
    search(dlg, QStringLiteral("周长"));
    QCOMPARE(listed(dlg), QStringList{"003"});
    dlg->EditTs->setText("4");
    dlg->EditZf->setFocus();
    QTest::keyClick(dlg->EditZf, Qt::Key_Return);
    QCOMPARE(ws.count("sjb"), 4);
    QVERIFY(boxes.texts.isEmpty());
    QCOMPARE(dlg->EditSsHx->text(), QString());
    QCOMPARE(listed(dlg).size(), 5);

    // Opening the step again lists every candidate.
    testing::closeAllWindows();
    dlg = openByHand();
    QCOMPARE(dlg->EditSsHx->text(), QString());
    QCOMPARE(listed(dlg).size(), 5);
}

void CandidateSearchTest::aPauseInTypingSearchesAndANoHitIsSaid()
{
    Workspace ws;
    seed(ws);
    BoxAnswerer boxes;
    TXxszF* dlg = openByHand();
    dlg->EditSsHx->setFocus();
    type(dlg->EditSsHx, QStringLiteral("圆的面"));
    // Nothing happens while typing goes on …
    QCOMPARE(listed(dlg).size(), 5);
    // … and the search runs after a pause.
    QTRY_COMPARE_WITH_TIMEOUT(listed(dlg), QStringList{"001"}, 3000);
    QCOMPARE(dlg->LabelSsHx->text(), QStringLiteral("找到 1 道"));

    // A phrase nothing holds: the list is empty, the label says so, the preview shows nothing.
    search(dlg, QStringLiteral("平行四边形"));
    QCOMPARE(listed(dlg), QStringList());
    QCOMPARE(dlg->LabelSsHx->text(), QStringLiteral("没有找到含“平行四边形”的候选题"));
    QCOMPARE(dlg->LabelTH->text(), QString());
    QCOMPARE(dlg->PreviewTm->contentText(), QString());
    // Picking with nothing listed adds nothing and says nothing.
    QTest::mouseClick(dlg->SBtnYr, Qt::LeftButton);
    QCOMPARE(ws.count("sjb"), 0);
    QVERIFY(boxes.texts.isEmpty());
    // Short phrases (read rather than looked up) narrow the same way.
    search(dlg, QStringLiteral("斜"));
    QCOMPARE(listed(dlg), QStringList{"006"});
}

void CandidateSearchTest::theSearchKeepsToTheTypeChaptersAndDifficulty()
{
    Workspace ws;
    seed(ws);
    BoxAnswerer boxes;
    TXxszF* dlg = openByHand();
    search(dlg, QStringLiteral("三角形"));
    QCOMPARE(listed(dlg), (QStringList{"002", "003", "006"}));
    // Another type: the same phrase among its candidates.
    selectType(dlg, 1);
    QCOMPARE(listed(dlg), QStringList{"001"});
    QCOMPARE(dlg->DBGridTm->model()->index(0, 4).data().toString(), QStringLiteral("三角形内角和是____度"));
    QCOMPARE(dlg->LabelSsHx->text(), QStringLiteral("找到 1 道"));
    selectType(dlg, 0);
    QCOMPARE(listed(dlg), (QStringList{"002", "003", "006"}));
    // A chapter ticked by the automatic choice widens it; the difficulty narrows it.
    QTest::mouseClick(dlg->RadioGroup1Auto, Qt::LeftButton);
    tick(dlg, "第二章");
    dlg->ComboBoxNd->setCurrentText(QStringLiteral("易"));
    QTest::mouseClick(dlg->RadioGroup1Manual, Qt::LeftButton);
    search(dlg, QStringLiteral("三角形"));
    QCOMPARE(listed(dlg), (QStringList{"002", "004", "006"}));
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("4"));
    QVERIFY(boxes.texts.isEmpty());
}

void CandidateSearchTest::aSearchFindingMoreThanItListsSaysSo()
{
    Workspace ws;
    seed(ws);
    // 1,200 more of 第一章, every one about a triangle.
    addQuestions(ws, "01", "01", "01", 100, 1200);
    ws.exec("UPDATE stb SET tm = '等边三角形' || tm WHERE tm LIKE '题%'");
    ws.refreshDatasets();
    BoxAnswerer boxes;
    TXxszF* dlg = openByHand();
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("1205"));
    // Looked up through the index: the first thousand are listed, and the label says there are more.
    search(dlg, QStringLiteral("等边三角形"));
    QCOMPARE(listed(dlg).size(), TXxszF::kSearchLimit);
    QCOMPARE(dlg->LabelSsHx->text(), QStringLiteral("找到 1000 道以上"));
    QCOMPARE(listed(dlg).first(), QStringLiteral("100"));
    // A phrase that fewer hold (110 … 119, 1100 … 1199) is counted exactly.
    search(dlg, QStringLiteral("等边三角形题11"));
    QCOMPARE(dlg->LabelSsHx->text(), QStringLiteral("找到 110 道"));
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("1205"));
    // The thousand are the type's own: 填空题's one triangle is found behind 选择题's 1,200.
    selectType(dlg, 1);
    search(dlg, QStringLiteral("三角形"));
    QCOMPARE(listed(dlg), QStringList{"001"});
    QCOMPARE(dlg->LabelSsHx->text(), QStringLiteral("找到 1 道"));
    QVERIFY(boxes.texts.isEmpty());
}

void CandidateSearchTest::theCurrentCandidateIsShownRenderedAndFollowsTheKeys()
{
    Workspace ws;
    seed(ws);
    BoxAnswerer boxes;
    TXxszF* dlg = openByHand();
    // The list's lines show each question's first line as text.
    const int formulaRow = rowOf(dlg, "005");
    QCOMPARE(dlg->DBGridTm->model()->headerData(4, Qt::Horizontal).toString(), QStringLiteral("题目"));
    QCOMPARE(dlg->DBGridTm->model()->index(formulaRow, 4).data().toString(), content::firstLine(kFormula));
    QCOMPARE(dlg->DBGridTm->model()->index(rowOf(dlg, "002"), 4).data().toString(),
             QStringLiteral("求等腰三角形的底角大小"));

    // Found by a phrase of its formula's source; Down from the box goes to it and shows it.
    search(dlg, QStringLiteral("frac{a}"));
    QCOMPARE(listed(dlg), QStringList{"005"});
    QTest::keyClick(dlg->EditSsHx, Qt::Key_Down);
    QVERIFY(dlg->DBGridTm->hasFocus());
    QCOMPARE(dlg->LabelTH->text(), QStringLiteral("005"));
    QCOMPARE(dlg->PreviewTm->contentText(), kFormula);
    // The formula is typeset into a picture, not shown as its source.
    QTRY_COMPARE_WITH_TIMEOUT(placedPictures(dlg->PreviewTm), 1, 10000);
    QVERIFY(!dlg->PreviewTm->toPlainText().contains(QStringLiteral("frac")));
    QVERIFY(dlg->PreviewTm->toPlainText().startsWith(QStringLiteral("化简")));
    QVERIFY(dlg->PreviewTm->toPlainText().contains(QStringLiteral("第二行说明")));

    // Up and Down move through the list and the preview follows.
    dlg->clearCandidateSearch();
    clickRow(dlg, 0);
    QCOMPARE(dlg->LabelTH->text(), QStringLiteral("001"));
    QTest::keyClick(dlg->DBGridTm, Qt::Key_Down);
    QCOMPARE(dlg->LabelTH->text(), QStringLiteral("002"));
    QCOMPARE(dlg->PreviewTm->contentText(), QStringLiteral("求等腰三角形的底角大小"));
    QTRY_COMPARE_WITH_TIMEOUT(dlg->PreviewTm->toPlainText(), QStringLiteral("求等腰三角形的底角大小"), 5000);
    QTest::keyClick(dlg->DBGridTm, Qt::Key_Down);
    QCOMPARE(dlg->PreviewTm->contentText(), QStringLiteral("一个三角形的周长是多少"));
    QTest::keyClick(dlg->DBGridTm, Qt::Key_Up);
    QCOMPARE(dlg->LabelTH->text(), QStringLiteral("002"));
    // Enter picks the current one.
    QTest::keyClick(dlg->DBGridTm, Qt::Key_Enter);
    QCOMPARE(paperRows(ws), QStringList{"01/002/5"});
    QVERIFY(boxes.texts.isEmpty());
}

void CandidateSearchTest::theSplitterIsKeptAndALargerWindowGivesTheListsTheRoom()
{
    Workspace ws;
    seed(ws);
    BoxAnswerer boxes;
    TXxszF* dlg = openByHand();
    QSplitter* splitter = dlg->SplitterHx;
    QCOMPARE(dlg->size(), QSize(716, 515));
    QCOMPARE(splitter->geometry(), QRect(16, 208, 414, 264));
    QVERIFY(dlg->DBGridTm->height() >= 148);  // as tall as before the search box
    const QList<int> first = splitter->sizes();
    QCOMPARE(ui::keptSplitterSizes(QStringLiteral("XxszF")), QString());

    // Dragging the handle up gives the question more room; the sizes are kept.
    QWidget* handle = splitter->handle(1);
    const QPoint grip = handle->rect().center();
    QTest::mousePress(handle, Qt::LeftButton, {}, grip);
    QTest::mouseMove(handle, grip - QPoint(0, 40));
    QTest::mouseRelease(handle, Qt::LeftButton, {}, grip - QPoint(0, 40));
    const QList<int> moved = splitter->sizes();
    QVERIFY2(moved.at(1) >= first.at(1) + 30, qPrintable(QStringLiteral("%1 -> %2").arg(first.at(1)).arg(moved.at(1))));
    QVERIFY(dlg->PreviewTm->height() > 70);
    QCOMPARE(ui::keptSplitterSizes(QStringLiteral("XxszF")), QStringLiteral("%1,%2").arg(moved.at(0)).arg(moved.at(1)));

    // The next opening shows them so.
    testing::closeAllWindows();
    dlg = openByHand();
    QCOMPARE(dlg->SplitterHx->sizes(), moved);

    // A larger window: the splitter and the paper's list grow, the buttons keep to the edges.
    dlg->resize(916, 615);
    QCOMPARE(dlg->SplitterHx->geometry(), QRect(16, 208, 614, 364));
    QCOMPARE(dlg->ListBoxSj->geometry(), QRect(684, 28, 216, 504));
    QCOMPARE(dlg->Button3->geometry(), QRect(800, 580, 96, 28));
    QCOMPARE(dlg->SBtnYr->geometry(), QRect(640, 122, 34, 34));
    QCOMPARE(dlg->CheckBoxPcjq->y(), 584);
    QVERIFY(dlg->DBGridTm->height() > moved.at(0));
    // Never smaller than it was made.
    dlg->resize(500, 300);
    QCOMPARE(dlg->size(), QSize(716, 515));

    // Sizes that do not fit the splitter are not applied.
    testing::closeAllWindows();
    QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Exavoro"), QStringLiteral("windows"))
        .setValue(QStringLiteral("XxszF/splitter"), QStringLiteral("120,-5"));
    dlg = openByHand();
    QCOMPARE(dlg->SplitterHx->sizes(), first);
    QVERIFY(boxes.texts.isEmpty());
}

QTEST_MAIN(CandidateSearchTest)
#include "test_candidate_search.moc"
