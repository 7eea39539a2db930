#include "data/engine.h"

#include "data/errors.h"
#include "data/sql.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLibrary>
#include <QRegularExpression>
#include <QSet>
#include <QSettings>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUrl>
#include <QUrlQuery>

#include <libpq-fe.h>

#include <cstdlib>
#include <vector>

namespace engine {

// libpq is loaded when a server is first used, not when the program starts: linked into the
// program it would bring some twenty libraries (TLS, Kerberos, LDAP) into every start, also of a
// teacher who only ever opens a bank file. Qt's PostgreSQL driver has loaded it by the time a
// server connection exists.
#define EXAVORO_LIBPQ_FUNCTIONS(X)                                                                     \
    X(PQclear) X(PQcmdTuples) X(PQencryptPasswordConn) X(PQpingParams) X(PQerrorMessage) X(PQexecParams) X(PQfname) X(PQfreemem) X(PQftype)      \
    X(PQgetisnull) X(PQgetlength) X(PQgetvalue) X(PQnfields) X(PQntuples) X(PQresultErrorField)         \
    X(PQresultErrorMessage) X(PQresultStatus) X(PQstatus) X(PQunescapeBytea)

struct Libpq {
#define EXAVORO_LIBPQ_MEMBER(name) decltype(&::name) name = nullptr;
    EXAVORO_LIBPQ_FUNCTIONS(EXAVORO_LIBPQ_MEMBER)
#undef EXAVORO_LIBPQ_MEMBER
    bool loaded = false;
};

static const Libpq& pq()
{
    static const Libpq functions = [] {
        Libpq f;
        QLibrary library(QStringLiteral("pq"), 5);
        if (!library.load()) return f;
        bool all = true;
#define EXAVORO_LIBPQ_RESOLVE(name)                                                   \
    f.name = reinterpret_cast<decltype(&::name)>(library.resolve(#name)); \
    all = all && f.name != nullptr;
        EXAVORO_LIBPQ_FUNCTIONS(EXAVORO_LIBPQ_RESOLVE)
#undef EXAVORO_LIBPQ_RESOLVE
        f.loaded = all;
        return f;
    }();
    return functions;
}


bool isServer(const QSqlDatabase& db)
{
    return db.driverName() == QLatin1String("QPSQL");
}

QString Location::describe() const
{
    return isServer() ? describeServer(server) : QDir::toNativeSeparators(file);
}

static QUrl parseServer(const QString& uri)
{
    const QUrl url(uri, QUrl::StrictMode);
    if (!url.isValid() || (url.scheme() != QLatin1String("postgresql") && url.scheme() != QLatin1String("postgres"))) {
        throw AppError(QStringLiteral("数据库服务器地址“%1”无效：应为 postgresql://用户@主机:端口/数据库名 的形式。")
                           .arg(describeServer(uri)));
    }
    // Addresses stand in settings files and command lines that others may read; the password of the
    // database role belongs in ~/.pgpass (or a service file), where libpq finds it.
    if (!url.password().isEmpty() || QUrlQuery(url).hasQueryItem(QStringLiteral("password"))) {
        throw AppError(QStringLiteral("数据库服务器地址中不能写密码：请把密码写在 ~/.pgpass 文件（权限 600）中。"));
    }
    return url;
}

bool isServerUri(const QString& text)
{
    return text.startsWith(QLatin1String("postgresql://")) || text.startsWith(QLatin1String("postgres://"));
}

QString describeServer(const QString& uri)
{
    // Read as text, not as a URL: a malformed address must not show its password either. Whatever
    // stands between the user name's ":" and the "@" of the host, and every password= value, is
    // masked.
    QString shown = uri;
    static const QRegularExpression userPassword(QStringLiteral("(://[^:@/?#\\s]*):[^?#]*@"));
    static const QRegularExpression passwordItem(QStringLiteral("(\\bpassword\\s*=)[^&;\\s]*"),
                                                 QRegularExpression::CaseInsensitiveOption);
    shown.replace(userPassword, QStringLiteral("\\1:***@"));
    shown.replace(passwordItem, QStringLiteral("\\1***"));
    return shown;
}

Location chooseLocation(const QStringList& arguments, const QString& folder)
{
    Location location;
    const int at = arguments.indexOf(QStringLiteral("--server"));
    if (at >= 0) {
        if (at + 1 >= arguments.size() || arguments[at + 1].startsWith(QLatin1String("--"))) {
            throw AppError(QStringLiteral("选项 --server 后面缺少数据库服务器地址。"));
        }
        location.server = arguments[at + 1];
    } else {
        for (const QString& argument : arguments) {
            if (argument.startsWith(QLatin1String("--server="))) location.server = argument.mid(9);
        }
    }
    const QString settingsPath = QDir(folder).filePath(QStringLiteral("exavoro.ini"));
    if (location.server.isEmpty() && QFileInfo::exists(settingsPath)) {
        QFile probe(settingsPath);
        if (!probe.open(QIODevice::ReadOnly)) {
            throw AppError(QStringLiteral("无法读取设置文件“%1”：%2").arg(settingsPath, probe.errorString()));
        }
        probe.close();
        QSettings settings(settingsPath, QSettings::IniFormat);
        if (settings.status() != QSettings::NoError) {
            throw AppError(QStringLiteral("设置文件“%1”格式不正确。").arg(settingsPath));
        }
        location.server = settings.value(QStringLiteral("server")).toString().trimmed();
    }
    if (location.isServer()) {
        parseServer(location.server);  // a bad address is reported before anything else happens
    } else {
        location.file = QDir(folder).absoluteFilePath(QStringLiteral("Data/examdb.db"));
    }
    return location;
}

// Server connections the program opened and has not closed on purpose: only these are opened
// again when they break.
static QSet<QString>& liveConnections()
{
    static QSet<QString> names;
    return names;
}

bool shouldReconnect(const QSqlDatabase& db)
{
    return liveConnections().contains(db.connectionName()) && connectionLost(db);
}

void closeConnection(QSqlDatabase& db)
{
    liveConnections().remove(db.connectionName());
    db.close();
}

// A value for a libpq connection string: quoted, with quotes and backslashes escaped.
static QString quoted(const QString& value)
{
    QString escaped = value;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + escaped + QLatin1Char('\'');
}

// True when the server named by `url` accepts connections at all (whoever asks): libpq's ping
// neither logs in nor needs a password.
static bool serverAnswers(const QUrl& url)
{
    if (!pq().loaded) return false;
    QList<QByteArray> keys = {"host", "port", "dbname", "connect_timeout"};
    QList<QByteArray> values = {url.host().toUtf8(), QByteArray::number(url.port(5432)), url.path().mid(1).toUtf8(),
                                "10"};
    for (const auto& [key, value] : QUrlQuery(url).queryItems(QUrl::FullyDecoded)) {
        if (key == QLatin1String("host") || key == QLatin1String("port") || key == QLatin1String("sslmode") ||
            key == QLatin1String("hostaddr") || key == QLatin1String("service")) {
            const qsizetype at = keys.indexOf(key.toUtf8());
            if (at >= 0) {
                values[at] = value.toUtf8();
            } else {
                keys << key.toUtf8();
                values << value.toUtf8();
            }
        }
    }
    std::vector<const char*> k, v;
    for (qsizetype i = 0; i < keys.size(); ++i) {
        if (values[i].isEmpty()) continue;
        k.push_back(keys[i].constData());
        v.push_back(values[i].constData());
    }
    k.push_back(nullptr);
    v.push_back(nullptr);
    return pq().PQpingParams(k.data(), v.data(), 0) == PQPING_OK;
}

static QSqlDatabase openServerAs(const QString& connectionName, const QString& uri, const Credentials* credentials)
{
    const QUrl url = parseServer(uri);
    QSqlDatabase db = QSqlDatabase::contains(connectionName) ? QSqlDatabase::database(connectionName, false)
                                                             : QSqlDatabase::addDatabase(QStringLiteral("QPSQL"),
                                                                                         connectionName);
    if (!db.isValid()) {
        throw DataError(QStringLiteral("本机缺少 PostgreSQL 数据库驱动（libqt6sql6-psql），无法连接数据库服务器。"));
    }
    db.close();
    db.setHostName(url.host());
    db.setPort(url.port(-1));
    db.setDatabaseName(url.path().mid(1));
    db.setUserName(credentials ? credentials->role : url.userName());
    db.setPassword(credentials ? credentials->password : url.password());
    // Everything in the query part (sslmode, sslrootcert, host of a socket folder, service, ...)
    // goes to libpq as it is; a server that does not answer is given up after ten seconds.
    QStringList options;
    bool timeout = false;
    bool name = false;
    for (const auto& [key, value] : QUrlQuery(url).queryItems(QUrl::FullyDecoded)) {
        if (value.contains(QLatin1Char(';')) || key.contains(QLatin1Char(';')) || key.contains(QLatin1Char(' '))) {
            throw AppError(QStringLiteral("数据库服务器地址中的参数“%1”无效。").arg(key));
        }
        options << key + QLatin1Char('=') + quoted(value);
        timeout = timeout || key == QLatin1String("connect_timeout");
        name = name || key == QLatin1String("application_name");
    }
    if (!timeout) options << QStringLiteral("connect_timeout=10");
    if (!name) options << QStringLiteral("application_name=exavoro");
    db.setConnectOptions(options.join(QLatin1Char(';')));
    if (!db.open()) {
        // A server that answers but refuses this role and password is a failed login, not a
        // broken network: the caller tells the user so without the server's own words.
        if (credentials && serverAnswers(url)) {
            throw DataError(QStringLiteral("数据库服务器拒绝了用户名或密码。"), QStringLiteral("28P01"), false);
        }
        const QString why = db.lastError().databaseText().trimmed().isEmpty() ? db.lastError().text().trimmed()
                                                                               : db.lastError().databaseText().trimmed();
        throw DataError(QStringLiteral("无法连接数据库服务器“%1”：%2").arg(describeServer(uri), why));
    }
    liveConnections().insert(connectionName);
    return db;
}

QSqlDatabase openServer(const QString& connectionName, const QString& uri)
{
    return openServerAs(connectionName, uri, nullptr);
}

QSqlDatabase openServer(const QString& connectionName, const QString& uri, const Credentials& credentials)
{
    return openServerAs(connectionName, uri, &credentials);
}

QString serverDatabase(const QString& uri)
{
    return QUrl(uri).path().mid(1);
}

// The driver's handle is libpq's connection; Qt records its type under the struct's own name
// (pg_conn*), older builds under the typedef's (PGconn*).
static bool isLibpqHandle(const QVariant& handle)
{
    return pq().loaded && handle.isValid() &&
           (qstrcmp(handle.typeName(), "pg_conn*") == 0 || qstrcmp(handle.typeName(), "PGconn*") == 0);
}

bool connectionLost(const QSqlDatabase& db)
{
    if (!isServer(db)) return false;
    // The driver closes a connection the server ended; otherwise libpq says whether it broke.
    if (!db.isOpen()) return true;
    const QVariant handle = db.driver()->handle();
    if (!isLibpqHandle(handle)) return false;
    PGconn* conn = *static_cast<PGconn* const*>(handle.data());
    return conn == nullptr || pq().PQstatus(conn) == CONNECTION_BAD;
}

QString dialect(const QSqlDatabase& db, const QString& statement)
{
    if (!isServer(db)) return statement;
    QString text = statement;
    text.replace(QLatin1String("INTEGER PRIMARY KEY AUTOINCREMENT"),
                 QLatin1String("BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY"));
    text.replace(QLatin1String(" BLOB"), QLatin1String(" BYTEA"));
    return text;
}

int schemaVersion(const QSqlDatabase& db)
{
    if (!isServer(db)) return sql::scalar(db, QStringLiteral("PRAGMA user_version")).toInt();
    return schemaVersion(db, tables(db));
}

int schemaVersion(const QSqlDatabase& db, const QStringList& present)
{
    if (!isServer(db)) return schemaVersion(db);
    if (!present.contains(QStringLiteral("exavoro_meta"))) return 0;
    return sql::scalar(db, QStringLiteral("SELECT value FROM exavoro_meta WHERE name=?"), {QStringLiteral("schema_version")})
        .toInt();
}

void setSchemaVersion(const QSqlDatabase& db, int version)
{
    if (!isServer(db)) {
        sql::run(db, QStringLiteral("PRAGMA user_version = %1").arg(version));
        return;
    }
    sql::run(db, QStringLiteral("CREATE TABLE IF NOT EXISTS exavoro_meta (name TEXT PRIMARY KEY, value TEXT)"));
    sql::run(db, QStringLiteral("DELETE FROM exavoro_meta WHERE name=?"), {QStringLiteral("schema_version")});
    sql::run(db, QStringLiteral("INSERT INTO exavoro_meta (name, value) VALUES (?, ?)"),
             {QStringLiteral("schema_version"), QString::number(version)});
}

QStringList tables(const QSqlDatabase& db)
{
    if (!isServer(db)) return sql::column(db, QStringLiteral("SELECT name FROM sqlite_master WHERE type='table'"));
    // The catalog itself: the information schema's views cost a new session milliseconds.
    return sql::column(db, QStringLiteral("SELECT c.relname FROM pg_catalog.pg_class c"
                                          " JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace"
                                          " WHERE n.nspname = current_schema() AND c.relkind IN ('r', 'p')"));
}

QStringList tableColumns(const QSqlDatabase& db, const QString& table)
{
    QStringList names;
    if (!isServer(db)) {
        for (const QString& name : sql::column(db, QStringLiteral("SELECT name FROM pragma_table_info(?)"), {table})) {
            names << name.toLower();
        }
        return names;
    }
    // An empty result still describes its columns; it also finds a session's own temporary table
    // of the same name before the shared one, as every other statement does.
    QString exists;
    if (!sql::firstValue(db, QStringLiteral("SELECT to_regclass(?) IS NOT NULL"), {QLatin1Char('"') + table + QLatin1Char('"')},
                         &exists) ||
        exists == QLatin1String("false") || exists == QLatin1String("0") || exists.isEmpty()) {
        return names;
    }
    QString quotedName = table;
    quotedName.replace(QLatin1Char('"'), QLatin1String("\"\""));
    const QSqlRecord record = sql::run(db, QStringLiteral("SELECT * FROM \"%1\" WHERE 1=0").arg(quotedName)).record();
    for (int i = 0; i < record.count(); ++i) names << record.fieldName(i).toLower();
    return names;
}

QStringList pictureSweepStatements(const QSqlDatabase& db, const QVector<QPair<QString, QString>>& texts)
{
    if (isServer(db)) return {};
    QStringList statements = {
        QStringLiteral("CREATE TABLE IF NOT EXISTS picture_sweep (due INTEGER PRIMARY KEY)"),
        // A new mark: pictures stored before it may be unused already.
        QStringLiteral("INSERT OR IGNORE INTO picture_sweep (due) VALUES (1)"),
        QStringLiteral("CREATE TRIGGER IF NOT EXISTS picture_sweep_stored AFTER INSERT ON pictures BEGIN"
                       " INSERT OR IGNORE INTO picture_sweep (due) VALUES (1); END")};
    // Each table's texts that may place a picture ("[[图片:" opens its marker). instr() looks for
    // the marker as bytes; LIKE would compare every character as a pattern.
    QStringList tables;
    QHash<QString, QStringList> columns;
    for (const auto& [table, column] : texts) {
        if (!tables.contains(table)) tables << table;
        columns[table] << column;
    }
    for (const QString& table : tables) {
        QStringList placed;
        for (const QString& column : columns.value(table)) placed << QStringLiteral("instr(old.%1, '[[图片:') > 0").arg(column);
        const QString when = placed.join(QStringLiteral(" OR "));
        statements << QStringLiteral("CREATE TRIGGER IF NOT EXISTS picture_sweep_%1_delete AFTER DELETE ON %1"
                                     " WHEN %2 BEGIN INSERT OR IGNORE INTO picture_sweep (due) VALUES (1); END")
                          .arg(table, when)
                   << QStringLiteral("CREATE TRIGGER IF NOT EXISTS picture_sweep_%1_update AFTER UPDATE OF %3 ON %1"
                                     " WHEN %2 BEGIN INSERT OR IGNORE INTO picture_sweep (due) VALUES (1); END")
                          .arg(table, when, columns.value(table).join(QStringLiteral(", ")));
    }
    return statements;
}

QStringList questionCountStatements(const QSqlDatabase& db)
{
    const QString table = QStringLiteral(
        "CREATE TABLE IF NOT EXISTS question_counts (kmh TEXT NOT NULL, txh TEXT NOT NULL, n INTEGER NOT NULL,"
        " PRIMARY KEY (kmh, txh))");
    const QString fill = QStringLiteral(
        "INSERT INTO question_counts (kmh, txh, n) SELECT kmh, txh, COUNT(*) FROM stb"
        " WHERE kmh IS NOT NULL AND txh IS NOT NULL GROUP BY kmh, txh");
    if (!isServer(db)) {
        return {table,
                QStringLiteral("CREATE TRIGGER IF NOT EXISTS question_counts_insert AFTER INSERT ON stb"
                               " WHEN new.kmh IS NOT NULL AND new.txh IS NOT NULL BEGIN"
                               " INSERT INTO question_counts (kmh, txh, n) VALUES (new.kmh, new.txh, 1)"
                               " ON CONFLICT (kmh, txh) DO UPDATE SET n = n + 1; END"),
                QStringLiteral("CREATE TRIGGER IF NOT EXISTS question_counts_delete AFTER DELETE ON stb"
                               " WHEN old.kmh IS NOT NULL AND old.txh IS NOT NULL BEGIN"
                               " UPDATE question_counts SET n = n - 1 WHERE kmh = old.kmh AND txh = old.txh; END"),
                QStringLiteral("CREATE TRIGGER IF NOT EXISTS question_counts_update AFTER UPDATE OF kmh, txh ON stb"
                               " WHEN old.kmh IS NOT new.kmh OR old.txh IS NOT new.txh BEGIN"
                               " UPDATE question_counts SET n = n - 1 WHERE kmh = old.kmh AND txh = old.txh;"
                               " INSERT INTO question_counts (kmh, txh, n) SELECT new.kmh, new.txh, 1"
                               " WHERE new.kmh IS NOT NULL AND new.txh IS NOT NULL"
                               " ON CONFLICT (kmh, txh) DO UPDATE SET n = n + 1; END"),
                fill};
    }
    // One call per statement, from the statement's old rows (gone) and new rows (added): a
    // deletion of 100,000 questions updates a few counts once each. A change that keeps every
    // question's codes writes nothing.
    return {table,
            QStringLiteral(
                "CREATE OR REPLACE FUNCTION question_counts_follow() RETURNS trigger LANGUAGE plpgsql AS $body$\n"
                "BEGIN\n"
                "  IF TG_OP = 'UPDATE' THEN\n"
                "    IF NOT EXISTS (SELECT 1 FROM gone AS o JOIN added AS a ON a.id = o.id\n"
                "        WHERE a.kmh IS DISTINCT FROM o.kmh OR a.txh IS DISTINCT FROM o.txh) THEN\n"
                "      RETURN NULL;\n"
                "    END IF;\n"
                "  END IF;\n"
                "  IF TG_OP <> 'INSERT' THEN\n"
                "    UPDATE question_counts AS c SET n = c.n - g.n\n"
                "      FROM (SELECT kmh, txh, COUNT(*) AS n FROM gone\n"
                "            WHERE kmh IS NOT NULL AND txh IS NOT NULL GROUP BY kmh, txh) AS g\n"
                "      WHERE c.kmh = g.kmh AND c.txh = g.txh;\n"
                "  END IF;\n"
                "  IF TG_OP <> 'DELETE' THEN\n"
                "    INSERT INTO question_counts AS c (kmh, txh, n)\n"
                "      SELECT kmh, txh, COUNT(*) FROM added WHERE kmh IS NOT NULL AND txh IS NOT NULL\n"
                "      GROUP BY kmh, txh ORDER BY kmh, txh\n"
                "      ON CONFLICT (kmh, txh) DO UPDATE SET n = c.n + excluded.n;\n"
                "  END IF;\n"
                "  RETURN NULL;\n"
                "END\n"
                "$body$"),
            QStringLiteral("CREATE OR REPLACE TRIGGER question_counts_insert AFTER INSERT ON stb"
                           " REFERENCING NEW TABLE AS added FOR EACH STATEMENT EXECUTE FUNCTION question_counts_follow()"),
            QStringLiteral("CREATE OR REPLACE TRIGGER question_counts_delete AFTER DELETE ON stb"
                           " REFERENCING OLD TABLE AS gone FOR EACH STATEMENT EXECUTE FUNCTION question_counts_follow()"),
            QStringLiteral("CREATE OR REPLACE TRIGGER question_counts_update AFTER UPDATE ON stb"
                           " REFERENCING OLD TABLE AS gone NEW TABLE AS added FOR EACH STATEMENT"
                           " EXECUTE FUNCTION question_counts_follow()"),
            fill};
}

QStringList searchIndexStatements(const QSqlDatabase& db)
{
    if (!isServer(db)) {
        // The index reads the texts from stb when it is rebuilt; the triggers give it each row's
        // old texts to take out and new ones to put in, inside the statement that changed stb.
        return {QStringLiteral("CREATE VIRTUAL TABLE IF NOT EXISTS stb_search USING fts5(tm, da, content='stb',"
                               " content_rowid='id', tokenize='trigram')"),
                QStringLiteral("CREATE TRIGGER IF NOT EXISTS stb_search_insert AFTER INSERT ON stb BEGIN"
                               " INSERT INTO stb_search (rowid, tm, da) VALUES (new.id, new.tm, new.da); END"),
                QStringLiteral("CREATE TRIGGER IF NOT EXISTS stb_search_delete AFTER DELETE ON stb BEGIN"
                               " INSERT INTO stb_search (stb_search, rowid, tm, da) VALUES ('delete', old.id, old.tm,"
                               " old.da); END"),
                QStringLiteral("CREATE TRIGGER IF NOT EXISTS stb_search_update AFTER UPDATE OF id, tm, da ON stb"
                               " WHEN old.id IS NOT new.id OR old.tm IS NOT new.tm OR old.da IS NOT new.da BEGIN"
                               " INSERT INTO stb_search (stb_search, rowid, tm, da) VALUES ('delete', old.id, old.tm,"
                               " old.da);"
                               " INSERT INTO stb_search (rowid, tm, da) VALUES (new.id, new.tm, new.da); END"),
                QStringLiteral("INSERT INTO stb_search (stb_search) VALUES ('rebuild')")};
    }
    // pg_trgm comes with PostgreSQL and may be added by whoever may create objects in the
    // database (a trusted extension). Where the server lacks it or refuses it, searches read the
    // texts without an index: slower, the same answers. The operator class is named in the
    // extension's own schema, wherever it was installed.
    return {QStringLiteral(
        "DO $do$\n"
        "DECLARE s text;\n"
        "BEGIN\n"
        "  BEGIN\n"
        "    CREATE EXTENSION IF NOT EXISTS pg_trgm;\n"
        "  EXCEPTION WHEN OTHERS THEN NULL;\n"
        "  END;\n"
        "  SELECT n.nspname INTO s FROM pg_extension e JOIN pg_namespace n ON n.oid = e.extnamespace\n"
        "    WHERE e.extname = 'pg_trgm';\n"
        "  IF s IS NOT NULL THEN\n"
        "    EXECUTE format('CREATE INDEX IF NOT EXISTS stb_search_tm ON stb USING gin (tm %I.gin_trgm_ops)', s);\n"
        "    EXECUTE format('CREATE INDEX IF NOT EXISTS stb_search_da ON stb USING gin (da %I.gin_trgm_ops)', s);\n"
        "  END IF;\n"
        "END $do$")};
}

bool hasSearchIndex(const QSqlDatabase& db, const QStringList& present)
{
    if (!isServer(db)) return present.contains(QStringLiteral("stb_search"));
    return sql::scalar(db, QStringLiteral("SELECT count(*) FROM pg_catalog.pg_indexes WHERE schemaname = current_schema()"
                                          " AND tablename = 'stb' AND indexname IN ('stb_search_tm', 'stb_search_da')"))
               .toInt() == 2;
}

QString containsPattern(const QString& text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('!'), QLatin1String("!!"));
    escaped.replace(QLatin1Char('%'), QLatin1String("!%"));
    escaped.replace(QLatin1Char('_'), QLatin1String("!_"));
    return QLatin1Char('%') + escaped + QLatin1Char('%');
}

// A text as one FTS5 phrase: in double quotes, its own double quotes doubled.
static QString ftsPhrase(const QString& text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

TextSearch textSearch(const QSqlDatabase& db, const QString& phrase, const QString& alsoPhrase)
{
    if (!isServer(db)) {
        // The index leads (CROSS JOIN keeps it the outer loop): each match finds its question by id.
        QString match = ftsPhrase(phrase);
        if (!alsoPhrase.isEmpty()) match += QStringLiteral(" AND ") + ftsPhrase(alsoPhrase);
        return {QStringLiteral("stb_search CROSS JOIN stb AS s ON s.id = stb_search.rowid"),
                QStringLiteral("stb_search MATCH ?"), {match}};
    }
    // ILIKE and LIKE with a pattern of three characters or more are answered by the trigram indexes.
    TextSearch search{QStringLiteral("stb AS s"),
                      QStringLiteral("(s.tm ILIKE ? ESCAPE '!' OR s.da ILIKE ? ESCAPE '!')"),
                      {containsPattern(phrase), containsPattern(phrase)}};
    if (!alsoPhrase.isEmpty()) {
        search.where += QStringLiteral(" AND (s.tm LIKE ? ESCAPE '!' OR s.da LIKE ? ESCAPE '!')");
        search.binds << containsPattern(alsoPhrase) << containsPattern(alsoPhrase);
    }
    return search;
}

QString caseBlindLike(const QSqlDatabase& db)
{
    return isServer(db) ? QStringLiteral("ILIKE") : QStringLiteral("LIKE");
}

KeyedRows rowsOfKeys(const QSqlDatabase& db, const QString& select, const QString& keyField, qsizetype keys)
{
    if (isServer(db)) {
        QStringList marks(keys, QStringLiteral("?"));
        return {QStringLiteral("SELECT * FROM (%1) AS w WHERE \"%2\" IN (%3) ORDER BY \"%2\"")
                    .arg(select, keyField, marks.join(QLatin1Char(','))),
                false};
    }
    QStringList marks(keys, QStringLiteral("(?)"));
    return {QStringLiteral("SELECT w.* FROM (VALUES %1) AS k CROSS JOIN (%2) AS w WHERE w.\"%3\" = k.column1"
                           " ORDER BY w.\"%3\"")
                .arg(marks.join(QLatin1Char(',')), select, keyField),
            true};
}

QString sessionTableStatement(const QString& table, const QString& columns)
{
    // A temporary table comes first in PostgreSQL's search path, so from now on the unqualified
    // name means it. LIKE gives the copy a new identity sequence of its own.
    return QStringLiteral("CREATE TEMPORARY TABLE IF NOT EXISTS \"%1\" (%2)")
        .arg(table, columns.isEmpty() ? QStringLiteral("LIKE \"%1\" INCLUDING ALL").arg(table) : columns);
}

QStringList numberedStoreColumns()
{
    return {QStringLiteral("zjh"), QStringLiteral("nd"), QStringLiteral("fs"), QStringLiteral("tm"),
            QStringLiteral("da"),  QStringLiteral("time"), QStringLiteral("bz")};
}

QStringList numberedStoreStatements(const QSqlDatabase& db)
{
    if (!isServer(db)) return {};
    // The work of storing a numbered question as the program does it statement by statement on a
    // file, in one call: a server answers it in one round trip. Each statement of the function
    // sees what other sessions committed before it started, so the number is computed after the
    // turn is taken. The outcome says why nothing was stored; no error is raised for those, so a
    // caller's transaction stays usable. The last number is read as convert::toInt reads it (a
    // sign and digits, blanks around them) and the next one is padded to three digits as
    // convert::nextCode pads it.
    return {QStringLiteral(
        "CREATE OR REPLACE FUNCTION exavoro_store_question(p_kmh text, p_txh text, p_turn text, p_zjh text,"
        " p_nd text, p_fs text, p_tm text, p_da text, p_time text, p_bz text, p_take_turn boolean,"
        " p_attempts integer)\n"
        " RETURNS TABLE (outcome integer, stored_id bigint, stored_th text) LANGUAGE plpgsql AS $body$\n"
        "DECLARE\n"
        "  last_th text;\n"
        "  digits text;\n"
        "  last_n numeric;\n"
        "  code text;\n"
        "  new_id bigint;\n"
        "  steps integer;\n"
        "  violated text;\n"
        "BEGIN\n"
        "  IF p_take_turn THEN\n"
        "    PERFORM pg_advisory_xact_lock(hashtext(p_turn));\n"
        "  END IF;\n"
        "  FOR attempt IN 1 .. greatest(p_attempts, 1) LOOP\n"
        "    last_th := NULL;\n"
        "    SELECT s.th INTO last_th FROM stb s WHERE s.kmh = p_kmh AND s.txh = p_txh ORDER BY s.id DESC LIMIT 1;\n"
        "    IF last_th IS NULL OR last_th = '' THEN\n"
        "      last_n := 0;\n"
        "    ELSE\n"
        "      digits := btrim(last_th, E' \\t\\n\\r\\f\\v');\n"
        "      IF length(digits) > 40 OR digits !~ '^[+-]?[0-9]+$' THEN\n"
        "        RETURN QUERY SELECT 3, NULL::bigint, last_th;\n"
        "        RETURN;\n"
        "      END IF;\n"
        "      last_n := digits::numeric;\n"
        "      IF last_n < -2147483648 OR last_n > 2147483647 THEN\n"
        "        RETURN QUERY SELECT 3, NULL::bigint, last_th;\n"
        "        RETURN;\n"
        "      END IF;\n"
        "    END IF;\n"
        "    code := (last_n + 1)::text;\n"
        "    IF length(code) < 3 THEN code := lpad(code, 3, '0'); END IF;\n"
        "    IF attempt > 1 THEN\n"
        "      -- another store took the number: the numbers in use are stepped over\n"
        "      steps := 0;\n"
        "      WHILE steps < 10000 AND EXISTS (SELECT 1 FROM stb s WHERE s.kmh = p_kmh AND s.txh = p_txh\n"
        "          AND s.th = code) LOOP\n"
        "        code := (code::numeric + 1)::text;\n"
        "        IF length(code) < 3 THEN code := lpad(code, 3, '0'); END IF;\n"
        "        steps := steps + 1;\n"
        "      END LOOP;\n"
        "    ELSE\n"
        "      -- the subject, type and chapter stay until the commit (a deletion under way is waited for)\n"
        "      IF coalesce(p_zjh, '') = '' THEN\n"
        "        PERFORM 1 FROM kmb k JOIN txb t ON t.kmh = k.kmh WHERE k.kmh = p_kmh AND t.txh = p_txh FOR SHARE;\n"
        "      ELSE\n"
        "        PERFORM 1 FROM kmb k JOIN txb t ON t.kmh = k.kmh JOIN zjb z ON z.kmh = k.kmh\n"
        "          WHERE k.kmh = p_kmh AND t.txh = p_txh AND z.zjh = p_zjh FOR SHARE;\n"
        "      END IF;\n"
        "      IF NOT FOUND THEN\n"
        "        PERFORM 1 FROM kmb k JOIN txb t ON t.kmh = k.kmh WHERE k.kmh = p_kmh AND t.txh = p_txh FOR SHARE;\n"
        "        IF NOT FOUND THEN\n"
        "          RETURN QUERY SELECT 1, NULL::bigint, NULL::text;\n"
        "          RETURN;\n"
        "        END IF;\n"
        "        RETURN QUERY SELECT 2, NULL::bigint, NULL::text;\n"
        "        RETURN;\n"
        "      END IF;\n"
        "    END IF;\n"
        "    BEGIN\n"
        "      INSERT INTO stb (kmh, txh, th, zjh, nd, fs, tm, da, \"time\", bz)\n"
        "        VALUES (p_kmh, p_txh, code, p_zjh, p_nd, p_fs, p_tm, p_da, p_time, p_bz) RETURNING id INTO new_id;\n"
        "      RETURN QUERY SELECT 0, new_id, code;\n"
        "      RETURN;\n"
        "    EXCEPTION WHEN unique_violation THEN\n"
        "      GET STACKED DIAGNOSTICS violated = CONSTRAINT_NAME;\n"
        "      IF violated IS DISTINCT FROM 'stb_unique_th' THEN RAISE; END IF;\n"
        "    END;\n"
        "  END LOOP;\n"
        "  RETURN QUERY SELECT 4, NULL::bigint, NULL::text;\n"
        "END\n"
        "$body$")};
}

NumberedStore storeNumbered(const QSqlDatabase& db, const QString& kmh, const QString& txh, const QString& turnName,
                            const QStringList& values, bool takeTurn, int attempts)
{
    QVariantList binds = {kmh, txh, turnName};
    for (const QString& value : values) binds << (value.isNull() ? QStringLiteral("") : value);
    binds << takeTurn << attempts;
    sql::Reader q(db,
                  QStringLiteral("SELECT outcome, stored_id, stored_th FROM exavoro_store_question("
                                 "?, ?, ?, ?, ?, ?, ?, ?, ?, ?, CAST(? AS boolean), CAST(? AS integer))"),
                  binds);
    if (!q.next()) throw DataError(QStringLiteral("数据库服务器没有答复试题是否已存入。"));
    NumberedStore stored;
    stored.outcome = NumberedStore::Outcome(qBound(0, q.text(0).toInt(), 4));
    stored.id = q.text(1).toLongLong();
    stored.th = q.text(2);
    return stored;
}

void takeTurnUntilCommit(const QSqlDatabase& db, const QString& name)
{
    if (!isServer(db)) return;
    sql::scalar(db, QStringLiteral("SELECT pg_advisory_xact_lock(hashtext(?))"), {name});
}

bool keepRowsUntilCommit(const QSqlDatabase& db, const QString& select, const QVariantList& binds)
{
    if (!isServer(db)) return true;
    sql::Reader q(db, select + QStringLiteral(" FOR SHARE"), binds);
    return q.next();
}

void claimRowsUntilCommit(const QSqlDatabase& db, const QString& select, const QVariantList& binds)
{
    if (!isServer(db)) return;
    sql::Reader q(db, select + QStringLiteral(" FOR UPDATE"), binds);
    while (q.next()) {
    }
}

static PGconn* serverHandle(const QSqlDatabase& db)
{
    if (!isServer(db) || !db.isOpen()) return nullptr;
    const QVariant handle = db.driver()->handle();
    if (!isLibpqHandle(handle)) return nullptr;
    return *static_cast<PGconn* const*>(handle.data());
}

bool hasServerHandle(const QSqlDatabase& db)
{
    return serverHandle(db) != nullptr;
}

QString encryptedPassword(const QSqlDatabase& db, const QString& password)
{
    PGconn* conn = serverHandle(db);
    if (!conn) throw DataError(QStringLiteral("数据库尚未连接。"));
    const QByteArray typed = password.toUtf8();
    char* made = pq().PQencryptPasswordConn(conn, typed.constData(), "", "scram-sha-256");
    if (!made) throw DataError(QStringLiteral("无法为新密码计算服务器使用的密码校验值。"));
    const QString verifier = QString::fromLatin1(made);
    pq().PQfreemem(made);
    return verifier;
}

// The statement with its ? placeholders numbered as the server wants them ($1, $2, ...); a
// question mark inside quotes is left alone.
static QByteArray numberedPlaceholders(const QString& statement)
{
    const QByteArray utf8 = statement.toUtf8();
    QByteArray text;
    text.reserve(utf8.size() + 16);
    char quote = 0;
    int n = 0;
    for (const char c : utf8) {
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '?') {
            text += '$';
            text += QByteArray::number(++n);
            continue;
        }
        text += c;
    }
    return text;
}

ServerResult::ServerResult(const QSqlDatabase& db, const QString& statement, const QVariantList& binds)
{
    PGconn* conn = serverHandle(db);
    if (!conn) {
        error_ = QSqlError(QString(), QStringLiteral("数据库尚未连接。"), QSqlError::ConnectionError);
        return;
    }
    const QByteArray text = numberedPlaceholders(statement);
    // Text values, except bytes, which go as binary BYTEA so that no escaping is needed.
    const int n = int(binds.size());
    std::vector<QByteArray> values(static_cast<size_t>(n));
    std::vector<const char*> pointers(size_t(n), nullptr);
    std::vector<int> lengths(size_t(n), 0), formats(size_t(n), 0);
    std::vector<Oid> types(size_t(n), 0);
    for (int i = 0; i < n; ++i) {
        const QVariant& v = binds[i];
        if (v.isNull()) continue;
        switch (v.typeId()) {
            case QMetaType::QByteArray:
                values[size_t(i)] = v.toByteArray();
                formats[size_t(i)] = 1;
                types[size_t(i)] = 17;  // bytea
                break;
            case QMetaType::Bool:
                values[size_t(i)] = v.toBool() ? "1" : "0";
                break;
            default:
                values[size_t(i)] = v.toString().toUtf8();
                break;
        }
        pointers[size_t(i)] = values[size_t(i)].constData();
        lengths[size_t(i)] = int(values[size_t(i)].size());
    }
    PGresult* result = pq().PQexecParams(conn, text.constData(), n, types.data(), pointers.data(), lengths.data(),
                                    formats.data(), 0);
    result_ = result;
    const ExecStatusType status = result ? pq().PQresultStatus(result) : PGRES_FATAL_ERROR;
    if (status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK) {
        ok_ = true;
        return;
    }
    const QString message = QString::fromUtf8(result ? pq().PQresultErrorMessage(result) : pq().PQerrorMessage(conn)).trimmed();
    const char* state = result ? pq().PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    error_ = QSqlError(message, QString(), QSqlError::StatementError, QString::fromLatin1(state ? state : ""));
}

ServerResult::~ServerResult()
{
    if (result_) pq().PQclear(static_cast<PGresult*>(result_));
}

int ServerResult::rows() const
{
    return ok_ ? pq().PQntuples(static_cast<PGresult*>(result_)) : 0;
}

int ServerResult::columns() const
{
    return ok_ ? pq().PQnfields(static_cast<PGresult*>(result_)) : 0;
}

QString ServerResult::columnName(int column) const
{
    return QString::fromUtf8(pq().PQfname(static_cast<PGresult*>(result_), column));
}

bool ServerResult::isNull(int row, int column) const
{
    return pq().PQgetisnull(static_cast<PGresult*>(result_), row, column) != 0;
}

const char* ServerResult::value(int row, int column, int* size) const
{
    auto* result = static_cast<PGresult*>(result_);
    *size = pq().PQgetlength(result, row, column);
    return pq().PQgetvalue(result, row, column);
}

const char* ServerResult::rawText(int row, int column, int* size) const
{
    auto* result = static_cast<PGresult*>(result_);
    const Oid type = pq().PQftype(result, column);
    if (type == 16 || type == 17) return nullptr;  // booleans and bytes are converted by bytes()
    *size = pq().PQgetlength(result, row, column);
    return pq().PQgetvalue(result, row, column);
}

QByteArray ServerResult::bytes(int row, int column) const
{
    auto* result = static_cast<PGresult*>(result_);
    const char* text = pq().PQgetvalue(result, row, column);
    switch (pq().PQftype(result, column)) {
        case 16:  // boolean: the words the driver gives, not the server's t and f
            return text[0] == 't' ? QByteArrayLiteral("true") : QByteArrayLiteral("false");
        case 17: {  // bytea: the bytes themselves, not the server's hex text
            size_t length = 0;
            unsigned char* raw = pq().PQunescapeBytea(reinterpret_cast<const unsigned char*>(text), &length);
            const QByteArray out(reinterpret_cast<const char*>(raw), qsizetype(length));
            pq().PQfreemem(raw);
            return out;
        }
        default:
            return QByteArray(text, pq().PQgetlength(result, row, column));
    }
}

int ServerResult::affected() const
{
    return ok_ ? atoi(pq().PQcmdTuples(static_cast<PGresult*>(result_))) : 0;
}

}  // namespace engine
