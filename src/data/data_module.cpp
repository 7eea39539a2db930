#include "data/data_module.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>

#include "data/errors.h"
#include "data/schema.h"
#include "data/sql.h"

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
        conn.close();
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

void TDM::disconnect()
{
    for (Dataset* ds : findChildren<Dataset*>()) ds->close();
    if (QSqlDatabase::contains(connectionName())) {
        QSqlDatabase old = QSqlDatabase::database(connectionName(), false);
        sql::releaseStatements(old);
        old.close();
    }
}

void TDM::connectTo(const QString& absolutePath)
{
    // Disconnect first: every dataset closes, and the old connection goes away.
    disconnect();

    const QFileInfo info(absolutePath);
    if (!info.exists()) {
        throw DataError(QStringLiteral("无法打开数据库“%1”：文件不存在。").arg(absolutePath));
    }
    if (!info.isFile() || !info.isReadable()) {
        throw DataError(QStringLiteral("无法打开数据库“%1”：文件不可读。").arg(absolutePath));
    }
    // The connection object is kept from one login to the next; only the file is opened afresh.
    QSqlDatabase conn = QSqlDatabase::contains(connectionName())
                            ? QSqlDatabase::database(connectionName(), false)
                            : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName());
    conn.setDatabaseName(absolutePath);
    if (!conn.open()) {
        const QString text = conn.lastError().text();
        throw DataError(QStringLiteral("无法打开数据库“%1”：%2").arg(absolutePath, text));
    }
    // One read gives the file's version and its tables; it also proves that the file is a
    // database at all. A file of this version has the columns this program creates; any other
    // file's datasets read their columns from the file.
    int version = 0;
    QStringList present;
    {
        sql::Reader q(conn, QStringLiteral("SELECT (SELECT user_version FROM pragma_user_version), name "
                                           "FROM sqlite_master WHERE type='table'"));
        while (q.next()) {
            version = static_cast<int>(q.int64(0));
            present << q.text(1);
        }
    }
    if (version > schema::kVersion) {
        throw DataError(QStringLiteral("数据库文件的版本（%1）比本程序新，请使用新版程序打开。").arg(version));
    }
    QHash<QString, QStringList> columns;
    if (version == schema::kVersion) {
        for (const QString& table : present) columns.insert(table, schema::columns(table));
    }

    const std::pair<Dataset*, const char*> tables[] = {{ADOKmb, "kmb"}, {ADOTxb, "txb"}, {ADOZjb, "zjb"},
                                                       {ADOStb, "stb"}, {ADOSjb, "sjb"}, {AdoMmb, "mmb"}};
    for (const auto& [ds, table] : tables) {
        ds->close();
        ds->setTableName(QString::fromLatin1(table));
        // A table missing from the file is left to open() to report.
        ds->setKnownColumns(columns.value(QString::fromLatin1(table)));
        ds->open();
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
