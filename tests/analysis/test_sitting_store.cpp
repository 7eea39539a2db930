// Sittings kept with stored papers: the sheet's columns of a paper (choice questions by their key),
// scores stored and read back, each question's measured difficulty over sittings by its id (through
// renumbering and the recycle bin), scores that do not fit stored not at all, and 难度 set from the
// measurements in one transaction.
#include <QTest>

#include "analysis/sitting_store.h"
#include "data/data_module.h"
#include "data/errors.h"
#include "data/recycle.h"
#include "data/sql.h"
#include "library/paper_store.h"
#include "test_support.h"

using testing::Workspace;

namespace {

// 数学 (01): 选择题 (01) questions 001–002 worth 3 points, 填空题 (02) question 001 worth 4 points.
void seed(Workspace& ws)
{
    ws.exec("INSERT INTO kmb (kmh, kmm) VALUES ('01','数学')");
    ws.exec("INSERT INTO txb (kmh, txh, txm, bz) VALUES ('01','01','选择题','0'), ('01','02','填空题','0')");
    ws.exec("INSERT INTO zjb (kmh, zjh, zjm, bz) VALUES ('01','01','方程','0')");
    const char* const rows[][5] = {
        {"01", "001", "3", "1+1=？ A. 1 B. 2 C. 3 D. 4", "B"},
        {"01", "002", "3", "哪个是质数？（A）4（B）6（C）7（D）8（E）9", "ｃ"},
        {"02", "001", "4", "x+1=3，x=____", "2"},
    };
    for (const auto& r : rows) {
        ws.exec(
            "INSERT INTO stb (kmh, txh, th, zjh, nd, fs, tm, da, time, bz) VALUES ('01',?,?,'01','中等',?,?,?,"
            "'8:00:00','')",
            {r[0], r[1], r[2], r[3], r[4]});
    }
}

qint64 idOf(Workspace& ws, const QString& txh, const QString& th)
{
    return ws.scalar("SELECT id FROM stb WHERE kmh='01' AND txh=? AND th=?", {txh, th}).toLongLong();
}

// A paper of the three questions as the library keeps it.
library::StoredPaper storedPaper(Workspace& ws)
{
    library::StoredPaper paper;
    paper.title = QStringLiteral("单元测验");
    paper.kmh = QStringLiteral("01");
    paper.kmm = QStringLiteral("数学");
    paper.total = QStringLiteral("10");
    auto question = [&](const QString& txh, const QString& th) {
        library::StoredQuestion q;
        q.kmh = QStringLiteral("01");
        q.txh = txh;
        q.th = th;
        q.zjh = QStringLiteral("01");
        q.nd = QStringLiteral("中等");
        q.fs = ws.scalar("SELECT fs FROM stb WHERE kmh='01' AND txh=? AND th=?", {txh, th});
        q.tm = ws.scalar("SELECT tm FROM stb WHERE kmh='01' AND txh=? AND th=?", {txh, th});
        q.da = ws.scalar("SELECT da FROM stb WHERE kmh='01' AND txh=? AND th=?", {txh, th});
        q.questionId = idOf(ws, txh, th);
        return q;
    };
    library::StoredSection choice{QStringLiteral("01"), QStringLiteral("选择题"), 2, 3, {}};
    choice.questions = {question("01", "001"), question("01", "002")};
    library::StoredSection blank{QStringLiteral("02"), QStringLiteral("填空题"), 1, 4, {}};
    blank.questions = {question("02", "001")};
    paper.sections = {choice, blank};
    library::storePaper(DM->db(), paper);
    return paper;
}

analysis::Student student(const QString& id, QVector<double> scores, const QString& choices = QString())
{
    analysis::Student s;
    s.id = id;
    s.name = QStringLiteral("学生") + id;
    s.group = QStringLiteral("一班");
    s.scores = std::move(scores);
    s.choices = choices;
    return s;
}

// Four students: the first choice question right for three of them, the second for one, the fill-in
// question 4, 2, 0 and 4 points.
analysis::StoredSitting firstSitting()
{
    analysis::StoredSitting s;
    s.info.heldOn = QStringLiteral("2026-11-20");
    s.info.group = QStringLiteral("一班");
    s.students = {student("1", {3, 3, 4}, "BC "), student("2", {3, 0, 2}, "BA "), student("3", {0, 0, 0}, "DA "),
                  student("4", {3, 0, 4}, "BD ")};
    return s;
}

}  // namespace

class SittingStoreTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { testing::closeAllWindows(); }

    void aPapersChoiceQuestionsAreThoseOfAChoiceTypeWithALetterForAnswer()
    {
        Workspace ws;
        seed(ws);
        library::StoredPaper paper = storedPaper(ws);
        const QVector<analysis::SheetQuestion> questions = analysis::sheetQuestions(paper);
        QCOMPARE(questions.size(), 3);
        QCOMPARE(questions.at(0).fullMarks, 3.0);
        QCOMPARE(questions.at(0).key, QChar('B'));
        QCOMPARE(questions.at(0).options, QStringLiteral("ABCD"));
        // A full-width answer letter; the text labels five options in brackets.
        QCOMPARE(questions.at(1).key, QChar('C'));
        QCOMPARE(questions.at(1).options, QStringLiteral("ABCDE"));
        QVERIFY(!questions.at(2).isChoice());
        QCOMPARE(questions.at(2).fullMarks, 4.0);

        // The key may come with an explanation; two letters or a word are scored in points.
        paper.sections[0].questions[0].da = QStringLiteral("答案：D。因为 2+2=4");
        QCOMPARE(analysis::sheetQuestions(paper).at(0).key, QChar('D'));
        paper.sections[0].questions[0].da = QStringLiteral("AB");
        QVERIFY(!analysis::sheetQuestions(paper).at(0).isChoice());
        paper.sections[0].questions[0].da = QStringLiteral("Because 1+1=2");
        QVERIFY(!analysis::sheetQuestions(paper).at(0).isChoice());
        // A score that is no number makes no sheet.
        paper.sections[1].questions[0].fs = QStringLiteral("四");
        try {
            analysis::sheetQuestions(paper);
            QFAIL("a question without points made a sheet");
        } catch (const AppError& e) {
            QCOMPARE(e.text(), QStringLiteral("试卷第 3 题的分值“四”不是正数，无法制作成绩表。"));
        }
    }

    void aSittingIsStoredWithItsScoresAndEachQuestionsStatistics()
    {
        Workspace ws;
        seed(ws);
        const library::StoredPaper paper = storedPaper(ws);
        analysis::StoredSitting sitting = firstSitting();
        const qint64 id = analysis::storeSitting(DM->db(), paper, sitting);
        QVERIFY(id > 0);
        QCOMPARE(sitting.info.students, 4);
        QCOMPARE(sitting.info.paperId, paper.id);

        const QVector<analysis::SittingInfo> list = analysis::listSittings(DM->db(), paper.id);
        QCOMPARE(list.size(), 1);
        QCOMPARE(list.at(0).heldOn, QStringLiteral("2026-11-20"));
        QCOMPARE(list.at(0).group, QStringLiteral("一班"));
        QCOMPARE(list.at(0).students, 4);

        const analysis::StoredSitting back = analysis::loadSitting(DM->db(), id);
        QCOMPARE(back.students.size(), 4);
        QCOMPARE(back.students.at(1).id, QStringLiteral("2"));
        QCOMPARE(back.students.at(1).name, QStringLiteral("学生2"));
        QCOMPARE(back.students.at(1).scores, (QVector<double>{3, 0, 2}));
        QCOMPARE(back.students.at(3).choices, QStringLiteral("BD "));

        // P of each question by its id: 9/12, 3/12 and 10/16.
        const QHash<qint64, analysis::Measured> measured = analysis::measuredDifficulty(
            DM->db(), {idOf(ws, "01", "001"), idOf(ws, "01", "002"), idOf(ws, "02", "001")});
        QCOMPARE(measured.size(), 3);
        QCOMPARE(measured.value(idOf(ws, "01", "001")).difficulty, 0.75);
        QCOMPARE(measured.value(idOf(ws, "01", "002")).difficulty, 0.25);
        QCOMPARE(measured.value(idOf(ws, "02", "001")).difficulty, 0.625);
        QCOMPARE(measured.value(idOf(ws, "02", "001")).students, 4);
        QCOMPARE(ws.count("question_stats", "sitting_id=? AND position=2", {id}), 1);

        // The letters of the choice questions come back for the distractor analysis.
        const analysis::Sitting matrix = analysis::combine(paper, {back});
        QCOMPARE(matrix.keys, QStringLiteral("BC "));
        QCOMPARE(matrix.choices.size(), 4);
        QCOMPARE(matrix.choices.at(2), QStringLiteral("DA "));

        // A large sitting is stored many rows per statement: every student, in the sheet's order.
        analysis::StoredSitting large;
        for (int i = 0; i < 250; ++i) large.students << student(QString::number(1000 + i), {3, 0, double(i % 5)});
        analysis::storeSitting(DM->db(), paper, large);
        const analysis::StoredSitting largeBack = analysis::loadSitting(DM->db(), large.info.id);
        QCOMPARE(largeBack.students.size(), 250);
        QCOMPARE(largeBack.info.students, 250);
        for (int i = 0; i < 250; ++i) {
            QCOMPARE(largeBack.students.at(i).id, QString::number(1000 + i));
            QCOMPARE(largeBack.students.at(i).scores.at(2), double(i % 5));
        }
    }

    void measuredDifficultyWeighsSittingsByTheirStudentsAndFollowsTheQuestion()
    {
        Workspace ws;
        seed(ws);
        const library::StoredPaper paper = storedPaper(ws);
        analysis::StoredSitting first = firstSitting();
        analysis::storeSitting(DM->db(), paper, first);
        analysis::StoredSitting second;
        second.info.group = QStringLiteral("二班");
        second.students = {student("21", {3, 3, 4}), student("22", {0, 3, 4})};
        analysis::storeSitting(DM->db(), paper, second);
        QCOMPARE(analysis::listSittings(DM->db(), paper.id).size(), 2);
        QCOMPARE(analysis::listSittings(DM->db(), paper.id).at(1).heldOn, QDate::currentDate().toString("yyyy-MM-dd"));

        // (0.75 × 4 + 0.5 × 2) / 6 for the first question.
        const qint64 q1 = idOf(ws, "01", "001");
        analysis::Measured m = analysis::measuredDifficulty(DM->db(), {q1}).value(q1);
        QCOMPARE(m.sittings, 2);
        QCOMPARE(m.students, 6);
        QCOMPARE(m.difficulty, 4.0 / 6);
        QCOMPARE(analysis::measuredText(m), QStringLiteral("实测难度 0.67（2 次考试，6 人）"));

        // Two sittings taken together analyse as one of six students.
        const analysis::Sitting both = analysis::combine(
            paper, {analysis::loadSitting(DM->db(), first.info.id), analysis::loadSitting(DM->db(), second.info.id)});
        QCOMPARE(both.scores.size(), 6);
        QCOMPARE(analysis::analyse(both).items.at(1).difficulty, 0.5);
        QCOMPARE(both.choices.at(4), QStringLiteral("   "));  // the second sheet gave points only

        // Renumbered, the question keeps its measurements; another question given its old number has none.
        ws.exec("UPDATE stb SET th='009' WHERE id=?", {q1});
        ws.exec(
            "INSERT INTO stb (kmh, txh, th, zjh, nd, fs, tm, da, time, bz) VALUES ('01','01','001','01','易','3',"
            "'新题','A','8:00:00','')");
        QCOMPARE(analysis::measuredDifficulty(DM->db(), {q1}).value(q1).students, 6);
        QVERIFY(!analysis::measuredDifficulty(DM->db(), {idOf(ws, "01", "001")}).contains(idOf(ws, "01", "001")));

        // Deleted to the recycle bin and restored, it is the same question with the same history.
        qint64 item = -1;
        sql::transaction(DM->db(), [&] {
            item = recycle::keepQuestion(DM->db(), "01", "01", "009", "admin");
            recycle::removeKept(DM->db(), item);
        });
        QCOMPARE(ws.count("stb", "id=?", {q1}), 0);
        sql::transaction(DM->db(), [&] { recycle::restore(DM->db(), item); });
        // Back under a new id when its own was taken meanwhile; its measurements follow it.
        const qint64 back = ws.scalar("SELECT id FROM stb WHERE tm LIKE '1+1%'").toLongLong();
        QVERIFY(back > 0);
        m = analysis::measuredDifficulty(DM->db(), {back}).value(back);
        QCOMPARE(m.students, 6);
        QCOMPARE(m.difficulty, 4.0 / 6);

        // Without the sitting the measurement leaves; without the paper, everything of its sittings.
        analysis::deleteSitting(DM->db(), second.info.id);
        QCOMPARE(analysis::measuredDifficulty(DM->db(), {back}).value(back).students, 4);
        QCOMPARE(ws.count("sitting_students", "sitting_id=?", {second.info.id}), 0);
        library::deletePaper(DM->db(), paper.id);
        QCOMPARE(ws.count("sittings"), 0);
        QCOMPARE(ws.count("sitting_students"), 0);
        QCOMPARE(ws.count("question_stats"), 0);
    }

    void scoresThatDoNotFitThePaperAreNotStoredAtAll()
    {
        Workspace ws;
        seed(ws);
        const library::StoredPaper paper = storedPaper(ws);
        // The message of the refusal, when nothing of the sitting was stored.
        auto refused = [&](analysis::StoredSitting sitting) {
            try {
                analysis::storeSitting(DM->db(), paper, sitting);
            } catch (const AppError& e) {
                const bool nothing =
                    ws.count("sittings") == 0 && ws.count("sitting_students") == 0 && ws.count("question_stats") == 0;
                return nothing ? e.text() : QStringLiteral("<部分保存>");
            }
            return QStringLiteral("<已保存>");
        };
        analysis::StoredSitting s = firstSitting();
        s.students[2].scores = {0, 0, 4.5};
        QCOMPARE(refused(s), QStringLiteral("学生“3”第 3 题的得分 4.5 不在 0 到 4 之间，未保存。"));
        s = firstSitting();
        s.students[3].scores = {0, -1, 0};
        QCOMPARE(refused(s), QStringLiteral("学生“4”第 2 题的得分 -1 不在 0 到 3 之间，未保存。"));
        s = firstSitting();
        s.students[0].scores = {3, 3};
        QCOMPARE(refused(s), QStringLiteral("学生“1”的成绩有 2 项，试卷有 3 道题，未保存。"));
        s.students.clear();
        QCOMPARE(refused(s), QStringLiteral("成绩表中没有学生，未保存。"));

        // A statement failing midway leaves no sitting behind either.
        ws.exec("DROP TABLE question_stats");
        s = firstSitting();
        QVERIFY_THROWS_EXCEPTION(DataError, analysis::storeSitting(DM->db(), paper, s));
        QCOMPARE(ws.count("sittings"), 0);
        QCOMPARE(ws.count("sitting_students"), 0);
    }

    void difficultiesProposedByTheLinesAreSetInOneTransaction()
    {
        QCOMPARE(analysis::proposedDifficulty(0.70), QStringLiteral("易"));
        QCOMPARE(analysis::proposedDifficulty(0.69), QStringLiteral("中等"));
        QCOMPARE(analysis::proposedDifficulty(0.40), QStringLiteral("中等"));
        QCOMPARE(analysis::proposedDifficulty(0.39), QStringLiteral("难"));
        QCOMPARE(analysis::proposedDifficulty(0.65, {0.6, 0.3}), QStringLiteral("易"));
        QCOMPARE(analysis::proposedDifficulty(0.35, {0.8, 0.36}), QStringLiteral("难"));

        Workspace ws;
        seed(ws);
        const qint64 q1 = idOf(ws, "01", "001"), q2 = idOf(ws, "01", "002"), q3 = idOf(ws, "02", "001");
        QCOMPARE(analysis::applyDifficulties(DM->db(), {{q1, "易"}, {q2, "中等"}, {q3, "难"}}), 2);
        QCOMPARE(ws.scalar("SELECT nd FROM stb WHERE id=?", {q1}), QStringLiteral("易"));
        QCOMPARE(ws.scalar("SELECT nd FROM stb WHERE id=?", {q2}), QStringLiteral("中等"));
        QCOMPARE(ws.scalar("SELECT nd FROM stb WHERE id=?", {q3}), QStringLiteral("难"));
        // One unknown difficulty and nothing changes.
        try {
            analysis::applyDifficulties(DM->db(), {{q1, "中等"}, {q2, "很难"}});
            QFAIL("an unknown difficulty was applied");
        } catch (const AppError& e) {
            QCOMPARE(e.text(), QStringLiteral("“很难”不是题库的难度，未做任何更改。"));
        }
        QCOMPARE(ws.scalar("SELECT nd FROM stb WHERE id=?", {q1}), QStringLiteral("易"));
        // A question deleted meanwhile changes nothing and is not counted.
        QCOMPARE(analysis::applyDifficulties(DM->db(), {{q1, "较难"}, {q3 + 100, "易"}}), 1);
    }
};

QTEST_MAIN(SittingStoreTest)
#include "test_sitting_store.moc"
