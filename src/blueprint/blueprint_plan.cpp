#include "blueprint/blueprint_plan.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>

#include "data/composition_state.h"
#include "data/convert.h"
#include "data/knowledge_points.h"
#include "data/sql.h"
#include "data/random_draw.h"

namespace blueprint {

namespace {

QString key(const QString& zjh, const QString& txh, const QString& nd)
{
    return zjh + QChar(0x1f) + txh + QChar(0x1f) + nd;
}

// The chapter-and-type total is kept under a key no difficulty text can produce.
QString allKey(const QString& zjh, const QString& txh)
{
    return zjh + QChar(0x1f) + txh + QChar(0x1e);
}

// Questions a cell takes from its own source once the bank is counted: all it asks, or all there is.
int ownTake(const Plan& plan, const BankCounts& counts, const QString& zjh, const QString& txh, const QString& nd)
{
    for (const Cell& c : plan.cells) {
        if (c.zjh == zjh && c.txh == txh && c.nd == nd) return std::min(c.count, counts.available(zjh, txh, nd));
    }
    return 0;
}

bool isMerged(const Plan& plan, const QString& txh)
{
    for (const TypeColumn& t : plan.types) {
        if (t.txh == txh) return t.merged;
    }
    return false;
}

// Questions of one chapter, type and difficulty not taken by the plan's own cells. A merged type's
// cell takes from every difficulty at once, so its spare is counted over the whole chapter.
int spare(const Plan& plan, const BankCounts& counts, const QString& zjh, const QString& txh, const QString& nd)
{
    if (isMerged(plan, txh)) {
        return nd.isEmpty() ? counts.available(zjh, txh, QString()) - ownTake(plan, counts, zjh, txh, QString()) : 0;
    }
    return counts.available(zjh, txh, nd) - ownTake(plan, counts, zjh, txh, nd);
}

// Every knowledge point of a subject paired with itself and with each point below it, as
// point_tree (top_id, point_id); binds the subject twice. UNION (not UNION ALL) ends the walk
// even where a hostile file links points in a circle.
const char* const kPointTree =
    "WITH RECURSIVE point_tree (top_id, point_id) AS (SELECT id, id FROM zsdb WHERE kmh=?"
    " UNION SELECT t.top_id, z.id FROM point_tree t JOIN zsdb z ON z.sjid = t.point_id WHERE z.kmh=?) ";

// A set of stb ids drawn from without repeats: a drawn id is swapped to the end and dropped.
struct Pool {
    QVector<qint64> ids;
};

// Draws up to `wanted` ids from the union of `pools` (in a fixed order, so that a known generator
// state repeats the draw). An id in `taken` (drawn already, through another pool that shares it) is
// dropped without counting; every id drawn joins `taken`.
QVector<qint64> drawFrom(const QVector<Pool*>& pools, int wanted, QSet<qint64>& taken)
{
    QVector<qint64> out;
    while (out.size() < wanted) {
        int total = 0;
        for (const Pool* p : pools) total += static_cast<int>(p->ids.size());
        if (total == 0) break;
        int r = randomdraw::below(total);
        for (Pool* p : pools) {
            const int size = static_cast<int>(p->ids.size());
            if (r >= size) {
                r -= size;
                continue;
            }
            const qint64 id = p->ids.at(r);
            p->ids[r] = p->ids.last();
            p->ids.removeLast();
            if (!taken.contains(id)) {
                taken.insert(id);
                out.append(id);
            }
            break;
        }
    }
    return out;
}

}  // namespace

QString rowTitle(RowKind kind)
{
    return kind == RowKind::Points ? QStringLiteral("知识点") : QStringLiteral("章节");
}

QString rowKindCode(RowKind kind)
{
    return kind == RowKind::Points ? QStringLiteral("zsd") : QStringLiteral("zj");
}

RowKind rowKindFromCode(const QString& code)
{
    return code == QLatin1String("zsd") ? RowKind::Points : RowKind::Chapters;
}

QVector<Chapter> rowsOf(const QSqlDatabase& db, const QString& kmh, RowKind kind)
{
    QVector<Chapter> rows;
    if (kind == RowKind::Points) {
        QSqlDatabase conn = db;
        const QHash<qint64, QString> paths = knowledge::paths(conn, kmh);
        for (const knowledge::Point& p : knowledge::points(conn, kmh))
            rows.append({QString::number(p.id), paths.value(p.id)});
        return rows;
    }
    sql::Reader q(db, QStringLiteral("SELECT zjh, zjm FROM zjb WHERE kmh=? ORDER BY id"), {kmh});
    while (q.next()) rows.append({q.text(0), q.text(1)});
    return rows;
}

const QStringList& levels()
{
    static const QStringList names = {QStringLiteral("易"), QStringLiteral("较易"), QStringLiteral("中等"),
                                      QStringLiteral("较难"), QStringLiteral("难")};
    return names;
}

QString levelTitle(const QString& nd)
{
    return nd.isEmpty() ? QStringLiteral("全部") : nd;
}

int Plan::questionCount() const
{
    int n = 0;
    for (const Cell& c : cells) n += c.count;
    return n;
}

double Plan::pointSum() const
{
    double sum = 0;
    for (const Cell& c : cells) sum += c.count * c.points;
    return sum;
}

QVector<Cell> Plan::orderedCells() const
{
    QVector<Cell> out;
    for (const TypeColumn& t : types) {
        for (const Chapter& ch : chapters) {
            const QStringList nds = t.merged ? QStringList{QString()} : levels();
            for (const QString& nd : nds) {
                for (const Cell& c : cells) {
                    if (c.txh == t.txh && c.zjh == ch.zjh && c.nd == nd && c.count > 0) out.append(c);
                }
            }
        }
    }
    return out;
}

void BankCounts::load(const QSqlDatabase& db, const QString& kmh, RowKind rows)
{
    kmh_ = kmh;
    counts_.clear();
    // Per point: the questions of the point and of every point below it, each once however many of
    // those points it is linked to.
    sql::Reader q(db,
                  rows == RowKind::Points
                      ? QString::fromLatin1(kPointTree) +
                            QStringLiteral("SELECT t.top_id, s.txh, s.nd, COUNT(DISTINCT s.id) FROM point_tree t"
                                           " JOIN stzsd l ON l.zsdid = t.point_id JOIN stb s ON s.id = l.stid"
                                           " WHERE s.kmh=? GROUP BY t.top_id, s.txh, s.nd")
                      : QStringLiteral("SELECT zjh, txh, nd, COUNT(*) FROM stb WHERE kmh=? GROUP BY zjh, txh, nd"),
                  rows == RowKind::Points ? QVariantList{kmh, kmh, kmh} : QVariantList{kmh});
    while (q.next()) {
        const QString zjh = q.text(0);
        const QString txh = q.text(1);
        const int n = static_cast<int>(q.int64(3));
        counts_[key(zjh, txh, q.text(2))] += n;
        counts_[allKey(zjh, txh)] += n;
    }
}

int BankCounts::available(const QString& zjh, const QString& txh, const QString& nd) const
{
    return counts_.value(nd.isEmpty() ? allKey(zjh, txh) : key(zjh, txh, nd));
}

bool parseCount(const QString& text, int* count, QString* message)
{
    const QString t = text.trimmed();
    *count = 0;
    if (t.isEmpty()) return true;
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    static const QRegularExpression negative(QStringLiteral("^-\\s*[0-9]+$"));
    if (negative.match(t).hasMatch()) {
        *message = QStringLiteral("题数不能为负数");
        return false;
    }
    if (!digits.match(t).hasMatch()) {
        *message = QStringLiteral("题数只能填写整数，“%1”不是整数").arg(t);
        return false;
    }
    if (t.size() > 4 || t.toInt() > kMaxCount) {
        *message = QStringLiteral("每格最多%1道题，不能填写%2").arg(kMaxCount).arg(t);
        return false;
    }
    *count = t.toInt();
    return true;
}

bool parsePoints(const QString& text, double* points, QString* message)
{
    const QString t = text.trimmed();
    *points = 0;
    if (t.isEmpty()) return true;
    static const QRegularExpression number(QStringLiteral("^[0-9]{1,4}(\\.[0-9]{1,2})?$"));
    static const QRegularExpression negative(QStringLiteral("^-\\s*[0-9.]+$"));
    if (negative.match(t).hasMatch()) {
        *message = QStringLiteral("每题分数不能为负数");
        return false;
    }
    if (!number.match(t).hasMatch()) {
        *message = QStringLiteral("每题分数只能填写数字（最多两位小数），“%1”不是").arg(t);
        return false;
    }
    const double value = t.toDouble();
    if (value > kMaxPoints) {
        *message = QStringLiteral("每题分数不能超过%1分").arg(kMaxPoints);
        return false;
    }
    *points = value;
    return true;
}

bool parseTotal(const QString& text, int* total, QString* message)
{
    const QString t = text.trimmed();
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,4}$"));
    if (!digits.match(t).hasMatch() || t.toInt() == 0 || t.toInt() > 1000) {
        *message = QStringLiteral("试卷总分应为1到1000之间的整数");
        return false;
    }
    *total = t.toInt();
    return true;
}

QVector<Shortage> shortages(const Plan& plan, const BankCounts& counts)
{
    QVector<Shortage> out;
    for (const Cell& c : plan.orderedCells()) {
        const int available = counts.available(c.zjh, c.txh, c.nd);
        if (c.count > available) out.append({c, available});
    }
    return out;
}

QStringList widenedLevels(const QString& nd)
{
    const int i = static_cast<int>(levels().indexOf(nd));
    if (i < 0) return {};
    QStringList out;
    if (i > 0) out << levels().at(i - 1);
    if (i + 1 < levels().size()) out << levels().at(i + 1);
    return out;
}

int spareForWiden(const Plan& plan, const BankCounts& counts, const Cell& cell)
{
    int n = 0;
    for (const QString& nd : widenedLevels(cell.nd)) n += std::max(0, spare(plan, counts, cell.zjh, cell.txh, nd));
    return n;
}

int spareInChapter(const Plan& plan, const BankCounts& counts, const Cell& cell, const QString& zjh)
{
    if (zjh == cell.zjh) return 0;
    return std::max(0, spare(plan, counts, zjh, cell.txh, cell.nd));
}

QString cellKey(const Cell& cell)
{
    return key(cell.zjh, cell.txh, cell.nd);
}

QSet<qint64> usageExclusions(const QSqlDatabase& db, const QString& kmh)
{
    Q_UNUSED(db);
    Q_UNUSED(kmh);
    return {};
}

Draw draw(const QSqlDatabase& db, const Plan& plan, const QHash<QString, Fix>& fixes, const QSet<qint64>& excluded)
{
    QSet<QString> planTypes;
    for (const TypeColumn& t : plan.types) planTypes.insert(t.txh);
    // One pool per row, type and difficulty of the subject, ids in bank order. Knowledge-point rows
    // share questions: one id may stand in several pools, and the draw's `taken` keeps it to one.
    QHash<QString, Pool> pools;
    QHash<QString, QStringList> levelsOf;  // row and type → the difficulties it has
    QHash<qint64, QString> chapterOf;      // stb id → its chapter (stb.zjh)
    if (!planTypes.isEmpty()) {
        QStringList marks;
        QVariantList binds{plan.kmh};
        for (const QString& txh : planTypes) {
            marks << QStringLiteral("?");
            binds << txh;
        }
        const bool byPoint = plan.rows == RowKind::Points;
        // The plan's types one after another, each in bank order: every pool (of one type) and
        // every list of a row and type's difficulties comes out as in bank order. By chapter the
        // list index of the questions serves the read without touching the questions themselves.
        const QString statement =
            byPoint ? QString::fromLatin1(kPointTree) +
                          QStringLiteral("SELECT DISTINCT s.id, s.zjh, s.txh, s.nd, t.top_id FROM point_tree t"
                                         " JOIN stzsd l ON l.zsdid = t.point_id JOIN stb s ON s.id = l.stid"
                                         " WHERE s.kmh=? AND s.txh IN (%1) ORDER BY s.txh, s.id, t.top_id")
                              .arg(marks.join(QLatin1Char(',')))
                    : QStringLiteral("SELECT id, zjh, txh, nd FROM stb WHERE kmh=? AND txh IN (%1) ORDER BY txh, id")
                          .arg(marks.join(QLatin1Char(',')));
        if (byPoint) binds = QVariantList{plan.kmh, plan.kmh} + binds;
        sql::Reader q(db, statement, binds);
        while (q.next()) {
            const QString txh = q.text(2);
            const qint64 id = q.int64(0);
            if (excluded.contains(id)) continue;
            const QString zjh = q.text(1);
            const QString nd = q.text(3);
            const QString row = byPoint ? q.text(4) : zjh;
            chapterOf.insert(id, zjh);
            const QString k = key(row, txh, nd);
            auto it = pools.find(k);
            if (it == pools.end()) {
                it = pools.insert(k, Pool{});
                levelsOf[allKey(row, txh)].append(nd);
            }
            it->ids.append(id);
        }
    }
    // A cell's source: its own pool, or every difficulty of its row and type when merged.
    auto source = [&](const QString& row, const QString& txh, const QString& nd) {
        QVector<Pool*> out;
        if (nd.isEmpty()) {
            for (const QString& level : levelsOf.value(allKey(row, txh))) out.append(&pools[key(row, txh, level)]);
        } else if (pools.contains(key(row, txh, nd))) {
            out.append(&pools[key(row, txh, nd)]);
        }
        return out;
    };

    const QVector<Cell> cells = plan.orderedCells();
    QVector<QVector<qint64>> drawn(cells.size());
    QSet<qint64> taken;  // across all cells: a question shared by two rows lands once
    // First every cell from its own questions, so that a fill-up only takes what no cell needs.
    for (int i = 0; i < cells.size(); ++i) {
        const Cell& c = cells.at(i);
        drawn[i] = drawFrom(source(c.zjh, c.txh, c.nd), c.count, taken);
    }
    Draw result;
    for (int i = 0; i < cells.size(); ++i) {
        const Cell& c = cells.at(i);
        const int missing = c.count - static_cast<int>(drawn.at(i).size());
        if (missing <= 0) continue;
        const Fix fix = fixes.value(cellKey(c));
        QVector<Pool*> extra;
        if (fix.remedy == Remedy::Widen) {
            for (const QString& nd : widenedLevels(c.nd)) extra += source(c.zjh, c.txh, nd);
        } else if (fix.remedy == Remedy::OtherChapter && fix.zjh != c.zjh) {
            extra = source(fix.zjh, c.txh, c.nd);
        }
        if (fix.remedy != Remedy::Fewer) drawn[i] += drawFrom(extra, missing, taken);
        const int still = c.count - static_cast<int>(drawn.at(i).size());
        // Taking fewer settles what the row's own count showed; a question another row took first
        // still leaves the cell short.
        const bool settled = fix.remedy == Remedy::Fewer && plan.rows == RowKind::Chapters;
        if (still > 0 && !settled) {
            result.unmet << QStringLiteral("%1：需要%2道，只能选出%3道")
                                .arg(cellName(plan, c))
                                .arg(c.count)
                                .arg(drawn.at(i).size());
        }
    }
    for (int i = 0; i < cells.size(); ++i) {
        for (qint64 id : drawn.at(i))
            result.questions.append({id, cells.at(i).txh, chapterOf.value(id), cells.at(i).points, cells.at(i).zjh});
    }
    return result;
}

void writePaper(const QSqlDatabase& db, const Plan& plan, const Draw& drawn)
{
    QSet<QString> chapters;
    for (const DrawnQuestion& q : drawn.questions) chapters.insert(q.zjh);
    sql::transaction(db, [&] {
        composition::startPaper(db);
        // Many rows per statement, in the order drawn; a question deleted meanwhile adds no row.
        constexpr int kRowsPerStatement = 100;
        const auto& questions = drawn.questions;
        for (qsizetype first = 0; first < questions.size(); first += kRowsPerStatement) {
            const qsizetype n = std::min<qsizetype>(kRowsPerStatement, questions.size() - first);
            QStringList rows;
            QVariantList binds;
            for (qsizetype i = 0; i < n; ++i) {
                const DrawnQuestion& q = questions.at(first + i);
                rows << QStringLiteral("(?,CAST(? AS BIGINT),CAST(? AS INTEGER))");
                binds << convert::floatToText(q.points) << q.id << int(i);
            }
            sql::changes(db,
                         QStringLiteral("INSERT INTO sjb (kmh, txh, th, zjh, nd, fs, tm, da, \"time\", bz)"
                                        " SELECT s.kmh, s.txh, s.th, s.zjh, s.nd, v.column1, s.tm, s.da, s.\"time\", s.bz"
                                        " FROM (VALUES %1) AS v JOIN stb s ON s.id = v.column2 ORDER BY v.column3")
                             .arg(rows.join(QLatin1Char(','))),
                         binds);
        }
        for (const TypeColumn& t : plan.types) {
            composition::chooseTypeByCode(db, plan.kmh, t.txh);
        }
        for (const QString& zjh : chapters) {
            composition::chooseChapterByCode(db, plan.kmh, zjh);
        }
    });
}

QString cellName(const Plan& plan, const Cell& cell)
{
    QString chapter = cell.zjh;
    for (const Chapter& ch : plan.chapters) {
        if (ch.zjh == cell.zjh) chapter = ch.zjm;
    }
    QString type = cell.txh;
    for (const TypeColumn& t : plan.types) {
        if (t.txh == cell.txh) type = t.txm;
    }
    return QStringLiteral("%1 / %2·%3").arg(chapter, type, levelTitle(cell.nd));
}

QString pointsText(double value)
{
    QString text = QString::number(value, 'f', 2);
    while (text.endsWith(QLatin1Char('0'))) text.chop(1);
    if (text.endsWith(QLatin1Char('.'))) text.chop(1);
    return text;
}

QVector<QStringList> tableRows(const Plan& plan)
{
    struct Column {
        QString txh, nd, title;
    };
    QVector<Column> columns;
    for (const TypeColumn& t : plan.types) {
        const QStringList nds = t.merged ? QStringList{QString()} : levels();
        for (const QString& nd : nds) {
            const bool used = std::any_of(plan.cells.cbegin(), plan.cells.cend(),
                                          [&](const Cell& c) { return c.txh == t.txh && c.nd == nd; });
            if (used) columns.append({t.txh, nd, QStringLiteral("%1·%2").arg(t.txm, levelTitle(nd))});
        }
    }
    const auto cellText = [](int count, double sum) {
        return count > 0 ? QStringLiteral("%1题 %2分").arg(count).arg(pointsText(sum)) : QString();
    };
    QVector<QStringList> rows;
    QStringList header{rowTitle(plan.rows)};
    for (const Column& c : columns) header << c.title;
    header << QStringLiteral("合计");
    rows.append(header);
    QVector<int> columnCounts(columns.size());
    QVector<double> columnSums(columns.size());
    for (const Chapter& ch : plan.chapters) {
        QStringList row{ch.zjm};
        int rowCount = 0;
        double rowSum = 0;
        for (int i = 0; i < columns.size(); ++i) {
            int count = 0;
            double sum = 0;
            for (const Cell& cell : plan.cells) {
                if (cell.zjh == ch.zjh && cell.txh == columns.at(i).txh && cell.nd == columns.at(i).nd) {
                    count += cell.count;
                    sum += cell.count * cell.points;
                }
            }
            row << cellText(count, sum);
            rowCount += count;
            rowSum += sum;
            columnCounts[i] += count;
            columnSums[i] += sum;
        }
        if (rowCount == 0) continue;
        row << cellText(rowCount, rowSum);
        rows.append(row);
    }
    QStringList totals{QStringLiteral("合计")};
    for (int i = 0; i < columns.size(); ++i) totals << cellText(columnCounts.at(i), columnSums.at(i));
    totals << cellText(plan.questionCount(), plan.pointSum());
    rows.append(totals);
    return rows;
}

}  // namespace blueprint
