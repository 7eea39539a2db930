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
    // One line per such question: "一、选择题第3题：章节“…”难度“易”中没有可用的题目，改用难度“中等”的题目".
    QStringList widenings;
    bool complete() const { return shortages.isEmpty(); }
};

// Composes a paper parallel to `original`: the same sections, counts and points (each slot keeps
// its own), each question slot filled from the current bank with a question of the same type,
// chapter and difficulty. Only when that cell holds no question new to the paper does the slot
// widen: to the same chapter at another difficulty, then to questions of the original in its
// chapter (at most overlapPercent % of the questions, rounded down), and only then to the
// neighbouring chapters in chapter order, nearest first. The same seed over the same bank gives
// the same paper. With markTitles the title carries "（B卷）" once.
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
