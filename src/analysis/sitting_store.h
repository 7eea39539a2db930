#pragma once
#include <QHash>
#include <QSqlDatabase>
#include <QString>
#include <QVector>

#include "analysis/item_analysis.h"
#include "analysis/score_sheet.h"

namespace library {
struct StoredPaper;
}

// Sittings of stored papers (成绩分析): the scores of the students who sat a paper, kept with the
// paper in the library, and each question's measured statistics kept by the question's id in the
// bank, so that renumbering it or restoring it from the recycle bin keeps them.
namespace analysis {

// The sheet's columns of a stored paper, in paper order. A question counts as a choice question
// when its type's name contains "选择" and its answer begins with one letter ("C", "答案：C。…");
// the letters offered run from A to the last its text labels as an option ("A." "B．" "C、" "(D)"),
// at least to D.
QVector<SheetQuestion> sheetQuestions(const library::StoredPaper& paper);

struct SittingInfo {
    qint64 id = -1;
    qint64 paperId = -1;
    QString heldOn;  // the exam's date, "yyyy-MM-dd"
    QString group;   // 班级 or group the sitting is of, as the user names it
    int students = 0;
    QString createdAt;  // "yyyy-MM-dd HH:mm:ss"
    QString createdBy;
};

struct StoredSitting {
    SittingInfo info;
    QVector<Student> students;  // scores (and letters) in the paper's question order
};

// Stores a sitting of a paper with its students' scores and every question's statistics, in one
// transaction; fills in its id, students, time and author. Throws AppError when the scores do not
// fit the paper (a row of the wrong length, a score outside 0 … full marks, no students).
qint64 storeSitting(const QSqlDatabase& db, const library::StoredPaper& paper, StoredSitting& sitting);
// The same without a transaction of its own, for callers that store more in the same one.
qint64 insertSitting(const QSqlDatabase& db, const library::StoredPaper& paper, StoredSitting& sitting);

// The sittings of a paper, oldest first.
QVector<SittingInfo> listSittings(const QSqlDatabase& db, qint64 paperId);
// A sitting with its students; throws DataError when it is not there.
StoredSitting loadSitting(const QSqlDatabase& db, qint64 sittingId);
// Removes a sitting, its scores and its questions' statistics in one transaction.
void deleteSitting(const QSqlDatabase& db, qint64 sittingId);

// The score matrix of one or more sittings of the same paper taken together (classes combined),
// letters included, ready for analyse().
Sitting combine(const library::StoredPaper& paper, const QVector<StoredSitting>& sittings);

// A question's difficulty as measured: the share of its full marks its students scored, over every
// stored sitting of every paper that used it, weighted by the students of each.
struct Measured {
    double difficulty = 0;
    int sittings = 0;
    int students = 0;
};
// The measured difficulty of the given questions (ids in stb) that have any; one statement.
QHash<qint64, Measured> measuredDifficulty(const QSqlDatabase& db, const QVector<qint64>& questionIds);
// "实测难度 0.62（2 次考试，135 人）"
QString measuredText(const Measured& measured);

// The difficulty (one of 易, 中等, 难) a measured P proposes: at or above `easy` 易, below `hard`
// 难, 中等 between.
struct DifficultyLines {
    double easy = 0.7;
    double hard = 0.4;
};
QString proposedDifficulty(double difficulty, const DifficultyLines& lines = {});

// Sets the 难度 of questions (ids in stb) in one transaction; returns how many questions changed.
// Throws AppError for a difficulty that is not one of the bank's.
int applyDifficulties(const QSqlDatabase& db, const QHash<qint64, QString>& difficulties);

}  // namespace analysis
