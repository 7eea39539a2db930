// 录入试题 shows the difficulty a question measured in stored sittings beside its difficulty, read
// by the question's identity: renumbered, or deleted and restored from the recycle bin, it keeps it.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include "analysis/measured_fixture.h"
#include "app/application.h"
#include "app/main_window.h"
#include "data/data_module.h"
#include "data/sql.h"
#include "test_support.h"
#include "ui/db_grid.h"
#include "ui/forms.h"
#include "windows/bank/question_entry.h"
#include "windows/bank/recycle_bin.h"

using measuredtest::idOf;
using testing::BoxAnswerer;
using testing::Workspace;

namespace {

// 数学 (01), 填空题 (01): 001–004, texts "题001" …, each worth 5 points.
void seed(Workspace& ws)
{
    ws.exec("INSERT INTO kmb (kmh, kmm) VALUES ('01','数学')");
    ws.exec("INSERT INTO txb (kmh, txh, txm, bz) VALUES ('01','01','填空题','0')");
    ws.exec("INSERT INTO zjb (kmh, zjh, zjm, bz) VALUES ('01','01','第一章','0')");
    for (int i = 1; i <= 4; ++i) {
        const QString th = QStringLiteral("00%1").arg(i);
        ws.exec(
            "INSERT INTO stb (kmh, txh, th, zjh, nd, fs, tm, da, time, bz) VALUES ('01','01',?,'01','中等','5',?,"
            "?,'8:00:00','')",
            {th, "题" + th, "答" + th});
    }
    ws.refreshDatasets();
    MainF->fillSubjectBox();
    MainF->ComboBoxKmm->setEditText("数学");
}

TLrstF* openEntry()
{
    MainF->fillSubjectBox();
    MainF->ComboBoxKmm->setEditText("数学");
    auto* entry = new TLrstF(MainF);
    entry->show();
    entry->ComboBoxTx->setCurrentText("填空题");
    entry->ComboBoxTxChange();
    return entry;
}

int rowOfText(const QString& text)
{
    Dataset* q = DM->ADOQuerySt;
    for (int row = 0; row < q->recordCount(); ++row) {
        if (q->valueAt(row, q->fieldIndex(QStringLiteral("tm"))) == text) return row;
    }
    return -1;
}

// Clicks the question of this text in the grid; false when the editor did not load it.
bool clickQuestion(TLrstF* entry, const QString& text)
{
    const int row = rowOfText(text);
    if (row < 0) return false;
    const QRect r = entry->DBGrid1->visualRect(entry->DBGrid1->model()->index(row, 0));
    QTest::mouseClick(entry->DBGrid1->viewport(), Qt::LeftButton, {}, r.center());
    return entry->MemoTm->toPlainText() == text;
}

QLabel* measuredLabel(TLrstF* entry)
{
    return entry->findChild<QLabel*>("LabelSdNd");
}

bool restoreInBin(const QString& summaryStart)
{
    auto* bin = new THszF(MainF);
    bin->show();
    for (int row = 0; row < bin->GridHsz->rowCount(); ++row) {
        if (bin->GridHsz->item(row, 0)->text().startsWith(summaryStart)) {
            bin->GridHsz->selectRow(row);
            QTest::mouseClick(bin->BtnHy, Qt::LeftButton);
            bin->close();
            return true;
        }
    }
    bin->close();
    return false;
}

}  // namespace

class MeasuredDifficultyEntryTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { app::setup(*qApp); }
    void cleanup() { testing::closeAllWindows(); }
    void theCurrentQuestionShowsItsMeasuredDifficulty();
    void renumberedOrBackFromTheRecycleBinItKeepsIt();

private:
    testing::ModalGuard guard_;
};

void MeasuredDifficultyEntryTest::theCurrentQuestionShowsItsMeasuredDifficulty()
{
    Workspace ws;
    seed(ws);
    // No sitting yet: nothing shown.
    TLrstF* entry = openEntry();
    QLabel* label = measuredLabel(entry);
    QVERIFY(label);
    QVERIFY(clickQuestion(entry, "题001"));
    QVERIFY(label->text().isEmpty());
    QVERIFY(label->isHidden());
    entry->close();

    // Two sittings of a paper of 001–003: ten students with 001 at half its marks, thirty at
    // three quarters; 0.6875 over the forty.
    const library::StoredPaper paper =
        measuredtest::storePaperOf({idOf("01", "01", "001"), idOf("01", "01", "002"), idOf("01", "01", "003")});
    measuredtest::storeSittingOf(paper, {0.5, 1.0, 0.2}, 10, "一班");
    measuredtest::storeSittingOf(paper, {0.75, 1.0, 0.2}, 30, "二班");
    entry = openEntry();
    label = measuredLabel(entry);
    QVERIFY(clickQuestion(entry, "题001"));
    QCOMPARE(label->text(), QStringLiteral("实测难度 0.69（2 次考试，40 人）"));
    QVERIFY(label->isVisible());
    // Beside the difficulty box, inside the panel, clear of what was there.
    QCOMPARE(label->parentWidget(), entry->ComboBoxNd->parentWidget());
    QVERIFY(label->geometry().top() >= entry->ComboBoxNd->geometry().bottom());
    QVERIFY(!label->geometry().intersects(entry->findChild<QLabel*>("LabelSyqk")->geometry()));
    QVERIFY(label->parentWidget()->rect().contains(label->geometry()));
    QCOMPARE(entry->findChild<QLabel*>("LabelSyqk")->text().left(10), QStringLiteral("已用于 1 份试卷，"));
    QVERIFY(clickQuestion(entry, "题002"));
    QCOMPARE(label->text(), QStringLiteral("实测难度 1.00（2 次考试，40 人）"));
    QVERIFY(clickQuestion(entry, "题003"));
    QCOMPARE(label->text(), QStringLiteral("实测难度 0.20（2 次考试，40 人）"));
    // A question that sat no exam: empty and hidden again.
    QVERIFY(clickQuestion(entry, "题004"));
    QVERIFY(label->text().isEmpty());
    QVERIFY(label->isHidden());
    // The arrow keys move the current row as clicks do.
    QVERIFY(clickQuestion(entry, "题003"));
    QTest::keyClick(entry->DBGrid1, Qt::Key_Up);
    QCOMPARE(entry->MemoTm->toPlainText(), QStringLiteral("题002"));
    QCOMPARE(label->text(), QStringLiteral("实测难度 1.00（2 次考试，40 人）"));
}

void MeasuredDifficultyEntryTest::renumberedOrBackFromTheRecycleBinItKeepsIt()
{
    Workspace ws;
    seed(ws);
    BoxAnswerer boxes;
    const library::StoredPaper paper = measuredtest::storePaperOf({idOf("01", "01", "003"), idOf("01", "01", "004")});
    measuredtest::storeSittingOf(paper, {0.4, 0.9}, 20);

    // 004 renumbered 009: the number changes, the measurement stays with the question.
    ws.exec("UPDATE stb SET th='009' WHERE tm='题004'");
    ws.refreshDatasets();
    TLrstF* entry = openEntry();
    QVERIFY(clickQuestion(entry, "题004"));
    QCOMPARE(measuredLabel(entry)->text(), QStringLiteral("实测难度 0.90（1 次考试，20 人）"));

    // 003 deleted with 试题删除 goes into the recycle bin.
    QVERIFY(clickQuestion(entry, "题003"));
    QCOMPARE(measuredLabel(entry)->text(), QStringLiteral("实测难度 0.40（1 次考试，20 人）"));
    boxes.queue(QMessageBox::Ok);
    QTest::mouseClick(entry->BtnStsc, Qt::LeftButton);
    QCOMPARE(ws.count("stb", "tm='题003'"), 0);
    QVERIFY(clickQuestion(entry, "题004"));
    QCOMPARE(measuredLabel(entry)->text(), QStringLiteral("实测难度 0.90（1 次考试，20 人）"));
    entry->close();
    // Another user stores a question under the freed number 003: it carries no history.
    ws.exec(
        "INSERT INTO stb (kmh, txh, th, zjh, nd, fs, tm, da, time, bz) VALUES ('01','01','003','01','中等','5',"
        "'新题','答','9:00:00','')");
    ws.refreshDatasets();

    // Back from the recycle bin, 003 takes another number and reads its measurement again.
    QVERIFY(restoreInBin("试题 数学/填空题 第003题"));
    QCOMPARE(ws.count("stb", "tm='题003'"), 1);
    QVERIFY(ws.scalar("SELECT th FROM stb WHERE tm='题003'") != QStringLiteral("003"));
    entry = openEntry();
    QVERIFY(clickQuestion(entry, "题003"));
    QCOMPARE(measuredLabel(entry)->text(), QStringLiteral("实测难度 0.40（1 次考试，20 人）"));
    QVERIFY(clickQuestion(entry, "新题"));
    QVERIFY(measuredLabel(entry)->text().isEmpty());
    QVERIFY(clickQuestion(entry, "题001"));
    QVERIFY(measuredLabel(entry)->text().isEmpty());
}

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    MeasuredDifficultyEntryTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_measured_difficulty.moc"
