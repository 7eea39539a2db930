// Measured difficulty read back for the bank: the questions of a paper with their difficulty and
// measurement (gone ones left out), the wizard's questions matched to the bank, and the expected
// mean Σ P × points over the measured ones only.
#include <QApplication>
#include <QTest>

#include "analysis/difficulty_review.h"
#include "analysis/measured_fixture.h"
#include "app/application.h"
#include "data/data_module.h"
#include "data/recycle.h"
#include "data/sql.h"
#include "test_support.h"

using measuredtest::idOf;
using testing::Workspace;

namespace {

// 数学 (01): 填空题 (01) 001–003 and 计算题 (02) 001, each worth 5 points; a paper of 001, 002 and the
// 计算题 sat by ten students at P 0.6, 0.3 and 0.9.
void seed(Workspace& ws)
{
    ws.exec("INSERT INTO kmb (kmh, kmm) VALUES ('01','数学')");
    ws.exec("INSERT INTO txb (kmh, txh, txm, bz) VALUES ('01','01','填空题','0'), ('01','02','计算题','0')");
    ws.exec("INSERT INTO zjb (kmh, zjh, zjm, bz) VALUES ('01','01','第一章','0')");
    testing::insertRows(ws, "stb", {"kmh", "txh", "th", "zjh", "nd", "fs", "tm", "da", "time", "bz"},
                        {{"01", "01", "001", "01", "易", "5", "题一", "答", "8:00:00", ""},
                         {"01", "01", "002", "01", "中等", "5", "题二", "答", "8:00:00", ""},
                         {"01", "01", "003", "01", "难", "5", "题三", "答", "8:00:00", ""},
                         {"01", "02", "001", "01", "较难", "5", "计算一", "答", "8:00:00", ""}});
    ws.refreshDatasets();
    const library::StoredPaper paper =
        measuredtest::storePaperOf({idOf("01", "01", "001"), idOf("01", "01", "002"), idOf("01", "02", "001")});
    measuredtest::storeSittingOf(paper, {0.6, 0.3, 0.9});
}

}  // namespace

class SittingDifficultyTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { app::setup(*qApp); }
    void questionsAreReadInTheOrderGivenWithTheirMeasurement();
    void theComposedPaperIsMatchedToTheBankByTypeAndNumber();
    void theExpectedMeanCountsOnlyMeasuredQuestions();
};

void SittingDifficultyTest::questionsAreReadInTheOrderGivenWithTheirMeasurement()
{
    Workspace ws;
    seed(ws);
    const qint64 q1 = idOf("01", "01", "001"), q2 = idOf("01", "01", "002"), q3 = idOf("01", "01", "003"),
                 c1 = idOf("01", "02", "001");
    // Given out of order, twice over, with an id no question has.
    const QVector<analysis::QuestionDifficulty> read =
        analysis::readQuestionDifficulties(DM->db(), {c1, q3, q1, 999999, q1, q2});
    QCOMPARE(read.size(), 4);
    QCOMPARE(read[0].id, c1);
    QCOMPARE(read[0].typeName, QStringLiteral("计算题"));
    QCOMPARE(read[0].th, QStringLiteral("001"));
    QCOMPARE(read[0].nd, QStringLiteral("较难"));
    QVERIFY(read[0].measured);
    QVERIFY(qAbs(read[0].measure.difficulty - 0.9) < 1e-9);
    QCOMPARE(read[0].measure.sittings, 1);
    QCOMPARE(read[0].measure.students, 10);
    QCOMPARE(read[1].id, q3);
    QVERIFY(!read[1].measured);
    QCOMPARE(read[1].nd, QStringLiteral("难"));
    QCOMPARE(read[2].id, q1);
    QCOMPARE(read[2].typeName, QStringLiteral("填空题"));
    QVERIFY(qAbs(read[2].measure.difficulty - 0.6) < 1e-9);
    QCOMPARE(read[3].id, q2);
    QVERIFY(qAbs(read[3].measure.difficulty - 0.3) < 1e-9);

    QCOMPARE(analysis::missingQuestions(DM->db(), {q1, 999999, q2}), QVector<qint64>{999999});
    // In the recycle bin a question is missing; back from it, it is read with its measurement again.
    sql::transaction(
        DM->db(), [&] { recycle::removeKept(DM->db(), recycle::keepQuestion(DM->db(), "01", "01", "002", "admin")); });
    QCOMPARE(analysis::missingQuestions(DM->db(), {q1, q2, q3}), QVector<qint64>{q2});
    QCOMPARE(analysis::readQuestionDifficulties(DM->db(), {q1, q2, q3}).size(), 2);
    sql::transaction(DM->db(),
                     [&] { recycle::restore(DM->db(), ws.scalar("SELECT MAX(id) FROM recycle_items").toLongLong()); });
    QVERIFY(analysis::missingQuestions(DM->db(), {q1, q2, q3}).isEmpty());
    const auto back = analysis::readQuestionDifficulties(DM->db(), {q2});
    QCOMPARE(back.size(), 1);
    QVERIFY(back[0].measured);
    QVERIFY(qAbs(back[0].measure.difficulty - 0.3) < 1e-9);
    QVERIFY(analysis::readQuestionDifficulties(DM->db(), {}).isEmpty());
}

void SittingDifficultyTest::theComposedPaperIsMatchedToTheBankByTypeAndNumber()
{
    Workspace ws;
    seed(ws);
    // The wizard's paper: 填空题 002 (4 points), 计算题 001 (6.5), 填空题 003 (2), and a row whose
    // question another user deleted since (填空题 009).
    testing::insertRows(ws, "sjb", {"kmh", "txh", "th", "zjh", "nd", "fs", "tm", "da"},
                        {{"01", "01", "002", "01", "中等", "4", "题二", "答"},
                         {"01", "02", "001", "01", "较难", "6.5", "计算一", "答"},
                         {"01", "01", "003", "01", "难", "2", "题三", "答"},
                         {"01", "01", "009", "01", "难", "3", "没了", "答"}});
    const QVector<analysis::ComposedQuestion> paper = analysis::composedQuestions(DM->db(), "01");
    QCOMPARE(paper.size(), 4);
    QCOMPARE(paper[0].id, idOf("01", "01", "002"));
    QCOMPARE(paper[0].points, 4.0);
    QCOMPARE(paper[1].id, idOf("01", "02", "001"));
    QCOMPARE(paper[1].points, 6.5);
    QCOMPARE(paper[2].id, idOf("01", "01", "003"));
    QCOMPARE(paper[3].id, qint64(-1));
    QVERIFY(analysis::composedQuestions(DM->db(), "02").isEmpty());

    QVector<qint64> ids;
    for (const auto& q : paper) ids << q.id;
    const analysis::ExpectedMean expected = analysis::expectedMean(paper, analysis::measuredDifficulty(DM->db(), ids));
    // 0.3 × 4 + 0.9 × 6.5; 003 has no measurement and 009 is gone.
    QVERIFY(qAbs(expected.mean - (0.3 * 4 + 0.9 * 6.5)) < 1e-9);
    QCOMPARE(expected.measured, 2);
    QCOMPARE(expected.unmeasured, 2);
    QCOMPARE(analysis::expectedMeanText(expected),
             QStringLiteral("预计平均分 7.1（按 2 道题的实测难度；其余 2 道无实测，未计入）"));
}

void SittingDifficultyTest::theExpectedMeanCountsOnlyMeasuredQuestions()
{
    QHash<qint64, analysis::Measured> measures;
    measures.insert(1, {0.75, 2, 80});
    measures.insert(2, {0.5, 1, 40});
    QCOMPARE(analysis::expectedMeanText(analysis::expectedMean({{1, 10}, {2, 3}}, measures)),
             QStringLiteral("预计平均分 9.0（按全部 2 道题的实测难度）"));
    const analysis::ExpectedMean some = analysis::expectedMean({{1, 10}, {3, 20}, {-1, 5}}, measures);
    QCOMPARE(some.mean, 7.5);
    QCOMPARE(some.measured, 1);
    QCOMPARE(some.unmeasured, 2);
    // Nothing measured: nothing said, however many questions.
    QVERIFY(analysis::expectedMeanText(analysis::expectedMean({{3, 10}, {-1, 5}}, measures)).isEmpty());
    QVERIFY(analysis::expectedMeanText(analysis::expectedMean({}, measures)).isEmpty());
}

QTEST_MAIN(SittingDifficultyTest)
#include "test_sitting_difficulty.moc"
