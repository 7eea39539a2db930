#include "data/backup.h"

#include "data/bank_lock.h"
#include "data/bank_file.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>
#include <QTemporaryFile>
#include <QThread>
#include <QVector>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "data/errors.h"
#include "data/schema.h"

namespace backup {

namespace {

const char* const kTables[] = {"kmb", "txb", "zjb", "stb", "sjb", "mmb"};

// One raw SQLite connection, closed when it goes out of scope.
class Connection {
public:
    Connection(const QString& path, int flags)
    {
        rc_ = sqlite3_open_v2(QFile::encodeName(path).constData(), &db_, flags, nullptr);
        if (db_) sqlite3_busy_timeout(db_, 10000);
        if (rc_ == SQLITE_OK) bank_file::harden(db_);
    }
    ~Connection() { sqlite3_close_v2(db_); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    bool ok() const { return rc_ == SQLITE_OK; }
    sqlite3* handle() const { return db_; }
    QString message() const { return db_ ? QString::fromUtf8(sqlite3_errmsg(db_)) : QStringLiteral("内存不足"); }

    // Runs a statement and returns the first column of every row; throws AppError with `what`.
    QStringList rows(const char* statement, const QString& bind = QString()) const
    {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db_, statement, -1, &stmt, nullptr) != SQLITE_OK) throw AppError(message());
        if (!bind.isNull()) {
            const QByteArray utf8 = bind.toUtf8();
            sqlite3_bind_text(stmt, 1, utf8.constData(), utf8.size(), SQLITE_TRANSIENT);
        }
        QStringList out;
        int rc = SQLITE_ROW;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
            out << QString::fromUtf8(text ? text : "");
        }
        sqlite3_finalize(stmt);
        if (rc != SQLITE_DONE) throw AppError(message());
        return out;
    }
    // The file's schema, every object with its definition.
    QVector<bank_file::SchemaObject> schemaObjects() const
    {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db_, bank_file::kSchemaQuery, -1, &stmt, nullptr) != SQLITE_OK) throw AppError(message());
        QVector<bank_file::SchemaObject> out;
        auto text = [&](int column) {
            const auto* value = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
            return value ? QString::fromUtf8(value) : QString();
        };
        int rc = SQLITE_ROW;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) out.append({text(0), text(1), text(2), text(3)});
        sqlite3_finalize(stmt);
        if (rc != SQLITE_DONE) throw AppError(message());
        return out;
    }
    void run(const char* statement) const
    {
        if (sqlite3_exec(db_, statement, nullptr, nullptr, nullptr) != SQLITE_OK) throw AppError(message());
    }

private:
    sqlite3* db_ = nullptr;
    int rc_ = SQLITE_ERROR;
};

QString stamp(const QDateTime& at = QDateTime::currentDateTime())
{
    return at.toString(QStringLiteral("yyyyMMdd-HHmmss"));
}

// `stem` + `extension`, or with -2, -3 … before the extension when that name is taken.
QString uniqueName(const QString& stem, const QString& extension)
{
    QString name = stem + extension;
    for (int n = 2; QFileInfo::exists(name); ++n) name = QStringLiteral("%1-%2%3").arg(stem).arg(n).arg(extension);
    return name;
}

void syncPath(const QString& path, bool directory)
{
    const int fd = ::open(QFile::encodeName(path).constData(), directory ? (O_RDONLY | O_DIRECTORY) : O_RDONLY);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// Copies the bytes of the database open in `src`, which holds a read transaction, into the file
// `target`. While the read transaction lasts no other connection can write the file (a writer
// needs it to itself to write it back), so the bytes are one consistent state of the bank, and
// they are copied as fast as the disk reads them. They are read through SQLite's own handle of the
// file: a second descriptor of it, once closed, would drop every lock this process holds on the
// file, SQLite's included. False, with nothing done, for a bank in write-ahead-log mode (part of
// its state is in the log) or when SQLite gives no handle; the page-by-page copy serves then.
bool copyFileBytes(const Connection& src, const QString& target, const Progress& progress)
{
    if (src.rows("PRAGMA journal_mode").value(0).compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0) return false;
    sqlite3_file* file = nullptr;
    if (sqlite3_file_control(src.handle(), "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || !file ||
        !file->pMethods) {
        return false;
    }
    sqlite3_int64 size = 0;
    if (file->pMethods->xFileSize(file, &size) != SQLITE_OK) return false;
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        throw AppError(QStringLiteral("无法写入文件“%1”：%2").arg(target, out.errorString()));
    }
    constexpr qint64 kChunk = 4 << 20;
    QByteArray buffer(kChunk, Qt::Uninitialized);
    for (sqlite3_int64 at = 0; at < size; at += kChunk) {
        const int n = int(std::min<sqlite3_int64>(kChunk, size - at));
        const int rc = file->pMethods->xRead(file, buffer.data(), n, at);
        if (rc != SQLITE_OK) {
            throw AppError(QStringLiteral("备份没有完成：无法读取题库文件（%1）").arg(QString::fromUtf8(sqlite3_errstr(rc))));
        }
        if (out.write(buffer.constData(), n) != n) {
            const bool full = out.error() == QFileDevice::ResourceError || errno == ENOSPC;
            throw AppError(QStringLiteral("备份没有完成：%1")
                               .arg(full ? QStringLiteral("磁盘已满") : out.errorString()));
        }
        if (progress) progress(at + n, size);
    }
    if (!out.flush()) throw AppError(QStringLiteral("备份没有完成：%1").arg(out.errorString()));
    out.close();
    if (size == 0 && progress) progress(0, 0);
    return true;
}

// Copies the database `source` into the (empty) file `target` page by page through SQLite's online
// backup. The source connection holds one read transaction for the whole copy, so the copy is one
// consistent state of the bank even while other connections write.
void copyDatabase(const QString& source, const QString& target, const Progress& progress)
{
    Connection src(source, SQLITE_OPEN_READONLY);
    if (!src.ok()) throw AppError(QStringLiteral("无法打开题库文件“%1”：%2").arg(source, src.message()));
    // Pages are read through a memory map rather than copied into the page cache one by one.
    sqlite3_exec(src.handle(), "PRAGMA mmap_size=2147483648", nullptr, nullptr, nullptr);
    try {
        src.run("BEGIN");
        src.rows("SELECT COUNT(*) FROM sqlite_master");
    } catch (const AppError& e) {
        throw AppError(QStringLiteral("无法读取题库文件“%1”：%2").arg(source, e.text()));
    }
    if (copyFileBytes(src, target, progress)) {
        sqlite3_exec(src.handle(), "COMMIT", nullptr, nullptr, nullptr);
        return;
    }
    Connection dst(target, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    if (!dst.ok()) throw AppError(QStringLiteral("无法写入文件“%1”：%2").arg(target, dst.message()));
    // The target is a temporary file that gets its name only after it is complete and synced, so
    // it needs neither a journal nor syncs of its own.
    sqlite3_exec(dst.handle(), "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
    sqlite3_backup* copy = sqlite3_backup_init(dst.handle(), "main", src.handle(), "main");
    if (!copy) throw AppError(QStringLiteral("无法开始备份：%1").arg(dst.message()));
    int rc = SQLITE_OK;
    int chunk = 64;
    int waited = 0;
    while (true) {
        rc = sqlite3_backup_step(copy, chunk);
        const int total = sqlite3_backup_pagecount(copy);
        if (progress) progress(total - sqlite3_backup_remaining(copy), total);
        // About a hundred steps whatever the size, so that progress moves evenly.
        chunk = std::max(64, total / 100);
        if (rc == SQLITE_DONE) break;
        if (rc == SQLITE_OK) continue;
        if ((rc == SQLITE_BUSY || rc == SQLITE_LOCKED) && waited < 200) {
            ++waited;
            QThread::msleep(50);
            continue;
        }
        break;
    }
    sqlite3_backup_finish(copy);
    if (rc != SQLITE_DONE) {
        const QString why = rc == SQLITE_FULL ? QStringLiteral("磁盘已满") : QString::fromUtf8(sqlite3_errstr(rc));
        throw AppError(QStringLiteral("备份没有完成：%1").arg(why));
    }
    sqlite3_exec(src.handle(), "COMMIT", nullptr, nullptr, nullptr);
}

// A temporary file in `folder` that is removed again unless it was put in place.
std::unique_ptr<QTemporaryFile> temporaryIn(const QString& folder)
{
    if (!QDir().mkpath(folder)) throw AppError(QStringLiteral("无法建立文件夹“%1”。").arg(folder));
    auto file = std::make_unique<QTemporaryFile>(QDir(folder).filePath(QStringLiteral(".exavoro-XXXXXX.partial")));
    if (!file->open()) {
        throw AppError(QStringLiteral("无法在文件夹“%1”中写入临时文件：%2").arg(folder, file->errorString()));
    }
    file->close();
    return file;
}

// Gives the finished temporary file its name; an existing file of that name stays untouched.
void placeWithoutOverwrite(QTemporaryFile& temp, const QString& target)
{
    syncPath(temp.fileName(), false);
    const QByteArray from = QFile::encodeName(temp.fileName());
    const QByteArray to = QFile::encodeName(target);
    if (::link(from.constData(), to.constData()) == 0) {
        // The temporary name goes away with the QTemporaryFile; the new name keeps the data.
    } else if (errno == EEXIST) {
        throw AppError(QStringLiteral("文件“%1”已存在，不会覆盖。").arg(target));
    } else {
        // Folders without hard links (e.g. a FAT USB stick): check, then rename.
        if (QFileInfo::exists(target)) throw AppError(QStringLiteral("文件“%1”已存在，不会覆盖。").arg(target));
        if (::rename(from.constData(), to.constData()) != 0) {
            throw AppError(QStringLiteral("无法写入文件“%1”：%2").arg(target, QString::fromLocal8Bit(strerror(errno))));
        }
        temp.setAutoRemove(false);
    }
    syncPath(QFileInfo(target).absolutePath(), true);
}

// Maps the progress of one phase onto a part [from, to) of a scale of 1000.
Progress phase(const Progress& progress, int from, int to)
{
    if (!progress) return {};
    return [progress, from, to](qint64 done, qint64 total) {
        progress(from + (total > 0 ? (to - from) * done / total : 0), 1000);
    };
}

void checkOrphans(const Connection& db, CheckReport& report)
{
    struct Kind {
        const char* count;
        const char* examples;
        const char* text;
    };
    // Each question is reported once: an unknown subject first, then its type and chapter.
    static const Kind kinds[] = {
        {"SELECT COUNT(*) FROM stb WHERE NOT EXISTS (SELECT 1 FROM kmb WHERE kmb.kmh = stb.kmh)",
         "SELECT DISTINCT '科目号 ' || COALESCE(kmh, '（空）') FROM stb "
         "WHERE NOT EXISTS (SELECT 1 FROM kmb WHERE kmb.kmh = stb.kmh) LIMIT 3",
         "%1 道试题属于不存在的科目（%2）"},
        {"SELECT COUNT(*) FROM stb WHERE EXISTS (SELECT 1 FROM kmb WHERE kmb.kmh = stb.kmh) "
         "AND NOT EXISTS (SELECT 1 FROM txb WHERE txb.kmh = stb.kmh AND txb.txh = stb.txh)",
         "SELECT DISTINCT '科目号 ' || stb.kmh || ' 题型号 ' || COALESCE(stb.txh, '（空）') FROM stb "
         "WHERE EXISTS (SELECT 1 FROM kmb WHERE kmb.kmh = stb.kmh) "
         "AND NOT EXISTS (SELECT 1 FROM txb WHERE txb.kmh = stb.kmh AND txb.txh = stb.txh) LIMIT 3",
         "%1 道试题属于不存在的题型（%2）"},
        {"SELECT COUNT(*) FROM stb WHERE EXISTS (SELECT 1 FROM kmb WHERE kmb.kmh = stb.kmh) "
         "AND NOT EXISTS (SELECT 1 FROM zjb WHERE zjb.kmh = stb.kmh AND zjb.zjh = stb.zjh)",
         "SELECT DISTINCT '科目号 ' || stb.kmh || ' 章节号 ' || COALESCE(stb.zjh, '（空）') FROM stb "
         "WHERE EXISTS (SELECT 1 FROM kmb WHERE kmb.kmh = stb.kmh) "
         "AND NOT EXISTS (SELECT 1 FROM zjb WHERE zjb.kmh = stb.kmh AND zjb.zjh = stb.zjh) LIMIT 3",
         "%1 道试题属于不存在的章节（%2）"},
        {"SELECT COUNT(*) FROM txb WHERE NOT EXISTS (SELECT 1 FROM kmb WHERE kmb.kmh = txb.kmh)",
         "SELECT DISTINCT '科目号 ' || COALESCE(kmh, '（空）') FROM txb "
         "WHERE NOT EXISTS (SELECT 1 FROM kmb WHERE kmb.kmh = txb.kmh) LIMIT 3",
         "%1 个题型属于不存在的科目（%2）"},
        {"SELECT COUNT(*) FROM zjb WHERE NOT EXISTS (SELECT 1 FROM kmb WHERE kmb.kmh = zjb.kmh)",
         "SELECT DISTINCT '科目号 ' || COALESCE(kmh, '（空）') FROM zjb "
         "WHERE NOT EXISTS (SELECT 1 FROM kmb WHERE kmb.kmh = zjb.kmh) LIMIT 3",
         "%1 个章节属于不存在的科目（%2）"},
    };
    for (const Kind& kind : kinds) {
        const int n = db.rows(kind.count).value(0).toInt();
        if (n > 0)
            report.orphans << QString::fromUtf8(kind.text).arg(n).arg(
                db.rows(kind.examples).join(QStringLiteral("、")));
    }
}

}  // namespace

QString lockPath(const QString& bankPath)
{
    return bankPath + QStringLiteral(".lock");
}

QString backupFolder(const QString& bankPath)
{
    return QFileInfo(bankPath).absoluteDir().filePath(QStringLiteral("backup"));
}

QString defaultBackupPath(const QString& bankPath, const QString& prefix)
{
    return uniqueName(QDir(backupFolder(bankPath)).filePath(prefix + QLatin1Char('-') + stamp()),
                      QStringLiteral(".db"));
}

void backupTo(const QString& source, const QString& target, const Progress& progress)
{
    if (!QFileInfo(source).isFile()) throw AppError(QStringLiteral("题库文件“%1”不存在。").arg(source));
    if (QFileInfo::exists(target)) throw AppError(QStringLiteral("文件“%1”已存在，不会覆盖。").arg(target));
    // A bank that is mostly holes would be written out in full.
    const QString size = bank_file::sizeProblem(source, 0, 0);
    if (!size.isEmpty()) throw AppError(QStringLiteral("备份没有完成：%1").arg(size));
    auto temp = temporaryIn(QFileInfo(target).absolutePath());
    copyDatabase(source, temp->fileName(), progress);
    placeWithoutOverwrite(*temp, target);
}

CheckReport check(const QString& path, const Progress& progress)
{
    const QFileInfo info(path);
    if (!info.exists()) throw AppError(QStringLiteral("文件“%1”不存在。").arg(path));
    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
        throw AppError(QStringLiteral("无法读取文件“%1”。").arg(path));
    }
    CheckReport report;
    constexpr int kSteps = 4;
    auto step = [&](int done) {
        if (progress) progress(done, kSteps);
    };
    step(0);
    // SQLite takes an empty file for an empty database; a bank always starts with the header.
    const QByteArray header = file.read(16);
    file.close();
    if (header != QByteArray("SQLite format 3\0", 16)) {
        report.damage << QStringLiteral("这个文件不是题库文件（不是 SQLite 数据库）。");
        return report;
    }
    Connection db(path, SQLITE_OPEN_READONLY);
    if (!db.ok()) {
        report.damage << QStringLiteral("无法作为数据库打开：%1").arg(db.message());
        return report;
    }
    step(1);
    // A file that is mostly holes, or longer than its pages, is refused before anything reads it
    // through: its integrity check alone would read gigabytes of zeros.
    qint64 pageCount = 0;
    qint64 pageSize = 0;
    try {
        pageCount = db.rows("PRAGMA page_count").value(0).toLongLong();
        pageSize = db.rows("PRAGMA page_size").value(0).toLongLong();
    } catch (const AppError&) {
        // A damaged schema is reported by the integrity check; holes are found without it.
    }
    const QString size = bank_file::sizeProblem(path, pageCount, pageSize);
    if (!size.isEmpty()) {
        report.damage << size;
        return report;
    }
    try {
        const QStringList lines = db.rows("PRAGMA integrity_check(20)");
        if (lines != QStringList{QStringLiteral("ok")}) {
            for (const QString& line : lines) report.damage << QStringLiteral("完整性检查：%1").arg(line);
        }
    } catch (const AppError& e) {
        report.damage << QStringLiteral("完整性检查失败：%1").arg(e.text());
        return report;
    }
    step(2);
    try {
        report.version = db.rows("PRAGMA user_version").value(0).toInt();
        if (report.version > schema::kVersion) {
            report.damage
                << QStringLiteral("数据库文件的版本（%1）比本程序新，请使用新版程序打开。").arg(report.version);
        }
        const QStringList tables = db.rows("SELECT name FROM sqlite_master WHERE type = 'table'");
        for (const char* t : kTables) {
            const QString table = QString::fromLatin1(t);
            if (!tables.contains(table)) {
                report.damage << QStringLiteral("缺少数据表 %1，这不是本程序的题库。").arg(table);
                continue;
            }
            const QStringList present = db.rows("SELECT name FROM pragma_table_info(?)", table);
            QStringList missing;
            for (const QString& column : schema::columns(table)) {
                if (!present.contains(column, Qt::CaseInsensitive)) missing << column;
            }
            if (!missing.isEmpty()) {
                report.damage
                    << QStringLiteral("数据表 %1 缺少字段：%2").arg(table, missing.join(QStringLiteral("、")));
            }
        }
        // Only what this program creates may be in a bank: a trigger or view added by someone else
        // would run with the rights of whoever next works on the bank.
        for (const QString& line : bank_file::foreignObjects(db.schemaObjects())) {
            report.damage << line + QStringLiteral("（可以用 exavoro-db repair 生成去掉它的副本）");
        }
    } catch (const AppError& e) {
        report.damage << QStringLiteral("无法读取数据表的结构：%1").arg(e.text());
    }
    step(3);
    if (report.damage.isEmpty()) {
        try {
            checkOrphans(db, report);
        } catch (const AppError& e) {
            report.damage << QStringLiteral("无法检查孤立的记录：%1").arg(e.text());
        }
    }
    step(4);
    return report;
}

QString restore(const QString& bankPath, const QString& file, const Progress& progress)
{
    const QString bank = QFileInfo(bankPath).absoluteFilePath();
    const QString source = QFileInfo(file).absoluteFilePath();
    if (QFileInfo(source).canonicalFilePath() == QFileInfo(bank).canonicalFilePath() && QFileInfo::exists(bank)) {
        throw AppError(QStringLiteral("不能用题库文件自身来恢复题库。"));
    }
    const QString folder = QFileInfo(bank).absolutePath();
    if (!QDir().mkpath(folder)) throw AppError(QStringLiteral("无法建立文件夹“%1”。").arg(folder));

    // The marks a running program holds on its bank (a lock left by a program that has ended is
    // taken over); they are held until the bank has been replaced.
    BankLock lock;
    try {
        lock.acquire(bank);
    } catch (const DataError& e) {
        throw AppError(QStringLiteral("不能恢复题库：%1").arg(e.text()));
    }

    const CheckReport report = check(source, phase(progress, 0, 500));
    if (!report.usable()) {
        throw AppError(QStringLiteral("文件“%1”不能用来恢复题库，题库没有改变：\n%2")
                           .arg(source, report.damage.join(QLatin1Char('\n'))));
    }
    auto temp = temporaryIn(folder);
    copyDatabase(source, temp->fileName(), phase(progress, 500, 1000));
    // The restored bank is used by whoever used the bank it replaces (a folder several accounts
    // share): it takes that bank's permissions and owner, not the temporary file's.
    bank_file::copyAccess(bank, temp->fileName());
    syncPath(temp->fileName(), false);

    QString kept;
    if (QFileInfo::exists(bank)) {
        kept = uniqueName(bank + QStringLiteral(".before-restore-") + stamp(), QString());
        // The previous bank keeps its bytes under the new name (a hard link, or a copy where the
        // folder has none); its journal files go with it, so that they never apply to the new bank.
        const QByteArray from = QFile::encodeName(bank);
        const QByteArray to = QFile::encodeName(kept);
        if (::link(from.constData(), to.constData()) != 0 && !QFile::copy(bank, kept)) {
            throw AppError(QStringLiteral("无法保留原来的题库（%1），题库没有改变。").arg(kept));
        }
        for (const QString& suffix : {QStringLiteral("-journal"), QStringLiteral("-wal"), QStringLiteral("-shm")}) {
            if (QFileInfo::exists(bank + suffix) && !QFile::rename(bank + suffix, kept + suffix)) {
                throw AppError(QStringLiteral("无法移走原来题库的日志文件“%1”，题库没有改变。").arg(bank + suffix));
            }
        }
    }
    if (::rename(QFile::encodeName(temp->fileName()).constData(), QFile::encodeName(bank).constData()) != 0) {
        throw AppError(
            QStringLiteral("无法替换题库文件：%1。原来的题库没有改变。").arg(QString::fromLocal8Bit(strerror(errno))));
    }
    // The kept bank holds password hashes and is nobody's working file any more: its owner's only.
    if (!kept.isEmpty()) bank_file::makePrivate(kept);
    temp->setAutoRemove(false);
    syncPath(folder, true);
    return kept;
}

QString settingsPath(const QString& bankPath)
{
    return QFileInfo(bankPath).absoluteDir().filePath(QStringLiteral("exavoro.ini"));
}

int automaticBackupsKept(const QString& bankPath)
{
    QSettings settings(settingsPath(bankPath), QSettings::IniFormat);
    bool ok = false;
    const int keep = settings.value(QStringLiteral("backup/keep"), 7).toInt(&ok);
    return ok && keep >= 0 ? keep : 7;
}

bool automaticBackupDue(const QString& bankPath, const QDate& today)
{
    if (automaticBackupsKept(bankPath) == 0) return false;
    const QString todays = QStringLiteral("examdb-auto-%1-*.db").arg(today.toString(QStringLiteral("yyyyMMdd")));
    return QDir(backupFolder(bankPath)).entryList({todays}, QDir::Files).isEmpty();
}

AutoResult automaticBackup(const QString& bankPath, const QDate& today, const Progress& progress)
{
    AutoResult result;
    if (!automaticBackupDue(bankPath, today)) return result;
    const QDir folder(backupFolder(bankPath));
    const QString stem = folder.filePath(
        QStringLiteral("examdb-auto-%1-%2")
            .arg(today.toString(QStringLiteral("yyyyMMdd")), QTime::currentTime().toString(QStringLiteral("HHmmss"))));
    result.written = uniqueName(stem, QStringLiteral(".db"));
    backupTo(bankPath, result.written, progress);
    // Names sort by date and time; only automatic backups are ever removed.
    const QStringList all =
        folder.entryList({QStringLiteral("examdb-auto-*.db")}, QDir::Files, QDir::Name | QDir::Reversed);
    const int keep = automaticBackupsKept(bankPath);
    for (int i = keep; i < all.size(); ++i) {
        if (QFile::remove(folder.filePath(all.at(i)))) result.removed << folder.filePath(all.at(i));
    }
    return result;
}

}  // namespace backup
