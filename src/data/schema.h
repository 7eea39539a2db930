#pragma once
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

namespace schema {

// Version written to PRAGMA user_version; a later program migrates older files from it.
constexpr int kVersion = 1;

// The columns of one of the tables (the six and the recycle bin's) as this version creates them (without the hidden id),
// empty for any other name.
QStringList columns(const QString& table);

// The CREATE TABLE statement of one of those tables as the file's schema records it (SQLite
// keeps the text without "IF NOT EXISTS"), empty for any other name.
QString createStatement(const QString& table);

// Creates the six tables, the recycle bin's and their indexes in an empty database, or brings an older file up to date.
void ensure(QSqlDatabase& db);

// Adds the recycle bin's tables to a bank that lacks any of them (a file written before the bin
// existed), in one transaction; `presentTables` are the tables the file has. Returns whether it
// created anything. Idempotent: every statement is "IF NOT EXISTS".
bool ensureRecycleBin(const QSqlDatabase& db, const QStringList& presentTables);

// Opens (and creates) a database file for the command-line tools under its own connection name.
QSqlDatabase createFile(const QString& path, const QString& connectionName);

}  // namespace schema
