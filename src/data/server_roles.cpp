#include "data/server_roles.h"

#include <QCryptographicHash>
#include <QRegularExpression>

#include "data/engine.h"
#include "data/errors.h"
#include "data/schema.h"
#include "data/sql.h"

namespace server_roles {

namespace {

// The tables each level writes. 题库管理用户 keeps the questions with their subjects, types and
// chapters, pictures and the recycle bin; 试卷管理用户 composes papers (in tables of its own
// session), keeps blueprints and the paper library; both fill the cache of converted formulas.
// 超级用户 does both. Every level reads every table; mmb is written only through the functions
// below (and its descriptions by a 超级用户); question_counts only by its trigger.
const char* const kBankTables[] = {"kmb",           "txb",         "zjb",         "stb",         "pictures",
                                   "recycle_items", "recycle_kmb", "recycle_txb", "recycle_zjb", "recycle_stb",
                                   "zsdb",          "stzsd",       "recycle_zsdb", "recycle_stzsd"};
const char* const kPaperTables[] = {"blueprints", "blueprint_types", "blueprint_cells",
                                    "papers",     "paper_sections",  "paper_questions"};
const char* const kSharedTables[] = {"formula_omml"};

QString arrayOf(const char* const* names, size_t n)
{
    QStringList quoted;
    for (size_t i = 0; i < n; ++i) quoted << QLatin1Char('\'') + QString::fromLatin1(names[i]) + QLatin1Char('\'');
    return QStringLiteral("ARRAY[%1]::text[]").arg(quoted.join(QLatin1Char(',')));
}

// The functions the roles are managed through. They run with the rights of the bank's owner
// (SECURITY DEFINER) and check who calls them by the session's own role; identifiers are quoted
// with %I, passwords arrive only as SCRAM verifiers and are quoted with %L.
const char* const kFunctions[] = {
    // The role of a user name: prefix/name, or prefix%md5 where that passes 63 bytes.
    "CREATE OR REPLACE FUNCTION exavoro_role(user_name text) RETURNS text LANGUAGE sql STABLE"
    " SET search_path FROM CURRENT AS $f$"
    " SELECT CASE WHEN octet_length(p.value || '/' || user_name) <= 63 THEN p.value || '/' || user_name"
    " ELSE p.value || '%' || md5(user_name) END FROM exavoro_meta AS p WHERE p.name = 'role_prefix' $f$",
    "CREATE OR REPLACE FUNCTION exavoro_group(level integer) RETURNS text LANGUAGE sql STABLE"
    " SET search_path FROM CURRENT AS $f$"
    " SELECT p.value || '#' || CASE level WHEN 1 THEN '题库管理用户' WHEN 2 THEN '试卷管理用户'"
    " WHEN 3 THEN '超级用户' END FROM exavoro_meta AS p WHERE p.name = 'role_prefix' $f$",
    // The level of the session's own role; a server superuser counts as a member of every group.
    "CREATE OR REPLACE FUNCTION exavoro_level() RETURNS integer LANGUAGE sql STABLE"
    " SET search_path FROM CURRENT AS $f$"
    " SELECT CASE WHEN pg_has_role(session_user, exavoro_group(3), 'MEMBER') THEN 3"
    " WHEN pg_has_role(session_user, exavoro_group(2), 'MEMBER') THEN 2"
    " WHEN pg_has_role(session_user, exavoro_group(1), 'MEMBER') THEN 1 ELSE 0 END $f$",
    "CREATE OR REPLACE FUNCTION exavoro_add_user(user_name text, verifier text, level integer) RETURNS void"
    " LANGUAGE plpgsql SECURITY DEFINER SET search_path FROM CURRENT AS $f$\n"
    "DECLARE r text := exavoro_role(user_name);\n"
    "BEGIN\n"
    "  IF exavoro_level() <> 3 THEN RAISE EXCEPTION '只有超级用户可以添加用户。' USING ERRCODE = '42501'; END IF;\n"
    "  IF level IS NULL OR level NOT BETWEEN 1 AND 3 THEN RAISE EXCEPTION '用户的权限无效。'; END IF;\n"
    "  IF coalesce(user_name, '') = '' THEN RAISE EXCEPTION '用户名不能为空！'; END IF;\n"
    "  IF verifier IS NULL OR verifier NOT LIKE 'SCRAM-SHA-256$%' THEN\n"
    "    RAISE EXCEPTION '服务器只接受加密后的密码。';\n"
    "  END IF;\n"
    "  IF EXISTS (SELECT 1 FROM mmb WHERE yhm = user_name) THEN\n"
    "    RAISE EXCEPTION '此用户名已存在，请重新输入用户名！' USING ERRCODE = '23505';\n"
    "  END IF;\n"
    "  IF EXISTS (SELECT 1 FROM pg_roles WHERE rolname = r) THEN\n"
    "    RAISE EXCEPTION '数据库服务器上已有角色“%”，请管理员先删除它。', r;\n"
    "  END IF;\n"
    "  EXECUTE format('CREATE ROLE %I LOGIN PASSWORD %L IN ROLE %I', r, verifier, exavoro_group(level));\n"
    "  INSERT INTO mmb (yhm, mm, qx, bz) VALUES (user_name, NULL, level::text,\n"
    "    CASE level WHEN 1 THEN '题库管理用户' WHEN 2 THEN '试卷管理用户' ELSE '超级用户' END);\n"
    "END $f$",
    "CREATE OR REPLACE FUNCTION exavoro_remove_user(user_name text) RETURNS void"
    " LANGUAGE plpgsql SECURITY DEFINER SET search_path FROM CURRENT AS $f$\n"
    "DECLARE r text := exavoro_role(user_name);\n"
    "BEGIN\n"
    "  IF exavoro_level() <> 3 THEN RAISE EXCEPTION '只有超级用户可以删除用户。' USING ERRCODE = '42501'; END IF;\n"
    "  IF NOT EXISTS (SELECT 1 FROM mmb WHERE yhm = user_name) THEN RAISE EXCEPTION '没有此用户。'; END IF;\n"
    "  IF r = session_user::text THEN RAISE EXCEPTION '不能删除正在使用的用户。'; END IF;\n"
    "  IF EXISTS (SELECT 1 FROM mmb WHERE yhm = user_name AND trim(qx) = '3')\n"
    "     AND (SELECT count(*) FROM mmb WHERE trim(qx) = '3') <= 1 THEN\n"
    "    RAISE EXCEPTION '不能删除最后一个超级用户！';\n"
    "  END IF;\n"
    "  DELETE FROM mmb WHERE yhm = user_name;\n"
    "  IF EXISTS (SELECT 1 FROM pg_roles WHERE rolname = r) THEN EXECUTE format('DROP ROLE %I', r); END IF;\n"
    "END $f$",
    "CREATE OR REPLACE FUNCTION exavoro_set_password(user_name text, verifier text) RETURNS void"
    " LANGUAGE plpgsql SECURITY DEFINER SET search_path FROM CURRENT AS $f$\n"
    "DECLARE r text := exavoro_role(user_name);\n"
    "BEGIN\n"
    "  IF exavoro_level() <> 3 AND r <> session_user::text THEN\n"
    "    RAISE EXCEPTION '只能修改自己的密码。' USING ERRCODE = '42501';\n"
    "  END IF;\n"
    "  IF verifier IS NULL OR verifier NOT LIKE 'SCRAM-SHA-256$%' THEN\n"
    "    RAISE EXCEPTION '服务器只接受加密后的密码。';\n"
    "  END IF;\n"
    "  IF NOT EXISTS (SELECT 1 FROM mmb WHERE yhm = user_name) OR NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = "
    "r) THEN\n"
    "    RAISE EXCEPTION '没有此用户。';\n"
    "  END IF;\n"
    "  EXECUTE format('ALTER ROLE %I PASSWORD %L', r, verifier);\n"
    "END $f$",
    // The owner's step of an upgrade or copy: a role (without a password yet) for a user of mmb.
    "CREATE OR REPLACE FUNCTION exavoro_adopt_user(user_name text, level integer) RETURNS boolean"
    " LANGUAGE plpgsql SECURITY DEFINER SET search_path FROM CURRENT AS $f$\n"
    "DECLARE r text := exavoro_role(user_name);\n"
    "BEGIN\n"
    "  IF level IS NULL OR level NOT BETWEEN 1 AND 3 OR coalesce(user_name, '') = '' THEN RETURN false; END IF;\n"
    "  IF EXISTS (SELECT 1 FROM pg_roles WHERE rolname = r) THEN RETURN false; END IF;\n"
    "  EXECUTE format('CREATE ROLE %I LOGIN IN ROLE %I', r, exavoro_group(level));\n"
    "  RETURN true;\n"
    "END $f$",
};

// The group roles, and each group's rights on the database, its schema, the tables and the
// functions; PUBLIC keeps none of them.
QString grantsBlock()
{
    return QStringLiteral(
               "DO $do$\n"
               "DECLARE g1 text := exavoro_group(1); g2 text := exavoro_group(2); g3 text := exavoro_group(3);"
               " t text; f text;\n"
               "BEGIN\n"
               "  FOREACH t IN ARRAY ARRAY[g1, g2, g3] LOOP\n"
               "    IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = t) THEN\n"
               "      EXECUTE format('CREATE ROLE %I NOLOGIN', t);\n"
               "    END IF;\n"
               "  END LOOP;\n"
               "  IF NOT (SELECT rolsuper FROM pg_roles WHERE rolname = current_user) THEN\n"
               "    EXECUTE format('GRANT %I TO %I', g3, current_user);\n"
               "  END IF;\n"
               "  EXECUTE format('REVOKE ALL ON DATABASE %I FROM PUBLIC', current_database());\n"
               "  EXECUTE format('GRANT CONNECT, TEMPORARY ON DATABASE %I TO %I, %I, %I', current_database(), g1, g2, "
               "g3);\n"
               "  EXECUTE format('REVOKE ALL ON SCHEMA %I FROM PUBLIC', current_schema());\n"
               "  EXECUTE format('GRANT USAGE ON SCHEMA %I TO %I, %I, %I', current_schema(), g1, g2, g3);\n"
               "  FOR t IN SELECT c.relname FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace\n"
               "      WHERE n.nspname = current_schema() AND c.relkind IN ('r', 'p') LOOP\n"
               "    EXECUTE format('REVOKE ALL ON TABLE %I FROM PUBLIC, %I, %I, %I', t, g1, g2, g3);\n"
               "    EXECUTE format('GRANT SELECT ON TABLE %I TO %I, %I, %I', t, g1, g2, g3);\n"
               "  END LOOP;\n"
               "  FOREACH t IN ARRAY %1 LOOP\n"
               "    EXECUTE format('GRANT INSERT, UPDATE, DELETE ON TABLE %I TO %I, %I', t, g1, g3);\n"
               "  END LOOP;\n"
               "  FOREACH t IN ARRAY %2 LOOP\n"
               "    EXECUTE format('GRANT INSERT, UPDATE, DELETE ON TABLE %I TO %I, %I', t, g2, g3);\n"
               "  END LOOP;\n"
               "  FOREACH t IN ARRAY %3 LOOP\n"
               "    EXECUTE format('GRANT INSERT, UPDATE, DELETE ON TABLE %I TO %I, %I, %I', t, g1, g2, g3);\n"
               "  END LOOP;\n"
               "  EXECUTE format('GRANT UPDATE (bz) ON TABLE mmb TO %I', g3);\n"
               "  FOR f IN SELECT p.oid::regprocedure::text FROM pg_proc p JOIN pg_namespace n ON n.oid = "
               "p.pronamespace\n"
               "      WHERE n.nspname = current_schema() AND (p.proname LIKE 'exavoro\\_%' OR p.proname = "
               "'question_counts_follow') LOOP\n"
               "    EXECUTE format('REVOKE ALL ON FUNCTION %s FROM PUBLIC', f);\n"
               "  END LOOP;\n"
               "  FOREACH f IN ARRAY ARRAY['exavoro_role(text)', 'exavoro_group(integer)', 'exavoro_level()',\n"
               "      'exavoro_add_user(text,text,integer)', 'exavoro_remove_user(text)', "
               "'exavoro_set_password(text,text)',\n"
               "      'question_counts_follow()',\n"
               "      'exavoro_store_question(text,text,text,text,text,text,text,text,text,text,boolean,integer)'] LOOP\n"
               "    IF to_regprocedure(f) IS NOT NULL THEN\n"
               "      EXECUTE format('GRANT EXECUTE ON FUNCTION %s TO %I, %I, %I', f, g1, g2, g3);\n"
               "    END IF;\n"
               "  END LOOP;\n"
               "END $do$")
        .arg(arrayOf(kBankTables, std::size(kBankTables)), arrayOf(kPaperTables, std::size(kPaperTables)),
             arrayOf(kSharedTables, std::size(kSharedTables)));
}

// The server's own message of a failed call, without "ERROR:", its context and the statement.
DataError serverMessage(const DataError& e)
{
    QString text = e.text().section(QLatin1Char('\n'), 0, 0).trimmed();
    const qsizetype colon = text.indexOf(QStringLiteral(":  "));
    if (colon >= 0 && colon < 16) text = text.mid(colon + 3).trimmed();
    // What the server says in English (no rights on a function, say) is shown in our words.
    if (!text.contains(QRegularExpression(QStringLiteral("[\\x{4e00}-\\x{9fff}]")))) {
        text = e.code() == QLatin1String("42501") ? QStringLiteral("您在数据库服务器上没有这项操作的权限。")
                                                  : QStringLiteral("数据库服务器拒绝了这项操作：") + text;
    }
    return DataError(text, e.code(), e.connectionLost());
}

template <typename F>
void call(F&& work)
{
    try {
        work();
    } catch (const DataError& e) {
        if (e.connectionLost()) throw;
        throw serverMessage(e);
    }
}

}  // namespace

QString prefixFor(const QString& database)
{
    static const QRegularExpression plain(QStringLiteral("^[a-z0-9_]{1,24}$"));
    if (plain.match(database).hasMatch()) return database;
    return QStringLiteral("bank_") +
           QString::fromLatin1(QCryptographicHash::hash(database.toUtf8(), QCryptographicHash::Md5).toHex().left(12));
}

QString userRole(const QString& prefix, const QString& name)
{
    const QString plain = prefix + QLatin1Char('/') + name;
    if (plain.toUtf8().size() <= 63) return plain;
    return prefix + QLatin1Char('%') +
           QString::fromLatin1(QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Md5).toHex());
}

QString groupRole(const QString& prefix, int level)
{
    static const char* const names[] = {"题库管理用户", "试卷管理用户", "超级用户"};
    return prefix + QLatin1Char('#') + QString::fromUtf8(names[qBound(1, level, 3) - 1]);
}

bool isSetUp(const QSqlDatabase& db)
{
    if (!engine::isServer(db) || !engine::tables(db).contains(QStringLiteral("exavoro_meta"))) return false;
    return sql::scalar(db, QStringLiteral("SELECT count(*) FROM exavoro_meta WHERE name = ?"),
                       {QStringLiteral("role_prefix")})
               .toInt() > 0;
}

void setUp(QSqlDatabase& db)
{
    if (!engine::isServer(db)) return;
    if (engine::schemaVersion(db) == 0) throw AppError(QStringLiteral("数据库中还没有题库。"));
    if (!isSetUp(db)) {
        const QString prefix = prefixFor(sql::scalar(db, QStringLiteral("SELECT current_database()")));
        // Roles of this prefix without a bank that records it belong to another bank (or to one of
        // this name that was dropped): they would become users of this one.
        const int taken = sql::scalar(db,
                                      QStringLiteral("SELECT count(*) FROM pg_roles WHERE starts_with(rolname, ?)"
                                                     " OR starts_with(rolname, ?) OR starts_with(rolname, ?)"),
                                      {prefix + QLatin1Char('/'), prefix + QLatin1Char('#'), prefix + QLatin1Char('%')})
                              .toInt();
        if (taken > 0) {
            throw AppError(QStringLiteral("数据库服务器上已有 %1 个以“%2”开头的角色（可能属于已删除的同名题库），"
                                          "请管理员先删除这些角色，或换一个数据库名。")
                               .arg(taken)
                               .arg(prefix));
        }
        sql::run(db, QStringLiteral("INSERT INTO exavoro_meta (name, value) VALUES (?, ?)"),
                 {QStringLiteral("role_prefix"), prefix});
    }
    // The functions find the bank's tables in its own schema and nothing a session put first
    // (pg_catalog is searched before, temporary tables last).
    sql::run(db,
             QStringLiteral("SELECT set_config('search_path', quote_ident(current_schema()) || ', pg_temp', true)"));
    for (const char* statement : kFunctions) sql::run(db, QString::fromUtf8(statement));
    // The bank's own functions, which an older bank set up before the program upgraded it lacks.
    for (const QString& statement : engine::numberedStoreStatements(db)) sql::run(db, statement);
    // The kept count follows the questions of every level that may store them, without that
    // level holding the right to change the count itself.
    if (engine::tables(db).contains(schema::kQuestionCounts)) {
        sql::run(db, QStringLiteral(
                         "ALTER FUNCTION question_counts_follow() SECURITY DEFINER SET search_path FROM CURRENT"));
    }
    sql::run(db, grantsBlock());
}

QStringList adoptUsers(QSqlDatabase& db)
{
    QStringList adopted;
    QVector<QPair<QString, int>> users;
    {
        sql::Reader q(db, QStringLiteral("SELECT yhm, qx FROM mmb ORDER BY id"));
        while (q.next()) users.append({q.text(0), q.text(1).trimmed().toInt()});
    }
    for (const auto& [name, level] : users) {
        const QString made = sql::scalar(db, QStringLiteral("SELECT exavoro_adopt_user(?, ?)"), {name, level});
        if (made == QLatin1String("true") || made == QLatin1String("1")) adopted << name;
    }
    // PostgreSQL checks the passwords; a hash kept in mmb would only be there to be stolen.
    sql::run(db, QStringLiteral("UPDATE mmb SET mm = NULL WHERE mm IS NOT NULL"));
    return adopted;
}

void addUser(const QSqlDatabase& db, const QString& name, const QString& password, int level)
{
    const QString verifier = engine::encryptedPassword(db, password);
    call([&] { sql::run(db, QStringLiteral("SELECT exavoro_add_user(?, ?, ?)"), {name, verifier, level}); });
}

void removeUser(const QSqlDatabase& db, const QString& name)
{
    call([&] { sql::run(db, QStringLiteral("SELECT exavoro_remove_user(?)"), {name}); });
}

void setPassword(const QSqlDatabase& db, const QString& name, const QString& password)
{
    const QString verifier = engine::encryptedPassword(db, password);
    call([&] { sql::run(db, QStringLiteral("SELECT exavoro_set_password(?, ?)"), {name, verifier}); });
}

int levelOfSession(const QSqlDatabase& db)
{
    return sql::scalar(db, QStringLiteral("SELECT exavoro_level()")).toInt();
}

void dropRoles(const QSqlDatabase& admin, const QString& prefix)
{
    // Users first: a group cannot go while it still has members that are dropped after it.
    const QStringList roles = sql::column(
        admin,
        QStringLiteral("SELECT rolname FROM pg_roles WHERE starts_with(rolname, ?) OR starts_with(rolname, ?)"
                       " OR starts_with(rolname, ?) ORDER BY starts_with(rolname, ?), rolname"),
        {prefix + QLatin1Char('/'), prefix + QLatin1Char('%'), prefix + QLatin1Char('#'), prefix + QLatin1Char('#')});
    for (const QString& role : roles) {
        // The server quotes the name (%I); the statement then holds nothing else.
        sql::run(admin, sql::scalar(admin, QStringLiteral("SELECT format('DROP ROLE IF EXISTS %I', ?::text)"), {role}));
    }
}

}  // namespace server_roles
