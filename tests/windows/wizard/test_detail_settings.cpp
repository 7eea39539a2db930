// Wizard step 2: the reset on opening, the type settings, the candidate filter, the two modes,
// the digit filter, Enter keys and the count-field blink.
#include "app/application.h"
#include "ui/db_grid.h"
#include "ui/forms.h"
#include "ui/platform.h"
#include "data/data_module.h"
#include "data/sql.h"
#include "data/engine.h"
#include "test_support.h"
#include "windows/wizard/detail_settings.h"
#include "windows/wizard/overall_settings.h"
#include "windows/wizard/wizard_fixture.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using testing::BoxAnswerer;
using testing::Workspace;
using namespace wizardtest;

class DetailSettingsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { app::setup(*qApp); }
    void openingResetsThePaperOfEverySubject();
    void typeDescriptionFollowsTheFields();
    void candidatesComeOnlyFromTickedChaptersOfTheSubject();
    void difficultyFiltersExactlyAndResetsAnOpenType();
    void completedTypeShowsItsStoredCountAndTotal();
    void manualModeShowsTheGridInPlaceOfTheChapters();
    void countAndTotalTakeOnlyDigits();
    void enterInTheFieldsMovesOnAndStartsTheSelection();
    void countFieldBlinksTenSteps();
    void cancelAndCloseBoxCloseBothSteps();
    void aDraftLostWithTheServerSessionIsSaidAndTheWindowStartsAfresh();

private:
    void seedBank(Workspace& ws);
};

void DetailSettingsTest::seedBank(Workspace& ws)
{
    seedSubjects(ws);
    addQuestion(ws, "01", "01", "001", "01", "易");
    addQuestion(ws, "01", "01", "002", "01", "较易");
    addQuestion(ws, "01", "01", "003", "02", "易");
    addQuestion(ws, "01", "02", "001", "01", "易");   // other type
    addQuestion(ws, "02", "01", "001", "01", "易");   // other subject, same codes
    addQuestion(ws, "02", "01", "002", "01", "较易");
    ws.refreshDatasets();
}

void DetailSettingsTest::openingResetsThePaperOfEverySubject()
{
    Workspace ws;
    seedBank(ws);
    setEveryFlag();
    ws.exec("INSERT INTO sjb (kmh, txh, th, fs) VALUES ('02','01','001','5'), ('01','01','001','5')");
    ws.refreshDatasets();
    TXxszF* dlg = openStepTwo();
    QCOMPARE(dlg->windowTitle(), QStringLiteral("组卷向导--详细设置"));
    QCOMPARE(dlg->size(), QSize(716, 515));
    QCOMPARE(ws.count("sjb"), 0);
    QCOMPARE(chosenTypeCount(), 0);
    QCOMPARE(chosenChapterCount(), 0);
    QCOMPARE(DM->ADOSjb->recordCount(), 0);
    QCOMPARE(dlg->wizardKmh(), QStringLiteral("01"));
    QCOMPARE(lines(dlg->ListBoxTx), (QStringList{"选择题", "填空题", "解答题"}));
    QCOMPARE(dlg->ListBoxTx->currentRow(), 0);
    QCOMPARE(lines(dlg->CheckListBoxZj), (QStringList{"第一章", "第二章"}));
    for (int i = 0; i < dlg->CheckListBoxZj->count(); ++i)
        QCOMPARE(dlg->CheckListBoxZj->item(i)->checkState(), Qt::Unchecked);
    // Automatic mode, nothing ticked, so no candidates yet.
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("0"));
    QCOMPARE(DM->ADOQuerySt->recordCount(), 0);
    QVERIFY(dlg->RadioGroup1Auto->isChecked());
    QVERIFY(dlg->DBGridTm->isHidden());
    QVERIFY(dlg->SBtnYr->isHidden());
    QVERIFY(dlg->SBtnYc->isHidden());
    QVERIFY(!dlg->SBtnQbyr->isHidden());
    QCOMPARE(dlg->ComboBoxNd->currentText(), QStringLiteral("全部"));
    QCOMPARE(dlg->EditTs->text(), QStringLiteral("0"));
    QCOMPARE(dlg->EditZf->text(), QStringLiteral("0"));
}

void DetailSettingsTest::typeDescriptionFollowsTheFields()
{
    Workspace ws;
    seedBank(ws);
    TXxszF* dlg = openStepTwo();
    QCOMPARE(dlg->MemoTxms->toPlainText(), QStringLiteral("选择题(本题共0道小题，共0分。）"));
    dlg->EditTs->setText("10");
    dlg->EditZf->setText("20");
    QCOMPARE(dlg->MemoTxms->toPlainText(), QStringLiteral("选择题(本题共10道小题，共20分。）"));
    selectType(dlg, 1);
    QCOMPARE(dlg->MemoTxms->toPlainText(), QStringLiteral("填空题(本题共0道小题，共0分。）"));
}

void DetailSettingsTest::candidatesComeOnlyFromTickedChaptersOfTheSubject()
{
    Workspace ws;
    seedBank(ws);
    TXxszF* dlg = openStepTwo();
    dlg->EditTs->setText("2");
    dlg->EditZf->setText("10");
    tick(dlg, "第一章");
    QCOMPARE(chapterFlag(ws, "01", "01"), QStringLiteral("1"));
    QCOMPARE(chapterFlag(ws, "02", "01"), QStringLiteral("0"));
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("2"));
    Dataset* st = DM->ADOQuerySt;
    QStringList found;
    for (int r = 0; r < st->recordCount(); ++r) {
        st->setRecNo(r);
        found << st->str("kmh") + st->str("txh") + st->str("th") + st->str("zjm");
    }
    QCOMPARE(found, (QStringList{"0101001第一章", "0101002第一章"}));
    // Ticking leaves count, total and description alone.
    QCOMPARE(dlg->EditTs->text(), QStringLiteral("2"));
    QCOMPARE(dlg->EditZf->text(), QStringLiteral("10"));

    tick(dlg, "第二章");
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("3"));
    tick(dlg, "第一章", false);
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("1"));
    QCOMPARE(chapterFlag(ws, "01", "01"), QStringLiteral("0"));
    st->first();
    QCOMPARE(st->str("th"), QStringLiteral("003"));

    // Ticked chapters stay ticked for the next type.
    selectType(dlg, 1);
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("0"));  // its only question is in 第一章
    tick(dlg, "第一章");
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("1"));
}

void DetailSettingsTest::difficultyFiltersExactlyAndResetsAnOpenType()
{
    Workspace ws;
    seedBank(ws);
    TXxszF* dlg = openStepTwo();
    tick(dlg, "第一章");
    tick(dlg, "第二章");
    dlg->EditTs->setText("2");
    dlg->ComboBoxNd->setCurrentIndex(dlg->ComboBoxNd->findText("较易"));
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("1"));
    DM->ADOQuerySt->first();
    QCOMPARE(DM->ADOQuerySt->str("nd"), QStringLiteral("较易"));
    // Changing the difficulty reruns the type selection: the open type's fields return to 0.
    QCOMPARE(dlg->EditTs->text(), QStringLiteral("0"));
    dlg->ComboBoxNd->setCurrentIndex(dlg->ComboBoxNd->findText("易"));
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("2"));
    // Typed text is compared exactly; quotes in it are data, not SQL.
    dlg->ComboBoxNd->setEditText(QStringLiteral("易\" OR \"1\"=\"1"));
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("0"));
    dlg->ComboBoxNd->setEditText(QStringLiteral("全部"));
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("3"));
}

void DetailSettingsTest::completedTypeShowsItsStoredCountAndTotal()
{
    Workspace ws;
    seedBank(ws);
    TXxszF* dlg = openStepTwo();
    ws.exec("INSERT INTO sjb (kmh, txh, th, fs, tm) VALUES ('01','02','001','2.5','甲'), ('01','02','002','2.5','乙'),"
            " ('01','02','003','2.5','丙')");
    setTypeFlag(ws, "01", "02", true);
    ws.refreshDatasets();
    selectType(dlg, 1);
    // 7.5 is rounded half to even: 8.
    QCOMPARE(dlg->EditTs->text(), QStringLiteral("3"));
    QCOMPARE(dlg->EditZf->text(), QStringLiteral("8"));
    QCOMPARE(lines(dlg->ListBoxSj), (QStringList{" 1) 001----2.5分", " 2) 002----2.5分", " 3) 003----2.5分"}));
    QCOMPARE(dlg->LabelTH->text(), QStringLiteral("003"));
    QCOMPARE(dlg->MemoTm->toPlainText(), QStringLiteral("丙"));
    ws.exec("UPDATE sjb SET fs='2.1666666' WHERE th='003'");  // sum 7.1666666
    selectType(dlg, 0);
    QCOMPARE(dlg->ListBoxSj->count(), 0);
    selectType(dlg, 1);
    QCOMPARE(dlg->EditZf->text(), QStringLiteral("7"));
    QCOMPARE(dlg->ListBoxSj->item(2)->text(), QStringLiteral(" 3) 003----2.2分"));

    // Two questions of 3.25: 6.5 rounds half to even, to 6 (not 7).
    ws.exec(
        "INSERT INTO sjb (kmh, txh, th, fs, tm) VALUES ('01','03','001','3.25','丁'), ('01','03','002','3.25','戊')");
    setTypeFlag(ws, "01", "03", true);
    selectType(dlg, 2);
    QCOMPARE(dlg->ListBoxTx->currentItem()->text(), QStringLiteral("解答题"));
    QCOMPARE(dlg->EditTs->text(), QStringLiteral("2"));
    QCOMPARE(dlg->EditZf->text(), QStringLiteral("6"));
}

void DetailSettingsTest::manualModeShowsTheGridInPlaceOfTheChapters()
{
    Workspace ws;
    seedBank(ws);
    TXxszF* dlg = openStepTwo();
    tick(dlg, "第一章");
    QTest::mouseClick(dlg->RadioGroup1Manual, Qt::LeftButton);
    QCOMPARE(dlg->RadioGroup1ItemIndex(), 1);
    QVERIFY(!dlg->DBGridTm->isHidden());
    QVERIFY(dlg->CheckListBoxZj->isHidden());
    QVERIFY(dlg->ComboBoxNd->isHidden());
    QVERIFY(dlg->EditBxTs->isHidden());
    QVERIFY(dlg->SBtnQbyr->isHidden() && dlg->SBtnQbyc->isHidden());
    QVERIFY(!dlg->SBtnYr->isHidden() && !dlg->SBtnYc->isHidden());
    QCOMPARE(dlg->SBtnYr->y(), 122);
    QCOMPARE(dlg->SBtnYc->y(), 170);
    QCOMPARE(dlg->Label5->text(), QStringLiteral("满足条件的题目"));
    QCOMPARE(dlg->Label5->x(), 140);
    // The grid lists the candidates as last filtered.
    QCOMPARE(dlg->DBGridTm->model()->rowCount(), 2);
    QCOMPARE(dlg->DBGridTm->model()->headerData(2, Qt::Horizontal).toString(), QStringLiteral("章节名"));

    // A click on a row shows its question; the arrow keys follow the cursor.
    const QRect cell = dlg->DBGridTm->visualRect(dlg->DBGridTm->model()->index(1, 0));
    QTest::mouseClick(dlg->DBGridTm->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(dlg->LabelTH->text(), QStringLiteral("002"));
    QCOMPARE(dlg->MemoTm->toPlainText(), QStringLiteral("题0101002"));
    QTest::keyClick(dlg->DBGridTm, Qt::Key_Up);
    QCOMPARE(dlg->LabelTH->text(), QStringLiteral("001"));

    QTest::mouseClick(dlg->RadioGroup1Auto, Qt::LeftButton);
    QCOMPARE(dlg->Label5->text(), QStringLiteral("难度"));
    QCOMPARE(dlg->Label5->x(), 16);
    QVERIFY(dlg->DBGridTm->isHidden());
    QVERIFY(!dlg->CheckListBoxZj->isHidden());
    QCOMPARE(dlg->SBtnQbyr->y(), 122);
    QCOMPARE(dlg->SBtnQbyc->y(), 170);
}

void DetailSettingsTest::countAndTotalTakeOnlyDigits()
{
    Workspace ws;
    seedBank(ws);
    TXxszF* dlg = openStepTwo();
    for (QLineEdit* edit : {dlg->EditTs, dlg->EditZf}) {
        edit->clear();
        const int beeps = platform::beepCount();
        QTest::keyClicks(edit, "1a2.-");
        QCOMPARE(edit->text(), QStringLiteral("12"));
        QCOMPARE(platform::beepCount(), beeps + 3);
        QTest::keyClicks(edit, "345");
        QCOMPARE(edit->text(), QStringLiteral("123"));  // three characters at most
        QTest::keyClick(edit, Qt::Key_Backspace);
        QCOMPARE(edit->text(), QStringLiteral("12"));
    }
}

void DetailSettingsTest::enterInTheFieldsMovesOnAndStartsTheSelection()
{
    Workspace ws;
    seedBank(ws);
    BoxAnswerer boxes;
    TXxszF* dlg = openStepTwo();
    QVERIFY(QTest::qWaitForWindowActive(dlg));
    tick(dlg, "第一章");
    dlg->EditTs->setText("2");
    dlg->EditZf->setText("9");
    dlg->EditTs->setFocus();
    QTest::keyClick(dlg->EditTs, Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), dlg->EditZf);
    QCOMPARE(dlg->EditZf->selectedText(), QStringLiteral("9"));
    QCOMPARE(ws.count("sjb"), 0);
    // Enter in the total runs the automatic selection, even in manual mode.
    QTest::mouseClick(dlg->RadioGroup1Manual, Qt::LeftButton);
    QTest::keyClick(dlg->EditZf, Qt::Key_Return);
    QCOMPARE(ws.count("sjb", "kmh='01' AND txh='01' AND fs='4.5'"), 2);
    QCOMPARE(typeFlag(ws, "01", "01"), QStringLiteral("1"));
    QCOMPARE(dlg->ListBoxSj->count(), 2);
    QVERIFY(boxes.texts.isEmpty());
    QVERIFY(dlg->isVisible());
}

void DetailSettingsTest::countFieldBlinksTenSteps()
{
    Workspace ws;
    seedBank(ws);
    BoxAnswerer boxes;
    TXxszF* dlg = openStepTwo();
    const QColor window = dlg->EditTs->palette().color(QPalette::Base);
    QVERIFY(window != QColor(255, 255, 0));
    QTest::mouseClick(dlg->SBtnQbyr, Qt::LeftButton);  // count 0
    QCOMPARE(boxes.texts, QStringList{"请设置当前小题数！"});
    QCOMPARE(dlg->blinkCounter(), 1);
    QVERIFY(dlg->Timer1->isActive());
    QCOMPARE(dlg->Timer1->interval(), 200);
    QCOMPARE(dlg->EditTs->palette().color(QPalette::Base), QColor(255, 255, 0));
    for (int step = 2; step <= 10; ++step) {
        dlg->Timer1Timer();
        QCOMPARE(dlg->EditTs->palette().color(QPalette::Base), step % 2 ? QColor(255, 255, 0) : window);
        QCOMPARE(dlg->Timer1->isActive(), step <= 9);
    }
    // And the real timer ends it by itself.
    dlg->BlinkEditTs();
    QTRY_VERIFY_WITH_TIMEOUT(!dlg->Timer1->isActive(), 4000);
    QCOMPARE(dlg->blinkCounter(), 10);
    QCOMPARE(dlg->EditTs->palette().color(QPalette::Base), window);
}

void DetailSettingsTest::cancelAndCloseBoxCloseBothSteps()
{
    Workspace ws;
    seedBank(ws);
    {
        TXxszF* dlg = openStepTwo();
        TZtszF* step1 = ZtszF;
        QTest::mouseClick(dlg->Button3, Qt::LeftButton);
        QVERIFY(!dlg->isVisible());
        QVERIFY(!step1->isVisible());
    }
    {
        TXxszF* dlg = openStepTwo();
        TZtszF* step1 = ZtszF;
        dlg->close();
        QVERIFY(!step1->isVisible());
    }
}

void DetailSettingsTest::aDraftLostWithTheServerSessionIsSaidAndTheWindowStartsAfresh()
{
    if (!testing::onServer()) QSKIP("the draft lives in the server session only on a server");
    Workspace ws;
    seedBank(ws);
    BoxAnswerer boxes;
    TXxszF* dlg = openStepTwo();
    ws.exec("INSERT INTO sjb (kmh, txh, th, fs, tm) VALUES ('01','02','001','2.5','甲'), ('01','02','002','2.5','乙')");
    setTypeFlag(ws, "01", "02", true);
    ws.refreshDatasets();
    selectType(dlg, 1);
    QCOMPARE(dlg->ListBoxSj->count(), 2);
    QVERIFY(boxes.texts.isEmpty());
    // The server ends the session (a restart): the draft went with it.
    {
        QSqlDatabase admin = engine::openServer(QStringLiteral("ender"), testing::testServer());
        sql::run(admin, QStringLiteral("SELECT pg_terminate_backend(?)"),
                 {sql::scalar(DM->db(), QStringLiteral("SELECT pg_backend_pid()")).toInt()});
        engine::closeConnection(admin);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("ender"));
    QTest::qWait(200);
    // The next action says so and shows the empty paper the new session holds.
    selectType(dlg, 0);
    QCOMPARE(boxes.texts.size(), 1);
    QVERIFY2(boxes.last().contains(QStringLiteral("正在组的试卷随之丢失")), qPrintable(boxes.last()));
    QCOMPARE(dlg->ListBoxSj->count(), 0);
    QCOMPARE(dlg->EditTs->text(), QStringLiteral("0"));
    QCOMPARE(ws.count("sjb"), 0);
    selectType(dlg, 1);
    QCOMPARE(dlg->ListBoxSj->count(), 0);
    QCOMPARE(dlg->EditTs->text(), QStringLiteral("0"));
    // Said once: the window now matches the new session.
    QCOMPARE(boxes.texts.size(), 1);
}

QTEST_MAIN(DetailSettingsTest)
#include "test_detail_settings.moc"
