#pragma once
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

namespace schema {

// Version written to PRAGMA user_version; a later program migrates older files from it.
constexpr int kVersion = 1;

// The columns of one of the tables as this version creates them (without the hidden id),
// empty for any other name.
QStringList columns(const QString& table);

// The CREATE TABLE statement of one of the tables as the file's schema records it (SQLite
// keeps the text without "IF NOT EXISTS"), empty for any other name.
QString createStatement(const QString& table);

// Creates the tables and their indexes in an empty database, or brings an older file up to date.
void ensure(QSqlDatabase& db);

// Creates the tables added after the first version (the paper library) when an opened file lacks
// any of them, in one transaction; `present` names the file's tables. Nothing is written otherwise.
void addMissingTables(const QSqlDatabase& db, const QStringList& present);

// Opens (and creates) a database file for the command-line tools under its own connection name.
QSqlDatabase createFile(const QString& path, const QString& connectionName);

}  // namespace schema
