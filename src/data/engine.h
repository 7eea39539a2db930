#pragma once
#include <QPair>
#include <QSqlDatabase>
#include <QSqlError>
#include <QVector>
#include <QString>
#include <QStringList>
#include <QVariantList>

// The two database engines a bank lives on: an embedded SQLite file (one teacher) or a
// PostgreSQL server (an exam office). Everything that differs between them is here.
namespace engine {

// True for a connection to a PostgreSQL server.
bool isServer(const QSqlDatabase& db);

// Where the bank is: a file, or a server given by a PostgreSQL connection URI
// (postgresql://[user@]host[:port]/dbname[?sslmode=...&host=/socket/dir...]).
struct Location {
    QString file;
    QString server;
    bool isServer() const { return !server.isEmpty(); }
    // What the login window shows: the file's path, or the server without any password.
    QString describe() const;
};

// The bank this program works on: `--server URI` among the arguments, else the setting
// `server=` in the settings file exavoro.ini in `folder` (the folder holding Data/), else the
// file Data/examdb.db in `folder`. Throws AppError on an unreadable settings file or a bad URI.
Location chooseLocation(const QStringList& arguments, const QString& folder);

// True for a text that names a server (postgresql:// or postgres://) rather than a file.
bool isServerUri(const QString& text);

// The URI with any password removed, for messages and the login window.
QString describeServer(const QString& uri);

// Opens (or reopens) the connection `connectionName` to the server at `uri`. Credentials come
// from the URI or libpq's usual places (~/.pgpass, service file, PG* environment). Throws
// DataError with a Chinese message when the server cannot be reached or refuses the login.
QSqlDatabase openServer(const QString& connectionName, const QString& uri);

// Who connects to a server bank: a user of the bank logs in as their own database role with the
// password typed in the login window (never written anywhere), in place of the URI's user.
struct Credentials {
    QString role;
    QString password;
};
// The same, as the given role with its password. When the server answers but refuses the login
// (wrong password, no such role), the DataError's code is "28P01".
QSqlDatabase openServer(const QString& connectionName, const QString& uri, const Credentials& credentials);

// The database named by a server URI (its path), empty when it names none.
QString serverDatabase(const QString& uri);

// Server only: `password` as the server keeps it (a SCRAM-SHA-256 verifier), made on this computer
// so that the typed text never reaches the server, its log or an error message. Throws DataError.
QString encryptedPassword(const QSqlDatabase& db, const QString& password);

// True when the server connection broke (the server stopped, the network went away); the next
// statement reconnects.
bool connectionLost(const QSqlDatabase& db);

// True when a connection opened by openServer() and not closed on purpose broke: the next
// statement opens it again.
bool shouldReconnect(const QSqlDatabase& db);
// Closes a connection on purpose (it is not opened again by the next statement).
void closeConnection(QSqlDatabase& db);

// A table-creating statement written in SQLite's words, in the words of the connection's engine
// (INTEGER PRIMARY KEY AUTOINCREMENT and BLOB become an identity column and BYTEA on a server).
QString dialect(const QSqlDatabase& db, const QString& statement);

// The bank's schema version (SQLite: PRAGMA user_version; server: table exavoro_meta).
int schemaVersion(const QSqlDatabase& db);
// The same, given the bank's tables as tables() lists them (a server's version lives in one).
int schemaVersion(const QSqlDatabase& db, const QStringList& present);
void setSchemaVersion(const QSqlDatabase& db, int version);

// Names of the tables of the bank (the server's current schema only).
QStringList tables(const QSqlDatabase& db);
// Column names of a table as the database records them, in lower case.
QStringList tableColumns(const QSqlDatabase& db, const QString& table);

// The statements that keep question_counts, the number of questions of each subject and type
// (rows of stb with both codes), up to date with stb: its table, the triggers that follow every
// insert, delete and change of codes (row by row on SQLite; once per statement on a server, from
// the statement's rows), and the statement that fills it from the questions already stored. Run
// in this order, in one transaction: on a server the triggers then hold other programs' writes
// back until the count is filled and committed.
QStringList questionCountStatements(const QSqlDatabase& db);

// The statements that keep picture_sweep, the mark that stored pictures may have lost their last
// text (a picture stored, or one of the `texts` (table, column) that placed one deleted or
// changed), on a bank file: its table, already marked, and the triggers that mark it. Opening the
// file looks for unused pictures only while it is marked, so a bank of a million questions is not
// read through at every login. A server does not look for unused pictures and gets none of them
// (an empty list).
QStringList pictureSweepStatements(const QSqlDatabase& db, const QVector<QPair<QString, QString>>& texts);

// The statements that keep the search index of the question and answer texts (stb.tm, stb.da) in
// step with stb, and fill it from the questions already stored, to run in one transaction. On a
// file: the FTS5 table stb_search (trigram tokenizer, its content read from stb) and the triggers
// that follow every insert, delete and change of a text, row by row in the writing transaction.
// On a server: the pg_trgm extension (when the server has it and the role may add it) and a GIN
// trigram index on each text column, which the server itself keeps in step.
QStringList searchIndexStatements(const QSqlDatabase& db);

// True when the bank has its search index: on a file the table stb_search among `present` (the
// file's tables), on a server both trigram indexes (one look at the catalog).
bool hasSearchIndex(const QSqlDatabase& db, const QStringList& present);

// The rows of stb (named s) whose question or answer text holds `phrase` (at least three
// characters, letter case ignored), through the search index: `from` replaces "FROM stb AS s" and
// `where` is a condition to AND with others, whose values `binds` come before theirs. With
// `alsoPhrase`, only rows whose texts also hold that one (anywhere in either text).
struct TextSearch {
    QString from;
    QString where;
    QVariantList binds;
};
TextSearch textSearch(const QSqlDatabase& db, const QString& phrase, const QString& alsoPhrase = QString());

// A LIKE pattern that finds `text` anywhere, its own % and _ escaped for "LIKE ? ESCAPE '!'" (the
// same words on both engines).
QString containsPattern(const QString& text);

// The pattern operator that ignores letter case, as SQLite's LIKE does (for Latin letters):
// LIKE on SQLite, ILIKE on a server, whose LIKE tells "Unit" from "unit".
QString caseBlindLike(const QSqlDatabase& db);

// The rows of `select` whose `keyField` is one of `keys` given keys, ordered by it. SQLite leads
// the join with the keys (a VALUES list in a CROSS JOIN, which it keeps as the outer loop), so
// that each key finds its row at once: with `key IN (...)` its planner may walk a join once per
// key for every row of another table. A server's planner looks the keys up by index either way.
// `keysFirst` tells whether the keys' values are bound before the select's own.
struct KeyedRows {
    QString statement;
    bool keysFirst = false;
};
KeyedRows rowsOfKeys(const QSqlDatabase& db, const QString& select, const QString& keyField, qsizetype keys);

// Server only: the statement that gives the connection its own empty temporary table `table`,
// with the given column definitions, or when `columns` is empty with the columns, defaults, own id
// numbering and indexes of the shared table of that name. It hides a shared table of the same name
// from every later statement of this connection and goes away with the connection; nothing when it
// exists already. Several such statements can go to the server together, in one round trip.
QString sessionTableStatement(const QString& table, const QString& columns = QString());

// A statement run on a server connection straight through libpq, its values bound as parameters:
// one round trip to the server, where the driver needs three (PREPARE, EXECUTE, DEALLOCATE). The
// statement uses ? placeholders; the whole result is held, values as the server's text.
class ServerResult {
public:
    ServerResult(const QSqlDatabase& db, const QString& statement, const QVariantList& binds);
    ~ServerResult();
    ServerResult(const ServerResult&) = delete;
    ServerResult& operator=(const ServerResult&) = delete;
    bool ok() const { return ok_; }
    const QSqlError& error() const { return error_; }  // when not ok()
    int rows() const;
    int columns() const;
    QString columnName(int column) const;
    bool isNull(int row, int column) const;
    const char* value(int row, int column, int* size) const;
    // A value as the driver would read it: booleans as "true"/"false", BYTEA as its bytes.
    QByteArray bytes(int row, int column) const;
    // The value's text where libpq holds it, nullptr for the types bytes() converts.
    const char* rawText(int row, int column, int* size) const;
    int affected() const;  // rows changed by an INSERT, UPDATE or DELETE

private:
    void* result_ = nullptr;  // the PGresult
    bool ok_ = false;
    QSqlError error_;
};

// Server only, inside a transaction: waits until no other session holds `name` and holds it
// until this transaction ends, so that programs working in one scope take turns. Nothing on a file,
// where one program writes at a time anyway.
void takeTurnUntilCommit(const QSqlDatabase& db, const QString& name);

// Server only, inside a transaction: the rows `select` gives are kept from being changed or
// deleted by other sessions until this transaction ends (others may keep them too); waits while
// another session is changing or deleting them. False when `select` gives no row (any more). On a
// file, where one program writes at a time, true without reading.
bool keepRowsUntilCommit(const QSqlDatabase& db, const QString& select, const QVariantList& binds);
// Server only, inside a transaction: the rows `select` gives are this transaction's to change or
// delete until it ends; waits while other sessions keep or change them. Nothing on a file.
void claimRowsUntilCommit(const QSqlDatabase& db, const QString& select, const QVariantList& binds);

// Server only: the statements that create (or replace) the function storing one numbered question
// in a single statement (numbering::storeQuestion's path on a server). Empty on a file.
QStringList numberedStoreStatements(const QSqlDatabase& db);

// What the server's store function did with one question.
struct NumberedStore {
    enum class Outcome { Stored, PlaceGone, ChapterGone, LastNumberNotInteger, NumbersTaken };
    Outcome outcome = Outcome::Stored;
    qint64 id = 0;
    QString th;  // the number stored, or the last number when it is not an integer
};

// The stb columns the store function takes besides kmh, txh and th, in its order.
QStringList numberedStoreColumns();

// Server only: stores a question of subject `kmh` and type `txh` with the next free number in one
// statement (one round trip): with `takeTurn` (no caller's transaction) it waits for the type's
// turn as takeTurnUntilCommit does with the same name, keeps the subject, type and chapter as
// keepRowsUntilCommit does, computes the number after the last row's in id order, inserts, and
// steps over numbers in use when another store took one (at most `attempts` tries). `values`
// follows numberedStoreColumns(); a null text is stored as an empty one, as the datasets store it.
NumberedStore storeNumbered(const QSqlDatabase& db, const QString& kmh, const QString& txh, const QString& turnName,
                            const QStringList& values, bool takeTurn, int attempts);

// True for a server connection whose libpq handle ServerResult can use.
bool hasServerHandle(const QSqlDatabase& db);

}  // namespace engine
