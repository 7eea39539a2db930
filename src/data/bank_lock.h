#pragma once
#include <QString>

// Keeps a second program off a bank file while this one works on it: two programs on one
// embedded file would hand out the same codes and mix each other's papers.
//
// Two marks are held for as long as the bank is open:
// - "<file>.lock" (process id, program and host name, as QLockFile writes them), held with an
//   flock lock that the system drops when the program ends, so a crashed program never blocks the
//   next start; it is not synced to disk, since it holds nothing that must survive a crash;
// - an exclusive SQLite lock on "<file>-guard", which the operating system (or the file server of
//   a shared folder) drops when its holder ends, however it ends. A lock file written on another
//   computer holds no lock here; it counts as held only while this guard is held.
class BankLock {
public:
    BankLock();
    ~BankLock();
    BankLock(const BankLock&) = delete;
    BankLock& operator=(const BankLock&) = delete;

    // Takes both marks for the file (nothing when this lock already holds them for it; the marks
    // of another file are given up first). Throws DataError when another program holds the bank.
    void acquire(const QString& databasePath);
    void release();
    QString path() const { return path_; }

private:
    bool takeGuard(const QString& guardPath);
    void releaseGuard();

    int fd_ = -1;  // the lock file, held while open
    QString lockPath_;
    QString guardConnection_;
    QString path_;
};
