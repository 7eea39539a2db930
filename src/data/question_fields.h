#pragma once
#include <QString>
#include <QStringList>

// What a question's score and difficulty may be, the same wherever a question comes from: typed in
// 录入试题, read from a document, a Moodle XML or GIFT file, or given on the command line.
namespace fields {

// The difficulties, easiest first, as stored in stb.nd.
const QStringList& difficulties();

// At most this many digits make a score (stb.fs): whole points, 0 to 99.
constexpr int kScoreDigits = 2;

// Empty when `score` is a valid score (digits only, at most two), else what is wrong with it, a
// sentence to show after the question's name ("分数“1.5”不是 1 至 2 位的整数。"). An empty score
// is checked by the caller: 录入试题 refuses it, an import lists it.
QString scoreProblem(const QString& score);

// Empty when `difficulty` is one of difficulties() (or empty, left to the caller as a missing
// score is), else what is wrong with it.
QString difficultyProblem(const QString& difficulty);

// The time of day as a question's entry time is stored (stb.time): H:mm:ss, 24 hours.
QString timeOfDay();

}  // namespace fields
