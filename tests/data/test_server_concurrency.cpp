// Many programs on one server bank at once: twenty programs storing questions into the same type,
// a program killed in the middle of deleting a subject, and the server stopping during a store.
// Every case needs a server and is skipped without one.
#include "ui/forms.h"
#include "data/data_module.h"
#include "data/question_fields.h"
#include "demo/demo.h"
#include "data/engine.h"
#include "data/errors.h"
#include "data/numbering.h"
#include "data/recycle.h"
#include "data/sql.h"
#include "test_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <QThread>
#include <csignal>

namespace {

const QString kScript = QStringLiteral(EXCHANGE_TEST_DATA "/../../scripts/test-server.sh");

// One program storing `count` questions into subject 01, type 01 the way "试题入库" stores them:
// the next number, and the one after when another program took it first.
int storeClient(const QString& uri, int client, int count)
{
    TDM dm;
    dm.connectToServer(uri);
    const QSqlDatabase db = dm.db();
    for (int i = 0; i < count; ++i) {
        numbering::storeQuestion(db, dm.ADOStb, QStringLiteral("01"), QStringLiteral("01"),
                                 {{QStringLiteral("zjh"), QStringLiteral("01")},
                                  {QStringLiteral("nd"), QStringLiteral("易")},
                                  {QStringLiteral("fs"), QStringLiteral("5")},
                                  {QStringLiteral("tm"), QStringLiteral("程序%1的第%2题").arg(client).arg(i)},
                                  {QStringLiteral("da"), QStringLiteral("答")},
                                  {QStringLiteral("time"), fields::timeOfDay()}});
    }
    return 0;
}

// One program deleting subject 01 the way "删除科目" does: into the recycle bin and out of the
// bank in one transaction. Once every row is deleted, before the transaction ends, it says so and
// waits to be killed.
int deleteClient(const QString& uri)
{
    TDM dm;
    dm.connectToServer(uri);
    dm.transaction({dm.ADOStb, dm.ADOZjb, dm.ADOTxb, dm.ADOKmb}, [&] {
        recycle::removeKept(dm.db(), recycle::keepSubject(dm.db(), QStringLiteral("01"), QStringLiteral("admin")));
        fprintf(stdout, "deleted\n");
        fflush(stdout);
        QThread::sleep(120);
    });
    return 0;
}

int runClient(const QStringList& args)
{
    try {
        if (args.value(1) == QLatin1String("--store-client")) {
            return storeClient(args.value(2), args.value(3).toInt(), args.value(4).toInt());
        }
        return deleteClient(args.value(2));
    } catch (const AppError& e) {
        fprintf(stderr, "%s\n", qPrintable(e.text()));
        return 1;
    }
}

}  // namespace

class ServerConcurrencyTest : public QObject {
    Q_OBJECT
private slots:
    void twentyProgramsStoreIntoOneTypeWithoutLosingOrRepeating();
    void aProgramKilledWhileDeletingChangesNothing();
    void theServerStoppingDuringAStoreLeavesNoHalfAndReconnects();
    void aProgramKilledWhileStoringLeavesWholeQuestionsAndFreesItsTurn();
    void theServerStoppingWhileAProgramStoresLosesNoStoredQuestion();
};

namespace {

// The questions one storing program left in type 01 of subject 01: each whole, numbered from 001
// without a gap or a number twice, and stored in its order without one missing in between.
void checkStoredWhole(testing::Workspace& ws, int stored)
{
    const QString type = QStringLiteral("kmh='01' AND txh='01'");
    QCOMPARE(ws.count(QStringLiteral("stb"), type), stored);
    QCOMPARE(ws.scalar(QStringLiteral("SELECT count(DISTINCT th) FROM stb WHERE kmh='01' AND txh='01'")).toInt(), stored);
    QCOMPARE(ws.scalar(QStringLiteral("SELECT max(CAST(th AS INTEGER)) FROM stb WHERE kmh='01' AND txh='01'")).toInt(), stored);
    QCOMPARE(ws.count(QStringLiteral("stb"), type + QStringLiteral(" AND tm LIKE '程序0的第%题' AND da='答' AND fs='5'"
                                                                   " AND nd='易' AND zjh='01'")),
             stored);
    // The i-th question stored carries number i: none was skipped between two that were stored.
    QCOMPARE(ws.count(QStringLiteral("stb"),
                      type + QStringLiteral(" AND tm <> ('程序0的第' || (CAST(th AS INTEGER) - 1) || '题')")),
             0);
}

// Kills a program of this test without a chance to clean up and waits until the server has ended
// its session.
void killProgramAndWaitForItsSession(QProcess& client, testing::Workspace& ws)
{
    ::kill(static_cast<pid_t>(client.processId()), SIGKILL);
    QVERIFY(client.waitForFinished(30000));
    QCOMPARE(client.exitStatus(), QProcess::CrashExit);
    QTRY_COMPARE_WITH_TIMEOUT(
        ws.scalar(QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE datname=current_database()"
                                 " AND pid<>pg_backend_pid() AND application_name='exavoro'")).toInt(),
        0, 30000);
}

void seedOneType(testing::Workspace& ws)
{
    ws.exec(QStringLiteral("INSERT INTO kmb (kmh, kmm) VALUES ('01', '数学')"));
    ws.exec(QStringLiteral("INSERT INTO txb (kmh, txh, txm, bz) VALUES ('01', '01', '选择题', '0')"));
    ws.exec(QStringLiteral("INSERT INTO zjb (kmh, zjh, zjm, bz) VALUES ('01', '01', '第一章', '0')"));
}

// Starts one program storing questions into type 01 one after another and returns once it has
// stored `atLeast` of them.
bool startStoringProgram(QProcess& client, const QString& uri, testing::Workspace& ws, int atLeast)
{
    client.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    client.start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--store-client"), uri, QStringLiteral("0"), QStringLiteral("1000000")});
    if (!client.waitForStarted()) return false;
    QElapsedTimer waited;
    waited.start();
    while (ws.count(QStringLiteral("stb")) < atLeast) {
        if (client.state() != QProcess::Running || waited.elapsed() > 120000) return false;
        QTest::qWait(20);
    }
    return true;
}

}  // namespace

void ServerConcurrencyTest::twentyProgramsStoreIntoOneTypeWithoutLosingOrRepeating()
{
    if (!testing::onServer()) QSKIP("没有测试用的数据库服务器");
    testing::Workspace ws;
    ws.exec(QStringLiteral("INSERT INTO kmb (kmh, kmm) VALUES ('01', '数学')"));
    ws.exec(QStringLiteral("INSERT INTO txb (kmh, txh, txm, bz) VALUES ('01', '01', '选择题', '0')"));
    ws.exec(QStringLiteral("INSERT INTO zjb (kmh, zjh, zjm, bz) VALUES ('01', '01', '第一章', '0')"));
    constexpr int kClients = 20, kEach = 500;
    QVector<QProcess*> clients;
    for (int c = 0; c < kClients; ++c) {
        auto* p = new QProcess(this);
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--store-client"), ws.serverUri(), QString::number(c), QString::number(kEach)});
        clients << p;
    }
    for (QProcess* p : clients) {
        QVERIFY(p->waitForFinished(200000));
        QCOMPARE(p->exitStatus(), QProcess::NormalExit);
        QCOMPARE(p->exitCode(), 0);
        delete p;
    }
    // Every question is there once, with a number of its own; the programs took turns rather than
    // racing, so the numbers run from 1 without a gap.
    QCOMPARE(ws.count(QStringLiteral("stb"), QStringLiteral("kmh='01' AND txh='01'")), kClients * kEach);
    QCOMPARE(ws.scalar(QStringLiteral("SELECT count(DISTINCT th) FROM stb WHERE kmh='01' AND txh='01'")).toInt(),
             kClients * kEach);
    QCOMPARE(ws.scalar(QStringLiteral("SELECT max(CAST(th AS INTEGER)) FROM stb WHERE kmh='01' AND txh='01'")).toInt(),
             kClients * kEach);
    QCOMPARE(ws.scalar(QStringLiteral("SELECT count(DISTINCT tm) FROM stb")).toInt(), kClients * kEach);
    for (int c = 0; c < kClients; ++c) {
        QCOMPARE(ws.count(QStringLiteral("stb"), QStringLiteral("tm LIKE ?"), {QStringLiteral("程序%1的第%").arg(c)}), kEach);
    }
}

void ServerConcurrencyTest::aProgramKilledWhileDeletingChangesNothing()
{
    if (!testing::onServer()) QSKIP("没有测试用的数据库服务器");
    testing::Workspace ws;
    ws.exec(QStringLiteral("INSERT INTO kmb (kmh, kmm) VALUES ('01', '物理')"));
    ws.exec(QStringLiteral("INSERT INTO txb (kmh, txh, txm, bz) VALUES ('01', '01', '选择题', '0')"));
    ws.exec(QStringLiteral("INSERT INTO zjb (kmh, zjh, zjm, bz) VALUES ('01', '01', '第一章', '0')"));
    ws.exec(QStringLiteral("INSERT INTO stb (kmh, txh, th, zjh, nd, fs, tm, da, \"time\", bz)"
                           " SELECT '01', '01', lpad(i::text, 5, '0'), '01', '易', '5', repeat('题', 300), '答', '8:00:00', ''"
                           " FROM generate_series(1, 40000) AS i"));
    const int before = ws.count(QStringLiteral("stb"));
    QProcess client;
    client.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    client.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--delete-client"), ws.serverUri()});
    QVERIFY(client.waitForStarted());
    // Killed in the middle: every row deleted and copied into the recycle bin, nothing committed.
    QElapsedTimer waited;
    waited.start();
    while (!client.readAllStandardOutput().contains("deleted") && waited.elapsed() < 120000) {
        QVERIFY2(client.state() == QProcess::Running, "the deleting program ended before it had deleted");
        client.waitForReadyRead(100);
    }
    QVERIFY2(ws.scalar(QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE datname=current_database()"
                                      " AND pid<>pg_backend_pid() AND xact_start IS NOT NULL"))
                     .toInt() > 0,
             "the deleting program holds no open transaction");
    killProgramAndWaitForItsSession(client, ws);
    if (QTest::currentTestFailed()) return;
    // The server undid the whole deletion: the subject is whole and the recycle bin empty.
    QCOMPARE(ws.count(QStringLiteral("stb")), before);
    QCOMPARE(ws.count(QStringLiteral("kmb")), 1);
    QCOMPARE(ws.count(QStringLiteral("txb")), 1);
    QCOMPARE(ws.count(QStringLiteral("recycle_items")), 0);
    QCOMPARE(ws.count(QStringLiteral("recycle_stb")), 0);
}

void ServerConcurrencyTest::theServerStoppingDuringAStoreLeavesNoHalfAndReconnects()
{
    if (!testing::onServer()) QSKIP("没有测试用的数据库服务器");
    // A server of this test's own, since it is stopped in the middle.
    const QString dir = QDir::temp().filePath(QStringLiteral("exavoro-stop-%1").arg(QCoreApplication::applicationPid()));
    QProcess start;
    start.start(QStringLiteral("bash"), {kScript, QStringLiteral("start"), dir, QStringLiteral("fast")});
    QVERIFY(start.waitForFinished(120000));
    QCOMPARE(start.exitCode(), 0);
    const QString admin = QString::fromUtf8(start.readAllStandardOutput()).trimmed();
    auto stopServer = qScopeGuard([&] {
        QProcess::execute(QStringLiteral("bash"), {kScript, QStringLiteral("stop"), dir});
    });
    const QString uri = testing::serverDatabaseUri(admin, QStringLiteral("postgres"));
    demo::createDemoDatabase(uri);

    testing::Workspace ws({{QStringLiteral("admin"), QStringLiteral("pw"), 3}}, false);
    DM->connectToServer(uri);
    const int before = sql::scalar(DM->db(), QStringLiteral("SELECT count(*) FROM stb")).toInt();
    const QString kmh = sql::scalar(DM->db(), QStringLiteral("SELECT kmh FROM kmb ORDER BY id LIMIT 1"));
    const QString txh = sql::scalar(DM->db(), QStringLiteral("SELECT txh FROM txb WHERE kmh=? ORDER BY id LIMIT 1"), {kmh});
    bool failed = false;
    try {
        // Three questions in one store; the server goes away after the first.
        DM->transaction({DM->ADOStb}, [&] {
            for (int i = 0; i < 3; ++i) {
                if (i == 1) {
                    QCOMPARE(QProcess::execute(QStringLiteral("bash"), {kScript, QStringLiteral("halt"), dir}), 0);
                }
                numbering::storeQuestion(DM->db(), DM->ADOStb, kmh, txh, {{QStringLiteral("tm"), QStringLiteral("停机题")}});
            }
        });
    } catch (const DataError& e) {
        failed = true;
        QVERIFY2(e.connectionLost(), qPrintable(e.text()));
        QVERIFY(e.text().contains(QStringLiteral("没有留下半截的更改")));
    }
    QVERIFY(failed);
    // While the server is away every action says so; once it is back the next one reconnects.
    QVERIFY_THROWS_EXCEPTION(DataError, sql::scalar(DM->db(), QStringLiteral("SELECT count(*) FROM stb")));
    QCOMPARE(QProcess::execute(QStringLiteral("bash"), {kScript, QStringLiteral("resume"), dir, QStringLiteral("fast")}), 0);
    QCOMPARE(sql::scalar(DM->db(), QStringLiteral("SELECT count(*) FROM stb")).toInt(), before);
    QCOMPARE(sql::scalar(DM->db(), QStringLiteral("SELECT count(*) FROM stb WHERE tm=?"), {QStringLiteral("停机题")}).toInt(), 0);
    DM->disconnectFromBank();
}

void ServerConcurrencyTest::aProgramKilledWhileStoringLeavesWholeQuestionsAndFreesItsTurn()
{
    if (!testing::onServer()) QSKIP("没有测试用的数据库服务器");
    testing::Workspace ws;
    seedOneType(ws);
    QProcess client;
    QVERIFY(startStoringProgram(client, ws.serverUri(), ws, 200));
    // Its session ends on the server (the store under way committed whole or not at all).
    killProgramAndWaitForItsSession(client, ws);
    if (QTest::currentTestFailed()) return;
    const int stored = ws.count(QStringLiteral("stb"));
    QVERIFY(stored >= 200);
    checkStoredWhole(ws, stored);
    // The type's turn went with the session: the next store is not kept waiting, and takes the
    // next number.
    ws.refreshDatasets();
    QElapsedTimer t;
    t.start();
    const QString th = numbering::storeQuestion(DM->db(), DM->ADOStb, QStringLiteral("01"), QStringLiteral("01"),
                                                {{QStringLiteral("tm"), QStringLiteral("之后的题")}});
    QVERIFY(t.elapsed() < 10000);
    QCOMPARE(th.toInt(), stored + 1);
}

void ServerConcurrencyTest::theServerStoppingWhileAProgramStoresLosesNoStoredQuestion()
{
    if (!testing::onServer()) QSKIP("没有测试用的数据库服务器");
    // A server of this test's own, since it is stopped in the middle; commits flushed to disk as
    // an exam office's server flushes them, so that each store the program was told of survives.
    const QString dir =
        QDir::temp().filePath(QStringLiteral("exavoro-halt-%1").arg(QCoreApplication::applicationPid()));
    QProcess start;
    start.start(QStringLiteral("bash"), {kScript, QStringLiteral("start"), dir});
    QVERIFY(start.waitForFinished(120000));
    QCOMPARE(start.exitCode(), 0);
    const QString admin = QString::fromUtf8(start.readAllStandardOutput()).trimmed();
    auto stopServer = qScopeGuard([&] { QProcess::execute(QStringLiteral("bash"), {kScript, QStringLiteral("stop"), dir}); });
    const QString uri = testing::serverDatabaseUri(admin, QStringLiteral("postgres"));
    demo::createDatabase(uri, {{QStringLiteral("admin"), QStringLiteral("pw"), 3}});
    testing::Workspace ws({{QStringLiteral("admin"), QStringLiteral("pw"), 3}}, false);
    DM->connectToServer(uri);
    seedOneType(ws);

    QProcess client;
    QVERIFY(startStoringProgram(client, uri, ws, 100));
    QCOMPARE(QProcess::execute(QStringLiteral("bash"), {kScript, QStringLiteral("halt"), dir}), 0);
    // The storing program is told that the server went away and stops; it does not hang.
    QVERIFY(client.waitForFinished(60000));
    QCOMPARE(client.exitCode(), 1);
    const QString said = QString::fromUtf8(client.readAllStandardError());
    // Stopped during a store, or between two (the next one finds no server to reconnect to).
    QVERIFY2(said.contains(QStringLiteral("没有留下半截的更改")) || said.contains(QStringLiteral("无法重新连接数据库服务器：")),
             qPrintable(said));
    QCOMPARE(QProcess::execute(QStringLiteral("bash"), {kScript, QStringLiteral("resume"), dir}), 0);
    // Every store the server committed is there whole, in order, and nothing half.
    const int stored = sql::scalar(DM->db(), QStringLiteral("SELECT count(*) FROM stb")).toInt();
    QVERIFY(stored >= 100);
    checkStoredWhole(ws, stored);
    DM->disconnectFromBank();
}

int main(int argc, char** argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    if (args.value(1) == QLatin1String("--store-client") || args.value(1) == QLatin1String("--delete-client")) {
        QCoreApplication application(argc, argv);
        return runClient(args);
    }
    QApplication application(argc, argv);
    QTEST_SET_MAIN_SOURCE_PATH
    ServerConcurrencyTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_server_concurrency.moc"
