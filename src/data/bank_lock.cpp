#include "data/bank_lock.h"

#include "data/errors.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

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

    // The lock file: flock tells whether a program on this computer holds it (an older version of
    // this program holds it through QLockFile, which takes the same lock). A file left by a program
    // that ended, here or on another computer, is taken over: its holder would still hold the guard.
    const QString lockPath = databasePath + QStringLiteral(".lock");
    const int fd = ::open(QFile::encodeName(lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    // A folder where no lock file can be written (read-only media) is opened without one.
    if (fd >= 0) {
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            releaseGuard();
            throw heldElsewhere();
        }
        // What QLockFile writes, so that any program judging the file by its contents finds this
        // one running: process id, program, host name and the computer's id.
        const QByteArray info = QByteArray::number(QCoreApplication::applicationPid()) + '\n' +
                                QCoreApplication::applicationName().toUtf8() + '\n' +
                                QSysInfo::machineHostName().toUtf8() + '\n' + QSysInfo::machineUniqueId() + '\n';
        // Without its description (a full disk) the lock is held all the same.
        if (::ftruncate(fd, 0) == 0) {
            [[maybe_unused]] const ssize_t written = ::pwrite(fd, info.constData(), size_t(info.size()), 0);
        }
        fd_ = fd;
        lockPath_ = lockPath;
    }
    path_ = databasePath;
}

void BankLock::release()
{
    if (fd_ >= 0) {
        // Removed while still held, so that no program takes a lock on a file about to go.
        ::unlink(QFile::encodeName(lockPath_).constData());
        ::close(fd_);
        fd_ = -1;
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
