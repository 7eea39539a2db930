#include "library/parallel_paper.h"

#include <QHash>
#include <algorithm>
#include <QRandomGenerator>
#include <QSet>

#include "data/sql.h"
#include "output/paper_document.h"

namespace library {

namespace {

using QuestionKey = QPair<QString, QString>;  // type code, number

const QString kA = QStringLiteral("（A卷）");
const QString kB = QStringLiteral("（B卷）");

struct Candidate {
    StoredQuestion question;
    bool onOriginal = false;
    bool taken = false;
};

// How far a candidate is from a slot, as the order in which a slot widens: within one chapter
// distance, questions new to the paper at the slot's difficulty, new ones at another difficulty,
// then the original's at the slot's difficulty and at another. Distance 0 is the slot's own
// chapter, 1 the chapters next to it in chapter order, and so on; a chapter the subject no longer
// lists comes last.
int tier(const StoredQuestion& slot, const Candidate& candidate, const QHash<QString, int>& chapterOrder)
{
    int distance = 0;
    if (candidate.question.zjh != slot.zjh) {
        const int far = int(chapterOrder.size()) + 1;
        const int a = chapterOrder.value(slot.zjh, -1);
        const int b = chapterOrder.value(candidate.question.zjh, -1);
        distance = (a < 0 || b < 0) ? far : qMax(1, qAbs(a - b));
    }
    return distance * 4 + (candidate.onOriginal ? 2 : 0) + (candidate.question.nd != slot.nd ? 1 : 0);
}

QString chapterName(const QHash<QString, QString>& names, const QString& zjh)
{
    return names.value(zjh, zjh);
}

}  // namespace

QString baseTitle(const QString& title)
{
    if (title.endsWith(kA) || title.endsWith(kB)) return title.left(title.size() - kA.size());
    return title;
}

ParallelPaper composeParallel(const QSqlDatabase& db, const StoredPaper& original, int overlapPercent, quint32 seed,
                              bool markTitles)
{
    overlapPercent = qBound(0, overlapPercent, 100);
    ParallelPaper result;
    StoredPaper& b = result.paper;
    b.title = markTitles ? baseTitle(original.title) + kB : original.title;
    b.kmh = original.kmh;
    b.kmm = original.kmm;
    b.duration = original.duration;
    b.total = original.total;
    b.layout = original.layout;
    b.sourceId = original.id;
    b.variant = QStringLiteral("B");
    b.seed = QString::number(seed);
    b.overlapPercent = overlapPercent;

    // The original's questions by their identity; copies stored without one by their number.
    QSet<qint64> originalIds;
    QSet<QuestionKey> originalNumbers;
    for (const StoredSection& s : original.sections) {
        for (const StoredQuestion& q : s.questions) {
            if (q.questionId >= 0) {
                originalIds.insert(q.questionId);
            } else {
                originalNumbers.insert({q.txh, q.th});
            }
        }
    }
    int sharedBudget = original.questionCount() * overlapPercent / 100;

    // The subject's chapters in chapter order (the order the chapter list shows them in).
    QHash<QString, int> chapterOrder;
    QHash<QString, QString> chapterNames;
    {
        sql::Reader q(db, QStringLiteral("SELECT zjh, zjm FROM zjb WHERE kmh=? ORDER BY id"), {original.kmh});
        while (q.next()) {
            if (chapterOrder.contains(q.text(0))) continue;
            chapterOrder.insert(q.text(0), int(chapterOrder.size()));
            chapterNames.insert(q.text(0), q.text(1));
        }
    }

    QRandomGenerator random(seed);
    for (int s = 0; s < original.sections.size(); ++s) {
        const StoredSection& originalSection = original.sections.at(s);
        StoredSection section;
        section.txh = originalSection.txh;
        section.typeName = originalSection.typeName;
        section.count = originalSection.count;
        section.points = originalSection.points;

        // The bank's questions of the section's type, in bank order (the draw depends on it).
        QVector<Candidate> candidates;
        sql::Reader q(db,
                      QStringLiteral("SELECT kmh, txh, th, zjh, nd, fs, tm, da, id FROM stb WHERE kmh=? AND txh=?"
                                     " ORDER BY id"),
                      {original.kmh, originalSection.txh});
        QSet<QuestionKey> seen;
        while (q.next()) {
            Candidate c;
            c.question =
                StoredQuestion{q.text(0), q.text(1), q.text(2), q.text(3), q.text(4), q.text(5), q.text(6), q.text(7)};
            c.question.questionId = q.int64(8);
            const QuestionKey key{c.question.txh, c.question.th};
            if (seen.contains(key)) continue;  // a number listed twice is one question
            seen.insert(key);
            c.onOriginal = originalIds.contains(c.question.questionId) || originalNumbers.contains(key);
            candidates.append(c);
        }

        const int n = int(originalSection.questions.size());
        QVector<int> chosen(n, -1);
        QVector<int> chosenTier(n, -1);
        // Each slot's tier for each candidate, and the tiers that occur, nearest first.
        QVector<QVector<int>> tiers(n);
        QSet<int> occurring;
        for (int i = 0; i < n; ++i) {
            tiers[i].reserve(candidates.size());
            for (const Candidate& c : candidates) {
                tiers[i].append(tier(originalSection.questions.at(i), c, chapterOrder));
                occurring.insert(tiers[i].last());
            }
        }
        QList<int> order = occurring.values();
        std::sort(order.begin(), order.end());
        // Every slot gets the nearest fit there is before any slot widens further, so that an
        // exact match of a later slot is not used up by a looser match of an earlier one.
        for (const int t : order) {
            const bool shared = (t % 4) >= 2;
            for (int i = 0; i < n; ++i) {
                if (chosen[i] >= 0) continue;
                if (shared && sharedBudget <= 0) break;
                QVector<int> fitting;
                for (int c = 0; c < candidates.size(); ++c) {
                    if (!candidates.at(c).taken && tiers[i].at(c) == t) fitting.append(c);
                }
                if (fitting.isEmpty()) continue;
                const int pick = fitting.at(int(random.bounded(quint32(fitting.size()))));
                candidates[pick].taken = true;
                chosen[i] = pick;
                chosenTier[i] = t;
                if (shared) {
                    --sharedBudget;
                    ++result.shared;
                }
            }
        }

        int missing = 0;
        for (int i = 0; i < n; ++i) {
            if (chosen[i] < 0) {
                ++missing;
                continue;
            }
            const StoredQuestion& slot = originalSection.questions.at(i);
            StoredQuestion question = candidates.at(chosen[i]).question;
            question.fs = slot.fs;  // the slot keeps its points
            if (question.zjh != slot.zjh || question.nd != slot.nd) {
                ++result.mismatched;
                QString change;
                if (question.zjh != slot.zjh) {
                    change = QStringLiteral("改用%1章节“%2”").arg(chosenTier[i] / 4 == 1 ? QStringLiteral("相邻")
                                                                                            : QStringLiteral("其他"),
                                                               chapterName(chapterNames, question.zjh));
                    change += question.nd != slot.nd ? QStringLiteral("难度“%1”的题目").arg(question.nd)
                                                     : QStringLiteral("的题目");
                } else {
                    change = QStringLiteral("改用难度“%1”的题目").arg(question.nd);
                }
                result.widenings << QStringLiteral("%1、%2第%3题：章节“%4”难度“%5”中没有可用的题目，%6")
                                        .arg(NumConvert(s + 1), originalSection.typeName)
                                        .arg(i + 1)
                                        .arg(chapterName(chapterNames, slot.zjh), slot.nd, change);
            }
            section.questions.append(question);
        }
        if (missing > 0) {
            result.shortages
                << QStringLiteral("%1、%2：缺少 %3 道题").arg(NumConvert(s + 1), originalSection.typeName).arg(missing);
        }
        b.sections.append(section);
    }
    notePoints(db, b);
    return result;
}

qint64 storeParallel(const QSqlDatabase& db, ParallelPaper& parallel, const StoredPaper& original, bool markTitles)
{
    sql::transaction(db, [&] {
        insertPaper(db, parallel.paper);
        if (markTitles && !original.title.endsWith(kA)) {
            sql::exec(db, QStringLiteral("UPDATE papers SET title=? WHERE id=?"),
                      {baseTitle(original.title) + kA, original.id});
        }
    });
    return parallel.paper.id;
}

QString shortageMessage(const ParallelPaper& parallel)
{
    return QStringLiteral("题库中的题目不够组成B卷：\n") + parallel.shortages.join(QLatin1Char('\n')) +
           QStringLiteral("\n请增加题目或提高允许相同题目的比例。B卷没有保存。");
}

}  // namespace library
