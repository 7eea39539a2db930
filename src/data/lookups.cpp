#include "data/lookups.h"

#include "data/convert.h"
#include "data/data_module.h"
#include "data/sql.h"

// Comparisons use BINARY collation (SQLite's default for =), so they are exact and case-sensitive.
QString KmmToKmh(const QString& kmm)
{
    return sql::scalar(DM->db(), QStringLiteral("SELECT kmh FROM kmb WHERE kmm=? ORDER BY id DESC LIMIT 1"), {kmm});
}

QString TxmToTxh(const QString& kmh, const QString& txm)
{
    return sql::scalar(DM->db(), QStringLiteral("SELECT txh FROM txb WHERE kmh=? AND txm=? ORDER BY id DESC LIMIT 1"),
                       {kmh, txm});
}

SubjectAndType KmmTxmToCodes(const QString& kmm, const QString& txm)
{
    sql::Reader q(DM->db(),
                  QStringLiteral("SELECT k.kmh, (SELECT txh FROM txb WHERE txb.kmh=k.kmh AND txm=? ORDER BY id DESC LIMIT 1)"
                                 " FROM (SELECT (SELECT kmh FROM kmb WHERE kmm=? ORDER BY id DESC LIMIT 1) AS kmh) AS k"),
                  {txm, kmm});
    SubjectAndType codes;
    if (q.next()) codes = {q.text(0), q.text(1)};
    return codes;
}

QString ZjmToZjh(const QString& kmh, const QString& zjm)
{
    return sql::scalar(DM->db(), QStringLiteral("SELECT zjh FROM zjb WHERE kmh=? AND zjm=? ORDER BY id DESC LIMIT 1"),
                       {kmh, zjm});
}

QString ZjhToZjm(const QString& kmh, const QString& zjh)
{
    return sql::scalar(DM->db(), QStringLiteral("SELECT zjm FROM zjb WHERE kmh=? AND zjh=? ORDER BY id DESC LIMIT 1"),
                       {kmh, zjh});
}

QString nextQuestionNumber(const QSqlDatabase& db, const QString& kmh, const QString& txh)
{
    QString last;
    sql::firstValue(db, QStringLiteral("SELECT th FROM stb WHERE kmh=? AND txh=? ORDER BY id DESC LIMIT 1"), {kmh, txh},
                    &last);
    return convert::nextCode(last, 3);
}

QString nextTypeCode(const QSqlDatabase& db, const QString& kmh)
{
    QString last;
    sql::firstValue(db, QStringLiteral("SELECT txh FROM txb WHERE kmh=? ORDER BY id DESC LIMIT 1"), {kmh}, &last);
    return convert::nextCode(last, 2);
}
