#pragma once
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVector>

struct sqlite3;

// A bank file is data, never code: whoever made the file, only the tables, indexes and triggers
// this program creates are accepted in it, and every connection to a file runs with SQLite's
// defences on (no functions of the file's schema that could do harm, no writes to the schema
// through pragmas, no views). The checks here are shared by opening a bank, checking, restoring and
// copying one.
namespace bank_file {

// Turns on SQLite's defensive mode, turns trusted_schema off and views off for one connection.
// Call it right after the connection is opened, before its first statement. Nothing for a
// connection that is not SQLite's.
void harden(sqlite3* handle);
void harden(const QSqlDatabase& db);

// Lets the triggers of a file whose schema has been found to be the program's own (foreignObjects
// empty) use the search index, an FTS5 table: SQLite lets schema objects use such a table only on
// a connection that trusts the file's schema. Call it after the check, never before.
void trustCheckedSchema(const QSqlDatabase& db);

// One entry of a file's sqlite_master.
struct SchemaObject {
    QString type;   // table, index, trigger, view
    QString name;
    QString table;  // tbl_name
    QString sql;    // NULL (empty) for the indexes SQLite makes itself
};

// The statement that lists a file's schema, its columns in the order of SchemaObject.
extern const char* const kSchemaQuery;

// The objects of `found` that this program did not create, one Chinese line each naming the
// object (an object of the program's name whose definition differs counts as foreign too).
// Empty for a file of the program's own schema, of this or an older version.
QStringList foreignObjects(const QVector<SchemaObject>& found);
QStringList foreignObjects(const QSqlDatabase& db);

// A file whose bytes on disk are far fewer than its size (a sparse file that would be copied out
// to its full size by every backup), or whose size is not what its pages add up to: a Chinese
// line saying what is wrong, empty for a sound file. `pageCount` and `pageSize` are SQLite's.
QString sizeProblem(const QString& path, qint64 pageCount, qint64 pageSize);

// Creates an empty file that only its owner can read and write (a bank holds password hashes),
// unless it exists. Throws AppError when it cannot.
void createPrivate(const QString& path);

// Gives `path` the permission bits (and, where allowed, the owner) of `model`, so that a file that
// replaces another keeps who may use it. Nothing when `model` does not exist.
void copyAccess(const QString& model, const QString& path);

// Leaves `path` readable and writable by its owner only.
void makePrivate(const QString& path);

}  // namespace bank_file
