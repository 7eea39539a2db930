#include "data/question_search.h"

#include "data/engine.h"
#include "data/errors.h"
#include "data/knowledge_points.h"
#include "data/picture_refs.h"
#include "data/schema.h"
#include "data/sql.h"

#include <QSet>

#include <algorithm>

namespace question_search {

namespace {

// Where a question stands in the results: subject, type, number (longer numbers after shorter
// ones, so 1000 follows 999), then the order it was stored in.
const QString kOrder = QStringLiteral(" ORDER BY s.kmh, s.txh, length(s.th), s.th, s.id");

struct Place {
    qint64 id;
    QString kmh, txh, th;
};

bool before(const Place& a, const Place& b)
{
    if (a.kmh != b.kmh) return a.kmh < b.kmh;
    if (a.txh != b.txh) return a.txh < b.txh;
    if (a.th.size() != b.th.size()) return a.th.size() < b.th.size();
    if (a.th != b.th) return a.th < b.th;
    return a.id < b.id;
}

// The filter as conditions on stb (named s), each beginning with " AND ", and their values.
QString conditions(const Filter& filter, QVariantList* binds)
{
    QString where;
    const std::pair<const char*, QString> fields[] = {
        {"kmh", filter.kmh}, {"zjh", filter.zjh}, {"nd", filter.nd}, {"txh", filter.txh}};
    for (const auto& [field, value] : fields) {
        if (value.isEmpty()) continue;
        where += QStringLiteral(" AND s.%1 = ?").arg(QLatin1String(field));
        *binds << value;
    }
    if (!filter.points.isEmpty()) {
        // The points as find() widened them to their descendants.
        where += QStringLiteral(" AND s.id IN (SELECT l.stid FROM stzsd AS l WHERE l.zsdid IN (%1))")
                     .arg(QStringList(filter.points.size(), QStringLiteral("?")).join(QLatin1Char(',')));
        for (const qint64 id : filter.points) *binds << id;
    }
    return where;
}

// The columns of a found question with its subject's and type's names, read by hitAt() (stb named s).
const QString kHitColumns = QStringLiteral(
    "s.id, s.kmh, (SELECT k.kmm FROM kmb AS k WHERE k.kmh = s.kmh ORDER BY k.id LIMIT 1),"
    " s.txh, (SELECT t.txm FROM txb AS t WHERE t.kmh = s.kmh AND t.txh = s.txh ORDER BY t.id LIMIT 1),"
    " s.th, s.zjh, s.nd, s.fs, s.tm, s.da");

Hit hitAt(const sql::Reader& q, int first)
{
    Hit h;
    h.id = q.int64(first);
    h.kmh = q.text(first + 1);
    h.kmm = q.text(first + 2);
    h.txh = q.text(first + 3);
    h.txm = q.text(first + 4);
    h.th = q.text(first + 5);
    h.zjh = q.text(first + 6);
    h.nd = q.text(first + 7);
    h.fs = q.text(first + 8);
    h.tm = q.text(first + 9);
    h.da = q.text(first + 10);
    return h;
}

// The questions of these ids with their subjects' and types' names, in the order of `ids`.
QVector<Hit> hitsOf(const QSqlDatabase& db, const QVector<qint64>& ids)
{
    QVector<Hit> hits;
    if (ids.isEmpty()) return hits;
    QVariantList binds;
    for (const qint64 id : ids) binds << id;
    const QStringList marks(ids.size(), QStringLiteral("?"));
    sql::Reader q(db,
                  QStringLiteral("SELECT %1 FROM stb AS s WHERE s.id IN (%2)").arg(kHitColumns, marks.join(QLatin1Char(','))),
                  binds);
    QHash<qint64, Hit> found;
    while (q.next()) {
        const Hit h = hitAt(q, 0);
        found.insert(h.id, h);
    }
    for (const qint64 id : ids) {
        // A question deleted by another user between the two reads is left out.
        if (found.contains(id)) hits << found.value(id);
    }
    return hits;
}

// A phrase of three characters or more, through the index, when some matching texts place a
// picture: a match there may lie in the picture's marker (its hash, its width), so those rows are
// read and looked through without their markers first.
Result findAroundPictures(const QSqlDatabase& db, const QString& phrase, const Filter& filter, int limit)
{
    QSet<qint64> inMarkersOnly;
    {
        const engine::TextSearch search = engine::textSearch(db, phrase, picture_refs::kOpen);
        QVariantList binds = search.binds;
        const QString where = conditions(filter, &binds);
        sql::Reader q(db, QStringLiteral("SELECT s.id, s.tm, s.da FROM %1 WHERE %2%3").arg(search.from, search.where, where),
                      binds);
        while (q.next()) {
            if (!holds(q.text(1), phrase) && !holds(q.text(2), phrase)) inMarkersOnly.insert(q.int64(0));
        }
    }
    const engine::TextSearch search = engine::textSearch(db, phrase);
    QVariantList binds = search.binds;
    const QString where = conditions(filter, &binds);
    // At least one row, which carries the count.
    binds << qint64(std::max(limit, 1)) + inMarkersOnly.size();
    // One pass through the index gives both the first rows and the number of all.
    sql::Reader q(db,
                  QStringLiteral("SELECT s.id, count(*) OVER () FROM %1 WHERE %2%3%4 LIMIT ?")
                      .arg(search.from, search.where, where, kOrder),
                  binds);
    Result result;
    QVector<qint64> ids;
    qint64 all = 0;
    while (q.next()) {
        all = q.int64(1);
        const qint64 id = q.int64(0);
        if (!inMarkersOnly.contains(id) && ids.size() < limit) ids << id;
    }
    result.total = std::max<qint64>(0, all - inMarkersOnly.size());
    result.hits = hitsOf(db, ids);
    return result;
}

// A phrase of three characters or more, through the index. One statement gives the first rows in
// order with everything shown of them and how many match. A match may lie in a picture's marker (its
// hash, its width) rather than in the text: when every match was read, those are left out here;
// otherwise the index is asked whether any match places a picture at all, and only then is the
// search made again around them.
Result findIndexed(const QSqlDatabase& db, const QString& phrase, const Filter& filter, int limit)
{
    const engine::TextSearch search = engine::textSearch(db, phrase);
    QVariantList binds = search.binds;
    const QString where = conditions(filter, &binds);
    // At least one row, which carries the count.
    binds << qint64(std::max(limit, 1));
    sql::Reader q(db,
                  QStringLiteral("WITH m AS (SELECT s.id AS id, s.kmh AS kmh, s.txh AS txh, length(s.th) AS l, s.th AS th,"
                                 " count(*) OVER () AS n FROM %1 WHERE %2%3%4 LIMIT ?)"
                                 " SELECT m.n, %5 FROM m, stb AS s WHERE s.id = m.id"
                                 " ORDER BY m.kmh, m.txh, m.l, m.th, m.id")
                      .arg(search.from, search.where, where, kOrder, kHitColumns),
                  binds);
    Result result;
    QVector<Hit> read;
    while (q.next()) {
        result.total = q.int64(0);
        read << hitAt(q, 1);
    }
    if (result.total > read.size()) {
        const engine::TextSearch pictured = engine::textSearch(db, phrase, picture_refs::kOpen);
        QVariantList pictureBinds = pictured.binds;
        const QString pictureWhere = conditions(filter, &pictureBinds);
        sql::Reader any(db, QStringLiteral("SELECT s.id FROM %1 WHERE %2%3 LIMIT 1").arg(pictured.from, pictured.where, pictureWhere),
                        pictureBinds);
        if (any.next()) return findAroundPictures(db, phrase, filter, limit);
    }
    for (const Hit& h : read) {
        if (!holds(h.tm, phrase) && !holds(h.da, phrase)) {
            --result.total;
        } else if (result.hits.size() < limit) {
            result.hits << h;
        }
    }
    return result;
}

// A phrase of one or two characters: the trigram index holds nothing that short, so the texts
// are read, until kShortScanLimit matches are found.
Result findByReading(const QSqlDatabase& db, const QString& phrase, const Filter& filter, int limit)
{
    const QString pattern = engine::containsPattern(phrase);
    QVariantList binds{pattern, pattern};
    const QString where = conditions(filter, &binds);
    binds << kShortScanLimit + 1;
    const QString like = engine::caseBlindLike(db);
    sql::Reader q(db,
                  QStringLiteral("SELECT s.id, s.kmh, s.txh, s.th, s.tm, s.da FROM stb AS s"
                                 " WHERE (s.tm %1 ? ESCAPE '!' OR s.da %1 ? ESCAPE '!')%2 LIMIT ?")
                      .arg(like, where),
                  binds);
    QVector<Place> places;
    int read = 0;
    while (q.next()) {
        ++read;
        if (read > kShortScanLimit) break;
        if (!holds(q.text(4), phrase) && !holds(q.text(5), phrase)) continue;
        places.append({q.int64(0), q.text(1), q.text(2), q.text(3)});
    }
    std::sort(places.begin(), places.end(), before);
    Result result;
    result.exact = read <= kShortScanLimit;
    result.total = places.size();
    QVector<qint64> ids;
    for (int i = 0; i < places.size() && i < limit; ++i) ids << places[i].id;
    result.hits = hitsOf(db, ids);
    return result;
}

}  // namespace

Result find(const QSqlDatabase& db, const QString& phrase, const Filter& given, int limit)
{
    const QString text = phrase.trimmed();
    if (text.isEmpty()) return {};
    Filter filter = given;
    if (!filter.points.isEmpty()) {
        QSqlDatabase conn = db;
        filter.points = knowledge::withDescendants(conn, filter.points);
    }
    limit = std::max(0, limit);
    if (text.toUcs4().size() < 3) return findByReading(db, text, filter, limit);
    try {
        return findIndexed(db, text, filter, limit);
    } catch (const DataError&) {
        // A file that could not be given its index (read-only, of an older version) is read
        // through; it is looked for only then, as a search is typed key by key.
        if (engine::isServer(db) || schema::hasTable(db, schema::kSearchIndex)) throw;
        return findByReading(db, text, filter, limit);
    }
}

QString searchableText(const QString& text)
{
    if (!text.contains(picture_refs::kOpen)) return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        const int marker = text.at(i) == picture_refs::kOpen.at(0) ? picture_refs::markerLengthAt(text, i) : 0;
        if (marker > 0) {
            out += QLatin1Char('\n');
            i += marker;
        } else {
            out += text.at(i++);
        }
    }
    return out;
}

bool holds(const QString& text, const QString& phrase)
{
    return searchableText(text).contains(phrase, Qt::CaseInsensitive);
}

}  // namespace question_search
