// Knowledge points (知识点): the tree of a subject and its rules (names, siblings, moves, deletion),
// the links of questions to points and where they go with a question: the recycle bin and back, a
// backup and its restore, a copy of the bank; an older bank gets the tables when opened.
#include "app/application.h"
#include "data/data_module.h"
#include "cli/bank_copy.h"
#include "data/backup.h"
#include "data/engine.h"
#include "data/errors.h"
#include "data/knowledge_points.h"
#include "data/recycle.h"
#include "data/schema.h"
#include "data/question_search.h"
#include "data/sql.h"
#include "test_support.h"

#include <QDir>
#include <QProcess>
#include <QTest>

using testing::Workspace;

namespace {

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
    testing::insertRows(ws, QStringLiteral("stb"), columns,
                        {{"01", "01", "001", "01", "易", "3", "三角形中勾股定理的逆定理怎样叙述？", "略"},
                         {"01", "01", "002", "02", "难", "5", "解方程 x+1=2", "x=1"},
                         {"01", "02", "001", "01", "中等", "4", "直角三角形斜边上的中线", "一半"},
                         {"02", "01", "001", "01", "易", "3", "匀速直线运动", "略"}});
}

qint64 questionId(Workspace& ws, const QString& kmh, const QString& txh, const QString& th)
{
    return ws.scalar(QStringLiteral("SELECT id FROM stb WHERE kmh=? AND txh=? AND th=?"), {kmh, txh, th}).toLongLong();
}

// The tree as "path" lines in the order points() gives it.
QStringList treeLines(const QString& kmh)
{
    QStringList lines;
    QSqlDatabase db = DM->db();
    const QHash<qint64, QString> paths = knowledge::paths(db, kmh);
    for (const knowledge::Point& p : knowledge::points(db, kmh)) lines << paths.value(p.id);
    return lines;
}

QString errorOf(const std::function<void()>& work)
{
    try {
        work();
    } catch (const AppError& e) {
        return e.text();
    }
    return QString();
}

// Deletes through the recycle bin as the windows do: the copy and the deletion in one transaction.
void deleteIntoBin(const std::function<qint64(QSqlDatabase&)>& keep)
{
    QSqlDatabase db = DM->db();
    sql::transaction(db, [&] { recycle::removeKept(db, keep(db)); });
}

QStringList restoreLast()
{
    QSqlDatabase db = DM->db();
    QStringList notes;
    const qint64 item = recycle::items(db).first().id;
    sql::transaction(db, [&] { notes = recycle::restore(db, item); });
    return notes;
}

// Every link as "subject/type/number → path", sorted: what a user would see of the questions' points.
QStringList allLinks(QSqlDatabase db)
{
    QStringList lines;
    sql::Reader q(db, QStringLiteral("SELECT s.id, s.kmh, s.txh, s.th FROM stb s ORDER BY s.id"));
    QVector<QPair<qint64, QString>> questions;
    while (q.next()) questions.append({q.int64(0), q.text(1) + "/" + q.text(2) + "/" + q.text(3)});
    for (const auto& [id, name] : questions) {
        for (const QString& path : knowledge::namesOfQuestion(db, id)) lines << name + QStringLiteral(" → ") + path;
    }
    lines.sort();
    return lines;
}

}  // namespace

class KnowledgePointsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void theTreeKeepsParentsFirstSiblingsByNameAndRefusesBadNames();
    void questionsAreLinkedByNamesAndPathsAndKeptWhenAPointGoes();
    void linksGoToTheRecycleBinAndComeBackWithTheirQuestions();
    void linksSurviveABackupRestoredAndACopyOfTheBank();
    void anOlderBankGetsTheTablesWhenOpened();
    void theSearchKeepsToAPointAndThoseBelowIt();
    void theToolPrintsTheTreeWithQuestionCounts();
};

void KnowledgePointsTest::initTestCase()
{
    app::setup(*qApp);
}

void KnowledgePointsTest::theTreeKeepsParentsFirstSiblingsByNameAndRefusesBadNames()
{
    Workspace ws;
    seed(ws);
    QSqlDatabase db = DM->db();
    const qint64 geometry = knowledge::add(db, QStringLiteral("01"), QStringLiteral("几何"), 0);
    const qint64 algebra = knowledge::add(db, QStringLiteral("01"), QStringLiteral(" 代数 "), 0);
    const qint64 triangle = knowledge::add(db, QStringLiteral("01"), QStringLiteral("三角形"), geometry);
    const qint64 pythagoras = knowledge::add(db, QStringLiteral("01"), QStringLiteral("勾股定理"), triangle);
    const qint64 circle = knowledge::add(db, QStringLiteral("01"), QStringLiteral("圆"), geometry);
    const qint64 equations = knowledge::add(db, QStringLiteral("01"), QStringLiteral("方程"), algebra);
    knowledge::add(db, QStringLiteral("02"), QStringLiteral("力学"), 0);
    QVERIFY(geometry > 0 && algebra > 0 && triangle > 0 && pythagoras > 0 && circle > 0 && equations > 0);
    // Parents before children, siblings by name; the other subject's tree apart; names trimmed.
    QCOMPARE(treeLines(QStringLiteral("01")),
             (QStringList{"代数", "代数/方程", "几何", "几何/三角形", "几何/三角形/勾股定理", "几何/圆"}));
    QCOMPARE(treeLines(QStringLiteral("02")), QStringList{"力学"});
    QCOMPARE(knowledge::points(db, QStringLiteral("01")).at(4).parent, triangle);
    QCOMPARE(knowledge::pathOf(db, pythagoras), QStringLiteral("几何/三角形/勾股定理"));

    // Empty names, separators and a sibling's name are refused; the same name elsewhere is fine.
    QCOMPARE(errorOf([&] { knowledge::add(db, QStringLiteral("01"), QStringLiteral("  "), 0); }),
             QStringLiteral("知识点名称不能为空！"));
    QCOMPARE(errorOf([&] { knowledge::add(db, QStringLiteral("01"), QStringLiteral("a/b"), 0); }),
             QStringLiteral("知识点名称中不能含有“/”。"));
    QCOMPARE(errorOf([&] { knowledge::add(db, QStringLiteral("01"), QStringLiteral("甲，乙"), 0); }),
             QStringLiteral("知识点名称中不能含有“，”。"));
    QCOMPARE(errorOf([&] { knowledge::add(db, QStringLiteral("01"), QStringLiteral("圆"), geometry); }),
             QStringLiteral("同一上级下已有知识点“圆”，请换一个名称。"));
    QVERIFY(knowledge::add(db, QStringLiteral("01"), QStringLiteral("圆"), 0) > 0);
    QCOMPARE(errorOf([&] { knowledge::add(db, QStringLiteral("02"), QStringLiteral("x"), geometry); }),
             QStringLiteral("上级知识点已不存在，请刷新后重试。"));

    // Renaming keeps the sibling rule, and its own name is no clash.
    QCOMPARE(errorOf([&] { knowledge::rename(db, circle, QStringLiteral("三角形")); }),
             QStringLiteral("同一上级下已有知识点“三角形”，请换一个名称。"));
    knowledge::rename(db, circle, QStringLiteral("圆"));
    knowledge::rename(db, circle, QStringLiteral("圆与扇形"));
    QCOMPARE(knowledge::pathOf(db, circle), QStringLiteral("几何/圆与扇形"));

    // A move under itself or a descendant is refused, and so is one beside a namesake.
    QCOMPARE(errorOf([&] { knowledge::move(db, geometry, geometry); }),
             QStringLiteral("不能把知识点“几何”移到它自己或它的下级之下。"));
    QCOMPARE(errorOf([&] { knowledge::move(db, geometry, pythagoras); }),
             QStringLiteral("不能把知识点“几何”移到它自己或它的下级之下。"));
    QCOMPARE(errorOf([&] { knowledge::move(db, triangle, triangle); }),
             QStringLiteral("不能把知识点“三角形”移到它自己或它的下级之下。"));
    const qint64 otherCircle = knowledge::add(db, QStringLiteral("01"), QStringLiteral("圆与扇形"), algebra);
    QCOMPARE(errorOf([&] { knowledge::move(db, circle, algebra); }),
             QStringLiteral("同一上级下已有知识点“圆与扇形”，请换一个名称。"));
    knowledge::remove(db, otherCircle);
    // A subtree moves whole; to the top as well.
    knowledge::move(db, triangle, algebra);
    QCOMPARE(knowledge::pathOf(db, pythagoras), QStringLiteral("代数/三角形/勾股定理"));
    knowledge::move(db, triangle, 0);
    QCOMPARE(treeLines(QStringLiteral("01")), (QStringList{"三角形", "三角形/勾股定理", "代数", "代数/方程", "几何",
                                                          "几何/圆与扇形", "圆"}));
    // A refused move changed nothing.
    QCOMPARE(ws.scalar(QStringLiteral("SELECT sjid FROM zsdb WHERE id=?"), {geometry}).toLongLong(), 0);

    // Descendants for restricted draws: the points themselves and everything under them, once.
    QList<qint64> under = knowledge::withDescendants(db, {triangle, pythagoras});
    std::sort(under.begin(), under.end());
    QCOMPARE(under, (QList<qint64>{triangle, pythagoras}));
    under = knowledge::withDescendants(db, {algebra});
    std::sort(under.begin(), under.end());
    QCOMPARE(under, (QList<qint64>{algebra, equations}));
    QVERIFY(knowledge::withDescendants(db, {}).isEmpty());
}

void KnowledgePointsTest::questionsAreLinkedByNamesAndPathsAndKeptWhenAPointGoes()
{
    Workspace ws;
    seed(ws);
    QSqlDatabase db = DM->db();
    const qint64 geometry = knowledge::add(db, QStringLiteral("01"), QStringLiteral("几何"), 0);
    const qint64 triangle = knowledge::add(db, QStringLiteral("01"), QStringLiteral("三角形"), geometry);
    const qint64 q1 = questionId(ws, "01", "01", "001");
    const qint64 q2 = questionId(ws, "01", "01", "002");
    const qint64 physics = questionId(ws, "02", "01", "001");

    // A bare name finds the point at any depth, a path its point; a missing one is created with its path.
    QStringList created;
    const QList<qint64> ids = knowledge::resolve(
        db, QStringLiteral("01"), {QStringLiteral("三角形"), QStringLiteral("几何"), QStringLiteral("代数/一元一次方程"),
                                   QStringLiteral(" 三角形 "), QString()},
        &created);
    QCOMPARE(created, QStringList{"代数/一元一次方程"});
    QCOMPARE(ids.size(), 3);
    QCOMPARE(ids.at(0), triangle);
    QCOMPARE(ids.at(1), geometry);
    QCOMPARE(knowledge::pathOf(db, ids.at(2)), QStringLiteral("代数/一元一次方程"));
    knowledge::setForQuestion(db, q1, ids);
    QCOMPARE(knowledge::ofQuestion(db, q1), ids);
    QCOMPARE(knowledge::namesOfQuestion(db, q1),
             (QStringList{"代数/一元一次方程", "几何", "几何/三角形"}));
    // Paths that end a longer path name its point; names typed with both kinds of comma.
    knowledge::setNamesForQuestion(db, q2, QStringLiteral("01"),
                                   knowledge::splitNames(QStringLiteral("一元一次方程，几何/三角形, ,三角形")));
    QCOMPARE(knowledge::namesOfQuestion(db, q2), (QStringList{"代数/一元一次方程", "几何/三角形"}));
    // Points of one subject are the subject's: the same name in another subject is a point of its own.
    knowledge::setNamesForQuestion(db, physics, QStringLiteral("02"), {QStringLiteral("三角形")});
    QCOMPARE(knowledge::namesOfQuestion(db, physics), QStringList{"三角形"});
    QCOMPARE(knowledge::points(db, QStringLiteral("02")).size(), 1);
    QCOMPARE(knowledge::points(db, QStringLiteral("01")).size(), 4);
    // Replacing the links leaves only the new ones; ids of no point are left out.
    knowledge::setForQuestion(db, q2, {geometry, 999999, geometry});
    QCOMPARE(knowledge::ofQuestion(db, q2), QList<qint64>{geometry});

    // Counts by point, directly linked.
    const QHash<qint64, int> counts = knowledge::questionCounts(db, QStringLiteral("01"));
    QCOMPARE(counts.value(geometry), 2);
    QCOMPARE(counts.value(triangle), 1);

    // Deleting a point deletes its descendants and their links; the questions stay.
    const int questions = ws.count(QStringLiteral("stb"));
    knowledge::remove(db, geometry);
    QCOMPARE(ws.count(QStringLiteral("stb")), questions);
    QCOMPARE(knowledge::namesOfQuestion(db, q1), QStringList{"代数/一元一次方程"});
    QVERIFY(knowledge::ofQuestion(db, q2).isEmpty());
    QCOMPARE(ws.count(QStringLiteral("zsdb"), QStringLiteral("kmh=?"), {QStringLiteral("01")}), 2);
    QCOMPARE(ws.count(QStringLiteral("stzsd"), QStringLiteral("zsdid=? OR zsdid=?"), {geometry, triangle}), 0);
    QCOMPARE(knowledge::namesOfQuestion(db, physics), QStringList{"三角形"});
}

void KnowledgePointsTest::linksGoToTheRecycleBinAndComeBackWithTheirQuestions()
{
    Workspace ws;
    seed(ws);
    QSqlDatabase db = DM->db();
    const qint64 q1 = questionId(ws, "01", "01", "001");
    const qint64 q2 = questionId(ws, "01", "01", "002");
    const qint64 q3 = questionId(ws, "01", "02", "001");
    knowledge::setNamesForQuestion(db, q1, "01", {QStringLiteral("几何/三角形/勾股定理"), QStringLiteral("几何")});
    knowledge::setNamesForQuestion(db, q2, "01", {QStringLiteral("代数/方程")});
    knowledge::setNamesForQuestion(db, q3, "01", {QStringLiteral("三角形")});
    knowledge::setNamesForQuestion(db, questionId(ws, "02", "01", "001"), "02", {QStringLiteral("运动学")});
    const QStringList links = allLinks(db);
    QCOMPARE(links, (QStringList{"01/01/001 → 几何", "01/01/001 → 几何/三角形/勾股定理", "01/01/002 → 代数/方程",
                                 "01/02/001 → 几何/三角形", "02/01/001 → 运动学"}));
    const QStringList tree = [&] {
        QStringList lines;
        const QHash<qint64, QString> paths = knowledge::paths(db, "01");
        for (const knowledge::Point& p : knowledge::points(db, "01")) lines << paths.value(p.id);
        return lines;
    }();

    // One question: its links leave with it and come back with it.
    deleteIntoBin([](QSqlDatabase& d) { return recycle::keepQuestion(d, "01", "01", "001", "admin"); });
    QCOMPARE(ws.count(QStringLiteral("stzsd"), QStringLiteral("stid=?"), {q1}), 0);
    QCOMPARE(allLinks(db).size(), 3);
    restoreLast();
    QCOMPARE(allLinks(db), links);

    // A point deleted while its question is in the bin: the question comes back without that link.
    deleteIntoBin([](QSqlDatabase& d) { return recycle::keepQuestion(d, "01", "01", "002", "admin"); });
    const qint64 equations = knowledge::resolve(db, "01", {QStringLiteral("代数/方程")}).first();
    knowledge::remove(db, equations);
    restoreLast();
    QCOMPARE(ws.count(QStringLiteral("stb"), QStringLiteral("kmh='01' AND txh='01' AND th='002'")), 1);
    QVERIFY(knowledge::namesOfQuestion(db, questionId(ws, "01", "01", "002")).isEmpty());
    knowledge::setNamesForQuestion(db, questionId(ws, "01", "01", "002"), "01", {QStringLiteral("代数/方程")});
    const QStringList relinked = allLinks(db);

    // A question whose number was given again meanwhile comes back under a new id, with its links.
    deleteIntoBin([](QSqlDatabase& d) { return recycle::keepQuestion(d, "01", "02", "001", "admin"); });
    testing::insertRows(ws, QStringLiteral("stb"),
                        {QStringLiteral("kmh"), QStringLiteral("txh"), QStringLiteral("th"), QStringLiteral("tm")},
                        {{"01", "02", "001", "新题"}});
    const QStringList notes = restoreLast();
    QCOMPARE(notes.size(), 1);
    QVERIFY(questionId(ws, "01", "02", "002") != q3);
    QCOMPARE(knowledge::namesOfQuestion(db, questionId(ws, "01", "02", "002")), QStringList{"几何/三角形"});
    QVERIFY(knowledge::namesOfQuestion(db, questionId(ws, "01", "02", "001")).isEmpty());
    ws.exec(QStringLiteral("DELETE FROM stb WHERE tm='新题'"));
    // (The renumbered question stands as 002 from here on.)
    QStringList expected = relinked;
    expected.replaceInStrings(QStringLiteral("01/02/001"), QStringLiteral("01/02/002"));
    QCOMPARE(allLinks(db), expected);

    // A chapter and a type: their questions' links leave and come back.
    deleteIntoBin([](QSqlDatabase& d) { return recycle::keepChapter(d, "01", "01", "admin"); });
    QCOMPARE(allLinks(db), (QStringList{"01/01/002 → 代数/方程", "02/01/001 → 运动学"}));
    restoreLast();
    QCOMPARE(allLinks(db), expected);
    deleteIntoBin([](QSqlDatabase& d) { return recycle::keepType(d, "01", "01", "admin"); });
    QCOMPARE(allLinks(db), (QStringList{"01/02/002 → 几何/三角形", "02/01/001 → 运动学"}));
    restoreLast();
    QCOMPARE(allLinks(db), expected);

    // A subject takes its points along; restored, the tree and every link are back.
    const int points = ws.count(QStringLiteral("zsdb"), QStringLiteral("kmh='01'"));
    deleteIntoBin([](QSqlDatabase& d) { return recycle::keepSubject(d, "01", "admin"); });
    QCOMPARE(ws.count(QStringLiteral("zsdb"), QStringLiteral("kmh='01'")), 0);
    QCOMPARE(ws.count(QStringLiteral("zsdb")), 1);
    QCOMPARE(allLinks(db), QStringList{"02/01/001 → 运动学"});
    restoreLast();
    QCOMPARE(ws.count(QStringLiteral("zsdb"), QStringLiteral("kmh='01'")), points);
    QCOMPARE(allLinks(db), expected);
    QStringList treeNow;
    const QHash<qint64, QString> paths = knowledge::paths(db, "01");
    for (const knowledge::Point& p : knowledge::points(db, "01")) treeNow << paths.value(p.id);
    QStringList treeBefore = tree;
    treeBefore.removeAll(QStringLiteral("代数/方程"));
    treeBefore.insert(1, QStringLiteral("代数/方程"));
    QCOMPARE(treeNow, treeBefore);
    // Nothing is left behind in the bin.
    QCOMPARE(ws.count(QStringLiteral("recycle_stzsd")), 0);
    QCOMPARE(ws.count(QStringLiteral("recycle_zsdb")), 0);
}

void KnowledgePointsTest::linksSurviveABackupRestoredAndACopyOfTheBank()
{
    Workspace ws;
    seed(ws);
    QSqlDatabase db = DM->db();
    knowledge::setNamesForQuestion(db, questionId(ws, "01", "01", "001"), "01",
                                   {QStringLiteral("几何/三角形"), QStringLiteral("几何/圆")});
    knowledge::setNamesForQuestion(db, questionId(ws, "02", "01", "001"), "02", {QStringLiteral("运动学")});
    const QStringList links = allLinks(db);
    QCOMPARE(links.size(), 3);

    // A copy of the bank (to a file, from a file or a server) holds the points and the links.
    const QString copied = ws.root() + QStringLiteral("/copied.db");
    const bank_copy::Report report =
        bank_copy::copy(testing::onServer() ? ws.serverUri() : ws.databasePath(), copied);
    QVERIFY(report.tables.contains(QStringLiteral("stzsd: 3")));
    QVERIFY(report.tables.contains(QStringLiteral("zsdb: 4")));
    {
        QSqlDatabase copy = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("knowledge-copy"));
        copy.setDatabaseName(copied);
        QVERIFY(copy.open());
        QCOMPARE(allLinks(copy), links);
        sql::releaseStatements(copy);
        copy.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("knowledge-copy"));
    if (testing::onServer()) return;  // backups are of bank files

    // A backup restored brings back links removed since.
    const QString saved = ws.root() + QStringLiteral("/saved.db");
    backup::backupTo(ws.databasePath(), saved);
    QVERIFY(backup::check(saved).clean());
    knowledge::remove(db, knowledge::resolve(db, "01", {QStringLiteral("几何")}).first());
    QCOMPARE(allLinks(db).size(), 1);
    DM->disconnectFromBank();
    backup::restore(ws.databasePath(), saved);
    ws.connect();
    QCOMPARE(allLinks(DM->db()), links);
}

void KnowledgePointsTest::anOlderBankGetsTheTablesWhenOpened()
{
    if (testing::onServer()) QSKIP("a bank file of the version before knowledge points");
    Workspace ws;
    seed(ws);
    for (const char* table : {"stzsd", "zsdb", "recycle_stzsd", "recycle_zsdb"}) {
        ws.exec(QStringLiteral("DROP TABLE %1").arg(QString::fromLatin1(table)));
    }
    ws.exec(QStringLiteral("PRAGMA user_version = 4"));
    DM->disconnectFromBank();
    ws.connect();
    QCOMPARE(engine::schemaVersion(DM->db()), schema::kVersion);
    QVERIFY(schema::hasTable(DM->db(), QStringLiteral("zsdb")));
    QVERIFY(schema::hasTable(DM->db(), QStringLiteral("recycle_stzsd")));
    QSqlDatabase db = DM->db();
    knowledge::setNamesForQuestion(db, questionId(ws, "01", "01", "001"), "01", {QStringLiteral("几何")});
    QCOMPARE(allLinks(db), QStringList{"01/01/001 → 几何"});
    // The upgraded file passes the check of a bank file (its new tables are the program's own).
    DM->disconnectFromBank();
    const backup::CheckReport report = backup::check(ws.databasePath());
    QVERIFY2(report.clean(), qPrintable((report.damage + report.orphans).join('\n')));
}

void KnowledgePointsTest::theSearchKeepsToAPointAndThoseBelowIt()
{
    Workspace ws;
    seed(ws);
    QSqlDatabase db = DM->db();
    knowledge::setNamesForQuestion(db, questionId(ws, "01", "01", "001"), "01", {QStringLiteral("几何/三角形/勾股定理")});
    knowledge::setNamesForQuestion(db, questionId(ws, "01", "02", "001"), "01", {QStringLiteral("几何")});
    knowledge::setNamesForQuestion(db, questionId(ws, "01", "01", "002"), "01", {QStringLiteral("代数")});
    const qint64 geometry = knowledge::resolve(db, "01", {QStringLiteral("几何")}).first();
    const qint64 triangle = knowledge::resolve(db, "01", {QStringLiteral("几何/三角形")}).first();
    const qint64 algebra = knowledge::resolve(db, "01", {QStringLiteral("代数")}).first();
    auto numbers = [&](const QString& phrase, const QList<qint64>& points) {
        question_search::Filter filter;
        filter.kmh = QStringLiteral("01");
        filter.points = points;
        QStringList out;
        for (const question_search::Hit& hit : question_search::find(db, phrase, filter, 50).hits) {
            out << hit.txh + QLatin1Char('/') + hit.th;
        }
        return out;
    };
    // A long phrase goes through the index, a short one reads the texts: both keep to the points.
    for (const QString& phrase : {QStringLiteral("三角形"), QStringLiteral("三")}) {
        QCOMPARE(numbers(phrase, {}), (QStringList{"01/001", "02/001"}));
        QCOMPARE(numbers(phrase, {geometry}), (QStringList{"01/001", "02/001"}));
        QCOMPARE(numbers(phrase, {triangle}), QStringList{"01/001"});
        QCOMPARE(numbers(phrase, {algebra}), QStringList{});
    }
    QCOMPARE(numbers(QStringLiteral("x"), {algebra}), QStringList{"01/002"});
    QCOMPARE(numbers(QStringLiteral("x"), {triangle, algebra}), QStringList{"01/002"});
}

void KnowledgePointsTest::theToolPrintsTheTreeWithQuestionCounts()
{
    Workspace ws;
    seed(ws);
    QSqlDatabase db = DM->db();
    knowledge::setNamesForQuestion(db, questionId(ws, "01", "01", "001"), "01",
                                   {QStringLiteral("几何/三角形"), QStringLiteral("几何")});
    knowledge::setNamesForQuestion(db, questionId(ws, "01", "02", "001"), "01", {QStringLiteral("几何/三角形")});
    knowledge::add(db, "01", QStringLiteral("代数"), 0);
    const QStringList where =
        ws.serverUri().isEmpty() ? QStringList{} : QStringList{QStringLiteral("--server"), ws.serverUri()};
    DM->disconnectFromBank();  // the tool opens the bank itself
    QProcess tool;
    tool.setWorkingDirectory(ws.root());
    tool.start(QStringLiteral(EXAVORO_DB_TOOL),
               QStringList{QStringLiteral("knowledge"), QStringLiteral("--subject"), QStringLiteral("数学")} + where);
    QVERIFY(tool.waitForFinished(60000));
    QVERIFY2(tool.exitCode() == 0, qPrintable(QString::fromUtf8(tool.readAllStandardError())));
    QCOMPARE(QString::fromUtf8(tool.readAllStandardOutput()).split(QLatin1Char('\n')),
             (QStringList{"代数（0 道）", "几何（1 道）", "  三角形（2 道）",
                          "科目“数学”共 3 个知识点，2 道试题关联了知识点。", ""}));
    tool.start(QStringLiteral(EXAVORO_DB_TOOL),
               QStringList{QStringLiteral("knowledge"), QStringLiteral("--subject"), QStringLiteral("化学")} + where);
    QVERIFY(tool.waitForFinished(60000));
    QCOMPARE(tool.exitCode(), 1);
    QVERIFY(QString::fromUtf8(tool.readAllStandardError()).contains(QStringLiteral("科目“化学”不存在")));
}

QTEST_MAIN(KnowledgePointsTest)
#include "test_knowledge_points.moc"
