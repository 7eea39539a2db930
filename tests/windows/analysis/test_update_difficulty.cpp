// 更新难度: the difficulty measured in stored sittings proposed by two lines of P, the rows ticked
// where it differs from the bank's, and the ticked rows written in one transaction that a failure
// leaves without trace; questions deleted meanwhile are skipped with a message.
#include <QApplication>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include "analysis/measured_fixture.h"
#include "app/application.h"
#include "data/data_module.h"
#include "data/recycle.h"
#include "data/sql.h"
#include "test_support.h"
#include "windows/analysis/update_difficulty.h"

using measuredtest::idOf;
using testing::BoxAnswerer;
using testing::Workspace;

namespace {

// 数学 (01): 填空题 (01) 001–005 and 解答题 (02) 001, each worth 5 points. Their sitting (ten
// students) measures 001 at P 0.70, 002 at 0.69, 003 at 0.39, 004 at 0.40 and the 解答题 at 0.55;
// 005 sat no exam.
struct Bank {
    QVector<qint64> ids;  // 填空题 001–005, then 解答题 001
    library::StoredPaper paper;
};

Bank seed(Workspace& ws)
{
    ws.exec("INSERT INTO kmb (kmh, kmm) VALUES ('01','数学')");
    ws.exec("INSERT INTO txb (kmh, txh, txm, bz) VALUES ('01','01','填空题','0'), ('01','02','解答题','0')");
    ws.exec("INSERT INTO zjb (kmh, zjh, zjm, bz) VALUES ('01','01','第一章','0')");
    const QStringList nds = {"中等", "中等", "中等", "易", "较难"};
    for (int i = 0; i < nds.size(); ++i) {
        const QString th = QStringLiteral("00%1").arg(i + 1);
        ws.exec(
            "INSERT INTO stb (kmh, txh, th, zjh, nd, fs, tm, da, time, bz) VALUES ('01','01',?,'01',?,'5',?,?,"
            "'8:00:00','')",
            {th, nds.at(i), "题" + th, "答" + th});
    }
    ws.exec(
        "INSERT INTO stb (kmh, txh, th, zjh, nd, fs, tm, da, time, bz) VALUES ('01','02','001','01','中等','5',"
        "'解答一','答','8:00:00','')");
    ws.refreshDatasets();
    Bank bank;
    for (const char* th : {"001", "002", "003", "004", "005"}) bank.ids << idOf("01", "01", th);
    bank.ids << idOf("01", "02", "001");
    // 005 is not on the paper: it has no measurement.
    bank.paper = measuredtest::storePaperOf({bank.ids[0], bank.ids[1], bank.ids[2], bank.ids[3], bank.ids[5]});
    measuredtest::storeSittingOf(bank.paper, {0.70, 0.69, 0.39, 0.40, 0.55});
    return bank;
}

QString nd(const QString& txh, const QString& th)
{
    return sql::scalar(DM->db(), "SELECT nd FROM stb WHERE kmh='01' AND txh=? AND th=?", {txh, th});
}

QString cell(UpdateDifficultyDialog* dlg, int row, int column)
{
    const QTableWidgetItem* item = dlg->GridGxnd->item(row, column);
    return item ? item->text() : QStringLiteral("<空>");
}

// Every UPDATE of the 填空题 `th` fails (trigger `name`) once the 填空题 `other` holds `value`.
void failUpdateOnceWritten(Workspace& ws, const QString& name, const QString& th, const QString& other,
                           const QString& value)
{
    // Trigger bodies take no bound values: the numbers and the difficulty are fixed texts of the test.
    if (!testing::onServer()) {
        ws.exec(QStringLiteral("CREATE TRIGGER %1 BEFORE UPDATE ON stb WHEN NEW.txh='01' AND NEW.th='%2' AND"
                               " (SELECT nd FROM stb WHERE txh='01' AND th='%3')='%4'"
                               " BEGIN SELECT RAISE(ABORT, '难度写入失败'); END")
                    .arg(name, th, other, value));
        return;
    }
    ws.exec(QStringLiteral("CREATE FUNCTION %1() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN"
                           " IF NEW.txh='01' AND NEW.th='%2' AND (SELECT nd FROM stb WHERE txh='01' AND th='%3')='%4'"
                           " THEN RAISE EXCEPTION '难度写入失败'; END IF; RETURN NEW; END $$")
                .arg(name, th, other, value));
    ws.exec(QStringLiteral("CREATE TRIGGER %1 BEFORE UPDATE ON stb FOR EACH ROW EXECUTE FUNCTION %1()").arg(name));
}

}  // namespace

class UpdateDifficultyTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { app::setup(*qApp); }
    void cleanup() { testing::closeAllWindows(); }
    void proposesByTheLinesAndTicksWhereTheBankDiffers();
    void changingALineProposesAfreshAndCrossedLinesAreRefused();
    void applyingWritesOnlyTheTickedRows();
    void aFailureMidwayLeavesEveryQuestionAsItWas();
    void aQuestionDeletedMeanwhileIsSkippedWithAMessage();
    void aPapersQuestionsNoLongerInTheBankAreLeftOut();

private:
    testing::ModalGuard guard_;
};

void UpdateDifficultyTest::proposesByTheLinesAndTicksWhereTheBankDiffers()
{
    Workspace ws;
    const Bank bank = seed(ws);
    auto* dlg = new UpdateDifficultyDialog(DM->db(), bank.ids);
    dlg->show();
    QCOMPARE(dlg->objectName(), QStringLiteral("TGxndF"));
    QCOMPARE(dlg->windowTitle(), QStringLiteral("更新难度"));
    QCOMPARE(dlg->SpinYi->value(), 0.70);
    QCOMPARE(dlg->SpinNan->value(), 0.40);
    QCOMPARE(dlg->LabelYi->text(), QStringLiteral("易（P ≥）"));
    QCOMPARE(dlg->LabelNan->text(), QStringLiteral("难（P <）"));
    QCOMPARE(dlg->GridGxnd->rowCount(), 6);

    // 0.70 is 易 on the line; 0.69 is 中等 like the bank; 0.39 is 难; 0.40 is 中等 on the line.
    QCOMPARE(cell(dlg, 0, UpdateDifficultyDialog::ColumnTh), QStringLiteral("001"));
    QCOMPARE(cell(dlg, 0, UpdateDifficultyDialog::ColumnType), QStringLiteral("填空题"));
    QCOMPARE(cell(dlg, 0, UpdateDifficultyDialog::ColumnMeasured), QStringLiteral("实测难度 0.70（1 次考试，10 人）"));
    QCOMPARE(cell(dlg, 0, UpdateDifficultyDialog::ColumnChange), QStringLiteral("中等 → 易"));
    QCOMPARE(dlg->proposedAt(0), QStringLiteral("易"));
    QVERIFY(dlg->isTicked(0));
    QCOMPARE(dlg->proposedAt(1), QStringLiteral("中等"));
    QCOMPARE(cell(dlg, 1, UpdateDifficultyDialog::ColumnChange), QStringLiteral("中等（不变）"));
    QVERIFY(!dlg->isTicked(1));
    QCOMPARE(dlg->proposedAt(2), QStringLiteral("难"));
    QVERIFY(dlg->isTicked(2));
    QCOMPARE(dlg->proposedAt(3), QStringLiteral("中等"));
    QCOMPARE(cell(dlg, 3, UpdateDifficultyDialog::ColumnChange), QStringLiteral("易 → 中等"));
    QVERIFY(dlg->isTicked(3));

    // 005 sat no exam: greyed, no box, nothing proposed.
    QCOMPARE(cell(dlg, 4, UpdateDifficultyDialog::ColumnTh), QStringLiteral("005"));
    QCOMPARE(cell(dlg, 4, UpdateDifficultyDialog::ColumnMeasured), QStringLiteral("没有实测数据"));
    QCOMPARE(cell(dlg, 4, UpdateDifficultyDialog::ColumnChange), QStringLiteral("较难"));
    QVERIFY(!(dlg->GridGxnd->item(4, 0)->flags() & Qt::ItemIsUserCheckable));
    QVERIFY(!(dlg->GridGxnd->item(4, 0)->flags() & Qt::ItemIsEnabled));
    QVERIFY(dlg->proposedAt(4).isEmpty());
    QVERIFY(!dlg->isTicked(4));
    QVERIFY(dlg->LabelSm->text().contains("灰色的 1 道试题没有实测数据，不作更改。"));

    QCOMPARE(cell(dlg, 5, UpdateDifficultyDialog::ColumnType), QStringLiteral("解答题"));
    QCOMPARE(dlg->proposedAt(5), QStringLiteral("中等"));
    QVERIFY(!dlg->isTicked(5));

    // 全选 ticks every row with a box, 全不选 none.
    QTest::mouseClick(dlg->BtnQx, Qt::LeftButton);
    for (const int row : {0, 1, 2, 3, 5}) QVERIFY2(dlg->isTicked(row), qPrintable(QString::number(row)));
    QVERIFY(!dlg->isTicked(4));
    QVERIFY(!(dlg->GridGxnd->item(4, 0)->flags() & Qt::ItemIsUserCheckable));
    QTest::mouseClick(dlg->BtnQbx, Qt::LeftButton);
    for (int row = 0; row < 6; ++row) QVERIFY(!dlg->isTicked(row));

    // 取消 writes nothing.
    QTest::mouseClick(dlg->BtnQxiao, Qt::LeftButton);
    QVERIFY(!dlg->isVisible());
    QCOMPARE(dlg->result(), int(QDialog::Rejected));
    QCOMPARE(testing::joined("SELECT nd FROM stb ORDER BY id"), QStringLiteral("中等,中等,中等,易,较难,中等"));
}

void UpdateDifficultyTest::changingALineProposesAfreshAndCrossedLinesAreRefused()
{
    Workspace ws;
    const Bank bank = seed(ws);
    auto* dlg = new UpdateDifficultyDialog(DM->db(), bank.ids);
    dlg->show();
    // 易 from 0.69: 002 becomes 易 and is ticked.
    dlg->SpinYi->setValue(0.69);
    QCOMPARE(dlg->proposedAt(1), QStringLiteral("易"));
    QVERIFY(dlg->isTicked(1));
    QCOMPARE(cell(dlg, 1, UpdateDifficultyDialog::ColumnChange), QStringLiteral("中等 → 易"));
    // 难 below 0.41: 004 (0.40) becomes 难.
    dlg->SpinNan->setValue(0.41);
    QCOMPARE(dlg->proposedAt(3), QStringLiteral("难"));
    QCOMPARE(cell(dlg, 3, UpdateDifficultyDialog::ColumnChange), QStringLiteral("易 → 难"));
    // 难 below 0.39: 003 (0.39) is no longer 难 but 中等, as the bank has it: unticked.
    dlg->SpinNan->setValue(0.39);
    QCOMPARE(dlg->proposedAt(2), QStringLiteral("中等"));
    QVERIFY(!dlg->isTicked(2));
    QCOMPARE(dlg->proposedAt(3), QStringLiteral("中等"));
    QVERIFY(dlg->LabelJx->text().isEmpty());
    QVERIFY(dlg->BtnYy->isEnabled());

    // Typed in the box as a user does: 易 at 0.3 lies below 难 and is refused.
    dlg->SpinYi->selectAll();
    QTest::keyClicks(dlg->SpinYi, "0.30");
    QCOMPARE(dlg->SpinYi->value(), 0.30);
    QCOMPARE(dlg->LabelJx->text(), QStringLiteral("“易”的界线须高于“难”的界线（现为 0.30 和 0.39），请修改。"));
    QVERIFY(!dlg->BtnYy->isEnabled());
    QCOMPARE(dlg->proposedAt(1), QStringLiteral("易"));  // the last proposals stay
    BoxAnswerer boxes;
    QVERIFY(!dlg->apply());
    QCOMPARE(boxes.last(), QStringLiteral("“易”的界线须高于“难”的界线，请先修改界线。"));
    QCOMPARE(testing::joined("SELECT nd FROM stb ORDER BY id"), QStringLiteral("中等,中等,中等,易,较难,中等"));
    // Equal lines are refused too; set apart again they propose.
    dlg->SpinYi->setValue(0.39);
    QVERIFY(!dlg->BtnYy->isEnabled());
    dlg->SpinYi->setValue(0.75);
    QVERIFY(dlg->BtnYy->isEnabled());
    QVERIFY(dlg->LabelJx->text().isEmpty());
    QCOMPARE(dlg->proposedAt(0), QStringLiteral("中等"));
    QCOMPARE(dlg->proposedAt(1), QStringLiteral("中等"));
    QVERIFY(!dlg->isTicked(0));
}

void UpdateDifficultyTest::applyingWritesOnlyTheTickedRows()
{
    Workspace ws;
    const Bank bank = seed(ws);
    BoxAnswerer boxes;
    auto* dlg = new UpdateDifficultyDialog(DM->db(), bank.ids);
    dlg->show();
    // 003 unticked by its box: 001 and 004 are written, nothing else.
    dlg->GridGxnd->item(2, 0)->setCheckState(Qt::Unchecked);
    QTest::mouseClick(dlg->BtnYy, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("已更新 2 道试题的难度。"));
    QCOMPARE(dlg->result(), int(QDialog::Accepted));
    QVERIFY(!dlg->isVisible());
    QCOMPARE(nd("01", "001"), QStringLiteral("易"));
    QCOMPARE(nd("01", "002"), QStringLiteral("中等"));
    QCOMPARE(nd("01", "003"), QStringLiteral("中等"));
    QCOMPARE(nd("01", "004"), QStringLiteral("中等"));
    QCOMPARE(nd("01", "005"), QStringLiteral("较难"));
    QCOMPARE(nd("02", "001"), QStringLiteral("中等"));

    // Opened again, the questions written agree with their proposals and are not ticked.
    auto* again = new UpdateDifficultyDialog(DM->db(), bank.ids);
    again->show();
    QVERIFY(!again->isTicked(0));
    QVERIFY(again->isTicked(2));
    QVERIFY(!again->isTicked(3));
    // Nothing ticked: said so, nothing written, the dialog stays.
    QTest::mouseClick(again->BtnQbx, Qt::LeftButton);
    boxes.clear();
    QTest::mouseClick(again->BtnYy, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("没有勾选要更新难度的试题。"));
    QVERIFY(again->isVisible());
    QCOMPARE(nd("01", "003"), QStringLiteral("中等"));
}

void UpdateDifficultyTest::aFailureMidwayLeavesEveryQuestionAsItWas()
{
    Workspace ws;
    const Bank bank = seed(ws);
    // Of 001 (to 易) and 004 (to 中等), the one written second fails.
    failUpdateOnceWritten(ws, "fail_nd_004", "004", "001", "易");
    failUpdateOnceWritten(ws, "fail_nd_001", "001", "004", "中等");
    BoxAnswerer boxes;
    auto* dlg = new UpdateDifficultyDialog(DM->db(), bank.ids);
    dlg->show();
    QTest::mouseClick(dlg->BtnQx, Qt::LeftButton);
    QTest::mouseClick(dlg->BtnYy, Qt::LeftButton);
    QVERIFY2(boxes.last().startsWith("难度没有更新，所有试题保持原样。"), qPrintable(boxes.texts.join('\n')));
    QVERIFY(dlg->isVisible());
    QCOMPARE(testing::joined("SELECT nd FROM stb ORDER BY id"), QStringLiteral("中等,中等,中等,易,较难,中等"));
}

void UpdateDifficultyTest::aQuestionDeletedMeanwhileIsSkippedWithAMessage()
{
    Workspace ws;
    const Bank bank = seed(ws);
    BoxAnswerer boxes;
    auto* dlg = new UpdateDifficultyDialog(DM->db(), bank.ids);
    dlg->show();
    QVERIFY(dlg->isTicked(2));
    // Another user puts 003 into the recycle bin while the dialog is open.
    QSqlDatabase other = testing::openOtherConnection(ws, "other");
    sql::transaction(other,
                     [&] { recycle::removeKept(other, recycle::keepQuestion(other, "01", "01", "003", "office")); });
    testing::closeOtherConnection("other");
    QTest::mouseClick(dlg->BtnYy, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("已更新 2 道试题的难度。\n填空题第003题已被删除，已跳过。"));
    QCOMPARE(nd("01", "001"), QStringLiteral("易"));
    QCOMPARE(nd("01", "004"), QStringLiteral("中等"));
    QCOMPARE(ws.count("stb", "txh='01' AND th='003'"), 0);

    // Back from the bin it is as it was, with its measurement.
    sql::transaction(DM->db(),
                     [&] { recycle::restore(DM->db(), ws.scalar("SELECT MAX(id) FROM recycle_items").toLongLong()); });
    QCOMPARE(nd("01", "003"), QStringLiteral("中等"));
    auto* again = new UpdateDifficultyDialog(DM->db(), {bank.ids[2]});
    again->show();
    QCOMPARE(cell(again, 0, UpdateDifficultyDialog::ColumnMeasured),
             QStringLiteral("实测难度 0.39（1 次考试，10 人）"));

    // Every ticked question gone: nothing written, said so.
    sql::transaction(
        DM->db(), [&] { recycle::removeKept(DM->db(), recycle::keepQuestion(DM->db(), "01", "01", "003", "admin")); });
    boxes.clear();
    QTest::mouseClick(again->BtnYy, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("填空题第003题已被删除，已跳过。没有更新任何试题的难度。"));
    QVERIFY(again->isVisible());
}

void UpdateDifficultyTest::aPapersQuestionsNoLongerInTheBankAreLeftOut()
{
    Workspace ws;
    const Bank bank = seed(ws);
    sql::transaction(
        DM->db(), [&] { recycle::removeKept(DM->db(), recycle::keepQuestion(DM->db(), "01", "02", "001", "admin")); });
    auto* dlg = UpdateDifficultyDialog::forPaper(DM->db(), bank.paper.id);
    dlg->show();
    QCOMPARE(dlg->GridGxnd->rowCount(), 4);
    QStringList numbers;
    for (int row = 0; row < 4; ++row) numbers << cell(dlg, row, UpdateDifficultyDialog::ColumnTh);
    QCOMPARE(numbers, QStringList({"001", "002", "003", "004"}));
    QVERIFY2(dlg->LabelSm->text().endsWith("另有 1 道试题已不在题库中，未列出。"), qPrintable(dlg->LabelSm->text()));
    QVERIFY(!dlg->LabelSm->text().contains("灰色"));
}

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    UpdateDifficultyTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_update_difficulty.moc"
