#include "data/duplicates.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <cmath>
#include <numeric>

#include "data/engine.h"
#include "data/picture_refs.h"
#include "data/schema.h"
#include "data/sql.h"

namespace duplicates {

namespace {

// Most trigrams of a new text asked of the index, and most candidate rows read back: a question
// at 85 % shares nearly all of its trigrams, so it is among the rows holding most of these.
constexpr int kProbeTrigrams = 32;
constexpr int kMinCandidates = 200;

// An option label not following a letter (so "f(B)" and "ABC." stay): "(B)" (after NFKC also
// "（B）"), "A." "C、" "D:".
const QRegularExpression& optionLabel()
{
    static const QRegularExpression re(QStringLiteral("(?<![A-Za-z])(?:\\(\\s*[A-H]\\s*\\)|[A-H]\\s*[.、:])"));
    return re;
}

QString withoutPictures(const QString& text)
{
    if (!text.contains(picture_refs::kOpen)) return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        const int marker = text.at(i) == picture_refs::kOpen.at(0) ? picture_refs::markerLengthAt(text, i) : 0;
        if (marker > 0) {
            out += QLatin1Char(' ');
            i += marker;
        } else {
            out += text.at(i++);
        }
    }
    return out;
}

QString plainPart(const QString& text)
{
    QString nfkc = text.normalized(QString::NormalizationForm_KC);
    nfkc.remove(optionLabel());
    nfkc = nfkc.toCaseFolded();
    QString out;
    out.reserve(nfkc.size());
    for (const char32_t c : nfkc.toUcs4()) {
        if (QChar::isSpace(c) || QChar::isPunct(c)) continue;
        const QChar::Category category = QChar::category(c);
        if (category == QChar::Other_Control || category == QChar::Other_Format) continue;
        out += QString::fromUcs4(&c, 1);
    }
    return out;
}

QString formulaPart(const QString& latex)
{
    QString out;
    out.reserve(latex.size());
    for (const QChar c : latex) {
        if (!c.isSpace()) out += c;
    }
    return out;
}

bool before(const Match& a, const Match& b)
{
    if (a.txh != b.txh) return a.txh < b.txh;
    if (a.th.size() != b.th.size()) return a.th.size() < b.th.size();
    if (a.th != b.th) return a.th < b.th;
    return a.id < b.id;
}

bool better(const Match& a, const Match& b)
{
    if (a.similarity != b.similarity) return a.similarity > b.similarity;
    return before(a, b);
}

// Pairs (later, earlier, similarity) of `texts` at least `threshold` similar, each pair once.
// Prefix filtering: with the trigrams of every text ordered rarest first, two texts of Jaccard
// index ≥ t share a trigram among the first |A| − ⌈t·|A|⌉ + 1 of each, so only those are indexed
// and looked up; every pair found that way is then measured exactly.
template <typename F>
void similarPairs(const QVector<Fingerprint>& texts, double threshold, F&& found)
{
    QHash<quint64, int> frequency;
    QHash<QString, int> shortTexts;  // normalised text without trigrams → first index holding it
    for (const Fingerprint& f : texts) {
        for (const quint64 t : f.trigrams()) ++frequency[t];
    }
    QHash<quint64, QVector<int>> index;
    QVector<quint64> ordered;
    QVector<int> seen(texts.size(), -1);
    for (int i = 0; i < texts.size(); ++i) {
        const Fingerprint& f = texts[i];
        if (f.empty()) continue;
        if (f.trigrams().isEmpty()) {
            const auto first = shortTexts.constFind(f.normal());
            if (first != shortTexts.cend()) {
                found(i, first.value(), 1.0);
            } else {
                shortTexts.insert(f.normal(), i);
            }
            continue;
        }
        ordered = f.trigrams();
        std::sort(ordered.begin(), ordered.end(), [&](quint64 a, quint64 b) {
            const int fa = frequency.value(a), fb = frequency.value(b);
            return fa != fb ? fa < fb : a < b;
        });
        const int size = int(ordered.size());
        const int prefix = std::clamp(size - int(std::ceil(threshold * size - 1e-9)) + 1, 1, size);
        for (int k = 0; k < prefix; ++k) {
            auto& list = index[ordered[k]];
            for (const int j : list) {
                if (seen[j] == i) continue;
                seen[j] = i;
                const double s = f.similarity(texts[j]);
                if (s >= threshold) found(i, j, s);
            }
            list << i;
        }
    }
}

// ---- Candidates for one new text, through the bank's text index -------------------------------
// What differs between the engines is kept here. On a file, the FTS5 trigram table stb_search
// (engine::searchIndexStatements) finds the rows holding a whole group of the text's trigrams
// (probeGroups) and ranks them by BM25, so rows holding most of them, and the rarest, come first.
// On a server, pg_trgm's GIN index on stb.tm answers each ILIKE of a trigram; rows are ranked by
// how many of the trigrams they hold.

struct Candidate {
    qint64 id;
    QString txh, th, tm;
};

}  // namespace

// A copy of the text will most likely hold the runs NFKC leaves as they are in the same form.
QStringList probeTrigrams(const QString& text)
{
    const QList<uint> points = withoutPictures(text).toUcs4();
    // Latin letters and digits are left out: another file may write them full-width.
    auto stable = [](uint c) {
        if (c < 0x80 || !QChar::isLetterOrNumber(c)) return false;
        const QString one = QString::fromUcs4(reinterpret_cast<const char32_t*>(&c), 1);
        return one.normalized(QString::NormalizationForm_KC) == one;
    };
    auto solid = [](uint c) { return !QChar::isSpace(c) && c != '"'; };
    QStringList good, fair;
    QSet<QString> known;
    for (qsizetype i = 0; i + 2 < points.size(); ++i) {
        const uint* p = points.constData() + i;
        if (!solid(p[0]) || !solid(p[1]) || !solid(p[2])) continue;
        const QString tri = QString::fromUcs4(reinterpret_cast<const char32_t*>(p), 3).toCaseFolded();
        if (known.contains(tri)) continue;
        known.insert(tri);
        (stable(p[0]) && stable(p[1]) && stable(p[2]) ? good : fair) << tri;
    }
    if (good.size() < 3) good += fair;
    if (good.size() <= kProbeTrigrams) return good;
    QStringList spread;
    for (int k = 0; k < kProbeTrigrams; ++k) spread << good.at(qsizetype(k) * good.size() / kProbeTrigrams);
    return spread;
}

namespace {

QVector<Candidate> read(const QSqlDatabase& db, const QString& statement, const QVariantList& binds)
{
    QVector<Candidate> rows;
    sql::Reader q(db, statement, binds);
    while (q.next()) rows.append({q.int64(0), q.text(1), q.text(2), q.text(3)});
    return rows;
}

// The probes in interleaved groups, a row a candidate when it holds every trigram of one group. A
// text at `threshold` may lack about (1 − t) / t of the trigrams of the other; with more groups than
// that, one group at least stays whole in it. Rows sharing only a common opening ("下列说法正确的
// 是") hold no whole group, so the index hands back few rows even in a large subject.
QVector<QStringList> probeGroups(const QStringList& probes, double threshold)
{
    const qsizetype n = probes.size();
    const double t = std::clamp(threshold, 0.05, 1.0);
    const qsizetype missing = qsizetype(std::ceil((1 - t) / t * double(n)));
    const qsizetype count = std::clamp<qsizetype>(missing + 2, 1, std::max<qsizetype>(n, 1));
    QVector<QStringList> groups(count);
    for (qsizetype i = 0; i < n; ++i) groups[i % count] << probes.at(i);
    return groups;
}

}  // namespace

QString indexMatch(const QStringList& probes, double threshold)
{
    QStringList any;
    for (const QStringList& group : probeGroups(probes, threshold)) {
        QStringList all;
        for (QString t : group)
            all << QStringLiteral("tm:\"%1\"").arg(t.replace(QLatin1Char('"'), QLatin1String("\"\"")));
        any << QLatin1Char('(') + all.join(QStringLiteral(" AND ")) + QLatin1Char(')');
    }
    return any.join(QStringLiteral(" OR "));
}

namespace {

QVector<Candidate> indexedCandidates(const QSqlDatabase& db, const QString& kmh, const QStringList& trigrams,
                                     double threshold, qint64 excludeId, int limit)
{
    if (!engine::isServer(db)) {
        return read(db,
                    QStringLiteral("SELECT s.id, s.txh, s.th, s.tm FROM stb_search CROSS JOIN stb AS s"
                                   " ON s.id = stb_search.rowid WHERE stb_search MATCH ? AND s.kmh = ? AND s.id <> ?"
                                   " ORDER BY stb_search.rank LIMIT ?"),
                    {indexMatch(trigrams, threshold), kmh, excludeId, limit});
    }
    const QVector<QStringList> groups = probeGroups(trigrams, threshold);
    QStringList any, count;
    QVariantList binds{kmh, excludeId};
    QVariantList rankBinds;
    for (const QStringList& group : groups) {
        QStringList all;
        for (const QString& t : group) {
            all << QStringLiteral("s.tm ILIKE ? ESCAPE '!'");
            binds << engine::containsPattern(t);
        }
        any << QLatin1Char('(') + all.join(QStringLiteral(" AND ")) + QLatin1Char(')');
    }
    for (const QString& t : trigrams) {
        count << QStringLiteral("(s.tm ILIKE ? ESCAPE '!')::int");
        rankBinds << engine::containsPattern(t);
    }
    binds += rankBinds;
    binds << limit;
    return read(db,
                QStringLiteral("SELECT s.id, s.txh, s.th, s.tm FROM stb AS s WHERE s.kmh = ? AND s.id <> ? AND (%1)"
                               " ORDER BY %2 DESC, s.id LIMIT ?")
                    .arg(any.join(QStringLiteral(" OR ")), count.join(QStringLiteral(" + "))),
                binds);
}

// A text too short or too bare for the index (a few digits and signs): the subject's short texts.
QVector<Candidate> shortCandidates(const QSqlDatabase& db, const QString& kmh, const QString& text, qint64 excludeId)
{
    return read(db,
                QStringLiteral("SELECT s.id, s.txh, s.th, s.tm FROM stb AS s WHERE s.kmh = ? AND s.id <> ?"
                               " AND length(s.tm) <= ?"),
                {kmh, excludeId, qint64(std::max<qsizetype>(64, text.size() * 4))});
}

// A file without the index (read-only, of an older version): the whole subject.
QVector<Candidate> allOfSubject(const QSqlDatabase& db, const QString& kmh, qint64 excludeId)
{
    return read(db, QStringLiteral("SELECT s.id, s.txh, s.th, s.tm FROM stb AS s WHERE s.kmh = ? AND s.id <> ?"),
                {kmh, excludeId});
}

}  // namespace

QString normalise(const QString& text)
{
    const QString source = withoutPictures(text);
    QString out;
    qsizetype plainFrom = 0;
    for (qsizetype i = 0; i + 1 < source.size(); ++i) {
        if (source.at(i) != QLatin1Char('\\')) continue;
        const QChar open = source.at(i + 1);
        if (open != QLatin1Char('(') && open != QLatin1Char('[')) continue;
        const QString close = open == QLatin1Char('(') ? QStringLiteral("\\)") : QStringLiteral("\\]");
        const qsizetype end = source.indexOf(close, i + 2);
        if (end < 0) break;  // an opening without its closing is plain text
        out += plainPart(source.mid(plainFrom, i - plainFrom));
        out += formulaPart(source.mid(i + 2, end - i - 2));
        i = end + 1;
        plainFrom = end + 2;
    }
    out += plainPart(source.mid(plainFrom));
    return out;
}

Fingerprint::Fingerprint(const QString& text) : normal_(normalise(text))
{
    const QList<uint> points = normal_.toUcs4();
    trigrams_.reserve(points.size());
    for (qsizetype i = 0; i + 2 < points.size(); ++i) {
        trigrams_ << ((quint64(points[i]) << 42) | (quint64(points[i + 1]) << 21) | quint64(points[i + 2]));
    }
    std::sort(trigrams_.begin(), trigrams_.end());
    trigrams_.erase(std::unique(trigrams_.begin(), trigrams_.end()), trigrams_.end());
}

double Fingerprint::similarity(const Fingerprint& other) const
{
    if (normal_.isEmpty() || other.normal_.isEmpty()) return 0;
    if (trigrams_.isEmpty() || other.trigrams_.isEmpty()) return normal_ == other.normal_ ? 1 : 0;
    qsizetype shared = 0;
    for (auto a = trigrams_.cbegin(), b = other.trigrams_.cbegin();
         a != trigrams_.cend() && b != other.trigrams_.cend();) {
        if (*a < *b) {
            ++a;
        } else if (*b < *a) {
            ++b;
        } else {
            ++shared;
            ++a;
            ++b;
        }
    }
    return double(shared) / double(trigrams_.size() + other.trigrams_.size() - shared);
}

double similarity(const QString& a, const QString& b)
{
    return Fingerprint(a).similarity(Fingerprint(b));
}

QList<Match> check(const QSqlDatabase& db, const QString& kmh, const QString& text, double threshold, qint64 excludeId,
                   int limit)
{
    const Fingerprint mine(text);
    if (mine.empty() || limit <= 0) return {};
    QVector<Candidate> candidates;
    const QStringList probes = mine.trigrams().isEmpty() ? QStringList() : probeTrigrams(text);
    if (!engine::isServer(db) && !schema::hasTable(db, schema::kSearchIndex)) {
        candidates = allOfSubject(db, kmh, excludeId);
    } else if (probes.isEmpty()) {
        candidates = shortCandidates(db, kmh, text, excludeId);
    } else {
        candidates = indexedCandidates(db, kmh, probes, threshold, excludeId, std::max(kMinCandidates, limit * 20));
    }
    QList<Match> matches;
    for (const Candidate& c : candidates) {
        const double s = mine.similarity(Fingerprint(c.tm));
        if (s >= threshold) matches.append({c.id, c.txh, c.th, s});
    }
    std::sort(matches.begin(), matches.end(), better);
    if (matches.size() > limit) matches.resize(limit);
    return matches;
}

QList<Group> groups(const QSqlDatabase& db, const QString& kmh, double threshold)
{
    const QVector<Candidate> rows = allOfSubject(db, kmh, 0);
    QVector<Fingerprint> prints;
    prints.reserve(rows.size());
    for (const Candidate& c : rows) prints << Fingerprint(c.tm);
    QVector<int> parent(rows.size());
    std::iota(parent.begin(), parent.end(), 0);
    auto root = [&](int i) {
        while (parent[i] != i) i = parent[i] = parent[parent[i]];
        return i;
    };
    QVector<double> best(rows.size(), 0);
    similarPairs(prints, threshold, [&](int i, int j, double s) {
        best[i] = std::max(best[i], s);
        best[j] = std::max(best[j], s);
        parent[root(i)] = root(j);
    });
    QHash<int, Group> byRoot;
    for (int i = 0; i < rows.size(); ++i) {
        if (best[i] <= 0) continue;
        byRoot[root(i)].questions.append({rows[i].id, rows[i].txh, rows[i].th, best[i]});
    }
    QList<Group> out;
    for (Group& g : byRoot) {
        std::sort(g.questions.begin(), g.questions.end(), before);
        out << g;
    }
    std::sort(out.begin(), out.end(),
              [](const Group& a, const Group& b) { return before(a.questions.first(), b.questions.first()); });
    return out;
}

QVector<Earlier> earlierSimilar(const QVector<Fingerprint>& texts, double threshold)
{
    QVector<Earlier> out(texts.size());
    similarPairs(texts, threshold, [&](int i, int j, double s) {
        if (out[i].index < 0 || j < out[i].index) out[i] = {j, s};
    });
    return out;
}

}  // namespace duplicates
