// Question entry on a type of 3,000 questions, more than a window of rows: the grid's row count,
// scrolling to the end, search by number far down, and the current row after storing, changing
// and deleting, while the grid holds only the rows it has shown.
#include "app/application.h"
#include "ui/db_grid.h"
#include "ui/forms.h"
#include "app/main_window.h"
#include "windows/bank/question_entry.h"
#include "data/data_module.h"
#include "data/errors.h"
#include "data/recycle.h"
#include "data/sql.h"
#include "test_support.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

using testing::BoxAnswerer;
using testing::Workspace;

namespace {

constexpr int kQuestions = 3000;
// The grid may hold a few windows of 256 rows, never the whole type.
constexpr int kFewWindows = 4 * 256;

// 数学 with 选择题 of 3,000 questions (numbers 001 … 3000, question texts 题1 …, one left out when
// `gap` is given) and 填空题 of 2; 语文 with one.
void seed(Workspace& ws, int gap = 0)
{
    ws.exec("INSERT INTO kmb (kmh, kmm) VALUES ('01','数学'),('02','语文')");
    ws.exec("INSERT INTO txb (kmh, txh, txm) VALUES ('01','01','选择题'),('01','02','填空题'),('02','01','作文')");
    ws.exec("INSERT INTO zjb (kmh, zjh, zjm) VALUES ('01','01','函数'),('01','02','数列'),('02','01','古文')");
    QVector<QVariantList> rows;
    for (int i = 1; i <= kQuestions; ++i) {
        if (i == gap) continue;
        const QString n = QString::number(i);
        rows.append({QStringLiteral("01"), QStringLiteral("01"), QStringLiteral("%1").arg(i, 3, 10, QLatin1Char('0')),
                     QStringLiteral("01"), QStringLiteral("易"), QStringLiteral("2"), QStringLiteral("题") + n,
                     QStringLiteral("答") + n, QStringLiteral("8:00:00"), QStringLiteral("")});
    }
    testing::insertRows(ws, QStringLiteral("stb"), {"kmh", "txh", "th", "zjh", "nd", "fs", "tm", "da", "time", "bz"},
                        rows);
    ws.exec("INSERT INTO stb (kmh, txh, th, zjh, nd, fs, tm, time) VALUES"
            " ('01','02','001','02','难','3','填一','9:00:00'), ('01','02','002','02','难','3','填二','9:00:00'),"
            " ('02','01','001','01','易','3','作文一','9:00:00')");
    ws.refreshDatasets();
    MainF->fillSubjectBox();
}

TLrstF* open()
{
    MainF->ComboBoxKmm->setEditText(QStringLiteral("数学"));
    auto* dlg = new TLrstF(MainF);
    dlg->show();
    QTest::qWait(0);
    // Questions are stored with a score.
    if (dlg->EditFs->text().isEmpty()) dlg->EditFs->setText(QStringLiteral("2"));
    return dlg;
}

QString shown(DBGrid* grid, int row, int column = 0)
{
    return grid->model()->index(row, column).data().toString();
}

// The lowest row drawn in the grid.
int bottomRow(DBGrid* grid)
{
    for (int y = grid->viewport()->height() - 1; y >= 0; --y) {
        if (grid->rowAt(y) >= 0) return grid->rowAt(y);
    }
    return -1;
}

bool visible(DBGrid* grid, int row)
{
    return grid->viewport()->rect().intersects(grid->visualRect(grid->model()->index(row, 0)));
}

void clickRow(TLrstF* dlg, int row)
{
    const QModelIndex index = dlg->DBGrid1->model()->index(row, 0);
    dlg->DBGrid1->scrollTo(index);
    QTest::mouseClick(dlg->DBGrid1->viewport(), Qt::LeftButton, {}, dlg->DBGrid1->visualRect(index).center());
}

void search(TLrstF* dlg, const QString& number)
{
    dlg->EditTh->setText(number);
    QTest::keyClick(dlg->EditTh, Qt::Key_Return);
}

}  // namespace

class QuestionEntryGridTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { app::setup(*qApp); }
    void gridCountsEveryRowAndScrollsToTheLast();
    void searchFindsRowsFarDownAndReportsMissingNumbers();
    void storeChangeAndDeleteKeepTheirCurrentRow();
    void countsKeptByTheBankFollowEveryChange();
    void aBankWithoutKeptCountsGetsThemWhenOpened();
};

void QuestionEntryGridTest::gridCountsEveryRowAndScrollsToTheLast()
{
    Workspace ws;
    seed(ws);
    BoxAnswerer boxes;
    TLrstF* dlg = open();
    DBGrid* grid = dlg->DBGrid1;
    QCOMPARE(grid->model()->rowCount(), kQuestions);
    QCOMPARE(shown(grid, 0), QStringLiteral("001"));
    // Four-digit numbers: the number column widens to show them whole.
    QVERIFY(grid->columnWidth(0) > grid->fontMetrics().horizontalAdvance(QStringLiteral("3000")));
    QCOMPARE(grid->currentIndex().row(), 0);
    QVERIFY(DM->ADOQuerySt->rowsInMemory() <= 256);
    // Dragging the scroll bar to its end draws the last rows.
    grid->verticalScrollBar()->setValue(grid->verticalScrollBar()->maximum());
    QTest::qWait(0);
    QCOMPARE(bottomRow(grid), kQuestions - 1);
    QCOMPARE(shown(grid, bottomRow(grid)), QStringLiteral("3000"));
    QCOMPARE(shown(grid, bottomRow(grid), 1), QStringLiteral("易"));
    QCOMPARE(shown(grid, bottomRow(grid) - 1), QStringLiteral("2999"));
    // Ctrl+End makes the last row current and loads it into the editor.
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(DM->ADOQuerySt->recNo(), kQuestions - 1);
    QCOMPARE(dlg->MemoTm->toPlainText(), QStringLiteral("题3000"));
    QCOMPARE(dlg->MemoDa->toPlainText(), QStringLiteral("答3000"));
    // Up from there, then back to the top.
    QTest::keyClick(grid, Qt::Key_Up);
    QCOMPARE(dlg->MemoTm->toPlainText(), QStringLiteral("题2999"));
    QTest::keyClick(grid, Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(dlg->MemoTm->toPlainText(), QStringLiteral("题1"));
    QVERIFY(bottomRow(grid) < 30);
    QVERIFY(DM->ADOQuerySt->rowsInMemory() <= kFewWindows);
    // Another type and back: the counts follow.
    dlg->ComboBoxTx->setCurrentIndex(1);
    emit dlg->ComboBoxTx->activated(1);
    QCOMPARE(grid->model()->rowCount(), 2);
    QCOMPARE(shown(grid, 1), QStringLiteral("002"));
    // Three-digit numbers: the number column as it always was (33 pixels, or the style's least).
    QCOMPARE(grid->columnWidth(0), qMax(33, grid->horizontalHeader()->minimumSectionSize()));
    dlg->ComboBoxTx->setCurrentIndex(0);
    emit dlg->ComboBoxTx->activated(0);
    QCOMPARE(grid->model()->rowCount(), kQuestions);
    QVERIFY(boxes.texts.isEmpty());
}

void QuestionEntryGridTest::searchFindsRowsFarDownAndReportsMissingNumbers()
{
    Workspace ws;
    seed(ws, 777);
    BoxAnswerer boxes;
    TLrstF* dlg = open();
    DBGrid* grid = dlg->DBGrid1;
    QCOMPARE(grid->model()->rowCount(), kQuestions - 1);
    search(dlg, "999");
    QCOMPARE(DM->ADOQuerySt->recNo(), 997);  // 777 is missing
    QCOMPARE(grid->currentIndex().row(), 997);
    QVERIFY(visible(grid, 997));
    QCOMPARE(dlg->MemoTm->toPlainText(), QStringLiteral("题999"));
    QVERIFY(boxes.texts.isEmpty());
    // The number is compared as an integer: 7 finds 007.
    search(dlg, "7");
    QCOMPARE(DM->ADOQuerySt->str("th"), QStringLiteral("007"));
    QCOMPARE(grid->currentIndex().row(), 6);
    // A missing number: the message, and the grid on its last row.
    search(dlg, "777");
    QCOMPARE(boxes.texts, QStringList{"题号“777”不存在，请重新输入题号！"});
    QCOMPARE(DM->ADOQuerySt->recNo(), kQuestions - 2);
    QCOMPARE(grid->currentIndex().row(), kQuestions - 2);
    QVERIFY(visible(grid, kQuestions - 2));
    search(dlg, "0");
    QCOMPARE(boxes.last(), QStringLiteral("题号“0”不存在，请重新输入题号！"));
    // A question of another type with the same number is not found in this one.
    dlg->ComboBoxTx->setCurrentIndex(1);
    emit dlg->ComboBoxTx->activated(1);
    search(dlg, "999");
    QCOMPARE(boxes.last(), QStringLiteral("题号“999”不存在，请重新输入题号！"));
    QCOMPARE(DM->ADOQuerySt->str("th"), QStringLiteral("002"));
    search(dlg, "2");
    QCOMPARE(DM->ADOQuerySt->str("tm"), QStringLiteral("填二"));
    QVERIFY(DM->ADOQuerySt->rowsInMemory() <= kFewWindows);
}

void QuestionEntryGridTest::storeChangeAndDeleteKeepTheirCurrentRow()
{
    Workspace ws;
    seed(ws);
    BoxAnswerer boxes;
    TLrstF* dlg = open();
    DBGrid* grid = dlg->DBGrid1;
    // Storing appends the next number; the list is reopened on its first row, as before.
    clickRow(dlg, 1500);
    dlg->MemoTm->setPlainText(QStringLiteral("新题"));
    QTest::mouseClick(dlg->BtnXtrk, Qt::LeftButton);
    QCOMPARE(ws.scalar("SELECT th FROM stb WHERE tm='新题'"), QStringLiteral("3001"));
    QCOMPARE(grid->model()->rowCount(), kQuestions + 1);
    QCOMPARE(shown(grid, kQuestions), QStringLiteral("3001"));
    QCOMPARE(DM->ADOQuerySt->recNo(), 0);
    QCOMPARE(grid->currentIndex().row(), 0);

    // Changing a question far down keeps it current, with its new contents.
    clickRow(dlg, 2500);
    QCOMPARE(dlg->MemoTm->toPlainText(), QStringLiteral("题2501"));
    dlg->MemoTm->setPlainText(QStringLiteral("改过的题"));
    dlg->EditFs->setText("9");
    QTest::mouseClick(dlg->BtnYtgg, Qt::LeftButton);
    QCOMPARE(ws.scalar("SELECT tm || fs FROM stb WHERE kmh='01' AND txh='01' AND th='2501'"),
             QStringLiteral("改过的题9"));
    QCOMPARE(DM->ADOQuerySt->recNo(), 2500);
    QCOMPARE(grid->currentIndex().row(), 2500);
    QVERIFY(visible(grid, 2500));
    QCOMPARE(shown(grid, 2500), QStringLiteral("2501"));
    QCOMPARE(shown(grid, 2500, 2), QStringLiteral("9"));
    QCOMPARE(DM->ADOQuerySt->str("tm"), QStringLiteral("改过的题"));

    // Deleting a question far down: it leaves the list, which is reopened on its first row.
    clickRow(dlg, 2800);
    QTest::mouseClick(dlg->BtnStsc, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("是否删除第2801题？"));
    QCOMPARE(ws.count("stb", "kmh='01' AND txh='01'"), kQuestions);
    QCOMPARE(grid->model()->rowCount(), kQuestions);
    QCOMPARE(shown(grid, 2799), QStringLiteral("2800"));
    QCOMPARE(shown(grid, 2800), QStringLiteral("2802"));
    QCOMPARE(shown(grid, kQuestions - 1), QStringLiteral("3001"));
    QCOMPARE(DM->ADOQuerySt->recNo(), 0);
    QCOMPARE(grid->currentIndex().row(), 0);
    QVERIFY(DM->ADOQuerySt->rowsInMemory() <= kFewWindows);
    // Search still finds its rows after the delete.
    search(dlg, "280");
    QCOMPARE(DM->ADOQuerySt->recNo(), 279);
    QCOMPARE(dlg->MemoTm->toPlainText(), QStringLiteral("题280"));
}

namespace {

// The subjects and types whose kept count differs from their questions counted (empty when every
// count agrees), as "kmh/txh kept counted".
QStringList countsThatDisagree()
{
    QStringList out;
    sql::Reader q(DM->db(), QStringLiteral(
        "SELECT g.kmh, g.txh, COALESCE(c.n, -1), g.n FROM"
        " (SELECT kmh, txh, COUNT(*) AS n FROM stb WHERE kmh IS NOT NULL AND txh IS NOT NULL GROUP BY kmh, txh) AS g"
        " LEFT JOIN question_counts AS c ON c.kmh = g.kmh AND c.txh = g.txh WHERE c.n IS NULL OR c.n <> g.n"
        " UNION ALL SELECT c.kmh, c.txh, c.n, 0 FROM question_counts AS c WHERE c.n <> 0 AND NOT EXISTS"
        " (SELECT 1 FROM stb WHERE stb.kmh = c.kmh AND stb.txh = c.txh)"));
    while (q.next()) out << q.text(0) + '/' + q.text(1) + ' ' + q.text(2) + ' ' + q.text(3);
    return out;
}

QString kept(Workspace& ws, const char* kmh, const char* txh)
{
    return ws.scalar("SELECT n FROM question_counts WHERE kmh=? AND txh=?", {kmh, txh});
}

}  // namespace

void QuestionEntryGridTest::countsKeptByTheBankFollowEveryChange()
{
    Workspace ws;
    seed(ws);
    BoxAnswerer boxes;
    QVERIFY(DM->keepsQuestionCounts());
    QCOMPARE(kept(ws, "01", "01"), QStringLiteral("3000"));
    QCOMPARE(countsThatDisagree(), QStringList());
    // Codes changed, and a change of other columns only.
    ws.exec("UPDATE stb SET txh='02' WHERE kmh='01' AND txh='01' AND th IN ('010','011')");
    ws.exec("UPDATE stb SET tm='改' WHERE kmh='01' AND txh='01' AND th='003'");
    QCOMPARE(kept(ws, "01", "01"), QStringLiteral("2998"));
    QCOMPARE(kept(ws, "01", "02"), QStringLiteral("4"));
    // Rows without a subject are not counted; deleting them counts nothing down.
    ws.exec("INSERT INTO stb (kmh, txh, th) VALUES (NULL, '01', '001'), ('01', NULL, '001')");
    ws.exec("DELETE FROM stb WHERE kmh IS NULL OR txh IS NULL");
    QCOMPARE(countsThatDisagree(), QStringList());
    // The grid counts from the kept number; a subject deleted into the recycle bin and restored
    // counts down to nothing and back up.
    TLrstF* dlg = open();
    QCOMPARE(dlg->DBGrid1->model()->rowCount(), 2998);
    qint64 item = 0;
    DM->transaction({DM->ADOStb}, [&] {
        item = recycle::keepSubject(DM->db(), QStringLiteral("01"), QStringLiteral("admin"));
        recycle::removeKept(DM->db(), item);
    });
    QCOMPARE(kept(ws, "01", "01"), QStringLiteral("0"));
    QCOMPARE(countsThatDisagree(), QStringList());
    recycle::restore(DM->db(), item);
    QCOMPARE(kept(ws, "01", "01"), QStringLiteral("2998"));
    QCOMPARE(countsThatDisagree(), QStringList());
    // A rolled-back store leaves the count as it was.
    QVERIFY_THROWS_EXCEPTION(DataError, DM->transaction({DM->ADOStb}, [&] {
        ws.exec("INSERT INTO stb (kmh, txh, th) VALUES ('01','01','9999')");
        throw DataError(QStringLiteral("中止"));
    }));
    QCOMPARE(kept(ws, "01", "01"), QStringLiteral("2998"));
    QVERIFY(boxes.texts.isEmpty());
}

void QuestionEntryGridTest::aBankWithoutKeptCountsGetsThemWhenOpened()
{
    if (testing::onServer()) QSKIP("a bank file written before the counts were kept");
    Workspace ws;
    seed(ws);
    for (const char* statement : {"DROP TRIGGER question_counts_insert", "DROP TRIGGER question_counts_delete",
                                  "DROP TRIGGER question_counts_update", "DROP TABLE question_counts"}) {
        ws.exec(QString::fromLatin1(statement));
    }
    ws.exec("INSERT INTO stb (kmh, txh, th) VALUES ('01','02','003')");  // stored by the older program
    DM->disconnectFromBank();
    DM->connectTo(ws.databasePath());
    QVERIFY(DM->keepsQuestionCounts());
    QCOMPARE(kept(ws, "01", "01"), QStringLiteral("3000"));
    QCOMPARE(kept(ws, "01", "02"), QStringLiteral("3"));
    QCOMPARE(countsThatDisagree(), QStringList());
    BoxAnswerer boxes;
    TLrstF* dlg = open();
    QCOMPARE(dlg->DBGrid1->model()->rowCount(), kQuestions);
    dlg->MemoTm->setPlainText(QStringLiteral("新题"));
    QTest::mouseClick(dlg->BtnXtrk, Qt::LeftButton);
    QVERIFY(boxes.texts.isEmpty());
    QCOMPARE(kept(ws, "01", "01"), QStringLiteral("3001"));
    QCOMPARE(dlg->DBGrid1->model()->rowCount(), kQuestions + 1);
    // Opening again fills nothing twice.
    DM->disconnectFromBank();
    DM->connectTo(ws.databasePath());
    QCOMPARE(countsThatDisagree(), QStringList());
}

QTEST_MAIN(QuestionEntryGridTest)
#include "test_question_entry_grid.moc"
