#pragma once
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QPair>
#include <QVector>

namespace schema {

// Version written to PRAGMA user_version; a later program migrates older files from it.
constexpr int kVersion = 9;

// The columns of one of the tables as this version creates them (without the hidden id),
// empty for any other name.
QStringList columns(const QString& table);
// The columns of `table` that versions after `version` added (a bank of `version` lacks them until
// it is upgraded).
QStringList columnsAddedAfter(const QString& table, int version);
// CREATE TABLE statements as older versions made them, before columns were added to those tables.
QStringList earlierTableStatements();
// Every table of the bank, in the order they are created.
QStringList tableNames();

// The CREATE TABLE statement of one of the program's tables as the file's schema records it
// (SQLite keeps the text without "IF NOT EXISTS"), empty for any other name.
QString createStatement(const QString& table);

// Creates the six tables, the content tables (pictures, formula_omml), the recycle bin's and
// their indexes in an empty database, or brings an older file up to date.
void ensure(QSqlDatabase& db);
// The statements of ensure() without a transaction of their own (for a caller's transaction that
// also fills the new bank), in the words of the connection's engine.
void create(QSqlDatabase& db);

// The statements a server bank gets beside the tables: unique indexes on the numbers and codes
// (stb (kmh, txh, th), kmb (kmh), txb (kmh, txh), zjb (kmh, zjh), mmb (yhm)), so that two users
// storing at the same moment cannot take the same one. Plain SQL both engines read; an SQLite file
// does not get them, since files of older versions may hold duplicates.
QStringList serverOnlyStatements();

// The table that keeps the number of questions of each subject and type (kmh, txh, n) up to date
// through triggers on stb; every bank gets it when it is created or first opened by this version.
extern const QString kQuestionCounts;
// The mark that stored pictures may be unused (engine::pictureSweepStatements), on a bank file.
extern const QString kPictureSweep;

// The search index of the question and answer texts (engine::searchIndexStatements): on a file
// the FTS5 table of this name, on a server the trigram indexes stb_search_tm and stb_search_da.
extern const QString kSearchIndex;

// True when the database holds a table of this name.
bool hasTable(const QSqlDatabase& db, const QString& table);

// The (table, column) pairs whose texts may place pictures; the orphan cleanup keeps every picture
// one of them names. A table that keeps question texts (a recycle bin, stored papers) adds itself here.
QVector<QPair<QString, QString>> pictureColumns();

// Creates the tables added since the first version (with their indexes) in one transaction when
// any of them is missing from `present`, the tables the file holds.
void addMissingTables(QSqlDatabase& db, const QStringList& present);

// Brings a file this program wrote at an older version (1 and up) to kVersion in one transaction
// and returns true; a file of the current version only gets the tables it lacks (false); a file
// of version 0 is left alone (false).
bool upgrade(QSqlDatabase& db, int version, const QStringList& present);
// True when a file of `version` holding the tables `present` is one upgrade() leaves untouched.
bool isCurrent(const QSqlDatabase& db, int version, const QStringList& present);


// Opens (and creates) a database file for the command-line tools under its own connection name.
QSqlDatabase createFile(const QString& path, const QString& connectionName);

}  // namespace schema
