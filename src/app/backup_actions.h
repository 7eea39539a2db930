#pragma once

class TMainF;

// The bank's backups inside the program: the super user's "备份题库…" and "恢复题库…" in the
// menu 文件, and the automatic backup after the first login of a day.
namespace backupui {

// Asks for a file name (suggesting Data/backup/examdb-date-time.db) and writes a backup there.
void makeBackup(TMainF* main);

// Asks for a backup file, checks it, asks for confirmation, then closes the bank, replaces it and
// opens it again. The users of the restored bank may differ, so everything is disabled and the
// login window asks for a login again. A refused or failed restore leaves the bank and the
// logged-in user as they were.
void restoreBackup(TMainF* main);

// After a successful login: the day's first automatic backup, if it is due. A failure is shown,
// never in the way of the login.
void automaticBackupAfterLogin(TMainF* main);

}  // namespace backupui
