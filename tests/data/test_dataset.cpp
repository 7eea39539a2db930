// Dataset semantics that the forms rely on, against a real SQLite file.
#include "data/convert.h"
#include "data/data_module.h"
#include "data/errors.h"
#include "data/lookups.h"
#include "data/passwords.h"
#include "data/sql.h"
#include "ui/forms.h"
#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QTest>

class DatasetTest : public QObject {
    Q_OBJECT
private slots:
    void appendedRowsReadBackInOrderAndNextStopsAtLastRow();
    void deleteLoopWithoutNextRemovesConsecutiveMatches();
    void deletingLastRowMakesPreviousCurrentAndEmptySetsEnd();
    void fieldNamesAreCaseInsensitiveAndEditsKeepRowPlace();
    void valuesWithQuotesAreBoundNotPasted();
    void numericReadsRaiseConversionErrors();
    void lookupsTakeLastExactMatch();
    void codesGrowAtTheirBoundaries();
    void scoresAreFormattedAndRoundedLikeTheDesktopProgram();
    void passwordsAreHashedAndPlainTextStillMatches();
    void missingOrBrokenDatabaseFailsWithoutCreatingAFile();
    void missingTableFailsWhenItsDatasetOpens();
    void transactionRollsBackEveryStepOnFailure();
    void listsReadLongTextsOnDemandAndTakeNewRowsLikeAReopen();
};

static void addSubject(Dataset* kmb, const QString& kmh, const QString& kmm)
{
    kmb->append();
    kmb->edit();
    kmb->fieldByName(QStringLiteral("kmh")).setAsString(kmh);
    kmb->fieldByName(QStringLiteral("kmm")).setAsString(kmm);
    kmb->post();
}

void DatasetTest::appendedRowsReadBackInOrderAndNextStopsAtLastRow()
{
    testing::Workspace ws;
    Dataset* kmb = DM->ADOKmb;
    kmb->first();
    QVERIFY(kmb->eof());  // empty table: the end flag is set by first()
    addSubject(kmb, "03", "化学");
    addSubject(kmb, "01", "数学");
    addSubject(kmb, "02", "语文");
    QCOMPARE(kmb->recordCount(), 3);
    // Reopening reads the rows back in insertion order, not by code.
    kmb->close();
    kmb->open();
    QStringList names;
    kmb->first();
    while (!kmb->eof()) {
        names << kmb->str("kmm");
        kmb->next();
    }
    QCOMPARE(names, (QStringList{"化学", "数学", "语文"}));
    // next at the last row sets the end flag and keeps the last row current
    QCOMPARE(kmb->str("kmh"), QStringLiteral("02"));
    kmb->next();
    QVERIFY(kmb->eof());
    QCOMPARE(kmb->str("kmm"), QStringLiteral("语文"));
    // moveBy picks a row by position after first()
    kmb->first();
    kmb->moveBy(1);
    QCOMPARE(kmb->str("kmm"), QStringLiteral("数学"));
}

void DatasetTest::deleteLoopWithoutNextRemovesConsecutiveMatches()
{
    testing::Workspace ws;
    Dataset* kmb = DM->ADOKmb;
    // A server refuses a subject code stored twice (a unique index), so there the consecutive
    // matches are repeated names under codes of their own.
    const bool server = testing::onServer();
    const QStringList codes = {"01", "02", "02", "03", "02", "02"};
    for (int i = 0; i < codes.size(); ++i) {
        addSubject(kmb, server ? QStringLiteral("%1").arg(i + 1, 2, 10, QLatin1Char('0')) : codes[i], "n" + codes[i]);
    }
    const QString field = server ? QStringLiteral("kmm") : QStringLiteral("kmh");
    const QString match = server ? QStringLiteral("n02") : QStringLiteral("02");
    // The program's delete loop: delete and do not call next; any other row: next.
    kmb->first();
    while (!kmb->eof()) {
        if (kmb->str(field) == match) {
            kmb->remove();
        } else {
            kmb->next();
        }
    }
    QCOMPARE(ws.count("kmb"), 2);
    QCOMPARE(ws.count("kmb", field + "=?", {match}), 0);
    QCOMPARE(kmb->recordCount(), 2);
    if (server) {
        QVERIFY_THROWS_EXCEPTION(DataError, ws.exec("INSERT INTO kmb (kmh, kmm) VALUES ('01','again')"));
        QCOMPARE(ws.count("kmb"), 2);
    }
}

void DatasetTest::deletingLastRowMakesPreviousCurrentAndEmptySetsEnd()
{
    testing::Workspace ws;
    Dataset* kmb = DM->ADOKmb;
    addSubject(kmb, "01", "a");
    addSubject(kmb, "02", "b");
    addSubject(kmb, "03", "c");
    kmb->first();
    kmb->remove();  // the following row becomes current
    QCOMPARE(kmb->str("kmh"), QStringLiteral("02"));
    kmb->last();
    kmb->remove();  // the last row: the one before becomes current
    QCOMPARE(kmb->str("kmh"), QStringLiteral("02"));
    QVERIFY(!kmb->eof());
    kmb->remove();
    QVERIFY(kmb->eof());
    QCOMPARE(kmb->recordCount(), 0);
    QCOMPARE(ws.count("kmb"), 0);
}

void DatasetTest::fieldNamesAreCaseInsensitiveAndEditsKeepRowPlace()
{
    testing::Workspace ws;
    Dataset* kmb = DM->ADOKmb;
    addSubject(kmb, "01", "a");
    addSubject(kmb, "02", "b");
    addSubject(kmb, "03", "c");
    kmb->first();
    QCOMPARE(kmb->fieldByName("KMH").asString(), QStringLiteral("01"));
    QCOMPARE(kmb->fieldByName("Kmm").asString(), QStringLiteral("a"));
    QVERIFY_THROWS_EXCEPTION(DataError, kmb->fieldByName("nosuchfield"));
    kmb->edit();
    kmb->fieldByName("KMM").setAsString("changed");
    kmb->post();
    kmb->close();
    kmb->open();
    QCOMPARE(kmb->str("kmm"), QStringLiteral("changed"));  // still the first row
    QCOMPARE(ws.scalar("SELECT kmm FROM kmb ORDER BY id LIMIT 1"), QStringLiteral("changed"));
    // Writing without edit() is refused rather than silently lost.
    QVERIFY_THROWS_EXCEPTION(DataError, kmb->fieldByName("kmm").setAsString("x"));
}

void DatasetTest::valuesWithQuotesAreBoundNotPasted()
{
    testing::Workspace ws;
    Dataset* kmb = DM->ADOKmb;
    const QString tricky = QStringLiteral("a\"b' ; DROP TABLE kmb; --");
    addSubject(kmb, "01", tricky);
    addSubject(kmb, "02", "plain");
    QCOMPARE(KmmToKmh(tricky), QStringLiteral("01"));
    Dataset* q = DM->ADOQuerySt;
    q->setSql("SELECT * FROM kmb WHERE kmm=? ORDER BY id", {tricky});
    q->open();
    QCOMPARE(q->recordCount(), 1);
    QCOMPARE(q->str("kmm"), tricky);
    QCOMPARE(ws.count("kmb"), 2);
    // Queries are read-only.
    QVERIFY_THROWS_EXCEPTION(DataError, q->append());
}

void DatasetTest::numericReadsRaiseConversionErrors()
{
    testing::Workspace ws;
    Dataset* kmb = DM->ADOKmb;
    addSubject(kmb, "abc", "x");
    kmb->first();
    QVERIFY_THROWS_EXCEPTION(ConvertError, kmb->fieldByName("kmh").asInteger());
    QVERIFY_THROWS_EXCEPTION(ConvertError, convert::toInt(""));
    QCOMPARE(convert::toInt("007"), 7);
    QCOMPARE(convert::toFloat("3.33333333333333"), 3.33333333333333);
    try {
        convert::toInt("x1");
        QFAIL("no conversion error");
    } catch (const ConvertError& e) {
        QVERIFY(e.text().contains("x1"));
    }
}

void DatasetTest::lookupsTakeLastExactMatch()
{
    testing::Workspace ws;
    ws.exec("INSERT INTO kmb (kmh, kmm) VALUES ('01','数学'),('02','Math'),('03','数学')");
    ws.exec("INSERT INTO txb (kmh, txh, txm) VALUES ('01','01','选择题'),('03','01','选择题'),('03','02','选择题')");
    ws.exec("INSERT INTO zjb (kmh, zjh, zjm) VALUES ('01','01','第一章'),('03','01','代数')");
    QCOMPARE(KmmToKmh("数学"), QStringLiteral("03"));
    QCOMPARE(KmmToKmh("math"), QString());   // case-sensitive
    QCOMPARE(KmmToKmh("数学 "), QString());  // trailing blank is a different name
    QCOMPARE(TxmToTxh("03", "选择题"), QStringLiteral("02"));
    QCOMPARE(TxmToTxh("01", "选择题"), QStringLiteral("01"));
    QCOMPARE(ZjmToZjh("03", "代数"), QStringLiteral("01"));
    QCOMPARE(ZjmToZjh("01", "代数"), QString());
    QCOMPARE(ZjhToZjm("03", "01"), QStringLiteral("代数"));
    // Both codes in one statement, as the two lookups give them one after the other.
    for (const auto& [kmm, txm] : {std::pair{"数学", "选择题"}, std::pair{"Math", "选择题"}, std::pair{"物理", "选择题"},
                                   std::pair{"数学", "填空题"}}) {
        const SubjectAndType codes = KmmTxmToCodes(kmm, txm);
        QCOMPARE(codes.kmh, KmmToKmh(kmm));
        QCOMPARE(codes.txh, TxmToTxh(KmmToKmh(kmm), txm));
    }
    QCOMPARE(KmmTxmToCodes("数学", "选择题").txh, QStringLiteral("02"));
}

void DatasetTest::codesGrowAtTheirBoundaries()
{
    QCOMPARE(convert::nextCode("", 2), QStringLiteral("01"));
    QCOMPARE(convert::nextCode("08", 2), QStringLiteral("09"));
    QCOMPARE(convert::nextCode("09", 2), QStringLiteral("10"));
    QCOMPARE(convert::nextCode("99", 2), QStringLiteral("100"));
    QCOMPARE(convert::nextCode("000", 3), QStringLiteral("001"));
    QCOMPARE(convert::nextCode("009", 3), QStringLiteral("010"));
    QCOMPARE(convert::nextCode("099", 3), QStringLiteral("100"));
    QCOMPARE(convert::nextCode("999", 3), QStringLiteral("1000"));
}

void DatasetTest::scoresAreFormattedAndRoundedLikeTheDesktopProgram()
{
    QCOMPARE(convert::floatToText(10.0 / 3), QStringLiteral("3.33333333333333"));
    QCOMPARE(convert::floatToText(10.0 / 4), QStringLiteral("2.5"));
    QCOMPARE(convert::floatToText(10.0 / 5), QStringLiteral("2"));
    QCOMPARE(convert::floatToText(100.0 / 7), QStringLiteral("14.2857142857143"));
    QCOMPARE(convert::roundHalfEven(99.5), 100LL);
    QCOMPARE(convert::roundHalfEven(100.5), 100LL);
    QCOMPARE(convert::roundHalfEven(7.5), 8LL);
    QCOMPARE(convert::roundHalfEven(6.5), 6LL);
    QCOMPARE(convert::roundHalfEven(3 * convert::toFloat(convert::floatToText(10.0 / 3))), 10LL);
}

void DatasetTest::passwordsAreHashedAndPlainTextStillMatches()
{
    const QString h = passwords::hash("秘密pw");
    QVERIFY(passwords::isHash(h));
    QVERIFY(!h.contains("秘密pw"));
    QVERIFY(passwords::matches(h, "秘密pw"));
    QVERIFY(!passwords::matches(h, "秘密pw "));
    QVERIFY(h != passwords::hash("秘密pw"));  // salted
    QVERIFY(passwords::matches("plain", "plain"));
    QVERIFY(!passwords::matches("plain", "Plain"));
    QVERIFY(passwords::matches("", ""));
}

void DatasetTest::missingOrBrokenDatabaseFailsWithoutCreatingAFile()
{
    testing::Workspace ws;
    if (testing::onServer()) {
        // A server's counterpart of a missing file: a database that is not there. Nothing is made.
        const QString missing = testing::serverDatabaseUri(testing::testServer(), QStringLiteral("exavoro_none"));
        QVERIFY_THROWS_EXCEPTION(DataError, DM->connectToServer(missing));
        ws.connect();
        QVERIFY(DM->AdoMmb->isActive());
        QVERIFY_THROWS_EXCEPTION(DataError, DM->connectToServer(missing));
        return;
    }
    const QString missing = QDir(ws.root()).absoluteFilePath("Data/none.db");
    QVERIFY_THROWS_EXCEPTION(DataError, DM->connectTo(missing));
    QVERIFY(!QFile::exists(missing));
    const QString junk = QDir(ws.root()).absoluteFilePath("Data/junk.db");
    QFile f(junk);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(4096, 'x'));
    f.close();
    QVERIFY_THROWS_EXCEPTION(DataError, DM->connectTo(junk));
    // A second attempt with the good file works again.
    DM->connectTo(ws.databasePath());
    QVERIFY(DM->AdoMmb->isActive());
}

void DatasetTest::missingTableFailsWhenItsDatasetOpens()
{
    testing::Workspace ws;
    if (testing::onServer()) {
        // On a server sjb is each session's own table: the shared one is not needed.
        ws.exec("DROP TABLE sjb");
        ws.connect();
        QVERIFY(DM->ADOSjb->isActive());
        QVERIFY(DM->AdoMmb->isActive());
        // A missing shared table is refused when the bank is connected, before any dataset opens.
        ws.exec("DROP TABLE stb");
        DM->disconnectFromBank();
        try {
            ws.connect();
            QFAIL("connecting to a bank without stb succeeded");
        } catch (const DataError& e) {
            QVERIFY2(e.text().contains("stb"), qPrintable(e.text()));
        }
        QVERIFY(!DM->ADOKmb->isActive());
        QVERIFY(!DM->ADOStb->isActive());
        QVERIFY(!DM->isConnected());
        return;
    }
    // Another tool drops the table while the program has the file open; the next login sees it.
    {
        QSqlDatabase other = testing::openOtherConnection(ws, QStringLiteral("tool"));
        sql::run(other, QStringLiteral("DROP TABLE sjb"));
    }
    testing::closeOtherConnection(QStringLiteral("tool"));
    try {
        ws.connect();
        QFAIL("opening a bank without sjb succeeded");
    } catch (const DataError& e) {
        QVERIFY(e.text().contains("sjb"));
    }
    // Datasets before sjb in the order are open, the later ones are not.
    QVERIFY(DM->ADOStb->isActive());
    QVERIFY(!DM->ADOSjb->isActive());
    QVERIFY(!DM->AdoMmb->isActive());
}

void DatasetTest::transactionRollsBackEveryStepOnFailure()
{
    testing::Workspace ws;
    ws.exec("INSERT INTO kmb (kmh, kmm) VALUES ('01','a')");
    ws.exec("INSERT INTO txb (kmh, txh, txm) VALUES ('01','01','t')");
    ws.refreshDatasets();
    QVERIFY_THROWS_EXCEPTION(DataError, DM->transaction({DM->ADOKmb, DM->ADOTxb}, [&] {
        sql::run(DM->db(), "DELETE FROM txb WHERE kmh=?", {"01"});
        sql::run(DM->db(), "DELETE FROM no_such_table");
    }));
    QCOMPARE(ws.count("txb"), 1);
    QCOMPARE(DM->ADOTxb->recordCount(), 1);
}

void DatasetTest::listsReadLongTextsOnDemandAndTakeNewRowsLikeAReopen()
{
    testing::Workspace ws;
    ws.exec("INSERT INTO stb (kmh, txh, th, tm, da) VALUES ('01','01','001','甲','a'),('02','01','001','乙','b'),"
            "('01','01','002','丙','c')");
    Dataset* q = DM->ADOQuerySt;
    const QString statement = "SELECT id, kmh, txh, th FROM stb WHERE kmh=? AND txh=? ORDER BY id";
    q->setSql(statement, {"01", "01"});
    q->setDeferredFields("stb", "id", {"tm", "da"});
    q->open();
    QCOMPARE(q->recordCount(), 2);
    q->moveBy(1);
    QCOMPARE(q->str("TM"), QStringLiteral("丙"));  // read from the table by the row's id
    QCOMPARE(q->str("da"), QStringLiteral("c"));
    // Rows added afterwards, one of another subject.
    Dataset* stb = DM->ADOStb;
    for (const auto& [kmh, th] : {std::pair{"01", "003"}, std::pair{"02", "002"}, std::pair{"01", "004"}}) {
        stb->append();
        stb->fieldByName("kmh").setAsString(kmh);
        stb->fieldByName("txh").setAsString("01");
        stb->fieldByName("th").setAsString(th);
        stb->fieldByName("tm").setAsString(QStringLiteral("题") + th);
        stb->post();
    }
    q->reopenWithNewRows("id");
    QStringList tail;
    for (q->first(); !q->eof(); q->next()) tail << q->str("th") + q->str("tm");
    q->close();
    q->setSql(statement, {"01", "01"});
    q->setDeferredFields("stb", "id", {"tm", "da"});
    q->open();
    QCOMPARE(q->recNo(), 0);
    QStringList full;
    for (q->first(); !q->eof(); q->next()) full << q->str("th") + q->str("tm");
    QCOMPARE(tail, full);
    QCOMPARE(full, (QStringList{"001甲", "002丙", "003题003", "004题004"}));
}

QTEST_MAIN(DatasetTest)
#include "test_dataset.moc"
