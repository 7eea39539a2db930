// Question entry: numbering, storing, search, change, delete, digit filters, the change button's
// state, the hint flash, the refusal of names that match nothing, and speed on a large bank.
#include "app/application.h"
#include "ui/db_grid.h"
#include "ui/forms.h"
#include "app/main_window.h"
#include "ui/platform.h"
#include "windows/bank/question_entry.h"
#include "data/data_module.h"
#include "test_support.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QTimer>

using testing::BoxAnswerer;
using testing::Workspace;

class QuestionEntryTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void showingFillsBoxesFromTheCurrentSubject();
    void numbersFollowTheLastQuestionOfSubjectAndType();
    void deletedLastNumberIsReusedAndAMiddleOneLeavesAGap();
    void storingKeepsChapterScoreAndDifficulty();
    void searchComparesNumbersAsIntegers();
    void digitFiltersBeepAndLimitLength();
    void changeButtonFollowsTheStateTable();
    void changeWritesIntoTheLoadedQuestion();
    void changeIsRefusedWhenTheGridLeftTheLoadedQuestion();
    void questionStoredByAnotherConnectionCanBeChangedAndDeleted();
    void hintsFlashThreeTimes();
    void aQuestionIsNeverStoredWithoutAScore();
    void namesThatMatchNothingAreRefused();
    void largeBankNumbersSearchesAndDeletesWithinItsType();

private:
    static void seed(Workspace& ws);
    static TLrstF* open(const QString& subject);
    static void store(TLrstF* dlg, const QString& text);
    static void clickRow(TLrstF* dlg, int row);
    static QStringList numbers(TLrstF* dlg);
};

void QuestionEntryTest::initTestCase()
{
    app::setup(*qApp);
}

void QuestionEntryTest::seed(Workspace& ws)
{
    ws.exec("INSERT INTO kmb (kmh, kmm) VALUES ('01','数学'),('02','语文')");
    ws.exec("INSERT INTO txb (kmh, txh, txm) VALUES ('01','01','选择题'),('01','02','填空题'),('02','01','作文')");
    ws.exec("INSERT INTO zjb (kmh, zjh, zjm) VALUES ('01','01','函数'),('01','02','数列'),('02','01','古文')");
    ws.refreshDatasets();
    MainF->fillSubjectBox();
}

TLrstF* QuestionEntryTest::open(const QString& subject)
{
    MainF->ComboBoxKmm->setEditText(subject);
    auto* dlg = new TLrstF(MainF);
    dlg->show();
    return dlg;
}

void QuestionEntryTest::store(TLrstF* dlg, const QString& text)
{
    dlg->MemoTm->setPlainText(text);
    // A question is stored with a score; the teacher types one for the first question.
    if (dlg->EditFs->text().isEmpty()) dlg->EditFs->setText(QStringLiteral("5"));
    QTest::mouseClick(dlg->BtnXtrk, Qt::LeftButton);
}

void QuestionEntryTest::clickRow(TLrstF* dlg, int row)
{
    const QRect r = dlg->DBGrid1->visualRect(dlg->DBGrid1->model()->index(row, 0));
    QTest::mouseClick(dlg->DBGrid1->viewport(), Qt::LeftButton, {}, r.center());
}

QStringList QuestionEntryTest::numbers(TLrstF* dlg)
{
    QStringList th;
    QAbstractItemModel* m = dlg->DBGrid1->model();
    for (int row = 0; row < m->rowCount(); ++row) th << m->index(row, 0).data().toString();
    return th;
}

void QuestionEntryTest::showingFillsBoxesFromTheCurrentSubject()
{
    Workspace ws;
    seed(ws);
    ws.exec("INSERT INTO stb (kmh, txh, th, zjh, nd, fs, tm, da, time) VALUES "
            "('01','01','001','02','难','5','题一','答一','8:00:00'),('01','02','001','01','易','3','填一','','9:00:00')");
    BoxAnswerer boxes;
    TLrstF* dlg = open("数学");
    QCOMPARE(dlg->windowTitle(), QStringLiteral("录入试题"));
    QCOMPARE(dlg->ComboBoxKm->currentText(), QStringLiteral("数学"));
    QCOMPARE(dlg->ComboBoxKm->count(), 2);
    QCOMPARE(dlg->ComboBoxTx->count(), 2);
    QCOMPARE(dlg->ComboBoxTx->currentText(), QStringLiteral("选择题"));
    QCOMPARE(dlg->ComboBoxZj->currentText(), QStringLiteral("函数"));
    QCOMPARE(dlg->ComboBoxNd->currentText(), QStringLiteral("易"));
    QCOMPARE(dlg->DBGrid1->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("题号"));
    QCOMPARE(dlg->DBGrid1->model()->headerData(3, Qt::Horizontal).toString(), QStringLiteral("录入时间"));
    QCOMPARE(numbers(dlg), QStringList{"001"});
    QVERIFY(!dlg->BtnYtgg->isEnabled());
    QVERIFY(dlg->Timer1->isActive());
    // A click on the row loads it into the editor.
    clickRow(dlg, 0);
    QCOMPARE(dlg->ComboBoxZj->currentText(), QStringLiteral("数列"));
    QCOMPARE(dlg->ComboBoxNd->currentText(), QStringLiteral("难"));
    QCOMPARE(dlg->EditFs->text(), QStringLiteral("5"));
    QCOMPARE(dlg->MemoTm->toPlainText(), QStringLiteral("题一"));
    QCOMPARE(dlg->MemoDa->toPlainText(), QStringLiteral("答一"));
    // Another type, another subject.
    dlg->ComboBoxTx->setCurrentIndex(1);
    emit dlg->ComboBoxTx->activated(1);
    QCOMPARE(numbers(dlg), QStringList{"001"});
    QCOMPARE(DM->ADOQuerySt->str("tm"), QStringLiteral("填一"));
    dlg->ComboBoxKm->setCurrentIndex(1);
    emit dlg->ComboBoxKm->activated(1);
    QCOMPARE(dlg->ComboBoxTx->count(), 1);
    QCOMPARE(dlg->ComboBoxZj->currentText(), QStringLiteral("古文"));
    QCOMPARE(numbers(dlg), QStringList{});
    QVERIFY(boxes.texts.isEmpty());
}

void QuestionEntryTest::numbersFollowTheLastQuestionOfSubjectAndType()
{
    Workspace ws;
    seed(ws);
    BoxAnswerer boxes;
    TLrstF* dlg = open("数学");
    store(dlg, "q1");
    QCOMPARE(numbers(dlg), QStringList{"001"});
    struct Case {
        const char* last;
        const char* next;
    };
    for (const Case& c : {Case{"009", "010"}, Case{"099", "100"}, Case{"999", "1000"}}) {
        ws.exec("INSERT INTO stb (kmh, txh, th) VALUES ('01','01',?)", {c.last});
        ws.refreshDatasets();
        store(dlg, c.next);
        QCOMPARE(ws.scalar("SELECT th FROM stb WHERE tm=?", {c.next}), QString::fromLatin1(c.next));
    }
    // Other types and subjects count from "001" on their own.
    dlg->ComboBoxTx->setCurrentIndex(1);
    emit dlg->ComboBoxTx->activated(1);
    store(dlg, "fill");
    QCOMPARE(ws.scalar("SELECT th FROM stb WHERE tm='fill'"), QStringLiteral("001"));
    QCOMPARE(ws.scalar("SELECT txh FROM stb WHERE tm='fill'"), QStringLiteral("02"));
    dlg->ComboBoxKm->setCurrentIndex(1);
    emit dlg->ComboBoxKm->activated(1);
    store(dlg, "essay");
    QCOMPARE(ws.scalar("SELECT kmh || txh || th || zjh FROM stb WHERE tm='essay'"), QStringLiteral("0201001" "01"));
    QVERIFY(boxes.texts.isEmpty());
}

void QuestionEntryTest::deletedLastNumberIsReusedAndAMiddleOneLeavesAGap()
{
    Workspace ws;
    seed(ws);
    BoxAnswerer boxes;
    TLrstF* dlg = open("数学");
    for (const char* t : {"a", "b", "c"}) store(dlg, t);
    QCOMPARE(numbers(dlg), (QStringList{"001", "002", "003"}));
    clickRow(dlg, 1);
    boxes.queue(QMessageBox::Cancel);
    QTest::mouseClick(dlg->BtnStsc, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("是否删除第002题？"));
    QCOMPARE(boxes.captions.last(), QStringLiteral("确认框"));
    QCOMPARE(ws.count("stb"), 3);
    QCOMPARE(dlg->MemoTm->toPlainText(), QString());  // cleared even on Cancel
    QVERIFY(!dlg->BtnYtgg->isEnabled());
    clickRow(dlg, 1);
    QTest::mouseClick(dlg->BtnStsc, Qt::LeftButton);
    QCOMPARE(numbers(dlg), (QStringList{"001", "003"}));
    store(dlg, "d");
    QCOMPARE(numbers(dlg), (QStringList{"001", "003", "004"}));
    clickRow(dlg, 2);
    QTest::mouseClick(dlg->BtnStsc, Qt::LeftButton);
    store(dlg, "e");
    QCOMPARE(numbers(dlg), (QStringList{"001", "003", "004"}));
    QCOMPARE(ws.scalar("SELECT th FROM stb WHERE tm='e'"), QStringLiteral("004"));
    QCOMPARE(DM->ADOStb->recordCount(), 3);
}

void QuestionEntryTest::storingKeepsChapterScoreAndDifficulty()
{
    Workspace ws;
    seed(ws);
    BoxAnswerer boxes;
    TLrstF* dlg = open("数学");
    dlg->ComboBoxZj->setCurrentIndex(1);
    dlg->EditFs->setText("12");
    dlg->ComboBoxNd->setCurrentIndex(3);
    dlg->MemoDa->setPlainText("答案");
    store(dlg, "题目");
    QCOMPARE(dlg->MemoTm->toPlainText(), QString());
    QCOMPARE(dlg->MemoDa->toPlainText(), QString());
    QCOMPARE(dlg->ComboBoxZj->currentText(), QStringLiteral("数列"));
    QCOMPARE(dlg->EditFs->text(), QStringLiteral("12"));
    QCOMPARE(dlg->ComboBoxNd->currentText(), QStringLiteral("较难"));
    QCOMPARE(ws.scalar("SELECT kmh||'|'||txh||'|'||th||'|'||zjh||'|'||nd||'|'||fs||'|'||tm||'|'||da FROM stb"),
             QStringLiteral("01|01|001|02|较难|12|题目|答案"));
    const QString time = ws.scalar("SELECT time FROM stb");
    QVERIFY2(QRegularExpression("^\\d{1,2}:\\d\\d:\\d\\d$").match(time).hasMatch(), qPrintable(time));
    // An empty question is refused.
    store(dlg, "");
    QCOMPARE(boxes.texts, QStringList{"题目不能为空！"});
    QCOMPARE(ws.count("stb"), 1);
}

void QuestionEntryTest::searchComparesNumbersAsIntegers()
{
    Workspace ws;
    seed(ws);
    ws.exec("INSERT INTO stb (kmh, txh, th, zjh, tm) VALUES ('01','01','005','01','五'),('01','01','007','02','七'),"
            "('01','01','010','01','十'),('01','02','007','01','别的七')");
    BoxAnswerer boxes;
    TLrstF* dlg = open("数学");
    for (const char* n : {"7", "07", "007"}) {
        dlg->MemoTm->clear();
        dlg->EditTh->setText(n);
        QTest::mouseClick(dlg->BtnSs, Qt::LeftButton);
        QCOMPARE(dlg->MemoTm->toPlainText(), QStringLiteral("七"));
        QCOMPARE(DM->ADOQuerySt->str("th"), QStringLiteral("007"));
        QCOMPARE(dlg->ComboBoxZj->currentText(), QStringLiteral("数列"));
        QCOMPARE(dlg->EditTh->selectedText(), QString::fromLatin1(n));
    }
    QVERIFY(boxes.texts.isEmpty());
    // Enter in the number box searches too.
    dlg->EditTh->setText("5");
    QTest::keyClick(dlg->EditTh, Qt::Key_Return);
    QCOMPARE(dlg->MemoTm->toPlainText(), QStringLiteral("五"));
    dlg->EditTh->setText("012");
    QTest::keyClick(dlg->EditTh, Qt::Key_Return);
    QCOMPARE(boxes.texts, QStringList{"题号“12”不存在，请重新输入题号！"});
    QCOMPARE(DM->ADOQuerySt->recNo(), 2);  // left on the last row
    QCOMPARE(dlg->EditTh->selectedText(), QStringLiteral("012"));
}

void QuestionEntryTest::digitFiltersBeepAndLimitLength()
{
    Workspace ws;
    seed(ws);
    BoxAnswerer boxes;
    TLrstF* dlg = open("数学");
    const int before = platform::beepCount();
    QTest::keyClicks(dlg->EditFs, "1a-");
    QCOMPARE(dlg->EditFs->text(), QStringLiteral("1"));
    QCOMPARE(platform::beepCount(), before + 2);
    QTest::keyClicks(dlg->EditFs, "23");
    QCOMPARE(dlg->EditFs->text(), QStringLiteral("12"));
    QTest::keyClick(dlg->EditFs, Qt::Key_Backspace);
    QCOMPARE(dlg->EditFs->text(), QStringLiteral("1"));
    // The search number takes seven digits: numbers of a type of 100,000 questions and more.
    QTest::keyClicks(dlg->EditTh, "x12 345678");
    QCOMPARE(dlg->EditTh->text(), QStringLiteral("1234567"));
    QCOMPARE(platform::beepCount(), before + 4);
    // Shortcuts are not typed characters: select all, then a digit replaces the score.
    QTest::keyClick(dlg->EditFs, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(dlg->EditFs, "7");
    QCOMPARE(dlg->EditFs->text(), QStringLiteral("7"));
    QCOMPARE(platform::beepCount(), before + 4);
}

void QuestionEntryTest::changeButtonFollowsTheStateTable()
{
    Workspace ws;
    seed(ws);
    ws.exec("INSERT INTO stb (kmh, txh, th, zjh, tm) VALUES ('01','01','001','01','一'),('01','01','002','01','二')");
    BoxAnswerer boxes;
    TLrstF* dlg = open("数学");
    QVERIFY(!dlg->BtnYtgg->isEnabled());
    QTest::keyClicks(dlg->MemoTm, "x");
    QVERIFY(dlg->BtnYtgg->isEnabled());
    clickRow(dlg, 1);  // a grid load ends disabled
    QVERIFY(!dlg->BtnYtgg->isEnabled());
    QCOMPARE(dlg->MemoTm->toPlainText(), QStringLiteral("二"));
    dlg->EditFs->setText("9");
    QVERIFY(dlg->BtnYtgg->isEnabled());
    QTest::keyClick(dlg->DBGrid1, Qt::Key_Up);  // keys in the grid load too
    QVERIFY(!dlg->BtnYtgg->isEnabled());
    QCOMPARE(dlg->MemoTm->toPlainText(), QStringLiteral("一"));
    // Changing the subject or type leaves it alone.
    dlg->ComboBoxNd->setCurrentIndex(2);
    QVERIFY(dlg->BtnYtgg->isEnabled());
    dlg->ComboBoxTx->setCurrentIndex(1);
    emit dlg->ComboBoxTx->activated(1);
    QVERIFY(dlg->BtnYtgg->isEnabled());
    dlg->ComboBoxKm->setCurrentIndex(1);
    emit dlg->ComboBoxKm->activated(1);
    QVERIFY(dlg->BtnYtgg->isEnabled());
    dlg->ComboBoxKm->setCurrentIndex(0);
    store(dlg, "新");
    QVERIFY(!dlg->BtnYtgg->isEnabled());
    dlg->ComboBoxZj->setEditText("数列");
    QVERIFY(dlg->BtnYtgg->isEnabled());
    store(dlg, "");
    QVERIFY(!dlg->BtnYtgg->isEnabled());
}

void QuestionEntryTest::changeWritesIntoTheLoadedQuestion()
{
    Workspace ws;
    seed(ws);
    ws.exec("INSERT INTO stb (kmh, txh, th, zjh, nd, fs, tm, da, time) VALUES "
            "('01','01','001','01','易','1','一','a','1:00:00'),('01','01','002','01','易','2','二','b','1:00:00'),"
            "('01','02','001','01','易','3','填','c','1:00:00')");
    BoxAnswerer boxes;
    TLrstF* dlg = open("数学");
    clickRow(dlg, 1);
    dlg->MemoTm->setPlainText("二改");
    dlg->ComboBoxZj->setCurrentIndex(1);
    dlg->EditFs->setText("8");
    QTest::mouseClick(dlg->BtnYtgg, Qt::LeftButton);
    QCOMPARE(ws.scalar("SELECT zjh||'|'||fs||'|'||nd||'|'||tm||'|'||da FROM stb WHERE txh='01' AND th='002'"),
             QStringLiteral("02|8|易|二改|b"));
    QVERIFY(ws.scalar("SELECT time FROM stb WHERE txh='01' AND th='002'") != QStringLiteral("1:00:00"));
    QCOMPARE(ws.scalar("SELECT tm FROM stb WHERE txh='01' AND th='001'"), QStringLiteral("一"));
    QCOMPARE(DM->ADOQuerySt->str("th"), QStringLiteral("002"));  // current again
    QVERIFY(dlg->BtnYtgg->isEnabled());                          // left as it was
    // A second change goes into the same question.
    dlg->MemoDa->setPlainText("b2");
    QTest::mouseClick(dlg->BtnYtgg, Qt::LeftButton);
    QCOMPARE(ws.scalar("SELECT tm||'|'||da FROM stb WHERE txh='01' AND th='002'"), QStringLiteral("二改|b2"));
    // A question found by the search is the loaded one.
    dlg->EditTh->setText("1");
    QTest::mouseClick(dlg->BtnSs, Qt::LeftButton);
    dlg->MemoTm->setPlainText("一改");
    QTest::mouseClick(dlg->BtnYtgg, Qt::LeftButton);
    QCOMPARE(ws.scalar("SELECT tm FROM stb WHERE txh='01' AND th='001'"), QStringLiteral("一改"));
    QCOMPARE(ws.scalar("SELECT tm FROM stb WHERE txh='02'"), QStringLiteral("填"));
    QCOMPARE(ws.count("stb"), 3);
    QVERIFY(boxes.texts.isEmpty());
}

void QuestionEntryTest::changeIsRefusedWhenTheGridLeftTheLoadedQuestion()
{
    Workspace ws;
    seed(ws);
    ws.exec(
        "INSERT INTO stb (kmh, txh, th, zjh, nd, fs, tm, da, time) VALUES "
        "('01','01','001','01','易','1','一','a','1:00:00'),('01','01','002','01','易','2','二','b','1:00:00'),"
        "('01','02','001','01','易','3','填','c','1:00:00')");
    const QString before = testing::joined("SELECT tm||da||fs||zjh FROM stb ORDER BY id");
    BoxAnswerer boxes;
    TLrstF* dlg = open("数学");
    // Nothing loaded yet: typed texts do not go into the grid's first question.
    dlg->MemoTm->setPlainText("草稿");
    QTest::mouseClick(dlg->BtnYtgg, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("请先在表格中选中要更改的试题！"));
    // Loaded, then another type chosen: the grid stands on that type's first question.
    clickRow(dlg, 0);
    dlg->MemoTm->setPlainText("一改");
    dlg->ComboBoxTx->setCurrentIndex(1);
    emit dlg->ComboBoxTx->activated(1);
    QTest::mouseClick(dlg->BtnYtgg, Qt::LeftButton);
    const QString refused = QStringLiteral("表格中选中的已不是编辑框中的第001题，请在表格中重新选中要更改的试题！");
    QCOMPARE(boxes.last(), refused);
    QCOMPARE(dlg->MemoTm->toPlainText(), QStringLiteral("一改"));  // the editor keeps the work
    // Back on the first type the grid stands on the loaded question again.
    dlg->ComboBoxTx->setCurrentIndex(0);
    emit dlg->ComboBoxTx->activated(0);
    // A search for a missing number leaves the grid on the last row, not the loaded one.
    dlg->EditTh->setText("9");
    QTest::mouseClick(dlg->BtnSs, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("题号“9”不存在，请重新输入题号！"));
    QTest::mouseClick(dlg->BtnYtgg, Qt::LeftButton);
    QCOMPARE(boxes.last(), refused);
    QCOMPARE(testing::joined("SELECT tm||da||fs||zjh FROM stb ORDER BY id"), before);
    // An emptied question text is refused rather than stored.
    clickRow(dlg, 0);
    dlg->MemoTm->clear();
    QTest::mouseClick(dlg->BtnYtgg, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("题目不能为空！"));
    QCOMPARE(testing::joined("SELECT tm||da||fs||zjh FROM stb ORDER BY id"), before);
    // After storing a new question the editor no longer holds a stored one.
    store(dlg, "新题");
    dlg->MemoTm->setPlainText("另一道新题");
    QTest::mouseClick(dlg->BtnYtgg, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("请先在表格中选中要更改的试题！"));
    QCOMPARE(ws.count("stb", "tm='另一道新题'"), 0);
    QCOMPARE(ws.count("stb"), 4);
}

void QuestionEntryTest::questionStoredByAnotherConnectionCanBeChangedAndDeleted()
{
    Workspace ws;
    seed(ws);
    ws.exec("INSERT INTO stb (kmh, txh, th, zjh, tm) VALUES ('01','01','001','01','一')");
    ws.refreshDatasets();
    BoxAnswerer boxes;
    TLrstF* dlg = open("数学");
    clickRow(dlg, 0);
    QCOMPARE(DM->ADOStb->recordCount(), 1);  // the table as read before the question is stored
    {
        // Another program's connection stores a question after the window read the tables.
        QSqlDatabase other = testing::openOtherConnection(ws, QStringLiteral("other"));
        QSqlQuery insert(other);
        QVERIFY(insert.exec("INSERT INTO stb (kmh, txh, th, zjh, tm) VALUES ('01','01','002','01','别处的题')"));
    }
    testing::closeOtherConnection(QStringLiteral("other"));
    dlg->ComboBoxTx->setCurrentIndex(1);
    emit dlg->ComboBoxTx->activated(1);
    dlg->ComboBoxTx->setCurrentIndex(0);
    emit dlg->ComboBoxTx->activated(0);
    QCOMPARE(numbers(dlg), (QStringList{"001", "002"}));
    clickRow(dlg, 1);
    QCOMPARE(dlg->MemoTm->toPlainText(), QStringLiteral("别处的题"));
    dlg->MemoTm->setPlainText("改过的题");
    QTest::mouseClick(dlg->BtnYtgg, Qt::LeftButton);
    QCOMPARE(ws.scalar("SELECT tm FROM stb WHERE th='002'"), QStringLiteral("改过的题"));
    QCOMPARE(ws.scalar("SELECT tm FROM stb WHERE th='001'"), QStringLiteral("一"));
    QCOMPARE(DM->ADOQuerySt->str("th"), QStringLiteral("002"));
    QTest::mouseClick(dlg->BtnStsc, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("是否删除第002题？"));
    QCOMPARE(ws.count("stb", "th='002'"), 0);
    QCOMPARE(ws.count("stb"), 1);
    QCOMPARE(numbers(dlg), QStringList{"001"});
}

void QuestionEntryTest::hintsFlashThreeTimes()
{
    Workspace ws;
    seed(ws);
    TLrstF* dlg = open("数学");
    QCOMPARE(dlg->Timer1->interval(), 200);
    QCOMPARE(TLrstF::flashCount(), 0);
    const QColor yellow(Qt::yellow), black(Qt::black);
    QList<QColor> seen;
    for (int tick = 1; tick <= 6; ++tick) {
        dlg->Timer1Timer();
        seen << dlg->LabelGgyt->palette().color(QPalette::WindowText);
        QCOMPARE(dlg->LabelZjxt->palette().color(QPalette::WindowText), seen.last());
        QCOMPARE(dlg->LabelScst->palette().color(QPalette::WindowText), seen.last());
        QCOMPARE(dlg->Timer1->isActive(), tick < 6);
    }
    QCOMPARE(seen, (QList<QColor>{yellow, black, yellow, black, yellow, black}));
    // Showing again starts over.
    dlg->hide();
    dlg->show();
    QCOMPARE(TLrstF::flashCount(), 0);
    QVERIFY(dlg->Timer1->isActive());
}

void QuestionEntryTest::aQuestionIsNeverStoredWithoutAScore()
{
    Workspace ws;
    seed(ws);
    ws.exec("INSERT INTO stb (kmh, txh, th, zjh, fs, tm) VALUES ('01','01','001','01','4','一'),"
            " ('01','01','002','01',NULL,'二')");
    BoxAnswerer boxes;
    TLrstF* dlg = open("数学");
    dlg->EditFs->clear();
    dlg->MemoTm->setPlainText("没有分数的题");
    QTest::mouseClick(dlg->BtnXtrk, Qt::LeftButton);
    QCOMPARE(boxes.texts, QStringList{QStringLiteral("分数不能为空！")});
    QCOMPARE(ws.count("stb"), 2);
    QCOMPARE(dlg->MemoTm->toPlainText(), QStringLiteral("没有分数的题"));  // nothing typed is lost
    QTest::keyClicks(dlg->EditFs, "6");
    QTest::mouseClick(dlg->BtnXtrk, Qt::LeftButton);
    QCOMPARE(boxes.texts.size(), 1);
    QCOMPARE(ws.scalar("SELECT fs FROM stb WHERE tm='没有分数的题'"), QStringLiteral("6"));
    // A change may not take a question's score away.
    clickRow(dlg, 0);
    dlg->EditFs->clear();
    dlg->MemoTm->setPlainText("一改");
    QTest::mouseClick(dlg->BtnYtgg, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("分数不能为空！"));
    QCOMPARE(ws.scalar("SELECT tm FROM stb WHERE th='001'"), QStringLiteral("一"));
    // A question an older version stored without one stays changeable.
    clickRow(dlg, 1);
    QVERIFY(dlg->EditFs->text().isEmpty());
    dlg->MemoTm->setPlainText("二改");
    QTest::mouseClick(dlg->BtnYtgg, Qt::LeftButton);
    QCOMPARE(boxes.texts.size(), 2);
    QCOMPARE(ws.scalar("SELECT tm FROM stb WHERE th='002'"), QStringLiteral("二改"));
}

void QuestionEntryTest::namesThatMatchNothingAreRefused()
{
    Workspace ws;
    seed(ws);
    ws.exec("INSERT INTO stb (kmh, txh, th, zjh, fs, tm) VALUES ('01','01','001','01','2','一')");
    BoxAnswerer boxes;
    TLrstF* dlg = open("数学");
    clickRow(dlg, 0);
    dlg->MemoTm->setPlainText("新内容");
    dlg->ComboBoxZj->setEditText("没有的章节");
    QTest::mouseClick(dlg->BtnXtrk, Qt::LeftButton);
    QTest::mouseClick(dlg->BtnYtgg, Qt::LeftButton);
    dlg->ComboBoxZj->setCurrentIndex(0);
    dlg->ComboBoxTx->setEditText("没有的题型");
    QTest::mouseClick(dlg->BtnXtrk, Qt::LeftButton);
    dlg->ComboBoxKm->setEditText("没有的科目");
    QTest::mouseClick(dlg->BtnXtrk, Qt::LeftButton);
    QCOMPARE(boxes.texts, (QStringList{"章节不存在！", "章节不存在！", "题型不存在！", "科目不存在！"}));
    QCOMPARE(ws.count("stb"), 1);
    QCOMPARE(ws.scalar("SELECT tm FROM stb"), QStringLiteral("一"));
    QCOMPARE(dlg->MemoTm->toPlainText(), QStringLiteral("新内容"));  // kept for the user to file properly
    QCOMPARE(numbers(dlg), QStringList{});                          // nothing listed for an unknown subject
}

void QuestionEntryTest::largeBankNumbersSearchesAndDeletesWithinItsType()
{
    Workspace ws;
    seed(ws);
    // 100,000 questions spread over 10 subjects x 8 types.
    QVector<QVariantList> rows;
    rows.reserve(100000);
    const auto code = [](int n, int width) { return QStringLiteral("%1").arg(n, width, 10, QLatin1Char('0')); };
    for (int x = 0; x < 100000; ++x) {
        rows.append({code(x % 10 + 1, 2), code((x / 10) % 8 + 1, 2), code(x / 80 + 1, 3), QStringLiteral("01"),
                     QStringLiteral("易"), QStringLiteral("2"), QStringLiteral("题目内容题目内容题目内容题目内容题目内容"),
                     QStringLiteral("答案"), QStringLiteral("8:00:00")});
    }
    testing::insertRows(ws, QStringLiteral("stb"),
                        {"kmh", "txh", "th", "zjh", "nd", "fs", "tm", "da", "time"}, rows);
    ws.refreshDatasets();
    BoxAnswerer boxes;
    TLrstF* dlg = open("数学");
    QCOMPARE(numbers(dlg).size(), 1250);
    store(dlg, "new");
    QCOMPARE(ws.scalar("SELECT th FROM stb WHERE tm='new'"), QStringLiteral("1251"));
    dlg->EditTh->setText("999");
    QTest::mouseClick(dlg->BtnSs, Qt::LeftButton);
    QCOMPARE(DM->ADOQuerySt->str("th"), QStringLiteral("999"));
    dlg->ComboBoxTx->setCurrentIndex(1);
    emit dlg->ComboBoxTx->activated(1);
    clickRow(dlg, 0);
    QTest::mouseClick(dlg->BtnStsc, Qt::LeftButton);
    QCOMPARE(ws.count("stb", "kmh='01' AND txh='02'"), 1249);
    QVERIFY(boxes.texts.size() == 1);  // the delete confirmation
}

QTEST_MAIN(QuestionEntryTest)
#include "test_question_entry.moc"
