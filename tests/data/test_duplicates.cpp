// Finding questions that say the same thing (查重): what two texts are reduced to before they are
// compared, how similar they are, the questions of a subject found like a new text through the
// bank's index (on a file and on a server), the groups of a whole subject, the demo bank free of
// duplicates, and `exavoro-db duplicates`.
#include <QProcess>
#include <QTest>

#include "content/content.h"
#include "data/data_module.h"
#include "data/duplicates.h"
#include "data/schema.h"
#include "data/sql.h"
#include "demo/demo.h"
#include "test_support.h"

using testing::Workspace;

namespace {

const QString kPicture = QStringLiteral("[[图片:%1]]").arg(QString(64, QLatin1Char('a')));
const QString kOtherPicture = QStringLiteral("[[图片:%1|4cm|右]]").arg(QString(64, QLatin1Char('b')));

const QString kTriangle = QStringLiteral(
    "在直角三角形ABC中，∠C=90°，AC=3，BC=4，则斜边AB的长是（　）\n"
    "A. 5　B. 6　C. 7　D. 8");
// The same question as another file writes it: full-width letters and digits, other blanks, other
// option labels, a picture added.
const QString kTriangleAgain = QStringLiteral(
                                   "在直角三角形ＡＢＣ中, ∠Ｃ = ９０°, ＡＣ = ３, ＢＣ = ４, 则斜边ＡＢ的长是(    )\n"
                                   "（A）5  （B）6  （C）7  （D）8") +
                               kPicture;

struct Run {
    int code;
    QString out;
    QString err;
};

Run tool(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral(EXAVORO_DB_TOOL), args);
    if (!p.waitForFinished(120000)) qFatal("exavoro-db did not finish");
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

// Two subjects; in 数学 a question stored three times over the years, once as another type, and
// questions that only look alike.
void seed(Workspace& ws)
{
    testing::insertRows(ws, QStringLiteral("kmb"), {QStringLiteral("kmh"), QStringLiteral("kmm")},
                        {{"01", "数学"}, {"02", "物理"}});
    testing::insertRows(ws, QStringLiteral("txb"),
                        {QStringLiteral("kmh"), QStringLiteral("txh"), QStringLiteral("txm")},
                        {{"01", "01", "选择题"}, {"01", "02", "填空题"}, {"02", "01", "选择题"}});
    const QStringList columns{QStringLiteral("kmh"), QStringLiteral("txh"), QStringLiteral("th"), QStringLiteral("zjh"),
                              QStringLiteral("nd"),  QStringLiteral("fs"),  QStringLiteral("tm"), QStringLiteral("da")};
    testing::insertRows(
        ws, QStringLiteral("stb"), columns,
        {{"01", "01", "001", "01", "易", "3", kTriangle, "A"},
         {"01", "01", "002", "01", "易", "3", "解方程 \\(x^2-5x+6=0\\)，它的两个根之和是多少？", "5"},
         {"01", "01", "003", "01", "易", "3", "解方程 \\(x^2+5x+6=0\\)，它的两个根之和是多少？", "-5"},
         {"01", "02", "001", "01", "易", "3",
          QStringLiteral("在直角三角形ABC中，∠C=90°，AC=3，BC=4，则斜边AB上的高是____。"), "2.4"},
         {"01", "01", "004", "01", "易", "3", "1+1=?", "2"},
         {"01", "01", "005", "01", "易", "3", kPicture, ""},
         {"01", "01", "006", "01", "易", "3",
          "下列说法正确的是（　）\nA. 对顶角相等 B. 同位角相等 C. 内错角相等 D. 同旁内角互补", "A"},
         {"01", "01", "007", "01", "易", "3",
          "下列说法错误的是（　）\nA. 两点确定一条直线 B. 两点之间线段最短 C. 相等的角是对顶角 D. 垂线段最短", "C"},
         {"02", "01", "001", "01", "易", "3", kTriangle, "A"}});
}

qint64 idOf(const QString& kmh, const QString& txh, const QString& th)
{
    return sql::scalar(DM->db(), QStringLiteral("SELECT id FROM stb WHERE kmh=? AND txh=? AND th=?"), {kmh, txh, th})
        .toLongLong();
}

QStringList places(const QList<duplicates::Match>& matches)
{
    QStringList out;
    for (const duplicates::Match& m : matches) out << m.txh + QLatin1Char('/') + m.th;
    return out;
}

// The demo bank on the engine the tests run on, connected; the server's database goes away with the guard.
struct DemoBank {
    Workspace ws{{}, false};
    QString server;
    DemoBank()
    {
        if (testing::onServer()) {
            server = testing::createServerDatabase();
            demo::createDemoDatabase(server);
            DM->connectToServer(server);
        } else {
            const QString path = ws.root() + QStringLiteral("/demo.db");
            demo::createDemoDatabase(path);
            DM->connectTo(path);
        }
    }
    ~DemoBank()
    {
        DM->disconnectFromBank();
        if (!server.isEmpty()) testing::dropServerDatabase(server);
    }
};

}  // namespace

class DuplicatesTest : public QObject {
    Q_OBJECT
private slots:
    void normalisingKeepsOnlyWhatTheQuestionSays();
    void similarityIsSharedTrigramsOverAllTrigrams();
    void checkFindsTheSameQuestionWrittenOtherwiseBestFirst();
    void checkLeavesOutTheQuestionItselfOtherSubjectsAndLookAlikes();
    void checkComparesShortTextsWhole();
    void checkReadsCandidatesThroughTheIndexOnly();
    void checkFindsTheCopyAmongManyQuestionsSharingItsWords();
    void groupsGatherSimilarQuestionsOfOneSubject();
    void demoBankHoldsNoDuplicates();
    void commandLineListsGroups();
};

void DuplicatesTest::normalisingKeepsOnlyWhatTheQuestionSays()
{
    using duplicates::normalise;
    // Full-width letters and digits are half-width; case folded; blanks of every kind dropped.
    QCOMPARE(normalise(QStringLiteral("ＡＢＣ　ａｂｃ １２３\tXyZ\n")), QStringLiteral("abcabc123xyz"));
    // Punctuation of both widths dropped, symbols kept.
    QCOMPARE(normalise(QStringLiteral("已知：x＞3，求“y”。（单位：米）!?")), QStringLiteral("已知x>3求y单位米"));
    // Option labels in their usual forms dropped; a letter inside a word or a name stays.
    QCOMPARE(normalise(QStringLiteral("A. 5 B．6 C、7 D:8")), QStringLiteral("5678"));
    QCOMPARE(normalise(QStringLiteral("（A）5（B）6 (C) 7 ( D ) 8")), QStringLiteral("5678"));
    QCOMPARE(normalise(QStringLiteral("三角形ABC.顶点B")), QStringLiteral("三角形abc顶点b"));
    // Picture markers dropped, with or without a placement.
    QCOMPARE(normalise(QStringLiteral("如图") + kPicture + QStringLiteral("所示") + kOtherPicture),
             QStringLiteral("如图所示"));
    QCOMPARE(normalise(kPicture), QString());
    // Formulas keep their LaTeX (signs and case matter there) without spaces.
    QCOMPARE(normalise(QStringLiteral("解 \\( x^2 - 5X \\) 和 \\[ \\frac{a}{b} \\]")),
             QStringLiteral("解x^2-5X和\\frac{a}{b}"));
    QVERIFY(normalise(QStringLiteral("\\(x^2+1\\)")) != normalise(QStringLiteral("\\(x^2-1\\)")));
    // An opening without its closing is plain text (its punctuation dropped).
    QCOMPARE(normalise(QStringLiteral("a \\( b")), QStringLiteral("ab"));
    // The question written again by another file reads the same.
    QCOMPARE(normalise(kTriangleAgain), normalise(kTriangle));
}

void DuplicatesTest::similarityIsSharedTrigramsOverAllTrigrams()
{
    using duplicates::similarity;
    QCOMPARE(similarity(kTriangle, kTriangleAgain), 1.0);
    // "abcd" {abc, bcd} and "abce" {abc, bce}: one shared of three.
    QCOMPARE(similarity(QStringLiteral("abcd"), QStringLiteral("abce")), 1.0 / 3);
    // Sets: a trigram repeated counts once.
    QCOMPARE(similarity(QStringLiteral("aaaa"), QStringLiteral("aaa")), 1.0);
    // Shorter than three characters after normalising: equal or not.
    QCOMPARE(similarity(QStringLiteral("1+1"), QStringLiteral(" 1 + 1 ")), 1.0);
    QCOMPARE(similarity(QStringLiteral("对"), QStringLiteral("错")), 0.0);
    QCOMPARE(similarity(QStringLiteral("对"), QStringLiteral("对错对")), 0.0);
    // A question that is only a picture is like nothing, not even another one.
    QCOMPARE(similarity(kPicture, kOtherPicture), 0.0);
    QCOMPARE(similarity(kPicture, kPicture), 0.0);
    // One number changed in a long question: similar, below the default threshold in a short one.
    const double longOne =
        similarity(QStringLiteral("一辆汽车以每小时60千米的速度行驶了3小时，又以每小时80千米的速度行驶了2小时，"
                                  "这辆汽车一共行驶了多少千米？平均每小时行驶多少千米？"),
                   QStringLiteral("一辆汽车以每小时60千米的速度行驶了3小时，又以每小时90千米的速度行驶了2小时，"
                                  "这辆汽车一共行驶了多少千米？平均每小时行驶多少千米？"));
    QVERIFY2(longOne >= duplicates::kDefaultThreshold && longOne < 1, qPrintable(QString::number(longOne)));
    const double shortOne = similarity(QStringLiteral("计算 12 × 34"), QStringLiteral("计算 12 × 35"));
    QVERIFY2(shortOne < duplicates::kDefaultThreshold, qPrintable(QString::number(shortOne)));
}

void DuplicatesTest::checkFindsTheSameQuestionWrittenOtherwiseBestFirst()
{
    Workspace ws;
    seed(ws);
    const QList<duplicates::Match> found = duplicates::check(DM->db(), QStringLiteral("01"), kTriangleAgain);
    // The stored 选择题 (the same text); the 填空题 asks for another length (71 %).
    QCOMPARE(places(found), QStringList{QStringLiteral("01/001")});
    QCOMPARE(found.value(0).id, idOf(QStringLiteral("01"), QStringLiteral("01"), QStringLiteral("001")));
    QCOMPARE(found.value(0).similarity, 1.0);
    // A lower threshold lets the 填空题 in, after the exact copy; a limit of one keeps the best.
    const QList<duplicates::Match> lower = duplicates::check(DM->db(), QStringLiteral("01"), kTriangleAgain, 0.6);
    QCOMPARE(places(lower), (QStringList{QStringLiteral("01/001"), QStringLiteral("02/001")}));
    QVERIFY(lower[0].similarity > lower[1].similarity);
    QVERIFY2(qAbs(lower[1].similarity - 27.0 / 38) < 1e-9, qPrintable(QString::number(lower[1].similarity)));
    QCOMPARE(places(duplicates::check(DM->db(), QStringLiteral("01"), kTriangleAgain, 0.6, 0, 1)),
             QStringList{QStringLiteral("01/001")});
    // The other way round: the copy stored full-width, the new text half-width.
    testing::insertRows(ws, QStringLiteral("stb"),
                        {QStringLiteral("kmh"), QStringLiteral("txh"), QStringLiteral("th"), QStringLiteral("zjh"),
                         QStringLiteral("tm")},
                        {{"03", "01", "001", "01", kTriangleAgain}});
    QCOMPARE(places(duplicates::check(DM->db(), QStringLiteral("03"), kTriangle)),
             QStringList{QStringLiteral("01/001")});
    // A stored text is found again as it stands, after being changed, and no more after deletion.
    const qint64 eq = idOf(QStringLiteral("01"), QStringLiteral("01"), QStringLiteral("002"));
    const QString changed = QStringLiteral("一元二次方程 \\(x^2-7x+12=0\\) 的两根分别是多少？并检验你的答案是否正确。");
    QVERIFY(duplicates::check(DM->db(), QStringLiteral("01"), changed).isEmpty());
    ws.exec(QStringLiteral("UPDATE stb SET tm=? WHERE id=?"), {changed, eq});
    QCOMPARE(places(duplicates::check(DM->db(), QStringLiteral("01"), changed)), QStringList{QStringLiteral("01/002")});
    ws.exec(QStringLiteral("DELETE FROM stb WHERE id=?"), {eq});
    QVERIFY(duplicates::check(DM->db(), QStringLiteral("01"), changed).isEmpty());
}

void DuplicatesTest::checkLeavesOutTheQuestionItselfOtherSubjectsAndLookAlikes()
{
    Workspace ws;
    seed(ws);
    const qint64 first = idOf(QStringLiteral("01"), QStringLiteral("01"), QStringLiteral("001"));
    // 原题更改 of the question itself: only the other questions count.
    const QList<duplicates::Match> others = duplicates::check(DM->db(), QStringLiteral("01"), kTriangle, 0.6, first);
    QCOMPARE(places(others), QStringList{QStringLiteral("02/001")});
    // The 物理 copy is another subject's: found only there.
    const QList<duplicates::Match> physics = duplicates::check(DM->db(), QStringLiteral("02"), kTriangle);
    QCOMPARE(places(physics), QStringList{QStringLiteral("01/001")});
    QCOMPARE(physics[0].id, idOf(QStringLiteral("02"), QStringLiteral("01"), QStringLiteral("001")));
    // Equations differing in one sign are different questions.
    const QList<duplicates::Match> sign = duplicates::check(
        DM->db(), QStringLiteral("01"), QStringLiteral("解方程 \\(x^2-5x+6=0\\)，它的两个根之和是多少？"));
    QCOMPARE(places(sign), QStringList{QStringLiteral("01/002")});
    QVERIFY(sign[0].similarity == 1.0);
    // Two 下列说法 questions share their opening, not their content.
    QCOMPARE(places(duplicates::check(
                 DM->db(), QStringLiteral("01"),
                 QStringLiteral("下列说法正确的是（　）\nA. 对顶角相等 B. 同位角相等 C. 内错角相等 D. 同旁内角互补"))),
             QStringList{QStringLiteral("01/006")});
    // Nothing to compare: a picture alone, an empty text; a subject without questions.
    QVERIFY(duplicates::check(DM->db(), QStringLiteral("01"), kPicture).isEmpty());
    QVERIFY(duplicates::check(DM->db(), QStringLiteral("01"), QStringLiteral("  ")).isEmpty());
    QVERIFY(duplicates::check(DM->db(), QStringLiteral("09"), kTriangle).isEmpty());
}

void DuplicatesTest::checkComparesShortTextsWhole()
{
    Workspace ws;
    seed(ws);
    // "1+1=?" has no run of three letters or digits for the index: short texts are compared whole.
    QCOMPARE(places(duplicates::check(DM->db(), QStringLiteral("01"), QStringLiteral("1 + 1 = ？"))),
             QStringList{QStringLiteral("01/004")});
    QVERIFY(duplicates::check(DM->db(), QStringLiteral("01"), QStringLiteral("1 + 2 = ？")).isEmpty());
    QVERIFY(duplicates::check(DM->db(), QStringLiteral("01"), QStringLiteral("1+1=?"), duplicates::kDefaultThreshold,
                              idOf(QStringLiteral("01"), QStringLiteral("01"), QStringLiteral("004")))
                .isEmpty());
}

void DuplicatesTest::checkReadsCandidatesThroughTheIndexOnly()
{
    Workspace ws;
    seed(ws);
    if (testing::onServer()) {
        // Each trigram asked for is answered by pg_trgm's index on stb.tm, Chinese ones too (the
        // planner prefers reading so small a table: it is told not to).
        ws.exec(QStringLiteral("SET enable_seqscan = off"));
        const QString plan = testing::joined(
            QStringLiteral(
                "EXPLAIN SELECT s.id FROM stb AS s WHERE s.tm ILIKE ? ESCAPE '!' OR s.tm ILIKE ? ESCAPE '!'"),
            QStringLiteral("\n"), {QStringLiteral("%三角形%"), QStringLiteral("%斜边a%")});
        ws.exec(QStringLiteral("SET enable_seqscan = on"));
        QVERIFY2(plan.contains(QStringLiteral("Bitmap Index Scan on stb_search_tm")), qPrintable(plan));
    } else {
        // Without its index (a read-only file of an older version) the subject is read: the same answers.
        const QStringList withIndex = places(duplicates::check(DM->db(), QStringLiteral("01"), kTriangleAgain, 0.6));
        ws.exec(QStringLiteral("DROP TABLE stb_search"));
        QVERIFY(!schema::hasTable(DM->db(), schema::kSearchIndex));
        QCOMPARE(places(duplicates::check(DM->db(), QStringLiteral("01"), kTriangleAgain, 0.6)), withIndex);
    }
}

void DuplicatesTest::checkFindsTheCopyAmongManyQuestionsSharingItsWords()
{
    Workspace ws;
    seed(ws);
    // 600 questions sharing most of their words with the one looked for (more than the candidates
    // read back): the index must rank the rows holding most of the text's trigrams first.
    const QString opening = QStringLiteral("某校组织学生参加社会实践活动，租用客车若干辆，");
    const QString target = opening + QStringLiteral(
                                         "若每辆车坐四十五人则有十五人没有座位，若每辆车坐六十人则空出一辆车，"
                                         "问共有多少名学生参加？");
    QVector<QVariantList> rows;
    for (int i = 0; i < 600; ++i) {
        rows.append(
            {QStringLiteral("01"), QStringLiteral("02"), QStringLiteral("%1").arg(100 + i, 3, 10, QLatin1Char('0')),
             QStringLiteral("01"),
             opening +
                 QStringLiteral("若每辆车坐%1人则有%2人没有座位，问共有多少名学生参加？").arg(i).arg(i * 7 % 50)});
    }
    rows.append({QStringLiteral("01"), QStringLiteral("02"), QStringLiteral("900"), QStringLiteral("01"), target});
    testing::insertRows(ws, QStringLiteral("stb"),
                        {QStringLiteral("kmh"), QStringLiteral("txh"), QStringLiteral("th"), QStringLiteral("zjh"),
                         QStringLiteral("tm")},
                        rows);
    const QString again = QString(target).replace(QStringLiteral("，"), QStringLiteral(", "));
    const QList<duplicates::Match> found = duplicates::check(DM->db(), QStringLiteral("01"), again);
    QCOMPARE(places(found), QStringList{QStringLiteral("02/900")});
    QCOMPARE(found[0].similarity, 1.0);
}

void DuplicatesTest::groupsGatherSimilarQuestionsOfOneSubject()
{
    Workspace ws;
    seed(ws);
    // The triangle stored once more as another 选择题 and a third time with its picture.
    const QStringList columns{QStringLiteral("kmh"), QStringLiteral("txh"), QStringLiteral("th"), QStringLiteral("zjh"),
                              QStringLiteral("tm")};
    testing::insertRows(ws, QStringLiteral("stb"), columns,
                        {{"01", "01", "010", "01", kTriangleAgain},
                         {"01", "01", "011", "01", "1+1 = ?"},
                         {"01", "01", "012", "01", kPicture}});
    const QList<duplicates::Group> groups = duplicates::groups(DM->db(), QStringLiteral("01"));
    QCOMPARE(groups.size(), 2);
    QStringList first, second;
    for (const duplicates::Match& m : groups[0].questions) first << m.txh + QLatin1Char('/') + m.th;
    for (const duplicates::Match& m : groups[1].questions) second << m.txh + QLatin1Char('/') + m.th;
    QCOMPARE(first, (QStringList{QStringLiteral("01/001"), QStringLiteral("01/010")}));
    QCOMPARE(groups[0].questions[1].similarity, 1.0);
    QCOMPARE(second, (QStringList{QStringLiteral("01/004"), QStringLiteral("01/011")}));
    QCOMPARE(groups[0].questions[0].similarity, 1.0);
    // Lower, the 填空题 joins the triangles; the 物理 copy never does.
    const QList<duplicates::Group> lower = duplicates::groups(DM->db(), QStringLiteral("01"), 0.6);
    QStringList triangles;
    for (const duplicates::Match& m : lower[0].questions) triangles << m.txh + QLatin1Char('/') + m.th;
    QCOMPARE(triangles, (QStringList{QStringLiteral("01/001"), QStringLiteral("01/010"), QStringLiteral("02/001")}));
    QVERIFY(duplicates::groups(DM->db(), QStringLiteral("02")).isEmpty());
}

void DuplicatesTest::demoBankHoldsNoDuplicates()
{
    DemoBank bank;
    const QStringList subjects = sql::column(DM->db(), QStringLiteral("SELECT kmh FROM kmb ORDER BY id"));
    QVERIFY(subjects.size() >= 3);
    int questions = 0;
    for (const QString& kmh : subjects) {
        QVERIFY2(duplicates::groups(DM->db(), kmh).isEmpty(), qPrintable(kmh));
        // Each question, checked as new, is found as itself (through the index) and as nothing else.
        sql::Reader q(DM->db(), QStringLiteral("SELECT id, tm FROM stb WHERE kmh = ? ORDER BY id"), {kmh});
        QVector<QPair<qint64, QString>> rows;
        while (q.next()) rows.append({q.int64(0), q.text(1)});
        for (const auto& [id, tm] : rows) {
            const QList<duplicates::Match> found = duplicates::check(DM->db(), kmh, tm);
            if (duplicates::normalise(tm).isEmpty()) continue;
            QVERIFY2(found.size() == 1 && found[0].id == id, qPrintable(QStringLiteral("%1 %2").arg(id).arg(tm)));
            QVERIFY(duplicates::check(DM->db(), kmh, tm, duplicates::kDefaultThreshold, id).isEmpty());
            ++questions;
        }
    }
    QVERIFY(questions > 200);
}

void DuplicatesTest::commandLineListsGroups()
{
    Workspace ws;
    seed(ws);
    testing::insertRows(ws, QStringLiteral("stb"),
                        {QStringLiteral("kmh"), QStringLiteral("txh"), QStringLiteral("th"), QStringLiteral("zjh"),
                         QStringLiteral("tm")},
                        {{"01", "01", "010", "01", kTriangleAgain}});
    QStringList where;
    if (testing::onServer()) {
        where = {QStringLiteral("--server"), ws.serverUri()};
    } else {
        DM->disconnectFromBank();  // the command takes the bank's lock
        where = {QStringLiteral("--file"), ws.databasePath()};
    }
    Run r =
        tool(QStringList{QStringLiteral("duplicates"), QStringLiteral("--subject"), QStringLiteral("数学")} + where);
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QStringLiteral("第 1 组：\n  选择题\t001\t100%\t") + content::firstLine(kTriangle) +
                        QStringLiteral("\n  选择题\t010\t100%\t") + content::firstLine(kTriangleAgain) +
                        QStringLiteral("\n共 1 组，2 道试题疑似重复。\n"));
    r = tool(QStringList{QStringLiteral("duplicates"), QStringLiteral("--subject"), QStringLiteral("数学"),
                         QStringLiteral("--threshold"), QStringLiteral("0.6")} +
             where);
    QCOMPARE(r.code, 0);
    // The 填空题 joins the triangles; the equations differing in one sign make a group of their own.
    QVERIFY2(r.out.contains(QStringLiteral("  填空题\t001\t71%\t")) &&
                 r.out.contains(QStringLiteral("第 2 组：\n  选择题\t002\t75%\t")) &&
                 r.out.endsWith(QStringLiteral("共 2 组，5 道试题疑似重复。\n")),
             qPrintable(r.out));
    r = tool(QStringList{QStringLiteral("duplicates"), QStringLiteral("--subject"), QStringLiteral("物理")} + where);
    QCOMPARE(r.out, QStringLiteral("科目“物理”中没有疑似重复的试题。\n"));
    r = tool(QStringList{QStringLiteral("duplicates"), QStringLiteral("--subject"), QStringLiteral("数学"),
                         QStringLiteral("--threshold"), QStringLiteral("85")} +
             where);
    QCOMPARE(r.code, 1);
    QCOMPARE(r.err, QStringLiteral("错误：--threshold 应为大于 0、不大于 1 的小数，如 0.9。\n"));
    r = tool(QStringList{QStringLiteral("duplicates"), QStringLiteral("--subject"), QStringLiteral("化学")} + where);
    QCOMPARE(r.code, 1);
    QCOMPARE(r.err, QStringLiteral("错误：科目“化学”不存在。\n"));
}

QTEST_MAIN(DuplicatesTest)
#include "test_duplicates.moc"
