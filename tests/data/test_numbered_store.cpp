// Storing a numbered question as 试题入库 stores it, on a file and on a server (where the whole
// store is one call of the bank's store function): the number after unusual last numbers, a number
// another user took, a last number that is no integer, a store inside a longer transaction, the
// whole-table dataset following the new row, and the requests one store sends to a server.
#include <QLibrary>
#include <QSqlDriver>
#include <QTemporaryFile>
#include <QTest>
#include <cstdio>

#include "data/data_module.h"
#include "data/dataset.h"
#include "data/engine.h"
#include "data/errors.h"
#include "data/numbering.h"
#include "data/sql.h"
#include "test_support.h"

using testing::Workspace;

namespace {

const QString kKmh = QStringLiteral("01");
const QString kTxh = QStringLiteral("01");

void seedPlaces(Workspace& ws)
{
    ws.exec(QStringLiteral("INSERT INTO kmb (kmh, kmm) VALUES ('01','数学')"));
    ws.exec(
        QStringLiteral("INSERT INTO txb (kmh, txh, txm, bz) VALUES ('01','01','选择题','0'),('01','02','填空题','0')"));
    ws.exec(QStringLiteral("INSERT INTO zjb (kmh, zjh, zjm, bz) VALUES ('01','01','函数','0')"));
    ws.refreshDatasets();
}

QString store(const QString& text, const QString& zjh = QStringLiteral("01"))
{
    return numbering::storeQuestion(DM->db(), DM->ADOStb, kKmh, kTxh,
                                    {{QStringLiteral("zjh"), zjh},
                                     {QStringLiteral("nd"), QStringLiteral("易")},
                                     {QStringLiteral("fs"), QStringLiteral("5")},
                                     {QStringLiteral("tm"), text},
                                     {QStringLiteral("da"), QStringLiteral("答")},
                                     {QStringLiteral("time"), QStringLiteral("9:00:00")}});
}

void addWithNumber(Workspace& ws, const QString& th)
{
    ws.exec(QStringLiteral("INSERT INTO stb (kmh, txh, th, tm) VALUES ('01','01',?,'先有的题')"), {th});
}

// The requests a server connection sends while `work` runs, from libpq's own trace of the
// protocol: each simple query and each Sync of the extended protocol waits for the server's answer.
int requestsSentDuring(const QSqlDatabase& db, const std::function<void()>& work)
{
    QLibrary libpq(QStringLiteral("pq"), 5);
    using Trace = void (*)(void*, FILE*);
    using Untrace = void (*)(void*);
    const auto trace = reinterpret_cast<Trace>(libpq.resolve("PQtrace"));
    const auto untrace = reinterpret_cast<Untrace>(libpq.resolve("PQuntrace"));
    if (!trace || !untrace) qFatal("libpq gives no PQtrace");
    const QVariant handle = db.driver()->handle();
    void* conn = *static_cast<void* const*>(handle.data());
    QTemporaryFile log;
    if (!log.open()) qFatal("no trace file");
    FILE* file = fopen(QFile::encodeName(log.fileName()).constData(), "w");
    trace(conn, file);
    work();
    untrace(conn);
    fclose(file);
    int requests = 0;
    for (const QByteArray& line : log.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        // timestamp, direction, length, message type, ...
        const int at = fields.indexOf("F");
        if (at < 0 || at + 2 >= fields.size()) continue;
        if (fields[at + 2] == "Query" || fields[at + 2] == "Sync") ++requests;
    }
    return requests;
}

}  // namespace

class NumberedStoreTest : public QObject {
    Q_OBJECT
private slots:
    void theNextNumberFollowsTheLastRowInReadOrder();
    void aNumberAnotherUserTookIsSteppedOverOnAServer();
    void aLastNumberThatIsNoIntegerIsRefusedAndNothingStored();
    void aStoreInsideALongerTransactionGoesWithIt();
    void theWholeTableDatasetHoldsTheNewRow();
    void aStoreOnAServerIsOneRequest();
};

void NumberedStoreTest::theNextNumberFollowsTheLastRowInReadOrder()
{
    Workspace ws;
    seedPlaces(ws);
    // An empty type starts at 001.
    QCOMPARE(store(QStringLiteral("第一题")), QStringLiteral("001"));
    QCOMPARE(store(QStringLiteral("第二题")), QStringLiteral("002"));
    ws.exec(QStringLiteral("DELETE FROM stb"));
    // The last row in id order decides, read as the forms read numbers: blanks around, a sign,
    // more digits than three; an empty last number counts as none.
    const QVector<std::pair<QString, QString>> cases = {
        {QStringLiteral(" 12 "), QStringLiteral("013")}, {QStringLiteral("+7"), QStringLiteral("008")},
        {QStringLiteral("0099"), QStringLiteral("100")}, {QStringLiteral("9999"), QStringLiteral("10000")},
        {QStringLiteral("0041"), QStringLiteral("042")}, {QString(), QStringLiteral("001")}};
    int n = 0;
    for (const auto& [last, next] : cases) {
        if (!last.isNull())
            addWithNumber(ws, last);
        else
            ws.exec(QStringLiteral("INSERT INTO stb (kmh, txh, th, tm) VALUES ('01','01','','无题号')"));
        // On a server a number in use is stepped over; these are all free.
        const QString stored = store(QStringLiteral("题%1").arg(++n));
        QCOMPARE(stored, next);
        QCOMPARE(ws.scalar(QStringLiteral("SELECT th FROM stb WHERE tm=?"), {QStringLiteral("题%1").arg(n)}), next);
        ws.exec(QStringLiteral("DELETE FROM stb WHERE th=?"), {next});  // frees it for a later case
    }
    // Every column the store was given is stored with the number, the rest empty.
    store(QStringLiteral("完整的题"));
    QCOMPARE(
        testing::joined(QStringLiteral("SELECT kmh || '|' || txh || '|' || zjh || '|' || nd || '|' || fs || '|' || tm"
                                       " || '|' || da || '|' || \"time\" || '|' || COALESCE(bz, 'NULL')"
                                       " FROM stb WHERE tm=?"),
                        QStringLiteral(","), {QStringLiteral("完整的题")}),
        QStringLiteral("01|01|01|易|5|完整的题|答|9:00:00|"));
}

void NumberedStoreTest::aNumberAnotherUserTookIsSteppedOverOnAServer()
{
    if (!testing::onServer()) QSKIP("文件题库没有题号唯一规则");
    Workspace ws;
    seedPlaces(ws);
    addWithNumber(ws, QStringLiteral("006"));
    addWithNumber(ws, QStringLiteral("007"));
    addWithNumber(ws, QStringLiteral("005"));  // last in read order: 006 comes next, but is in use
    QCOMPARE(store(QStringLiteral("新题")), QStringLiteral("008"));
    QCOMPARE(ws.count(QStringLiteral("stb"), QStringLiteral("th='008' AND tm='新题'")), 1);
    QCOMPARE(ws.count(QStringLiteral("stb")), 4);
    // Another type's numbers are its own.
    ws.exec(QStringLiteral("INSERT INTO stb (kmh, txh, th, tm) VALUES ('01','02','009','填空')"));
    QCOMPARE(store(QStringLiteral("再一题")), QStringLiteral("009"));
}

void NumberedStoreTest::aLastNumberThatIsNoIntegerIsRefusedAndNothingStored()
{
    Workspace ws;
    seedPlaces(ws);
    for (const QString& last :
         {QStringLiteral("12a"), QStringLiteral("  "), QStringLiteral("99999999999"), QStringLiteral("1 2")}) {
        addWithNumber(ws, last);
        const int before = ws.count(QStringLiteral("stb"));
        QString message;
        try {
            store(QStringLiteral("不会存入"));
        } catch (const ConvertError& e) {
            message = e.text();
        }
        QCOMPARE(message, QStringLiteral("“%1”不是有效的整数值。").arg(last));
        QCOMPARE(ws.count(QStringLiteral("stb")), before);
        ws.exec(QStringLiteral("DELETE FROM stb WHERE th=?"), {last});
    }
    // A chapter that is gone: nothing stored, the program's message.
    QString message;
    try {
        store(QStringLiteral("无章节"), QStringLiteral("09"));
    } catch (const AppError& e) {
        message = e.text();
    }
    if (testing::onServer()) {
        QCOMPARE(message, QStringLiteral("该章节已被其他用户删除，试题没有存入。"));
        QCOMPARE(ws.count(QStringLiteral("stb"), QStringLiteral("tm='无章节'")), 0);
    } else {
        // One program writes a file at a time: the chapter is the form's own choice.
        QVERIFY2(message.isEmpty(), qPrintable(message));
    }
}

void NumberedStoreTest::aStoreInsideALongerTransactionGoesWithIt()
{
    Workspace ws;
    seedPlaces(ws);
    store(QStringLiteral("之前的题"));
    // Rolled back with the work around it: nothing of it stays, and the next store takes its number.
    bool failed = false;
    try {
        DM->transaction({DM->ADOStb}, [&] {
            QCOMPARE(store(QStringLiteral("撤销的题")), QStringLiteral("002"));
            QCOMPARE(store(QStringLiteral("撤销的题二")), QStringLiteral("003"));
            throw AppError(QStringLiteral("后面的操作失败"));
        });
    } catch (const AppError&) {
        failed = true;
    }
    QVERIFY(failed);
    QCOMPARE(ws.count(QStringLiteral("stb"), QStringLiteral("tm LIKE '撤销的题%'")), 0);
    QCOMPARE(DM->ADOStb->recordCount(), 1);
    QCOMPARE(store(QStringLiteral("之后的题")), QStringLiteral("002"));
    // Committed with it.
    DM->transaction({DM->ADOStb}, [&] { QCOMPARE(store(QStringLiteral("一起存入")), QStringLiteral("003")); });
    QCOMPARE(ws.count(QStringLiteral("stb"), QStringLiteral("tm='一起存入' AND th='003'")), 1);
}

void NumberedStoreTest::theWholeTableDatasetHoldsTheNewRow()
{
    Workspace ws;
    seedPlaces(ws);
    Dataset* stb = DM->ADOStb;
    store(QStringLiteral("第一题"));
    QCOMPARE(stb->recordCount(), 1);
    store(QStringLiteral("第二题"));
    // The new row is there and current, with its id and the values stored.
    QCOMPARE(stb->recordCount(), 2);
    QCOMPARE(stb->recNo(), 1);
    QCOMPARE(stb->str(QStringLiteral("th")), QStringLiteral("002"));
    QCOMPARE(stb->str(QStringLiteral("tm")), QStringLiteral("第二题"));
    QCOMPARE(stb->str(QStringLiteral("nd")), QStringLiteral("易"));
    QCOMPARE(stb->str(QStringLiteral("txh")), kTxh);
    QCOMPARE(QString::number(stb->currentId()),
             ws.scalar(QStringLiteral("SELECT id FROM stb WHERE tm=?"), {QStringLiteral("第二题")}));
    // Read again from the bank, the same.
    stb->refresh();
    stb->last();
    QCOMPARE(stb->str(QStringLiteral("tm")), QStringLiteral("第二题"));
    QCOMPARE(stb->str(QStringLiteral("zjh")), QStringLiteral("01"));
}

void NumberedStoreTest::aStoreOnAServerIsOneRequest()
{
    if (!testing::onServer()) QSKIP("只在数据库服务器上计算往返次数");
    Workspace ws;
    seedPlaces(ws);
    store(QStringLiteral("预热"));  // the dataset reads its rows once
    // Its turn in the type, the checks, the number and the row: one request, answered by the
    // server alone.
    const int alone = requestsSentDuring(DM->db(), [] { store(QStringLiteral("单独存入")); });
    QVERIFY2(alone >= 1 && alone <= 3, qPrintable(QString::number(alone)));
    QCOMPARE(alone, 1);
    int inside = 0;
    DM->transaction({DM->ADOStb},
                    [&] { inside = requestsSentDuring(DM->db(), [] { store(QStringLiteral("事务中存入")); }); });
    QCOMPARE(inside, 1);
    QCOMPARE(ws.count(QStringLiteral("stb"), QStringLiteral("tm IN ('单独存入','事务中存入')")), 2);
}

QTEST_MAIN(NumberedStoreTest)
#include "test_numbered_store.moc"
