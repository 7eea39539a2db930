#include "analysis/difficulty_review.h"

#include <QHash>
#include <QSet>
#include <QStringList>

#include "data/convert.h"
#include "data/sql.h"

namespace analysis {

namespace {

// Ids go to the bank in slices, so that a long list never meets an engine's limit of bound values.
constexpr int kSlice = 500;

QString placeholders(int count)
{
    return QStringList(count, QStringLiteral("?")).join(QLatin1Char(','));
}

QVector<qint64> distinct(const QVector<qint64>& ids)
{
    QVector<qint64> out;
    QSet<qint64> seen;
    for (const qint64 id : ids) {
        if (id < 0 || seen.contains(id)) continue;
        seen.insert(id);
        out.append(id);
    }
    return out;
}

}  // namespace

QVector<QuestionDifficulty> readQuestionDifficulties(const QSqlDatabase& db, const QVector<qint64>& ids)
{
    const QVector<qint64> wanted = distinct(ids);
    QHash<qint64, QuestionDifficulty> found;
    for (int from = 0; from < wanted.size(); from += kSlice) {
        const QVector<qint64> slice = wanted.mid(from, kSlice);
        QVariantList binds;
        for (const qint64 id : slice) binds << id;
        sql::Reader rows(db,
                         QStringLiteral("SELECT s.id, s.th, s.nd, s.txh,"
                                        " (SELECT MIN(t.txm) FROM txb t WHERE t.kmh=s.kmh AND t.txh=s.txh)"
                                        " FROM stb s WHERE s.id IN (%1)")
                             .arg(placeholders(int(slice.size()))),
                         binds);
        while (rows.next()) {
            QuestionDifficulty q;
            q.id = rows.int64(0);
            q.th = rows.text(1);
            q.nd = rows.text(2);
            q.typeName = rows.text(4).isEmpty() ? rows.text(3) : rows.text(4);
            found.insert(q.id, q);
        }
    }
    QVector<QuestionDifficulty> out;
    if (found.isEmpty()) return out;
    const QHash<qint64, Measured> measures = measuredDifficulty(db, QVector<qint64>(found.keyBegin(), found.keyEnd()));
    for (const qint64 id : wanted) {
        if (!found.contains(id)) continue;
        QuestionDifficulty q = found.value(id);
        if (measures.contains(id)) {
            q.measured = true;
            q.measure = measures.value(id);
        }
        out.append(q);
    }
    return out;
}

QVector<qint64> missingQuestions(const QSqlDatabase& db, const QVector<qint64>& ids)
{
    const QVector<qint64> wanted = distinct(ids);
    QSet<qint64> present;
    for (int from = 0; from < wanted.size(); from += kSlice) {
        const QVector<qint64> slice = wanted.mid(from, kSlice);
        QVariantList binds;
        for (const qint64 id : slice) binds << id;
        sql::Reader rows(db, QStringLiteral("SELECT id FROM stb WHERE id IN (%1)").arg(placeholders(int(slice.size()))),
                         binds);
        while (rows.next()) present.insert(rows.int64(0));
    }
    QVector<qint64> missing;
    for (const qint64 id : wanted) {
        if (!present.contains(id)) missing.append(id);
    }
    return missing;
}

QVector<ComposedQuestion> composedQuestions(const QSqlDatabase& db, const QString& kmh)
{
    // A row of sjb is a copy of the question of its subject, type and number, as the wizard marks
    // its candidates. The numbers of the paper's types are read once, each type's rows in one pass
    // of its index, rather than the type searched again for every question of the paper.
    sql::Reader rows(db,
                     QStringLiteral("SELECT s.fs, m.id FROM sjb s LEFT JOIN (SELECT txh, th, MIN(id) AS id FROM stb"
                                    " WHERE kmh=? AND txh IN (SELECT txh FROM sjb WHERE kmh=?) GROUP BY txh, th) m"
                                    " ON m.txh=s.txh AND m.th=s.th WHERE s.kmh=? ORDER BY s.id"),
                     {kmh, kmh, kmh});
    QVector<ComposedQuestion> out;
    while (rows.next()) {
        ComposedQuestion q;
        q.points = convert::toFloat(rows.text(0));
        q.id = rows.text(1).isEmpty() ? -1 : rows.int64(1);
        out.append(q);
    }
    return out;
}

bool anyMeasured(const QSqlDatabase& db)
{
    QString ignored;
    return sql::firstValue(db, QStringLiteral("SELECT 1 FROM question_stats LIMIT 1"), {}, &ignored);
}

ExpectedMean expectedMean(const QVector<ComposedQuestion>& questions, const QHash<qint64, Measured>& measures)
{
    ExpectedMean expected;
    for (const ComposedQuestion& q : questions) {
        const auto found = q.id >= 0 ? measures.constFind(q.id) : measures.constEnd();
        if (found == measures.constEnd()) {
            ++expected.unmeasured;
            continue;
        }
        ++expected.measured;
        expected.mean += found->difficulty * q.points;
    }
    return expected;
}

QString expectedMeanText(const ExpectedMean& expected)
{
    if (expected.measured == 0) return QString();
    const QString mean = QString::number(expected.mean, 'f', 1);
    if (expected.unmeasured == 0) {
        return QStringLiteral("预计平均分 %1（按全部 %2 道题的实测难度）").arg(mean).arg(expected.measured);
    }
    return QStringLiteral("预计平均分 %1（按 %2 道题的实测难度；其余 %3 道无实测，未计入）")
        .arg(mean)
        .arg(expected.measured)
        .arg(expected.unmeasured);
}

}  // namespace analysis
