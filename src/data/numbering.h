#pragma once
#include <QPair>
#include <QSqlDatabase>
#include <QString>
#include <QVector>
#include <functional>

class Dataset;

// Numbers and codes of new rows when several users store at the same moment. A server bank has
// uniqueness rules on them (schema::serverOnlyStatements()); a number computed from what was read
// may have been taken by another user before the row is written, and the database refuses the row.
// The store then computes the number afresh and tries again.
namespace numbering {

// How often a refused row is tried again before the user is asked to try later.
constexpr int kAttempts = 20;

// Runs `work(attempt)` (attempt 0, 1, ...) in the caller's transaction, or in one of its own when
// there is none, each attempt under a savepoint. When a uniqueness rule refuses a row the attempt
// is undone and `work` runs again, computing its numbers afresh; after kAttempts refused attempts
// it throws AppError. Any other error goes to the caller unchanged.
// With a `scope` name, on a server, programs storing into the same scope in transactions of their
// own take turns (a lock the server releases at commit) instead of racing for the same number and
// repeating their work; inside a caller's longer transaction no such lock is taken, so that two
// long transactions never wait for each other's scopes in opposite orders.
void retryOnConflict(const QSqlDatabase& db, const std::function<void(int attempt)>& work,
                     const QString& scope = QString());

// One numbering scope: how the forms give the next code, and whether a code is in use.
struct Sequence {
    std::function<QString()> next;              // one after the scope's last row in read order
    std::function<bool(const QString&)> taken;  // a row of the scope holds this code
    int width = 2;
    QString scope;  // names the scope for retryOnConflict's turns
};

// The code an attempt stores: the first attempt takes `next()` as the forms always have; a later
// one (another user took that code meanwhile) also steps over codes in use.
QString codeFor(const Sequence& sequence, int attempt);

// Stores one row with a fresh code of `sequence`: `insert(code)` writes it. Retried as
// retryOnConflict() retries; returns the code stored.
QString insertWithFreshCode(const QSqlDatabase& db, const Sequence& sequence,
                            const std::function<void(const QString& code)>& insert);

// Stores a new named row with a fresh code of `sequence`, as insertWithFreshCode() does, unless the
// name is in use by then: `taken` (a SELECT giving a row when it is) is asked in the same
// transaction, after this program's turn in the scope, so that two users adding one name at the
// same moment store it once. False when the name was taken and nothing was stored.
bool insertNewName(const QSqlDatabase& db, const Sequence& sequence, const QString& taken,
                   const QVariantList& binds, const std::function<void(const QString& code)>& insert);

// The scopes of the bank's codes.
Sequence questionNumbers(const QSqlDatabase& db, const QString& kmh, const QString& txh);  // th, 3 digits
Sequence subjectCodes(const QSqlDatabase& db);                                             // kmh
Sequence typeCodes(const QSqlDatabase& db, const QString& kmh);                            // txh
Sequence chapterCodes(const QSqlDatabase& db, const QString& kmh);                         // zjh

// Inside the transaction that stores questions of subject `kmh` and type `txh` (and chapter `zjh`
// when given): on a server, keeps them from being deleted by another user until the commit (a
// deletion under way is waited for), so that no question is left in a subject, type or chapter
// deleted meanwhile. Throws when one of them is gone.
void keepWhereStored(const QSqlDatabase& db, const QString& kmh, const QString& txh,
                        const QString& zjh = QString());

// Appends a row with these (column, value) pairs to a whole-table dataset and posts it; a row the
// database refuses leaves the dataset as it was (browsing), so that the attempt can be repeated.
void appendRow(Dataset* table, const QVector<QPair<QString, QString>>& values);

// Stores a new question of subject `kmh` and type `txh` through the whole-table dataset `stb`, as
// "新题入库" does: the next number of the pair (a fresh one when another user took it first) and
// the given other columns. Returns the number stored.
QString storeQuestion(const QSqlDatabase& db, Dataset* stb, const QString& kmh, const QString& txh,
                      const QVector<QPair<QString, QString>>& columns);

}  // namespace numbering
