#pragma once
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>
#include <QVariantList>
#include <QVector>
#include <functional>

struct sqlite3_stmt;
struct sqlite3;
namespace engine {
class ServerResult;
}

namespace sql {

// Prepares `statement`, binds `binds` to its ? placeholders in order and executes it.
// Throws DataError carrying the database's message and the statement when any step fails.
QSqlQuery run(const QSqlDatabase& db, const QString& statement, const QVariantList& binds = {});

// The first column of the first row, or an empty text when there is no row.
QString scalar(const QSqlDatabase& db, const QString& statement, const QVariantList& binds = {});

// The first column of the first row in `out`; false (and `out` untouched) when there is no row,
// so that "no such row" differs from "a row with an empty value".
bool firstValue(const QSqlDatabase& db, const QString& statement, const QVariantList& binds, QString* out);

// The first column of every row, in the order returned.
QStringList column(const QSqlDatabase& db, const QString& statement, const QVariantList& binds = {});

// Runs a statement that returns no rows (INSERT, UPDATE, DELETE). On an SQLite connection the
// prepared statement is kept and reused for the same text. Returns the id of the last inserted
// row (for an INSERT). Throws DataError like run().
qint64 exec(const QSqlDatabase& db, const QString& statement, const QVariantList& binds = {});

// Runs a statement like exec() and returns how many rows it changed (an UPDATE or DELETE whose
// condition no longer matches changes none).
int changes(const QSqlDatabase& db, const QString& statement, const QVariantList& binds = {});

// Runs fixed statements of the program (no values) in one call.
void script(const QSqlDatabase& db, const char* statements);

// Gives a connection a larger page cache and memory-mapped reads, once per connection: repeated
// list queries then stay off the disk. Done when the first list is read, not at login.
void tuneForLists(const QSqlDatabase& db);

// Keeps memory the program frees for its next use instead of handing it back to the system at
// once: each read of the bank sorts and collects its rows in buffers of some hundred kilobytes, and
// returning those every time costs a search as much again in page faults. Up to 16 MB stay with
// the program. Called once at start.
void keepFreedMemory();

// Work to do on every new server connection and after a broken one was reopened (for example the
// session's own temporary tables).
void setSessionSetup(std::function<void(QSqlDatabase&)> setup);

// How many times the connection has been opened again after it broke (a server session that
// ended): whatever a session kept of its own (the paper being composed) is gone when it changes.
// Before reading it, confirmSession() makes sure the session is alive (reconnecting if not).
int sessionGeneration(const QSqlDatabase& db);
void confirmSession(const QSqlDatabase& db);

// Finalizes the statements kept for a connection; call before the connection is closed.
void releaseStatements(const QSqlDatabase& db);

// A read-only statement stepped row by row. On an SQLite connection it talks to SQLite directly
// (no QVariant per value), which matters for large result sets; elsewhere it uses QSqlQuery.
class Reader {
public:
    Reader(const QSqlDatabase& db, const QString& statement, const QVariantList& binds = {});
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;
    bool next();
    int columnCount() const { return columns_.size(); }
    const QStringList& columnNames() const { return columns_; }
    QString text(int column) const;
    qint64 int64(int column) const;
    // The raw UTF-8 bytes of a column of the current row (valid until the next step).
    QByteArray utf8(int column) const;
    const char* rawText(int column, int* size) const;  // nullptr when the reader has no raw access

private:
    sqlite3_stmt* stmt_ = nullptr;
    sqlite3* handle_ = nullptr;
    QString statement_;
    QStringList columns_;
    QSqlQuery* query_ = nullptr;
    engine::ServerResult* server_ = nullptr;  // a server's result, read through libpq
    int row_ = -1;
};

// The ids of a table's rows in ascending order (the order rows are read in). Read through SQLite
// directly: a large table's id list is read at C speed rather than one QVariant per row.
QVector<qint64> ids(const QSqlDatabase& db, const QString& table);

// Runs `work` in one transaction: committed when it returns, rolled back when it throws.
template <typename F>
void transaction(QSqlDatabase db, F&& work);

void begin(QSqlDatabase& db);
void commit(QSqlDatabase& db);
void rollback(QSqlDatabase& db);
// True while the connection is inside a transaction (one begun here, or on SQLite any).
bool inTransaction(const QSqlDatabase& db);

// Runs `work` under a savepoint of the current transaction: when it throws, what it did is undone
// and the transaction stays usable (on a server a failed statement otherwise spoils the whole
// transaction), and the error goes on to the caller.
template <typename F>
void savepoint(const QSqlDatabase& db, F&& work);

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

// The statements of savepoint(): run as they are (a server does not prepare SAVEPOINT).
enum class SavepointStep { Set, Release, RollBack };
void savepointStep(const QSqlDatabase& db, SavepointStep step);

template <typename F>
void savepoint(const QSqlDatabase& db, F&& work)
{
    savepointStep(db, SavepointStep::Set);
    try {
        work();
    } catch (...) {
        try {
            savepointStep(db, SavepointStep::RollBack);
        } catch (...) {
            // The connection itself failed; the caller's transaction ends with the first error.
        }
        throw;
    }
    savepointStep(db, SavepointStep::Release);
}

}  // namespace sql
