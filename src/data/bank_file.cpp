#include "data/bank_file.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAtomicInt>
#include <QFile>
#include <QHash>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <cerrno>
#include <cstring>

#include "data/errors.h"
#include "data/schema.h"
#include "data/sql.h"

namespace bank_file {

void harden(sqlite3* handle)
{
    if (!handle) return;
    // Defensive mode: no writable_schema, no journal_mode=OFF tricks, no direct edits of the
    // schema table. Untrusted schema: a view, trigger or index of the file may call only
    // functions that cannot do harm. Views: the program uses none, so a file's view can be
    // neither read nor put in the place of a table.
    sqlite3_db_config(handle, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(handle, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_db_config(handle, SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
}

void harden(const QSqlDatabase& db)
{
    if (!db.isOpen() || !db.driver()) return;
    const QVariant handle = db.driver()->handle();
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0) {
        harden(*static_cast<sqlite3* const*>(handle.data()));
    }
}

void trustCheckedSchema(const QSqlDatabase& db)
{
    if (!db.isOpen() || !db.driver()) return;
    const QVariant handle = db.driver()->handle();
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0) {
        sqlite3_db_config(*static_cast<sqlite3* const*>(handle.data()), SQLITE_DBCONFIG_TRUSTED_SCHEMA, 1, nullptr);
    }
}

const char* const kSchemaQuery = "SELECT type, name, tbl_name, sql FROM sqlite_master";

namespace {

QString keyOf(const SchemaObject& o)
{
    return o.type + QLatin1Char('\n') + o.name;
}

// Every object a bank of this program holds, as SQLite records it: made once by creating a bank
// in memory with the program's own statements. Objects that earlier versions made and later ones
// no longer make stay acceptable, since banks of those versions still open.
const QHash<QString, SchemaObject>& ownObjects()
{
    static const QHash<QString, SchemaObject> objects = [] {
        QHash<QString, SchemaObject> own;
        static QAtomicInt counter;
        const QString name = QStringLiteral("exavoro-own-schema-%1").arg(counter.fetchAndAddRelaxed(1));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(QStringLiteral(":memory:"));
            if (db.open()) {
                schema::create(db);
                QSqlQuery q(db);
                q.exec(QString::fromLatin1(kSchemaQuery));
                while (q.next()) {
                    const SchemaObject o{q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                                         q.value(3).toString()};
                    own.insert(keyOf(o), o);
                }
                q.finish();
                sql::releaseStatements(db);
                db.close();
            }
        }
        QSqlDatabase::removeDatabase(name);
        const SchemaObject earlier[] = {
            // The list index of question entry replaced this one; older banks still have it.
            {QStringLiteral("index"), QStringLiteral("stb_kmh_txh"), QStringLiteral("stb"),
             QStringLiteral("CREATE INDEX stb_kmh_txh ON stb (kmh, txh)")},
            // SQLite's own statistics tables, made by ANALYZE or PRAGMA optimize in any tool.
            {QStringLiteral("table"), QStringLiteral("sqlite_stat1"), QStringLiteral("sqlite_stat1"),
             QStringLiteral("CREATE TABLE sqlite_stat1(tbl,idx,stat)")},
            {QStringLiteral("table"), QStringLiteral("sqlite_stat4"), QStringLiteral("sqlite_stat4"),
             QStringLiteral("CREATE TABLE sqlite_stat4(tbl,idx,neq,nlt,ndlt,sample)")},
        };
        for (const SchemaObject& o : earlier) own.insert(keyOf(o), o);
        return own;
    }();
    return objects;
}

QString kindName(const QString& type)
{
    if (type == QLatin1String("table")) return QStringLiteral("数据表");
    if (type == QLatin1String("index")) return QStringLiteral("索引");
    if (type == QLatin1String("trigger")) return QStringLiteral("触发器");
    if (type == QLatin1String("view")) return QStringLiteral("视图");
    return QStringLiteral("对象");
}

// A name as it may be shown: at most 60 characters, control characters replaced.
QString shown(const QString& name)
{
    QString out = name.left(60);
    for (QChar& c : out) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format) c = QLatin1Char('?');
    }
    return name.size() > 60 ? out + QStringLiteral("…") : out;
}

// A table as an older version created it, before a column was added (an upgrade adds it).
bool isEarlierTable(const SchemaObject& o)
{
    return o.type == QLatin1String("table") && o.table == o.name &&
           schema::earlierTableStatements().contains(o.sql) &&
           o.sql.startsWith(QStringLiteral("CREATE TABLE ") + o.name + QLatin1Char(' '));
}

}  // namespace

QStringList foreignObjects(const QVector<SchemaObject>& found)
{
    const QHash<QString, SchemaObject>& own = ownObjects();
    QStringList foreign;
    for (const SchemaObject& o : found) {
        const auto it = own.constFind(keyOf(o));
        if (it == own.cend()) {
            foreign << QStringLiteral("%1“%2”不是本程序建立的").arg(kindName(o.type), shown(o.name));
        } else if ((it->sql != o.sql || it->table != o.table) && !isEarlierTable(o)) {
            foreign << QStringLiteral("%1“%2”的定义与本程序建立的不同").arg(kindName(o.type), shown(o.name));
        }
    }
    return foreign;
}

QStringList foreignObjects(const QSqlDatabase& db)
{
    QVector<SchemaObject> found;
    sql::Reader q(db, QString::fromLatin1(kSchemaQuery));
    while (q.next()) found.append({q.text(0), q.text(1), q.text(2), q.text(3)});
    return foreignObjects(found);
}

QString sizeProblem(const QString& path, qint64 pageCount, qint64 pageSize)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return {};
    const qint64 size = st.st_size;
    const qint64 onDisk = qint64(st.st_blocks) * 512;
    // A sparse file reads as zeros where nothing was written: every copy of it is written out in
    // full. SQLite never leaves holes in a bank.
    if (size > (8 << 20) && onDisk < size / 2) {
        return QStringLiteral("文件大小（%1 MB）与它在磁盘上实际占用的空间（%2 MB）不符，这不是一个正常的题库文件。")
            .arg(size >> 20)
            .arg(onDisk >> 20);
    }
    // A bank's size is its pages; bytes beyond the last page belong to no bank.
    if (pageCount > 0 && pageSize > 0 && size > pageCount * pageSize + pageSize) {
        return QStringLiteral("文件大小（%1 字节）超出了题库的数据页（%2 页，每页 %3 字节），文件末尾有多余的数据。")
            .arg(size)
            .arg(pageCount)
            .arg(pageSize);
    }
    return {};
}

void createPrivate(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
        return;
    }
    if (errno == EEXIST) return;
    throw AppError(QStringLiteral("无法建立文件“%1”：%2").arg(path, QString::fromLocal8Bit(strerror(errno))));
}

void copyAccess(const QString& model, const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(model).constData(), &st) != 0) return;
    const QByteArray target = QFile::encodeName(path);
    // The owner first: changing it may clear set-id bits, which the mode then sets as they were.
    if (::geteuid() == 0) {
        if (::chown(target.constData(), st.st_uid, st.st_gid) != 0) {
            // A file system without owners (a USB stick) keeps the one it has.
        }
    }
    ::chmod(target.constData(), st.st_mode & 07777);
}

void makePrivate(const QString& path)
{
    ::chmod(QFile::encodeName(path).constData(), 0600);
}

}  // namespace bank_file
