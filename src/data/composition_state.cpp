#include "data/composition_state.h"

#include <QSqlQuery>

#include "data/engine.h"
#include "data/sql.h"

namespace composition {

namespace {

// The points each type of the paper is restricted to, by subject code and type name (the name is
// what the wizard lists; a subject may have two types of one name, and they go together).
QString pointTableStatement()
{
    return engine::sessionTableStatement(QStringLiteral("session_chosen_points"),
                                         QStringLiteral("kmh TEXT, txm TEXT, zsdb_id BIGINT"));
}

// In a file the table is made when first needed (a server session makes it with the others).
void ensurePointTable(const QSqlDatabase& db)
{
    if (!engine::isServer(db)) sql::run(db, pointTableStatement());
}

}  // namespace

void prepareSession(const QSqlDatabase& db)
{
    if (!engine::isServer(db)) return;
    // The ids of the txb rows marked complete and of the zjb rows ticked, and the knowledge points
    // of each type. Rows go in through sql::changes, not sql::exec: these tables have no id column
    // of their own to give back. The statements go to the server together, in one round trip.
    const QStringList statements = {engine::sessionTableStatement(QStringLiteral("sjb")),
                                    engine::sessionTableStatement(QStringLiteral("session_chosen_types"),
                                                                  QStringLiteral("txb_id BIGINT PRIMARY KEY")),
                                    engine::sessionTableStatement(QStringLiteral("session_chosen_chapters"),
                                                                  QStringLiteral("zjb_id BIGINT PRIMARY KEY")),
                                    pointTableStatement()};
    sql::run(db, statements.join(QStringLiteral("; ")));
}

void startPaper(const QSqlDatabase& db)
{
    sql::run(db, QStringLiteral("DELETE FROM sjb"));
    ensurePointTable(db);
    sql::run(db, QStringLiteral("DELETE FROM session_chosen_points"));
    if (!engine::isServer(db)) {
        sql::run(db, QStringLiteral("UPDATE zjb SET bz='0'"));
        sql::run(db, QStringLiteral("UPDATE txb SET bz='0'"));
        return;
    }
    sql::run(db, QStringLiteral("DELETE FROM session_chosen_chapters"));
    sql::run(db, QStringLiteral("DELETE FROM session_chosen_types"));
}

void setTypeChosen(const QSqlDatabase& db, const QString& kmh, const QString& txm, bool chosen)
{
    if (!engine::isServer(db)) {
        sql::exec(db,
                  chosen ? QStringLiteral("UPDATE txb SET bz='1' WHERE kmh=? AND txm=?")
                         : QStringLiteral("UPDATE txb SET bz='0' WHERE kmh=? AND txm=?"),
                  {kmh, txm});
        return;
    }
    if (chosen) {
        sql::changes(db,
                 QStringLiteral("INSERT INTO session_chosen_types (txb_id) SELECT id FROM txb WHERE kmh=? AND txm=?"
                                " AND id NOT IN (SELECT txb_id FROM session_chosen_types)"),
                 {kmh, txm});
    } else {
        sql::changes(db,
                 QStringLiteral("DELETE FROM session_chosen_types WHERE txb_id IN"
                                " (SELECT id FROM txb WHERE kmh=? AND txm=?)"),
                 {kmh, txm});
    }
}

void chooseTypeByCode(const QSqlDatabase& db, const QString& kmh, const QString& txh)
{
    if (!engine::isServer(db)) {
        sql::exec(db, QStringLiteral("UPDATE txb SET bz='1' WHERE kmh=? AND txh=?"), {kmh, txh});
        return;
    }
    sql::changes(db,
             QStringLiteral("INSERT INTO session_chosen_types (txb_id) SELECT id FROM txb WHERE kmh=? AND txh=?"
                            " AND id NOT IN (SELECT txb_id FROM session_chosen_types)"),
             {kmh, txh});
}

void setChapterChosen(const QSqlDatabase& db, const QString& kmh, const QString& zjm, bool chosen)
{
    if (!engine::isServer(db)) {
        sql::changes(db,
                 chosen ? QStringLiteral("UPDATE zjb SET bz='1' WHERE id=(SELECT id FROM zjb WHERE kmh=? AND zjm=? "
                                         "ORDER BY id LIMIT 1)")
                        : QStringLiteral("UPDATE zjb SET bz='0' WHERE id=(SELECT id FROM zjb WHERE kmh=? AND zjm=? "
                                         "ORDER BY id LIMIT 1)"),
                 {kmh, zjm});
        return;
    }
    // The first chapter of the name, whether or not it is ticked already: a later chapter of the
    // same name is never the one ticked.
    if (chosen) {
        sql::changes(db,
                 QStringLiteral("INSERT INTO session_chosen_chapters (zjb_id) SELECT id FROM"
                                " (SELECT id FROM zjb WHERE kmh=? AND zjm=? ORDER BY id LIMIT 1) first_chapter"
                                " WHERE id NOT IN (SELECT zjb_id FROM session_chosen_chapters)"),
                 {kmh, zjm});
    } else {
        sql::changes(db,
                 QStringLiteral("DELETE FROM session_chosen_chapters WHERE zjb_id="
                                "(SELECT id FROM zjb WHERE kmh=? AND zjm=? ORDER BY id LIMIT 1)"),
                 {kmh, zjm});
    }
}

void chooseChapterByCode(const QSqlDatabase& db, const QString& kmh, const QString& zjh)
{
    if (!engine::isServer(db)) {
        sql::exec(db, QStringLiteral("UPDATE zjb SET bz='1' WHERE kmh=? AND zjh=?"), {kmh, zjh});
        return;
    }
    sql::changes(db,
             QStringLiteral("INSERT INTO session_chosen_chapters (zjb_id) SELECT id FROM zjb WHERE kmh=? AND zjh=?"
                            " AND id NOT IN (SELECT zjb_id FROM session_chosen_chapters)"),
             {kmh, zjh});
}

bool isTypeChosen(const QSqlDatabase& db, const QString& kmh, const QString& txm)
{
    const QString statement =
        engine::isServer(db)
            ? QStringLiteral(
                  "SELECT CASE WHEN id IN (SELECT txb_id FROM session_chosen_types) THEN '1' ELSE '0' END"
                  " FROM txb WHERE kmh=? AND txm=? ORDER BY id DESC LIMIT 1")
            : QStringLiteral("SELECT bz FROM txb WHERE kmh=? AND txm=? ORDER BY id DESC LIMIT 1");
    return sql::scalar(db, statement, {kmh, txm}) == QLatin1String("1");
}

QStringList openTypeNames(const QSqlDatabase& db, const QString& kmh)
{
    const QString statement =
        engine::isServer(db)
            ? QStringLiteral(
                  "SELECT txm FROM txb WHERE kmh=? AND id NOT IN (SELECT txb_id FROM session_chosen_types)"
                  " ORDER BY id")
            : QStringLiteral("SELECT txm FROM txb WHERE kmh=? AND bz='0' ORDER BY id");
    QStringList names;
    sql::Reader q(db, statement, {kmh});
    while (q.next()) names << q.text(0);
    return names;
}

QVector<ChapterFlag> chapterFlags(const QSqlDatabase& db, const QString& kmh)
{
    const QString statement =
        engine::isServer(db)
            ? QStringLiteral(
                  "SELECT zjm, CASE WHEN id IN (SELECT zjb_id FROM session_chosen_chapters) THEN '1' ELSE"
                  " '0' END FROM zjb WHERE kmh=? ORDER BY id")
            : QStringLiteral("SELECT zjm, bz FROM zjb WHERE kmh=? ORDER BY id");
    QVector<ChapterFlag> flags;
    sql::Reader q(db, statement, {kmh});
    while (q.next()) flags.append({q.text(0), q.text(1) == QLatin1String("1")});
    return flags;
}

QList<qint64> typePoints(const QSqlDatabase& db, const QString& kmh, const QString& txm)
{
    ensurePointTable(db);
    QList<qint64> ids;
    sql::Reader q(db,
                  QStringLiteral("SELECT DISTINCT zsdb_id FROM session_chosen_points WHERE kmh=? AND txm=?"
                                 " ORDER BY zsdb_id"),
                  {kmh, txm});
    while (q.next()) ids.append(q.text(0).toLongLong());
    return ids;
}

void setTypePoints(const QSqlDatabase& db, const QString& kmh, const QString& txm, const QList<qint64>& pointIds)
{
    ensurePointTable(db);
    const auto replace = [&] {
        sql::run(db, QStringLiteral("DELETE FROM session_chosen_points WHERE kmh=? AND txm=?"), {kmh, txm});
        QList<qint64> stored;
        for (qint64 id : pointIds) {
            if (id <= 0 || stored.contains(id)) continue;
            stored.append(id);
            sql::run(db, QStringLiteral("INSERT INTO session_chosen_points (kmh, txm, zsdb_id) VALUES (?, ?, ?)"),
                     {kmh, txm, id});
        }
    };
    // The old points go and the new come together, in the caller's transaction when there is one.
    if (sql::inTransaction(db)) {
        replace();
    } else {
        sql::transaction(db, replace);
    }
}

QString chosenChapterCondition(const QSqlDatabase& db)
{
    return engine::isServer(db) ? QStringLiteral("zjb.id IN (SELECT zjb_id FROM session_chosen_chapters)")
                                : QStringLiteral("zjb.bz='1'");
}

}  // namespace composition
