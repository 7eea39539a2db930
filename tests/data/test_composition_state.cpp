// The composition state (the paper being composed: sjb and the chosen types and chapters) in a
// bank file and on a server. In a file it is the file's own sjb, txb.bz and zjb.bz; on a server
// every connection has its own, so two teachers composing at once never see each other's drafts.
// The server cases run when the tests run on a server (EXAVORO_TEST_SERVER), the file cases
// otherwise.
#include "windows/wizard/wizard_fixture.h"
#include "ui/forms.h"
#include "data/composition_state.h"
#include "data/data_module.h"
#include "data/dataset.h"
#include "data/engine.h"
#include "data/errors.h"
#include "data/schema.h"
#include "data/session.h"
#include "data/sql.h"
#include "test_support.h"

#include <QLineEdit>
#include <QSqlQuery>
#include <QtTest>

namespace {

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

// Another program's connection to the workspace's server bank, its session set up as a login
// sets up the data module's.
class OtherSession {
public:
    OtherSession(const testing::Workspace& ws, const QString& name) : name_(name)
    {
        db_ = engine::openServer(name, ws.serverUri());
        session::prepare(db_);
    }
    ~OtherSession()
    {
        engine::closeConnection(db_);
        db_ = QSqlDatabase();
        QSqlDatabase::removeDatabase(name_);
    }
    QSqlDatabase& db() { return db_; }

private:
    QString name_;
    QSqlDatabase db_;
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
    void pointRestrictionsArePerTypeAndEndWithThePaper();
    void serverPointRestrictionsAreTheSessionsOwn();
};

// In a file every step writes txb.bz and zjb.bz, where the existing wizard, its tests and older
// versions of the program read them.
void TestCompositionState::fileKeepsTheStateInItsTables()
{
    if (testing::onServer()) QSKIP("the tests run on a server");
    testing::Workspace ws;
    const QSqlDatabase db = DM->db();
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
    if (testing::onServer()) QSKIP("the tests run on a server");
    testing::Workspace ws;
    const QSqlDatabase db = DM->db();
    const QString before = ws.scalar("SELECT group_concat(name, ',') FROM sqlite_master");
    composition::prepareSession(db);
    composition::prepareSession(db);
    QCOMPARE(ws.scalar("SELECT group_concat(name, ',') FROM sqlite_master"), before);
    QCOMPARE(ws.count("sqlite_temp_master"), 0);
    QCOMPARE(composition::chosenChapterCondition(db), QStringLiteral("zjb.bz='1'"));
}

// The knowledge points a type is restricted to: none until set (a paper composed before points
// could be chosen reads as "every point"), replaced as a whole, per type name, gone with the paper.
void TestCompositionState::pointRestrictionsArePerTypeAndEndWithThePaper()
{
    testing::Workspace ws;
    const QSqlDatabase db = DM->db();
    seed(db);
    QVERIFY(composition::typePoints(db, "01", "选择题").isEmpty());
    composition::setTypePoints(db, "01", "选择题", {7, 3, 7, 0, -2});
    QCOMPARE(composition::typePoints(db, "01", "选择题"), (QList<qint64>{3, 7}));
    QVERIFY(composition::typePoints(db, "01", "填空题").isEmpty());
    QVERIFY(composition::typePoints(db, "02", "选择题").isEmpty());
    // Names are data, never SQL.
    composition::setTypePoints(db, "01", "选'择\"题", {5});
    QCOMPARE(composition::typePoints(db, "01", "选'择\"题"), QList<qint64>{5});
    QCOMPARE(composition::typePoints(db, "01", "选择题"), (QList<qint64>{3, 7}));
    composition::setTypePoints(db, "01", "选择题", {4});
    QCOMPARE(composition::typePoints(db, "01", "选择题"), QList<qint64>{4});
    // Inside the caller's transaction, undone with it.
    try {
        sql::transaction(db, [&] {
            composition::setTypePoints(db, "01", "选择题", {9});
            QCOMPARE(composition::typePoints(db, "01", "选择题"), QList<qint64>{9});
            throw AppError(QStringLiteral("stop"));
        });
    } catch (const AppError&) {
    }
    QCOMPARE(composition::typePoints(db, "01", "选择题"), QList<qint64>{4});
    composition::setTypePoints(db, "01", "选择题", {});
    QVERIFY(composition::typePoints(db, "01", "选择题").isEmpty());
    composition::setTypePoints(db, "01", "填空题", {2});
    composition::startPaper(db);
    QVERIFY(composition::typePoints(db, "01", "填空题").isEmpty());
    QVERIFY(composition::typePoints(db, "01", "选'择\"题").isEmpty());
}

void TestCompositionState::serverPointRestrictionsAreTheSessionsOwn()
{
    if (!testing::onServer()) QSKIP("the tests run on a file bank");
    testing::Workspace ws;
    seed(DM->db());
    OtherSession second(ws, "composition_points");
    composition::setTypePoints(DM->db(), "01", "选择题", {1, 2});
    composition::setTypePoints(second.db(), "01", "选择题", {3});
    QCOMPARE(composition::typePoints(DM->db(), "01", "选择题"), (QList<qint64>{1, 2}));
    QCOMPARE(composition::typePoints(second.db(), "01", "选择题"), QList<qint64>{3});
    composition::startPaper(second.db());
    QVERIFY(composition::typePoints(second.db(), "01", "选择题").isEmpty());
    QCOMPARE(composition::typePoints(DM->db(), "01", "选择题"), (QList<qint64>{1, 2}));
}

void TestCompositionState::serverComposesLikeAFile()
{
    if (!testing::onServer()) QSKIP("the tests run on a file bank");
    testing::Workspace ws;
    const QSqlDatabase db = DM->db();
    QVERIFY(engine::isServer(db));
    seed(db);
    QCOMPARE(compose(db), kComposed);
    // The shared flags are never written.
    QCOMPARE(ws.count("txb", "bz<>'0'"), 0);
    QCOMPARE(ws.count("zjb", "bz<>'0'"), 0);
}

// Two teachers compose two different papers at the same time, each in an open transaction while
// the other writes: neither waits for the other, neither sees the other's questions or ticks, and
// the shared tables keep neither.
void TestCompositionState::serverSessionsComposeApart()
{
    if (!testing::onServer()) QSKIP("the tests run on a file bank");
    testing::Workspace ws;
    QSqlDatabase a = DM->db();
    seed(a);
    OtherSession second(ws, "composition_b");
    QSqlDatabase& b = second.db();
    // A statement that had to wait for the other session's rows fails instead of hanging.
    for (const QSqlDatabase& db : {a, b}) sql::run(db, "SET lock_timeout = '2s'");

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

    // The shared tables hold none of it; a third program sees an empty paper.
    OtherSession third(ws, "composition_c");
    QSqlDatabase& c = third.db();
    QCOMPARE(sql::scalar(c, "SELECT COUNT(*) FROM public.sjb"), QStringLiteral("0"));
    QCOMPARE(sql::scalar(c, "SELECT COUNT(*) FROM txb WHERE bz<>'0'"), QStringLiteral("0"));
    QCOMPARE(sql::scalar(c, "SELECT COUNT(*) FROM zjb WHERE bz<>'0'"), QStringLiteral("0"));
    QCOMPARE(state(c, "01"), kComposed.first());
}

// The data module's whole-table dataset over sjb reads, adds and removes the session's own rows.
void TestCompositionState::serverWholeTableDatasetReadsTheSessionsPaper()
{
    if (!testing::onServer()) QSKIP("the tests run on a file bank");
    testing::Workspace ws;
    OtherSession second(ws, "composition_b");
    sql::run(second.db(), "INSERT INTO sjb (kmh, txh, th) VALUES ('01','01','1'), ('01','01','2')");
    ws.exec("INSERT INTO sjb (kmh, txh, th) VALUES ('02','01','7')");

    Dataset* ds = DM->ADOSjb;
    ds->refresh();
    QCOMPARE(ds->recordCount(), 1);
    QCOMPARE(ds->str("th"), QStringLiteral("7"));
    ds->append();
    ds->fieldByName("kmh").setAsString("02");
    ds->fieldByName("th").setAsString("8");
    ds->post();
    QCOMPARE(ds->recordCount(), 2);
    QCOMPARE(ds->currentId(), sql::scalar(DM->db(), "SELECT id FROM sjb WHERE th='8'").toLongLong());
    ds->first();
    ds->remove();
    ds->refresh();
    QCOMPARE(ds->recordCount(), 1);
    QCOMPARE(sql::column(DM->db(), "SELECT th FROM sjb ORDER BY id"), QStringList({"8"}));
    QCOMPARE(sql::column(second.db(), "SELECT th FROM sjb ORDER BY id"), QStringList({"1", "2"}));
}

// The draft belongs to the connection: setting the session up again keeps it; a new connection,
// or the data module's connection reopened after it broke, starts with an empty paper and works.
void TestCompositionState::serverStateEndsWithTheConnection()
{
    if (!testing::onServer()) QSKIP("the tests run on a file bank");
    testing::Workspace ws;
    seed(DM->db());
    {
        OtherSession second(ws, "composition_b");
        QSqlDatabase& b = second.db();
        composition::setTypeChosen(b, "01", "填空题", true);
        composition::setChapterChosen(b, "01", "第二章", true);
        sql::run(b, "INSERT INTO sjb (kmh, txh, th) VALUES ('01','02','4')");
        session::prepare(b);
        QVERIFY(composition::isTypeChosen(b, "01", "填空题"));
        QCOMPARE(sql::scalar(b, "SELECT COUNT(*) FROM sjb"), QStringLiteral("1"));
    }
    OtherSession again(ws, "composition_b");
    QVERIFY(!composition::isTypeChosen(again.db(), "01", "填空题"));
    QCOMPARE(flagsText(composition::chapterFlags(again.db(), "01")), QStringLiteral("第一章- 第二章- 第一章-"));
    QCOMPARE(sql::scalar(again.db(), "SELECT COUNT(*) FROM sjb"), QStringLiteral("0"));

    // The data module's connection is cut by the server: the next read is sent again on a new
    // session, set up afresh (the draft is gone, and the session's number tells so); a change is
    // never sent again.
    composition::setTypeChosen(DM->db(), "01", "选择题", true);
    ws.exec("INSERT INTO sjb (kmh, txh, th) VALUES ('01','01','1')");
    const QString pid = ws.scalar("SELECT pg_backend_pid()");
    const int session = sql::sessionGeneration(DM->db());
    sql::run(again.db(), "SELECT pg_terminate_backend(?::int)", {pid});
    QTest::qWait(100);
    QCOMPARE(ws.scalar("SELECT COUNT(*) FROM sjb"), QStringLiteral("0"));
    QCOMPARE(sql::sessionGeneration(DM->db()), session + 1);
    QVERIFY(ws.scalar("SELECT pg_backend_pid()") != pid);
    QVERIFY(!composition::isTypeChosen(DM->db(), "01", "选择题"));
    composition::setTypeChosen(DM->db(), "01", "选择题", true);
    QVERIFY(composition::isTypeChosen(DM->db(), "01", "选择题"));
    QVERIFY(!composition::isTypeChosen(again.db(), "01", "选择题"));
}

// The wizard's windows compose a paper on the data module's server connection while another
// teacher's session holds a draft of the same subject: each sees only its own.
void TestCompositionState::serverWizardComposesBesideAnotherSession()
{
    if (!testing::onServer()) QSKIP("the tests run on a file bank");
    testing::Workspace ws;
    seed(DM->db());
    // The bank settings keep type names unique within a subject; the wizard relies on it.
    ws.exec("UPDATE txb SET txm='判断题' WHERE kmh='01' AND txh='04'");
    ws.refreshDatasets();
    OtherSession second(ws, "composition_b");
    QSqlDatabase& other = second.db();
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
    QCOMPARE(ws.count("txb", "bz<>'0'"), 0);
    QCOMPARE(ws.count("zjb", "bz<>'0'"), 0);
    QCOMPARE(sql::scalar(other, "SELECT COUNT(*) FROM public.sjb"), QStringLiteral("0"));
}

QTEST_MAIN(TestCompositionState)
#include "test_composition_state.moc"
