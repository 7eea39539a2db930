#include "analysis/item_analysis.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <stdexcept>
#include <string>
#include <vector>

namespace analysis {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

void check(const Sitting& sitting)
{
    const qsizetype questions = sitting.fullMarks.size();
    if (questions == 0 || sitting.scores.isEmpty())
        throw std::invalid_argument("a sitting needs students and questions");
    if (!sitting.keys.isEmpty() && sitting.keys.size() != questions)
        throw std::invalid_argument("the keys do not match the questions");
    if (!sitting.choices.isEmpty()) {
        if (sitting.choices.size() != sitting.scores.size())
            throw std::invalid_argument("the letters chosen do not match the students");
        for (const QString& chosen : sitting.choices) {
            if (chosen.size() != questions)
                throw std::invalid_argument("a student's letters do not match the questions");
        }
    }
    for (const double full : sitting.fullMarks) {
        if (!(full > 0) || !std::isfinite(full)) throw std::invalid_argument("full marks must be above 0");
    }
    for (qsizetype s = 0; s < sitting.scores.size(); ++s) {
        const QVector<double>& row = sitting.scores.at(s);
        if (row.size() != questions) throw std::invalid_argument("row " + std::to_string(s) + " has the wrong length");
        for (qsizetype q = 0; q < questions; ++q) {
            const double v = row.at(q);
            if (!(v >= 0) || v > sitting.fullMarks.at(q)) {
                throw std::invalid_argument("score out of range at row " + std::to_string(s) + ", question " +
                                            std::to_string(q));
            }
        }
    }
}

double meanOf(const QVector<double>& values)
{
    return std::accumulate(values.cbegin(), values.cend(), 0.0) / static_cast<double>(values.size());
}

// Sample variance (n − 1); 0 for a single value.
double varianceOf(const QVector<double>& values)
{
    if (values.size() < 2) return 0;
    const double m = meanOf(values);
    double sum = 0;
    for (const double v : values) sum += (v - m) * (v - m);
    return sum / static_cast<double>(values.size() - 1);
}

// A letter's place from A (0 … 25), either case; -1 for anything else (no letter chosen).
int letterIndex(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'A' && u <= u'Z') return int(u - u'A');
    if (u >= u'a' && u <= u'z') return int(u - u'a');
    return -1;
}

// How the students chose among the choice questions' letters, counted for every question in one
// pass over the students (row by row, as the letters lie in memory): per question and letter the
// number of the top group, of the bottom group and of everyone.
struct LetterCounts {
    qsizetype questions = 0;
    std::vector<int> top, bottom, all;  // [question × 26 + letter]
    std::vector<int> highest;           // per question: the highest letter chosen
};

LetterCounts countLetters(const Sitting& sitting, const QVector<qsizetype>& order, qsizetype group)
{
    LetterCounts counts;
    const qsizetype questions = sitting.fullMarks.size();
    counts.questions = questions;
    counts.top.assign(static_cast<size_t>(questions * 26), 0);
    counts.bottom = counts.all = counts.top;
    counts.highest.assign(static_cast<size_t>(questions), -1);
    if (sitting.choices.isEmpty()) return counts;
    // Only the choice questions' letters are looked at.
    std::vector<qsizetype> choice;
    for (qsizetype q = 0; q < questions; ++q) {
        if (letterIndex(sitting.keys.at(q)) >= 0) choice.push_back(q);
    }
    const auto add = [&](std::vector<int>& into, qsizetype student, bool highest) {
        const QChar* chosen = sitting.choices.at(student).constData();
        for (const qsizetype q : choice) {
            const int i = letterIndex(chosen[q]);
            if (i < 0) continue;
            ++into[static_cast<size_t>(q * 26 + i)];
            if (highest) counts.highest[static_cast<size_t>(q)] = std::max(counts.highest[static_cast<size_t>(q)], i);
        }
    };
    const qsizetype students = sitting.scores.size();
    for (qsizetype s = 0; s < students; ++s) add(counts.all, s, true);
    for (qsizetype i = 0; i < group; ++i) {
        add(counts.top, order.at(i), false);
        add(counts.bottom, order.at(students - 1 - i), false);
    }
    return counts;
}

// A choice question's letters: A up to the highest letter anyone chose (the key and D at least,
// so that an unchosen option still shows), each as a share of the top group, the bottom group and
// everyone.
QVector<OptionShare> optionShares(const LetterCounts& counts, qsizetype q, int key, qsizetype group, qsizetype students)
{
    const int highest = std::max({letterIndex(QLatin1Char('D')), key, counts.highest[static_cast<size_t>(q)]});
    QVector<OptionShare> shares;
    shares.reserve(highest + 1);
    for (int i = 0; i <= highest; ++i) {
        const size_t at = static_cast<size_t>(q * 26 + i);
        shares.append({QChar(char16_t(u'A' + i)), double(counts.top[at]) / double(group),
                       double(counts.bottom[at]) / double(group), double(counts.all[at]) / double(students)});
    }
    return shares;
}

double medianOf(QVector<double> values)
{
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n % 2 ? values.at(n / 2) : (values.at(n / 2 - 1) + values.at(n / 2)) / 2;
}

}  // namespace

Analysis analyse(const Sitting& sitting, double passShare, double excellentShare)
{
    check(sitting);
    const qsizetype students = sitting.scores.size();
    const qsizetype questions = sitting.fullMarks.size();

    // Every pass below runs over the students' rows, all questions at once, reading the scores in
    // the order they lie in memory.
    const double n = static_cast<double>(students);
    QVector<double> totals(students, 0);
    std::vector<double> sums(static_cast<size_t>(questions), 0.0);
    std::vector<char> dichotomous(static_cast<size_t>(questions), 1);
    const double* full = sitting.fullMarks.constData();
    double sumOfTotals = 0;
    for (qsizetype s = 0; s < students; ++s) {
        const double* row = sitting.scores.at(s).constData();
        double total = 0;
        for (qsizetype q = 0; q < questions; ++q) {
            total += row[q];
            sums[size_t(q)] += row[q];
            // Without a branch: partial scores would make it a guess the processor often loses.
            dichotomous[size_t(q)] &= static_cast<char>((row[q] == 0) | (row[q] == full[q]));
        }
        totals[s] = total;
        sumOfTotals += total;
    }
    // Each question's deviations and those of the rest of the paper (the total without it):
    // Pearson's item–rest correlation and the question's variance.
    std::vector<double> means(static_cast<size_t>(questions)), restMeans(static_cast<size_t>(questions));
    for (qsizetype q = 0; q < questions; ++q) {
        means[size_t(q)] = sums[size_t(q)] / n;
        restMeans[size_t(q)] = (sumOfTotals - sums[size_t(q)]) / n;
    }
    std::vector<double> sxy(static_cast<size_t>(questions), 0.0), sxx = sxy, syy = sxy;
    for (qsizetype s = 0; s < students; ++s) {
        const double* row = sitting.scores.at(s).constData();
        const double total = totals.at(s);
        for (qsizetype q = 0; q < questions; ++q) {
            const double x = row[q] - means[size_t(q)];
            const double y = total - row[q] - restMeans[size_t(q)];
            sxy[size_t(q)] += x * y;
            sxx[size_t(q)] += x * x;
            syy[size_t(q)] += y * y;
        }
    }
    // Students from the highest total down; equal totals keep the sheet's order, so a sitting
    // always gives the same groups.
    QVector<qsizetype> order(students);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) { return totals.at(a) > totals.at(b); });
    const qsizetype group = std::max<qsizetype>(1, std::llround(kGroupShare * n));
    std::vector<double> top(static_cast<size_t>(questions), 0.0), bottom = top;
    for (qsizetype i = 0; i < group; ++i) {
        const double* best = sitting.scores.at(order.at(i)).constData();
        const double* worst = sitting.scores.at(order.at(students - 1 - i)).constData();
        for (qsizetype q = 0; q < questions; ++q) {
            top[size_t(q)] += best[q];
            bottom[size_t(q)] += worst[q];
        }
    }
    const LetterCounts letters = sitting.keys.isEmpty() ? LetterCounts{} : countLetters(sitting, order, group);

    Analysis result;
    result.items.reserve(questions);
    double itemVariances = 0;
    for (qsizetype q = 0; q < questions; ++q) {
        const size_t i = size_t(q);
        ItemStats stats;
        stats.mean = means[i];
        stats.difficulty = means[i] / full[q];
        stats.discrimination = (top[i] - bottom[i]) / (static_cast<double>(group) * full[q]);
        stats.itemRest = sxx[i] > 0 && syy[i] > 0 ? sxy[i] / std::sqrt(sxx[i] * syy[i]) : kNaN;
        stats.dichotomous = dichotomous[i] != 0;
        const int key = sitting.keys.isEmpty() ? -1 : letterIndex(sitting.keys.at(q));
        if (key >= 0) {
            stats.key = QChar(char16_t(u'A' + key));
            // A choice question scored in points on every sheet has no letters to show.
            const auto first = letters.all.cbegin() + q * 26;
            if (std::any_of(first, first + 26, [](int chosen) { return chosen > 0; })) {
                stats.options = optionShares(letters, q, key, group, students);
            }
        }
        result.items.append(stats);
        if (students > 1) itemVariances += sxx[i] / (n - 1);
    }

    PaperStats& paper = result.paper;
    paper.students = static_cast<int>(students);
    paper.total = std::accumulate(sitting.fullMarks.cbegin(), sitting.fullMarks.cend(), 0.0);
    paper.mean = meanOf(totals);
    const double variance = varianceOf(totals);
    paper.sd = std::sqrt(variance);
    paper.median = medianOf(totals);
    paper.highest = *std::max_element(totals.cbegin(), totals.cend());
    paper.lowest = *std::min_element(totals.cbegin(), totals.cend());
    // A small tolerance: a line of 55 % of 100 points comes out as 55.00000000000001, and 55 points pass.
    const double eps = 1e-9 * paper.total;
    const auto share = [&](double line) {
        const auto at = std::count_if(totals.cbegin(), totals.cend(), [&](double t) { return t + eps >= line; });
        return static_cast<double>(at) / static_cast<double>(students);
    };
    paper.passRate = share(passShare * paper.total);
    paper.excellentRate = share(excellentShare * paper.total);
    if (questions >= 2 && variance > 0) {
        const double k = static_cast<double>(questions);
        paper.alpha = k / (k - 1) * (1 - itemVariances / variance);
        paper.sem = paper.sd * std::sqrt(std::max(0.0, 1 - paper.alpha));
    } else {
        paper.alpha = kNaN;
        paper.sem = kNaN;
    }
    return result;
}

QVector<int> distribution(const Sitting& sitting, int bins)
{
    check(sitting);
    QVector<int> counts(std::max(1, bins), 0);
    const double total = std::accumulate(sitting.fullMarks.cbegin(), sitting.fullMarks.cend(), 0.0);
    for (const QVector<double>& row : sitting.scores) {
        const double sum = std::accumulate(row.cbegin(), row.cend(), 0.0);
        const auto bin = static_cast<qsizetype>(std::floor(sum * static_cast<double>(counts.size()) / total));
        counts[std::clamp<qsizetype>(bin, 0, counts.size() - 1)] += 1;
    }
    return counts;
}

Flags flagsOf(const ItemStats& item)
{
    Flags f;
    f.tooHard = item.difficulty < 0.2;
    f.tooEasy = item.difficulty > 0.9;
    f.weak = item.discrimination < 0.2;
    f.negative = item.itemRest < 0;
    // A wrong letter that the best students choose more often than the weakest misleads those who
    // know the subject: its wording, or the key, deserves a look.
    for (const OptionShare& option : item.options) {
        if (option.letter != item.key && option.top > option.bottom) f.distractor = true;
    }
    return f;
}

}  // namespace analysis
