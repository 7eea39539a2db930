#pragma once
#include <QSqlDatabase>
#include <QStringList>

#include "library/paper_store.h"

namespace library {

// A B paper drawn from the bank beside a stored paper.
struct ParallelPaper {
    StoredPaper paper;      // the B paper, not yet stored
    QStringList shortages;  // "一、选择题：缺少 2 道题" per section the bank cannot fill
    int shared = 0;         // questions also on the original paper
    int mismatched = 0;     // questions whose chapter or difficulty differ from their slot's
    bool complete() const { return shortages.isEmpty(); }
};

// Composes a paper parallel to `original`: the same sections, counts and points, each question
// slot filled from the current bank with a question of the same type, preferably of the same
// chapter and difficulty. At most overlapPercent % of the questions (rounded down) may be
// questions of the original; questions new to it are always taken first. The same seed over the
// same bank gives the same paper. With markTitles the title carries "B卷".
ParallelPaper composeParallel(const QSqlDatabase& db, const StoredPaper& original, int overlapPercent, quint32 seed,
                              bool markTitles);

// The title without a trailing "（A卷）" or "（B卷）".
QString baseTitle(const QString& title);

// Stores a complete B paper and, with markTitles, gives the original its "（A卷）", in one
// transaction. Returns the B paper's id.
qint64 storeParallel(const QSqlDatabase& db, ParallelPaper& parallel, const StoredPaper& original, bool markTitles);

// The text told when the bank cannot fill the B paper.
QString shortageMessage(const ParallelPaper& parallel);

}  // namespace library
