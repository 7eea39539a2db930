#include "analysis/item_analysis.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <stdexcept>
#include <string>

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

// Pearson's correlation; NaN when either side has no spread.
double correlation(const QVector<double>& x, const QVector<double>& y)
{
    const double mx = meanOf(x), my = meanOf(y);
    double sxy = 0, sxx = 0, syy = 0;
    for (qsizetype i = 0; i < x.size(); ++i) {
        sxy += (x.at(i) - mx) * (y.at(i) - my);
        sxx += (x.at(i) - mx) * (x.at(i) - mx);
        syy += (y.at(i) - my) * (y.at(i) - my);
    }
    if (sxx <= 0 || syy <= 0) return kNaN;
    return sxy / std::sqrt(sxx * syy);
}

// A letter's place from A (0 … 25), either case; -1 for anything else (no letter chosen).
int letterIndex(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'A' && u <= u'Z') return int(u - u'A');
    if (u >= u'a' && u <= u'z') return int(u - u'a');
    return -1;
}

// How the students chose among a choice question's letters: A up to the highest letter anyone
// chose (the key and D at least, so that an unchosen option still shows), each as a share of the
// top group, the bottom group and everyone. `order` runs from the highest total down.
QVector<OptionShare> optionShares(const Sitting& sitting, qsizetype q, const QVector<qsizetype>& order, qsizetype group)
{
    const qsizetype students = sitting.scores.size();
    int top[26] = {}, bottom[26] = {}, all[26] = {};
    int highest = std::max(letterIndex(QLatin1Char('D')), letterIndex(sitting.keys.at(q)));
    if (!sitting.choices.isEmpty()) {
        for (qsizetype s = 0; s < students; ++s) {
            const int i = letterIndex(sitting.choices.at(s).at(q));
            if (i < 0) continue;
            ++all[i];
            highest = std::max(highest, i);
        }
        for (qsizetype i = 0; i < group; ++i) {
            const int best = letterIndex(sitting.choices.at(order.at(i)).at(q));
            const int worst = letterIndex(sitting.choices.at(order.at(students - 1 - i)).at(q));
            if (best >= 0) ++top[best];
            if (worst >= 0) ++bottom[worst];
        }
    }
    QVector<OptionShare> shares;
    shares.reserve(highest + 1);
    for (int i = 0; i <= highest; ++i) {
        shares.append({QChar(char16_t(u'A' + i)), double(top[i]) / double(group), double(bottom[i]) / double(group),
                       double(all[i]) / double(students)});
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

    QVector<double> totals(students, 0);
    for (qsizetype s = 0; s < students; ++s) {
        totals[s] = std::accumulate(sitting.scores.at(s).cbegin(), sitting.scores.at(s).cend(), 0.0);
    }
    // Students from the highest total down; equal totals keep the sheet's order, so a sitting
    // always gives the same groups.
    QVector<qsizetype> order(students);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) { return totals.at(a) > totals.at(b); });
    const qsizetype group = std::max<qsizetype>(1, std::llround(kGroupShare * static_cast<double>(students)));

    Analysis result;
    double itemVariances = 0;
    for (qsizetype q = 0; q < questions; ++q) {
        const double full = sitting.fullMarks.at(q);
        QVector<double> item(students), rest(students);
        bool dichotomous = true;
        for (qsizetype s = 0; s < students; ++s) {
            item[s] = sitting.scores.at(s).at(q);
            rest[s] = totals.at(s) - item.at(s);
            if (item.at(s) != 0 && item.at(s) != full) dichotomous = false;
        }
        double top = 0, bottom = 0;
        for (qsizetype i = 0; i < group; ++i) {
            top += item.at(order.at(i));
            bottom += item.at(order.at(students - 1 - i));
        }
        ItemStats stats;
        stats.mean = meanOf(item);
        stats.difficulty = stats.mean / full;
        stats.discrimination = (top - bottom) / (static_cast<double>(group) * full);
        stats.itemRest = correlation(item, rest);
        stats.dichotomous = dichotomous;
        if (!sitting.keys.isEmpty() && letterIndex(sitting.keys.at(q)) >= 0) {
            stats.key = QChar(char16_t(u'A' + letterIndex(sitting.keys.at(q))));
            stats.options = optionShares(sitting, q, order, group);
        }
        result.items.append(stats);
        itemVariances += varianceOf(item);
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
