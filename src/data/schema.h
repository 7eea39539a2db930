#pragma once
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QPair>
#include <QVector>

namespace schema {

// Version written to PRAGMA user_version; a later program migrates older files from it.
constexpr int kVersion = 2;

// The columns of one of the tables as this version creates them (without the hidden id),
// empty for any other name.
QStringList columns(const QString& table);

// The CREATE TABLE statement of one of the program's tables as the file's schema records it
// (SQLite keeps the text without "IF NOT EXISTS"), empty for any other name.
QString createStatement(const QString& table);

// Creates the six tables, the content tables (pictures, formula_omml), the recycle bin's and
// their indexes in an empty database, or brings an older file up to date.
void ensure(QSqlDatabase& db);

// True when the database holds a table of this name.
bool hasTable(const QSqlDatabase& db, const QString& table);

// The (table, column) pairs whose texts may place pictures; the orphan cleanup keeps every picture
// one of them names. A table that keeps question texts (a recycle bin, stored papers) adds itself here.
QVector<QPair<QString, QString>> pictureColumns();

// Brings a file this program wrote at an older version (1 and up) to kVersion in one transaction;
// returns false, touching nothing, for a file of version 0 or of the current version.
bool upgrade(const QSqlDatabase& db, int version);

// Adds the recycle bin's tables to a bank that lacks any of them (a file written before the bin
// existed), in one transaction; `presentTables` are the tables the file has. Returns whether it
// created anything. Idempotent: every statement is "IF NOT EXISTS".
bool ensureRecycleBin(const QSqlDatabase& db, const QStringList& presentTables);

// Opens (and creates) a database file for the command-line tools under its own connection name.
QSqlDatabase createFile(const QString& path, const QString& connectionName);

}  // namespace schema
