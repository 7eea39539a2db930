#include "data/picture_refs.h"

#include <QSet>
#include <cmath>
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
    const QStringView rest = QStringView(text).mid(hashStart + kHashLength);
    if (rest.startsWith(kClose)) return static_cast<int>(kOpen.size() + kHashLength + kClose.size());
    if (!rest.startsWith(u'|')) return 0;
    // A placement: a short run of characters other than brackets and line ends, then "]]".
    for (qsizetype i = 1; i <= kMaxOptionsLength + 1 && i < rest.size(); ++i) {
        const QChar c = rest.at(i);
        if (c == u']') {
            if (i == 1 || !rest.mid(i).startsWith(kClose)) return 0;
            return static_cast<int>(kOpen.size() + kHashLength + i + kClose.size());
        }
        if (c == u'[' || c == u'\n' || c == u'\r') return 0;
    }
    return 0;
}

QString optionsAt(const QString& text, qsizetype from)
{
    const int length = markerLengthAt(text, from);
    const qsizetype optionsStart = from + kOpen.size() + kHashLength + 1;
    const qsizetype optionsLength = from + length - kClose.size() - optionsStart;
    return optionsLength > 0 ? text.mid(optionsStart, optionsLength) : QString();
}

QString readPlacement(QStringView options, Placement* out)
{
    Placement placement;
    if (options.trimmed().isEmpty()) {
        *out = placement;
        return QString();
    }
    bool sized = false;
    for (QStringView part : options.split(u'|')) {
        part = part.trimmed();
        if (part == kRight) {
            if (placement.right) return QStringLiteral("图片位置“右”写了两次。");
            placement.right = true;
            continue;
        }
        const bool percent = part.endsWith(u'%');
        const bool cm = part.endsWith(QLatin1String("cm"), Qt::CaseInsensitive);
        if (!percent && !cm) {
            return QStringLiteral("无法识别图片设置“%1”：宽度应写成“4cm”或“50%”，位置只能是“右”。").arg(part);
        }
        if (sized) return QStringLiteral("图片宽度写了两次。");
        const QStringView number = part.chopped(percent ? 1 : 2).trimmed();
        bool ok = false;
        const double amount = number.toDouble(&ok);
        if (!ok || number.isEmpty() || !std::isfinite(amount)) {
            return QStringLiteral("图片宽度“%1”不是数字。").arg(part);
        }
        if (percent && (amount < kMinWidthPercent || amount > kMaxWidthPercent)) {
            return QStringLiteral("图片宽度 %1% 超出范围，应在 %2% 到 %3% 之间。")
                .arg(number)
                .arg(kMinWidthPercent)
                .arg(kMaxWidthPercent);
        }
        if (cm && (amount < kMinWidthCm || amount > kMaxWidthCm)) {
            return QStringLiteral("图片宽度 %1 厘米超出范围，应在 %2 到 %3 厘米之间。")
                .arg(number)
                .arg(kMinWidthCm)
                .arg(kMaxWidthCm);
        }
        placement.width = percent ? Placement::Percent : Placement::Centimetres;
        placement.amount = amount;
        sized = true;
    }
    *out = placement;
    return QString();
}

Placement placementOf(QStringView options)
{
    Placement placement;
    if (!readPlacement(options, &placement).isEmpty()) return Placement();
    return placement;
}

QString placementText(const Placement& placement)
{
    QStringList parts;
    if (placement.width == Placement::Centimetres) {
        parts << QString::number(placement.amount, 'g', 4) + QStringLiteral("cm");
    } else if (placement.width == Placement::Percent) {
        parts << QString::number(placement.amount, 'g', 4) + QStringLiteral("%");
    }
    if (placement.right) parts << kRight;
    return parts.join(u'|');
}

QString marker(const QString& hash, const QString& options)
{
    return options.isEmpty() ? kOpen + hash + kClose : kOpen + hash + u'|' + options + kClose;
}

QString marker(const QString& hash, const Placement& placement)
{
    return marker(hash, placementText(placement));
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
