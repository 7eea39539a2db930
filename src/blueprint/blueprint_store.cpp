#include "blueprint/blueprint_store.h"

#include "data/convert.h"
#include "data/sql.h"

namespace blueprint::store {

namespace {

// The template's id, 0 when there is none (the last of equal names, as every lookup here does).
qint64 idOf(const QSqlDatabase& db, const QString& kmh, const QString& name)
{
    return sql::scalar(db, QStringLiteral("SELECT id FROM blueprints WHERE kmh=? AND name=? ORDER BY id DESC LIMIT 1"),
                       {kmh, name})
        .toLongLong();
}

void removeById(const QSqlDatabase& db, qint64 id)
{
    sql::exec(db, QStringLiteral("DELETE FROM blueprint_cells WHERE blueprint_id=?"), {id});
    sql::exec(db, QStringLiteral("DELETE FROM blueprint_types WHERE blueprint_id=?"), {id});
    sql::exec(db, QStringLiteral("DELETE FROM blueprints WHERE id=?"), {id});
}

}  // namespace

QStringList names(const QSqlDatabase& db, const QString& kmh)
{
    return sql::column(db, QStringLiteral("SELECT name FROM blueprints WHERE kmh=? ORDER BY id"), {kmh});
}

bool exists(const QSqlDatabase& db, const QString& kmh, const QString& name)
{
    return idOf(db, kmh, name) != 0;
}

void save(const QSqlDatabase& db, const Plan& plan, const QString& name)
{
    sql::transaction(db, [&] {
        const qint64 old = idOf(db, plan.kmh, name);
        if (old != 0) removeById(db, old);
        const qint64 id = sql::exec(
            db,
            QStringLiteral("INSERT INTO blueprints (kmh, name, zf, title, duration, row_kind) VALUES (?, ?, ?, ?, ?, ?)"),
            {plan.kmh, name, QString::number(plan.total), plan.title, plan.duration, rowKindCode(plan.rows)});
        for (const TypeColumn& t : plan.types) {
            sql::exec(db, QStringLiteral("INSERT INTO blueprint_types (blueprint_id, txh, merged) VALUES (?, ?, ?)"),
                      {id, t.txh, t.merged ? QStringLiteral("1") : QStringLiteral("0")});
        }
        for (const Cell& c : plan.cells) {
            sql::exec(db,
                      QStringLiteral("INSERT INTO blueprint_cells (blueprint_id, zjh, txh, nd, ts, fs)"
                                     " VALUES (?, ?, ?, ?, ?, ?)"),
                      {id, c.zjh, c.txh, c.nd, QString::number(c.count), convert::floatToText(c.points)});
        }
    });
}

RowKind rowKind(const QSqlDatabase& db, const QString& kmh, const QString& name)
{
    const qint64 id = idOf(db, kmh, name);
    if (id == 0) return RowKind::Chapters;
    return rowKindFromCode(sql::scalar(db, QStringLiteral("SELECT row_kind FROM blueprints WHERE id=?"), {id}));
}

bool load(const QSqlDatabase& db, const QString& kmh, const QString& name, Plan* plan, QStringList* vanishedRows)
{
    const qint64 id = idOf(db, kmh, name);
    if (id == 0) return false;
    {
        QSqlQuery head =
            sql::run(db, QStringLiteral("SELECT zf, title, duration, row_kind FROM blueprints WHERE id=?"), {id});
        if (head.next()) {
            plan->total = head.value(0).toInt();
            // A template saved before titles were kept leaves both empty.
            plan->title = head.value(1).toString();
            plan->duration = head.value(2).toString();
            // One saved before templates kept their row kind (NULL) is laid out by chapters.
            plan->rows = rowKindFromCode(head.value(3).toString());
        }
    }
    plan->types.clear();
    plan->cells.clear();
    // Types still present in the subject, with their names as they are now.
    QSqlQuery types =
        sql::run(db,
                 QStringLiteral("SELECT blueprint_types.txh, blueprint_types.merged, txb.txm"
                                " FROM blueprint_types, txb WHERE blueprint_types.blueprint_id=?"
                                " AND txb.kmh=? AND txb.txh=blueprint_types.txh ORDER BY blueprint_types.id"),
                 {id, kmh});
    QSet<QString> seen;
    while (types.next()) {
        const QString txh = types.value(0).toString();
        if (seen.contains(txh)) continue;
        seen.insert(txh);
        plan->types.append({txh, types.value(2).toString(), types.value(1).toString() == QLatin1String("1")});
    }
    QSet<QString> chapters;
    for (const Chapter& ch : plan->chapters) chapters.insert(ch.zjh);
    QSqlQuery cells = sql::run(
        db, QStringLiteral("SELECT zjh, txh, nd, ts, fs FROM blueprint_cells WHERE blueprint_id=? ORDER BY id"), {id});
    while (cells.next()) {
        Cell c;
        c.zjh = cells.value(0).toString();
        c.txh = cells.value(1).toString();
        c.nd = cells.value(2).toString();
        c.count = cells.value(3).toString().toInt();
        c.points = convert::toFloat(cells.value(4).toString());
        if (!chapters.contains(c.zjh)) {
            if (vanishedRows && !vanishedRows->contains(c.zjh)) vanishedRows->append(c.zjh);
            continue;
        }
        if (seen.contains(c.txh)) plan->cells.append(c);
    }
    return true;
}

void remove(const QSqlDatabase& db, const QString& kmh, const QString& name)
{
    sql::transaction(db, [&] {
        const qint64 id = idOf(db, kmh, name);
        if (id != 0) removeById(db, id);
    });
}

QString copy(const QSqlDatabase& db, const QString& kmh, const QString& name)
{
    QString target = name + QStringLiteral("（副本）");
    for (int n = 2; exists(db, kmh, target); ++n) target = name + QStringLiteral("（副本%1）").arg(n);
    Plan plan;
    plan.kmh = kmh;
    // Every chapter code the template uses is kept, so the copy is exact.
    for (const QString& zjh :
         sql::column(db, QStringLiteral("SELECT DISTINCT zjh FROM blueprint_cells WHERE blueprint_id=?"),
                     {idOf(db, kmh, name)})) {
        plan.chapters.append({zjh, QString()});
    }
    if (!load(db, kmh, name, &plan)) return QString();
    save(db, plan, target);
    return target;
}

}  // namespace blueprint::store
