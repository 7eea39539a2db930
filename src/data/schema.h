#pragma once
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

namespace schema {

// Version written to PRAGMA user_version; a later program migrates older files from it.
constexpr int kVersion = 2;

// The columns of one of the tables as this version creates them (without the hidden id),
// empty for any other name.
QStringList columns(const QString& table);

// Creates the six tables, the content tables (pictures, formula_omml) and their indexes in an
// empty database, or brings an older file up to date.
void ensure(QSqlDatabase& db);

// Brings a file this program wrote at an older version (1 and up) to kVersion in one transaction;
// returns false, touching nothing, for a file of version 0 or of the current version.
bool upgrade(const QSqlDatabase& db, int version);

// Opens (and creates) a database file for the command-line tools under its own connection name.
QSqlDatabase createFile(const QString& path, const QString& connectionName);

}  // namespace schema
