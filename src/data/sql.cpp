#include "data/sql.h"

#include "data/errors.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlRecord>

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

static sqlite3* nativeHandle(const QSqlDatabase& db)
{
    if (!db.isOpen()) return nullptr;
    const QVariant handle = db.driver()->handle();
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0) {
        return *static_cast<sqlite3* const*>(handle.data());
    }
    return nullptr;
}

Reader::Reader(const QSqlDatabase& db, const QString& statement, const QVariantList& binds) : statement_(statement)
{
    sqlite3* h = nativeHandle(db);
    if (!h) {
        query_ = new QSqlQuery(run(db, statement, binds));
        const QSqlRecord rec = query_->record();
        for (int i = 0; i < rec.count(); ++i) columns_ << rec.fieldName(i);
        return;
    }
    const QByteArray utf8 = statement.toUtf8();
    if (sqlite3_prepare_v2(h, utf8.constData(), static_cast<int>(utf8.size()), &stmt_, nullptr) != SQLITE_OK) {
        const QString text = QString::fromUtf8(sqlite3_errmsg(h));
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
        throw DataError(QStringLiteral("%1\n语句：%2").arg(text, statement.simplified()));
    }
    for (int i = 0; i < binds.size(); ++i) {
        const QVariant& v = binds[i];
        if (v.isNull()) {
            sqlite3_bind_null(stmt_, i + 1);
        } else if (v.typeId() == QMetaType::Int || v.typeId() == QMetaType::LongLong) {
            sqlite3_bind_int64(stmt_, i + 1, v.toLongLong());
        } else {
            const QByteArray text = v.toString().toUtf8();
            sqlite3_bind_text(stmt_, i + 1, text.constData(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        }
    }
    const int n = sqlite3_column_count(stmt_);
    for (int i = 0; i < n; ++i) columns_ << QString::fromUtf8(sqlite3_column_name(stmt_, i));
}

Reader::~Reader()
{
    if (stmt_) sqlite3_finalize(stmt_);
    delete query_;
}

bool Reader::next()
{
    if (query_) return query_->next();
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throw DataError(QStringLiteral("%1\n语句：%2")
                        .arg(QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(stmt_))), statement_.simplified()));
}

QString Reader::text(int column) const
{
    if (query_) return query_->value(column).toString();
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return p ? QString::fromUtf8(p, sqlite3_column_bytes(stmt_, column)) : QString();
}

qint64 Reader::int64(int column) const
{
    if (query_) return query_->value(column).toLongLong();
    return sqlite3_column_int64(stmt_, column);
}

QVector<qint64> ids(const QSqlDatabase& db, const QString& table)
{
    Reader r(db, QStringLiteral("SELECT id FROM \"%1\" ORDER BY id").arg(table));
    QVector<qint64> result;
    while (r.next()) result.append(r.int64(0));
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
