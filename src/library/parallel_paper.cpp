#include "library/parallel_paper.h"

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

// How well a candidate fits a slot: 0 same chapter and difficulty, 1 same chapter, 2 same
// difficulty, 3 only the same type.
int fit(const StoredQuestion& slot, const StoredQuestion& candidate)
{
    const bool chapter = slot.zjh == candidate.zjh;
    const bool difficulty = slot.nd == candidate.nd;
    if (chapter && difficulty) return 0;
    if (chapter) return 1;
    if (difficulty) return 2;
    return 3;
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

    QSet<QuestionKey> onOriginal;
    for (const StoredSection& s : original.sections) {
        for (const StoredQuestion& q : s.questions) onOriginal.insert({q.txh, q.th});
    }
    int sharedBudget = original.questionCount() * overlapPercent / 100;

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
        sql::Reader q(
            db, QStringLiteral("SELECT kmh, txh, th, zjh, nd, fs, tm, da FROM stb WHERE kmh=? AND txh=? ORDER BY id"),
            {original.kmh, originalSection.txh});
        QSet<QuestionKey> seen;
        while (q.next()) {
            Candidate c;
            c.question =
                StoredQuestion{q.text(0), q.text(1), q.text(2), q.text(3), q.text(4), q.text(5), q.text(6), q.text(7)};
            const QuestionKey key{c.question.txh, c.question.th};
            if (seen.contains(key)) continue;  // a number listed twice is one question
            seen.insert(key);
            c.onOriginal = onOriginal.contains(key);
            candidates.append(c);
        }

        const int n = int(originalSection.questions.size());
        QVector<int> chosen(n, -1);
        // Fill every slot with the best fit first, so that an exact match of a later slot is not
        // used up by a looser match of an earlier one; questions of the original come last and only
        // within the allowed share.
        for (const bool shared : {false, true}) {
            for (int tier = 0; tier < 4; ++tier) {
                for (int i = 0; i < n; ++i) {
                    if (chosen[i] >= 0) continue;
                    if (shared && sharedBudget <= 0) break;
                    QVector<int> fitting;
                    for (int c = 0; c < candidates.size(); ++c) {
                        const Candidate& cand = candidates.at(c);
                        if (cand.taken || cand.onOriginal != shared) continue;
                        if (fit(originalSection.questions.at(i), cand.question) == tier) fitting.append(c);
                    }
                    if (fitting.isEmpty()) continue;
                    const int pick = fitting.at(int(random.bounded(quint32(fitting.size()))));
                    candidates[pick].taken = true;
                    chosen[i] = pick;
                    if (shared) {
                        --sharedBudget;
                        ++result.shared;
                    }
                    if (tier > 0) ++result.mismatched;
                }
            }
        }

        int missing = 0;
        for (int i = 0; i < n; ++i) {
            if (chosen[i] < 0) {
                ++missing;
                continue;
            }
            StoredQuestion question = candidates.at(chosen[i]).question;
            question.fs = originalSection.questions.at(i).fs;  // the slot keeps its points
            section.questions.append(question);
        }
        if (missing > 0) {
            result.shortages
                << QStringLiteral("%1、%2：缺少 %3 道题").arg(NumConvert(s + 1), originalSection.typeName).arg(missing);
        }
        b.sections.append(section);
    }
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
