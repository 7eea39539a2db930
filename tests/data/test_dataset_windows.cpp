// Keyed query mode: a list read as its keys and windows of rows gives the same rows, in the same
// order, as the whole result read at once, also for joins that list a row twice, rows deleted or
// added behind the list's back, and empty results.
#include "ui/forms.h"
#include "data/data_module.h"
#include "data/errors.h"
#include "test_support.h"

#include <QTest>

#include <limits>

using testing::Workspace;

namespace {

const QString kTypeList = QStringLiteral("SELECT id, kmh, txh, th, nd, \"time\" FROM stb WHERE kmh=? AND txh=?");

// `count` questions of subject 01 and type 01 numbered from 1, each followed by one of type 02.
void addQuestions(Workspace& ws, int count)
{
    QVector<QVariantList> rows;
    const auto code = [](int n, int width) { return QStringLiteral("%1").arg(n, width, 10, QLatin1Char('0')); };
    for (int i = 1; i <= 2 * count; ++i) {
        const QString n = QString::number(i);
        rows.append({QStringLiteral("01"), i % 2 == 0 ? QStringLiteral("02") : QStringLiteral("01"), code((i + 1) / 2, 3),
                     code(i % 3 + 1, 2), i % 5 == 0 ? QStringLiteral("难") : QStringLiteral("易"), QStringLiteral("5"),
                     QStringLiteral("题") + n, QStringLiteral("答") + n, QStringLiteral("8:00:") + QString::number(i % 60),
                     QStringLiteral("")});
    }
    testing::insertRows(ws, QStringLiteral("stb"), {"kmh", "txh", "th", "zjh", "nd", "fs", "tm", "da", "time", "bz"},
                        rows);
}

// Every cell of every row, as the list shows it.
QStringList contents(Dataset* q)
{
    QStringList rows;
    for (int row = 0; row < q->recordCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < q->fieldNames().size(); ++column) cells << q->valueAt(row, column);
        rows << cells.join('|');
    }
    return rows;
}

// The same list read whole, as query mode reads it.
QStringList wholeResult(const QString& select, const QString& orderBy, const QVariantList& binds,
                        const QStringList& deferred = {})
{
    Dataset* q = DM->ADOQuery1;
    q->setSql(select + " ORDER BY " + orderBy, binds);
    if (!deferred.isEmpty()) q->setDeferredFields("stb", "id", deferred);
    q->open();
    const QStringList rows = contents(q);
    q->close();
    return rows;
}

}  // namespace

class DatasetWindowsTest : public QObject {
    Q_OBJECT
private slots:
    void keyedListGivesTheWholeResultReadingOnlyWindows();
    void rowsListedTwiceStayTogetherAcrossWindows();
    void rowsChangedBehindTheListAndNewRowsTakenLikeAReopen();
    void searchingFindsTheFirstMatchInListOrder();
    void emptyResultsAndMissingKeys();
    void wholeTablesListTheirRowsInIdOrder();
    void scatteredRowsAreReadTogether();
    void countedListReadsKeysAsRowsComeIntoView();
};

void DatasetWindowsTest::keyedListGivesTheWholeResultReadingOnlyWindows()
{
    Workspace ws;
    addQuestions(ws, 3000);
    const QStringList expected = wholeResult(kTypeList, "id", {"01", "01"}, {"tm"});
    QCOMPARE(expected.size(), 3000);

    Dataset* q = DM->ADOQuerySt;
    q->setKeyedSql(kTypeList, "id", {"01", "01"});
    q->setDeferredFields("stb", "id", {"tm"});
    q->open();
    QVERIFY(q->isKeyed());
    QCOMPARE(q->recordCount(), 3000);
    QCOMPARE(q->recNo(), 0);
    QCOMPARE(q->str("TH"), QStringLiteral("001"));
    QCOMPARE(q->fieldNames(), (QStringList{"id", "kmh", "txh", "th", "nd", "time", "tm"}));
    QVERIFY(q->rowsInMemory() <= 256);  // the first window only
    // A row far down is read with its window, not with everything before it.
    q->setRecNo(2999);
    QCOMPARE(q->str("th"), QStringLiteral("3000"));
    QCOMPARE(q->str("tm"), QStringLiteral("题5999"));
    QVERIFY(q->rowsInMemory() <= 2 * 256);
    q->last();
    q->next();
    QVERIFY(q->eof());
    QCOMPARE(q->recNo(), 2999);
    // Every row, read in list order, equals the whole result; the rows held stay bounded.
    QCOMPARE(contents(q), expected);
    // Walking backwards reads the same rows again.
    QStringList backwards;
    for (int row = q->recordCount() - 1; row >= 0; --row) backwards.prepend(q->valueAt(row, 3));
    QStringList numbers;
    for (const QString& row : expected) numbers << row.section('|', 3, 3);
    QCOMPARE(backwards, numbers);
    // Refreshing keeps the row index and the list.
    q->setRecNo(1234);
    q->refresh();
    QCOMPARE(q->recNo(), 1234);
    QCOMPARE(q->str("th"), QStringLiteral("1235"));
    // The list is read-only, as query mode is.
    QVERIFY_THROWS_EXCEPTION(DataError, q->edit());
    QVERIFY_THROWS_EXCEPTION(DataError, q->remove());
}

void DatasetWindowsTest::rowsListedTwiceStayTogetherAcrossWindows()
{
    Workspace ws;
    addQuestions(ws, 700);
    if (testing::onServer()) {
        // A server bank refuses a second chapter row with a code its subject already uses.
        ws.exec("INSERT INTO zjb (kmh, zjh, zjm, bz) VALUES ('01','01','甲','1')");
        QVERIFY_THROWS_EXCEPTION(DataError, ws.exec("INSERT INTO zjb (kmh, zjh, zjm, bz) VALUES ('01','01','甲二','1')"));
        QSKIP("a bank on a server cannot hold two chapter rows with one code");
    }
    // Chapter 01 has two rows of that code: a join lists its questions twice, under both names.
    ws.exec("INSERT INTO zjb (kmh, zjh, zjm, bz) VALUES ('01','01','甲','1'),('01','02','乙','1'),"
            "('01','01','甲二','1'),('01','03','丙','0')");
    const QString join = "SELECT stb.id, stb.th, stb.nd, zjb.zjm FROM stb, zjb WHERE stb.zjh=zjb.zjh"
                         " AND stb.kmh=? AND stb.txh=? AND zjb.kmh=? AND zjb.bz='1'";
    const QVariantList binds{"01", "01", "01"};
    Dataset* q = DM->ADOQuerySt;
    q->setKeyedSql(join, "id", binds);
    q->open();
    // 700 questions: 233 of chapter 03 are left out, the 233 of chapter 01 are listed twice.
    QCOMPARE(q->recordCount(), 234 + 2 * 233);
    QCOMPARE(q->recordCount(), ws.scalar("SELECT COUNT(*) FROM (" + join + ") AS w", binds).toInt());
    // Row by row in list order, then the rows at and around each window's edge first, as a grid
    // scrolled straight to them reads them: each pair stays together with both names.
    const QStringList keyed = contents(q);
    q->close();
    q->open();
    for (int row : {255, 256, 257, 511, 512, 699, 0}) {
        QVERIFY(!q->valueAt(row, 0).isEmpty());
    }
    const QStringList jumped = contents(q);
    QCOMPARE(jumped, keyed);
    // Scattered rows read together (as the automatic draw reads them) keep each pair together too,
    // the pair's first row first.
    q->close();
    q->open();
    const QVector<int> scattered{699, 511, 512, 300, 301, 302, 640};
    q->prefetchRows(scattered);
    for (const int row : scattered) {
        QStringList cells;
        for (int column = 0; column < q->fieldNames().size(); ++column) cells << q->valueAt(row, column);
        QCOMPARE(cells.join('|'), keyed[row]);
    }
    QStringList ids, names;
    for (const QString& row : keyed) {
        ids << row.section('|', 0, 0);
        names << row.section('|', 3, 3);
    }
    // The same ids in the same order as the whole result; each id's rows carry both names.
    QStringList expectedIds;
    for (const QString& row : wholeResult(join, "stb.id", binds)) expectedIds << row.section('|', 0, 0);
    QCOMPARE(ids, expectedIds);
    QCOMPARE(ids[511], ids[512]);  // a pair across the edge of two windows
    for (int row = 0; row < keyed.size(); ++row) {
        if (names[row] == QStringLiteral("甲")) {
            const int other = row + 1 < ids.size() && ids[row + 1] == ids[row] ? row + 1 : row - 1;
            QCOMPARE(ids[other], ids[row]);
            QCOMPARE(names[other], QStringLiteral("甲二"));
        }
    }
    QCOMPARE(names.count(QStringLiteral("甲")), 233);
    QCOMPARE(names.count(QStringLiteral("甲二")), 233);
    QCOMPARE(names.count(QStringLiteral("乙")), 234);
    // The first row of a pair is the row of its key.
    QCOMPARE(ids[511], ids[512]);
    QCOMPARE(q->rowOfKey(ids[512].toLongLong()), 511);
    QCOMPARE(q->rowOfKey(ids[0].toLongLong()), 0);
}

void DatasetWindowsTest::rowsChangedBehindTheListAndNewRowsTakenLikeAReopen()
{
    Workspace ws;
    addQuestions(ws, 600);
    Dataset* q = DM->ADOQuerySt;
    q->setKeyedSql(kTypeList, "id", {"01", "01"});
    q->setDeferredFields("stb", "id", {"tm"});
    q->open();
    QCOMPARE(q->valueAt(10, 3), QStringLiteral("011"));
    const QString gone = ws.scalar("SELECT id FROM stb WHERE txh='01' AND th='401'");
    // Deleted behind the list: its row shows empty, its neighbours stay where they were.
    ws.exec("DELETE FROM stb WHERE id=?", {gone});
    QCOMPARE(q->recordCount(), 600);
    QCOMPARE(q->valueAt(400, 3), QString());
    QCOMPARE(q->valueAt(400, 6), QString());
    QCOMPARE(q->valueAt(399, 3), QStringLiteral("400"));
    QCOMPARE(q->valueAt(401, 3), QStringLiteral("402"));
    // Added behind the list: not listed until the new rows are taken.
    ws.exec("INSERT INTO stb (kmh, txh, th, tm) VALUES ('01','01','601','新一'),('01','02','999','别的'),"
            "('01','01','602','新二')");
    QCOMPARE(q->recordCount(), 600);
    QCOMPARE(q->valueAt(599, 3), QStringLiteral("600"));
    q->setRecNo(500);
    q->reopenWithNewRows("ID");
    QCOMPARE(q->recordCount(), 602);  // the deleted row is still listed: only new rows are read
    QCOMPARE(q->recNo(), 0);
    QCOMPARE(q->valueAt(599, 3), QStringLiteral("600"));
    QCOMPARE(q->valueAt(600, 3), QStringLiteral("601"));
    QCOMPARE(q->valueAt(601, 3), QStringLiteral("602"));
    QCOMPARE(q->valueAt(601, 6), QStringLiteral("新二"));
    q->close();
    q->open();
    QCOMPARE(q->recordCount(), 601);
    QCOMPARE(q->valueAt(399, 3), QStringLiteral("400"));
    QCOMPARE(q->valueAt(400, 3), QStringLiteral("402"));
    QCOMPARE(q->valueAt(600, 3), QStringLiteral("602"));
    // Another key than the list's reopens the whole list.
    ws.exec("INSERT INTO stb (kmh, txh, th) VALUES ('01','01','603')");
    q->reopenWithNewRows("th");
    QCOMPARE(q->recordCount(), 602);
    QCOMPARE(q->valueAt(601, 3), QStringLiteral("603"));
}

void DatasetWindowsTest::searchingFindsTheFirstMatchInListOrder()
{
    Workspace ws;
    addQuestions(ws, 1000);
    Dataset* q = DM->ADOQuerySt;
    q->setKeyedSql(kTypeList, "id", {"01", "01"});
    q->open();
    const auto number = [](int n) { return [n](const QStringList& row) { return row[0].toInt() == n; }; };
    QCOMPARE(q->findRow({"TH"}, number(999)), 998);
    QCOMPARE(q->findRow({"th"}, number(1)), 0);
    QCOMPARE(q->findRow({"th"}, number(1001)), -1);
    QVERIFY(q->rowsInMemory() <= 256);  // searching reads no window
    // Several fields, offered in the order asked; the first match in list order wins.
    QCOMPARE(q->findRow({"nd", "th"}, [](const QStringList& row) { return row[0] == QStringLiteral("难"); }), 2);
    QCOMPARE(q->findRow({"nd", "th"},
                        [](const QStringList& row) { return row[0] == QStringLiteral("难") && row[1] > "500"; }),
             502);
    // A row added since the list was read is not found; a deferred or unknown field is refused.
    ws.exec("INSERT INTO stb (kmh, txh, th) VALUES ('01','01','1001')");
    QCOMPARE(q->findRow({"th"}, number(1001)), -1);
    q->setDeferredFields("stb", "id", {"tm"});
    q->open();
    QVERIFY_THROWS_EXCEPTION(DataError, q->findRow({"tm"}, number(1)));
    QVERIFY_THROWS_EXCEPTION(DataError, q->findRow({"zjm"}, number(1)));
    // The match's own failure (a number that is no number) reaches the caller.
    ws.exec("UPDATE stb SET th='x' WHERE th='005' AND txh='01'");
    struct NotANumber {};
    QVERIFY_THROWS_EXCEPTION(NotANumber, q->findRow({"th"}, [](const QStringList& row) {
        if (row[0] == QStringLiteral("x")) throw NotANumber();
        return false;
    }));
    // The same search in query mode gives the same rows.
    q->setSql(kTypeList + " ORDER BY id", {"01", "01"});
    q->open();
    QCOMPARE(q->findRow({"TH"}, number(999)), 998);
    QCOMPARE(q->findRow({"th"}, number(1001)), 1000);
    QCOMPARE(q->rowOfKey(1), -1);  // keys belong to keyed lists
    q->close();
    QCOMPARE(q->findRow({"th"}, [](const QStringList&) { return true; }), -1);
}

void DatasetWindowsTest::emptyResultsAndMissingKeys()
{
    Workspace ws;
    addQuestions(ws, 10);
    Dataset* q = DM->ADOQuerySt;
    q->setKeyedSql(kTypeList, "id", {"09", "01"});
    q->setDeferredFields("stb", "id", {"tm", "da"});
    q->open();
    QVERIFY(q->isActive());
    QCOMPARE(q->recordCount(), 0);
    QCOMPARE(q->recNo(), -1);
    QVERIFY(q->eof());
    QCOMPARE(q->fieldNames().size(), 8);
    QCOMPARE(q->fieldIndex("TIME"), 5);
    QCOMPARE(q->valueAt(0, 1), QString());
    QCOMPARE(q->rowOfKey(1), -1);
    QCOMPARE(q->findRow({"th"}, [](const QStringList&) { return true; }), -1);
    QVERIFY_THROWS_EXCEPTION(DataError, q->str("th"));
    // Rows stored later are taken as new rows of the empty list.
    ws.exec("INSERT INTO stb (kmh, txh, th) VALUES ('09','01','001')");
    q->reopenWithNewRows("id");
    QCOMPARE(q->recordCount(), 1);
    QCOMPARE(q->str("th"), QStringLiteral("001"));
    // A key the statement does not give fails with a message and leaves the dataset closed.
    q->setKeyedSql("SELECT th FROM stb WHERE kmh=?", "id", {"01"});
    QVERIFY_THROWS_EXCEPTION(DataError, q->open());
    QVERIFY(!q->isActive());
    // A plain statement after a keyed one is read whole again.
    q->setSql(kTypeList + " ORDER BY id", {"01", "01"});
    q->open();
    QVERIFY(!q->isKeyed());
    QCOMPARE(q->recordCount(), 10);
    QCOMPARE(q->rowsInMemory(), 10);
}

void DatasetWindowsTest::wholeTablesListTheirRowsInIdOrder()
{
    Workspace ws;
    // More rows than one window, so that the ids are read on their own; the subjects run against
    // the ids, so an index on the subject lists them in another order than the ids.
    QVector<QVariantList> rows;
    for (int i = 1; i <= 600; ++i) {
        const QString number = QStringLiteral("%1").arg(i, 3, 10, QLatin1Char('0'));
        rows.append({1000 - i, number, QStringLiteral("01"), number, QStringLiteral("%1").arg(i % 7, 2, 10, QLatin1Char('0'))});
    }
    testing::insertRows(ws, QStringLiteral("stb"), {"id", "kmh", "txh", "th", "zjh"}, rows);
    ws.refreshDatasets();
    Dataset* stb = DM->ADOStb;
    QCOMPARE(stb->recordCount(), 600);
    for (int row = 1; row < 600; ++row) QVERIFY(stb->idAt(row - 1) < stb->idAt(row));
    QCOMPARE(stb->idAt(0), 400);
    stb->first();
    QCOMPARE(stb->str("kmh"), QStringLiteral("600"));
    stb->last();
    QCOMPARE(stb->str("kmh"), QStringLiteral("001"));
    QCOMPARE(stb->currentId(), 999);
}

void DatasetWindowsTest::countedListReadsKeysAsRowsComeIntoView()
{
    Workspace ws;
    addQuestions(ws, 10000);
    const QString count = QStringLiteral("SELECT COUNT(*) FROM stb WHERE kmh=? AND txh=?");
    const QStringList expected = wholeResult(kTypeList, "id", {"01", "01"}, {"tm"});
    Dataset* q = DM->ADOQuerySt;
    auto reopen = [&] {
        q->setKeyedSql(kTypeList, "id", {"01", "01"}, count);
        q->setDeferredFields("stb", "id", {"tm"});
        q->open();
    };
    reopen();
    QVERIFY(q->readsKeysOnDemand());
    QCOMPARE(q->recordCount(), 10000);
    QCOMPARE(q->str("th"), QStringLiteral("001"));
    QVERIFY(q->keysInMemory() <= 256);  // the first window's, read with its rows
    // Rows coming into view bring their keys a block at a time, not the whole list's.
    QCOMPARE(q->valueAt(300, 3), QStringLiteral("301"));
    QVERIFY(q->keysInMemory() > 300 && q->keysInMemory() < 5000);
    QCOMPARE(q->valueAt(9999, 3), QStringLiteral("10000"));
    QCOMPARE(q->keysInMemory(), 10000);
    QCOMPARE(contents(q), expected);
    // A key far down, and a search far down, find their rows from a fresh list.
    reopen();
    const qint64 id = ws.scalar("SELECT id FROM stb WHERE txh='01' AND th='9000'").toLongLong();
    QCOMPARE(q->rowOfKey(id), 8999);
    QCOMPARE(q->rowOfKey(id + 1), -1);  // a question of the other type
    reopen();
    QCOMPARE(q->findRow({"th"}, [](const QStringList& row) { return row[0].toInt() == 9999; }), 9998);
    q->setRecNo(9998);
    QCOMPARE(q->str("tm"), QStringLiteral("题19997"));
    // Deleted behind the list before its key was read: the rows after it move up and the list
    // keeps its length, its last row empty; taking new rows counts afresh.
    reopen();
    ws.exec("DELETE FROM stb WHERE txh='01' AND th='5000'");
    QCOMPARE(q->valueAt(4999, 3), QStringLiteral("5001"));
    QCOMPARE(q->recordCount(), 10000);
    QCOMPARE(q->valueAt(9998, 3), QStringLiteral("10000"));
    QCOMPARE(q->valueAt(9999, 3), QString());
    QCOMPARE(q->rowOfKey(std::numeric_limits<qint64>::max()), -1);
    ws.exec("INSERT INTO stb (kmh, txh, th, tm) VALUES ('01','01','10001','新一')");
    q->reopenWithNewRows("id");
    QCOMPARE(q->recordCount(), 10000);
    QCOMPARE(q->recNo(), 0);
    QCOMPARE(q->valueAt(9998, 3), QStringLiteral("10000"));
    QCOMPARE(q->valueAt(9999, 3), QStringLiteral("10001"));
    QCOMPARE(q->valueAt(9999, 6), QStringLiteral("新一"));
    // An empty list counts none and takes its first new row.
    q->setKeyedSql(kTypeList, "id", {"09", "01"}, count);
    q->open();
    QCOMPARE(q->recordCount(), 0);
    QCOMPARE(q->recNo(), -1);
    QCOMPARE(q->rowOfKey(1), -1);
    ws.exec("INSERT INTO stb (kmh, txh, th) VALUES ('09','01','001')");
    q->reopenWithNewRows("id");
    QCOMPARE(q->recordCount(), 1);
    QCOMPARE(q->str("th"), QStringLiteral("001"));
}

QTEST_MAIN(DatasetWindowsTest)
// Rows far apart (a random draw) are read together, not a window each; a row deleted since the
// list was read shows empty, as in a window.
void DatasetWindowsTest::scatteredRowsAreReadTogether()
{
    Workspace ws;
    addQuestions(ws, 3000);
    const QStringList whole = wholeResult(kTypeList, "id", {"01", "01"});
    Dataset* q = DM->ADOQuerySt;
    q->setKeyedSql(kTypeList, "id", {"01", "01"});
    q->open();
    QCOMPARE(q->recordCount(), 3000);
    const QString deletedId = whole[1500].section('|', 0, 0);
    ws.exec("DELETE FROM stb WHERE id=?", {deletedId.toLongLong()});
    const int before = q->rowsInMemory();
    const QVector<int> rows{2999, 17, 1500, 2999, 300, 1024, 2047};
    q->prefetchRows(rows);
    // Row 17 was in the first window already; the five others came, and nothing around them.
    QCOMPARE(q->rowsInMemory(), before + 5);
    for (const int row : rows) {
        QStringList cells;
        for (int column = 0; column < q->fieldNames().size(); ++column) cells << q->valueAt(row, column);
        if (row == 1500) {
            QCOMPARE(cells.join(QString()), QString());
        } else {
            QCOMPARE(cells.join('|'), whole[row]);
        }
    }
    QCOMPARE(q->rowsInMemory(), before + 5);
    q->prefetchRows(rows);  // all in memory: nothing to read
    QCOMPARE(q->rowsInMemory(), before + 5);
}

#include "test_dataset_windows.moc"
