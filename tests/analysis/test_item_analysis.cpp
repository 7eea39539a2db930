// Item analysis of a sitting: each question's mean, difficulty, discrimination and item–rest
// correlation and the paper's figures, against values computed independently for the same sheets
// (a 10 × 5 sheet of mixed questions and an 8 × 4 sheet of right/wrong questions, KR-20 by its
// own formula); degenerate sittings, refused sittings, flags and the score distribution.
#include "analysis/item_analysis.h"

#include <QTest>

#include <cmath>
#include <stdexcept>

using analysis::Sitting;

namespace {

// Ten students, five questions of 2, 2, 4, 6 and 6 points (totals 19 down to 1, two pairs tied).
Sitting tenByFive()
{
    Sitting s;
    s.fullMarks = {2, 2, 4, 6, 6};
    s.scores = {{2, 2, 4, 6, 5}, {2, 2, 3, 5, 6}, {2, 0, 4, 4, 3}, {2, 2, 2, 3, 4}, {0, 2, 1, 4, 2},
                {2, 0, 2, 2, 3}, {2, 2, 0, 1, 1}, {0, 0, 1, 3, 0}, {2, 0, 0, 0, 1}, {0, 0, 0, 1, 0}};
    return s;
}

bool near(double a, double b)
{
    return std::fabs(a - b) < 1e-9;
}

}  // namespace

class ItemAnalysisTest : public QObject {
    Q_OBJECT
private slots:
    void aMixedSheetGivesTheIndependentlyComputedFigures()
    {
        const analysis::Analysis a = analysis::analyse(tenByFive());
        QCOMPARE(a.items.size(), 5);
        struct Expected {
            double mean, p, d, r;
            bool dichotomous;
        };
        const Expected expected[] = {{1.4, 0.7, 0.6666666667, 0.4138950105, true},
                                     {1.0, 0.5, 0.6666666667, 0.4687042303, true},
                                     {1.7, 0.425, 0.8333333333, 0.8101320171, false},
                                     {2.9, 0.4833333333, 0.6111111111, 0.7491103145, false},
                                     {2.5, 0.4166666667, 0.7222222222, 0.9116846117, false}};
        for (int q = 0; q < 5; ++q) {
            const analysis::ItemStats& item = a.items.at(q);
            QVERIFY2(near(item.mean, expected[q].mean), qPrintable(QString::number(item.mean)));
            QVERIFY2(std::fabs(item.difficulty - expected[q].p) < 1e-9, qPrintable(QString::number(q)));
            QVERIFY2(std::fabs(item.discrimination - expected[q].d) < 1e-9, qPrintable(QString::number(item.discrimination)));
            QVERIFY2(std::fabs(item.itemRest - expected[q].r) < 1e-9, qPrintable(QString::number(item.itemRest)));
            QCOMPARE(item.dichotomous, expected[q].dichotomous);
        }
        const analysis::PaperStats& p = a.paper;
        QCOMPARE(p.students, 10);
        QCOMPARE(p.total, 20.0);
        QVERIFY(near(p.mean, 9.5));
        QVERIFY(std::fabs(p.sd - 6.1869037311) < 1e-9);
        QVERIFY(near(p.median, 9));
        QCOMPARE(p.highest, 19.0);
        QCOMPARE(p.lowest, 1.0);
        // 12 points pass (60 % of 20): 19, 18, 13, 13; 17 points are excellent: 19, 18.
        QVERIFY(near(p.passRate, 0.4));
        QVERIFY(near(p.excellentRate, 0.2));
        QVERIFY2(std::fabs(p.alpha - 0.8439767779) < 1e-9, qPrintable(QString::number(p.alpha, 'f', 10)));
        QVERIFY(std::fabs(p.sem - 2.4438130498) < 1e-9);
        // Lines set by the user: 9 points (the two totals of exactly 9 pass) and all of them.
        const analysis::Analysis lines = analysis::analyse(tenByFive(), 0.45, 1.0);
        QVERIFY(near(lines.paper.passRate, 0.6));
        QVERIFY(near(lines.paper.excellentRate, 0.0));
        // 55 % of 100 comes out a hair above 55 in binary arithmetic; 55 points still pass.
        Sitting hundred;
        hundred.fullMarks = {100};
        hundred.scores = {{55}, {54}, {85}, {84.5}};
        QVERIFY(near(analysis::analyse(hundred, 0.55).paper.passRate, 0.75));
        QVERIFY(near(analysis::analyse(hundred, 0.55).paper.excellentRate, 0.25));
    }

    void rightOrWrongQuestionsGiveKr20AndGroupsOfTheTopAndBottom()
    {
        Sitting s;
        s.fullMarks = {1, 1, 1, 1};
        s.scores = {{1, 1, 1, 1}, {1, 1, 1, 0}, {1, 1, 0, 0}, {1, 0, 1, 0},
                    {1, 1, 0, 0}, {0, 1, 0, 0}, {1, 0, 0, 0}, {0, 0, 0, 1}};
        const analysis::Analysis a = analysis::analyse(s);
        // KR-20 = k/(k−1) · (1 − Σ p(1−p) / variance of the totals).
        QVERIFY2(std::fabs(a.paper.alpha - 0.2083333333) < 1e-9, qPrintable(QString::number(a.paper.alpha, 'f', 10)));
        // 27 % of 8 is 2 students each way: the top two (4 and 3) and the bottom two (1 and 1, the
        // last two of the sheet among equal totals).
        const double d[] = {0.5, 1.0, 1.0, 0.0};
        for (int q = 0; q < 4; ++q) {
            QVERIFY2(near(a.items.at(q).discrimination, d[q]), qPrintable(QString::number(q)));
            QVERIFY(a.items.at(q).dichotomous);
        }
        QVERIFY(near(a.items.at(0).difficulty, 0.75));
        QVERIFY(near(a.items.at(3).difficulty, 0.25));
        // Forty students all scoring 1 of 2: the groups are the first and the last eleven of the
        // sheet, whoever got which question right.
        Sitting tied;
        tied.fullMarks = {1, 1};
        for (int i = 0; i < 40; ++i) tied.scores.append(i < 20 ? QVector<double>{1, 0} : QVector<double>{0, 1});
        const analysis::Analysis t = analysis::analyse(tied);
        QVERIFY(near(t.items.at(0).discrimination, 1.0));
        QVERIFY(near(t.items.at(1).discrimination, -1.0));
    }

    void sittingsWithoutSpreadOrWithOneQuestionLeaveUndefinedFiguresUndefined()
    {
        Sitting same;
        same.fullMarks = {5, 5};
        same.scores = {{5, 3}, {5, 3}, {5, 3}};
        const analysis::Analysis a = analysis::analyse(same);
        QVERIFY(std::isnan(a.items.at(0).itemRest));
        QVERIFY(std::isnan(a.paper.alpha));
        QVERIFY(std::isnan(a.paper.sem));
        QCOMPARE(a.paper.sd, 0.0);
        QCOMPARE(a.items.at(0).difficulty, 1.0);
        QCOMPARE(a.items.at(1).discrimination, 0.0);
        QVERIFY(!a.items.at(1).dichotomous);
        Sitting one;
        one.fullMarks = {10};
        one.scores = {{2}, {7}, {10}};
        const analysis::Analysis single = analysis::analyse(one);
        QVERIFY(std::isnan(single.paper.alpha));
        QVERIFY(near(single.paper.median, 7));
        // A single student is both groups.
        Sitting alone;
        alone.fullMarks = {4, 4};
        alone.scores = {{4, 0}};
        QCOMPARE(analysis::analyse(alone).items.at(0).discrimination, 0.0);
    }

    void badSittingsAreRefused()
    {
        const auto refused = [](const Sitting& s) {
            try {
                analysis::analyse(s);
            } catch (const std::invalid_argument&) {
                return true;
            }
            return false;
        };
        Sitting s = tenByFive();
        QVERIFY(!refused(s));
        s.scores[3][2] = 4.5;  // above its 4 points
        QVERIFY(refused(s));
        s = tenByFive();
        s.scores[0][0] = -1;
        QVERIFY(refused(s));
        s = tenByFive();
        s.scores[9][4] = std::nan("");
        QVERIFY(refused(s));
        s = tenByFive();
        s.scores[5].removeLast();
        QVERIFY(refused(s));
        s = tenByFive();
        s.fullMarks[1] = 0;
        QVERIFY(refused(s));
        s = tenByFive();
        s.scores.clear();
        QVERIFY(refused(s));
        QVERIFY(refused(Sitting{}));
        // Full marks themselves are fine.
        s = tenByFive();
        s.scores[9] = {2, 2, 4, 6, 6};
        QVERIFY(!refused(s));
    }

    void flagsMarkHardEasyWeakAndContraryQuestions()
    {
        analysis::ItemStats fine{5, 0.5, 0.4, 0.3, false};
        QVERIFY(!analysis::flagsOf(fine).any());
        analysis::ItemStats edge{5, 0.2, 0.2, 0.0, false};  // at the lines: not flagged
        QVERIFY(!analysis::flagsOf(edge).any());
        edge.difficulty = 0.9;
        QVERIFY(!analysis::flagsOf(edge).any());
        QVERIFY(analysis::flagsOf({1, 0.19, 0.4, 0.3, false}).tooHard);
        QVERIFY(analysis::flagsOf({1, 0.91, 0.4, 0.3, false}).tooEasy);
        QVERIFY(analysis::flagsOf({1, 0.5, 0.19, 0.3, false}).weak);
        QVERIFY(analysis::flagsOf({1, 0.5, 0.4, -0.01, false}).negative);
        // An undefined correlation is no contrary question.
        QVERIFY(!analysis::flagsOf({1, 0.5, 0.4, std::nan(""), false}).negative);
    }

    void theDistributionPutsEachTotalInItsRange()
    {
        QCOMPARE(analysis::distribution(tenByFive(), 5), (QVector<int>{2, 2, 2, 2, 2}));
        Sitting s;
        s.fullMarks = {100};
        s.scores = {{0}, {59.5}, {60}, {99.9}, {100}};
        // 60 starts the range 60–70; the full marks fall into the last range.
        QCOMPARE(analysis::distribution(s, 10), (QVector<int>{1, 0, 0, 0, 0, 1, 1, 0, 0, 2}));
        QCOMPARE(analysis::distribution(s, 1), QVector<int>{5});
    }

    void choiceQuestionsShowHowEachGroupChoseAmongTheLetters()
    {
        // Eight students; question 1 is a choice question keyed B, question 2 is scored in points.
        // By total: s0 (4), s1 and s2 (3), s3 and s4 (2), s5 and s6 (1), s7 (0). 27 % of 8 is two
        // students each way: the top group s0 and s1 chose B and C, the bottom group s7 and s6 chose A
        // and nothing.
        Sitting s;
        s.fullMarks = {1, 3};
        s.scores = {{1, 3}, {0, 3}, {1, 2}, {0, 2}, {1, 1}, {0, 1}, {0, 1}, {0, 0}};
        s.keys = QStringLiteral("B ");
        s.choices = {"B ", "C ", "B ", "A ", "B ", "D ", "  ", "A "};
        const analysis::Analysis a = analysis::analyse(s);
        const analysis::ItemStats& choice = a.items.at(0);
        QCOMPARE(choice.key, QChar('B'));
        QCOMPARE(choice.options.size(), 4);
        struct Expected {
            char letter;
            double top, bottom, all;
        };
        const Expected expected[] = {{'A', 0, 0.5, 0.25}, {'B', 0.5, 0, 0.375}, {'C', 0.5, 0, 0.125}, {'D', 0, 0, 0.125}};
        for (int i = 0; i < 4; ++i) {
            const analysis::OptionShare& o = choice.options.at(i);
            QCOMPARE(o.letter, QChar(expected[i].letter));
            QVERIFY2(near(o.top, expected[i].top) && near(o.bottom, expected[i].bottom) && near(o.all, expected[i].all),
                     qPrintable(QStringLiteral("%1: %2 %3 %4").arg(o.letter).arg(o.top).arg(o.bottom).arg(o.all)));
        }
        // C, a wrong letter, draws the top group more than the bottom one.
        QVERIFY(analysis::flagsOf(choice).distractor);
        // The question in points has no letters.
        QVERIFY(a.items.at(1).options.isEmpty());
        QVERIFY(a.items.at(1).key.isNull());
        QVERIFY(!analysis::flagsOf(a.items.at(1)).distractor);
        // The other figures are those of the scores alone.
        Sitting plain = s;
        plain.keys.clear();
        plain.choices.clear();
        const analysis::Analysis without = analysis::analyse(plain);
        QVERIFY(without.items.at(0).options.isEmpty());
        QCOMPARE(without.items.at(0).discrimination, choice.discrimination);
        QCOMPARE(without.paper.alpha, a.paper.alpha);

        // The top group choosing only the key (or a wrong letter no more than the bottom group) is
        // no distractor; a key beyond D, or a letter chosen beyond it, widens the letters.
        s.choices = {"B ", "B ", "B ", "A ", "B ", "D ", "C ", "F "};
        const analysis::ItemStats fine = analysis::analyse(s).items.at(0);
        QCOMPARE(fine.options.size(), 6);
        QCOMPARE(fine.options.last().letter, QChar('F'));
        QVERIFY(near(fine.options.at(5).bottom, 0.5));
        QVERIFY(near(fine.options.at(2).bottom, 0.5));
        QVERIFY(near(fine.options.at(4).all, 0.0));
        QVERIFY(!analysis::flagsOf(fine).distractor);
        s.keys = QStringLiteral("e ");
        const analysis::ItemStats keyedE = analysis::analyse(s).items.at(0);
        QCOMPARE(keyedE.key, QChar('E'));
        // B is now wrong, and the whole top group chose it.
        QVERIFY(analysis::flagsOf(keyedE).distractor);

        // A choice question whose sheets gave points only has no letters to show, nor a distractor.
        s.choices = QVector<QString>(8, QStringLiteral("  "));
        const analysis::ItemStats points = analysis::analyse(s).items.at(0);
        QVERIFY(points.options.isEmpty());
        QCOMPARE(points.key, QChar('E'));
        QVERIFY(!analysis::flagsOf(points).distractor);
        s.choices[6] = QStringLiteral("C ");
        QCOMPARE(analysis::analyse(s).items.at(0).options.size(), 5);

        // Letters that do not fit the sitting are refused.
        s.choices = {"B ", "B ", "B ", "A ", "B ", "D ", "C ", "F "};
        s.keys = QStringLiteral("B");
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, analysis::analyse(s));
        s.keys = QStringLiteral("B ");
        s.choices.removeLast();
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, analysis::analyse(s));
        s.choices.append("A");
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, analysis::analyse(s));
    }

    void aWrongLetterFlaggedOnlyWhenTheTopGroupPrefersIt()
    {
        analysis::ItemStats item{1, 0.5, 0.4, 0.3, false};
        item.key = QChar('A');
        item.options = {{QChar('A'), 0.6, 0.1, 0.4}, {QChar('B'), 0.2, 0.2, 0.3}, {QChar('C'), 0.2, 0.7, 0.3}};
        QVERIFY(!analysis::flagsOf(item).distractor);  // the key itself, an equal share, fewer
        QVERIFY(!analysis::flagsOf(item).any());
        item.options[1].top = 0.21;
        QVERIFY(analysis::flagsOf(item).distractor);
        QVERIFY(analysis::flagsOf(item).any());
    }
};

QTEST_GUILESS_MAIN(ItemAnalysisTest)
#include "test_item_analysis.moc"
