// The composition state (the paper being composed: sjb and the chosen types and chapters) in a
// bank file and on a server. In a file it is the file's own sjb, txb.bz and zjb.bz; on a server
// every connection has its own, so two teachers composing at once never see each other's drafts.
// The server cases run against the PostgreSQL server named by EXAVORO_TEST_SERVER (an
// administrative URI such as postgresql://exavoro@127.0.0.1:55432/postgres, as scripts/test.sh
// sets it for the server runs); they create and drop a database of their own there.
#include <QCoreApplication>
#include <QLineEdit>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include "../wizard/wizard_fixture.h"
#include "app/forms.h"
#include "data/composition_state.h"
#include "data/data_module.h"
#include "data/dataset.h"
#include "data/engine.h"
#include "data/errors.h"
#include "data/schema.h"
#include "data/sql.h"
#include "test_support.h"

namespace {

const QStringList kBankTables = {QStringLiteral("kmb"), QStringLiteral("txb"), QStringLiteral("zjb"),
                                 QStringLiteral("stb"), QStringLiteral("sjb")};

// Runs a statement without preparing it (a server prepares no table definitions).
void define(const QSqlDatabase& db, const QString& statement)
{
    QSqlQuery q(db);
    if (!q.exec(statement)) throw DataError(q.lastError().text() + QStringLiteral("\n") + statement);
}

// Subject 01 has two types named 选择题 (codes 01 and 04) and a 填空题 (02); its chapter name 第一章
// is given twice (codes 01 and 03, the second a later row). Subject 02 repeats the codes.
void seed(const QSqlDatabase& db)
{
    sql::run(db, QStringLiteral("INSERT INTO kmb (kmh, kmm) VALUES ('01','数学'), ('02','语文')"));
    sql::run(db, QStringLiteral("INSERT INTO txb (kmh, txh, txm, bz) VALUES ('01','01','选择题','0'),"
                                " ('01','02','填空题','0'), ('02','01','选择题','0'), ('01','04','选择题','0')"));
    sql::run(db, QStringLiteral("INSERT INTO zjb (kmh, zjh, zjm, bz) VALUES ('01','01','第一章','0'),"
                                " ('01','02','第二章','0'), ('02','01','第一章','0'), ('01','03','第一章','0')"));
    int n = 0;
    for (const char* kmh : {"01", "02"}) {
        for (const char* txh : {"01", "02"}) {
            for (const char* zjh : {"01", "02", "03"}) {
                ++n;
                sql::run(db,
                         QStringLiteral("INSERT INTO stb (kmh, txh, th, zjh, nd, fs, tm, da, \"time\", bz)"
                                        " VALUES (?,?,?,?,'易','5',?,?,'8:00:00','')"),
                         {QString::fromLatin1(kmh), QString::fromLatin1(txh), QString::number(n),
                          QString::fromLatin1(zjh), QStringLiteral("题%1").arg(n), QStringLiteral("答%1").arg(n)});
            }
        }
    }
}

// The question numbers the wizard offers as candidates of a type: the questions of its ticked
// chapters (the wizard's candidate query with the state's chapter condition).
QStringList candidates(const QSqlDatabase& db, const QString& kmh, const QString& txm)
{
    return sql::column(db,
                       QStringLiteral("SELECT stb.th FROM stb, zjb, txb WHERE stb.zjh=zjb.zjh AND stb.txh=txb.txh"
                                      " AND stb.kmh=? AND %1 AND txb.txm=? AND zjb.kmh=? AND txb.kmh=? ORDER BY stb.id")
                           .arg(composition::chosenChapterCondition(db)),
                       {kmh, txm, kmh, kmh});
}

QString flagsText(const QVector<composition::ChapterFlag>& flags)
{
    QStringList parts;
    for (const composition::ChapterFlag& f : flags)
        parts << f.zjm + (f.chosen ? QStringLiteral("+") : QStringLiteral("-"));
    return parts.join(QLatin1Char(' '));
}

QString state(const QSqlDatabase& db, const QString& kmh)
{
    return QStringLiteral("选择题=%1 填空题=%2 open=[%3] chapters=[%4] candidates=[%5]")
        .arg(composition::isTypeChosen(db, kmh, QStringLiteral("选择题")))
        .arg(composition::isTypeChosen(db, kmh, QStringLiteral("填空题")))
        .arg(composition::openTypeNames(db, kmh).join(QLatin1Char(',')))
        .arg(flagsText(composition::chapterFlags(db, kmh)))
        .arg(candidates(db, kmh, QStringLiteral("选择题")).join(QLatin1Char(',')));
}

// One composition as the wizard and a blueprint make it, the state seen after every step.
QStringList compose(const QSqlDatabase& db)
{
    QStringList seen;
    composition::startPaper(db);
    seen << state(db, QStringLiteral("01"));
    composition::setTypeChosen(db, QStringLiteral("01"), QStringLiteral("选择题"), true);
    composition::setChapterChosen(db, QStringLiteral("01"), QStringLiteral("第一章"), true);
    seen << state(db, QStringLiteral("01")) << state(db, QStringLiteral("02"));
    // Ticking again changes nothing; the later chapter of the same name stays unticked.
    composition::setChapterChosen(db, QStringLiteral("01"), QStringLiteral("第一章"), true);
    composition::setChapterChosen(db, QStringLiteral("01"), QStringLiteral("第二章"), true);
    seen << state(db, QStringLiteral("01"));
    composition::setChapterChosen(db, QStringLiteral("01"), QStringLiteral("第一章"), false);
    composition::setTypeChosen(db, QStringLiteral("01"), QStringLiteral("选择题"), false);
    seen << state(db, QStringLiteral("01"));
    // A blueprint marks by code: every chapter of the code, the type of the code only.
    composition::chooseTypeByCode(db, QStringLiteral("01"), QStringLiteral("04"));
    composition::chooseChapterByCode(db, QStringLiteral("01"), QStringLiteral("03"));
    composition::chooseTypeByCode(db, QStringLiteral("01"), QStringLiteral("02"));
    seen << state(db, QStringLiteral("01")) << state(db, QStringLiteral("02"));
    sql::run(db, QStringLiteral("INSERT INTO sjb (kmh, txh, th) VALUES ('01','01','9')"));
    composition::startPaper(db);
    seen << state(db, QStringLiteral("01")) << sql::scalar(db, QStringLiteral("SELECT COUNT(*) FROM sjb"));
    return seen;
}

const QStringList kComposed = {
    "选择题=0 填空题=0 open=[选择题,填空题,选择题] chapters=[第一章- 第二章- 第一章-] candidates=[]",
    "选择题=1 填空题=0 open=[填空题] chapters=[第一章+ 第二章- 第一章-] candidates=[1]",
    "选择题=0 填空题=0 open=[选择题] chapters=[第一章-] candidates=[]",
    "选择题=1 填空题=0 open=[填空题] chapters=[第一章+ 第二章+ 第一章-] candidates=[1,2]",
    "选择题=0 填空题=0 open=[选择题,填空题,选择题] chapters=[第一章- 第二章+ 第一章-] candidates=[2]",
    // The last 选择题 row (code 04) decides whether the type is complete.
    "选择题=1 填空题=1 open=[选择题] chapters=[第一章- 第二章+ 第一章+] candidates=[2,3]",
    "选择题=0 填空题=0 open=[选择题] chapters=[第一章-] candidates=[]",
    "选择题=0 填空题=0 open=[选择题,填空题,选择题] chapters=[第一章- 第二章- 第一章-] candidates=[]",
    "0",
};

// A database of its own on the server named by EXAVORO_TEST_SERVER, dropped at the end.
class ServerBank {
public:
    ServerBank()
    {
        const QString uri = qEnvironmentVariable("EXAVORO_TEST_SERVER");
        if (uri.isEmpty()) return;
        url_ = QUrl(uri);
        name_ = QStringLiteral("exavoro_composition_%1").arg(QCoreApplication::applicationPid());
        {
            QSqlDatabase admin = open(QStringLiteral("composition_admin"), url_.path().mid(1));
            define(admin, QStringLiteral("DROP DATABASE IF EXISTS %1").arg(name_));
            define(admin, QStringLiteral("CREATE DATABASE %1").arg(name_));
            admin.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("composition_admin"));
        {
            QSqlDatabase db = open(QStringLiteral("composition_setup"), name_);
            for (const QString& table : kBankTables) {
                QString statement = schema::createStatement(table);
                statement.replace(QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT"),
                                  QStringLiteral("BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY"));
                define(db, statement);
            }
            define(db, QStringLiteral("CREATE INDEX sjb_kmh_txh ON sjb (kmh, txh)"));
            seed(db);
        }
        close(QStringLiteral("composition_setup"));
    }
    ~ServerBank()
    {
        if (name_.isEmpty()) return;
        for (const QString& connection : QSqlDatabase::connectionNames()) {
            if (connection.startsWith(QStringLiteral("composition_"))) close(connection);
        }
        {
            QSqlDatabase admin = open(QStringLiteral("composition_admin"), url_.path().mid(1));
            define(admin, QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(name_));
            admin.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("composition_admin"));
    }
    bool available() const { return !name_.isEmpty(); }
    // A new connection to the bank with its session prepared, as the program makes one.
    QSqlDatabase connect(const QString& connection)
    {
        QSqlDatabase db = open(connection, name_);
        composition::prepareSession(db);
        return db;
    }
    // Points the data module at the bank as a server login does: its connection with the session
    // prepared, then the whole-table datasets.
    void connectDataModule()
    {
        connect(TDM::connectionName());
        const std::pair<Dataset*, const char*> tables[] = {
            {DM->ADOKmb, "kmb"}, {DM->ADOTxb, "txb"}, {DM->ADOZjb, "zjb"}, {DM->ADOStb, "stb"}, {DM->ADOSjb, "sjb"}};
        for (const auto& [ds, table] : tables) {
            ds->close();
            ds->setTableName(QString::fromLatin1(table));
            ds->setKnownColumns(schema::columns(QString::fromLatin1(table)));
            ds->open();
        }
    }
    static void close(const QString& connection)
    {
        {
            QSqlDatabase db = QSqlDatabase::database(connection, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(connection);
    }

private:
    QSqlDatabase open(const QString& connection, const QString& database) const
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection);
        db.setHostName(url_.host());
        db.setPort(url_.port(5432));
        db.setUserName(url_.userName());
        db.setPassword(url_.password());
        db.setDatabaseName(database);
        if (!db.open()) throw DataError(db.lastError().text());
        return db;
    }
    QUrl url_;
    QString name_;
};

}  // namespace

class TestCompositionState : public QObject {
    Q_OBJECT
private slots:
    void fileKeepsTheStateInItsTables();
    void fileSessionIsNothingToPrepare();
    void serverComposesLikeAFile();
    void serverSessionsComposeApart();
    void serverWholeTableDatasetReadsTheSessionsPaper();
    void serverStateEndsWithTheConnection();
    void serverWizardComposesBesideAnotherSession();
};

// In a file every step writes txb.bz and zjb.bz, where the existing wizard, its tests and older
// versions of the program read them.
void TestCompositionState::fileKeepsTheStateInItsTables()
{
    testing::Workspace ws;
    const QSqlDatabase db = DM->db();
    if (engine::isServer(db)) QSKIP("the bank is on a server; the server cases cover it");
    seed(db);
    QCOMPARE(compose(db), kComposed);

    composition::setTypeChosen(db, "01", "选择题", true);
    QCOMPARE(ws.count("txb", "bz='1'"), 2);
    QCOMPARE(ws.count("txb", "bz='1' AND kmh='01' AND txm='选择题'"), 2);
    composition::setChapterChosen(db, "01", "第一章", true);
    QCOMPARE(sql::column(db, "SELECT kmh || zjh FROM zjb WHERE bz='1' ORDER BY id"), QStringList({"0101"}));
    composition::chooseChapterByCode(db, "02", "01");
    QCOMPARE(sql::column(db, "SELECT kmh || zjh FROM zjb WHERE bz='1' ORDER BY id"), QStringList({"0101", "0201"}));
    // What is written to the columns directly is what the state reads.
    ws.exec("UPDATE txb SET bz='1' WHERE kmh='01' AND txh='02'");
    ws.exec("UPDATE zjb SET bz='0' WHERE kmh='01' AND zjh='01'");
    QVERIFY(composition::isTypeChosen(db, "01", "填空题"));
    QCOMPARE(flagsText(composition::chapterFlags(db, "01")), QStringLiteral("第一章- 第二章- 第一章-"));
    // A type flag that is neither '0' nor '1' counts as neither complete nor open, as it always did.
    ws.exec("UPDATE txb SET bz=NULL WHERE kmh='01' AND txh='04'");
    QVERIFY(!composition::isTypeChosen(db, "01", "选择题"));
    QCOMPARE(composition::openTypeNames(db, "01"), QStringList());

    ws.exec("INSERT INTO sjb (kmh, txh, th) VALUES ('01','01','1'), ('02','01','2')");
    composition::startPaper(db);
    QCOMPARE(ws.count("sjb"), 0);
    QCOMPARE(ws.count("txb", "bz='0'"), 4);
    QCOMPARE(ws.count("zjb", "bz='0'"), 4);
}

void TestCompositionState::fileSessionIsNothingToPrepare()
{
    testing::Workspace ws;
    const QSqlDatabase db = DM->db();
    if (engine::isServer(db)) QSKIP("the bank is on a server; the server cases cover it");
    const QString before = ws.scalar("SELECT group_concat(name, ',') FROM sqlite_master");
    composition::prepareSession(db);
    composition::prepareSession(db);
    QCOMPARE(ws.scalar("SELECT group_concat(name, ',') FROM sqlite_master"), before);
    QCOMPARE(ws.count("sqlite_temp_master"), 0);
    QCOMPARE(composition::chosenChapterCondition(db), QStringLiteral("zjb.bz='1'"));
}

void TestCompositionState::serverComposesLikeAFile()
{
    ServerBank bank;
    if (!bank.available()) QSKIP("EXAVORO_TEST_SERVER names no PostgreSQL server");
    const QSqlDatabase db = bank.connect("composition_a");
    QVERIFY(engine::isServer(db));
    QCOMPARE(compose(db), kComposed);
    // The shared flags are never written.
    QCOMPARE(sql::scalar(db, "SELECT COUNT(*) FROM txb WHERE bz<>'0'"), QStringLiteral("0"));
    QCOMPARE(sql::scalar(db, "SELECT COUNT(*) FROM zjb WHERE bz<>'0'"), QStringLiteral("0"));
}

// Two teachers compose two different papers at the same time, each in an open transaction while
// the other writes: neither waits for the other, neither sees the other's questions or ticks, and
// the shared tables keep neither.
void TestCompositionState::serverSessionsComposeApart()
{
    ServerBank bank;
    if (!bank.available()) QSKIP("EXAVORO_TEST_SERVER names no PostgreSQL server");
    QSqlDatabase a = bank.connect("composition_a");
    QSqlDatabase b = bank.connect("composition_b");
    // A statement that had to wait for the other session's rows fails instead of hanging.
    for (const QSqlDatabase& db : {a, b}) define(db, QStringLiteral("SET lock_timeout = '2s'"));

    sql::begin(a);
    composition::startPaper(a);
    composition::setTypeChosen(a, "01", "选择题", true);
    composition::setChapterChosen(a, "01", "第一章", true);
    sql::run(a, "INSERT INTO sjb (kmh, txh, th, fs) VALUES ('01','01','1','5'), ('01','01','2','5')");

    sql::begin(b);
    composition::startPaper(b);
    composition::setTypeChosen(b, "01", "选择题", true);
    composition::setTypeChosen(b, "01", "填空题", true);
    composition::setChapterChosen(b, "01", "第二章", true);
    composition::chooseChapterByCode(b, "02", "01");
    sql::run(b, "INSERT INTO sjb (kmh, txh, th, fs) VALUES ('01','02','5','10')");
    sql::commit(b);
    sql::commit(a);

    QCOMPARE(sql::column(a, "SELECT th FROM sjb ORDER BY id"), QStringList({"1", "2"}));
    QCOMPARE(sql::column(b, "SELECT th FROM sjb ORDER BY id"), QStringList({"5"}));
    QCOMPARE(state(a, "01"), QStringLiteral("选择题=1 填空题=0 open=[填空题] chapters=[第一章+ 第二章- 第一章-] "
                                            "candidates=[1]"));
    QCOMPARE(state(b, "01"), QStringLiteral("选择题=1 填空题=1 open=[] chapters=[第一章- 第二章+ 第一章-] "
                                            "candidates=[2]"));
    QCOMPARE(flagsText(composition::chapterFlags(a, "02")), QStringLiteral("第一章-"));
    QCOMPARE(flagsText(composition::chapterFlags(b, "02")), QStringLiteral("第一章+"));

    // One teacher starting a new paper leaves the other's draft alone.
    composition::startPaper(b);
    QCOMPARE(sql::scalar(a, "SELECT COUNT(*) FROM sjb"), QStringLiteral("2"));
    QVERIFY(composition::isTypeChosen(a, "01", "选择题"));
    QVERIFY(!composition::isTypeChosen(b, "01", "选择题"));

    // The shared tables hold none of it; a third connection sees an empty paper.
    QSqlDatabase c = bank.connect("composition_c");
    QCOMPARE(sql::scalar(c, "SELECT COUNT(*) FROM public.sjb"), QStringLiteral("0"));
    QCOMPARE(sql::scalar(c, "SELECT COUNT(*) FROM txb WHERE bz<>'0'"), QStringLiteral("0"));
    QCOMPARE(sql::scalar(c, "SELECT COUNT(*) FROM zjb WHERE bz<>'0'"), QStringLiteral("0"));
    QCOMPARE(state(c, "01"), kComposed.first());
}

// The data module's whole-table dataset over sjb reads, adds and removes the session's own rows.
void TestCompositionState::serverWholeTableDatasetReadsTheSessionsPaper()
{
    ServerBank bank;
    if (!bank.available()) QSKIP("EXAVORO_TEST_SERVER names no PostgreSQL server");
    QSqlDatabase a = bank.connect("composition_a");
    QSqlDatabase b = bank.connect("composition_b");
    sql::run(a, "INSERT INTO sjb (kmh, txh, th) VALUES ('01','01','1'), ('01','01','2')");
    sql::run(b, "INSERT INTO sjb (kmh, txh, th) VALUES ('02','01','7')");

    Dataset ds(QStringLiteral("ADOSjb"));
    ds.setConnectionName(QStringLiteral("composition_b"));
    ds.setTableName(QStringLiteral("sjb"));
    ds.setKnownColumns(schema::columns(QStringLiteral("sjb")));
    ds.open();
    QCOMPARE(ds.recordCount(), 1);
    QCOMPARE(ds.str(QStringLiteral("th")), QStringLiteral("7"));
    ds.append();
    ds.fieldByName(QStringLiteral("kmh")).setAsString(QStringLiteral("02"));
    ds.fieldByName(QStringLiteral("th")).setAsString(QStringLiteral("8"));
    ds.post();
    ds.refresh();
    QCOMPARE(ds.recordCount(), 2);
    ds.first();
    ds.remove();
    QCOMPARE(sql::column(b, "SELECT th FROM sjb ORDER BY id"), QStringList({"8"}));
    QCOMPARE(sql::column(a, "SELECT th FROM sjb ORDER BY id"), QStringList({"1", "2"}));
    ds.close();
}

// The draft belongs to the connection: preparing again keeps it, a new connection starts empty.
void TestCompositionState::serverStateEndsWithTheConnection()
{
    ServerBank bank;
    if (!bank.available()) QSKIP("EXAVORO_TEST_SERVER names no PostgreSQL server");
    QSqlDatabase a = bank.connect("composition_a");
    composition::setTypeChosen(a, "01", "填空题", true);
    composition::setChapterChosen(a, "01", "第二章", true);
    sql::run(a, "INSERT INTO sjb (kmh, txh, th) VALUES ('01','02','4')");
    composition::prepareSession(a);
    QVERIFY(composition::isTypeChosen(a, "01", "填空题"));
    QCOMPARE(sql::scalar(a, "SELECT COUNT(*) FROM sjb"), QStringLiteral("1"));

    a.close();
    QVERIFY(a.open());
    composition::prepareSession(a);
    QVERIFY(!composition::isTypeChosen(a, "01", "填空题"));
    QCOMPARE(flagsText(composition::chapterFlags(a, "01")), QStringLiteral("第一章- 第二章- 第一章-"));
    QCOMPARE(sql::scalar(a, "SELECT COUNT(*) FROM sjb"), QStringLiteral("0"));
    // The new session's paper numbers its rows afresh and works as before.
    sql::run(a, "INSERT INTO sjb (kmh, txh, th) VALUES ('01','02','5')");
    QCOMPARE(sql::column(a, "SELECT th FROM sjb"), QStringList({"5"}));
}

// The wizard's windows compose a paper on the data module's server connection while another
// teacher's session holds a draft of the same subject: each sees only its own.
void TestCompositionState::serverWizardComposesBesideAnotherSession()
{
    ServerBank bank;
    if (!bank.available()) QSKIP("EXAVORO_TEST_SERVER names no PostgreSQL server");
    testing::Workspace ws({{"admin", "pw", 3}}, false);
    bank.connectDataModule();
    QSqlDatabase other = bank.connect("composition_b");
    // The bank settings keep type names unique within a subject; the wizard relies on it.
    sql::run(other, "UPDATE txb SET txm='判断题' WHERE kmh='01' AND txh='04'");
    composition::startPaper(other);
    composition::setTypeChosen(other, "01", "填空题", true);
    composition::setChapterChosen(other, "01", "第二章", true);
    sql::run(other, "INSERT INTO sjb (kmh, txh, th, fs) VALUES ('01','02','5','50'), ('01','02','6','50')");

    testing::BoxAnswerer boxes;
    TXxszF* dlg = wizardtest::openStepTwo();
    QCOMPARE(dlg->wizardKmh(), QStringLiteral("01"));
    // The wizard starts its own empty paper: nothing of the other draft shows, nothing of it goes.
    QCOMPARE(DM->ADOSjb->recordCount(), 0);
    for (int i = 0; i < dlg->CheckListBoxZj->count(); ++i)
        QCOMPARE(dlg->CheckListBoxZj->item(i)->checkState(), Qt::Unchecked);
    QCOMPARE(sql::scalar(other, "SELECT COUNT(*) FROM sjb"), QStringLiteral("2"));

    wizardtest::tick(dlg, "第一章");
    QCOMPARE(dlg->EditBxTs->text(), QStringLiteral("1"));
    dlg->EditTs->setText("1");
    dlg->EditZf->setText("50");
    QTest::mouseClick(dlg->SBtnQbyr, Qt::LeftButton);
    QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join('\n')));
    QCOMPARE(dlg->paperRowIds().size(), 1);
    QCOMPARE(DM->ADOSjb->recordCount(), 1);
    QCOMPARE(sql::column(DM->db(), "SELECT th FROM sjb"), QStringList({"1"}));
    QCOMPARE(state(DM->db(), "01"), QStringLiteral("选择题=1 填空题=0 open=[填空题,判断题] chapters=[第一章+ 第二章- "
                                                   "第一章-] candidates=[1]"));
    QCOMPARE(state(other, "01"), QStringLiteral("选择题=0 填空题=1 open=[选择题,判断题] chapters=[第一章- 第二章+ "
                                                "第一章-] candidates=[2]"));
    QCOMPARE(sql::column(other, "SELECT th FROM sjb ORDER BY id"), QStringList({"5", "6"}));

    // The other teacher starting afresh leaves the wizard's paper as it is shown.
    composition::startPaper(other);
    wizardtest::selectType(dlg, 1);
    wizardtest::selectType(dlg, 0);
    QCOMPARE(dlg->EditTs->text(), QStringLiteral("1"));
    QCOMPARE(dlg->EditZf->text(), QStringLiteral("50"));
    QCOMPARE(wizardtest::lines(dlg->ListBoxSj).size(), 1);
    QCOMPARE(sql::scalar(other, "SELECT COUNT(*) FROM txb WHERE bz<>'0'"), QStringLiteral("0"));
    QCOMPARE(sql::scalar(other, "SELECT COUNT(*) FROM zjb WHERE bz<>'0'"), QStringLiteral("0"));
    QCOMPARE(sql::scalar(other, "SELECT COUNT(*) FROM public.sjb"), QStringLiteral("0"));
}

QTEST_MAIN(TestCompositionState)
#include "test_composition_state.moc"
