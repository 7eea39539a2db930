#pragma once
#include <QDate>
#include <QString>
#include <QStringList>
#include <functional>

// Copies of the question bank: consistent backups taken while the program runs, checks of a bank
// file, and restoring a bank from a checked file. Errors are raised as AppError with Chinese text.
namespace backup {

// Told how far a long piece of work has come: `done` of `total` steps (pages, check steps).
using Progress = std::function<void(qint64 done, qint64 total)>;

// The folder of the automatic and default backups beside a bank: <bank folder>/backup.
QString backupFolder(const QString& bankPath);
// A name in the backup folder that does not exist yet: examdb-YYYYMMDD-HHMMSS.db (a suffix -2, -3
// when a backup of the same second exists).
QString defaultBackupPath(const QString& bankPath, const QString& prefix = QStringLiteral("examdb"));

// Writes a consistent copy of the bank `source` to `target` through SQLite's online backup on a
// read connection: other programs may go on reading and writing. The copy appears complete or not
// at all; an existing `target` is never overwritten.
void backupTo(const QString& source, const QString& target, const Progress& progress = {});

// What a check of a bank file found.
struct CheckReport {
    QStringList damage;   // the file cannot be used: not a database, integrity, version, tables, columns
    QStringList orphans;  // rows that point at subjects, types or chapters that do not exist
    int version = 0;
    bool usable() const { return damage.isEmpty(); }
    bool clean() const { return damage.isEmpty() && orphans.isEmpty(); }
};

// Checks a bank file without changing it: SQLite's integrity check, that it is a question bank of a
// version this program can open with every column the program uses, and (for a usable file) the
// orphan rows. Raises AppError only when the file cannot be read at all (missing, no permission).
CheckReport check(const QString& path, const Progress& progress = {});

// Replaces the bank at `bankPath` with the bank in `file`:
// refuses while a program holds the bank's lock file, refuses a file that check() finds damaged,
// copies the file into a temporary file beside the bank, keeps the previous bank as
// <bank>.before-restore-YYYYMMDD-HHMMSS and puts the copy in place with one rename.
// Returns the path the previous bank was kept under (empty when there was none).
QString restore(const QString& bankPath, const QString& file, const Progress& progress = {});

// The lock file a running program holds on its bank.
QString lockPath(const QString& bankPath);

// Automatic backups: <bank folder>/backup/examdb-auto-YYYYMMDD-HHMMSS.db, at most one a day, the
// newest `keep` of them kept (setting backup/keep in <bank folder>/exavoro.ini, 7 when unset; 0
// turns automatic backups off).
struct AutoResult {
    QString written;      // the backup made, empty when none was due
    QStringList removed;  // older automatic backups removed
};
QString settingsPath(const QString& bankPath);
int automaticBackupsKept(const QString& bankPath);
bool automaticBackupDue(const QString& bankPath, const QDate& today = QDate::currentDate());
AutoResult automaticBackup(const QString& bankPath, const QDate& today = QDate::currentDate(),
                           const Progress& progress = {});

}  // namespace backup
