#include "data/question_fields.h"

#include <QTime>

#include <QRegularExpression>

namespace fields {

const QStringList& difficulties()
{
    static const QStringList list = {QStringLiteral("易"), QStringLiteral("较易"), QStringLiteral("中等"),
                                     QStringLiteral("较难"), QStringLiteral("难")};
    return list;
}

QString scoreProblem(const QString& score)
{
    if (score.isEmpty()) return QString();
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,%1}$").arg(kScoreDigits));
    if (digits.match(score).hasMatch()) return QString();
    return QStringLiteral("分数“%1”不是 1 至 %2 位的整数").arg(score.left(20)).arg(kScoreDigits);
}

QString difficultyProblem(const QString& difficulty)
{
    if (difficulty.isEmpty() || difficulties().contains(difficulty)) return QString();
    return QStringLiteral("难度“%1”不是%2之一").arg(difficulty.left(20), difficulties().join(QStringLiteral("、")));
}

QString timeOfDay()
{
    return QTime::currentTime().toString(QStringLiteral("H:mm:ss"));
}

}  // namespace fields
