#include "data/recycle.h"

#include <QDateTime>
#include <functional>

#include "data/engine.h"
#include "data/errors.h"
#include "data/numbering.h"
#include "data/sql.h"

namespace recycle {

namespace {

const QString kStbColumns = QStringLiteral("kmh, txh, th, zjh, nd, fs, tm, da, \"time\", bz");

QString now()
{
    return timestamp(QDateTime::currentDateTime());
}

int count(const QSqlDatabase& db, const QString& statement, const QVariantList& binds)
{
    return sql::scalar(db, statement, binds).toInt();
}

QString lastValue(const QSqlDatabase& db, const QString& statement, const QVariantList& binds)
{
    QString value;
    sql::firstValue(db, statement, binds, &value);
    return value;
}

qint64 addItem(const QSqlDatabase& db, const QString& kind, const QString& summary, const QString& by,
               const QVariantList& codes)
{
    QVariantList binds = {kind, summary, now(), by};
    binds << codes;
    while (binds.size() < 11) binds << QString();
    return sql::exec(
        db,
        QStringLiteral("INSERT INTO recycle_items (kind, summary, deleted_at, deleted_by, kmh, kmm, txh, txm,"
                       " zjh, zjm, th) VALUES (?,?,?,?,?,?,?,?,?,?,?)"),
        binds);
}

// Copies the questions matching `where` into the bin under `item`, in read order.
void copyQuestions(const QSqlDatabase& db, qint64 item, const QString& where, const QVariantList& binds)
{
    QVariantList all = {item};
    all << binds;
    sql::run(
        db,
        QStringLiteral("INSERT INTO recycle_stb (item_id, orig_id, %1) SELECT ?, id, %1 FROM stb WHERE %2 ORDER BY id")
            .arg(kStbColumns, where),
        all);
    // Their links to knowledge points go with them.
    sql::run(db,
             QStringLiteral("INSERT INTO recycle_stzsd (item_id, orig_id, stid, zsdid) SELECT ?, id, stid, zsdid"
                            " FROM stzsd WHERE stid IN (SELECT id FROM stb WHERE %1) ORDER BY id")
                 .arg(where),
             all);
}

void copyRows(const QSqlDatabase& db, qint64 item, const QString& table, const QString& columns, const QString& where,
              const QVariantList& binds)
{
    QVariantList all = {item};
    all << binds;
    sql::run(
        db,
        QStringLiteral("INSERT INTO recycle_%1 (item_id, orig_id, %2) SELECT ?, id, %2 FROM %1 WHERE %3 ORDER BY id")
            .arg(table, columns, where),
        all);
}

QString subjectName(const QSqlDatabase& db, const QString& kmh)
{
    return lastValue(db, QStringLiteral("SELECT kmm FROM kmb WHERE kmh=? ORDER BY id DESC LIMIT 1"), {kmh});
}

bool exists(const QSqlDatabase& db, const QString& statement, const QVariantList& binds)
{
    QString ignored;
    return sql::firstValue(db, statement, binds, &ignored);
}

// A code or question number as the program compares them: its decimal value, -1 when it has none.
qint64 number(const QString& code)
{
    bool ok = false;
    const qint64 value = code.trimmed().toLongLong(&ok);
    return ok ? value : -1;
}

QString codeAfter(const QString& last, int width)
{
    return QString::number(qMax<qint64>(number(last), 0) + 1).rightJustified(width, QLatin1Char('0'));
}

// One numbering scope: the rows of `table` that `where` (with `binds`) selects, numbered by `column`.
struct Scope {
    QString table;
    QString where;
    QVariantList binds;
    QString column;
    int width;
    // Whether a code is in use: by a row of the scope, or by rows that would belong to it.
    std::function<bool(const QString&)> taken;
};

QString scopeValue(const QSqlDatabase& db, const Scope& scope, const QString& extra, const QVariantList& extraBinds,
                   const char* order)
{
    QVariantList binds = scope.binds;
    binds << extraBinds;
    const QString where = scope.where.isEmpty() ? extra
                          : extra.isEmpty()     ? scope.where
                                                : scope.where + QStringLiteral(" AND ") + extra;
    return lastValue(
        db,
        QStringLiteral("SELECT %1 FROM %2%3 ORDER BY id %4 LIMIT 1")
            .arg(scope.column, scope.table, where.isEmpty() ? QString() : QStringLiteral(" WHERE ") + where,
                 QString::fromLatin1(order)),
        binds);
}

struct Placement {
    QString code;
    qint64 id = 0;  // 0: appended with a new id
    bool renumbered = false;
};

// Where a restored row goes. The dialogs give the code after the last row's in read order, so
// codes must stay ascending in read order for them to go on giving unused codes: the row takes its
// old id back when its old code is free and fits between its neighbours there, goes last with its
// old code when that is above every code of the scope, and otherwise gets the next code.
Placement place(const QSqlDatabase& db, const Scope& scope, const QString& code, qint64 origId)
{
    const QString last = scopeValue(db, scope, QString(), {}, "DESC");
    if (!scope.taken(code)) {
        const bool idFree =
            origId > 0 && !exists(db, QStringLiteral("SELECT 1 FROM %1 WHERE id=?").arg(scope.table), {origId});
        if (idFree) {
            const QString before = scopeValue(db, scope, QStringLiteral("id<?"), {origId}, "DESC");
            const QString after = scopeValue(db, scope, QStringLiteral("id>?"), {origId}, "ASC");
            const qint64 value = number(code);
            if ((before.isNull() || number(before) < value) && (after.isNull() || value < number(after))) {
                return {code, origId, false};
            }
        }
        if (last.isNull() || number(code) > number(last)) return {code, 0, false};
    }
    QString next = codeAfter(last, scope.width);
    while (scope.taken(next)) next = codeAfter(next, scope.width);
    return {next, 0, true};
}

struct ItemRow {
    QString kind, kmh, kmm, txh, txm, zjh, zjm, th;
};

ItemRow readItem(const QSqlDatabase& db, qint64 id)
{
    sql::Reader q(db, QStringLiteral("SELECT kind, kmh, kmm, txh, txm, zjh, zjm, th FROM recycle_items WHERE id=?"),
                  {id});
    if (!q.next()) throw DataError(QStringLiteral("回收站中已没有这一项。"));
    return {q.text(0), q.text(1), q.text(2), q.text(3), q.text(4), q.text(5), q.text(6), q.text(7)};
}

// The code of the subject now called `name` (the last such row, as the dialogs look it up).
bool findSubject(const QSqlDatabase& db, const QString& name, QString* kmh)
{
    return sql::firstValue(db, QStringLiteral("SELECT kmh FROM kmb WHERE kmm=? ORDER BY id DESC LIMIT 1"), {name}, kmh);
}

QString requireSubject(const QSqlDatabase& db, const ItemRow& item)
{
    QString kmh;
    if (!findSubject(db, item.kmm, &kmh)) {
        throw DataError(QStringLiteral("无法恢复：科目“%1”已不存在，请先恢复该科目。").arg(item.kmm));
    }
    return kmh;
}

void refuseTakenName(bool taken, const QString& what, const QString& name)
{
    if (taken) throw DataError(QStringLiteral("%1名称“%2”已存在，请换一个名称。").arg(what, name));
}

// Whether the rows of a subject, type or chapter code would clash with rows there now.
bool subjectCodeTaken(const QSqlDatabase& db, const QString& kmh)
{
    return exists(db,
                  QStringLiteral("SELECT 1 FROM kmb WHERE kmh=? UNION ALL SELECT 1 FROM txb WHERE kmh=?"
                                 " UNION ALL SELECT 1 FROM zjb WHERE kmh=? UNION ALL SELECT 1 FROM stb WHERE kmh=?"),
                  {kmh, kmh, kmh, kmh});
}

Scope questionScope(const QSqlDatabase& db, const QString& kmh, const QString& txh)
{
    return {QStringLiteral("stb"),
            QStringLiteral("kmh=? AND txh=?"),
            {kmh, txh},
            QStringLiteral("th"),
            3,
            [db, kmh, txh](const QString& th) {
                return exists(db, QStringLiteral("SELECT 1 FROM stb WHERE kmh=? AND txh=? AND th=?"), {kmh, txh, th});
            }};
}

// The papers that used a question, and the statistics measured in their sittings, go on naming it
// when it comes back under a new id.
void followQuestion(const QSqlDatabase& db, qint64 origId, qint64 id)
{
    if (origId <= 0 || id <= 0 || origId == id) return;
    sql::exec(db, QStringLiteral("UPDATE paper_questions SET question_id=? WHERE question_id=?"), {id, origId});
    sql::exec(db, QStringLiteral("UPDATE question_stats SET question_id=? WHERE question_id=?"), {id, origId});
}

// A restored question gets back its links to the knowledge points that are still there.
void restoreLinks(const QSqlDatabase& db, qint64 itemId, qint64 origId, qint64 id)
{
    sql::run(db,
             QStringLiteral("INSERT INTO stzsd (stid, zsdid) SELECT ?, r.zsdid FROM recycle_stzsd r WHERE r.item_id=?"
                            " AND r.stid=? AND EXISTS (SELECT 1 FROM zsdb p WHERE p.id=r.zsdid) ORDER BY r.id"),
             {id, itemId, origId});
}

// A deleted subject's knowledge points go back under its code `kmh`: with their old ids when those
// are free, else under new ones, which their children and the kept links then follow.
void restorePoints(const QSqlDatabase& db, qint64 itemId, const QString& kmh)
{
    struct Kept {
        qint64 id, origId;
    };
    QVector<Kept> rows;
    {
        sql::Reader q(db, QStringLiteral("SELECT id, orig_id FROM recycle_zsdb WHERE item_id=? ORDER BY id"), {itemId});
        while (q.next()) rows.append({q.int64(0), q.int64(1)});
    }
    const bool idsFree = !exists(db,
                                 QStringLiteral("SELECT 1 FROM recycle_zsdb r WHERE r.item_id=? AND EXISTS"
                                                " (SELECT 1 FROM zsdb t WHERE t.id=r.orig_id)"),
                                 {itemId});
    if (idsFree) {
        sql::run(db,
                 QStringLiteral("INSERT INTO zsdb (id, kmh, zsdm, sjid) SELECT orig_id, ?, zsdm, sjid FROM recycle_zsdb"
                                " WHERE item_id=? ORDER BY id"),
                 {kmh, itemId});
        return;
    }
    QVector<QPair<qint64, qint64>> moved;  // old id, new id
    for (const Kept& row : rows) {
        const qint64 id = sql::exec(
            db, QStringLiteral("INSERT INTO zsdb (kmh, zsdm, sjid) SELECT ?, zsdm, sjid FROM recycle_zsdb WHERE id=?"),
            {kmh, row.id});
        moved.append({row.origId, id});
    }
    // New ids are above every id ever given, so no old id is taken for a new one midway.
    for (const auto& [oldId, newId] : moved) {
        sql::run(db, QStringLiteral("UPDATE zsdb SET sjid=? WHERE kmh=? AND sjid=?"), {newId, kmh, oldId});
        sql::run(db, QStringLiteral("UPDATE recycle_stzsd SET zsdid=? WHERE item_id=? AND zsdid=?"),
                 {newId, itemId, oldId});
    }
}

// Puts the questions of an item back one by one into existing types, numbering them as above.
// `zjh`, when not empty, replaces their chapter code.
QStringList restoreQuestionsOneByOne(const QSqlDatabase& db, qint64 itemId, const QString& kmh, const QString& zjh)
{
    QStringList notes;
    struct Row {
        qint64 id, origId;
        QString txh, th;
    };
    QVector<Row> rows;
    {
        sql::Reader q(db, QStringLiteral("SELECT id, orig_id, txh, th FROM recycle_stb WHERE item_id=? ORDER BY id"),
                      {itemId});
        while (q.next()) rows.append({q.int64(0), q.int64(1), q.text(2), q.text(3)});
    }
    for (const Row& row : rows) {
        const Placement at = place(db, questionScope(db, kmh, row.txh), row.th, row.origId);
        const QString chapter = zjh.isEmpty() ? QStringLiteral("zjh") : QStringLiteral("?");
        QVariantList binds;
        if (at.id > 0) binds << at.id;
        binds << kmh << row.txh << at.code;
        if (!zjh.isEmpty()) binds << zjh;
        binds << row.id;
        const qint64 id = sql::exec(
            db,
            QStringLiteral("INSERT INTO stb (%1kmh, txh, th, zjh, nd, fs, tm, da, \"time\", bz) SELECT %2?, ?, ?, %3,"
                           " nd, fs, tm, da, \"time\", bz FROM recycle_stb WHERE id=?")
                .arg(at.id > 0 ? QStringLiteral("id, ") : QString(), at.id > 0 ? QStringLiteral("?, ") : QString(),
                     chapter),
            binds);
        followQuestion(db, row.origId, at.id > 0 ? at.id : id);
        restoreLinks(db, itemId, row.origId, at.id > 0 ? at.id : id);
        if (at.renumbered) {
            const QString type =
                lastValue(db, QStringLiteral("SELECT txm FROM txb WHERE kmh=? AND txh=? ORDER BY id DESC LIMIT 1"),
                          {kmh, row.txh});
            notes << QStringLiteral("题型“%1”的第%2题已被占用，恢复为第%3题。").arg(type, row.th, at.code);
        }
    }
    return notes;
}

// Puts rows of the bin back into a scope that holds none of their codes (a subject or type
// restored under a free code): in their old order, with their old ids when all of them are free.
void restoreRowsInBulk(const QSqlDatabase& db, qint64 itemId, const QString& table, const QString& columns,
                       const QString& values, const QVariantList& valueBinds)
{
    const bool idsFree = !exists(db,
                                 QStringLiteral("SELECT 1 FROM recycle_%1 r WHERE r.item_id=? AND EXISTS"
                                                " (SELECT 1 FROM %1 t WHERE t.id=r.orig_id)")
                                     .arg(table),
                                 {itemId});
    if (!idsFree && table == QLatin1String("stb")) {
        // Each question under a new id, which the papers that used it then follow.
        QVector<QPair<qint64, qint64>> rows;  // recycle_stb id, original id
        {
            sql::Reader q(db, QStringLiteral("SELECT id, orig_id FROM recycle_stb WHERE item_id=? ORDER BY id"),
                          {itemId});
            while (q.next()) rows.append({q.int64(0), q.int64(1)});
        }
        for (const auto& [rowId, origId] : rows) {
            QVariantList binds = valueBinds;
            binds << rowId;
            const qint64 id = sql::exec(
                db, QStringLiteral("INSERT INTO stb (%1) SELECT %2 FROM recycle_stb WHERE id=?").arg(columns, values),
                binds);
            followQuestion(db, origId, id);
            restoreLinks(db, itemId, origId, id);
        }
        return;
    }
    QVariantList binds = valueBinds;
    binds << itemId;
    sql::run(db,
             QStringLiteral("INSERT INTO %1 (%2%3) SELECT %4%5 FROM recycle_%1 WHERE item_id=? ORDER BY id")
                 .arg(table, idsFree ? QStringLiteral("id, ") : QString(), columns,
                      idsFree ? QStringLiteral("orig_id, ") : QString(), values),
             binds);
    if (table == QLatin1String("stb")) {
        // The questions kept their ids: their links go back as they were.
        sql::run(db,
                 QStringLiteral("INSERT INTO stzsd (stid, zsdid) SELECT r.stid, r.zsdid FROM recycle_stzsd r"
                                " WHERE r.item_id=? AND EXISTS (SELECT 1 FROM zsdb p WHERE p.id=r.zsdid) ORDER BY r.id"),
                 {itemId});
    }
}

void forget(const QSqlDatabase& db, const QString& itemsWhere, const QVariantList& binds)
{
    for (const char* table :
         {"recycle_stb", "recycle_zjb", "recycle_txb", "recycle_kmb", "recycle_zsdb", "recycle_stzsd"}) {
        sql::run(db,
                 QStringLiteral("DELETE FROM %1 WHERE item_id IN (SELECT id FROM recycle_items%2)")
                     .arg(QString::fromLatin1(table), itemsWhere),
                 binds);
    }
    sql::run(db, QStringLiteral("DELETE FROM recycle_items%1").arg(itemsWhere), binds);
}

QString firstWords(const QString& text)
{
    QString line = text.simplified();
    if (line.size() > 30) line = line.left(30) + QStringLiteral("…");
    return line;
}

}  // namespace

QString timestamp(const QDateTime& when)
{
    return when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

qint64 keepSubject(const QSqlDatabase& db, const QString& kmh, const QString& by)
{
    // Stores into it under way finish first, and later ones wait for this deletion and then find
    // it gone: every question it holds when the copy is made is all it will ever hold.
    engine::claimRowsUntilCommit(db, QStringLiteral("SELECT id FROM kmb WHERE kmh=?"), {kmh});
    const QString name = subjectName(db, kmh);
    const int types = count(db, QStringLiteral("SELECT COUNT(*) FROM txb WHERE kmh=?"), {kmh});
    const int chapters = count(db, QStringLiteral("SELECT COUNT(*) FROM zjb WHERE kmh=?"), {kmh});
    const int questions = count(db, QStringLiteral("SELECT COUNT(*) FROM stb WHERE kmh=?"), {kmh});
    const qint64 item = addItem(
        db, QStringLiteral("kmb"),
        QStringLiteral("科目 %1：%2 个题型，%3 个章节，%4 道题").arg(name).arg(types).arg(chapters).arg(questions), by,
        {kmh, name});
    copyQuestions(db, item, QStringLiteral("kmh=?"), {kmh});
    copyRows(db, item, QStringLiteral("zjb"), QStringLiteral("kmh, zjh, zjm, bz"), QStringLiteral("kmh=?"), {kmh});
    copyRows(db, item, QStringLiteral("txb"), QStringLiteral("kmh, txh, txm, bz"), QStringLiteral("kmh=?"), {kmh});
    copyRows(db, item, QStringLiteral("kmb"), QStringLiteral("kmh, kmm"), QStringLiteral("kmh=?"), {kmh});
    copyRows(db, item, QStringLiteral("zsdb"), QStringLiteral("kmh, zsdm, sjid"), QStringLiteral("kmh=?"), {kmh});
    return item;
}

qint64 keepType(const QSqlDatabase& db, const QString& kmh, const QString& txh, const QString& by)
{
    // Stores into it under way finish first, and later ones wait for this deletion and then find
    // it gone: every question it holds when the copy is made is all it will ever hold.
    engine::claimRowsUntilCommit(db, QStringLiteral("SELECT id FROM txb WHERE kmh=? AND txh=?"), {kmh, txh});
    const QString subject = subjectName(db, kmh);
    const QString name =
        lastValue(db, QStringLiteral("SELECT txm FROM txb WHERE kmh=? AND txh=? ORDER BY id DESC LIMIT 1"), {kmh, txh});
    const int questions = count(db, QStringLiteral("SELECT COUNT(*) FROM stb WHERE kmh=? AND txh=?"), {kmh, txh});
    const qint64 item =
        addItem(db, QStringLiteral("txb"), QStringLiteral("题型 %1/%2：%3 道题").arg(subject, name).arg(questions), by,
                {kmh, subject, txh, name});
    copyQuestions(db, item, QStringLiteral("kmh=? AND txh=?"), {kmh, txh});
    copyRows(db, item, QStringLiteral("txb"), QStringLiteral("kmh, txh, txm, bz"), QStringLiteral("kmh=? AND txh=?"),
             {kmh, txh});
    return item;
}

qint64 keepChapter(const QSqlDatabase& db, const QString& kmh, const QString& zjh, const QString& by)
{
    // As for a subject: stores into the chapter under way finish first, later ones find it gone.
    engine::claimRowsUntilCommit(db, QStringLiteral("SELECT id FROM zjb WHERE kmh=? AND zjh=?"), {kmh, zjh});
    const QString subject = subjectName(db, kmh);
    const QString name =
        lastValue(db, QStringLiteral("SELECT zjm FROM zjb WHERE kmh=? AND zjh=? ORDER BY id DESC LIMIT 1"), {kmh, zjh});
    const int questions = count(db, QStringLiteral("SELECT COUNT(*) FROM stb WHERE kmh=? AND zjh=?"), {kmh, zjh});
    const qint64 item =
        addItem(db, QStringLiteral("zjb"), QStringLiteral("章节 %1/%2：%3 道题").arg(subject, name).arg(questions), by,
                {kmh, subject, QString(), QString(), zjh, name});
    copyQuestions(db, item, QStringLiteral("kmh=? AND zjh=?"), {kmh, zjh});
    copyRows(db, item, QStringLiteral("zjb"), QStringLiteral("kmh, zjh, zjm, bz"), QStringLiteral("kmh=? AND zjh=?"),
             {kmh, zjh});
    return item;
}

qint64 keepQuestion(const QSqlDatabase& db, const QString& kmh, const QString& txh, const QString& th,
                    const QString& by)
{
    const QString subject = subjectName(db, kmh);
    const QString type =
        lastValue(db, QStringLiteral("SELECT txm FROM txb WHERE kmh=? AND txh=? ORDER BY id DESC LIMIT 1"), {kmh, txh});
    const QString text = lastValue(
        db, QStringLiteral("SELECT tm FROM stb WHERE kmh=? AND txh=? AND th=? ORDER BY id LIMIT 1"), {kmh, txh, th});
    const qint64 item = addItem(db, QStringLiteral("stb"),
                                QStringLiteral("试题 %1/%2 第%3题：%4").arg(subject, type, th, firstWords(text)), by,
                                {kmh, subject, txh, type, QString(), QString(), th});
    copyQuestions(db, item, QStringLiteral("kmh=? AND txh=? AND th=?"), {kmh, txh, th});
    return item;
}

QVector<Item> items(const QSqlDatabase& db)
{
    QVector<Item> result;
    sql::Reader q(db, QStringLiteral("SELECT i.id, i.kind, i.summary, i.deleted_at, i.deleted_by,"
                                     " (SELECT COUNT(*) FROM recycle_stb s WHERE s.item_id=i.id)"
                                     " FROM recycle_items i ORDER BY i.id DESC"));
    while (q.next()) {
        result.append({q.int64(0), q.text(1), q.text(2), q.text(3), q.text(4), static_cast<int>(q.int64(5))});
    }
    return result;
}

QString kindName(const QString& kind)
{
    if (kind == QLatin1String("kmb")) return QStringLiteral("科目");
    if (kind == QLatin1String("txb")) return QStringLiteral("题型");
    if (kind == QLatin1String("zjb")) return QStringLiteral("章节");
    return QStringLiteral("试题");
}

QString takenName(const QSqlDatabase& db, qint64 itemId, const QString& name)
{
    const ItemRow item = readItem(db, itemId);
    if (item.kind == QLatin1String("kmb")) {
        const QString wanted = name.isEmpty() ? item.kmm : name;
        return exists(db, QStringLiteral("SELECT 1 FROM kmb WHERE kmm=?"), {wanted}) ? wanted : QString();
    }
    QString kmh;
    if (item.kind == QLatin1String("stb") || !findSubject(db, item.kmm, &kmh)) return QString();
    const bool type = item.kind == QLatin1String("txb");
    const QString wanted = !name.isEmpty() ? name : type ? item.txm : item.zjm;
    const QString statement = type ? QStringLiteral("SELECT 1 FROM txb WHERE kmh=? AND txm=?")
                                   : QStringLiteral("SELECT 1 FROM zjb WHERE kmh=? AND zjm=?");
    return exists(db, statement, {kmh, wanted}) ? wanted : QString();
}

void removeKept(const QSqlDatabase& db, qint64 itemId)
{
    for (const char* name : {"stb", "zjb", "txb", "kmb"}) {
        const QString table = QString::fromLatin1(name);
        const int kept =
            count(db, QStringLiteral("SELECT COUNT(*) FROM recycle_%1 WHERE item_id=?").arg(table), {itemId});
        if (kept == 0) continue;
        const int removed = sql::changes(
            db,
            QStringLiteral("DELETE FROM %1 WHERE id IN (SELECT orig_id FROM recycle_%1 WHERE item_id=?)").arg(table),
            {itemId});
        if (removed != kept) {
            throw DataError(QStringLiteral("其他用户刚刚删除了其中的部分内容，本次删除没有执行，请刷新后重试！"));
        }
    }
    // The links of the deleted questions, and a deleted subject's knowledge points with every link to them.
    sql::run(db,
             QStringLiteral("DELETE FROM stzsd WHERE stid IN (SELECT orig_id FROM recycle_stb WHERE item_id=?)"
                            " OR zsdid IN (SELECT orig_id FROM recycle_zsdb WHERE item_id=?)"),
             {itemId, itemId});
    sql::run(db, QStringLiteral("DELETE FROM zsdb WHERE id IN (SELECT orig_id FROM recycle_zsdb WHERE item_id=?)"),
             {itemId});
}

namespace {

QStringList restoreOnce(const QSqlDatabase& db, qint64 itemId, const QString& newName)
{
    const ItemRow item = readItem(db, itemId);
    QStringList notes;
    if (item.kind == QLatin1String("kmb")) {
        const QString name = newName.isEmpty() ? item.kmm : newName;
        refuseTakenName(exists(db, QStringLiteral("SELECT 1 FROM kmb WHERE kmm=?"), {name}), QStringLiteral("科目"),
                        name);
        const qint64 origId =
            sql::scalar(db, QStringLiteral("SELECT orig_id FROM recycle_kmb WHERE item_id=? ORDER BY id DESC LIMIT 1"),
                        {itemId})
                .toLongLong();
        const Scope subjects{
            QStringLiteral("kmb"), QString(), {},
            QStringLiteral("kmh"), 2,         [db](const QString& kmh) { return subjectCodeTaken(db, kmh); }};
        const Placement at = place(db, subjects, item.kmh, origId);
        QVariantList binds;
        if (at.id > 0) binds << at.id;
        binds << at.code << name;
        sql::run(
            db,
            QStringLiteral("INSERT INTO kmb (%1kmh, kmm) VALUES (%2?, ?)")
                .arg(at.id > 0 ? QStringLiteral("id, ") : QString(), at.id > 0 ? QStringLiteral("?, ") : QString()),
            binds);
        // The subject's code is new to every table, so its types, chapters and questions go back
        // as they were, only under that code.
        restoreRowsInBulk(db, itemId, QStringLiteral("txb"), QStringLiteral("kmh, txh, txm, bz"),
                          QStringLiteral("?, txh, txm, bz"), {at.code});
        restoreRowsInBulk(db, itemId, QStringLiteral("zjb"), QStringLiteral("kmh, zjh, zjm, bz"),
                          QStringLiteral("?, zjh, zjm, bz"), {at.code});
        restorePoints(db, itemId, at.code);
        restoreRowsInBulk(db, itemId, QStringLiteral("stb"), kStbColumns,
                          QStringLiteral("?, txh, th, zjh, nd, fs, tm, da, \"time\", bz"), {at.code});
    } else if (item.kind == QLatin1String("txb") || item.kind == QLatin1String("zjb")) {
        const bool type = item.kind == QLatin1String("txb");
        const QString kmh = requireSubject(db, item);
        const QString name = newName.isEmpty() ? (type ? item.txm : item.zjm) : newName;
        const QString table = type ? QStringLiteral("txb") : QStringLiteral("zjb");
        const QString codeColumn = type ? QStringLiteral("txh") : QStringLiteral("zjh");
        const QString nameColumn = type ? QStringLiteral("txm") : QStringLiteral("zjm");
        refuseTakenName(
            exists(db, QStringLiteral("SELECT 1 FROM %1 WHERE kmh=? AND %2=?").arg(table, nameColumn), {kmh, name}),
            type ? QStringLiteral("题型") : QStringLiteral("章节"), name);
        if (!type) {
            // The chapter's questions go back into their types, which must still be there.
            // A type deleted after the chapter is gone even when a newer type has taken its code
            // since: the questions would land in that other type.
            const QStringList missing =
                sql::column(db,
                            QStringLiteral("SELECT DISTINCT r.txh FROM recycle_stb r WHERE r.item_id=? AND (NOT EXISTS"
                                           " (SELECT 1 FROM txb t WHERE t.kmh=? AND t.txh=r.txh) OR EXISTS"
                                           " (SELECT 1 FROM recycle_items d WHERE d.kind='txb' AND d.id>? AND"
                                           " d.kmh=? AND d.txh=r.txh))"),
                            {itemId, kmh, itemId, item.kmh});
            if (!missing.isEmpty()) {
                throw DataError(
                    QStringLiteral("无法恢复：章节“%1”中有试题所属的题型已被删除，请先恢复这些题型。").arg(item.zjm));
            }
        }
        const qint64 origId =
            sql::scalar(
                db,
                QStringLiteral("SELECT orig_id FROM recycle_%1 WHERE item_id=? ORDER BY id DESC LIMIT 1").arg(table),
                {itemId})
                .toLongLong();
        const Scope codes{
            table, QStringLiteral("kmh=?"), {kmh}, codeColumn, 2, [db, kmh, table, codeColumn](const QString& c) {
                return exists(db,
                              QStringLiteral("SELECT 1 FROM %1 WHERE kmh=? AND %2=? UNION ALL"
                                             " SELECT 1 FROM stb WHERE kmh=? AND %2=?")
                                  .arg(table, codeColumn),
                              {kmh, c, kmh, c});
            }};
        const Placement at = place(db, codes, type ? item.txh : item.zjh, origId);
        QVariantList binds;
        if (at.id > 0) binds << at.id;
        binds << kmh << at.code << name << itemId;
        sql::run(
            db,
            QStringLiteral("INSERT INTO %1 (%2kmh, %3, %4, bz) SELECT %5?, ?, ?, bz FROM recycle_%1 WHERE item_id=?"
                           " ORDER BY id DESC LIMIT 1")
                .arg(table, at.id > 0 ? QStringLiteral("id, ") : QString(), codeColumn, nameColumn,
                     at.id > 0 ? QStringLiteral("?, ") : QString()),
            binds);
        if (type) {
            // A type's questions form a numbering scope of their own, free under this code.
            restoreRowsInBulk(db, itemId, QStringLiteral("stb"), kStbColumns,
                              QStringLiteral("?, ?, th, zjh, nd, fs, tm, da, \"time\", bz"), {kmh, at.code});
        } else {
            notes = restoreQuestionsOneByOne(db, itemId, kmh, at.code);
        }
    } else {
        const QString kmh = requireSubject(db, item);
        QString txh;
        if (!sql::firstValue(db, QStringLiteral("SELECT txh FROM txb WHERE kmh=? AND txm=? ORDER BY id DESC LIMIT 1"),
                             {kmh, item.txm}, &txh)) {
            throw DataError(
                QStringLiteral("无法恢复：科目“%1”中已没有题型“%2”，请先恢复该题型。").arg(item.kmm, item.txm));
        }
        // The question goes back into the type now called so, whatever its code has become.
        sql::run(db, QStringLiteral("UPDATE recycle_stb SET txh=? WHERE item_id=?"), {txh, itemId});
        notes = restoreQuestionsOneByOne(db, itemId, kmh, QString());
    }
    forget(db, QStringLiteral(" WHERE id=?"), {itemId});
    return notes;
}

}  // namespace

QStringList restore(const QSqlDatabase& db, qint64 itemId, const QString& newName)
{
    // The item is claimed first: a second user restoring it at the same moment waits here on a
    // server and then finds it gone, instead of putting its rows back twice.
    if (sql::changes(db, QStringLiteral("UPDATE recycle_items SET kind=kind WHERE id=?"), {itemId}) == 0) {
        throw DataError(QStringLiteral("回收站中已没有这一项。"));
    }
    // Codes and numbers are chosen from what the bank holds; when another user takes one of them
    // before the rows are written, the restore is undone and chooses again.
    QStringList notes;
    numbering::retryOnConflict(db, [&](int) { notes = restoreOnce(db, itemId, newName); });
    return notes;
}

QString deletionNote(const QSqlDatabase& db, const QString& kmh, const QString& txh, const QString& zjh)
{
    QString where = QStringLiteral("kmh=?");
    QVariantList binds{kmh};
    if (!txh.isEmpty()) {
        where += QStringLiteral(" AND txh=?");
        binds << txh;
    }
    if (!zjh.isEmpty()) {
        where += QStringLiteral(" AND zjh=?");
        binds << zjh;
    }
    const int questions = count(db, QStringLiteral("SELECT COUNT(*) FROM stb WHERE ") + where, binds);
    if (questions == 0) return QStringLiteral("其中没有试题。");
    // Papers are counted by the questions' own ids: a number may have been given to another
    // question since the paper was printed.
    const int papers = count(db,
                             QStringLiteral("SELECT COUNT(DISTINCT paper_id) FROM paper_questions WHERE question_id IN"
                                            " (SELECT id FROM stb WHERE ") +
                                 where + QStringLiteral(")"),
                             binds);
    const QString moved = QStringLiteral("其中 %1 道试题将移入回收站（可在回收站中恢复）").arg(questions);
    if (papers == 0) return moved + QStringLiteral("；这些试题未用于已保存的试卷。");
    return moved + QStringLiteral("；这些试题曾用于 %1 份已保存的试卷。").arg(papers);
}

int countBefore(const QSqlDatabase& db, const QString& cutoff)
{
    if (cutoff.isEmpty()) return count(db, QStringLiteral("SELECT COUNT(*) FROM recycle_items"), {});
    return count(db, QStringLiteral("SELECT COUNT(*) FROM recycle_items WHERE deleted_at<?"), {cutoff});
}

void purgeBefore(const QSqlDatabase& db, const QString& cutoff)
{
    // Only the items there when the purge starts: an item another user adds meanwhile keeps all
    // its rows (each statement of a server transaction may see rows committed since the last).
    const QString last = sql::scalar(db, QStringLiteral("SELECT MAX(id) FROM recycle_items"));
    if (last.isEmpty()) return;
    if (cutoff.isEmpty()) {
        forget(db, QStringLiteral(" WHERE id<=?"), {last.toLongLong()});
    } else {
        forget(db, QStringLiteral(" WHERE id<=? AND deleted_at<?"), {last.toLongLong(), cutoff});
    }
}

}  // namespace recycle
