#pragma once
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

namespace schema {

// Version written to PRAGMA user_version; a later program migrates older files from it.
constexpr int kVersion = 1;

// The columns of one of the six tables as this version creates them (without the hidden id),
// empty for any other name.
QStringList columns(const QString& table);

// The CREATE TABLE statement of one of the six tables as the file's schema records it (SQLite
// keeps the text without "IF NOT EXISTS"), empty for any other name.
QString createStatement(const QString& table);

// Creates the six tables and their indexes in an empty database, or brings an older file up to date.
void ensure(QSqlDatabase& db);

// Creates the tables added since the first version (with their indexes) in one transaction when
// any of them is missing from `present`, the tables the file holds. Opening a bank calls it.
void addMissingTables(QSqlDatabase& db, const QStringList& present);

// Opens (and creates) a database file for the command-line tools under its own connection name.
QSqlDatabase createFile(const QString& path, const QString& connectionName);

}  // namespace schema
