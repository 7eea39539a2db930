// Backups, restores and checks of a bank through exavoro-db, as a user runs them beside a
// running program.
#include <sqlite3.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <atomic>
#include <thread>

#include "data/backup.h"
#include "data/bank_lock.h"
#include "demo/demo.h"
#include "data/sql.h"

class BackupTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void backupWhileAnotherConnectionWritesIsConsistent();
    void backupNeverOverwritesAndRestoreKeepsThePreviousBank();
    void backupOfAQuietBankIsItsBytesAndALoggedBankIsCopiedWhole();
    void restoreRefusesDamagedFilesAndLeavesTheBankUnchanged();
    void restoreIsRefusedWhileAProgramHoldsTheLock();
    void checkFindsEveryKindOfOrphanAndDamagedColumns();
    void filesHoldingForeignCodeAreRefusedAndRepairedOnlyWhenAsked();
    void sparseAndOverlongFilesAreRefusedBeforeAnythingIsCopied();
    void bankFilesArePrivateAndARestoreKeepsWhoMayUseTheBank();

private:
    struct Run {
        int code;
        QString out;
        QString err;
    };
    Run tool(const QStringList& args);
    QString bank() const { return dir_->filePath(QStringLiteral("Data/examdb.db")); }
    static QByteArray digest(const QString& path);
    static void execOn(const QString& path, const QString& statements);
    static int countIn(const QString& path, const QString& table);
    // The files in Data/ apart from the empty guard file the bank lock keeps beside the bank.
    QStringList dataFiles() const
    {
        QStringList files = QDir(dir_->filePath(QStringLiteral("Data"))).entryList(QDir::Files | QDir::Hidden);
        files.removeAll(QStringLiteral("examdb.db-guard"));
        return files;
    }
    QTemporaryDir* dir_ = nullptr;
};

void BackupTest::init()
{
    dir_ = new QTemporaryDir;
    demo::createDemoDatabase(bank());
}

void BackupTest::cleanup()
{
    delete dir_;
}

BackupTest::Run BackupTest::tool(const QStringList& args)
{
    QProcess p;
    p.setWorkingDirectory(dir_->path());
    p.start(QStringLiteral(EXAVORO_DB_TOOL), args);
    p.closeWriteChannel();
    if (!p.waitForFinished(120000)) qFatal("exavoro-db did not finish");
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

QByteArray BackupTest::digest(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

void BackupTest::execOn(const QString& path, const QString& statements)
{
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    char* error = nullptr;
    if (sqlite3_exec(db, statements.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK) {
        qFatal("%s", error);
    }
    sqlite3_close(db);
}

int BackupTest::countIn(const QString& path, const QString& table)
{
    int n = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("count"));
        db.setDatabaseName(path);
        if (db.open()) n = sql::scalar(db, QStringLiteral("SELECT COUNT(*) FROM %1").arg(table)).toInt();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("count"));
    return n;
}

void BackupTest::backupWhileAnotherConnectionWritesIsConsistent()
{
    QFile::remove(bank());
    demo::createGeneratedDatabase(bank(), 3000);
    const int before = countIn(bank(), QStringLiteral("stb"));

    // Another connection keeps adding whole subjects (subject, type, chapter and questions in one
    // transaction): a copy that is not one consistent state would show orphans or half a subject.
    std::atomic<bool> stop{false};
    std::atomic<int> subjects{0};
    std::thread writer([&] {
        sqlite3* db = nullptr;
        sqlite3_open(QFile::encodeName(bank()).constData(), &db);
        sqlite3_busy_timeout(db, 20000);
        for (int s = 100; !stop; ++s) {
            const QByteArray kmh = QByteArray::number(s);
            QByteArray batch = "BEGIN; INSERT INTO kmb (kmh, kmm) VALUES ('" + kmh + "', '新科目" + kmh +
                               "'); INSERT INTO txb (kmh, txh, txm, bz) VALUES ('" + kmh +
                               "', '01', '单选', '0'); INSERT INTO zjb (kmh, zjh, zjm, bz) VALUES ('" + kmh +
                               "', '01', '第一章', '0');";
            for (int q = 0; q < 50; ++q) {
                batch += "INSERT INTO stb (kmh, txh, th, zjh, nd, fs, tm, da, time, bz) VALUES ('" + kmh +
                         "', '01', '" + QByteArray::number(q) +
                         "', '01', '易', '2', randomblob(400), '答', "
                         "'9:00:00', '');";
            }
            batch += "COMMIT;";
            if (sqlite3_exec(db, batch.constData(), nullptr, nullptr, nullptr) == SQLITE_OK) {
                ++subjects;
            } else {
                sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
            }
        }
        sqlite3_close(db);
    });
    while (subjects < 3) QThread::msleep(5);
    QStringList copies;
    for (int i = 0; i < 4; ++i) {
        const QString copy = dir_->filePath(QStringLiteral("copy%1.db").arg(i));
        const Run r = tool({"backup", "-o", copy});
        QCOMPARE(r.code, 0);
        QVERIFY(r.out.contains(copy));
        copies << copy;
    }
    stop = true;
    writer.join();
    QVERIFY(subjects >= 4);

    for (const QString& copy : copies) {
        const Run r = tool({"check", "--file", copy});
        QVERIFY2(r.code == 0, qPrintable(r.out + r.err));
        const int questions = countIn(copy, QStringLiteral("stb"));
        QVERIFY(questions >= before + 3 * 50);
        QCOMPARE((questions - before) % 50, 0);
        QCOMPARE((questions - before) / 50, countIn(copy, QStringLiteral("kmb")) - 10);
    }
    // Nothing half-written stays behind in the folder of the copies.
    QCOMPARE(QDir(dir_->path()).entryList({QStringLiteral("*.partial")}, QDir::Files | QDir::Hidden).size(), 0);
}

// A bank nobody writes is copied byte for byte. A bank in write-ahead-log mode keeps part of its
// state in the log: its copy holds every committed row all the same, and is a bank of its own.
void BackupTest::backupOfAQuietBankIsItsBytesAndALoggedBankIsCopiedWhole()
{
    const QString quiet = dir_->filePath("quiet.db");
    Run r = tool({"backup", "-o", quiet});
    QCOMPARE(r.code, 0);
    QCOMPARE(digest(quiet), digest(bank()));

    execOn(bank(), "PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0");
    sqlite3* writer = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(bank()).constData(), &writer), SQLITE_OK);
    QCOMPARE(sqlite3_exec(writer,
                          "PRAGMA wal_autocheckpoint=0; INSERT INTO kmb (kmh, kmm) VALUES ('77', '日志中的科目')",
                          nullptr, nullptr, nullptr),
             SQLITE_OK);
    QVERIFY(QFileInfo(bank() + "-wal").size() > 0);  // the new row is in the log only
    const QString logged = dir_->filePath("logged.db");
    r = tool({"backup", "-o", logged});
    sqlite3_close(writer);
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QVERIFY(!QFileInfo::exists(logged + "-wal") || QFileInfo(logged + "-wal").size() == 0);
    QCOMPARE(countIn(logged, "kmb"), countIn(bank(), "kmb"));
    r = tool({"check", "--file", logged});
    QVERIFY2(r.code == 0, qPrintable(r.out + r.err));
}

void BackupTest::backupNeverOverwritesAndRestoreKeepsThePreviousBank()
{
    // Default name in Data/backup.
    Run r = tool({"backup"});
    QCOMPARE(r.code, 0);
    const QStringList made = QDir(dir_->filePath("Data/backup")).entryList({"examdb-*.db"}, QDir::Files);
    QCOMPARE(made.size(), 1);
    QVERIFY(QRegularExpression("^examdb-\\d{8}-\\d{6}\\.db$").match(made.first()).hasMatch());
    const QString copy = dir_->filePath("Data/backup/" + made.first());
    const QByteArray original = digest(bank());

    // An existing file is never overwritten.
    QFile other(dir_->filePath("mine.db"));
    QVERIFY(other.open(QIODevice::WriteOnly));
    other.write("my own file");
    other.close();
    r = tool({"backup", "-o", "mine.db"});
    QCOMPARE(r.code, 1);
    QVERIFY(r.err.contains(QStringLiteral("已存在，不会覆盖")));
    QVERIFY(other.open(QIODevice::ReadOnly));
    QCOMPARE(other.readAll(), QByteArray("my own file"));
    other.close();

    // Change the bank, then restore the backup: the change is gone and the changed bank is kept.
    execOn(bank(), "DELETE FROM stb");
    const QByteArray changed = digest(bank());
    r = tool({"restore", copy});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QVERIFY(countIn(bank(), "stb") > 0);
    QCOMPARE(countIn(bank(), "stb"), countIn(copy, "stb"));
    const QStringList kept = QDir(dir_->filePath("Data")).entryList({"examdb.db.before-restore-*"}, QDir::Files);
    QCOMPARE(kept.size(), 1);
    QVERIFY(r.out.contains(kept.first()));
    QCOMPARE(digest(dir_->filePath("Data/" + kept.first())), changed);
    QVERIFY(original != changed);
    // No temporary or lock file is left in Data.
    QCOMPARE(dataFiles(), (QStringList{"examdb.db", kept.first()}));
}

void BackupTest::restoreRefusesDamagedFilesAndLeavesTheBankUnchanged()
{
    QVERIFY(tool({"backup", "-o", "good.db"}).code == 0);
    QFile good(dir_->filePath("good.db"));
    QVERIFY(good.open(QIODevice::ReadOnly));
    const QByteArray bytes = good.readAll();
    good.close();
    QVERIFY(bytes.size() > 8 * 4096);

    auto write = [&](const QString& name, const QByteArray& content) {
        QFile f(dir_->filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    };
    write("truncated.db", bytes.left(bytes.size() / 2));
    QByteArray flipped = bytes;
    // Every b-tree page after the first gets an impossible page type.
    const int pageSize = (static_cast<unsigned char>(bytes[16]) << 8) | static_cast<unsigned char>(bytes[17]);
    for (int page = 1; page * pageSize < flipped.size(); ++page) flipped[page * pageSize] = char(0x6b);
    write("flipped.db", flipped);
    QByteArray header = bytes;
    header[3] = 'X';
    write("header.db", header);
    write("text.db", QByteArray("kmh,kmm\n01,语文\n").repeated(100));
    write("empty.db", QByteArray());
    execOn(dir_->filePath("other.db"), "CREATE TABLE notes (id INTEGER PRIMARY KEY, body TEXT)");
    execOn(dir_->filePath("newer.db"), "CREATE TABLE x (a); PRAGMA user_version = 99");
    write("columns.db", bytes);
    execOn(dir_->filePath("columns.db"), "DROP INDEX stb_list; ALTER TABLE stb DROP COLUMN nd");

    const QByteArray before = digest(bank());
    const QStringList filesBefore = dataFiles();
    const struct {
        const char* file;
        const char* says;
    } cases[] = {
        {"truncated.db", "不能用来恢复题库"},
        {"flipped.db", "完整性检查"},
        {"header.db", "不是 SQLite 数据库"},
        {"text.db", "不是 SQLite 数据库"},
        {"empty.db", "不是 SQLite 数据库"},
        {"other.db", "缺少数据表 kmb"},
        {"newer.db", "比本程序新"},
        {"columns.db", "数据表 stb 缺少字段：nd"},
        {"missing.db", "不存在"},
    };
    for (const auto& c : cases) {
        const Run r = tool({"restore", c.file});
        QVERIFY2(r.code == 1, c.file);
        QVERIFY2(r.err.startsWith(QStringLiteral("错误：")) && r.err.contains(QString::fromUtf8(c.says)),
                 qPrintable(QString::fromLatin1(c.file) + ": " + r.err));
        QCOMPARE(digest(bank()), before);
        QCOMPARE(dataFiles(), filesBefore);
    }
    // check says the same about them, with a non-zero exit code.
    for (const char* file : {"truncated.db", "flipped.db", "text.db", "columns.db"}) {
        const Run r = tool({"check", "--file", file});
        QVERIFY2(r.code == 1 && r.out.contains(QStringLiteral("损坏：")), file);
    }
}

void BackupTest::restoreIsRefusedWhileAProgramHoldsTheLock()
{
    QVERIFY(tool({"backup", "-o", "good.db"}).code == 0);
    execOn(bank(), "DELETE FROM mmb");
    const QByteArray before = digest(bank());
    {
        // This test process plays the running program.
        BankLock lock;
        lock.acquire(bank());
        const Run r = tool({"restore", "good.db"});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(QStringLiteral("不能恢复题库：题库正被另一个程序使用")), qPrintable(r.err));
        QCOMPARE(digest(bank()), before);
    }
    // A lock left by a program that has ended does not stand in the way.
    QProcess ended;
    ended.start(QStringLiteral("sleep"), {QStringLiteral("0.1")});
    QVERIFY(ended.waitForStarted());
    const qint64 endedPid = ended.processId();
    QVERIFY(ended.waitForFinished());
    QFile stale(backup::lockPath(bank()));
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.write(QByteArray::number(endedPid) + "\nexavoro\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    stale.close();
    const Run r = tool({"restore", "good.db"});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QVERIFY(countIn(bank(), "mmb") > 0);
    QVERIFY(!QFile::exists(backup::lockPath(bank())));
}

void BackupTest::checkFindsEveryKindOfOrphanAndDamagedColumns()
{
    Run r = tool({"check"});
    QVERIFY2(r.code == 0, qPrintable(r.out));
    QVERIFY(r.out.contains(QStringLiteral("检查通过")));
    QVERIFY(tool({"backup", "-o", "clean.db"}).code == 0);

    const struct {
        const char* plant;
        const char* says;
    } cases[] = {
        {"UPDATE stb SET kmh = '77' WHERE id = (SELECT MIN(id) FROM stb)", "1 道试题属于不存在的科目（科目号 77）"},
        {"UPDATE stb SET txh = '88' WHERE id IN (SELECT id FROM stb LIMIT 2)", "2 道试题属于不存在的题型"},
        {"UPDATE stb SET zjh = '66' WHERE id = (SELECT MAX(id) FROM stb)", "1 道试题属于不存在的章节"},
        {"INSERT INTO txb (kmh, txh, txm, bz) VALUES ('55', '01', '孤立题型', '0')",
         "1 个题型属于不存在的科目（科目号 55）"},
        {"INSERT INTO zjb (kmh, zjh, zjm, bz) VALUES ('44', '01', '孤立章节', '0')",
         "1 个章节属于不存在的科目（科目号 44）"},
    };
    for (const auto& c : cases) {
        QFile::remove(bank());
        QVERIFY(QFile::copy(dir_->filePath("clean.db"), bank()));
        execOn(bank(), QString::fromUtf8(c.plant));
        r = tool({"check"});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.out.contains(QStringLiteral("孤立记录：") + QString::fromUtf8(c.says)), qPrintable(r.out));
        // Exactly the planted kind is reported.
        QCOMPARE(r.out.count(QStringLiteral("孤立记录：")), 1);
    }
    // Orphans do not make a file unusable: it can still be restored.
    QVERIFY(tool({"backup", "-o", "orphans.db"}).code == 0);
    r = tool({"restore", "orphans.db"});
    QVERIFY2(r.code == 0, qPrintable(r.err));

    execOn(bank(), "ALTER TABLE mmb DROP COLUMN qx");
    r = tool({"check"});
    QCOMPARE(r.code, 1);
    QVERIFY(r.out.contains(QStringLiteral("损坏：数据表 mmb 缺少字段：qx")));
}

QTEST_GUILESS_MAIN(BackupTest)

void BackupTest::filesHoldingForeignCodeAreRefusedAndRepairedOnlyWhenAsked()
{
    // The demo bank with a trigger that makes teacher a super user and gives admin office's
    // password at the next question stored, and a view in place of the formula cache.
    QVERIFY(tool({"backup", "-o", "hostile.db"}).code == 0);
    const QString hostile = dir_->filePath("hostile.db");
    execOn(hostile,
           "CREATE TRIGGER raise AFTER INSERT ON stb BEGIN UPDATE mmb SET qx='3' WHERE yhm='teacher';"
           " UPDATE mmb SET mm=(SELECT mm FROM mmb WHERE yhm='office') WHERE yhm='admin'; END;"
           "DROP TABLE formula_omml; CREATE VIEW formula_omml AS SELECT 1 AS id, 'a' AS latex_hash, 'b' AS latex,"
           " 'c' AS omml;");
    const QByteArray bankBefore = digest(bank());
    const QByteArray hostileBefore = digest(hostile);

    Run r = tool({"check", "--file", "hostile.db"});
    QCOMPARE(r.code, 1);
    QVERIFY2(r.out.contains(QStringLiteral("触发器“raise”不是本程序建立的")) &&
                 r.out.contains(QStringLiteral("视图“formula_omml”不是本程序建立的")),
             qPrintable(r.out));
    r = tool({"restore", "hostile.db"});
    QCOMPARE(r.code, 1);
    QVERIFY2(r.err.contains(QStringLiteral("触发器“raise”")), qPrintable(r.err));
    QCOMPARE(digest(bank()), bankBefore);
    r = tool({"copy", "--from", "hostile.db", "--to", "copied.db"});
    QCOMPARE(r.code, 1);
    QVERIFY2(r.err.contains(QStringLiteral("触发器“raise”")), qPrintable(r.err));
    QVERIFY(!QFile::exists(dir_->filePath("copied.db")));

    // A repair lists what goes and writes nothing unless the user agrees.
    QProcess p;
    p.setWorkingDirectory(dir_->path());
    p.start(QStringLiteral(EXAVORO_DB_TOOL), {QStringLiteral("repair"), QStringLiteral("hostile.db")});
    p.write("n\n");
    p.closeWriteChannel();
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 1);
    QVERIFY(QString::fromUtf8(p.readAllStandardOutput()).contains(QStringLiteral("触发器“raise”")));
    QVERIFY(!QFile::exists(dir_->filePath("hostile-repaired.db")));
    r = tool({"repair", "hostile.db", "--yes"});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QCOMPARE(digest(hostile), hostileBefore);
    const QString repaired = dir_->filePath("hostile-repaired.db");
    r = tool({"check", "--file", "hostile-repaired.db"});
    QVERIFY2(r.code == 0, qPrintable(r.out + r.err));
    QCOMPARE(countIn(repaired, "stb"), countIn(bank(), "stb"));
    QCOMPARE(countIn(repaired, "mmb"), 3);
    // The repaired bank runs the program's own triggers and nothing else: storing a question
    // changes no user.
    execOn(repaired, "INSERT INTO stb (kmh, txh, th, tm) VALUES ('01', '01', '999', 'x')");
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("peek"));
    db.setDatabaseName(repaired);
    QVERIFY(db.open());
    QCOMPARE(sql::scalar(db, QStringLiteral("SELECT qx FROM mmb WHERE yhm='teacher'")), QStringLiteral("1"));
    QVERIFY(sql::scalar(db, QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type IN ('view')")) ==
            QStringLiteral("0"));
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("peek"));
}

void BackupTest::sparseAndOverlongFilesAreRefusedBeforeAnythingIsCopied()
{
    QVERIFY(tool({"backup", "-o", "good.db"}).code == 0);
    // A file of a few hundred kilobytes on disk that reads as 2 GB (holes), and one with junk
    // after its last page.
    QVERIFY(QFile::copy(dir_->filePath("good.db"), dir_->filePath("sparse.db")));
    QVERIFY(QFile::resize(dir_->filePath("sparse.db"), qint64(2) << 30));
    QVERIFY(QFile::copy(dir_->filePath("good.db"), dir_->filePath("tail.db")));
    {
        QFile f(dir_->filePath("tail.db"));
        QVERIFY(f.open(QIODevice::Append));
        f.write(QByteArray(3 * 4096 + 17, 'x'));
    }
    const QByteArray before = digest(bank());
    const QStringList filesBefore = dataFiles();
    const struct {
        const char* file;
        const char* says;
    } cases[] = {{"sparse.db", "实际占用的空间"}, {"tail.db", "多余的数据"}};
    for (const auto& c : cases) {
        Run r = tool({"check", "--file", c.file});
        QVERIFY2(r.code == 1 && r.out.contains(QString::fromUtf8(c.says)), qPrintable(r.out + r.err));
        r = tool({"restore", c.file});
        QVERIFY2(r.code == 1 && r.err.contains(QString::fromUtf8(c.says)), qPrintable(r.err));
        QCOMPARE(digest(bank()), before);
        QCOMPARE(dataFiles(), filesBefore);
    }
    // The bank itself made sparse is not opened (every backup would write it out in full).
    QVERIFY(QFile::resize(bank(), qint64(2) << 30));
    const Run r = tool({"backup", "-o", "copy-of-sparse.db"});
    QVERIFY2(r.code == 1 && r.err.contains(QStringLiteral("实际占用的空间")), qPrintable(r.err));
    QVERIFY(!QFile::exists(dir_->filePath("copy-of-sparse.db")));
    const Run opened = tool({"export", "--subject", "数学", "--format", "gift", "-o", "x.gift"});
    QVERIFY2(opened.code != 0 && opened.err.contains(QStringLiteral("实际占用的空间")), qPrintable(opened.err));
}

void BackupTest::bankFilesArePrivateAndARestoreKeepsWhoMayUseTheBank()
{
    const mode_t old = ::umask(022);
    auto mode = [](const QString& path) {
        struct stat st {};
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
    };
    // A new bank holds password hashes: its owner's only, whatever the umask.
    QCOMPARE(mode(bank()), 0600);
    QVERIFY(tool({"demo", "--file", "new.db"}).code == 0);
    QCOMPARE(mode(dir_->filePath("new.db")), 0600);
    QVERIFY(tool({"backup", "-o", "kept.db"}).code == 0);
    QCOMPARE(mode(dir_->filePath("kept.db")), 0600);
    // A bank several accounts share keeps its permissions through a restore; the bank it
    // replaces is kept for its owner only.
    QVERIFY(::chmod(QFile::encodeName(bank()).constData(), 0660) == 0);
    const Run r = tool({"restore", "kept.db"});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QCOMPARE(mode(bank()), 0660);
    const QStringList kept = QDir(dir_->filePath("Data")).entryList({QStringLiteral("examdb.db.before-restore-*")});
    QCOMPARE(kept.size(), 1);
    QCOMPARE(mode(dir_->filePath("Data/" + kept.first())), 0600);
    ::umask(old);
}

#include "test_backup.moc"
