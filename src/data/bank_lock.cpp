#include "data/bank_lock.h"

#include "data/errors.h"

#include <QAtomicInt>
#include <QLockFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>

namespace {

DataError heldElsewhere()
{
    return DataError(
        QStringLiteral("题库正被另一个程序使用，请关闭另一个程序后再登录。\n"
                       "（同一题库文件同时只能由一个程序打开，包括其他计算机上通过共享文件夹打开的程序。）"));
}

}  // namespace

BankLock::BankLock() = default;

BankLock::~BankLock()
{
    release();
}

void BankLock::acquire(const QString& databasePath)
{
    if (!path_.isEmpty() && path_ == databasePath) return;
    release();

    // The guard first: while a live program anywhere holds it, nothing else is looked at.
    if (!takeGuard(databasePath + QStringLiteral("-guard"))) throw heldElsewhere();

    auto file = std::make_unique<QLockFile>(databasePath + QStringLiteral(".lock"));
    file->setStaleLockTime(0);  // age says nothing about a bank kept open all day
    bool locked = file->tryLock(0);
    if (!locked && file->error() == QLockFile::LockFailedError) {
        // QLockFile has already removed a lock of a process that no longer runs on this computer.
        // A lock written on another computer is stale here: its program would hold the guard.
        qint64 pid = 0;
        QString host;
        QString application;
        if (file->getLockInfo(&pid, &host, &application) && !host.isEmpty() && host != QSysInfo::machineHostName() &&
            file->removeStaleLockFile()) {
            locked = file->tryLock(0);
        }
        if (!locked) {
            releaseGuard();
            throw heldElsewhere();
        }
    }
    // A folder where no lock file can be written (read-only media) is opened without one.
    if (locked) file_ = std::move(file);
    path_ = databasePath;
}

void BankLock::release()
{
    if (file_) {
        file_->unlock();
        file_.reset();
    }
    releaseGuard();
    path_.clear();
}

bool BankLock::takeGuard(const QString& guardPath)
{
    static QAtomicInt counter;
    guardConnection_ = QStringLiteral("ExavoroBankGuard%1").arg(counter.fetchAndAddRelaxed(1));
    bool held = true;
    {
        QSqlDatabase guard = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), guardConnection_);
        guard.setDatabaseName(guardPath);
        guard.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=0"));
        if (guard.open()) {
            // An exclusive transaction that is never ended: no other connection, in this process
            // or another, can begin one until this connection closes or its process ends.
            // The guard holds no data: its journal stays in memory, so no file is left beside it.
            QSqlQuery(guard).exec(QStringLiteral("PRAGMA journal_mode=MEMORY"));
            QSqlQuery begin(guard);
            if (!begin.exec(QStringLiteral("BEGIN EXCLUSIVE"))) {
                const QString code = begin.lastError().nativeErrorCode();
                // SQLITE_BUSY (5) or SQLITE_LOCKED (6): another program holds it. Anything else
                // (a read-only folder) leaves the lock file as the only mark.
                held = !(code == QLatin1String("5") || code == QLatin1String("6"));
                guard.close();
            }
        }
    }
    if (!held) releaseGuard();
    return held;
}

void BankLock::releaseGuard()
{
    if (guardConnection_.isEmpty()) return;
    {
        QSqlDatabase guard = QSqlDatabase::database(guardConnection_, false);
        if (guard.isOpen()) {
            QSqlQuery(guard).exec(QStringLiteral("ROLLBACK"));
            guard.close();
        }
    }
    QSqlDatabase::removeDatabase(guardConnection_);
    guardConnection_.clear();
}
