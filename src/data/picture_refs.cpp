#include "data/picture_refs.h"

#include <QSet>
#include <QSqlDatabase>

#include "data/schema.h"
#include "data/sql.h"

namespace picture_refs {

namespace {

bool isHash(QStringView text)
{
    if (text.size() != kHashLength) return false;
    for (QChar c : text) {
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f'))) return false;
    }
    return true;
}

}  // namespace

int markerLengthAt(const QString& text, qsizetype from)
{
    if (!QStringView(text).mid(from).startsWith(kOpen)) return 0;
    const qsizetype hashStart = from + kOpen.size();
    if (hashStart + kHashLength + kClose.size() > text.size()) return 0;
    if (!isHash(QStringView(text).mid(hashStart, kHashLength))) return 0;
    if (!QStringView(text).mid(hashStart + kHashLength).startsWith(kClose)) return 0;
    return static_cast<int>(kOpen.size() + kHashLength + kClose.size());
}

QString marker(const QString& hash)
{
    return kOpen + hash + kClose;
}

bool hasStoredPictures(const QSqlDatabase& db)
{
    return !sql::column(db, QStringLiteral("SELECT hash FROM pictures LIMIT 1")).isEmpty();
}

int removeOrphanPictures(const QSqlDatabase& db)
{
    // Nothing to do for a bank without pictures: one probe instead of a scan of every question.
    if (!hasStoredPictures(db)) return 0;
    QSet<QString> used;
    const QString pattern = QStringLiteral("%") + kOpen + QStringLiteral("%");
    for (const auto& [table, column] : schema::pictureColumns()) {
        // A table another version of the program has not made yet holds no pictures.
        if (!schema::hasTable(db, table)) continue;
        sql::Reader q(db, QStringLiteral("SELECT %2 FROM %1 WHERE %2 LIKE ?").arg(table, column), {pattern});
        while (q.next()) {
            const QString text = q.text(0);
            for (qsizetype at = text.indexOf(kOpen); at >= 0; at = text.indexOf(kOpen, at + 1)) {
                if (markerLengthAt(text, at)) used.insert(text.mid(at + kOpen.size(), kHashLength));
            }
        }
    }
    int removed = 0;
    QSqlDatabase conn = db;
    sql::transaction(conn, [&] {
        for (const QString& hash : sql::column(db, QStringLiteral("SELECT hash FROM pictures"))) {
            if (used.contains(hash)) continue;
            sql::run(db, QStringLiteral("DELETE FROM pictures WHERE hash = ?"), {hash});
            ++removed;
        }
        // Every picture has been looked at: the mark that asked for it goes (the deletions above
        // do not set it again, as only texts and new pictures do).
        if (schema::hasTable(db, schema::kPictureSweep)) sql::run(db, QStringLiteral("DELETE FROM picture_sweep"));
    });
    return removed;
}

}  // namespace picture_refs
