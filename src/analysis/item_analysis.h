#pragma once
#include <QVector>

// Item analysis of one sitting of a paper (成绩分析): each question's difficulty and discrimination
// and the paper's figures, from the score matrix alone. Pure computation: no bank, no files.
namespace analysis {

// The scores of a sitting: one row per student, one column per question, each at most the
// question's full marks. An unanswered question counts as 0 points.
struct Sitting {
    QVector<double> fullMarks;          // per question, > 0
    QVector<QVector<double>> scores;    // [student][question]
    // For distractor analysis: per question the key letter of a choice question, ' ' otherwise
    // (empty when no question is one), and per student the letters chosen (' ' for none), one
    // character per question.
    QString keys{};
    QVector<QString> choices{};
};

// How often a letter of a choice question was chosen, as shares of the top group, the bottom group
// and all students.
struct OptionShare {
    QChar letter;
    double top = 0;
    double bottom = 0;
    double all = 0;
};

struct ItemStats {
    double mean = 0;            // average points
    double difficulty = 0;      // P = mean / full marks
    double discrimination = 0;  // D = P of the top 27 % − P of the bottom 27 % (by total score)
    // Correlation of the question with the total of the other questions (point-biserial for a
    // question scored 0 or full marks); NaN when either has no spread.
    double itemRest = 0;
    bool dichotomous = false;   // every score is 0 or the full marks
    // A choice question's letters, key included, A first; empty when no student's letter was given.
    QVector<OptionShare> options{};
    QChar key{};                     // a choice question's key letter (null for one scored in points)
};

struct PaperStats {
    int students = 0;
    double total = 0;           // the paper's full marks
    double mean = 0;
    double sd = 0;              // standard deviation of the totals (n − 1 in the denominator)
    double median = 0;
    double highest = 0;
    double lowest = 0;
    double passRate = 0;        // share of totals at or above the pass line
    double excellentRate = 0;   // share of totals at or above the excellent line
    // Cronbach's α (KR-20 when every question is dichotomous); NaN with fewer than two questions or
    // no spread of the totals.
    double alpha = 0;
    double sem = 0;             // standard error of measurement: sd × √(1 − α)
};

struct Analysis {
    QVector<ItemStats> items;
    PaperStats paper;
};

// The share of the students taken as the top and as the bottom group for D.
constexpr double kGroupShare = 0.27;

// Analyses a sitting; the pass and excellent lines are shares of the paper's full marks. Throws
// std::invalid_argument for a sitting without students or questions, a row of the wrong length,
// full marks not above 0, or a score below 0 or above its full marks.
Analysis analyse(const Sitting& sitting, double passShare = 0.6, double excellentShare = 0.85);

// How many totals fall into each of `bins` equal ranges of 0 … full marks (the last range includes
// the full marks).
QVector<int> distribution(const Sitting& sitting, int bins);

// Why a question deserves a look: too hard (P < 0.2), too easy (P > 0.9), discriminating poorly
// (D < 0.2), or going against the rest of the paper (item–rest correlation below 0).
// A choice question is also flagged when a wrong letter draws more of the top group than of the
// bottom group.
struct Flags {
    bool tooHard = false, tooEasy = false, weak = false, negative = false, distractor = false;
    bool any() const { return tooHard || tooEasy || weak || negative || distractor; }
};
Flags flagsOf(const ItemStats& item);

}  // namespace analysis
