// The recycle bin: deletions of the maintenance dialogs move rows into it, the 回收站 window gives
// them back (numbers and names kept where free), and it empties by age; nothing in it shows up in
// lists, numbering or composing; a deletion killed halfway leaves the bank as it was.
#include <QAction>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <cstdio>

#include "windows/wizard/wizard_fixture.h"
#include "app/application.h"
#include "ui/forms.h"
#include "app/main_window.h"
#include "windows/bank/question_entry.h"
#include "windows/bank/question_type_settings.h"
#include "windows/bank/recycle_bin.h"
#include "windows/bank/subject_settings.h"
#include "data/data_module.h"
#include "data/engine.h"
#include "data/recycle.h"
#include "data/sql.h"
#include "test_support.h"
#include "data/current_user.h"

using testing::BoxAnswerer;
using testing::Workspace;

namespace {

// 物理 (01) with 3 types and 5 chapters, 化学 (02) with one of each and 2 questions.
void seed(Workspace& ws)
{
    ws.exec("INSERT INTO kmb (kmh, kmm) VALUES ('01','物理'), ('02','化学')");
    ws.exec(
        "INSERT INTO txb (kmh, txh, txm, bz) VALUES ('01','01','选择题','0'), ('01','02','填空题','0'),"
        " ('01','03','计算题','0'), ('02','01','选择题','0')");
    ws.exec(
        "INSERT INTO zjb (kmh, zjh, zjm, bz) VALUES ('01','01','力学','0'), ('01','02','热学','0'),"
        " ('01','03','光学','0'), ('01','04','电学','0'), ('01','05','原子','0'), ('02','01','元素','0')");
    ws.exec(
        "INSERT INTO stb (kmh, txh, th, zjh, nd, fs, tm, da, time, bz) VALUES"
        " ('02','01','001','01','易','5','化1','答','8:00:00',''), "
        "('02','01','002','01','难','5','化2','答','8:00:00','')");
}

// `count` questions of 物理 spread over its three types and five chapters, numbered per type.
void addPhysicsQuestions(Workspace& ws, int count)
{
    QVector<QVariantList> rows;
    rows.reserve(count);
    const auto code = [](int n, int width) { return QStringLiteral("%1").arg(n, width, 10, QLatin1Char('0')); };
    for (int i = 1; i <= count; ++i) {
        const QString n = QString::number(i);
        rows.append({QStringLiteral("01"), code((i - 1) % 3 + 1, 2), code((i + 2) / 3, 3), code(i % 5 + 1, 2),
                     QStringLiteral("中等"), QStringLiteral("4"), QStringLiteral("题目") + n, QStringLiteral("答案") + n,
                     QStringLiteral("9:00:00"), QStringLiteral("b") + n});
    }
    testing::insertRows(ws, QStringLiteral("stb"), {"kmh", "txh", "th", "zjh", "nd", "fs", "tm", "da", "time", "bz"},
                        rows);
}

// Every row of the four bank tables, with its id, in read order.
QString dump(Workspace&)
{
    QString out;
    for (const char* statement :
         {"SELECT id, kmh, kmm FROM kmb ORDER BY id", "SELECT id, kmh, txh, txm, bz FROM txb ORDER BY id",
          "SELECT id, kmh, zjh, zjm, bz FROM zjb ORDER BY id",
          "SELECT id, kmh, txh, th, zjh, nd, fs, tm, da, time, bz FROM stb ORDER BY id"}) {
        sql::Reader q(DM->db(), QString::fromLatin1(statement));
        while (q.next()) {
            for (int c = 0; c < q.columnCount(); ++c) out += q.text(c) + QLatin1Char('|');
            out += QLatin1Char('\n');
        }
    }
    return out;
}

int binCount(Workspace& ws, const char* table)
{
    return ws.count(QString::fromLatin1(table));
}

void deleteSubject(const QString& name)
{
    auto* dlg = new TKmszF(MainF);
    dlg->show();
    dlg->EditKm->setText(name);
    QTest::mouseClick(dlg->BtnSCKM, Qt::LeftButton);
    dlg->close();
}

THszF* openBin()
{
    QAction* action = MainF->HSZ;
    if (!action || !action->isEnabled()) return nullptr;
    auto* dlg = new THszF(MainF);
    dlg->show();
    return dlg;
}

int rowOf(THszF* bin, const QString& summaryStart)
{
    for (int row = 0; row < bin->GridHsz->rowCount(); ++row) {
        if (bin->GridHsz->item(row, 0)->text().startsWith(summaryStart)) return row;
    }
    return -1;
}

bool restoreRow(THszF* bin, const QString& summaryStart)
{
    const int row = rowOf(bin, summaryStart);
    if (row < 0) return false;
    bin->GridHsz->selectRow(row);
    QTest::mouseClick(bin->BtnHy, Qt::LeftButton);
    return true;
}

TLrstF* openEntry(const QString& subject, const QString& type)
{
    MainF->fillSubjectBox();
    MainF->ComboBoxKmm->setEditText(subject);
    auto* dlg = new TLrstF(MainF);
    dlg->show();
    dlg->ComboBoxTx->setCurrentText(type);
    dlg->ComboBoxTxChange();
    // Questions are stored with a score.
    if (dlg->EditFs->text().isEmpty()) dlg->EditFs->setText(QStringLiteral("2"));
    return dlg;
}

QStringList gridNumbers()
{
    QStringList numbers;
    Dataset* q = DM->ADOQuerySt;
    for (int row = 0; row < q->recordCount(); ++row) numbers << q->valueAt(row, q->fieldIndex(QStringLiteral("TH")));
    return numbers;
}

void storeQuestion(TLrstF* dlg, const QString& text)
{
    dlg->MemoTm->setPlainText(text);
    QTest::mouseClick(dlg->BtnXtrk, Qt::LeftButton);
}

void deleteGridRow(TLrstF* dlg, int row)
{
    DM->ADOQuerySt->setRecNo(row);
    QTest::mouseClick(dlg->BtnStsc, Qt::LeftButton);
}

}  // namespace

class RecycleBinTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void aDeletedSubjectOf30000QuestionsComesBackRowForRow();
    void numbersStayInOrderAndATakenNumberIsReplacedAndReported();
    void theBinTakesNoPartInListsOrComposing();
    void takenNamesAskForANewNameAndTakenCodesGetTheNextOne();
    void emptyingAsksFirstAndTheAgeLimitSparesNewerItems();
    void anOlderBankGetsTheBinWhenOpened();
    void killedDeletionLeavesTheBankAsItWas();
    void aChapterWhoseTypeWasDeletedSinceIsRefused();
    void aQuestionGoesBackIntoItsRenumberedType();
};

// Deleted in one transaction, as the maintenance dialogs do.
template <typename Keep>
void deleteKept(Keep keep)
{
    sql::transaction(DM->db(), [&] { recycle::removeKept(DM->db(), keep()); });
    DM->ADOStb->refresh();
}

void RecycleBinTest::initTestCase()
{
    app::setup(*qApp);
}

void RecycleBinTest::init()
{
    current_user::name() = QStringLiteral("admin");
}

void RecycleBinTest::aDeletedSubjectOf30000QuestionsComesBackRowForRow()
{
    Workspace ws;
    seed(ws);
    addPhysicsQuestions(ws, 30000);
    ws.refreshDatasets();
    const QString before = dump(ws);
    BoxAnswerer boxes;
    boxes.queue(QMessageBox::Ok);
    deleteSubject("物理");
    QCOMPARE(boxes.texts.first().section('\n', 0, 0), QStringLiteral("请确认是否删除科目“物理”及其所有题目？"));
    QVERIFY2(boxes.texts.first().contains(QStringLiteral("其中 30000 道试题将移入回收站")),
             qPrintable(boxes.texts.first()));
    QCOMPARE(ws.count("stb", "kmh='01'"), 0);
    QCOMPARE(ws.count("kmb"), 1);
    QCOMPARE(binCount(ws, "recycle_stb"), 30000);
    QCOMPARE(binCount(ws, "recycle_txb"), 3);
    QCOMPARE(binCount(ws, "recycle_zjb"), 5);

    THszF* bin = openBin();
    QVERIFY(bin);
    QCOMPARE(bin->GridHsz->rowCount(), 1);
    QCOMPARE(bin->GridHsz->item(0, 0)->text(), QStringLiteral("科目 物理：3 个题型，5 个章节，30000 道题"));
    QVERIFY(bin->GridHsz->item(0, 1)->text().startsWith(QDate::currentDate().toString("yyyy-MM-dd")));
    QCOMPARE(bin->GridHsz->item(0, 2)->text(), QStringLiteral("admin"));

    boxes.clear();
    QVERIFY(restoreRow(bin, "科目 物理"));
    QCOMPARE(boxes.texts.size(), 1);
    QVERIFY2(boxes.last().startsWith("已恢复：科目 物理"), qPrintable(boxes.last()));
    QCOMPARE(bin->GridHsz->rowCount(), 0);
    // Every row is back under its old code and number, in its old place.
    QCOMPARE(dump(ws), before);
    for (const char* table : {"recycle_items", "recycle_kmb", "recycle_txb", "recycle_zjb", "recycle_stb"}) {
        QCOMPARE(binCount(ws, table), 0);
    }
    // Closing the window puts the subject back into the main window's subject box.
    bin->close();
    QCOMPARE(MainF->ComboBoxKmm->count(), 2);
}

void RecycleBinTest::numbersStayInOrderAndATakenNumberIsReplacedAndReported()
{
    Workspace ws;
    seed(ws);
    BoxAnswerer boxes;
    TLrstF* entry = openEntry("物理", "选择题");
    for (const char* t : {"a", "b", "c", "d"}) storeQuestion(entry, t);
    QCOMPARE(gridNumbers(), (QStringList{"001", "002", "003", "004"}));
    deleteGridRow(entry, 1);  // 002 from the middle
    deleteGridRow(entry, 2);  // 004, the last
    QCOMPARE(gridNumbers(), (QStringList{"001", "003"}));
    QCOMPARE(binCount(ws, "recycle_stb"), 2);
    // The bin does not count for numbering: the last number is given again.
    storeQuestion(entry, "e");
    QCOMPARE(gridNumbers(), (QStringList{"001", "003", "004"}));

    THszF* bin = openBin();
    QCOMPARE(bin->GridHsz->item(0, 0)->text(), QStringLiteral("试题 物理/选择题 第004题：d"));
    QCOMPARE(bin->GridHsz->item(1, 0)->text(), QStringLiteral("试题 物理/选择题 第002题：b"));
    // 002 is free and goes back into its old place; 004 has been given again and becomes 005.
    boxes.clear();
    QVERIFY(restoreRow(bin, "试题 物理/选择题 第002题"));
    QCOMPARE(boxes.last(), QStringLiteral("已恢复：试题 物理/选择题 第002题：b"));
    QVERIFY(restoreRow(bin, "试题 物理/选择题 第004题"));
    QVERIFY2(boxes.last().contains("题型“选择题”的第004题已被占用，恢复为第005题。"), qPrintable(boxes.last()));
    QVERIFY(bin->LabelZt->text().contains("恢复为第005题"));
    QCOMPARE(ws.scalar("SELECT th FROM stb WHERE tm='d'"), QStringLiteral("005"));
    bin->close();
    entry->ComboBoxTxChange();
    QCOMPARE(gridNumbers(), (QStringList{"001", "002", "003", "004", "005"}));
    // Numbering goes on after the highest number.
    storeQuestion(entry, "f");
    QCOMPARE(ws.scalar("SELECT th FROM stb WHERE tm='f'"), QStringLiteral("006"));

    // A free number that no longer fits between its neighbours goes last instead, so that the
    // next number stays unused: delete 005 and 006, add 005 again, restore the old 006.
    deleteGridRow(entry, 5);
    deleteGridRow(entry, 4);
    storeQuestion(entry, "g");
    QCOMPARE(ws.scalar("SELECT th FROM stb WHERE tm='g'"), QStringLiteral("005"));
    bin = openBin();
    QVERIFY(restoreRow(bin, "试题 物理/选择题 第006题"));
    bin->close();
    entry->ComboBoxTxChange();
    QCOMPARE(gridNumbers(), (QStringList{"001", "002", "003", "004", "005", "006"}));
    storeQuestion(entry, "h");
    QCOMPARE(ws.scalar("SELECT th FROM stb WHERE tm='h'"), QStringLiteral("007"));
}

void RecycleBinTest::theBinTakesNoPartInListsOrComposing()
{
    Workspace ws;
    wizardtest::seedSubjects(ws);
    wizardtest::addQuestions(ws, "01", "01", "01", 1, 6);
    wizardtest::addQuestions(ws, "01", "02", "01", 1, 3);
    ws.refreshDatasets();
    BoxAnswerer boxes;
    // Delete 填空题 with its questions, and two questions of 选择题.
    auto* types = new TTxszF(MainF);
    MainF->fillSubjectBox();
    types->show();
    types->EditTxm->setText("填空题");
    boxes.queue(QMessageBox::Ok);
    QTest::mouseClick(types->BtnSctx, Qt::LeftButton);
    QVERIFY(!wizardtest::lines(types->ListBoxTxm).contains("填空题"));
    types->close();
    TLrstF* entry = openEntry("数学", "选择题");
    deleteGridRow(entry, 5);
    deleteGridRow(entry, 0);
    QCOMPARE(gridNumbers(), (QStringList{"002", "003", "004", "005"}));
    QCOMPARE(entry->ComboBoxTx->count(), 2);
    // Searching finds nothing that is in the bin.
    entry->EditTh->setText("1");
    QTest::mouseClick(entry->BtnSs, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("题号“1”不存在，请重新输入题号！"));
    entry->close();
    QCOMPARE(binCount(ws, "recycle_stb"), 5);

    // Composing: step 2 offers neither the deleted type nor the deleted questions.
    MainF->fillSubjectBox();
    TXxszF* step2 = wizardtest::openStepTwo();
    QVERIFY(!wizardtest::lines(step2->ListBoxTx).contains("填空题"));
    wizardtest::tick(step2, "第一章");
    QCOMPARE(step2->EditBxTs->text(), QStringLiteral("4"));
    step2->EditTs->setText("4");
    step2->EditZf->setText("20");
    QTest::mouseClick(step2->SBtnQbyr, Qt::LeftButton);
    QCOMPARE(ws.count("sjb"), 4);
    QCOMPARE(ws.count("sjb", "th IN ('001','006')"), 0);
}

void RecycleBinTest::takenNamesAskForANewNameAndTakenCodesGetTheNextOne()
{
    Workspace ws;
    seed(ws);
    addPhysicsQuestions(ws, 30);
    ws.refreshDatasets();
    BoxAnswerer boxes;
    boxes.queue(QMessageBox::Ok);
    deleteSubject("化学");
    // A new 化学 takes the name and, being added after the last subject, the code 02 again.
    auto* subjects = new TKmszF(MainF);
    subjects->show();
    subjects->EditKm->setText("化学");
    QTest::mouseClick(subjects->BtnZJKM, Qt::LeftButton);
    subjects->close();
    QCOMPARE(ws.scalar("SELECT kmh FROM kmb WHERE kmm='化学'"), QStringLiteral("02"));

    QStringList asked;
    QString answer;
    boxes.onOtherModal = [&](QWidget* w) {
        auto* ask = qobject_cast<QInputDialog*>(w);
        if (!ask || ask->objectName() != QLatin1String("NameDialog")) return false;
        asked << ask->labelText();
        if (answer.isEmpty()) {
            ask->reject();
        } else {
            ask->setTextValue(answer);
            ask->accept();
        }
        return true;
    };
    THszF* bin = openBin();
    // Giving up leaves the item in the bin.
    QVERIFY(restoreRow(bin, "科目 化学"));
    QCOMPARE(asked, QStringList{"科目名称“化学”已被使用，请输入恢复后的新名称："});
    QCOMPARE(bin->GridHsz->rowCount(), 1);
    QCOMPARE(ws.count("kmb"), 2);
    // A new name that is free is used; the code 02 is taken, so the subject gets 03 and its
    // type, chapter and questions follow it.
    answer = QStringLiteral("化学（旧）");
    QVERIFY(restoreRow(bin, "科目 化学"));
    QVERIFY2(boxes.last().contains("恢复后的名称为“化学（旧）”"), qPrintable(boxes.last()));
    QCOMPARE(ws.scalar("SELECT kmh FROM kmb WHERE kmm='化学（旧）'"), QStringLiteral("03"));
    QCOMPARE(ws.count("txb", "kmh='03' AND txm='选择题'"), 1);
    QCOMPARE(ws.count("zjb", "kmh='03' AND zjm='元素'"), 1);
    QCOMPARE(testing::joined("SELECT th FROM stb WHERE kmh='03' ORDER BY id"), QStringLiteral("001,002"));
    QCOMPARE(ws.count("stb", "kmh='02'"), 0);

    // A type whose name is taken again in its subject asks the same way.
    auto* types = new TTxszF(MainF);
    MainF->fillSubjectBox();
    MainF->ComboBoxKmm->setEditText("物理");
    types->show();
    types->EditTxm->setText("计算题");
    boxes.queue(QMessageBox::Ok);
    QTest::mouseClick(types->BtnSctx, Qt::LeftButton);
    types->EditTxm->setText("计算题");
    QTest::mouseClick(types->BtnZjtx, Qt::LeftButton);
    types->close();
    QCOMPARE(ws.scalar("SELECT txh FROM txb WHERE kmh='01' AND txm='计算题'"), QStringLiteral("03"));
    bin->FormShow();
    asked.clear();
    answer = QStringLiteral("计算题二");
    QVERIFY(restoreRow(bin, "题型 物理/计算题：10 道题"));
    QCOMPARE(asked, QStringList{"题型名称“计算题”已被使用，请输入恢复后的新名称："});
    QCOMPARE(ws.scalar("SELECT txh FROM txb WHERE kmh='01' AND txm='计算题二'"), QStringLiteral("04"));
    QCOMPARE(ws.count("stb", "kmh='01' AND txh='04'"), 10);
    QCOMPARE(ws.count("stb", "kmh='01' AND txh='03'"), 0);
}

void RecycleBinTest::emptyingAsksFirstAndTheAgeLimitSparesNewerItems()
{
    Workspace ws;
    seed(ws);
    addPhysicsQuestions(ws, 9);
    ws.refreshDatasets();
    BoxAnswerer boxes;
    TLrstF* entry = openEntry("物理", "选择题");
    for (int i = 0; i < 3; ++i) deleteGridRow(entry, 0);
    entry->close();
    QCOMPARE(binCount(ws, "recycle_items"), 3);
    const QString old = recycle::timestamp(QDateTime::currentDateTime().addDays(-40));
    ws.exec("UPDATE recycle_items SET deleted_at=? WHERE id IN (SELECT id FROM recycle_items ORDER BY id LIMIT 2)",
            {old});

    THszF* bin = openBin();
    bin->EditTs->setValue(30);
    boxes.clear();
    boxes.queue(QMessageBox::Cancel);
    QTest::mouseClick(bin->BtnQc, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("确认永久删除回收站中 30 天以前删除的 2 项吗？删除后无法恢复。"));
    QCOMPARE(binCount(ws, "recycle_items"), 3);
    QTest::mouseClick(bin->BtnQc, Qt::LeftButton);
    QCOMPARE(binCount(ws, "recycle_items"), 1);
    QCOMPARE(binCount(ws, "recycle_stb"), 1);
    QCOMPARE(bin->GridHsz->rowCount(), 1);
    QCOMPARE(bin->GridHsz->item(0, 0)->text(), QStringLiteral("试题 物理/选择题 第003题：题目7"));
    bin->EditTs->setValue(50);
    QTest::mouseClick(bin->BtnQc, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("回收站中没有 50 天以前删除的项目。"));

    boxes.queue(QMessageBox::Cancel);
    QTest::mouseClick(bin->BtnQk, Qt::LeftButton);
    QCOMPARE(boxes.last(), QStringLiteral("确认清空回收站吗？其中的 1 项将被永久删除，无法恢复。"));
    QCOMPARE(binCount(ws, "recycle_items"), 1);
    QTest::mouseClick(bin->BtnQk, Qt::LeftButton);
    QCOMPARE(binCount(ws, "recycle_items"), 0);
    QCOMPARE(binCount(ws, "recycle_stb"), 0);
    QVERIFY(!bin->BtnHy->isEnabled());
    QCOMPARE(ws.count("stb", "kmh='01'"), 6);  // the bank itself is untouched
}

void RecycleBinTest::anOlderBankGetsTheBinWhenOpened()
{
    Workspace ws({{QStringLiteral("admin"), QStringLiteral("pw"), 3}}, false);
    {
        QSqlDatabase db = testing::openOtherConnection(ws, QStringLiteral("older"));
        for (const char* table : {"recycle_items", "recycle_kmb", "recycle_txb", "recycle_zjb", "recycle_stb"}) {
            sql::run(db, QStringLiteral("DROP TABLE %1").arg(QString::fromLatin1(table)));
        }
    }
    testing::closeOtherConnection(QStringLiteral("older"));
    ws.connect();
    seed(ws);
    ws.refreshDatasets();
    BoxAnswerer boxes;
    boxes.queue(QMessageBox::Ok);
    deleteSubject("化学");
    QCOMPARE(binCount(ws, "recycle_stb"), 2);
    QCOMPARE(ws.count("stb", "kmh='02'"), 0);
}

// The other program: "--delete-subject <folder> <name>" logs in on the bank in <folder> as the
// program does and deletes the subject through 科目设置, answering OK.
static int deleteSubjectInChild(int argc, char** argv)
{
    QApplication application(argc, argv);
    app::setup(application);
    QDir::setCurrent(QString::fromLocal8Bit(argv[2]));
    DM = new TDM(qApp);
    MainF = new TMainF(nullptr);
    DM->connectToBank(engine::chooseLocation({}, QDir::currentPath()));
    BoxAnswerer boxes;
    std::printf("deleting\n");
    std::fflush(stdout);
    deleteSubject(QString::fromUtf8(argv[3]));
    std::printf("deleted\n");
    std::fflush(stdout);
    return 0;
}

void RecycleBinTest::killedDeletionLeavesTheBankAsItWas()
{
    Workspace ws({{QStringLiteral("admin"), QStringLiteral("pw"), 3}}, false);
    ws.connect();
    seed(ws);
    addPhysicsQuestions(ws, 30000);
    const QString before = dump(ws);
    DM->disconnectFromBank();

    // The child is killed while its transaction is open: a file's rollback journal exists from the
    // first write until the commit; on a server its session holds row-write locks until then.
    const QString journal = ws.databasePath() + QStringLiteral("-journal");
    const QString probeName = QStringLiteral("probe");
    QSqlDatabase probe;
    if (testing::onServer()) probe = testing::openOtherConnection(ws, probeName);
    QByteArray output;
    QProcess child;
    const auto writing = [&] {
        if (!testing::onServer()) return QFile::exists(journal);
        // Other writes while the child logs in do not count: only those after it started deleting.
        if (child.waitForReadyRead(1)) output += child.readAllStandardOutput();
        if (!output.contains("deleting")) return false;
        return sql::scalar(probe, QStringLiteral("SELECT COUNT(*) FROM pg_locks WHERE mode=? AND pid<>pg_backend_pid()"
                                                 " AND database=(SELECT oid FROM pg_database WHERE datname=current_database())"),
                           {QStringLiteral("RowExclusiveLock")})
                   .toInt() > 0;
    };
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--delete-subject"), ws.root(), QStringLiteral("物理")});
    QVERIFY(child.waitForStarted(10000));
    QElapsedTimer waited;
    waited.start();
    bool caught = false;
    while (!caught && child.state() == QProcess::Running && waited.elapsed() < 60000) {
        if (writing()) {
            child.kill();
            caught = true;
        }
    }
    if (probe.isValid()) {
        probe = QSqlDatabase();
        testing::closeOtherConnection(probeName);
    }
    QVERIFY2(caught, "the deletion ended before it could be interrupted");
    QVERIFY(child.waitForFinished(10000));
    output += child.readAllStandardOutput();
    QVERIFY(output.contains("deleting"));
    QVERIFY(!output.contains("deleted"));

    // Opened again, the bank holds everything it held, and the bin nothing.
    ws.connect();
    QCOMPARE(dump(ws), before);
    QCOMPARE(binCount(ws, "recycle_items"), 0);
    QCOMPARE(binCount(ws, "recycle_stb"), 0);

    // Run to its end, the same deletion moves everything at once.
    DM->disconnectFromBank();
    QProcess again;
    again.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--delete-subject"), ws.root(), QStringLiteral("物理")});
    QVERIFY(again.waitForFinished(120000));
    QVERIFY(again.readAllStandardOutput().contains("deleted"));
    ws.connect();
    QCOMPARE(ws.count("stb", "kmh='01'"), 0);
    QCOMPARE(binCount(ws, "recycle_stb"), 30000);
    QCOMPARE(binCount(ws, "recycle_items"), 1);
}

int main(int argc, char** argv)
{
    if (argc == 4 && qstrcmp(argv[1], "--delete-subject") == 0) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return deleteSubjectInChild(argc, argv);
    }
    QApplication application(argc, argv);
    RecycleBinTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_recycle_bin.moc"

// A chapter's questions of a type deleted after the chapter cannot go back: not while the type is
// gone, nor once a new type has taken its code (they would land in that other type).
void RecycleBinTest::aChapterWhoseTypeWasDeletedSinceIsRefused()
{
    Workspace ws;
    seed(ws);
    addPhysicsQuestions(ws, 30);
    ws.refreshDatasets();
    BoxAnswerer boxes;
    deleteKept([] { return recycle::keepChapter(DM->db(), "01", "02", "admin"); });  // 热学: 6 questions
    deleteKept([] { return recycle::keepType(DM->db(), "01", "03", "admin"); });     // 计算题
    const QString before = dump(ws);
    THszF* bin = openBin();
    QVERIFY(restoreRow(bin, "章节 物理/热学"));
    QVERIFY2(boxes.last().contains("章节“热学”中有试题所属的题型已被删除"), qPrintable(boxes.last()));
    QCOMPARE(dump(ws), before);
    bin->close();

    // A new type takes the free code 03; the chapter is still refused and nothing lands in it.
    ws.exec("INSERT INTO txb (kmh, txh, txm, bz) VALUES ('01','03','简答题','0')");
    const QString withNewType = dump(ws);
    boxes.clear();
    bin = openBin();
    QVERIFY(restoreRow(bin, "章节 物理/热学"));
    QVERIFY2(boxes.last().contains("章节“热学”中有试题所属的题型已被删除"), qPrintable(boxes.last()));
    QCOMPARE(dump(ws), withNewType);
    QCOMPARE(ws.count("recycle_items", "kind='zjb'"), 1);
    QCOMPARE(ws.count("stb", "kmh='01' AND txh='03'"), 0);
    bin->close();

    // Once the type is back, the chapter goes back with it.
    ws.exec("DELETE FROM txb WHERE txm='简答题'");
    bin = openBin();
    QVERIFY(restoreRow(bin, "题型 物理/计算题"));
    QVERIFY(restoreRow(bin, "章节 物理/热学"));
    QCOMPARE(ws.count("stb", "kmh='01' AND zjh='02'"), 6);
    QCOMPARE(ws.count("recycle_items"), 0);
}

// A single question goes back into the type of its name, under the code that type holds now,
// not into another type that has taken its old code meanwhile.
void RecycleBinTest::aQuestionGoesBackIntoItsRenumberedType()
{
    Workspace ws;
    seed(ws);
    addPhysicsQuestions(ws, 9);  // 选择题 001–003
    ws.refreshDatasets();
    BoxAnswerer boxes;
    deleteKept([] { return recycle::keepQuestion(DM->db(), "01", "01", "002", "admin"); });
    // 选择题 now holds code 04 and 判断题 its old code 01.
    ws.exec("UPDATE txb SET txh='04' WHERE kmh='01' AND txm='选择题'");
    ws.exec("UPDATE stb SET txh='04' WHERE kmh='01' AND txh='01'");
    ws.exec("INSERT INTO txb (kmh, txh, txm, bz) VALUES ('01','01','判断题','0')");
    THszF* bin = openBin();
    QVERIFY(restoreRow(bin, "试题 物理/选择题 第002题"));
    QCOMPARE(ws.scalar("SELECT txh || '/' || th FROM stb WHERE tm='题目4'"), QStringLiteral("04/002"));
    QCOMPARE(ws.count("stb", "kmh='01' AND txh='01'"), 0);
    QCOMPARE(testing::joined("SELECT th FROM stb WHERE kmh='01' AND txh='04' ORDER BY id"),
             QStringLiteral("001,002,003"));
}
