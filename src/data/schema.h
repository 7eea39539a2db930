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

// Creates the six tables, the content tables (pictures, formula_omml) and their indexes in an
// empty database, or brings an older file up to date.
void ensure(QSqlDatabase& db);

// True when the database holds a table of this name.
bool hasTable(const QSqlDatabase& db, const QString& table);

// The (table, column) pairs whose texts may place pictures; the orphan cleanup keeps every picture
// one of them names. A table that keeps question texts (a recycle bin, stored papers) adds itself here.
QVector<QPair<QString, QString>> pictureColumns();

// Brings a file this program wrote at an older version (1 and up) to kVersion in one transaction;
// returns false, touching nothing, for a file of version 0 or of the current version.
bool upgrade(const QSqlDatabase& db, int version);

// Creates the tables added after the first version (the paper library) when an opened file lacks
// any of them, in one transaction; `present` names the file's tables. Nothing is written otherwise.
void addMissingTables(const QSqlDatabase& db, const QStringList& present);

// Opens (and creates) a database file for the command-line tools under its own connection name.
QSqlDatabase createFile(const QString& path, const QString& connectionName);

}  // namespace schema
