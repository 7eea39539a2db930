#pragma once
#include <QSqlDatabase>
#include <QString>
#include <QVector>

#include "analysis/sitting_store.h"

// Measured difficulty brought back to the bank: the questions of a paper with their difficulty as
// entered beside the one their sittings measured (更新难度), and the mean score a paper being
// composed may expect from the measurements of its questions.
namespace analysis {

// A question of the bank (stb) with what 更新难度 shows of it.
struct QuestionDifficulty {
    qint64 id = -1;
    QString th;        // its number
    QString typeName;  // its type's name (题型), its code when the type has no name
    QString nd;        // its difficulty as stored
    bool measured = false;
    Measured measure;  // valid when measured
};

// The questions of these ids that are still in the bank, in the order given (an id given twice is
// listed once), each with its measurement when it has one; an id no longer in stb is left out.
QVector<QuestionDifficulty> readQuestionDifficulties(const QSqlDatabase& db, const QVector<qint64>& ids);

// Which of these ids are no longer in the bank (deleted, or in the recycle bin), in the order given.
QVector<qint64> missingQuestions(const QSqlDatabase& db, const QVector<qint64>& ids);

// A question of the paper being composed: its id in stb (-1 when the bank no longer holds a
// question of its subject, type and number) and the points it carries on the paper.
struct ComposedQuestion {
    qint64 id = -1;
    double points = 0;
};
// The paper being composed for a subject (the wizard's sjb rows), in paper order; one statement.
QVector<ComposedQuestion> composedQuestions(const QSqlDatabase& db, const QString& kmh);

// Whether any sitting has measured any question: a bank without one needs no expected mean.
bool anyMeasured(const QSqlDatabase& db);

// The mean score a paper may expect: Σ P × points over the questions with a measured P. Questions
// without one are counted, not guessed at.
struct ExpectedMean {
    double mean = 0;
    int measured = 0;    // questions whose P counts
    int unmeasured = 0;  // questions without a measurement (or no longer in the bank)
};
ExpectedMean expectedMean(const QVector<ComposedQuestion>& questions, const QHash<qint64, Measured>& measures);
// "预计平均分 72.5（按 18 道题的实测难度；其余 7 道无实测，未计入）", or with every question measured
// "预计平均分 72.5（按全部 25 道题的实测难度）"; empty when no question has a measurement.
QString expectedMeanText(const ExpectedMean& expected);

}  // namespace analysis
