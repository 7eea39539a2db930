#include "data/sql.h"

#include <QRegularExpression>

#include "data/engine.h"
#include "data/errors.h"

#include <QHash>
#include <QMultiHash>
#include <QSet>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlRecord>

#include <sqlite3.h>

#include <algorithm>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <memory>

namespace sql {

static sqlite3* nativeHandle(const QSqlDatabase& db);

static const char kLostText[] =
    "与数据库服务器的连接已断开，本次操作没有完成，也没有留下半截的更改。下一步操作时程序将重新连接服务器。";

// SQLSTATEs of a session the server ended: connection exceptions and the server shutting down or
// ending the session on an administrator's command.
static bool sessionEnded(const QString& code)
{
    return code.startsWith(QLatin1String("08")) || code == QLatin1String("57P01") || code == QLatin1String("57P02") ||
           code == QLatin1String("57P03");
}

static DataError failure(const QSqlError& error, const QString& statement, const QSqlDatabase& db)
{
    if (engine::isServer(db) && db.isOpen() && sessionEnded(error.nativeErrorCode())) {
        // The session is gone even where libpq has not noticed yet: closed here, it is opened
        // again by the next statement.
        QSqlDatabase(db).close();
    }
    if (engine::connectionLost(db)) {
        return DataError(QStringLiteral("%1\n（%2）").arg(QString::fromUtf8(kLostText), error.text().trimmed()),
                         error.nativeErrorCode(), true);
    }
    QString text = error.text().trimmed();
    if (text.isEmpty()) {
        text = QStringLiteral("数据库操作失败。");
    }
    // On an SQLite connection the extended code is read from the connection, which still holds it.
    QString code = error.nativeErrorCode();
    if (sqlite3* h = nativeHandle(db)) code = QString::number(sqlite3_extended_errcode(h));
    return DataError(QStringLiteral("%1\n语句：%2").arg(text, statement.simplified()), code, false);
}

// Connections with an open transaction: a broken one is not silently reconnected in the middle of
// it (the rest of the transaction would run outside it); the transaction fails as a whole.
static QSet<QString>& openTransactions()
{
    static QSet<QString> names;
    return names;
}

static std::function<void(QSqlDatabase&)>& sessionSetup()
{
    static std::function<void(QSqlDatabase&)> setup;
    return setup;
}

void setSessionSetup(std::function<void(QSqlDatabase&)> setup)
{
    sessionSetup() = std::move(setup);
}

static QHash<QString, int>& generations()
{
    static QHash<QString, int> counts;
    return counts;
}

// A server connection that broke since the last statement is opened again before the next one,
// and the session's own state is set up afresh.
static void reconnectIfLost(const QSqlDatabase& db)
{
    if (!engine::shouldReconnect(db) || openTransactions().contains(db.connectionName())) return;
    QSqlDatabase conn = db;
    conn.close();
    if (!conn.open()) {
        throw DataError(QStringLiteral("无法重新连接数据库服务器：%1").arg(conn.lastError().text().trimmed()), QString(),
                        true);
    }
    ++generations()[db.connectionName()];
    if (sessionSetup()) sessionSetup()(conn);
}

int sessionGeneration(const QSqlDatabase& db)
{
    return generations().value(db.connectionName());
}

// A read that failed because the server ended this program's session while it stood idle (the
// server was restarted, an administrator ended idle sessions) is sent once more on a new session:
// a read wrote nothing, and outside a transaction nothing sent before it is lost. A change is
// never sent twice: whether the broken session had applied it cannot be known.
static bool readAgain(const DataError& error, const QSqlDatabase& db, const QString& statement)
{
    static const QRegularExpression read(QStringLiteral("^\\s*SELECT\\b"), QRegularExpression::CaseInsensitiveOption);
    return error.connectionLost() && engine::isServer(db) && !openTransactions().contains(db.connectionName()) &&
           engine::shouldReconnect(db) && read.match(statement).hasMatch();
}

static QSqlQuery runOnce(const QSqlDatabase& db, const QString& statement, const QVariantList& binds);

QSqlQuery run(const QSqlDatabase& db, const QString& statement, const QVariantList& binds)
{
    try {
        return runOnce(db, statement, binds);
    } catch (const DataError& e) {
        if (!readAgain(e, db, statement)) throw;
    }
    return runOnce(db, statement, binds);
}

static QSqlQuery runOnce(const QSqlDatabase& db, const QString& statement, const QVariantList& binds)
{
    reconnectIfLost(db);
    if (!db.isOpen()) {
        throw DataError(QStringLiteral("数据库尚未连接。\n语句：%1").arg(statement.simplified()));
    }
    QSqlQuery query(db);
    query.setForwardOnly(true);
    // A server cannot prepare every kind of statement (CREATE, SET): one without values is sent as
    // it is, which also saves the round trips of preparing it.
    if (binds.isEmpty() && engine::isServer(db)) {
        if (!query.exec(statement)) throw failure(query.lastError(), statement, db);
        return query;
    }
    if (!query.prepare(statement)) {
        throw failure(query.lastError(), statement, db);
    }
    for (const QVariant& value : binds) {
        query.addBindValue(value);
    }
    if (!query.exec()) {
        throw failure(query.lastError(), statement, db);
    }
    return query;
}

void confirmSession(const QSqlDatabase& db)
{
    // A session the server ended while the program stood idle is only found out by using it.
    if (engine::isServer(db) && !openTransactions().contains(db.connectionName())) scalar(db, QStringLiteral("SELECT 1"));
}

QString scalar(const QSqlDatabase& db, const QString& statement, const QVariantList& binds)
{
    reconnectIfLost(db);
    if (!db.isOpen()) {
        throw DataError(QStringLiteral("数据库尚未连接。\n语句：%1").arg(statement.simplified()));
    }
    Reader reader(db, statement, binds);
    return reader.next() ? reader.text(0) : QString();
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

// The SQLite error of the last call on `h`, with its extended result code.
static DataError nativeFailure(sqlite3* h, const QString& statement)
{
    return DataError(QStringLiteral("%1\n语句：%2").arg(QString::fromUtf8(sqlite3_errmsg(h)), statement.simplified()),
                     QString::number(sqlite3_extended_errcode(h)), false);
}

namespace {
// Prepared statements kept per connection handle and statement text. A statement in use is taken
// out of the cache, so that a nested use of the same text prepares its own.
QMultiHash<QPair<sqlite3*, QString>, sqlite3_stmt*>& statementCache()
{
    static QMultiHash<QPair<sqlite3*, QString>, sqlite3_stmt*> cache;
    return cache;
}

sqlite3_stmt* takeStatement(sqlite3* h, const QString& statement)
{
    auto& cache = statementCache();
    auto it = cache.find({h, statement});
    if (it != cache.end()) {
        sqlite3_stmt* st = it.value();
        cache.erase(it);
        return st;
    }
    const QByteArray utf8 = statement.toUtf8();
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(h, utf8.constData(), static_cast<int>(utf8.size()), &st, nullptr) != SQLITE_OK) {
        const DataError error = nativeFailure(h, statement);
        sqlite3_finalize(st);
        throw error;
    }
    return st;
}

void giveBackStatement(sqlite3* h, const QString& statement, sqlite3_stmt* st)
{
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    auto& cache = statementCache();
    if (cache.size() > 256) {
        sqlite3_finalize(st);
        return;
    }
    cache.insert({h, statement}, st);
}

void bindAll(sqlite3_stmt* st, const QVariantList& binds)
{
    for (int i = 0; i < binds.size(); ++i) {
        const QVariant& v = binds[i];
        if (v.isNull()) {
            sqlite3_bind_null(st, i + 1);
        } else if (v.typeId() == QMetaType::Int || v.typeId() == QMetaType::LongLong) {
            sqlite3_bind_int64(st, i + 1, v.toLongLong());
        } else {
            const QByteArray text = v.toString().toUtf8();
            sqlite3_bind_text(st, i + 1, text.constData(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        }
    }
}
}  // namespace

void script(const QSqlDatabase& db, const char* statements)
{
    sqlite3* h = nativeHandle(db);
    if (!h) {
        for (const QString& part : QString::fromUtf8(statements).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            if (!part.trimmed().isEmpty()) run(db, part);
        }
        return;
    }
    char* error = nullptr;
    if (sqlite3_exec(h, statements, nullptr, nullptr, &error) != SQLITE_OK) {
        const QString text = QString::fromUtf8(error ? error : "");
        sqlite3_free(error);
        throw DataError(QStringLiteral("%1\n语句：%2").arg(text, QString::fromUtf8(statements)),
                        QString::number(sqlite3_extended_errcode(h)), false);
    }
}

static QSet<sqlite3*>& tunedHandles()
{
    static QSet<sqlite3*> handles;
    return handles;
}

void tuneForLists(const QSqlDatabase& db)
{
    sqlite3* h = nativeHandle(db);
    if (!h || tunedHandles().contains(h)) return;
    // Mapped pages count in the program's memory once they were read: 64 MB of the file mapped
    // keeps a bank of millions of questions from making the program hundreds of MB larger; the rest
    // of the file is read through the 32 MB page cache.
    script(db, "PRAGMA cache_size = -32768; PRAGMA mmap_size = 67108864;");
    tunedHandles().insert(h);
}

void keepFreedMemory()
{
#if defined(__GLIBC__)
    mallopt(M_TRIM_THRESHOLD, 16 * 1024 * 1024);
#endif
}

void releaseStatements(const QSqlDatabase& db)
{
    sqlite3* h = nativeHandle(db);
    if (!h) return;
    tunedHandles().remove(h);
    auto& cache = statementCache();
    for (auto it = cache.begin(); it != cache.end();) {
        if (it.key().first == h) {
            sqlite3_finalize(it.value());
            it = cache.erase(it);
        } else {
            ++it;
        }
    }
}

// The values as the direct SQLite path binds them: a text that is empty goes in as an empty text
// even when it is a null QString (Qt's drivers would send NULL), so that a comparison such as
// COALESCE(bz,'')=? matches on a server as it does on a file.
static QVariantList asBoundNatively(const QVariantList& binds)
{
    QVariantList out = binds;
    for (QVariant& v : out) {
        if (v.typeId() == QMetaType::QString && v.toString().isNull()) v = QStringLiteral("");
    }
    return out;
}

// Every table has an id column; a server gives the new row's id back with the INSERT itself.
static bool isInsert(const QString& statement)
{
    return statement.trimmed().startsWith(QLatin1String("INSERT"), Qt::CaseInsensitive) &&
           !statement.contains(QLatin1String("RETURNING"), Qt::CaseInsensitive);
}

// Steps a kept statement once; throws with the connection's error (its code intact) on failure.
static void stepOnce(sqlite3* h, const QString& statement, const QVariantList& binds)
{
    sqlite3_stmt* st = takeStatement(h, statement);
    bindAll(st, binds);
    const int rc = sqlite3_step(st);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) {
        // The error is read before the reset, which would replace it with its own copy.
        const DataError error = nativeFailure(h, statement);
        giveBackStatement(h, statement, st);
        throw error;
    }
    giveBackStatement(h, statement, st);
}

// A statement on a server goes straight through libpq: one round trip instead of the driver's
// three. A change without values keeps the driver's plain query (already one round trip, and able
// to hold several statements); a read is always one statement and goes through libpq with or
// without values. Checked after reconnecting a lost connection.
static bool throughLibpq(const QSqlDatabase& db, bool oneStatement)
{
    if (!oneStatement || !engine::isServer(db)) return false;
    reconnectIfLost(db);
    return engine::hasServerHandle(db);
}

static std::unique_ptr<engine::ServerResult> runThroughLibpq(const QSqlDatabase& db, const QString& statement,
                                                             const QVariantList& binds)
{
    auto result = std::make_unique<engine::ServerResult>(db, statement, asBoundNatively(binds));
    if (!result->ok()) throw failure(result->error(), statement, db);
    return result;
}

qint64 exec(const QSqlDatabase& db, const QString& statement, const QVariantList& binds)
{
    sqlite3* h = nativeHandle(db);
    if (!h && throughLibpq(db, !binds.isEmpty())) {
        if (!isInsert(statement)) {
            runThroughLibpq(db, statement, binds);
            return 0;
        }
        const auto result = runThroughLibpq(db, statement + QStringLiteral(" RETURNING id"), binds);
        int size = 0;
        return result->rows() > 0 ? QByteArray(result->value(0, 0, &size)).toLongLong() : 0;
    }
    if (!h) {
        if (engine::isServer(db) && isInsert(statement)) {
            QSqlQuery query = run(db, statement + QStringLiteral(" RETURNING id"), asBoundNatively(binds));
            return query.next() ? query.value(0).toLongLong() : 0;
        }
        return run(db, statement, asBoundNatively(binds)).lastInsertId().toLongLong();
    }
    stepOnce(h, statement, binds);
    return sqlite3_last_insert_rowid(h);
}

int changes(const QSqlDatabase& db, const QString& statement, const QVariantList& binds)
{
    sqlite3* h = nativeHandle(db);
    if (!h && throughLibpq(db, !binds.isEmpty())) return runThroughLibpq(db, statement, binds)->affected();
    if (!h) return run(db, statement, asBoundNatively(binds)).numRowsAffected();
    stepOnce(h, statement, binds);
    return sqlite3_changes(h);
}

Reader::Reader(const QSqlDatabase& db, const QString& statement, const QVariantList& binds) : statement_(statement)
{
    reconnectIfLost(db);
    sqlite3* h = nativeHandle(db);
    // A read is one statement: on a server it goes through libpq with or without values, and its
    // texts are then read where libpq holds them.
    if (!h && throughLibpq(db, true)) {
        try {
            server_ = runThroughLibpq(db, statement, binds).release();
        } catch (const DataError& e) {
            if (!readAgain(e, db, statement) || !throughLibpq(db, true)) throw;
            server_ = runThroughLibpq(db, statement, binds).release();
        }
        for (int i = 0; i < server_->columns(); ++i) columns_ << server_->columnName(i);
        return;
    }
    if (!h) {
        query_ = new QSqlQuery(run(db, statement, asBoundNatively(binds)));
        const QSqlRecord rec = query_->record();
        for (int i = 0; i < rec.count(); ++i) columns_ << rec.fieldName(i);
        return;
    }
    handle_ = h;
    stmt_ = takeStatement(h, statement);
    bindAll(stmt_, binds);
    const int n = sqlite3_column_count(stmt_);
    for (int i = 0; i < n; ++i) columns_ << QString::fromUtf8(sqlite3_column_name(stmt_, i));
}

Reader::~Reader()
{
    if (stmt_) giveBackStatement(handle_, statement_, stmt_);
    delete query_;
    delete server_;
}

bool Reader::next()
{
    if (query_) return query_->next();
    if (server_) return ++row_ < server_->rows();
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throw nativeFailure(sqlite3_db_handle(stmt_), statement_);
}

QString Reader::text(int column) const
{
    if (query_) return query_->value(column).toString();
    if (server_) {
        if (server_->isNull(row_, column)) return QString();
        return QString::fromUtf8(server_->bytes(row_, column));
    }
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return p ? QString::fromUtf8(p, sqlite3_column_bytes(stmt_, column)) : QString();
}

const char* Reader::rawText(int column, int* size) const
{
    if (server_) return server_->isNull(row_, column) ? (*size = 0, "") : server_->rawText(row_, column, size);
    if (query_) return nullptr;
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    *size = p ? sqlite3_column_bytes(stmt_, column) : 0;
    return p ? p : "";
}

QByteArray Reader::utf8(int column) const
{
    int size = 0;
    if (const char* p = rawText(column, &size)) return QByteArray(p, size);
    return text(column).toUtf8();
}

qint64 Reader::int64(int column) const
{
    if (query_) return query_->value(column).toLongLong();
    if (server_) {
        const QByteArray text = server_->bytes(row_, column);
        if (text == "true") return 1;
        bool ok = false;
        const qint64 n = text.toLongLong(&ok);
        return ok ? n : qint64(text.toDouble());  // a number with a fraction, as the driver reads it
    }
    return sqlite3_column_int64(stmt_, column);
}

bool firstValue(const QSqlDatabase& db, const QString& statement, const QVariantList& binds, QString* out)
{
    Reader reader(db, statement, binds);
    if (!reader.next()) return false;
    *out = reader.text(0);
    return true;
}

QStringList column(const QSqlDatabase& db, const QString& statement, const QVariantList& binds)
{
    Reader reader(db, statement, binds);
    QStringList values;
    while (reader.next()) values << reader.text(0);
    return values;
}

QVector<qint64> ids(const QSqlDatabase& db, const QString& table)
{
    // Without ORDER BY the database may read the ids from its smallest index instead of walking
    // every page of the table (a question bank of 3 GB holds its ids in a few MB of index); the ids
    // are then put in order here.
    Reader r(db, QStringLiteral("SELECT id FROM \"%1\"").arg(table));
    QVector<qint64> result;
    while (r.next()) result.append(r.int64(0));
    std::sort(result.begin(), result.end());
    return result;
}

void begin(QSqlDatabase& db)
{
    reconnectIfLost(db);
    if (!db.transaction()) {
        throw failure(db.lastError(), QStringLiteral("BEGIN"), db);
    }
    openTransactions().insert(db.connectionName());
}

void commit(QSqlDatabase& db)
{
    openTransactions().remove(db.connectionName());
    if (!db.commit()) {
        const QSqlError error = db.lastError();
        db.rollback();
        openTransactions().remove(db.connectionName());
        throw failure(error, QStringLiteral("COMMIT"), db);
    }
    openTransactions().remove(db.connectionName());
}

void rollback(QSqlDatabase& db)
{
    db.rollback();
    openTransactions().remove(db.connectionName());
}

void savepointStep(const QSqlDatabase& db, SavepointStep step)
{
    // One name serves nested savepoints too: each statement refers to the most recent one.
    static const QString set = QStringLiteral("SAVEPOINT exavoro_attempt");
    static const QString release = QStringLiteral("RELEASE SAVEPOINT exavoro_attempt");
    static const QString rollBack = QStringLiteral("ROLLBACK TO SAVEPOINT exavoro_attempt");
    QStringList statements;
    switch (step) {
        case SavepointStep::Set:
            statements << set;
            break;
        case SavepointStep::Release:
            statements << release;
            break;
        case SavepointStep::RollBack:
            statements << rollBack << release;
            break;
    }
    for (const QString& statement : statements) {
        if (sqlite3* h = nativeHandle(db)) {
            stepOnce(h, statement, {});
            continue;
        }
        if (!db.isOpen()) throw DataError(QStringLiteral("数据库尚未连接。\n语句：%1").arg(statement));
        QSqlQuery query(db);
        if (!query.exec(statement)) throw failure(query.lastError(), statement, db);
    }
}

bool inTransaction(const QSqlDatabase& db)
{
    if (sqlite3* h = nativeHandle(db)) return sqlite3_get_autocommit(h) == 0;
    return openTransactions().contains(db.connectionName());
}

}  // namespace sql
