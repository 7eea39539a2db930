// The command-line companion: creating databases, refusing to overwrite, clear errors.
#include "data/data_module.h"
#include "data/passwords.h"
#include "data/schema.h"
#include "data/sql.h"
#include "ui/forms.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QTest>

class DbToolTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void initAsksThePasswordTwiceAndCreatesOneSuperUser();
    void initRefusesMismatchedPasswordsAndExistingFiles();
    void demoHasThreeAccountsAndAComposableBank();
    void demoKeepsAnAAndABPaperWithASittingOfTheA();
    void generateIsDeterministicAndShapedForMeasurements();
    void unknownCommandsAndMissingValuesFailWithOneLine();

private:
    struct Run {
        int code;
        QString out;
        QString err;
    };
    Run tool(const QStringList& args, const QByteArray& input = {});
    QString scalar(const QString& path, const QString& statement);
    QTemporaryDir* dir_ = nullptr;
};

void DbToolTest::init()
{
    dir_ = new QTemporaryDir;
}

void DbToolTest::cleanup()
{
    delete dir_;
}

DbToolTest::Run DbToolTest::tool(const QStringList& args, const QByteArray& input)
{
    QProcess p;
    p.setWorkingDirectory(dir_->path());
    p.start(QStringLiteral(EXAVORO_DB_TOOL), args);
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(120000)) qFatal("exavoro-db did not finish");
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

QString DbToolTest::scalar(const QString& path, const QString& statement)
{
    QString value;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
        db.setDatabaseName(path);
        if (!db.open()) qFatal("cannot open %s", qPrintable(path));
        value = sql::scalar(db, statement);
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("check"));
    return value;
}

void DbToolTest::initAsksThePasswordTwiceAndCreatesOneSuperUser()
{
    const Run r = tool({"init", "--admin", "校长"}, "s3cret\ns3cret\n");
    QCOMPARE(r.code, 0);
    const QString db = dir_->filePath("Data/examdb.db");
    QVERIFY(QFile::exists(db));
    QCOMPARE(scalar(db, "SELECT COUNT(*) FROM mmb"), QStringLiteral("1"));
    QCOMPARE(scalar(db, "SELECT yhm || '|' || qx || '|' || bz FROM mmb"), QStringLiteral("校长|3|超级用户"));
    const QString stored = scalar(db, "SELECT mm FROM mmb");
    QVERIFY(passwords::isHash(stored));
    QVERIFY(passwords::matches(stored, "s3cret"));
    QVERIFY(!r.out.contains("s3cret") && !r.err.contains("s3cret"));
    QCOMPARE(scalar(db, "SELECT COUNT(*) FROM stb"), QStringLiteral("0"));
    QCOMPARE(scalar(db, "PRAGMA user_version"), QString::number(schema::kVersion));
}

void DbToolTest::initRefusesMismatchedPasswordsAndExistingFiles()
{
    Run r = tool({"init", "--admin", "a"}, "one\ntwo\n");
    QCOMPARE(r.code, 1);
    QVERIFY(r.err.contains("不一致"));
    QVERIFY(!QFile::exists(dir_->filePath("Data/examdb.db")));
    QVERIFY(!QDir(dir_->filePath("Data")).entryList(QDir::Files).contains("examdb.db.part"));
    QCOMPARE(tool({"demo"}).code, 0);
    const QByteArray before = [&] {
        QFile f(dir_->filePath("Data/examdb.db"));
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    r = tool({"init", "--admin", "a"}, "x\nx\n");
    QCOMPARE(r.code, 1);
    QVERIFY(r.err.contains("已存在"));
    QCOMPARE(r.err.count('\n'), 1);  // one line
    QCOMPARE(tool({"demo"}).code, 1);
    QFile f(dir_->filePath("Data/examdb.db"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);  // untouched
}

void DbToolTest::demoHasThreeAccountsAndAComposableBank()
{
    const Run r = tool({"demo"});
    QCOMPARE(r.code, 0);
    QVERIFY(r.out.contains("admin") && r.out.contains("teacher") && r.out.contains("office"));
    const QString db = dir_->filePath("Data/examdb.db");
    QCOMPARE(scalar(db, "SELECT group_concat(qx, '') FROM (SELECT qx FROM mmb ORDER BY qx)"), QStringLiteral("123"));
    QVERIFY(scalar(db, "SELECT COUNT(*) FROM kmb").toInt() >= 3);
    QVERIFY(scalar(db, "SELECT COUNT(*) FROM stb").toInt() >= 150);
    QCOMPARE(scalar(db, "SELECT COUNT(DISTINCT nd) FROM stb"), QStringLiteral("5"));
    // Every question belongs to a type and a chapter of its own subject.
    QCOMPARE(scalar(db, "SELECT COUNT(*) FROM stb WHERE NOT EXISTS (SELECT 1 FROM txb WHERE txb.kmh=stb.kmh AND "
                        "txb.txh=stb.txh) OR NOT EXISTS (SELECT 1 FROM zjb WHERE zjb.kmh=stb.kmh AND zjb.zjh=stb.zjh)"),
             QStringLiteral("0"));
    // Numbers run 001, 002, ... within each subject and type.
    QCOMPARE(scalar(db, "SELECT COUNT(*) FROM stb a WHERE CAST(a.th AS INTEGER) <> (SELECT COUNT(*) FROM stb b WHERE "
                        "b.kmh=a.kmh AND b.txh=a.txh AND b.id<=a.id) OR length(a.th) < 3"),
             QStringLiteral("0"));
    // The accounts log in through the program's own data module.
    DM = new TDM;
    DM->connectTo(db);
    int admitted = 0;
    Dataset* mmb = DM->AdoMmb;
    for (mmb->first(); !mmb->eof(); mmb->next()) {
        if (mmb->str("yhm") == "admin" && passwords::matches(mmb->str("mm"), "admin123")) admitted = mmb->fieldByName("qx").asInteger();
    }
    QCOMPARE(admitted, 3);
    delete DM;
    DM = nullptr;
}

void DbToolTest::demoKeepsAnAAndABPaperWithASittingOfTheA()
{
    QCOMPARE(tool({"demo"}).code, 0);
    const QString db = dir_->filePath("Data/examdb.db");
    QCOMPARE(scalar(db, "SELECT group_concat(title || '|' || COALESCE(variant, '') || '|' || question_count, ';')"
                        " FROM (SELECT * FROM papers ORDER BY id)"),
             QStringLiteral("七年级数学单元测验（A卷）||14;七年级数学单元测验（B卷）|B|14"));
    QCOMPARE(scalar(db, "SELECT source_id FROM papers WHERE variant='B'"), scalar(db, "SELECT MIN(id) FROM papers"));
    QCOMPARE(scalar(db, "SELECT paper_id || '|' || students FROM sittings"),
             scalar(db, "SELECT MIN(id) FROM papers") + QStringLiteral("|48"));
    QCOMPARE(scalar(db, "SELECT COUNT(*) FROM sitting_students"), QStringLiteral("48"));
    // Every question of the A paper is measured, by its id in the bank; the eight choice
    // questions' letters are kept for the distractor analysis.
    QCOMPARE(scalar(db, "SELECT COUNT(*) FROM question_stats s JOIN stb q ON q.id=s.question_id"),
             QStringLiteral("14"));
    QCOMPARE(scalar(db, "SELECT COUNT(*) FROM sitting_students WHERE length(choices)=14"), QStringLiteral("48"));
    QCOMPARE(scalar(db, "SELECT COUNT(*) FROM question_stats WHERE difficulty < 0.1 OR difficulty > 0.97"),
             QStringLiteral("0"));
    // Students answer as their ability makes likely: questions discriminate, none against the rest.
    QCOMPARE(scalar(db, "SELECT COUNT(*) FROM question_stats WHERE discrimination < 0.2 OR item_rest < 0"),
             QStringLiteral("0"));
}

void DbToolTest::generateIsDeterministicAndShapedForMeasurements()
{
    QCOMPARE(tool({"generate", "--questions", "7500", "--file", "a.db"}).code, 0);
    QCOMPARE(tool({"generate", "--questions", "7500", "--file", "b.db"}).code, 0);
    const QString a = dir_->filePath("a.db"), b = dir_->filePath("b.db");
    const QString digest = "SELECT group_concat(th || zjh || nd || length(tm) || substr(da, 1, 5), ',') FROM stb";
    QCOMPARE(scalar(a, digest), scalar(b, digest));
    QCOMPARE(scalar(a, "SELECT COUNT(*) FROM stb"), QStringLiteral("7500"));
    QCOMPARE(scalar(a, "SELECT COUNT(*) FROM kmb"), QStringLiteral("10"));
    QCOMPARE(scalar(a, "SELECT COUNT(*) FROM txb"), QStringLiteral("80"));
    QCOMPARE(scalar(a, "SELECT COUNT(*) FROM zjb"), QStringLiteral("200"));
    QCOMPARE(scalar(a, "SELECT COUNT(*) FROM stb WHERE kmh='01' AND txh='01'"), QStringLiteral("5000"));
    QCOMPARE(scalar(a, "SELECT COUNT(*) FROM stb WHERE kmh='01' AND txh='02'"), QStringLiteral("2000"));
    QCOMPARE(scalar(a, "SELECT MIN(length(tm)) >= 100 AND MAX(length(tm)) <= 600 FROM stb"), QStringLiteral("1"));
    QCOMPARE(scalar(a, "SELECT COUNT(DISTINCT nd) FROM stb"), QStringLiteral("5"));
    QCOMPARE(tool({"generate", "--questions", "10", "--file", "a.db"}).code, 1);  // never overwrites
}

void DbToolTest::unknownCommandsAndMissingValuesFailWithOneLine()
{
    Run r = tool({"frobnicate"});
    QCOMPARE(r.code, 2);
    QVERIFY(r.err.contains("未知命令"));
    r = tool({"generate", "--questions"});
    QCOMPARE(r.code, 1);
    QVERIFY(r.err.startsWith("错误："));
    QCOMPARE(r.err.count('\n'), 1);
    r = tool({"init"});
    QCOMPARE(r.code, 1);
    QVERIFY(r.err.contains("--admin"));
    QCOMPARE(tool({}).code, 2);
}

QTEST_MAIN(DbToolTest)
#include "test_db_tool.moc"
