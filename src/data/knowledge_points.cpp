#include "data/knowledge_points.h"

#include <QSet>
#include <functional>
#include <algorithm>

#include "data/errors.h"
#include "data/sql.h"

namespace knowledge {

namespace {

const QString kSeparator = QStringLiteral("/");

// Runs `work` in the caller's transaction, or in one of its own when there is none.
template <typename F>
void inTransaction(QSqlDatabase& db, F&& work)
{
    if (sql::inTransaction(db)) {
        work();
    } else {
        sql::transaction(db, work);
    }
}

QString checkedName(const QString& name)
{
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty()) throw AppError(QStringLiteral("知识点名称不能为空！"));
    // A name must read back as itself from a path and from a list typed into the entry field.
    for (const QString& separator : {kSeparator, QStringLiteral("，"), QStringLiteral(",")}) {
        if (trimmed.contains(separator)) {
            throw AppError(QStringLiteral("知识点名称中不能含有“%1”。").arg(separator));
        }
    }
    return trimmed;
}

struct Row {
    qint64 id;
    QString kmh;
    QString name;
    qint64 parent;
};

bool readPoint(QSqlDatabase& db, qint64 id, Row* row)
{
    sql::Reader q(db, QStringLiteral("SELECT id, kmh, zsdm, sjid FROM zsdb WHERE id=?"), {id});
    if (!q.next()) return false;
    *row = {q.int64(0), q.text(1), q.text(2), q.int64(3)};
    return true;
}

Row requirePoint(QSqlDatabase& db, qint64 id)
{
    Row row{};
    if (!readPoint(db, id, &row)) throw AppError(QStringLiteral("这个知识点已不存在，请刷新后重试。"));
    return row;
}

// Refuses `name` when another point under `parent` of the subject has it (`except`: the point itself).
void refuseSiblingName(QSqlDatabase& db, const QString& kmh, qint64 parent, const QString& name, qint64 except)
{
    QString ignored;
    if (sql::firstValue(db, QStringLiteral("SELECT id FROM zsdb WHERE kmh=? AND sjid=? AND zsdm=? AND id<>?"),
                        {kmh, parent, name, except}, &ignored)) {
        throw AppError(QStringLiteral("同一上级下已有知识点“%1”，请换一个名称。").arg(name));
    }
}

void requireParentOf(QSqlDatabase& db, const QString& kmh, qint64 parent)
{
    if (parent == 0) return;
    Row row{};
    if (!readPoint(db, parent, &row) || row.kmh != kmh) {
        throw AppError(QStringLiteral("上级知识点已不存在，请刷新后重试。"));
    }
}

QList<Row> rowsOf(QSqlDatabase& db, const QString& kmh)
{
    QList<Row> rows;
    sql::Reader q(db, QStringLiteral("SELECT id, kmh, zsdm, sjid FROM zsdb WHERE kmh=? ORDER BY id"), {kmh});
    while (q.next()) rows.append({q.int64(0), q.text(1), q.text(2), q.int64(3)});
    return rows;
}

// Every (id, parent) pair of the bank: trees are small, and walking them in memory saves a
// statement per level.
QHash<qint64, QList<qint64>> childrenOfAll(QSqlDatabase& db)
{
    QHash<qint64, QList<qint64>> children;
    sql::Reader q(db, QStringLiteral("SELECT id, sjid FROM zsdb ORDER BY id"));
    while (q.next()) children[q.int64(1)].append(q.int64(0));
    return children;
}

QList<qint64> descendantsAndSelf(const QHash<qint64, QList<qint64>>& children, const QList<qint64>& roots)
{
    QList<qint64> found;
    QSet<qint64> seen;
    QList<qint64> pending = roots;
    while (!pending.isEmpty()) {
        const qint64 id = pending.takeFirst();
        if (seen.contains(id)) continue;  // a damaged bank's cycle ends here
        seen.insert(id);
        found.append(id);
        pending.append(children.value(id));
    }
    return found;
}

QVariantList idBinds(const QList<qint64>& ids)
{
    QVariantList binds;
    for (qint64 id : ids) binds << id;
    return binds;
}

QString placeholders(int n)
{
    return QStringList(n, QStringLiteral("?")).join(QLatin1Char(','));
}

// Deletes rows of `table` whose `column` is one of `ids`, a few hundred at a time (a statement
// binds a limited number of values).
void deleteWhereIn(QSqlDatabase& db, const QString& table, const QString& column, const QList<qint64>& ids)
{
    constexpr int kChunk = 500;
    for (int i = 0; i < ids.size(); i += kChunk) {
        const QList<qint64> part = ids.mid(i, kChunk);
        sql::run(db, QStringLiteral("DELETE FROM %1 WHERE %2 IN (%3)").arg(table, column, placeholders(part.size())),
                 idBinds(part));
    }
}

}  // namespace

QList<Point> points(QSqlDatabase& db, const QString& kmh)
{
    const QList<Row> rows = rowsOf(db, kmh);
    QHash<qint64, QList<Row>> children;
    QSet<qint64> ids;
    for (const Row& row : rows) ids.insert(row.id);
    for (const Row& row : rows) {
        // A point whose parent is gone (or another subject's) stands at the top.
        const qint64 parent = ids.contains(row.parent) && row.parent != row.id ? row.parent : 0;
        children[parent].append({row.id, row.kmh, row.name, parent});
    }
    for (auto& siblings : children) {
        std::stable_sort(siblings.begin(), siblings.end(),
                         [](const Row& a, const Row& b) { return a.name < b.name; });
    }
    QList<Point> result;
    QSet<qint64> seen;
    // Depth first, so that each point follows its parent and its parent's earlier subtrees.
    std::function<void(qint64)> walk = [&](qint64 parent) {
        for (const Row& row : children.value(parent)) {
            if (seen.contains(row.id)) continue;
            seen.insert(row.id);
            result.append({row.id, row.kmh, row.name, row.parent});
            walk(row.id);
        }
    };
    walk(0);
    return result;
}

qint64 add(QSqlDatabase& db, const QString& kmh, const QString& name, qint64 parent)
{
    const QString checked = checkedName(name);
    if (kmh.isEmpty()) throw AppError(QStringLiteral("请先选择科目！"));
    qint64 id = 0;
    inTransaction(db, [&] {
        requireParentOf(db, kmh, parent);
        refuseSiblingName(db, kmh, parent, checked, 0);
        id = sql::exec(db, QStringLiteral("INSERT INTO zsdb (kmh, zsdm, sjid) VALUES (?, ?, ?)"), {kmh, checked, parent});
    });
    return id;
}

void rename(QSqlDatabase& db, qint64 id, const QString& name)
{
    const QString checked = checkedName(name);
    inTransaction(db, [&] {
        const Row row = requirePoint(db, id);
        refuseSiblingName(db, row.kmh, row.parent, checked, id);
        sql::run(db, QStringLiteral("UPDATE zsdb SET zsdm=? WHERE id=?"), {checked, id});
    });
}

void move(QSqlDatabase& db, qint64 id, qint64 newParent)
{
    inTransaction(db, [&] {
        const Row row = requirePoint(db, id);
        if (newParent != 0 && descendantsAndSelf(childrenOfAll(db), {id}).contains(newParent)) {
            throw AppError(QStringLiteral("不能把知识点“%1”移到它自己或它的下级之下。").arg(row.name));
        }
        requireParentOf(db, row.kmh, newParent);
        refuseSiblingName(db, row.kmh, newParent, row.name, id);
        sql::run(db, QStringLiteral("UPDATE zsdb SET sjid=? WHERE id=?"), {newParent, id});
    });
}

void remove(QSqlDatabase& db, qint64 id)
{
    inTransaction(db, [&] {
        const QList<qint64> gone = descendantsAndSelf(childrenOfAll(db), {id});
        deleteWhereIn(db, QStringLiteral("stzsd"), QStringLiteral("zsdid"), gone);
        deleteWhereIn(db, QStringLiteral("zsdb"), QStringLiteral("id"), gone);
    });
}

QList<qint64> ofQuestion(QSqlDatabase& db, qint64 questionId)
{
    QList<qint64> ids;
    sql::Reader q(db,
                  QStringLiteral("SELECT l.zsdid FROM stzsd l WHERE l.stid=? AND EXISTS"
                                 " (SELECT 1 FROM zsdb p WHERE p.id=l.zsdid) ORDER BY l.id"),
                  {questionId});
    while (q.next()) {
        if (!ids.contains(q.int64(0))) ids.append(q.int64(0));
    }
    return ids;
}

QStringList namesOfQuestion(QSqlDatabase& db, qint64 questionId)
{
    QStringList names;
    for (qint64 id : ofQuestion(db, questionId)) {
        const QString path = pathOf(db, id);
        if (!path.isEmpty()) names << path;
    }
    names.sort();
    return names;
}

void setForQuestion(QSqlDatabase& db, qint64 questionId, const QList<qint64>& pointIds)
{
    inTransaction(db, [&] {
        sql::run(db, QStringLiteral("DELETE FROM stzsd WHERE stid=?"), {questionId});
        QSet<qint64> done;
        for (qint64 id : pointIds) {
            if (id <= 0 || done.contains(id)) continue;
            done.insert(id);
            sql::run(db, QStringLiteral("INSERT INTO stzsd (stid, zsdid) SELECT ?, id FROM zsdb WHERE id=?"),
                     {questionId, id});
        }
    });
}

void setNamesForQuestion(QSqlDatabase& db, qint64 questionId, const QString& kmh, const QStringList& names)
{
    inTransaction(db, [&] { setForQuestion(db, questionId, resolve(db, kmh, names)); });
}

QList<qint64> withDescendants(QSqlDatabase& db, const QList<qint64>& pointIds)
{
    if (pointIds.isEmpty()) return {};
    return descendantsAndSelf(childrenOfAll(db), pointIds);
}

QHash<qint64, QString> paths(QSqlDatabase& db, const QString& kmh)
{
    QHash<qint64, QString> result;
    for (const Point& p : points(db, kmh)) {
        // Parents come first, so a parent's path is known when its child's is made.
        result.insert(p.id, p.parent == 0 ? p.name : result.value(p.parent) + kSeparator + p.name);
    }
    return result;
}

QHash<qint64, QStringList> pathsOfQuestions(QSqlDatabase& db, const QString& kmh, const QList<qint64>& questionIds)
{
    const QHash<qint64, QString> known = paths(db, kmh);
    QHash<qint64, QStringList> result;
    if (known.isEmpty()) return result;
    QString statement = QStringLiteral("SELECT l.stid, l.zsdid FROM stzsd l JOIN stb s ON s.id = l.stid WHERE s.kmh = ?");
    QVariantList binds{kmh};
    if (!questionIds.isEmpty()) {
        statement += QStringLiteral(" AND l.stid IN (%1)")
                         .arg(QStringList(questionIds.size(), QStringLiteral("?")).join(QLatin1Char(',')));
        for (const qint64 id : questionIds) binds << id;
    }
    for (sql::Reader r(db, statement + QStringLiteral(" ORDER BY l.id"), binds); r.next();) {
        const auto path = known.constFind(r.int64(1));
        if (path == known.cend()) continue;  // a link to a point of another subject or none
        QStringList& names = result[r.int64(0)];
        if (!names.contains(*path)) names << *path;
    }
    for (QStringList& names : result) names.sort();
    return result;
}

QString pathOf(QSqlDatabase& db, qint64 id)
{
    QStringList parts;
    QSet<qint64> seen;
    qint64 at = id;
    while (at != 0 && !seen.contains(at)) {
        seen.insert(at);
        Row row{};
        if (!readPoint(db, at, &row)) break;
        parts.prepend(row.name);
        at = row.parent;
    }
    return parts.join(kSeparator);
}

QList<qint64> resolve(QSqlDatabase& db, const QString& kmh, const QStringList& names, QStringList* created)
{
    QList<qint64> ids;
    inTransaction(db, [&] {
        for (const QString& entry : names) {
            QStringList parts = entry.split(kSeparator);
            for (QString& part : parts) part = part.trimmed();
            parts.removeAll(QString());
            if (parts.isEmpty()) continue;
            const QString wanted = parts.join(kSeparator);
            // Read again for each entry: an earlier one may have created points.
            const QList<Point> tree = points(db, kmh);
            const QHash<qint64, QString> byId = paths(db, kmh);
            qint64 found = 0;
            for (const Point& p : tree) {
                if (byId.value(p.id) == wanted) {
                    found = p.id;
                    break;
                }
            }
            if (found == 0) {
                for (const Point& p : tree) {
                    if (byId.value(p.id).endsWith(kSeparator + wanted)) {
                        found = p.id;
                        break;
                    }
                }
            }
            if (found == 0) {
                // Created along the path from the top, reusing the parts that exist.
                qint64 parent = 0;
                QStringList made;
                for (const QString& part : parts) {
                    QString existing;
                    if (sql::firstValue(db,
                                        QStringLiteral("SELECT id FROM zsdb WHERE kmh=? AND sjid=? AND zsdm=?"
                                                       " ORDER BY id LIMIT 1"),
                                        {kmh, parent, part}, &existing)) {
                        parent = existing.toLongLong();
                    } else {
                        parent = add(db, kmh, part, parent);
                        made << part;
                    }
                }
                found = parent;
                if (created && !made.isEmpty()) *created << wanted;
            }
            if (!ids.contains(found)) ids.append(found);
        }
    });
    return ids;
}

QStringList splitNames(const QString& text)
{
    QString unified = text;
    unified.replace(QStringLiteral("，"), QStringLiteral(","));
    QStringList names;
    for (const QString& part : unified.split(QLatin1Char(','))) {
        const QString name = part.trimmed();
        if (!name.isEmpty() && !names.contains(name)) names << name;
    }
    return names;
}

QHash<qint64, int> questionCounts(QSqlDatabase& db, const QString& kmh)
{
    QHash<qint64, int> counts;
    sql::Reader q(db,
                  QStringLiteral("SELECT p.id, COUNT(DISTINCT l.stid) FROM zsdb p JOIN stzsd l ON l.zsdid=p.id"
                                 " JOIN stb s ON s.id=l.stid WHERE p.kmh=? GROUP BY p.id"),
                  {kmh});
    while (q.next()) counts.insert(q.int64(0), static_cast<int>(q.int64(1)));
    return counts;
}

void removeLinksOfQuestions(QSqlDatabase& db, const QString& questionWhere, const QVariantList& binds)
{
    sql::run(db, QStringLiteral("DELETE FROM stzsd WHERE stid IN (SELECT id FROM stb WHERE %1)").arg(questionWhere),
             binds);
}

void removeSubject(QSqlDatabase& db, const QString& kmh)
{
    inTransaction(db, [&] {
        sql::run(db, QStringLiteral("DELETE FROM stzsd WHERE zsdid IN (SELECT id FROM zsdb WHERE kmh=?)"), {kmh});
        sql::run(db, QStringLiteral("DELETE FROM zsdb WHERE kmh=?"), {kmh});
    });
}

}  // namespace knowledge
