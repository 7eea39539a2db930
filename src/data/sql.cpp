#include "data/sql.h"

#include "data/errors.h"

#include <QSqlDriver>
#include <QSqlError>

#include <sqlite3.h>

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

QVector<qint64> ids(const QSqlDatabase& db, const QString& table)
{
    const QString statement = QStringLiteral("SELECT id FROM \"%1\" ORDER BY id").arg(table);
    QVector<qint64> result;
    const QVariant handle = db.isOpen() ? db.driver()->handle() : QVariant();
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0) {
        sqlite3* h = *static_cast<sqlite3* const*>(handle.data());
        sqlite3_stmt* stmt = nullptr;
        const QByteArray utf8 = statement.toUtf8();
        if (h && sqlite3_prepare_v2(h, utf8.constData(), -1, &stmt, nullptr) == SQLITE_OK) {
            int rc;
            while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) result.append(sqlite3_column_int64(stmt, 0));
            sqlite3_finalize(stmt);
            if (rc == SQLITE_DONE) return result;
            result.clear();
        }
    }
    QSqlQuery q = run(db, statement);
    while (q.next()) result.append(q.value(0).toLongLong());
    return result;
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
