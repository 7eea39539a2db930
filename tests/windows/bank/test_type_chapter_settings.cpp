// Question-type and chapter settings: per-subject codes, cascades, the two-press add and rename of
// chapters with their program-wide counts, and the refusal of a current subject that names none.
#include "app/application.h"
#include "ui/forms.h"
#include "app/main_window.h"
#include "windows/bank/chapter_settings.h"
#include "windows/bank/question_type_settings.h"
#include "data/data_module.h"
#include "test_support.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

using testing::BoxAnswerer;
using testing::Workspace;

class TypeChapterSettingsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    // Question types.
    void typeCodesAreNumberedPerSubjectFromTheLastRow();
    void typeNamesAreUniquePerSubjectOnly();
    void deletingTypeRemovesExactlyItsQuestions();
    void failedTypeDeletionLeavesBoth();
    void typeDialogRefusesASubjectThatDoesNotExist();
    // Chapters.
    void twoPressAddStoresTheEditedNodeUnderTheNextCode();
    void chapterCodesAreNumberedPerSubject();
    void renameStoresInPlaceAndRefusesSiblingNames();
    void rootAndMissingSelectionAreRefusedWithoutCounting();
    void pressCountsSurviveClosingTheDialog();
    void enterStoresTheNewChapterAndClosingAsksToKeepIt();
    void deletingChapterRemovesExactlyItsQuestions();
    void chapterDialogRefusesASubjectThatDoesNotExist();

private:
    static void seed(Workspace& ws);
    static void setSubject(const QString& name);
    TTxszF* openTypes();
    TZjxzF* openChapters();
    static QStringList chapters(TZjxzF* dlg);
    static QTreeWidgetItem* node(TZjxzF* dlg, const QString& text);
    static void select(TZjxzF* dlg, QTreeWidgetItem* item);
    static QLineEdit* editor(TZjxzF* dlg);
};

void TypeChapterSettingsTest::initTestCase()
{
    app::setup(*qApp);
}

void TypeChapterSettingsTest::init()
{
    TZjxzF::state() = {};
    TTxszF::subject() = {};
}

void TypeChapterSettingsTest::seed(Workspace& ws)
{
    ws.exec("INSERT INTO kmb (kmh, kmm) VALUES ('01','数学'),('02','语文')");
    ws.refreshDatasets();
    MainF->fillSubjectBox();
}

void TypeChapterSettingsTest::setSubject(const QString& name)
{
    const int index = MainF->ComboBoxKmm->findText(name);
    if (index >= 0) MainF->ComboBoxKmm->setCurrentIndex(index);
    MainF->ComboBoxKmm->setEditText(name);
}

TTxszF* TypeChapterSettingsTest::openTypes()
{
    auto* dlg = new TTxszF(MainF);
    dlg->show();
    return dlg;
}

TZjxzF* TypeChapterSettingsTest::openChapters()
{
    auto* dlg = new TZjxzF(MainF);
    dlg->show();
    return dlg;
}

QStringList TypeChapterSettingsTest::chapters(TZjxzF* dlg)
{
    QStringList names;
    QTreeWidgetItem* root = dlg->TreeViewZj->topLevelItem(0);
    for (int i = 0; root && i < root->childCount(); ++i) names << root->child(i)->text(0);
    return names;
}

QTreeWidgetItem* TypeChapterSettingsTest::node(TZjxzF* dlg, const QString& text)
{
    const auto found = dlg->TreeViewZj->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first();
}

void TypeChapterSettingsTest::select(TZjxzF* dlg, QTreeWidgetItem* item)
{
    QVERIFY(item);
    const QRect r = dlg->TreeViewZj->visualItemRect(item);
    QTest::mouseClick(dlg->TreeViewZj->viewport(), Qt::LeftButton, {}, r.center());
    QVERIFY(item->isSelected());
}

QLineEdit* TypeChapterSettingsTest::editor(TZjxzF* dlg)
{
    // Closed editors linger hidden until deleted; the open one is visible.
    for (QLineEdit* edit : dlg->TreeViewZj->findChildren<QLineEdit*>("TreeViewZjEditor")) {
        if (edit->isVisible()) return edit;
    }
    return nullptr;
}

static QStringList items(QListWidget* list)
{
    QStringList names;
    for (int i = 0; i < list->count(); ++i) names << list->item(i)->text();
    return names;
}

void TypeChapterSettingsTest::typeCodesAreNumberedPerSubjectFromTheLastRow()
{
    Workspace ws;
    seed(ws);
    ws.exec("INSERT INTO txb (kmh, txh, txm) VALUES ('02','01','作文'),('02','02','阅读')");
    BoxAnswerer boxes;
    setSubject("数学");
    TTxszF* dlg = openTypes();
    QCOMPARE(dlg->windowTitle(), QStringLiteral("题型设置--数学"));
    QCOMPARE(dlg->ListBoxTxm->count(), 0);
    dlg->EditTxm->setFocus();
    QTest::keyClicks(dlg->EditTxm, "Choice");
    QTest::keyClick(dlg->EditTxm, Qt::Key_Return);  // Enter adds
    QCOMPARE(ws.scalar("SELECT txh FROM txb WHERE kmh='01' AND txm='Choice'"), QStringLiteral("01"));
    QCOMPARE(dlg->EditTxm->selectedText(), QStringLiteral("Choice"));
    ws.exec("INSERT INTO txb (kmh, txh, txm) VALUES ('01','09','九')");
    ws.refreshDatasets();
    dlg->EditTxm->setText("十");
    QTest::mouseClick(dlg->BtnZjtx, Qt::LeftButton);
    QCOMPARE(ws.scalar("SELECT txh FROM txb WHERE kmh='01' AND txm='十'"), QStringLiteral("10"));
    QCOMPARE(items(dlg->ListBoxTxm), (QStringList{"Choice", "九", "十"}));
    // Deleting the last type gives its code again; deleting an earlier one leaves a gap.
    boxes.clear();
    dlg->EditTxm->setText("十");
    QTest::mouseClick(dlg->BtnSctx, Qt::LeftButton);
    QCOMPARE(boxes.texts, QStringList{"请确认是否删除“数学”题库中所有的十\n其中没有试题。"});
    dlg->EditTxm->setText("Ten");
    QTest::mouseClick(dlg->BtnZjtx, Qt::LeftButton);
    QCOMPARE(ws.scalar("SELECT txh FROM txb WHERE kmh='01' AND txm='Ten'"), QStringLiteral("10"));
    dlg->EditTxm->setText("九");
    QTest::mouseClick(dlg->BtnSctx, Qt::LeftButton);
    dlg->EditTxm->setText("Eleven");
    QTest::mouseClick(dlg->BtnZjtx, Qt::LeftButton);
    QCOMPARE(ws.scalar("SELECT txh FROM txb WHERE kmh='01' AND txm='Eleven'"), QStringLiteral("11"));
    QCOMPARE(ws.count("txb", "kmh='02'"), 2);
}

void TypeChapterSettingsTest::typeNamesAreUniquePerSubjectOnly()
{
    Workspace ws;
    seed(ws);
    ws.exec("INSERT INTO txb (kmh, txh, txm) VALUES ('02','01','选择题')");
    BoxAnswerer boxes;
    setSubject("数学");
    TTxszF* dlg = openTypes();
    dlg->EditTxm->setText("选择题");
    QTest::mouseClick(dlg->BtnZjtx, Qt::LeftButton);
    QVERIFY(boxes.texts.isEmpty());
    QTest::mouseClick(dlg->BtnZjtx, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("此题型名已存在，请重新输入题型名！"));
    QCOMPARE(dlg->EditTxm->selectedText(), QStringLiteral("选择题"));  // refreshed and selected anyway
    dlg->EditTxm->setText("");
    QTest::mouseClick(dlg->BtnZjtx, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("题型名不能为空！"));
    dlg->EditTxm->setText("选择题 ");
    QTest::mouseClick(dlg->BtnZjtx, Qt::LeftButton);
    QCOMPARE(ws.count("txb", "kmh='01'"), 2);
    dlg->EditTxm->setText("不存在");
    QTest::mouseClick(dlg->BtnSctx, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("对不起，此题型名不存在！"));
    // A click on the list puts the name into the edit.
    const QRect r = dlg->ListBoxTxm->visualItemRect(dlg->ListBoxTxm->item(1));
    QTest::mouseClick(dlg->ListBoxTxm->viewport(), Qt::LeftButton, {}, r.center());
    QCOMPARE(dlg->EditTxm->text(), QStringLiteral("选择题 "));
}

void TypeChapterSettingsTest::deletingTypeRemovesExactlyItsQuestions()
{
    Workspace ws;
    seed(ws);
    ws.exec("INSERT INTO txb (kmh, txh, txm) VALUES ('01','01','选择题'),('01','02','填空题'),('02','01','选择题')");
    ws.exec("INSERT INTO stb (kmh, txh, th, zjh) VALUES ('01','01','001','01'),('01','01','002','01'),"
            "('01','02','001','01'),('02','01','001','01')");
    // Stored papers by the questions' ids: paper 1 used both 选择题 of 数学, paper 2 one of them, paper
    // 3 only a 填空题 and paper 4 the 选择题 of another subject.
    auto used = [&](int paper, const char* kmh, const char* txh, const char* th) {
        ws.exec(
            "INSERT INTO paper_questions (paper_id, question_id) SELECT ?, id FROM stb WHERE kmh=? AND txh=? AND th=?",
            {paper, kmh, txh, th});
    };
    used(1, "01", "01", "001");
    used(1, "01", "01", "002");
    used(2, "01", "01", "002");
    used(3, "01", "02", "001");
    used(4, "02", "01", "001");
    ws.refreshDatasets();
    BoxAnswerer boxes;
    setSubject("数学");
    TTxszF* dlg = openTypes();
    dlg->EditTxm->setText("选择题");
    boxes.queue(QMessageBox::Cancel);
    QTest::mouseClick(dlg->BtnSctx, Qt::LeftButton);
    QCOMPARE(boxes.last(),
             QStringLiteral("请确认是否删除“数学”题库中所有的选择题\n其中 2 道试题将移入回收站（可在回收站中恢复）；"
                            "这些试题曾用于 2 份已保存的试卷。"));
    QCOMPARE(ws.count("stb"), 4);
    QCOMPARE(boxes.captions.last(), QStringLiteral("确认框"));
    QTest::mouseClick(dlg->BtnSctx, Qt::LeftButton);
    QCOMPARE(ws.count("stb", "kmh='01' AND txh='01'"), 0);
    QCOMPARE(ws.count("stb"), 2);
    QCOMPARE(ws.count("stb", "kmh='02' AND txh='01'"), 1);
    QCOMPARE(ws.count("txb"), 2);
    QCOMPARE(items(dlg->ListBoxTxm), QStringList{"填空题"});
    QCOMPARE(dlg->EditTxm->text(), QString());
}

void TypeChapterSettingsTest::failedTypeDeletionLeavesBoth()
{
    Workspace ws;
    seed(ws);
    ws.exec("INSERT INTO txb (kmh, txh, txm) VALUES ('01','01','选择题')");
    ws.exec("INSERT INTO stb (kmh, txh, th) VALUES ('01','01','001')");
    testing::failOnDelete(ws, QStringLiteral("txb"), QStringLiteral("type locked"));
    ws.refreshDatasets();
    BoxAnswerer boxes;
    setSubject("数学");
    TTxszF* dlg = openTypes();
    dlg->EditTxm->setText("选择题");
    QTest::mouseClick(dlg->BtnSctx, Qt::LeftButton);
    QVERIFY(boxes.last().contains("type locked"));
    QCOMPARE(ws.count("stb"), 1);
    QCOMPARE(ws.count("txb"), 1);
}

void TypeChapterSettingsTest::typeDialogRefusesASubjectThatDoesNotExist()
{
    Workspace ws;
    seed(ws);
    ws.exec("INSERT INTO txb (kmh, txh, txm) VALUES ('01','01','选择题')");
    BoxAnswerer boxes;
    setSubject("数学");
    openTypes()->close();  // an earlier showing found a subject
    setSubject("物理");
    TTxszF* dlg = openTypes();
    QCOMPARE(dlg->windowTitle(), QStringLiteral("题型设置--物理"));
    QCOMPARE(dlg->ListBoxTxm->count(), 0);
    dlg->EditTxm->setText("新题型");
    QTest::mouseClick(dlg->BtnZjtx, Qt::LeftButton);
    dlg->EditTxm->setText("选择题");
    QTest::mouseClick(dlg->BtnSctx, Qt::LeftButton);
    QCOMPARE(boxes.texts, (QStringList{"当前科目不存在，请先选择科目！", "当前科目不存在，请先选择科目！"}));
    QCOMPARE(ws.count("txb"), 1);
}

void TypeChapterSettingsTest::twoPressAddStoresTheEditedNodeUnderTheNextCode()
{
    Workspace ws;
    seed(ws);
    BoxAnswerer boxes;
    setSubject("数学");
    TZjxzF* dlg = openChapters();
    QCOMPARE(dlg->windowTitle(), QStringLiteral("章节设置--数学"));
    QCOMPARE(dlg->TreeViewZj->topLevelItem(0)->text(0), QStringLiteral("数学"));
    // Two presses without typing store "新章节".
    QTest::mouseClick(dlg->BtnZjzj, Qt::LeftButton);
    QCOMPARE(chapters(dlg), QStringList{"新章节"});
    QVERIFY(editor(dlg));
    QCOMPARE(ws.count("zjb"), 0);
    QTest::mouseClick(dlg->BtnZjzj, Qt::LeftButton);
    QCOMPARE(ws.scalar("SELECT zjh || zjm FROM zjb WHERE kmh='01'"), QStringLiteral("01新章节"));
    // A third and fourth press meet the stored name.
    QTest::mouseClick(dlg->BtnZjzj, Qt::LeftButton);
    QTest::mouseClick(dlg->BtnZjzj, Qt::LeftButton);
    QCOMPARE(boxes.texts, QStringList{"此章节名已存在，请输入新的章节名！"});
    QCOMPARE(ws.count("zjb"), 1);
    QCOMPARE(chapters(dlg), QStringList{"新章节"});  // the unstored node is gone
    // Typing into the in-place edit names the new chapter.
    QTest::mouseClick(dlg->BtnZjzj, Qt::LeftButton);
    QLineEdit* edit = editor(dlg);
    QVERIFY(edit);
    edit->selectAll();
    QTest::keyClicks(edit, "Limits");
    QTest::mouseClick(dlg->BtnZjzj, Qt::LeftButton);
    QCOMPARE(ws.scalar("SELECT zjh FROM zjb WHERE kmh='01' AND zjm='Limits'"), QStringLiteral("02"));
    QCOMPARE(chapters(dlg), (QStringList{"新章节", "Limits"}));
    // An emptied name is refused.
    QTest::mouseClick(dlg->BtnZjzj, Qt::LeftButton);
    editor(dlg)->clear();
    QTest::mouseClick(dlg->BtnZjzj, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("章节名不能为空！"));
    QCOMPARE(ws.count("zjb"), 2);
    QCOMPARE(TZjxzF::state().addPresses, 8);
}

void TypeChapterSettingsTest::chapterCodesAreNumberedPerSubject()
{
    Workspace ws;
    seed(ws);
    ws.exec("INSERT INTO zjb (kmh, zjh, zjm) VALUES ('02','01','古文'),('01','09','第九章')");
    ws.refreshDatasets();
    BoxAnswerer boxes;
    setSubject("语文");
    TZjxzF* dlg = openChapters();
    QCOMPARE(chapters(dlg), QStringList{"古文"});
    QTest::mouseClick(dlg->BtnZjzj, Qt::LeftButton);
    editor(dlg)->setText("第九章");  // the same name as a chapter of another subject
    QTest::mouseClick(dlg->BtnZjzj, Qt::LeftButton);
    QCOMPARE(ws.scalar("SELECT zjh FROM zjb WHERE kmh='02' AND zjm='第九章'"), QStringLiteral("02"));
    dlg->close();
    setSubject("数学");
    dlg = openChapters();
    QTest::mouseClick(dlg->BtnZjzj, Qt::LeftButton);
    editor(dlg)->setText("第十章");
    QTest::mouseClick(dlg->BtnZjzj, Qt::LeftButton);
    QCOMPARE(ws.scalar("SELECT zjh FROM zjb WHERE kmh='01' AND zjm='第十章'"), QStringLiteral("10"));
    QVERIFY(boxes.texts.isEmpty());
}

void TypeChapterSettingsTest::renameStoresInPlaceAndRefusesSiblingNames()
{
    Workspace ws;
    seed(ws);
    ws.exec("INSERT INTO zjb (kmh, zjh, zjm) VALUES ('01','01','函数'),('01','02','数列'),('02','01','函数')");
    ws.refreshDatasets();
    BoxAnswerer boxes;
    setSubject("数学");
    TZjxzF* dlg = openChapters();
    select(dlg, node(dlg, "函数"));
    QTest::mouseClick(dlg->BtnCmm, Qt::LeftButton);
    QVERIFY(editor(dlg));
    editor(dlg)->setText("Functions");
    QTest::mouseClick(dlg->BtnCmm, Qt::LeftButton);
    QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join(QLatin1Char('\n'))));
    QCOMPARE(ws.scalar("SELECT zjm FROM zjb WHERE kmh='01' AND zjh='01'"), QStringLiteral("Functions"));
    QCOMPARE(ws.scalar("SELECT zjm FROM zjb WHERE kmh='02' AND zjh='01'"), QStringLiteral("函数"));
    QCOMPARE(chapters(dlg), (QStringList{"Functions", "数列"}));
    // Its own name again is fine.
    QTest::mouseClick(dlg->BtnCmm, Qt::LeftButton);
    QTest::mouseClick(dlg->BtnCmm, Qt::LeftButton);
    QVERIFY(boxes.texts.isEmpty());
    QCOMPARE(ws.count("zjb", "kmh='01' AND zjm='Functions'"), 1);
    // A sibling's name is refused and the tree shows the stored names again.
    QTest::mouseClick(dlg->BtnCmm, Qt::LeftButton);
    editor(dlg)->setText("数列");
    QTest::mouseClick(dlg->BtnCmm, Qt::LeftButton);
    QCOMPARE(boxes.texts, QStringList{"同一科目内不能存在相同的章节名"});
    QCOMPARE(chapters(dlg), (QStringList{"Functions", "数列"}));
    QCOMPARE(ws.count("zjb", "kmh='01' AND zjm='数列'"), 1);
    // An empty name is refused.
    select(dlg, node(dlg, "数列"));
    QTest::mouseClick(dlg->BtnCmm, Qt::LeftButton);
    editor(dlg)->clear();
    QTest::mouseClick(dlg->BtnCmm, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("章节名不能为空！"));
    QCOMPARE(chapters(dlg), (QStringList{"Functions", "数列"}));
    QCOMPARE(TZjxzF::state().renamePresses % 2, 0);
}

void TypeChapterSettingsTest::rootAndMissingSelectionAreRefusedWithoutCounting()
{
    Workspace ws;
    seed(ws);
    ws.exec("INSERT INTO zjb (kmh, zjh, zjm) VALUES ('01','01','函数'),('01','02','数学')");
    ws.refreshDatasets();
    BoxAnswerer boxes;
    setSubject("数学");
    TZjxzF* dlg = openChapters();
    QTest::mouseClick(dlg->BtnSczj, Qt::LeftButton);
    QTest::mouseClick(dlg->BtnCmm, Qt::LeftButton);
    QCOMPARE(boxes.texts, (QStringList{"请选择要删除的章节！", "请选择要被重命名的章节！"}));
    QCOMPARE(TZjxzF::state().renamePresses, 0);
    boxes.clear();
    select(dlg, dlg->TreeViewZj->topLevelItem(0));
    QTest::mouseClick(dlg->BtnSczj, Qt::LeftButton);
    select(dlg, dlg->TreeViewZj->topLevelItem(0));
    QTest::mouseClick(dlg->BtnCmm, Qt::LeftButton);
    // A chapter named like the subject is taken for the root.
    select(dlg, dlg->TreeViewZj->topLevelItem(0)->child(1));
    QTest::mouseClick(dlg->BtnCmm, Qt::LeftButton);
    QCOMPARE(boxes.texts, (QStringList{"课程名不能删除，请选择要删除的章节！", "不能对科目重命名，请选择要被重命名的章节！",
                                       "不能对科目重命名，请选择要被重命名的章节！"}));
    QCOMPARE(TZjxzF::state().renamePresses, 0);
    QCOMPARE(ws.count("zjb"), 2);
    // After refused presses the next accepted press is a first press.
    select(dlg, node(dlg, "函数"));
    QTest::mouseClick(dlg->BtnCmm, Qt::LeftButton);
    QCOMPARE(TZjxzF::state().renamePresses, 1);
    QVERIFY(editor(dlg));
    // A refused second press leaves the next press a second press.
    dlg->TreeViewZj->clearSelection();
    QTest::mouseClick(dlg->BtnCmm, Qt::LeftButton);
    QCOMPARE(TZjxzF::state().renamePresses, 1);
}

void TypeChapterSettingsTest::pressCountsSurviveClosingTheDialog()
{
    Workspace ws;
    seed(ws);
    ws.exec("INSERT INTO zjb (kmh, zjh, zjm) VALUES ('01','01','函数'),('01','02','数列')");
    ws.refreshDatasets();
    BoxAnswerer boxes;
    setSubject("数学");
    TZjxzF* dlg = openChapters();
    select(dlg, node(dlg, "函数"));
    QTest::mouseClick(dlg->BtnCmm, Qt::LeftButton);
    QTest::mouseClick(dlg->BtnZjzj, Qt::LeftButton);
    boxes.queue(QMessageBox::Cancel);  // the new chapter is not kept
    dlg->close();
    QCOMPARE(boxes.texts, QStringList{"新章节“新章节”还没有保存，是否保存？\n（确定：保存；取消：放弃）"});
    boxes.clear();
    QCOMPARE(TZjxzF::state().renamePresses, 1);
    QCOMPARE(TZjxzF::state().addPresses, 2);  // the addition ended with the dialog
    // Reopened: the next rename press is a second press and renames the chapter remembered
    // at the first press to what the selected node says.
    TZjxzF* again = openChapters();
    select(again, node(again, "数列"));
    QTest::mouseClick(again->BtnCmm, Qt::LeftButton);
    QCOMPARE(boxes.texts, QStringList{"同一科目内不能存在相同的章节名"});
    QCOMPARE(TZjxzF::state().renamePresses, 2);
    // The next add press is a first press again.
    QCOMPARE(ws.count("zjb"), 2);
    QTest::mouseClick(again->BtnZjzj, Qt::LeftButton);
    QCOMPARE(TZjxzF::state().addPresses, 3);
    QCOMPARE(chapters(again), (QStringList{"函数", "数列", "新章节"}));
    QTest::mouseClick(again->BtnZjzj, Qt::LeftButton);
    QCOMPARE(ws.scalar("SELECT zjh FROM zjb WHERE zjm='新章节'"), QStringLiteral("03"));
}

void TypeChapterSettingsTest::enterStoresTheNewChapterAndClosingAsksToKeepIt()
{
    Workspace ws;
    seed(ws);
    ws.exec("INSERT INTO zjb (kmh, zjh, zjm) VALUES ('01','01','函数')");
    ws.refreshDatasets();
    BoxAnswerer boxes;
    setSubject("数学");
    TZjxzF* dlg = openChapters();
    // Enter ends the in-place edit of the new chapter and stores it, as the second press would.
    QTest::mouseClick(dlg->BtnZjzj, Qt::LeftButton);
    QLineEdit* edit = editor(dlg);
    QVERIFY(edit);
    edit->selectAll();
    edit->insert("数列");
    QTest::keyClick(edit, Qt::Key_Return);
    QTRY_COMPARE(ws.scalar("SELECT zjh FROM zjb WHERE kmh='01' AND zjm='数列'"), QStringLiteral("02"));
    QCOMPARE(TZjxzF::state().addPresses, 2);
    QCOMPARE(chapters(dlg), (QStringList{"函数", "数列"}));
    // Escape gives the edit up without storing; the node stays pending until the dialog closes.
    QTest::mouseClick(dlg->BtnZjzj, Qt::LeftButton);
    QTest::keyClick(editor(dlg), Qt::Key_Escape);
    QTest::qWait(20);
    QCOMPARE(ws.count("zjb"), 2);
    QVERIFY(boxes.texts.isEmpty());
    // Closing with a pending new chapter asks; OK stores it under the typed name.
    node(dlg, "新章节")->setText(0, "数列求和");
    QTest::mouseClick(dlg->BtnGb, Qt::LeftButton);
    QCOMPARE(boxes.texts, QStringList{"新章节“数列求和”还没有保存，是否保存？\n（确定：保存；取消：放弃）"});
    QCOMPARE(ws.scalar("SELECT zjh FROM zjb WHERE kmh='01' AND zjm='数列求和'"), QStringLiteral("03"));
    QVERIFY(!dlg->isVisible());
    // Cancel gives it up; a dialog without a pending chapter closes without asking.
    dlg = openChapters();
    QTest::mouseClick(dlg->BtnZjzj, Qt::LeftButton);
    boxes.queue(QMessageBox::Cancel);
    dlg->close();
    QCOMPARE(boxes.texts.size(), 2);
    QCOMPARE(ws.count("zjb"), 3);
    dlg = openChapters();
    dlg->close();
    QCOMPARE(boxes.texts.size(), 2);
    QCOMPARE(TZjxzF::state().addPresses, 6);
}

void TypeChapterSettingsTest::deletingChapterRemovesExactlyItsQuestions()
{
    Workspace ws;
    seed(ws);
    ws.exec("INSERT INTO zjb (kmh, zjh, zjm) VALUES ('01','01','函数'),('01','02','数列'),('02','01','古文')");
    ws.exec("INSERT INTO stb (kmh, txh, th, zjh) VALUES ('01','01','001','01'),('01','01','002','02'),"
            "('01','02','001','01'),('02','01','001','01')");
    // Paper 5 used 函数's 选择题, paper 6 数列's, paper 7 古文's (chapter 01 of another subject).
    ws.exec(
        "INSERT INTO paper_questions (paper_id, question_id) SELECT 5, id FROM stb WHERE kmh='01' AND txh='01'"
        " AND th='001'");
    ws.exec("INSERT INTO paper_questions (paper_id, question_id) SELECT 6, id FROM stb WHERE kmh='01' AND zjh='02'");
    ws.exec("INSERT INTO paper_questions (paper_id, question_id) SELECT 7, id FROM stb WHERE kmh='02'");
    ws.refreshDatasets();
    BoxAnswerer boxes;
    setSubject("数学");
    TZjxzF* dlg = openChapters();
    select(dlg, node(dlg, "函数"));
    boxes.queue(QMessageBox::Cancel);
    QTest::mouseClick(dlg->BtnSczj, Qt::LeftButton);
    QCOMPARE(boxes.last(),
             QStringLiteral("请确认是否删除“数学”题库中章节为“函数”的所有试题？\n其中 2 道试题将移入回收站"
                            "（可在回收站中恢复）；这些试题曾用于 1 份已保存的试卷。"));
    QCOMPARE(ws.count("stb"), 4);
    select(dlg, node(dlg, "函数"));
    QTest::mouseClick(dlg->BtnSczj, Qt::LeftButton);
    QCOMPARE(ws.count("stb", "kmh='01' AND zjh='01'"), 0);
    QCOMPARE(ws.count("stb"), 2);
    QCOMPARE(ws.count("stb", "kmh='02' AND zjh='01'"), 1);
    QCOMPARE(ws.count("zjb"), 2);
    QCOMPARE(chapters(dlg), QStringList{"数列"});
    QCOMPARE(DM->ADOStb->recordCount(), 2);
}

void TypeChapterSettingsTest::chapterDialogRefusesASubjectThatDoesNotExist()
{
    Workspace ws;
    seed(ws);
    ws.exec("INSERT INTO zjb (kmh, zjh, zjm) VALUES ('01','01','函数')");
    ws.refreshDatasets();
    BoxAnswerer boxes;
    setSubject("数学");
    openChapters()->close();
    setSubject("物理");
    TZjxzF* dlg = openChapters();
    QCOMPARE(dlg->windowTitle(), QStringLiteral("章节设置--物理"));
    QCOMPARE(dlg->TreeViewZj->topLevelItem(0)->text(0), QStringLiteral("物理"));
    QCOMPARE(chapters(dlg), QStringList{});
    QTest::mouseClick(dlg->BtnZjzj, Qt::LeftButton);
    QTest::mouseClick(dlg->BtnZjzj, Qt::LeftButton);
    QTest::mouseClick(dlg->BtnCmm, Qt::LeftButton);
    QTest::mouseClick(dlg->BtnSczj, Qt::LeftButton);
    QCOMPARE(boxes.texts.size(), 4);
    for (const QString& text : boxes.texts) QCOMPARE(text, QStringLiteral("当前科目不存在，请先选择科目！"));
    QCOMPARE(TZjxzF::state().addPresses, 0);
    QCOMPARE(TZjxzF::state().renamePresses, 0);
    QCOMPARE(ws.count("zjb"), 1);
}

QTEST_MAIN(TypeChapterSettingsTest)
#include "test_type_chapter_settings.moc"
