#include "data/data_module.h"

#include "data/bank_file.h"

#include "data/engine.h"
#include "data/errors.h"
#include "data/schema.h"
#include "data/session.h"
#include "data/sql.h"
#include "data/picture_refs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>

#ifdef Q_OS_UNIX
#include <sys/stat.h>

TDM* DM = nullptr;
#endif

TDM::TDM(QObject* parent) : QObject(parent)
{
    setObjectName(QStringLiteral("DM"));
    auto make = [this](const char* name) {
        auto* ds = new Dataset(QString::fromLatin1(name), this);
        ds->setConnectionName(connectionName());
        return ds;
    };
    ADOKmb = make("ADOKmb");
    ADOTxb = make("ADOTxb");
    ADOZjb = make("ADOZjb");
    ADOStb = make("ADOStb");
    ADOQuerySt = make("ADOQuerySt");
    ADOSjb = make("ADOSjb");
    ADOQuery1 = make("ADOQuery1");
    AdoMmb = make("AdoMmb");
}

TDM::~TDM()
{
    for (Dataset* ds : findChildren<Dataset*>()) ds->close();
    if (QSqlDatabase::contains(connectionName())) {
        QSqlDatabase conn = QSqlDatabase::database(connectionName(), false);
        sql::releaseStatements(conn);
        engine::closeConnection(conn);
        conn = QSqlDatabase();
        QSqlDatabase::removeDatabase(connectionName());
    }
}

QString TDM::defaultDatabasePath()
{
    return QDir::current().absoluteFilePath(QStringLiteral("Data/examdb.db"));
}

QSqlDatabase TDM::db() const
{
    return QSqlDatabase::database(connectionName(), false);
}

bool TDM::isConnected() const
{
    return QSqlDatabase::contains(connectionName()) && db().isOpen();
}

void TDM::disconnectFromBank()
{
    closeConnection();
    lock_.release();
}

void TDM::closeConnection()
{
    fileIdentity_.clear();
    for (Dataset* ds : findChildren<Dataset*>()) ds->close();
    if (QSqlDatabase::contains(connectionName())) {
        QSqlDatabase old = QSqlDatabase::database(connectionName(), false);
        sql::releaseStatements(old);
        engine::closeConnection(old);
    }
}

void TDM::connectTo(const QString& absolutePath)
{
    // Logging in again on the file that is open, unchanged and idle keeps its connection: every
    // dataset is read afresh, as after a new connection, but the file is not opened and its tables
    // are not looked at again (the bank's lock has kept other programs off it all along).
    bool sweepDue = false;
    if (keepsFileConnection(absolutePath, &sweepDue)) {
        // Pictures the program has stored or given up since are looked through, as at opening.
        if (sweepDue) sweepPictures(db());
    } else {
        openFile(absolutePath, false);
    }
    openDatasets();
}

bool TDM::openBankAhead(const engine::Location& location) noexcept
{
    // A server is not reached ahead: an unreachable one would hold the login window up.
    if (location.isServer() || location.file.isEmpty()) return false;
    try {
        return keepsFileConnection(location.file) || openFile(location.file, true);
    } catch (...) {
        // Whatever went wrong is reported by the login itself, which opens the file again.
        closeConnection();
        lock_.release();
        return false;
    }
}

bool TDM::keepsFileConnection(const QString& absolutePath, bool* sweepDue) const
{
    if (!server_.isEmpty() || fileIdentity_.isEmpty() || !QSqlDatabase::contains(connectionName())) return false;
    const QSqlDatabase conn = db();
    if (conn.driverName() != QLatin1String("QSQLITE") || !conn.isOpen() || conn.databaseName() != absolutePath ||
        sql::inTransaction(conn) || fileIdentityOf(absolutePath) != fileIdentity_) {
        return false;
    }
    // Anything written to the file by another connection since it was opened (a tool that ignores
    // the lock) may have changed its tables: the file is then opened and checked afresh. The same
    // statement tells whether the file is marked for a search for unused pictures.
    try {
        if (!pictureSweepKept_) {
            return sql::scalar(conn, QStringLiteral("PRAGMA data_version")).toLongLong() == fileDataVersion_;
        }
        sql::Reader q(conn, QStringLiteral("SELECT data_version, EXISTS (SELECT 1 FROM picture_sweep)"
                                           " AND EXISTS (SELECT 1 FROM pictures) FROM pragma_data_version"));
        if (!q.next() || q.int64(0) != fileDataVersion_) return false;
        if (sweepDue) *sweepDue = q.int64(1) != 0;
        return true;
    } catch (const AppError&) {
        return false;
    }
}

void TDM::sweepPictures(const QSqlDatabase& conn)
{
    try {
        picture_refs::removeOrphanPictures(conn);
    } catch (const AppError&) {
        // A read-only file keeps its unused pictures; they harm nothing.
    }
}

QString TDM::fileIdentityOf(const QString& path)
{
#ifdef Q_OS_UNIX
    // The device and the file's number: a file renamed into the path's place (a restored backup,
    // another copy) is another file under the same name.
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return {};
    return QStringLiteral("%1:%2").arg(quint64(st.st_dev)).arg(quint64(st.st_ino));
#else
    Q_UNUSED(path);
    return {};  // never the same: the file is opened afresh at every login
#endif
}

bool TDM::openFile(const QString& absolutePath, bool ahead)
{
    // Disconnect first: every dataset closes, and the old connection goes away. The file's
    // lock is kept when the same file is opened again.
    closeConnection();

    const QFileInfo info(absolutePath);
    if (!info.exists()) {
        throw DataError(QStringLiteral("无法打开数据库“%1”：文件不存在。").arg(absolutePath));
    }
    if (!info.isFile() || !info.isReadable()) {
        throw DataError(QStringLiteral("无法打开数据库“%1”：文件不可读。").arg(absolutePath));
    }
    // An embedded file admits one program at a time (a server database would not need this).
    // The same file reached through another spelling of its path shares the marks.
    const QString canonical = info.canonicalFilePath();
    lock_.acquire(canonical.isEmpty() ? absolutePath : canonical);
    server_.clear();
    dropConnectionOfOtherEngine(QStringLiteral("QSQLITE"));
    // The connection object is kept from one login to the next; only the file is opened afresh.
    QSqlDatabase conn = QSqlDatabase::contains(connectionName())
                            ? QSqlDatabase::database(connectionName(), false)
                            : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName());
    conn.setDatabaseName(absolutePath);
    // A write lock held by some other tool makes a statement wait; a second is as long as a user
    // should wait before the data layer's "database is locked" is reported.
    conn.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=1000"));
    if (!conn.open()) {
        const QString text = conn.lastError().text();
        throw DataError(QStringLiteral("无法打开数据库“%1”：%2").arg(absolutePath, text));
    }
    bank_file::harden(conn);
    // One statement gives the file's tables, its version and whether it stores pictures; it also
    // proves that the file is a database at all. One statement is one read of the file: it is
    // locked and checked for a hot journal once. A file without a picture table (or with one
    // that cannot be read, which is then left alone) is read again without asking for pictures.
    // A file of this version has the columns this program creates; any other file's datasets read
    // their columns from the file.
    int version = 0;
    QStringList present;
    QHash<QString, QString> recorded;  // each table's CREATE statement as the file records it
    QVector<bank_file::SchemaObject> objects;  // everything the file's schema holds
    bool sweepDue = false;
    qint64 dataVersion = -1;  // changes whenever another connection commits to the file
    qint64 pageCount = 0;
    qint64 pageSize = 0;
    static const QString kProbe = QStringLiteral(
        "SELECT 0, name, sql, type, tbl_name FROM sqlite_master"
        " UNION ALL SELECT 1, user_version, NULL, NULL, NULL FROM pragma_user_version"
        " UNION ALL SELECT 3, data_version, NULL, NULL, NULL FROM pragma_data_version"
        " UNION ALL SELECT 4, page_count, NULL, NULL, NULL FROM pragma_page_count"
        " UNION ALL SELECT 5, page_size, NULL, NULL, NULL FROM pragma_page_size");
    // Stored pictures are looked through only when the file is marked as possibly holding unused
    // ones; a file without the mark (an older one) is looked through once it has been given it.
    static const QString kProbeWithPictures =
        kProbe + QStringLiteral(" UNION ALL SELECT 2, EXISTS (SELECT 1 FROM picture_sweep)"
                                " AND EXISTS (SELECT 1 FROM pictures), NULL, NULL, NULL");
    auto probe = [&](const QString& statement) {
        present.clear();
        recorded.clear();
        objects.clear();
        sql::Reader q(conn, statement);
        while (q.next()) {
            switch (q.int64(0)) {
            case 0:
                objects.append({q.text(3), q.text(1), q.text(4), q.text(2)});
                if (q.text(3) != QLatin1String("table")) break;
                present << q.text(1);
                recorded.insert(q.text(1), q.text(2));
                break;
            case 1:
                version = static_cast<int>(q.int64(1));
                break;
            case 3:
                dataVersion = q.int64(1);
                break;
            case 4:
                pageCount = q.int64(1);
                break;
            case 5:
                pageSize = q.int64(1);
                break;
            default:
                sweepDue = q.int64(1) != 0;
            }
        }
    };
    try {
        probe(kProbeWithPictures);
    } catch (const DataError& e) {
        // A file another program holds locked is not read twice (each read waits its turn).
        const int code = e.code().toInt() & 0xff;
        if (code == 5 || code == 6) throw;
        probe(kProbe);
    }
    if (version > schema::kVersion) {
        throw DataError(QStringLiteral("数据库文件的版本（%1）比本程序新，请使用新版程序打开。").arg(version));
    }
    const QString size = bank_file::sizeProblem(absolutePath, pageCount, pageSize);
    if (!size.isEmpty()) throw DataError(QStringLiteral("无法打开数据库“%1”：%2").arg(absolutePath, size));
    if (ahead && !schema::isCurrent(conn, version, present)) {
        // A file of another version, or one lacking tables, is upgraded or refused by the login
        // itself, which the user is then waiting for (filling the kept counts of a large bank
        // takes a second).
        closeConnection();
        lock_.release();
        return false;
    }
    // A file this program wrote must have every column it writes, whatever its version; the
    // check comes before anything is written to the file.
    if (version >= 1) checkColumns(conn, recorded, version);
    // Nothing of the file runs before its schema is known to be the program's own: a trigger or
    // view someone added would run with the rights of whoever logs in next.
    const QStringList foreign = bank_file::foreignObjects(objects);
    if (!foreign.isEmpty()) {
        throw DataError(QStringLiteral("数据库“%1”含有不是本程序建立的内容，为安全起见不能打开：\n%2\n"
                                       "可以用“exavoro-db repair”生成去掉这些内容的副本。")
                            .arg(absolutePath, foreign.mid(0, 10).join(QLatin1Char('\n'))));
    }
    // Only now may the program's own triggers keep the search index (an FTS5 table).
    bank_file::trustCheckedSchema(conn);
    // A bank written by an older version of this program gets the newer tables at once, in one
    // transaction; then pictures no question places any more (their questions were deleted) go.
    try {
        if (schema::upgrade(conn, version, present)) version = schema::kVersion;
        questionCountsKept_ = version == schema::kVersion;
        pictureSweepKept_ = version == schema::kVersion;
    } catch (const AppError&) {
        // A read-only or busy file opens as it is; what needs the newer tables reports it then.
        questionCountsKept_ = present.contains(schema::kQuestionCounts);
        pictureSweepKept_ = present.contains(schema::kPictureSweep);
    }
    fileColumns_.clear();
    if (version == schema::kVersion) {
        // The search for unused pictures reads every text: on a large bank it is left to the
        // login, which the user waits for, rather than done while the login window takes input.
        if (sweepDue && !ahead) sweepPictures(conn);
        for (const QString& table : present) fileColumns_.insert(table, schema::columns(table));
    }

    fileIdentity_ = fileIdentityOf(absolutePath);
    fileDataVersion_ = dataVersion;
    return true;
}

void TDM::openDatasets()
{
    for (Dataset* ds : findChildren<Dataset*>()) ds->close();
    const std::pair<Dataset*, const char*> tables[] = {{ADOKmb, "kmb"}, {ADOTxb, "txb"}, {ADOZjb, "zjb"},
                                                       {ADOStb, "stb"}, {ADOSjb, "sjb"}, {AdoMmb, "mmb"}};
    for (const auto& [ds, table] : tables) {
        ds->setTableName(QString::fromLatin1(table));
        // A table missing from the file is left to open() to report.
        ds->setKnownColumns(fileColumns_.value(QString::fromLatin1(table)));
        ds->open();
    }
}

void TDM::dropConnectionOfOtherEngine(const QString& driver)
{
    if (QSqlDatabase::contains(connectionName()) &&
        QSqlDatabase::database(connectionName(), false).driverName() != driver) {
        QSqlDatabase::removeDatabase(connectionName());
    }
}

bool TDM::keepsServerSession(const QString& uri, const QString& role) const
{
    // Another user logging in gets a session of their own role, with their own rights.
    if (server_ != uri || serverRole_ != role || !QSqlDatabase::contains(connectionName())) return false;
    const QSqlDatabase conn = db();
    return conn.driverName() == QLatin1String("QPSQL") && conn.isOpen() && !engine::connectionLost(conn) &&
           !sql::inTransaction(conn);
}

void TDM::connectToServer(const QString& uri, const engine::Credentials* who)
{
    // A server session is a process on the server and costs far more to start than a file costs to
    // open: logging in again on the same server keeps the session (and the paper being composed in
    // it), checked afresh. A session the server has ended since is replaced by a new one.
    bool keep = keepsServerSession(uri, who ? who->role : QString());
    try {
        openServerBank(uri, keep, who);
    } catch (const DataError& e) {
        if (!keep || !e.connectionLost()) throw;
        keep = false;
        openServerBank(uri, keep, who);
    }
}

void TDM::openServerBank(const QString& uri, bool keepSession, const engine::Credentials* who)
{
    if (keepSession) {
        for (Dataset* ds : findChildren<Dataset*>()) ds->close();
    } else {
        closeConnection();
        lock_.release();  // a server keeps its own data safe from many programs at once
        server_.clear();
        dropConnectionOfOtherEngine(QStringLiteral("QPSQL"));
    }
    if (!keepSession) serverRole_.clear();
    QSqlDatabase conn = keepSession ? db()
                        : who       ? engine::openServer(connectionName(), uri, *who)
                                    : engine::openServer(connectionName(), uri);
    const std::pair<Dataset*, const char*> tables[] = {{ADOKmb, "kmb"}, {ADOTxb, "txb"}, {ADOZjb, "zjb"},
                                                       {ADOStb, "stb"}, {ADOSjb, "sjb"}, {AdoMmb, "mmb"}};
    try {
        const QStringList present = engine::tables(conn);
        const int version = engine::schemaVersion(conn, present);
        if (version == 0) {
            throw DataError(QStringLiteral("数据库服务器上的数据库“%1”中还没有题库，请先由管理员用"
                                           "“exavoro-db init --server 地址 --admin 用户名”建立。")
                                .arg(engine::describeServer(uri)));
        }
        if (version > schema::kVersion) {
            throw DataError(QStringLiteral("数据库服务器上题库的版本（%1）比本程序新，请使用新版程序连接。").arg(version));
        }
        if (version < schema::kVersion) {
            // An older bank is brought up to date by the first program whose role may change its
            // tables (the one that created them); others are told to wait for that.
            try {
                schema::upgrade(conn, version, present);
            } catch (const DataError& e) {
                if (e.connectionLost()) throw;
                throw DataError(QStringLiteral("数据库服务器上题库的版本（%1）比本程序旧，请管理员先用本程序登录一次以升级"
                                               "服务器上的题库。")
                                    .arg(version));
            }
        }
        // The datasets know their columns without asking the server, so a shared table that is
        // missing is reported here, as a file's is when its dataset opens (sjb is the session's own).
        for (const auto& [ds, table] : tables) {
            if (qstrcmp(table, "sjb") != 0 && !present.contains(QString::fromLatin1(table))) {
                throw DataError(QStringLiteral("数据库中没有数据表“%1”。").arg(QString::fromLatin1(table)));
            }
        }
        // As with a file, a bank of this version gets the tables added since its first version
        // (the recycle bin, the paper library) when it lacks them.
        try {
            schema::addMissingTables(conn, present);
            questionCountsKept_ = true;
        } catch (const DataError& e) {
            // A role without the right to create tables works on as it is; what needs the newer
            // tables reports it then. A broken connection is reported now.
            if (e.connectionLost()) throw;
            questionCountsKept_ = present.contains(schema::kQuestionCounts);
        }
        if (!keepSession) {
            // Each program composes its papers in tables of its own session; they are set up
            // again whenever a broken connection is reopened.
            sql::setSessionSetup([](QSqlDatabase& db) {
                if (db.connectionName() == connectionName()) session::prepare(db);
            });
            session::prepare(conn);
        }
    } catch (...) {
        engine::closeConnection(conn);
        server_.clear();
        throw;
    }
    server_ = uri;
    serverRole_ = who ? who->role : QString();
    for (const auto& [ds, table] : tables) {
        ds->close();
        ds->setTableName(QString::fromLatin1(table));
        ds->setKnownColumns(schema::columns(QString::fromLatin1(table)));
        ds->open();
    }
}

void TDM::connectToBank(const engine::Location& location, const engine::Credentials* who)
{
    if (location.isServer()) {
        connectToServer(location.server, who);
    } else {
        connectTo(location.file);
    }
}

engine::Location TDM::location() const
{
    engine::Location here;
    if (!server_.isEmpty()) {
        here.server = server_;
    } else if (isConnected()) {
        here.file = db().databaseName();
    }
    return here;
}

void TDM::checkColumns(const QSqlDatabase& conn, const QHash<QString, QString>& recorded, int version)
{
    for (auto it = recorded.cbegin(); it != recorded.cend(); ++it) {
        QStringList expected = schema::columns(it.key());
        // Columns a later version added come with the upgrade that follows.
        for (const QString& added : schema::columnsAddedAfter(it.key(), version)) expected.removeAll(added);
        // The statement this program writes names exactly these columns; only a table created or
        // altered otherwise has its columns listed.
        if (expected.isEmpty() || it.value() == schema::createStatement(it.key())) continue;
        QStringList found;
        for (const QString& name :
             sql::column(conn, QStringLiteral("SELECT name FROM pragma_table_info(?)"), {it.key()})) {
            found << name.toLower();
        }
        for (const QString& column : expected) {
            if (!found.contains(column.toLower())) {
                throw DataError(QStringLiteral("数据表“%1”缺少字段“%2”：数据库文件已损坏或被其他程序改动，无法打开。")
                                    .arg(it.key(), column));
            }
        }
    }
}

void TDM::refreshAll(std::initializer_list<Dataset*> touched)
{
    for (Dataset* ds : touched) {
        if (ds->isActive()) {
            try {
                ds->refresh();
            } catch (const AppError&) {
                // The original error matters more than a failed re-read.
            }
        }
    }
}

void TDM::begin()
{
    QSqlDatabase conn = db();
    sql::begin(conn);
}

void TDM::commit()
{
    QSqlDatabase conn = db();
    sql::commit(conn);
}

void TDM::rollback()
{
    QSqlDatabase conn = db();
    sql::rollback(conn);
}
