// Knowledge points (知识点): the tree of a subject and its rules (names, siblings, moves, deletion),
// the links of questions to points and where they go with a question: the recycle bin and back, a
// backup and its restore, a copy of the bank; an older bank gets the tables when opened.
#include "app/application.h"
#include "data/data_module.h"
#include "data/errors.h"
#include "data/knowledge_points.h"
#include "data/recycle.h"
#include "data/schema.h"
#include "data/sql.h"
#include "test_support.h"

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
                        {{"01", "01", "001", "01", "易", "3", "勾股定理的逆定理怎样叙述？", "略"},
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

}  // namespace

class KnowledgePointsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void theTreeKeepsParentsFirstSiblingsByNameAndRefusesBadNames();
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

QTEST_MAIN(KnowledgePointsTest)
#include "test_knowledge_points.moc"
