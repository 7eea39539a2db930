#pragma once

class QWidget;
#include <QString>

// The bank's backups inside the program: the super user's "备份题库…" and "恢复题库…" in the
// menu 文件, and the automatic backup after the first login of a day.
namespace backupui {

// Asks for a file name (suggesting Data/backup/examdb-date-time.db) and writes a backup there.
void makeBackup(QWidget* parent);

// Asks for a backup file, checks it, asks for confirmation, then closes the bank, replaces it and
// opens it again. The users of the restored bank may differ, so everything is disabled and the
// login window asks for a login again. A refused or failed restore leaves the bank and the
// logged-in user as they were. The main window then asks for a login again (Restored), or locks
// itself when the bank could not be opened again (BankLost, with the error's text).
struct Restore {
    enum Outcome { Unchanged, Restored, BankLost };
    Outcome outcome = Unchanged;
    QString text;  // Restored: where the replaced bank was kept; BankLost: why the bank is not open
};
Restore restoreBackup(QWidget* parent);

// After a successful login: the day's first automatic backup, if it is due. A failure is shown,
// never in the way of the login.
void automaticBackupAfterLogin(QWidget* parent);

}  // namespace backupui
