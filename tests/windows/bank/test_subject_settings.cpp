// Subject settings: codes, duplicates, the cascaded deletion and the refill of the main window.
#include "app/application.h"
#include "ui/forms.h"
#include "app/main_window.h"
#include "windows/bank/subject_settings.h"
#include "data/data_module.h"
#include "test_support.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

using testing::BoxAnswerer;
using testing::Workspace;

class SubjectSettingsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void codesFollowTheLastRowAcrossTheWidthBoundaries();
    void deletedLastCodeIsReusedButAMiddleOneLeavesAGap();
    void emptyAndDuplicateNamesAreRefusedButCaseAndBlanksMakeNewNames();
    void enterKeyAddsAndListClickFillsTheName();
    void deletingSubjectRemovesItsQuestionsChaptersAndTypesOnly();
    void cancelAndUnknownNameDeleteNothing();
    void deletingANameStoredTwiceRemovesTheLastSuchSubjectOnly();
    void failedDeletionLeavesEverythingInPlace();
    void closingRefillsTheMainWindowSubjectBox();

private:
    TKmszF* open();
    void add(TKmszF* dlg, const QString& name);
    static QStringList listed(TKmszF* dlg);
};

void SubjectSettingsTest::initTestCase()
{
    app::setup(*qApp);
}

TKmszF* SubjectSettingsTest::open()
{
    auto* dlg = new TKmszF(MainF);
    dlg->show();
    return dlg;
}

void SubjectSettingsTest::add(TKmszF* dlg, const QString& name)
{
    dlg->EditKm->setText(name);
    QTest::mouseClick(dlg->BtnZJKM, Qt::LeftButton);
}

QStringList SubjectSettingsTest::listed(TKmszF* dlg)
{
    QStringList names;
    for (int i = 0; i < dlg->ListBoxKm->count(); ++i) names << dlg->ListBoxKm->item(i)->text();
    return names;
}

void SubjectSettingsTest::codesFollowTheLastRowAcrossTheWidthBoundaries()
{
    Workspace ws;
    BoxAnswerer boxes;
    TKmszF* dlg = open();
    QCOMPARE(dlg->windowTitle(), QStringLiteral("科目设置"));
    QCOMPARE(dlg->size(), QSize(442, 365));
    add(dlg, "数学");
    QCOMPARE(ws.scalar("SELECT kmh FROM kmb WHERE kmm='数学'"), QStringLiteral("01"));
    // The last row decides, not the largest code.
    ws.exec("INSERT INTO kmb (kmh, kmm) VALUES ('50','甲'),('08','乙')");
    ws.refreshDatasets();
    add(dlg, "物理");
    add(dlg, "化学");
    QCOMPARE(ws.scalar("SELECT kmh FROM kmb WHERE kmm='物理'"), QStringLiteral("09"));
    QCOMPARE(ws.scalar("SELECT kmh FROM kmb WHERE kmm='化学'"), QStringLiteral("10"));
    ws.exec("INSERT INTO kmb (kmh, kmm) VALUES ('99','丙')");
    ws.refreshDatasets();
    add(dlg, "生物");
    QCOMPARE(ws.scalar("SELECT kmh FROM kmb WHERE kmm='生物'"), QStringLiteral("100"));
    QVERIFY(boxes.texts.isEmpty());
    QCOMPARE(listed(dlg), (QStringList{"数学", "甲", "乙", "物理", "化学", "丙", "生物"}));
    // The name stays selected so that typing replaces it.
    QCOMPARE(dlg->EditKm->selectedText(), QStringLiteral("生物"));
}

void SubjectSettingsTest::deletedLastCodeIsReusedButAMiddleOneLeavesAGap()
{
    Workspace ws;
    BoxAnswerer boxes;
    TKmszF* dlg = open();
    for (const char* n : {"A", "B", "C"}) add(dlg, n);
    dlg->EditKm->setText("B");
    QTest::mouseClick(dlg->BtnSCKM, Qt::LeftButton);
    add(dlg, "D");
    QCOMPARE(ws.scalar("SELECT kmh FROM kmb WHERE kmm='D'"), QStringLiteral("04"));
    dlg->EditKm->setText("D");
    QTest::mouseClick(dlg->BtnSCKM, Qt::LeftButton);
    add(dlg, "E");
    QCOMPARE(ws.scalar("SELECT kmh FROM kmb WHERE kmm='E'"), QStringLiteral("04"));
    QCOMPARE(testing::joined("SELECT kmh FROM kmb ORDER BY id"),
             QStringLiteral("01,03,04"));
}

void SubjectSettingsTest::emptyAndDuplicateNamesAreRefusedButCaseAndBlanksMakeNewNames()
{
    Workspace ws;
    BoxAnswerer boxes;
    TKmszF* dlg = open();
    add(dlg, "");
    QCOMPARE(boxes.last(), QStringLiteral("科目名称不能为空！"));
    QCOMPARE(boxes.captions.last(), QStringLiteral("Exavoro"));
    add(dlg, "Math");
    add(dlg, "Math");
    QCOMPARE(boxes.last(), QStringLiteral("此科目名称已存在，请重新输入科目名称！"));
    QCOMPARE(dlg->EditKm->text(), QStringLiteral("Math"));
    add(dlg, "math");
    add(dlg, "Math ");
    QCOMPARE(boxes.texts.size(), 2);
    QCOMPARE(ws.count("kmb"), 3);
    QCOMPARE(listed(dlg), (QStringList{"Math", "math", "Math "}));
}

void SubjectSettingsTest::enterKeyAddsAndListClickFillsTheName()
{
    Workspace ws;
    BoxAnswerer boxes;
    TKmszF* dlg = open();
    dlg->EditKm->setFocus();
    QTest::keyClicks(dlg->EditKm, "Chinese");
    QTest::keyClick(dlg->EditKm, Qt::Key_Return);
    QCOMPARE(ws.count("kmb", "kmm='Chinese' AND kmh='01'"), 1);
    QTest::keyClicks(dlg->EditKm, "English");  // replaces the selected name
    QTest::keyClick(dlg->EditKm, Qt::Key_Enter);
    QCOMPARE(listed(dlg), (QStringList{"Chinese", "English"}));
    QVERIFY(dlg->isVisible());  // Enter does not press a button that closes the dialog
    dlg->EditKm->setText("xyz");
    const QRect first = dlg->ListBoxKm->visualItemRect(dlg->ListBoxKm->item(0));
    QTest::mouseClick(dlg->ListBoxKm->viewport(), Qt::LeftButton, {}, first.center());
    QCOMPARE(dlg->EditKm->text(), QStringLiteral("Chinese"));
}

static void seedTwoSubjects(Workspace& ws)
{
    ws.exec("INSERT INTO kmb (kmh, kmm) VALUES ('01','数学'),('02','语文')");
    ws.exec("INSERT INTO txb (kmh, txh, txm) VALUES ('01','01','选择题'),('02','01','选择题'),('01','02','填空题')");
    ws.exec("INSERT INTO zjb (kmh, zjh, zjm) VALUES ('01','01','函数'),('02','01','古文')");
    ws.exec("INSERT INTO stb (kmh, txh, th, zjh, tm) VALUES ('01','01','001','01','q1'),('01','02','001','01','q2'),"
            "('02','01','001','01','q3')");
    ws.exec("INSERT INTO sjb (kmh, txh, th, tm) VALUES ('01','01','001','q1')");
    ws.refreshDatasets();
}

void SubjectSettingsTest::deletingSubjectRemovesItsQuestionsChaptersAndTypesOnly()
{
    Workspace ws;
    seedTwoSubjects(ws);
    BoxAnswerer boxes;
    // Paper 1 used both questions of 数学, paper 2 one of them, paper 3 only 语文's.
    ws.exec("INSERT INTO paper_questions (paper_id, question_id) SELECT 1, id FROM stb WHERE tm IN ('q1','q2')");
    ws.exec("INSERT INTO paper_questions (paper_id, question_id) SELECT 2, id FROM stb WHERE tm='q2'");
    ws.exec("INSERT INTO paper_questions (paper_id, question_id) SELECT 3, id FROM stb WHERE tm='q3'");
    TKmszF* dlg = open();
    dlg->EditKm->setText("数学");
    QTest::mouseClick(dlg->BtnSCKM, Qt::LeftButton);
    QCOMPARE(boxes.last(),
             QStringLiteral("请确认是否删除科目“数学”及其所有题目？\n其中 2 道试题将移入回收站（可在回收站中恢复）；"
                            "这些试题曾用于 2 份已保存的试卷。"));
    QCOMPARE(boxes.captions.last(), QStringLiteral("确认框"));
    for (const char* table : {"stb", "zjb", "txb", "kmb"}) {
        QCOMPARE(ws.count(table, "kmh='01'"), 0);
        QCOMPARE(ws.count(table, "kmh='02'"), 1);
    }
    QCOMPARE(ws.count("sjb"), 1);  // the paper in progress is not touched
    QCOMPARE(DM->ADOStb->recordCount(), 1);  // the datasets show what the file holds
    QCOMPARE(dlg->EditKm->text(), QString());
    QCOMPARE(listed(dlg), QStringList{"语文"});
}

void SubjectSettingsTest::cancelAndUnknownNameDeleteNothing()
{
    Workspace ws;
    seedTwoSubjects(ws);
    BoxAnswerer boxes;
    TKmszF* dlg = open();
    dlg->EditKm->setText("数学 ");
    QTest::mouseClick(dlg->BtnSCKM, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("对不起，题库中无此科目名！"));
    dlg->EditKm->setText("数学");
    boxes.queue(QMessageBox::Cancel);
    QTest::mouseClick(dlg->BtnSCKM, Qt::LeftButton);
    QCOMPARE(boxes.texts.size(), 2);
    QCOMPARE(ws.count("stb"), 3);
    QCOMPARE(ws.count("kmb"), 2);
    QCOMPARE(dlg->EditKm->text(), QStringLiteral("数学"));
}

void SubjectSettingsTest::deletingANameStoredTwiceRemovesTheLastSuchSubjectOnly()
{
    Workspace ws;
    seedTwoSubjects(ws);
    ws.exec("INSERT INTO kmb (kmh, kmm) VALUES ('03','数学')");
    ws.exec("INSERT INTO txb (kmh, txh, txm) VALUES ('03','01','选择题')");
    ws.exec("INSERT INTO stb (kmh, txh, th, zjh, tm) VALUES ('03','01','001','01','q4')");
    ws.refreshDatasets();
    BoxAnswerer boxes;
    TKmszF* dlg = open();
    dlg->EditKm->setText("数学");
    QTest::mouseClick(dlg->BtnSCKM, Qt::LeftButton);
    QCOMPARE(boxes.last(),
             QStringLiteral("请确认是否删除科目“数学”及其所有题目？\n其中 1 道试题将移入回收站（可在回收站中恢复）；"
                            "这些试题未用于已保存的试卷。"));
    QCOMPARE(ws.count("kmb", "kmh='03'"), 0);
    QCOMPARE(ws.count("stb", "kmh='03'"), 0);
    QCOMPARE(ws.count("txb", "kmh='03'"), 0);
    // The first subject of that name keeps its rows.
    QCOMPARE(ws.scalar("SELECT kmm FROM kmb WHERE kmh='01'"), QStringLiteral("数学"));
    QCOMPARE(ws.count("stb", "kmh='01'"), 2);
    QCOMPARE(ws.count("txb", "kmh='01'"), 2);
    QCOMPARE(ws.count("zjb", "kmh='01'"), 1);
    QCOMPARE(listed(dlg), (QStringList{"数学", "语文"}));
}

void SubjectSettingsTest::failedDeletionLeavesEverythingInPlace()
{
    Workspace ws;
    seedTwoSubjects(ws);
    // The last of the four deletions fails: the three before it must be undone.
    testing::failOnDelete(ws, QStringLiteral("kmb"), QStringLiteral("subject locked"));
    BoxAnswerer boxes;
    TKmszF* dlg = open();
    dlg->EditKm->setText("数学");
    QTest::mouseClick(dlg->BtnSCKM, Qt::LeftButton);
    QVERIFY2(boxes.last().contains("subject locked"), qPrintable(boxes.last()));
    QCOMPARE(ws.count("stb", "kmh='01'"), 2);
    QCOMPARE(ws.count("zjb", "kmh='01'"), 1);
    QCOMPARE(ws.count("txb", "kmh='01'"), 2);
    QCOMPARE(DM->ADOStb->recordCount(), 3);
}

void SubjectSettingsTest::closingRefillsTheMainWindowSubjectBox()
{
    Workspace ws;
    seedTwoSubjects(ws);
    BoxAnswerer boxes;
    MainF->ComboBoxKmm->clear();
    MainF->ComboBoxKmm->setEditText("旧");
    TKmszF* dlg = open();
    add(dlg, "英语");
    QTest::mouseClick(dlg->BtnGB, Qt::LeftButton);
    QVERIFY(!dlg->isVisible());
    QCOMPARE(MainF->ComboBoxKmm->count(), 3);
    QCOMPARE(MainF->ComboBoxKmm->itemText(2), QStringLiteral("英语"));
    QCOMPARE(MainF->ComboBoxKmm->currentText(), QStringLiteral("数学"));
    QCOMPARE(MainF->LabelKmm->text(), QStringLiteral("数学"));

    // Closing by the close box does the same; with no subject left the box and label are blank.
    ws.exec("DELETE FROM kmb");
    ws.refreshDatasets();
    TKmszF* again = open();
    again->close();
    QCOMPARE(MainF->ComboBoxKmm->count(), 0);
    QCOMPARE(MainF->ComboBoxKmm->currentText(), QString());
    QCOMPARE(MainF->LabelKmm->text(), QString());
}

QTEST_MAIN(SubjectSettingsTest)
#include "test_subject_settings.moc"
