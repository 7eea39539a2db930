// Banks on a PostgreSQL server: choosing the bank, creating and copying banks with exavoro-db,
// the server's uniqueness rules, refusing other versions, a connection that breaks, and statements
// with values sent straight through libpq. The cases
// that need a server are skipped when the tests run without one.
#include "app/application.h"
#include "ui/forms.h"
#include "app/login.h"
#include "app/main_window.h"
#include "windows/bank/subject_settings.h"
#include "data/data_module.h"
#include "data/engine.h"
#include "data/errors.h"
#include "data/schema.h"
#include "data/sql.h"
#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

class ServerTest : public QObject {
    Q_OBJECT
private slots:
    void choosingTheBank();
    void toolCreatesCopiesAndComparesBanks();
    void serverRulesVersionsAndUnreachableServers();
    void brokenConnectionFailsCleanlyAndReconnects();
    void statementsWithValuesGoStraightToTheServer();
    void loggingInAgainKeepsALiveSession();
    void aRoleThatIsNoSuperuserBuildsAndCopiesBanksWithoutWarnings();
    void anIdleProgramReadsOnAfterItsSessionEndedAndAWindowThatCannotLoadCloses();

private:
    struct Run {
        int code;
        QString out;
        QString err;
    };
    static Run tool(const QString& folder, const QStringList& args, const QByteArray& input = {});
};

ServerTest::Run ServerTest::tool(const QString& folder, const QStringList& args, const QByteArray& input)
{
    QProcess p;
    p.setWorkingDirectory(folder);
    p.start(QStringLiteral(EXAVORO_DB_TOOL), args);
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(180000)) qFatal("exavoro-db did not finish");
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

void ServerTest::choosingTheBank()
{
    QTemporaryDir dir;
    // Nothing set: the file under the folder.
    engine::Location here = engine::chooseLocation({QStringLiteral("exavoro")}, dir.path());
    QVERIFY(!here.isServer());
    QCOMPARE(here.file, QDir(dir.path()).absoluteFilePath(QStringLiteral("Data/examdb.db")));

    // The settings file names a server; the command line wins over it.
    QFile settings(QDir(dir.path()).filePath(QStringLiteral("exavoro.ini")));
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write("[General]\nserver=postgresql://teacher@exam.school.example:5433/bank?sslmode=verify-full\n");
    settings.close();
    here = engine::chooseLocation({QStringLiteral("exavoro")}, dir.path());
    QVERIFY(here.isServer());
    QCOMPARE(here.server, QStringLiteral("postgresql://teacher@exam.school.example:5433/bank?sslmode=verify-full"));
    here = engine::chooseLocation(
        {QStringLiteral("exavoro"), QStringLiteral("--server"), QStringLiteral("postgresql://a@b/c")}, dir.path());
    QCOMPARE(here.server, QStringLiteral("postgresql://a@b/c"));
    QCOMPARE(here.describe(), QStringLiteral("postgresql://a@b/c"));

    // Passwords never stand in our settings or on the command line; bad addresses are named.
    auto refused = [&](const QStringList& args, const QString& part) {
        try {
            engine::chooseLocation(args, dir.path());
        } catch (const AppError& e) {
            return e.text().contains(part);
        }
        return false;
    };
    QVERIFY(refused({QStringLiteral("x"), QStringLiteral("--server"), QStringLiteral("postgresql://a:secret@b/c")},
                    QStringLiteral("~/.pgpass")));
    QVERIFY(refused({QStringLiteral("x"), QStringLiteral("--server"), QStringLiteral("postgresql://a@b/c?password=s")},
                    QStringLiteral("~/.pgpass")));
    QVERIFY(refused({QStringLiteral("x"), QStringLiteral("--server"), QStringLiteral("mysql://a@b/c")},
                    QStringLiteral("无效")));
    QVERIFY(refused({QStringLiteral("x"), QStringLiteral("--server")}, QStringLiteral("缺少")));
    // A malformed address is named in the message, its password never (as the user typed it or as
    // a password= item), whatever part of it is malformed.
    for (const QString& bad : {QStringLiteral("postgresql://a:Geh eim9@b/c"), QStringLiteral("postgres://a:Geheim9@[b/c"),
                               QStringLiteral("mysql://a:Geheim9@b/c"), QStringLiteral("postgresql://a@b/c?x=1 2&password=Geheim9"),
                               QStringLiteral("postgresql://a:Ge:he/im9@b:5/c")}) {
        QString text;
        try {
            engine::chooseLocation({QStringLiteral("x"), QStringLiteral("--server"), bad}, dir.path());
        } catch (const AppError& e) {
            text = e.text();
        }
        QVERIFY2(!text.isEmpty(), qPrintable(bad));
        QVERIFY2(!text.contains(QStringLiteral("eim9")) && !text.contains(QStringLiteral("im9")), qPrintable(text));
        QVERIFY2(!engine::describeServer(bad).contains(QStringLiteral("im9")), qPrintable(bad));
    }
    QCOMPARE(engine::describeServer(QStringLiteral("postgresql://a:pw@b:5/c?sslmode=require")),
             QStringLiteral("postgresql://a:***@b:5/c?sslmode=require"));

    // The login window says which bank a login opens.
    testing::Workspace ws({{QStringLiteral("admin"), QStringLiteral("pw"), 3}}, false);
    app::setBankLocation(engine::chooseLocation(
        {QStringLiteral("x"), QStringLiteral("--server"), QStringLiteral("postgresql://teacher@exam.example/bank")},
        ws.root()));
    TDLF login(nullptr, false);
    auto* label = testing::child<QLabel>(&login, QStringLiteral("LabelBank"));
    QVERIFY(label);
    QVERIFY2(label->text().startsWith(QStringLiteral("题库：服务器 postgresql:/")), qPrintable(label->text()));
    QCOMPARE(label->toolTip(), QStringLiteral("题库：postgresql://teacher@exam.example/bank"));
}

void ServerTest::toolCreatesCopiesAndComparesBanks()
{
    if (!testing::onServer()) QSKIP("没有测试用的数据库服务器");
    QTemporaryDir dir;
    const QString demo = testing::createServerDatabase();
    const QString copy = testing::createServerDatabase();
    const QString empty = testing::createServerDatabase();

    // A demo bank on the server, then a second time refused.
    Run r = tool(dir.path(), {QStringLiteral("demo"), QStringLiteral("--server"), demo});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    r = tool(dir.path(), {QStringLiteral("demo"), QStringLiteral("--server"), demo});
    QCOMPARE(r.code, 1);
    QVERIFY(r.err.contains(QStringLiteral("不会覆盖")));

    // Server → file → server: the same rows, the same checksum, ids kept.
    r = tool(dir.path(), {QStringLiteral("copy"), QStringLiteral("--from"), demo, QStringLiteral("--to"),
                          QStringLiteral("copy.db")});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    const QString firstOut = r.out;
    const QString firstSum = r.out.section(QStringLiteral("校验和（SHA-256）："), 1).section(QLatin1Char('\n'), 0, 0).trimmed();
    QCOMPARE(firstSum.size(), 64);
    // The server kept the passwords: the file's users wait for new ones.
    QVERIFY(r.out.contains(QStringLiteral("exavoro-db password --file")));
    QVERIFY(r.out.contains(QStringLiteral("stb: ")));
    r = tool(dir.path(), {QStringLiteral("copy"), QStringLiteral("--from"), QStringLiteral("copy.db"),
                          QStringLiteral("--to"), copy});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    // The rows of every table come back; the checksums differ in mmb alone, whose passwords stay
    // on the server: the file got one nobody knows in their place (never an empty one).
    const auto tableLines = [](const QString& output) {
        QStringList lines;
        for (const QString& line : output.split(QLatin1Char('\n'))) {
            if (line.startsWith(QLatin1String("  ")) && line.contains(QLatin1String(": "))) lines << line;
        }
        return lines;
    };
    QCOMPARE(tableLines(r.out), tableLines(firstOut));
    QVERIFY(!tableLines(r.out).isEmpty());
    {
        QSqlDatabase file = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("copied-file"));
        file.setDatabaseName(QDir(dir.path()).filePath(QStringLiteral("copy.db")));
        QVERIFY(file.open());
        QCOMPARE(sql::scalar(file, QStringLiteral("SELECT count(*) FROM mmb WHERE mm IS NULL OR mm NOT LIKE '$argon2id$%'")),
                 QStringLiteral("0"));
        file.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("copied-file"));
    // The copied users are roles on the server now, each named with the command that sets its password.
    QVERIFY2(r.out.contains(QStringLiteral("--user admin")), qPrintable(r.out));
    // A target that already holds a bank is refused and left as it was.
    r = tool(dir.path(), {QStringLiteral("copy"), QStringLiteral("--from"), QStringLiteral("copy.db"),
                          QStringLiteral("--to"), demo});
    QCOMPARE(r.code, 1);

    // The copy works in the program: log in on it and add a question after the copied ones.
    testing::Workspace ws({{QStringLiteral("admin"), QStringLiteral("pw"), 3}}, false);
    DM->connectToServer(copy);
    QVERIFY(DM->isServer());
    const QString maxId = sql::scalar(DM->db(), QStringLiteral("SELECT max(id) FROM stb"));
    const qint64 id = sql::exec(DM->db(), QStringLiteral("INSERT INTO stb (kmh, txh, th) VALUES (?,?,?)"),
                                {QStringLiteral("99"), QStringLiteral("01"), QStringLiteral("001")});
    QCOMPARE(id, maxId.toLongLong() + 1);
    QVERIFY(DM->AdoMmb->recordCount() >= 3);

    // init on an empty database: one super user, the password asked twice.
    r = tool(dir.path(), {QStringLiteral("init"), QStringLiteral("--server"), empty, QStringLiteral("--admin"),
                          QStringLiteral("head")},
             "pw1\npw1\n");
    QVERIFY2(r.code == 0, qPrintable(r.err));
    DM->connectToServer(empty);
    QCOMPARE(DM->AdoMmb->recordCount(), 1);
    QCOMPARE(DM->AdoMmb->str(QStringLiteral("yhm")), QStringLiteral("head"));
    DM->disconnectFromBank();
    for (const QString& uri : {demo, copy, empty}) testing::dropServerDatabase(uri);
}

void ServerTest::serverRulesVersionsAndUnreachableServers()
{
    if (!testing::onServer()) QSKIP("没有测试用的数据库服务器");
    testing::Workspace ws;
    // Two rows of the same subject, type and number: the second is refused by the database.
    ws.exec(QStringLiteral("INSERT INTO stb (kmh, txh, th) VALUES ('01','01','001')"));
    try {
        ws.exec(QStringLiteral("INSERT INTO stb (kmh, txh, th) VALUES ('01','01','001')"));
        QFAIL("a second question number 001 was stored");
    } catch (const DataError& e) {
        QVERIFY(e.uniqueViolation());
        QVERIFY(!e.connectionLost());
    }
    // A bank of version 2 (stored papers without question_id) is brought up to date by the first
    // program that connects, its stored papers matched to their questions by number and text.
    ws.exec(QStringLiteral("UPDATE stb SET tm='题1' WHERE th='001'"));
    ws.exec(QStringLiteral("DROP INDEX paper_questions_question_id"));
    ws.exec(QStringLiteral("ALTER TABLE paper_questions DROP COLUMN question_id"));
    ws.exec(QStringLiteral("INSERT INTO paper_questions (paper_id, section_position, position, kmh, txh, th, tm)"
                           " VALUES (1, 0, 0, '01', '01', '001', '题1'), (1, 0, 1, '01', '01', '002', '题2')"));
    ws.exec(QStringLiteral("UPDATE exavoro_meta SET value='2' WHERE name='schema_version'"));
    DM->connectToServer(ws.serverUri());
    QCOMPARE(ws.scalar(QStringLiteral("SELECT value FROM exavoro_meta WHERE name='schema_version'")).toInt(),
             schema::kVersion);
    QCOMPARE(testing::joined(QStringLiteral("SELECT COALESCE(question_id, -1) FROM paper_questions ORDER BY position")),
             ws.scalar(QStringLiteral("SELECT id FROM stb WHERE th='001'")) + QStringLiteral(",-1"));
    QCOMPARE(ws.count(QStringLiteral("pg_indexes"), QStringLiteral("indexname='paper_questions_question_id'")), 1);
    // A bank of version 3 (templates without title and 考试时间) gains both columns, its templates kept.
    ws.exec(QStringLiteral("ALTER TABLE blueprints DROP COLUMN title"));
    ws.exec(QStringLiteral("ALTER TABLE blueprints DROP COLUMN duration"));
    ws.exec(QStringLiteral("INSERT INTO blueprints (kmh, name, zf) VALUES ('01', '旧模板', '100')"));
    ws.exec(QStringLiteral("UPDATE exavoro_meta SET value='3' WHERE name='schema_version'"));
    DM->connectToServer(ws.serverUri());
    QCOMPARE(ws.scalar(QStringLiteral("SELECT value FROM exavoro_meta WHERE name='schema_version'")).toInt(),
             schema::kVersion);
    QCOMPARE(
        testing::joined(QStringLiteral("SELECT name || '|' || COALESCE(title, '-') || '|' || COALESCE(duration, '-')"
                                       " FROM blueprints")),
        QStringLiteral("旧模板|-|-"));
    // A newer program's version of the bank is refused with a message.
    for (int version : {schema::kVersion + 1}) {
        ws.exec(QStringLiteral("UPDATE exavoro_meta SET value=? WHERE name='schema_version'"), {QString::number(version)});
        try {
            DM->connectToServer(ws.serverUri());
            QFAIL("a bank of another version was opened");
        } catch (const DataError& e) {
            QVERIFY2(e.text().contains(version > schema::kVersion ? QStringLiteral("新") : QStringLiteral("旧")),
                     qPrintable(e.text()));
        }
        QSqlDatabase fix = engine::openServer(QStringLiteral("fix"), ws.serverUri());
        sql::run(fix, QStringLiteral("UPDATE exavoro_meta SET value=? WHERE name='schema_version'"),
                 {QString::number(schema::kVersion)});
        fix.close();
        DM->connectToServer(ws.serverUri());
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fix"));
    // An empty database says how to make a bank; a server that is not there says so.
    const QString empty = testing::createServerDatabase();
    try {
        DM->connectToServer(empty);
        QFAIL("an empty database was opened");
    } catch (const DataError& e) {
        QVERIFY(e.text().contains(QStringLiteral("exavoro-db init")));
    }
    testing::dropServerDatabase(empty);
    try {
        DM->connectToServer(QStringLiteral("postgresql://nobody@127.0.0.1:1/none?connect_timeout=3"));
        QFAIL("an unreachable server was opened");
    } catch (const DataError& e) {
        QVERIFY(e.text().contains(QStringLiteral("无法连接数据库服务器")));
    }
}

void ServerTest::brokenConnectionFailsCleanlyAndReconnects()
{
    if (!testing::onServer()) QSKIP("没有测试用的数据库服务器");
    testing::Workspace ws;
    const int before = ws.count(QStringLiteral("stb"));
    sql::exec(DM->db(), QStringLiteral("INSERT INTO sjb (kmh, txh, th) VALUES ('01','01','001')"));
    // The server ends this program's session in the middle of a transaction.
    const QString pid = ws.scalar(QStringLiteral("SELECT pg_backend_pid()"));
    QSqlDatabase admin = engine::openServer(QStringLiteral("killer"), ws.serverUri());
    bool failed = false;
    try {
        DM->transaction({DM->ADOStb}, [&] {
            sql::exec(DM->db(), QStringLiteral("INSERT INTO stb (kmh, txh, th) VALUES ('01','01','901')"));
            sql::run(admin, QStringLiteral("SELECT pg_terminate_backend(?)"), {pid.toInt()});
            sql::exec(DM->db(), QStringLiteral("INSERT INTO stb (kmh, txh, th) VALUES ('01','01','902')"));
        });
    } catch (const DataError& e) {
        failed = true;
        QVERIFY2(e.connectionLost(), qPrintable(e.text()));
        QVERIFY(e.text().contains(QStringLiteral("连接已断开")));
    }
    QVERIFY(failed);
    admin.close();
    QSqlDatabase::removeDatabase(QStringLiteral("killer"));
    // The next action reconnects: nothing of the broken transaction was kept, and the session has
    // its own (new, empty) draft table again.
    QCOMPARE(ws.count(QStringLiteral("stb")), before);
    QCOMPARE(ws.count(QStringLiteral("sjb")), 0);
    QVERIFY(ws.scalar(QStringLiteral("SELECT pg_backend_pid()")) != pid);
    sql::exec(DM->db(), QStringLiteral("INSERT INTO stb (kmh, txh, th) VALUES ('01','01','903')"));
    QCOMPARE(ws.count(QStringLiteral("stb")), before + 1);
}

// Statements with values run through libpq in one round trip each: ids of new rows, question marks
// inside quotes, NULLs, numbers, bytes, counts of changed rows, the database's refusals and a
// session the server ended all behave as through the driver.
void ServerTest::statementsWithValuesGoStraightToTheServer()
{
    if (!testing::onServer()) QSKIP("没有测试用的数据库服务器");
    testing::Workspace ws;
    QSqlDatabase db = DM->db();
    // The driver's connection is reachable, so these statements do take the one-round-trip way.
    QVERIFY(engine::hasServerHandle(db));
    const qint64 id = sql::exec(db, QStringLiteral("INSERT INTO stb (kmh, txh, th, tm, da) VALUES (?,?,?,'这是问号?吗',?)"),
                                {QStringLiteral("01"), QStringLiteral("01"), QStringLiteral("801"), QVariant()});
    QVERIFY(id > 0);
    QCOMPARE(ws.scalar(QStringLiteral("SELECT MAX(id) FROM stb")).toLongLong(), id);
    {
        sql::Reader r(db, QStringLiteral("SELECT id, tm, da, th FROM stb WHERE id=? AND tm LIKE '%?%'"), {id});
        QCOMPARE(r.columnNames(), QStringList({QStringLiteral("id"), QStringLiteral("tm"), QStringLiteral("da"),
                                               QStringLiteral("th")}));
        QVERIFY(r.next());
        QCOMPARE(r.int64(0), id);
        QCOMPARE(r.text(1), QStringLiteral("这是问号?吗"));
        QVERIFY(r.text(2).isNull());
        QCOMPARE(r.utf8(3), QByteArray("801"));
        QVERIFY(!r.next());
    }
    // A number bound where the column holds text, and the rows an UPDATE changed.
    QCOMPARE(sql::changes(db, QStringLiteral("UPDATE stb SET fs=? WHERE kmh=? AND txh=? AND th IN (?,?)"),
                          {5, QStringLiteral("01"), QStringLiteral("01"), QStringLiteral("801"), QStringLiteral("802")}),
             1);
    QCOMPARE(sql::scalar(db, QStringLiteral("SELECT fs FROM stb WHERE id=?"), {id}), QStringLiteral("5"));
    QCOMPARE(sql::changes(db, QStringLiteral("DELETE FROM stb WHERE th=?"), {QStringLiteral("no such number")}), 0);
    // Every byte value of a picture arrives unchanged.
    QByteArray bytes;
    for (int i = 0; i < 512; ++i) bytes.append(char(i % 256));
    const qint64 picture = sql::exec(
        db, QStringLiteral("INSERT INTO pictures (hash, mime, width, height, data) VALUES (?,?,?,?,?)"),
        {QStringLiteral("h1"), QStringLiteral("image/png"), 4, 2, bytes});
    QSqlQuery q = sql::run(db, QStringLiteral("SELECT data, width FROM pictures WHERE id=?"), {picture});
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toByteArray(), bytes);
    QCOMPARE(q.value(1).toInt(), 4);
    // The database's refusals keep their codes and name the statement.
    try {
        sql::exec(db, QStringLiteral("INSERT INTO stb (kmh, txh, th) VALUES (?,?,?)"),
                  {QStringLiteral("01"), QStringLiteral("01"), QStringLiteral("801")});
        QFAIL("a second question number 801 was stored");
    } catch (const DataError& e) {
        QVERIFY(e.uniqueViolation());
        QVERIFY(!e.connectionLost());
        QVERIFY(e.text().contains(QStringLiteral("INSERT INTO stb")));
    }
    try {
        sql::Reader r(db, QStringLiteral("SELECT nosuchcolumn FROM stb WHERE id=?"), {id});
        QFAIL("a statement naming no column was read");
    } catch (const DataError& e) {
        QCOMPARE(e.code(), QStringLiteral("42703"));
    }
    // A refused statement inside a transaction undoes the whole transaction.
    try {
        sql::transaction(db, [&] {
            sql::exec(db, QStringLiteral("UPDATE stb SET tm=? WHERE id=?"), {QStringLiteral("改过"), id});
            sql::exec(db, QStringLiteral("INSERT INTO stb (kmh, txh, th) VALUES (?,?,?)"),
                      {QStringLiteral("01"), QStringLiteral("01"), QStringLiteral("801")});
        });
        QFAIL("the transaction was committed");
    } catch (const DataError& e) {
        QVERIFY(e.uniqueViolation());
    }
    QCOMPARE(sql::scalar(db, QStringLiteral("SELECT tm FROM stb WHERE id=?"), {id}), QStringLiteral("这是问号?吗"));
    // The server ends the session: the next change with values says so (a change is never sent
    // twice), the statement after it reconnects.
    const QString pid = ws.scalar(QStringLiteral("SELECT pg_backend_pid()"));
    {
        QSqlDatabase admin = engine::openServer(QStringLiteral("killer"), ws.serverUri());
        sql::run(admin, QStringLiteral("SELECT pg_terminate_backend(?)"), {pid.toInt()});
        admin.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("killer"));
    try {
        sql::exec(db, QStringLiteral("UPDATE stb SET th=? WHERE id=?"), {QStringLiteral("802"), id});
        QFAIL("a statement ran on an ended session");
    } catch (const DataError& e) {
        QVERIFY2(e.connectionLost(), qPrintable(e.text()));
    }
    QCOMPARE(sql::scalar(db, QStringLiteral("SELECT th FROM stb WHERE id=?"), {id}), QStringLiteral("801"));
    QVERIFY(ws.scalar(QStringLiteral("SELECT pg_backend_pid()")) != pid);
}

QTEST_MAIN(ServerTest)
// Logging in again through the login window keeps the program's server session (and the paper
// being composed in it); a session the server ended meanwhile is replaced without an error.
void ServerTest::loggingInAgainKeepsALiveSession()
{
    if (!testing::onServer()) QSKIP("没有测试用的数据库服务器");
    testing::Workspace ws;
    TMainF::runModalLoop = false;
    testing::BoxAnswerer boxes;
    auto login = [&] {
        auto* dlg = new TDLF(nullptr, false);
        dlg->setAttribute(Qt::WA_DeleteOnClose);
        dlg->show();
        dlg->EditYhm->setText(QStringLiteral("admin"));
        dlg->EditMm->setText(QStringLiteral("pw"));
        QTest::mouseClick(dlg->BtnQd, Qt::LeftButton);
        QVERIFY2(MainF && MainF->isVisible(), qPrintable(boxes.texts.join(QLatin1Char('\n'))));
        delete dlg;  // and the main window it opened
    };
    login();
    const QString first = ws.scalar(QStringLiteral("SELECT pg_backend_pid()"));
    sql::exec(DM->db(), QStringLiteral("INSERT INTO sjb (kmh, txh, th) VALUES ('01','01','001')"));
    login();
    QCOMPARE(ws.scalar(QStringLiteral("SELECT pg_backend_pid()")), first);
    QCOMPARE(ws.count(QStringLiteral("sjb")), 1);
    QVERIFY(DM->AdoMmb->recordCount() >= 1);

    // The server ends the session while the login window is shown: the login opens a new one.
    {
        QSqlDatabase admin = engine::openServer(QStringLiteral("killer"), ws.serverUri());
        sql::run(admin, QStringLiteral("SELECT pg_terminate_backend(?)"), {first.toInt()});
        admin.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("killer"));
    login();
    QVERIFY(boxes.texts.isEmpty());
    QVERIFY(ws.scalar(QStringLiteral("SELECT pg_backend_pid()")) != first);
    QCOMPARE(ws.count(QStringLiteral("sjb")), 0);  // the new session's own, empty draft
}

void ServerTest::aRoleThatIsNoSuperuserBuildsAndCopiesBanksWithoutWarnings()
{
    if (!testing::onServer()) QSKIP("没有测试用的数据库服务器");
    // The README's own set-up: the bank's role owns its database and is no superuser. Vacuuming the
    // whole database would warn once for every system table it may not vacuum.
    QTemporaryDir dir;
    const QString demo = testing::createServerDatabase();
    const QString copy = testing::createServerDatabase();
    {
        QSqlDatabase admin = engine::openServer(QStringLiteral("plain-admin"), testing::testServer());
        // The README's owner role: it may create the bank's roles, and gives its password.
        sql::run(admin, QStringLiteral("DO $$ BEGIN IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'exavoro_plain')"
                                       " THEN CREATE ROLE exavoro_plain LOGIN NOSUPERUSER CREATEROLE; END IF; END $$"));
        sql::run(admin, QStringLiteral("ALTER ROLE exavoro_plain CREATEROLE PASSWORD 'plain-pw'"));
        for (const QString& uri : {demo, copy}) {
            sql::run(admin, QStringLiteral("ALTER DATABASE %1 OWNER TO exavoro_plain").arg(QUrl(uri).path().mid(1)));
        }
        engine::closeConnection(admin);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("plain-admin"));
    auto asPlain = [](const QString& uri) {
        QUrl url(uri);
        url.setUserName(QStringLiteral("exavoro_plain"));
        return url.toString();
    };
    const QByteArray oldPassword = qgetenv("PGPASSWORD");
    qputenv("PGPASSWORD", "plain-pw");
    Run r = tool(dir.path(), {QStringLiteral("demo"), QStringLiteral("--server"), asPlain(demo)});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QVERIFY2(!r.err.contains(QStringLiteral("WARNING")) && !r.err.contains(QStringLiteral("pg_toast")), qPrintable(r.err));
    r = tool(dir.path(), {QStringLiteral("copy"), QStringLiteral("--from"), asPlain(demo), QStringLiteral("--to"), asPlain(copy)});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QVERIFY2(!r.err.contains(QStringLiteral("WARNING")) && !r.err.contains(QStringLiteral("pg_toast")), qPrintable(r.err));
    // The statistics were gathered all the same.
    QSqlDatabase db = engine::openServer(QStringLiteral("plain-check"), asPlain(copy));
    if (oldPassword.isNull()) qunsetenv("PGPASSWORD"); else qputenv("PGPASSWORD", oldPassword);
    QVERIFY(!sql::scalar(db, QStringLiteral("SELECT last_analyze FROM pg_stat_user_tables WHERE relname = 'stb'")).isEmpty());
    engine::closeConnection(db);
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("plain-check"));
    for (const QString& uri : {demo, copy}) testing::dropServerDatabase(uri);
}

void ServerTest::anIdleProgramReadsOnAfterItsSessionEndedAndAWindowThatCannotLoadCloses()
{
    if (!testing::onServer()) QSKIP("没有测试用的数据库服务器");
    testing::Workspace ws;
    const QString database = QUrl(ws.serverUri()).path().mid(1);
    ws.exec(QStringLiteral("INSERT INTO kmb (kmh, kmm) VALUES ('01', '数学'), ('02', '语文')"));
    QSqlDatabase admin = engine::openServer(QStringLiteral("restarter"), testing::testServer());
    // The server ends the idle program's session, as a restart does; the program does not know yet.
    auto endSession = [&] {
        const QString pid = sql::scalar(DM->db(), QStringLiteral("SELECT pg_backend_pid()"));
        sql::run(admin, QStringLiteral("SELECT pg_terminate_backend(?)"), {pid.toInt()});
        QTest::qWait(200);
        return pid;
    };
    const QString first = endSession();
    // The first window opened afterwards loads as usual: its reads go again on a new session.
    testing::BoxAnswerer boxes;
    auto* subjects = new TKmszF(MainF);
    subjects->show();
    QCoreApplication::processEvents();
    QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join('\n')));
    QVERIFY(subjects->isVisible());
    QCOMPARE(subjects->ListBoxKm->count(), 2);
    QVERIFY(sql::scalar(DM->db(), QStringLiteral("SELECT pg_backend_pid()")) != first);
    subjects->close();

    // A change is never sent twice: stored once, or refused with the message and not stored.
    endSession();
    bool refused = false;
    try {
        sql::exec(DM->db(), QStringLiteral("INSERT INTO kmb (kmh, kmm) VALUES ('77', '新')"));
    } catch (const DataError& e) {
        refused = true;
        QVERIFY(e.connectionLost());
    }
    QCOMPARE(ws.count(QStringLiteral("kmb"), QStringLiteral("kmh='77'")), refused ? 0 : 1);
    ws.exec(QStringLiteral("DELETE FROM kmb WHERE kmh='77'"));

    // A server that takes no new session: the window says so and closes instead of staying empty.
    endSession();
    sql::run(admin, QStringLiteral("ALTER DATABASE %1 ALLOW_CONNECTIONS false").arg(database));
    auto* again = new TKmszF(MainF);
    again->show();
    QTRY_VERIFY(!again->isVisible());
    QVERIFY2(!boxes.texts.isEmpty() && boxes.last().contains(QStringLiteral("连接")), qPrintable(boxes.texts.join('\n')));
    sql::run(admin, QStringLiteral("ALTER DATABASE %1 ALLOW_CONNECTIONS true").arg(database));
    engine::closeConnection(admin);
    admin = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("restarter"));
    QCOMPARE(ws.count(QStringLiteral("kmb")), 2);
}

#include "test_server.moc"
