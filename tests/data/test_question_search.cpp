// Finding questions by what their question and answer texts say: a phrase inside a Chinese
// sentence or an answer, formulas by their LaTeX, never a picture's marker; filters, order and
// count; short phrases; the index following every store, change, deletion, import and restore in
// the same transaction; an older bank given its index when opened; on a file and on a server.
#include "app/application.h"
#include "app/main_window.h"
#include "data/data_module.h"
#include "demo/demo.h"
#include "data/engine.h"
#include "data/errors.h"
#include "data/numbering.h"
#include "content/content.h"
#include "data/question_search.h"
#include "data/recycle.h"
#include "data/schema.h"
#include "data/sql.h"
#include "exchange/question_store.h"
#include "test_support.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using testing::Workspace;

namespace {

// A picture's marker whose hash holds letters and digits a teacher might well search for.
const QString kHash = QStringLiteral("abcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789");

QString marker()
{
    return QStringLiteral("[[图片:%1]]").arg(kHash);
}

void seed(Workspace& ws)
{
    testing::insertRows(ws, QStringLiteral("kmb"), {QStringLiteral("kmh"), QStringLiteral("kmm")},
                        {{"01", "数学"}, {"02", "物理"}});
    testing::insertRows(ws, QStringLiteral("txb"), {QStringLiteral("kmh"), QStringLiteral("txh"), QStringLiteral("txm")},
                        {{"01", "01", "选择题"}, {"01", "02", "填空题"}, {"02", "01", "选择题"}});
    testing::insertRows(ws, QStringLiteral("zjb"), {QStringLiteral("kmh"), QStringLiteral("zjh"), QStringLiteral("zjm")},
                        {{"01", "01", "三角形"}, {"01", "02", "方程"}, {"02", "01", "运动"}});
    const QStringList columns{QStringLiteral("kmh"), QStringLiteral("txh"), QStringLiteral("th"), QStringLiteral("zjh"),
                              QStringLiteral("nd"),  QStringLiteral("fs"),  QStringLiteral("tm"), QStringLiteral("da")};
    // Stored out of their order: results come by subject, type and number.
    testing::insertRows(
        ws, QStringLiteral("stb"), columns,
        {{"01", "01", "010", "01", "易", "3", "勾股定理的逆定理怎样叙述？", "略"},
         {"02", "01", "001", "01", "易", "3", "物理中也用勾股定理合成两个速度。", "略"},
         {"01", "01", "002", "01", "易", "3", "在直角三角形中，由勾股定理可以求出斜边的长。", "5"},
         {"01", "01", "001", "02", "难", "5", "解方程 \\(x^2-5x+6=0\\)", "答：不必用勾股定理，x=2 或 x=3"},
         {"01", "02", "001", "01", "中等", "4", "Pythagoras 的定理说的是什么？", "直角边的平方和等于斜边的平方"},
         {"01", "01", "004", "01", "易", "3", "勾股定理" + marker() + "如图所示", ""},
         {"01", "01", "005", "01", "易", "3", "看" + marker() + "图回答问题", "答案见" + marker()},
         {"01", "01", "1000", "01", "易", "3", "第一千道：勾股定理的应用", ""},
         {"01", "01", "999", "01", "易", "3", "第九百九十九道：勾股定理的应用", ""}});
}

QStringList numbers(const question_search::Result& result)
{
    QStringList out;
    for (const question_search::Hit& hit : result.hits) out << hit.kmh + QLatin1Char('/') + hit.txh + QLatin1Char('/') + hit.th;
    return out;
}

question_search::Result find(const QString& phrase, const question_search::Filter& filter = {}, int limit = 50)
{
    return question_search::find(DM->db(), phrase, filter, limit);
}

qint64 idOf(const QString& kmh, const QString& txh, const QString& th)
{
    return sql::scalar(DM->db(), QStringLiteral("SELECT id FROM stb WHERE kmh=? AND txh=? AND th=?"), {kmh, txh, th})
        .toLongLong();
}

// The file's index holds exactly what stb holds (FTS5's own check); a server keeps its indexes itself.
void checkIndexMatchesTheQuestions()
{
    if (engine::isServer(DM->db())) return;
    sql::run(DM->db(), QStringLiteral("INSERT INTO stb_search (stb_search, rank) VALUES ('integrity-check', 1)"));
}

}  // namespace

class QuestionSearchTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void aPhraseIsFoundInsideSentencesAndAnswersInOrderWithItsCount();
    void formulasAreSearchedByTheirLatexAndPicturesNotAtAll();
    void shortPhrasesReadTheQuestionsUpToALimit();
    void theIndexFollowsStoringChangingDeletingImportingAndRestoring();
    void aBankWithoutTheIndexGetsItWhenOpened();
    void theToolListsMatches();
    void aGeneratedBankIsIndexedAndKeepsItsIndexInStep();
    void theTypeFilterKeepsToOneTypeThroughTheIndexAndByReading();
};

void QuestionSearchTest::initTestCase()
{
    app::setup(*qApp);
}

void QuestionSearchTest::aPhraseIsFoundInsideSentencesAndAnswersInOrderWithItsCount()
{
    Workspace ws;
    seed(ws);
    // In the middle of sentences, and in an answer (01/01/001); by subject, type, then number as a
    // number (999 before 1000).
    question_search::Result r = find(QStringLiteral("勾股定理"), {.kmh = QStringLiteral("01")});
    QCOMPARE(numbers(r), (QStringList{"01/01/001", "01/01/002", "01/01/004", "01/01/010", "01/01/999", "01/01/1000"}));
    QCOMPARE(r.total, 6);
    QVERIFY(r.exact);
    QCOMPARE(r.hits[0].kmm, QStringLiteral("数学"));
    QCOMPARE(r.hits[0].txm, QStringLiteral("选择题"));
    QCOMPARE(r.hits[1].tm, QStringLiteral("在直角三角形中，由勾股定理可以求出斜边的长。"));
    // The first few with the count of all; every subject without a subject.
    r = find(QStringLiteral("勾股定理"), {}, 2);
    QCOMPARE(numbers(r), (QStringList{"01/01/001", "01/01/002"}));
    QCOMPARE(r.total, 7);
    // No rows asked for: the count alone.
    r = find(QStringLiteral("勾股定理"), {}, 0);
    QVERIFY(r.hits.isEmpty());
    QCOMPARE(r.total, 7);
    QCOMPARE(numbers(find(QStringLiteral("勾股定理"), {}, 50)).last(), QStringLiteral("02/01/001"));
    // Chapter and difficulty narrow it.
    QCOMPARE(numbers(find(QStringLiteral("勾股定理"), {.kmh = QStringLiteral("01"), .zjh = QStringLiteral("02")})),
             QStringList{"01/01/001"});
    r = find(QStringLiteral("勾股定理"), {.kmh = QStringLiteral("01"), .zjh = QStringLiteral("01"), .nd = QStringLiteral("易")});
    QCOMPARE(r.total, 5);
    QCOMPARE(find(QStringLiteral("勾股定理"), {.kmh = QStringLiteral("01"), .nd = QStringLiteral("难")}).total, 1);
    // Only in an answer; letter case does not matter; blanks around are not searched.
    QCOMPARE(numbers(find(QStringLiteral("平方和等于"))), QStringList{"01/02/001"});
    QCOMPARE(numbers(find(QStringLiteral("  PYTHAGORAS "))), QStringList{"01/02/001"});
    // What no text says, and nothing at all.
    QCOMPARE(find(QStringLiteral("余弦定理")).total, 0);
    QVERIFY(find(QStringLiteral("   ")).hits.isEmpty());
    // A phrase is one phrase: its characters apart do not match.
    QCOMPARE(find(QStringLiteral("勾股的定理")).total, 0);
    // Characters the patterns or the index's query words treat apart are plain characters here.
    QCOMPARE(find(QStringLiteral("100%")).total, 0);
    QCOMPARE(find(QStringLiteral("\"勾股\" OR 定理")).total, 0);
}

void QuestionSearchTest::formulasAreSearchedByTheirLatexAndPicturesNotAtAll()
{
    Workspace ws;
    seed(ws);
    QCOMPARE(numbers(find(QStringLiteral("x^2-5x"))), QStringList{"01/01/001"});
    // The picture's hash, its marker's words and text that only a picture joins are not found.
    QCOMPARE(find(QStringLiteral("abcdef")).total, 0);
    QCOMPARE(find(QStringLiteral("0123456789")).total, 0);
    QCOMPARE(find(QStringLiteral("[[图片")).total, 0);
    QCOMPARE(find(QStringLiteral("看图回答")).total, 0);
    QCOMPARE(find(QStringLiteral("图片")).total, 0);
    // Text beside a picture is found as any other text, and counted once.
    QCOMPARE(numbers(find(QStringLiteral("图回答问题"))), QStringList{"01/01/005"});
    const question_search::Result r = find(QStringLiteral("如图所示"));
    QCOMPARE(numbers(r), QStringList{"01/01/004"});
    QCOMPARE(r.total, 1);
    // A question whose match lies in a marker makes no gap in the first few.
    testing::insertRows(ws, QStringLiteral("stb"), {QStringLiteral("kmh"), QStringLiteral("txh"), QStringLiteral("th"), QStringLiteral("tm")},
                        {{"01", "01", "000", "图" + marker()}, {"01", "02", "002", "abcdef 在这里是文字"}});
    const question_search::Result hex = find(QStringLiteral("abcdef"), {}, 1);
    QCOMPARE(numbers(hex), QStringList{"01/02/002"});
    QCOMPARE(hex.total, 1);
    QCOMPARE(question_search::searchableText("看" + marker() + "图"), QStringLiteral("看\n图"));
    QCOMPARE(content::firstLine("\n\n  甲 \\(x^2\\) 乙" + marker() + "\n第二行"), QStringLiteral("甲 x^2 乙[图] 第二行"));
    QCOMPARE(content::firstLine(QStringLiteral("第一行\n第二行")), QStringLiteral("第一行"));
    // A text cut inside a marker shows no part of it.
    QCOMPARE(content::firstLine("看图" + marker().left(20)), QStringLiteral("看图"));
}

void QuestionSearchTest::shortPhrasesReadTheQuestionsUpToALimit()
{
    Workspace ws;
    seed(ws);
    question_search::Result r = find(QStringLiteral("勾股"), {.kmh = QStringLiteral("01")}, 3);
    QCOMPARE(numbers(r), (QStringList{"01/01/001", "01/01/002", "01/01/004"}));
    QCOMPARE(r.total, 6);
    QVERIFY(r.exact);
    QCOMPARE(find(QStringLiteral("x")).total, 1);
    QCOMPARE(find(QStringLiteral("X")).total, 1);
    QCOMPARE(numbers(find(QStringLiteral("问题"))), QStringList{"01/01/005"});
    // In a marker only: the picture is no text (图 stands in 005's text, 片 only in markers).
    QCOMPARE(find(QStringLiteral("片")).total, 0);
    QCOMPARE(numbers(find(QStringLiteral("图"))), (QStringList{"01/01/004", "01/01/005"}));
    QCOMPARE(find(QStringLiteral("%")).total, 0);
    QCOMPARE(find(QStringLiteral("_")).total, 0);
    // Beyond the limit the count says "at least".
    QVector<QVariantList> many;
    for (int i = 0; i < question_search::kShortScanLimit + 5; ++i) {
        many.append({"02", "01", QString::number(100 + i), QStringLiteral("常见的甲题")});
    }
    testing::insertRows(ws, QStringLiteral("stb"), {QStringLiteral("kmh"), QStringLiteral("txh"), QStringLiteral("th"), QStringLiteral("tm")},
                        many);
    r = find(QStringLiteral("甲"), {}, 10);
    QVERIFY(!r.exact);
    QCOMPARE(r.total, question_search::kShortScanLimit);
    QCOMPARE(r.hits.size(), 10);
    // A longer phrase goes through the index and counts them all.
    r = find(QStringLiteral("常见的甲"), {}, 10);
    QVERIFY(r.exact);
    QCOMPARE(r.total, question_search::kShortScanLimit + 5);
}

void QuestionSearchTest::theIndexFollowsStoringChangingDeletingImportingAndRestoring()
{
    Workspace ws;
    seed(ws);
    QSqlDatabase db = DM->db();
    // Stored as 录入试题 stores.
    const QString th = numbering::storeQuestion(db, DM->ADOStb, QStringLiteral("01"), QStringLiteral("02"),
                                                {{QStringLiteral("tm"), QStringLiteral("用海伦公式求三角形的面积")},
                                                 {QStringLiteral("da"), QStringLiteral("面积为六")}});
    QCOMPARE(numbers(find(QStringLiteral("海伦公式"))), QStringList{"01/02/" + th});
    QCOMPARE(numbers(find(QStringLiteral("面积为六"))), QStringList{"01/02/" + th});
    // Changed: the old words go, the new ones come; a change of other columns keeps the words.
    const qint64 id = idOf(QStringLiteral("01"), QStringLiteral("02"), th);
    sql::run(db, QStringLiteral("UPDATE stb SET tm=? WHERE id=?"), {QStringLiteral("用秦九韶公式求三角形的面积"), id});
    QCOMPARE(find(QStringLiteral("海伦公式")).total, 0);
    QCOMPARE(find(QStringLiteral("秦九韶公式")).total, 1);
    sql::run(db, QStringLiteral("UPDATE stb SET nd=?, da=? WHERE id=?"), {QStringLiteral("难"), QStringLiteral("面积为七"), id});
    QCOMPARE(find(QStringLiteral("面积为六")).total, 0);
    QCOMPARE(find(QStringLiteral("面积为七"), {.nd = QStringLiteral("难")}).total, 1);
    checkIndexMatchesTheQuestions();
    // Deleted into the recycle bin, then given back.
    qint64 item = 0;
    sql::transaction(db, [&] {
        item = recycle::keepQuestion(db, QStringLiteral("01"), QStringLiteral("02"), th, QStringLiteral("admin"));
        recycle::removeKept(db, item);
    });
    QCOMPARE(find(QStringLiteral("秦九韶公式")).total, 0);
    checkIndexMatchesTheQuestions();
    sql::transaction(db, [&] { recycle::restore(db, item); });
    QCOMPARE(numbers(find(QStringLiteral("秦九韶公式"))), QStringList{"01/02/" + th});
    // Imported from a file.
    exchange::ImportedQuestion imported;
    imported.typeName = QStringLiteral("填空题");
    imported.chapterName = QStringLiteral("三角形");
    imported.difficulty = QStringLiteral("中等");
    imported.score = QStringLiteral("4");
    imported.text = QStringLiteral("导入的正弦定理题：在三角形中____");
    imported.answer = QStringLiteral("边与对角正弦之比相等");
    sql::transaction(db, [&] { exchange::storeQuestions(db, QStringLiteral("01"), {imported}, {}, {}); });
    QCOMPARE(find(QStringLiteral("正弦定理")).total, 1);
    QCOMPARE(find(QStringLiteral("对角正弦")).total, 1);
    // Work that is rolled back (a program killed midway) leaves the index as the questions are.
    sql::begin(db);
    sql::run(db, QStringLiteral("INSERT INTO stb (kmh, txh, th, tm) VALUES ('01','02','777','未提交的余弦定理题')"));
    QCOMPARE(find(QStringLiteral("余弦定理")).total, 1);
    sql::rollback(db);
    QCOMPARE(find(QStringLiteral("余弦定理")).total, 0);
    checkIndexMatchesTheQuestions();
    // A whole subject deleted and given back.
    sql::transaction(db, [&] {
        item = recycle::keepSubject(db, QStringLiteral("02"), QStringLiteral("admin"));
        recycle::removeKept(db, item);
    });
    QCOMPARE(find(QStringLiteral("合成两个速度")).total, 0);
    sql::transaction(db, [&] { recycle::restore(db, item); });
    QCOMPARE(find(QStringLiteral("合成两个速度")).total, 1);
    checkIndexMatchesTheQuestions();
}

void QuestionSearchTest::aBankWithoutTheIndexGetsItWhenOpened()
{
    Workspace ws;
    seed(ws);
    const QStringList statements =
        testing::onServer()
            ? QStringList{QStringLiteral("DROP INDEX stb_search_tm"), QStringLiteral("DROP INDEX stb_search_da")}
            : QStringList{QStringLiteral("DROP TRIGGER stb_search_insert"), QStringLiteral("DROP TRIGGER stb_search_delete"),
                          QStringLiteral("DROP TRIGGER stb_search_update"), QStringLiteral("DROP TABLE stb_search")};
    // A bank of this version written before the search came (its questions 01/02/050 and on stored
    // without an index), and on a file one of the previous version too.
    const QVector<int> versions =
        testing::onServer() ? QVector<int>{schema::kVersion} : QVector<int>{schema::kVersion, schema::kVersion - 1};
    int stored = 0;
    for (const int version : versions) {
        for (const QString& statement : statements) ws.exec(statement);
        QVERIFY(!engine::hasSearchIndex(DM->db(), engine::tables(DM->db())));
        // Without the index the texts are read: the same answers.
        QCOMPARE(find(QStringLiteral("勾股定理")).total, 7);
        const QString th = QString::number(50 + stored++);
        testing::insertRows(ws, QStringLiteral("stb"),
                            {QStringLiteral("kmh"), QStringLiteral("txh"), QStringLiteral("th"), QStringLiteral("tm")},
                            {{"01", "02", th, "旧版程序录入的余弦定理题"}});
        if (version != schema::kVersion) ws.exec(QStringLiteral("PRAGMA user_version = %1").arg(version));
        DM->disconnectFromBank();
        ws.connect();
        QVERIFY(engine::hasSearchIndex(DM->db(), engine::tables(DM->db())));
        QCOMPARE(engine::schemaVersion(DM->db()), schema::kVersion);
        QCOMPARE(find(QStringLiteral("余弦定理")).total, stored);
        QCOMPARE(find(QStringLiteral("勾股定理")).total, 7);
        checkIndexMatchesTheQuestions();
    }
    // And from now on it follows the questions.
    sql::run(DM->db(), QStringLiteral("DELETE FROM stb WHERE th=?"), {QStringLiteral("50")});
    QCOMPARE(find(QStringLiteral("余弦定理")).total, stored - 1);
    checkIndexMatchesTheQuestions();
}

void QuestionSearchTest::theToolListsMatches()
{
    Workspace ws;
    seed(ws);
    // On a server the tool reaches the workspace's own database as its administrator.
    const QStringList where =
        ws.serverUri().isEmpty() ? QStringList{} : QStringList{QStringLiteral("--server"), ws.serverUri()};
    QProcess tool;
    tool.setWorkingDirectory(ws.root());
    // The bank file is in use by this test's own data module: it is closed for the tool.
    DM->disconnectFromBank();
    tool.start(QStringLiteral(EXAVORO_DB_TOOL),
               QStringList{QStringLiteral("search"), QStringLiteral("勾股定理"), QStringLiteral("--subject"),
                           QStringLiteral("数学"), QStringLiteral("--limit"), QStringLiteral("2")} + where);
    QVERIFY(tool.waitForFinished(60000));
    const QString out = QString::fromUtf8(tool.readAllStandardOutput());
    QVERIFY2(tool.exitCode() == 0, qPrintable(QString::fromUtf8(tool.readAllStandardError())));
    const QStringList lines = out.trimmed().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], QStringLiteral("数学\t选择题\t001\t解方程 x^2-5x+6=0"));
    QCOMPARE(lines[1], QStringLiteral("数学\t选择题\t002\t在直角三角形中，由勾股定理可以求出斜边的长。"));
    QCOMPARE(lines[2], QStringLiteral("共找到 6 道试题，以上列出前 2 道。"));
    tool.start(QStringLiteral(EXAVORO_DB_TOOL), QStringList{QStringLiteral("search"), QStringLiteral("勾股定理"),
                                                            QStringLiteral("--subject"), QStringLiteral("化学")} + where);
    QVERIFY(tool.waitForFinished(60000));
    QCOMPARE(tool.exitCode(), 1);
    QVERIFY(QString::fromUtf8(tool.readAllStandardError()).contains(QStringLiteral("科目“化学”不存在")));
}

// The generator fills the index in one go after its rows (not by the triggers row by row): the
// bank it makes finds what its questions say, and its triggers are back for what comes after.
void QuestionSearchTest::aGeneratedBankIsIndexedAndKeepsItsIndexInStep()
{
    if (testing::onServer()) QSKIP("the generator's index is the bank file's");
    Workspace ws({}, false);
    const QString path = ws.root() + QStringLiteral("/generated.db");
    demo::createGeneratedDatabase(path, 400, 7);
    DM->connectTo(path);
    const QString text = sql::scalar(DM->db(), QStringLiteral("SELECT tm FROM stb WHERE id = 321"));
    const QString answer = sql::scalar(DM->db(), QStringLiteral("SELECT da FROM stb WHERE id = 77"));
    QVERIFY(text.size() > 40 && answer.size() > 40);
    for (const QString& phrase : {text.mid(20, 6), answer.mid(30, 5)}) {
        const question_search::Result found = question_search::find(DM->db(), phrase, {}, 50);
        QVERIFY2(found.total >= 1, qPrintable(phrase));
        QCOMPARE(found.total, sql::scalar(DM->db(), QStringLiteral("SELECT count(*) FROM stb WHERE instr(tm, ?) > 0 "
                                                                  "OR instr(da, ?) > 0"),
                                          {phrase, phrase})
                                  .toLongLong());
    }
    sql::run(DM->db(), QStringLiteral("UPDATE stb SET tm = '勾股定理的逆定理' WHERE id = 5"));
    QCOMPARE(question_search::find(DM->db(), QStringLiteral("股定理的逆"), {}, 50).total, qint64(1));
    checkIndexMatchesTheQuestions();
}

void QuestionSearchTest::theTypeFilterKeepsToOneTypeThroughTheIndexAndByReading()
{
    Workspace ws;
    seed(ws);
    question_search::Filter choice{.kmh = QStringLiteral("01"), .txh = QStringLiteral("01")};
    question_search::Result r = find(QStringLiteral("勾股定理"), choice);
    QCOMPARE(numbers(r), (QStringList{"01/01/001", "01/01/002", "01/01/004", "01/01/010", "01/01/999", "01/01/1000"}));
    QCOMPARE(r.total, 6);
    question_search::Filter blanks{.kmh = QStringLiteral("01"), .txh = QStringLiteral("02")};
    QCOMPARE(find(QStringLiteral("勾股定理"), blanks).total, 0);
    // A short phrase, read rather than looked up, keeps to the type as well.
    QCOMPARE(numbers(find(QStringLiteral("定理"), blanks)), QStringList{"01/02/001"});
    // A type code is a subject's own: without the subject the same code of another subject counts.
    QCOMPARE(find(QStringLiteral("勾股定理"), {.txh = QStringLiteral("01")}).total, 7);
    // With chapter and difficulty together.
    QCOMPARE(numbers(find(QStringLiteral("勾股定理"),
                          {QStringLiteral("01"), QStringLiteral("02"), QStringLiteral("难"), QStringLiteral("01")})),
             QStringList{"01/01/001"});
}

QTEST_MAIN(QuestionSearchTest)
#include "test_question_search.moc"
