#include "data/engine.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

#include "data/errors.h"

namespace engine {

bool isServer(const QSqlDatabase& db)
{
    return db.driverName() == QLatin1String("QPSQL");
}

void createSessionTable(const QSqlDatabase& db, const QString& table, const QString& columns)
{
    // A temporary table comes first in PostgreSQL's search path, so from now on the unqualified
    // name means it. LIKE gives the copy a new identity sequence of its own.
    const QString statement =
        QStringLiteral("CREATE TEMPORARY TABLE IF NOT EXISTS \"%1\" (%2)")
            .arg(table, columns.isEmpty() ? QStringLiteral("LIKE \"%1\" INCLUDING ALL").arg(table) : columns);
    // The server prepares no table definitions; the statement holds no values, so it runs as it is.
    QSqlQuery query(db);
    if (!query.exec(statement)) {
        const QSqlError error = query.lastError();
        throw DataError(QStringLiteral("%1\n语句：%2").arg(error.text().trimmed(), statement), error.nativeErrorCode(),
                        !db.isOpen());
    }
}

}  // namespace engine
