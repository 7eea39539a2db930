#pragma once
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariantList>
#include <QVector>

namespace sql {

// Prepares `statement`, binds `binds` to its ? placeholders in order and executes it.
// Throws DataError carrying the database's message and the statement when any step fails.
QSqlQuery run(const QSqlDatabase& db, const QString& statement, const QVariantList& binds = {});

// The first column of the first row, or an empty text when there is no row.
QString scalar(const QSqlDatabase& db, const QString& statement, const QVariantList& binds = {});

// The ids of a table's rows in read order. Read through SQLite directly: a large table's id list
// is read at C speed rather than one QVariant per row.
QVector<qint64> ids(const QSqlDatabase& db, const QString& table);

// Runs `work` in one transaction: committed when it returns, rolled back when it throws.
template <typename F>
void transaction(QSqlDatabase db, F&& work);

void begin(QSqlDatabase& db);
void commit(QSqlDatabase& db);
void rollback(QSqlDatabase& db);

template <typename F>
void transaction(QSqlDatabase db, F&& work)
{
    begin(db);
    try {
        work();
    } catch (...) {
        rollback(db);
        throw;
    }
    commit(db);
}

}  // namespace sql
