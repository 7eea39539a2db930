#include "exchange/knowledge_tags.h"

#include "data/knowledge_points.h"

namespace exchange {

namespace {

// C0 and C1 controls, and the line and paragraph separators: nothing a name can show.
bool isControl(QChar c)
{
    const char16_t u = c.unicode();
    return u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == 0x2028 || u == 0x2029;
}

QString withoutControls(const QString& text, bool* removed)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (isControl(c)) {
            *removed = true;
        } else {
            out += c;
        }
    }
    return out;
}

QString shortened(const QString& name)
{
    return name.size() > 20 ? name.left(20) + QStringLiteral("…") : name;
}

void warn(QStringList* warnings, const QString& line)
{
    if (warnings && !warnings->contains(line)) warnings->append(line);
}

}  // namespace

QStringList pointPaths(const QStringList& entries, QStringList* warnings, PointSource source)
{
    const bool file = source == PointSource::File;
    QStringList result;
    bool dropped = false;
    for (const QString& entry : entries) {
        bool removed = false;
        const QString clean = withoutControls(entry, &removed);
        if (removed)
            warn(warnings, file ? QStringLiteral("知识点中的控制字符已略去") : QStringLiteral("知识点中含有控制字符"));
        for (const QString& name : knowledge::splitNames(clean)) {
            QStringList parts;
            for (const QString& raw : name.split(QLatin1Char('/'))) {
                const QString part = raw.trimmed();
                if (part.isEmpty()) continue;
                if (part.size() > kMaxPointName) {
                    warn(warnings, QStringLiteral("知识点“%1”超过 %2 个字%3")
                                       .arg(shortened(part))
                                       .arg(kMaxPointName)
                                       .arg(file ? QStringLiteral("，已截短") : QString()));
                    // Never between the two halves of a character beyond the basic plane.
                    const int cut = part.at(kMaxPointName - 1).isHighSurrogate() ? kMaxPointName - 1 : kMaxPointName;
                    parts << part.left(cut).trimmed();
                } else {
                    parts << part;
                }
            }
            if (parts.isEmpty()) continue;
            if (parts.size() > kMaxPointDepth) {
                warn(warnings, QStringLiteral("知识点“%1”超过 %2 层%3")
                                   .arg(shortened(name))
                                   .arg(kMaxPointDepth)
                                   .arg(file ? QStringLiteral("，只取前 %1 层").arg(kMaxPointDepth) : QString()));
                parts = parts.mid(0, kMaxPointDepth);
            }
            const QString path = parts.join(QLatin1Char('/'));
            if (result.contains(path)) continue;
            if (result.size() >= kMaxPointsPerQuestion) {
                dropped = true;
                continue;
            }
            result << path;
        }
    }
    if (dropped)
        warn(warnings, QStringLiteral("知识点超过 %1 个%2")
                           .arg(kMaxPointsPerQuestion)
                           .arg(file ? QStringLiteral("，只导入前 %1 个").arg(kMaxPointsPerQuestion) : QString()));
    return result;
}

}  // namespace exchange
