#include "data/sql.h"

#include "data/errors.h"

#include <QSqlError>

namespace sql {

static DataError failure(const QSqlError& error, const QString& statement)
{
    QString text = error.text().trimmed();
    if (text.isEmpty()) {
        text = QStringLiteral("数据库操作失败。");
    }
    return DataError(QStringLiteral("%1\n语句：%2").arg(text, statement.simplified()));
}

QSqlQuery run(const QSqlDatabase& db, const QString& statement, const QVariantList& binds)
{
    if (!db.isOpen()) {
        throw DataError(QStringLiteral("数据库尚未连接。\n语句：%1").arg(statement.simplified()));
    }
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.prepare(statement)) {
        throw failure(query.lastError(), statement);
    }
    for (const QVariant& value : binds) {
        query.addBindValue(value);
    }
    if (!query.exec()) {
        throw failure(query.lastError(), statement);
    }
    return query;
}

QString scalar(const QSqlDatabase& db, const QString& statement, const QVariantList& binds)
{
    QSqlQuery query = run(db, statement, binds);
    if (query.next()) {
        return query.value(0).toString();
    }
    return QString();
}

void begin(QSqlDatabase& db)
{
    if (!db.transaction()) {
        throw failure(db.lastError(), QStringLiteral("BEGIN"));
    }
}

void commit(QSqlDatabase& db)
{
    if (!db.commit()) {
        const QSqlError error = db.lastError();
        db.rollback();
        throw failure(error, QStringLiteral("COMMIT"));
    }
}

void rollback(QSqlDatabase& db)
{
    db.rollback();
}

}  // namespace sql
