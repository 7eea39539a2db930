// Opening a bank at login: one program at a time on a file (a second process is refused, a
// killed one does not block the next start), and files this version cannot read safely (a newer
// schema, a table missing a column) are refused with the data layer's message.
#include "app/application.h"
#include "ui/forms.h"
#include "app/login.h"
#include "app/main_window.h"
#include "data/bank_file.h"
#include "data/data_module.h"
#include "data/schema.h"
#include "data/errors.h"
#include "test_support.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLockFile>
#include <QSysInfo>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

#include "data/sql.h"
#include "data/current_user.h"

#include <cstdio>

using testing::BoxAnswerer;
using testing::Workspace;

namespace {

const QString kInUse = QStringLiteral("题库正被另一个程序使用");

// The other program: this test binary started with "--hold-bank <file>" opens the bank as a
// login does and keeps it open until it is killed.
int holdBank(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    TDM module;
    try {
        module.connectTo(QString::fromLocal8Bit(argv[2]));
    } catch (const AppError& error) {
        std::printf("refused: %s\n", error.text().toUtf8().constData());
        std::fflush(stdout);
        return 2;
    }
    std::printf("held\n");
    std::fflush(stdout);
    return application.exec();
}

// Runs statements on the file through a connection of its own (as another tool would).
void alterFile(const QString& path, const QStringList& statements)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("alter"));
        db.setDatabaseName(path);
        QVERIFY(db.open());
        for (const QString& statement : statements) {
            QSqlQuery q(db);
            QVERIFY2(q.exec(statement), qPrintable(statement));
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("alter"));
}

}  // namespace

class BankOpenTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void secondProgramIsRefusedAndAKilledOneDoesNotBlock();
    void aLockFileOfAnotherComputerWhoseProgramEndedDoesNotBlock();
    void theLockFileIsHeldAsQLockFileHoldsIt();
    void newerSchemaVersionIsRefused();
    void aRefusedFileOpensOnceMendedAndIsWritable();
    void tableMissingAColumnIsRefused_data();
    void tableMissingAColumnIsRefused();
    void tableRecreatedByAnotherToolIsRefusedAndItsRepairedCopyOpens();
    void hostileSchemaIsRefusedBeforeAnythingRuns_data();
    void hostileSchemaIsRefusedBeforeAnythingRuns();
    void connectionsRunWithSQLiteDefencesOn();
    void theBankOpensWhileTheLoginWindowWaitsAndStaysOpenForTheNextLogin();

private:
    static TDLF* login(const QString& name, const QString& password);
    static void startHolder(QProcess& holder, const QString& path);
};

void BankOpenTest::initTestCase()
{
    app::setup(*qApp);
    TMainF::runModalLoop = false;
}

void BankOpenTest::init()
{
    app::failedLogins() = 0;
}

void BankOpenTest::cleanup()
{
    testing::closeAllWindows();
}

TDLF* BankOpenTest::login(const QString& name, const QString& password)
{
    auto* dlg = new TDLF(nullptr, false);
    dlg->show();
    dlg->EditYhm->setText(name);
    dlg->EditMm->setText(password);
    QTest::mouseClick(dlg->BtnQd, Qt::LeftButton);
    return dlg;
}

void BankOpenTest::startHolder(QProcess& holder, const QString& path)
{
    holder.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--hold-bank"), path});
    QVERIFY(holder.waitForStarted(10000));
    QVERIFY(holder.waitForReadyRead(20000));
}

void BankOpenTest::secondProgramIsRefusedAndAKilledOneDoesNotBlock()
{
    Workspace ws({{QStringLiteral("admin"), QStringLiteral("pw"), 3}}, false);
    QProcess holder;
    startHolder(holder, ws.databasePath());
    QCOMPARE(holder.readAllStandardOutput().trimmed(), QByteArray("held"));

    // This program's login is refused with the reason, and nothing is opened.
    BoxAnswerer boxes;
    TDLF* dlg = login("admin", "pw");
    QCOMPARE(boxes.texts.size(), 1);
    QVERIFY2(boxes.texts[0].contains(kInUse), qPrintable(boxes.texts[0]));
    QVERIFY(!DM->isConnected());
    QVERIFY(!MainF->isVisible());
    QCOMPARE(app::failedLogins(), 0);  // not a wrong password

    // The holder is killed without a chance to clean up: its lock file stays behind, yet the
    // next login opens the bank.
    holder.kill();
    QVERIFY(holder.waitForFinished(10000));
    QVERIFY(QFile::exists(ws.databasePath() + ".lock"));
    QTest::mouseClick(dlg->BtnQd, Qt::LeftButton);
    QCOMPARE(boxes.texts.size(), 1);
    QVERIFY(DM->isConnected());
    QVERIFY(MainF->isVisible());

    // Now this program holds the bank: another one started on it is refused.
    QProcess second;
    startHolder(second, ws.databasePath());
    QVERIFY(second.waitForFinished(10000));
    QCOMPARE(second.exitCode(), 2);
    QVERIFY(QString::fromUtf8(second.readAllStandardOutput()).contains(kInUse));
    // A repeated login of this program on the same file is not refused by its own lock.
    dlg->show();
    QTest::mouseClick(dlg->BtnQd, Qt::LeftButton);
    QCOMPARE(boxes.texts.size(), 1);
    QVERIFY(DM->isConnected());
    // Once this program lets the bank go, another one opens it.
    DM->disconnectFromBank();
    QProcess third;
    startHolder(third, ws.databasePath());
    QCOMPARE(third.readAllStandardOutput().trimmed(), QByteArray("held"));
    third.kill();
    QVERIFY(third.waitForFinished(10000));
}

void BankOpenTest::aLockFileOfAnotherComputerWhoseProgramEndedDoesNotBlock()
{
    Workspace ws({{QStringLiteral("admin"), QStringLiteral("pw"), 3}}, false);
    // A program on another computer crashed on the shared folder and left its lock file.
    QFile lock(ws.databasePath() + ".lock");
    QVERIFY(lock.open(QIODevice::WriteOnly));
    lock.write("4242\nexavoro\nanother-computer.example\n");
    lock.close();
    BoxAnswerer boxes;
    login("admin", "pw");
    QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join('\n')));
    QVERIFY(DM->isConnected());
    QVERIFY(MainF->isVisible());
}

void BankOpenTest::theLockFileIsHeldAsQLockFileHoldsIt()
{
    Workspace ws({{QStringLiteral("admin"), QStringLiteral("pw"), 3}}, false);
    const QString lockPath = ws.databasePath() + QStringLiteral(".lock");
    // A program on this computer holding the lock file (an older version of this program holds it
    // through QLockFile, which takes the same flock) keeps this one off, though the guard is free.
    QProcess holder;
    holder.start(QStringLiteral("flock"), {QStringLiteral("-n"), QStringLiteral("-o"), lockPath, QStringLiteral("sleep"), QStringLiteral("10")});
    QVERIFY(holder.waitForStarted(10000));
    QTRY_VERIFY(QFile::exists(lockPath));
    QTest::qWait(200);
    QVERIFY(holder.state() == QProcess::Running);
    try {
        DM->connectTo(ws.databasePath());
        QFAIL("a bank whose lock file another program holds was opened");
    } catch (const DataError& e) {
        QVERIFY2(e.text().contains(kInUse), qPrintable(e.text()));
    }
    QVERIFY(!DM->isConnected());
    holder.kill();
    QVERIFY(holder.waitForFinished(10000));

    // Once it has ended the file opens; the lock file names this program as QLockFile does, and a
    // program judging it with QLockFile finds it held.
    DM->connectTo(ws.databasePath());
    QVERIFY(DM->isConnected());
    QLockFile other(lockPath);
    QVERIFY(!other.tryLock(0));
    QCOMPARE(other.error(), QLockFile::LockFailedError);
    qint64 pid = 0;
    QString host, application;
    QVERIFY(other.getLockInfo(&pid, &host, &application));
    QCOMPARE(pid, QCoreApplication::applicationPid());
    QCOMPARE(host, QSysInfo::machineHostName());
    // Let go, the file goes with it.
    DM->disconnectFromBank();
    QVERIFY(!QFile::exists(lockPath));
    QVERIFY(other.tryLock(0));
    other.unlock();
}

void BankOpenTest::newerSchemaVersionIsRefused()
{
    Workspace ws({{QStringLiteral("admin"), QStringLiteral("pw"), 3}}, false);
    const int newer = schema::kVersion + 1;
    alterFile(ws.databasePath(), {QStringLiteral("PRAGMA user_version = %1").arg(newer)});
    try {
        DM->connectTo(ws.databasePath());
        QFAIL("a file of a newer version was opened");
    } catch (const DataError& error) {
        QCOMPARE(error.text(), QStringLiteral("数据库文件的版本（%1）比本程序新，请使用新版程序打开。").arg(newer));
    }
    BoxAnswerer boxes;
    login("admin", "pw");
    QCOMPARE(boxes.texts.size(), 1);
    QVERIFY2(boxes.texts[0].contains("比本程序新"), qPrintable(boxes.texts[0]));
    QVERIFY(!MainF->isVisible());
}

void BankOpenTest::aRefusedFileOpensOnceMendedAndIsWritable()
{
    // The checks of opening read the file in one read transaction; a refusal must end it, or
    // the file stays locked against writers (another tool's, and this program's own).
    Workspace ws({{QStringLiteral("admin"), QStringLiteral("pw"), 3}}, false);
    alterFile(ws.databasePath(), {QStringLiteral("PRAGMA user_version = %1").arg(schema::kVersion + 1)});
    QVERIFY_THROWS_EXCEPTION(DataError, DM->connectTo(ws.databasePath()));
    alterFile(ws.databasePath(), {QStringLiteral("PRAGMA user_version = %1").arg(schema::kVersion),
                                  QStringLiteral("INSERT INTO kmb (kmh, kmm) VALUES ('07','化学')")});
    DM->connectTo(ws.databasePath());
    QCOMPARE(ws.scalar(QStringLiteral("SELECT kmm FROM kmb WHERE kmh='07'")), QStringLiteral("化学"));
    ws.exec(QStringLiteral("INSERT INTO kmb (kmh, kmm) VALUES ('08','物理')"));
    QCOMPARE(ws.count(QStringLiteral("kmb"), QStringLiteral("kmh IN ('07','08')")), 2);
    // Every dataset is open on the mended file, the users' one included.
    DM->AdoMmb->first();
    QCOMPARE(DM->AdoMmb->str(QStringLiteral("yhm")), QStringLiteral("admin"));
    QVERIFY(DM->ADOKmb->isActive() && DM->ADOStb->isActive() && DM->ADOSjb->isActive());
}

void BankOpenTest::tableMissingAColumnIsRefused_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("column");
    QTest::newRow("answer of a question") << QStringLiteral("stb") << QStringLiteral("da");
    QTest::newRow("password of a user") << QStringLiteral("mmb") << QStringLiteral("mm");
    QTest::newRow("subject code") << QStringLiteral("kmb") << QStringLiteral("kmh");
}

void BankOpenTest::tableMissingAColumnIsRefused()
{
    QFETCH(QString, table);
    QFETCH(QString, column);
    Workspace ws({{QStringLiteral("admin"), QStringLiteral("pw"), 3}}, false);
    // The tool takes away the triggers that name the column first, as SQLite asks it to.
    alterFile(ws.databasePath(),
              {QStringLiteral("INSERT INTO stb (kmh, txh, th, tm, da) VALUES ('01','01','001','题','答')"),
               QStringLiteral("DROP TRIGGER IF EXISTS picture_sweep_%1_delete").arg(table),
               QStringLiteral("DROP TRIGGER IF EXISTS picture_sweep_%1_update").arg(table),
               QStringLiteral("DROP TRIGGER IF EXISTS %1_search_insert").arg(table),
               QStringLiteral("DROP TRIGGER IF EXISTS %1_search_delete").arg(table),
               QStringLiteral("DROP TRIGGER IF EXISTS %1_search_update").arg(table),
               QStringLiteral("ALTER TABLE %1 DROP COLUMN %2").arg(table, column)});
    BoxAnswerer boxes;
    login("admin", "pw");
    QCOMPARE(boxes.texts.size(), 1);
    QVERIFY2(boxes.texts[0].contains(QStringLiteral("数据表“%1”缺少字段“%2”").arg(table, column)),
             qPrintable(boxes.texts[0]));
    QVERIFY(!MainF->isVisible());
    QCOMPARE(app::failedLogins(), 0);  // refused as a file, not as a wrong password
}

void BankOpenTest::tableRecreatedByAnotherToolIsRefusedAndItsRepairedCopyOpens()
{
    // Another tool rebuilt a table with its columns in another order and one column more. A table
    // of another definition may carry defaults and checks of its own: the file is refused, and a
    // repaired copy, made after the user has seen what goes, keeps every row and opens.
    Workspace ws({{QStringLiteral("admin"), QStringLiteral("pw"), 3}}, false);
    alterFile(
        ws.databasePath(),
        {QStringLiteral("CREATE TABLE kmb2 (id INTEGER PRIMARY KEY AUTOINCREMENT, kmm TEXT, kmh TEXT, note TEXT)"),
         QStringLiteral("INSERT INTO kmb2 (kmh, kmm) VALUES ('01','数学')"), QStringLiteral("DROP TABLE kmb"),
         QStringLiteral("ALTER TABLE kmb2 RENAME TO kmb")});
    {
        BoxAnswerer boxes;
        login("admin", "pw");
        QCOMPARE(boxes.texts.size(), 1);
        QVERIFY2(boxes.texts[0].contains(QStringLiteral("数据表“kmb”的定义与本程序建立的不同")), qPrintable(boxes.texts[0]));
        QVERIFY(!MainF->isVisible());
        QCOMPARE(app::failedLogins(), 0);
    }
    DM->disconnectFromBank();
    const QString repaired = ws.databasePath() + QStringLiteral(".repaired");
    QProcess tool;
    tool.start(QStringLiteral(EXAVORO_DB_TOOL), {QStringLiteral("repair"), ws.databasePath(), QStringLiteral("-o"), repaired});
    tool.write("y\n");
    tool.closeWriteChannel();
    QVERIFY(tool.waitForFinished(60000));
    const QString said = QString::fromUtf8(tool.readAllStandardOutput());
    QVERIFY2(tool.exitCode() == 0 && said.contains(QStringLiteral("数据表“kmb”的定义与本程序建立的不同")), qPrintable(said));
    QVERIFY(QFile::remove(ws.databasePath()));
    QVERIFY(QFile::rename(repaired, ws.databasePath()));
    BoxAnswerer boxes;
    login("admin", "pw");
    QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join('\n')));
    QVERIFY(MainF->isVisible());
    QCOMPARE(MainF->ComboBoxKmm->currentText(), QStringLiteral("数学"));
}

void BankOpenTest::hostileSchemaIsRefusedBeforeAnythingRuns_data()
{
    QTest::addColumn<QStringList>("statements");
    QTest::addColumn<QString>("named");
    QTest::newRow("trigger raising rights at the next store")
        << QStringList{QStringLiteral("CREATE TRIGGER up AFTER INSERT ON stb BEGIN UPDATE mmb SET qx='3' WHERE yhm='li';"
                                      " UPDATE mmb SET mm=(SELECT mm FROM mmb WHERE yhm='li') WHERE yhm='admin'; END")}
        << QStringLiteral("触发器“up”");
    QTest::newRow("trigger firing at login")
        << QStringList{QStringLiteral("INSERT OR IGNORE INTO picture_sweep (due) VALUES (1)"),
                       QStringLiteral("CREATE TRIGGER at_login AFTER DELETE ON picture_sweep BEGIN"
                                      " UPDATE mmb SET qx='3' WHERE yhm='li'; END")}
        << QStringLiteral("触发器“at_login”");
    QTest::newRow("view in place of a table")
        << QStringList{QStringLiteral("DROP TABLE formula_omml"),
                       QStringLiteral("CREATE VIEW formula_omml AS SELECT 1 AS id, 'x' AS latex_hash, 'x' AS latex, 'x' AS omml")}
        << QStringLiteral("视图“formula_omml”");
    QTest::newRow("index of another tool")
        << QStringList{QStringLiteral("CREATE INDEX stb_text ON stb (length(tm))")} << QStringLiteral("索引“stb_text”");
    QTest::newRow("one of the program's triggers rewritten")
        << QStringList{QStringLiteral("DROP TRIGGER question_counts_insert"),
                       QStringLiteral("CREATE TRIGGER question_counts_insert AFTER INSERT ON stb BEGIN"
                                      " UPDATE mmb SET qx='3'; END")}
        << QStringLiteral("触发器“question_counts_insert”的定义与本程序建立的不同");
    QTest::newRow("trigger emptying the search index")
        << QStringList{QStringLiteral("CREATE TRIGGER wipe AFTER INSERT ON stb BEGIN"
                                      " INSERT INTO stb_search (stb_search) VALUES ('delete-all'); END")}
        << QStringLiteral("触发器“wipe”");
    QTest::newRow("the search index's trigger rewritten")
        << QStringList{QStringLiteral("DROP TRIGGER stb_search_insert"),
                       QStringLiteral("CREATE TRIGGER stb_search_insert AFTER INSERT ON stb BEGIN"
                                      " UPDATE mmb SET qx='3'; END")}
        << QStringLiteral("触发器“stb_search_insert”的定义与本程序建立的不同");
    QTest::newRow("search index of another tokenizer")
        << QStringList{QStringLiteral("DROP TABLE stb_search"),
                       QStringLiteral("CREATE VIRTUAL TABLE stb_search USING fts5(tm, da, content='stb',"
                                      " content_rowid='id')")}
        << QStringLiteral("数据表“stb_search”的定义与本程序建立的不同");
}

void BankOpenTest::hostileSchemaIsRefusedBeforeAnythingRuns()
{
    QFETCH(QStringList, statements);
    QFETCH(QString, named);
    Workspace ws({{QStringLiteral("admin"), QStringLiteral("pw"), 3}, {QStringLiteral("li"), QStringLiteral("li1"), 1}},
                 false);
    alterFile(ws.databasePath(), statements);
    const auto users = [&] {
        QString text;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("peek"));
            db.setDatabaseName(ws.databasePath());
            if (db.open()) {
                QSqlQuery q(QStringLiteral("SELECT yhm, mm, qx FROM mmb ORDER BY id"), db);
                while (q.next()) text += q.value(0).toString() + q.value(1).toString() + q.value(2).toString();
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("peek"));
        return text;
    };
    const QString before = users();
    for (const QString& who : {QStringLiteral("li"), QStringLiteral("admin")}) {
        BoxAnswerer boxes;
        login(who, who == QLatin1String("li") ? QStringLiteral("li1") : QStringLiteral("pw"));
        QCOMPARE(boxes.texts.size(), 1);
        QVERIFY2(boxes.texts[0].contains(named) && boxes.texts[0].contains(QStringLiteral("不是本程序建立的内容")),
                 qPrintable(boxes.texts[0]));
        QVERIFY(!MainF->isVisible());
        testing::closeAllWindows();
    }
    // Nothing of the file ran: the users are as they were.
    QCOMPARE(users(), before);
}

void BankOpenTest::connectionsRunWithSQLiteDefencesOn()
{
    Workspace ws({{QStringLiteral("admin"), QStringLiteral("pw"), 3}});
    const QSqlDatabase db = DM->db();
    // The file's schema is trusted only once it was found to be the program's own (its triggers
    // keep the search index, an FTS5 table, which SQLite lets only a trusted schema use); a
    // connection that has not checked it does not trust it.
    QCOMPARE(sql::scalar(db, QStringLiteral("PRAGMA trusted_schema")), QStringLiteral("1"));
    {
        QSqlDatabase fresh = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fresh"));
        fresh.setDatabaseName(ws.databasePath());
        QVERIFY(fresh.open());
        bank_file::harden(fresh);
        QCOMPARE(sql::scalar(fresh, QStringLiteral("PRAGMA trusted_schema")), QStringLiteral("0"));
        // Unchecked, the schema's triggers may not write the search index.
        QVERIFY_THROWS_EXCEPTION(DataError, sql::run(fresh, QStringLiteral("INSERT INTO stb (kmh, tm) VALUES ('01', 'x')")));
        sql::releaseStatements(fresh);
        fresh.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fresh"));
    // Defensive mode: the schema cannot be edited as a table.
    sql::run(db, QStringLiteral("PRAGMA writable_schema = ON"));
    QVERIFY_THROWS_EXCEPTION(DataError, sql::run(db, QStringLiteral("UPDATE sqlite_master SET sql = sql WHERE name = 'kmb'")));
    // Views of the file are off: one made in it cannot be read.
    sql::run(db, QStringLiteral("CREATE VIEW v AS SELECT 1"));
    QVERIFY_THROWS_EXCEPTION(DataError, sql::run(db, QStringLiteral("SELECT * FROM v")));
}

void BankOpenTest::theBankOpensWhileTheLoginWindowWaitsAndStaysOpenForTheNextLogin()
{
    Workspace ws({{QStringLiteral("admin"), QStringLiteral("pw"), 3}}, false);
    const QString path = ws.databasePath();
    BoxAnswerer boxes;  // a refused login answers its message, failing the checks below
    // Opened ahead, the bank is this program's: another one is refused at once.
    QVERIFY(DM->openBankAhead(app::bankLocation()));
    QProcess holder;
    startHolder(holder, path);
    QVERIFY(holder.waitForFinished(20000));
    QVERIFY(holder.readAllStandardOutput().startsWith("refused"));
    login("admin", "pw");
    QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join('\n')));
    QCOMPARE(current_user::name(), QStringLiteral("admin"));

    // A user added by the program is there at the next login on the same open file.
    sql::run(DM->db(), QStringLiteral("INSERT INTO mmb (yhm, mm, qx) VALUES ('second', 'pw2', '2')"));
    testing::closeAllWindows();
    login("second", "pw2");
    QCOMPARE(current_user::name(), QStringLiteral("second"));

    // Another file put in the bank's place (a copy with a user of its own) is what the next login
    // reads, though the program had the old one open.
    const QString copy = ws.root() + QStringLiteral("/copy.db");
    QVERIFY(QFile::copy(path, copy));
    alterFile(copy, {QStringLiteral("INSERT INTO mmb (yhm, mm, qx) VALUES ('third', 'pw3', '1')")});
    QCOMPARE(std::rename(QFile::encodeName(copy).constData(), QFile::encodeName(path).constData()), 0);
    testing::closeAllWindows();
    login("third", "pw3");
    QCOMPARE(current_user::name(), QStringLiteral("third"));
    testing::closeAllWindows();

    // A file of this version written before the picture mark existed, a file of another version
    // and a missing file are left for the login to upgrade or report; nothing is held meanwhile.
    QStringList unmarked;
    for (const QString& name : sql::column(DM->db(), QStringLiteral("SELECT name FROM sqlite_master"
                                                                    " WHERE type = 'trigger' AND name LIKE 'picture_sweep%'"))) {
        unmarked << QStringLiteral("DROP TRIGGER %1").arg(name);
    }
    QVERIFY(!unmarked.isEmpty());
    unmarked << QStringLiteral("DROP TABLE picture_sweep");
    DM->disconnectFromBank();
    alterFile(path, unmarked);
    QVERIFY(!DM->openBankAhead(app::bankLocation()));
    QVERIFY(!DM->isConnected());
    login("third", "pw3");
    QCOMPARE(current_user::name(), QStringLiteral("third"));
    QCOMPARE(sql::scalar(DM->db(), QStringLiteral("SELECT COUNT(*) FROM picture_sweep")).toInt(), 1);
    testing::closeAllWindows();
    DM->disconnectFromBank();
    alterFile(path, {QStringLiteral("PRAGMA user_version = 1")});
    QVERIFY(!DM->openBankAhead(app::bankLocation()));
    QVERIFY(!DM->isConnected());
    QVERIFY(!QFile::exists(path + QStringLiteral(".lock")));
    login("third", "pw3");
    QCOMPARE(sql::scalar(DM->db(), QStringLiteral("PRAGMA user_version")).toInt(), schema::kVersion);
    testing::closeAllWindows();
    DM->disconnectFromBank();
    QVERIFY(QFile::remove(path));
    QVERIFY(!DM->openBankAhead(app::bankLocation()));
    login("third", "pw3");
    QCOMPARE(boxes.texts.size(), 1);
    QVERIFY2(boxes.texts[0].contains(QStringLiteral("文件不存在")), qPrintable(boxes.texts[0]));
}

int main(int argc, char** argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--hold-bank") == 0) return holdBank(argc, argv);
    QApplication application(argc, argv);
    BankOpenTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_bank_open.moc"
