#pragma once
#include <QHash>
#include <QSet>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVector>

// The planner behind 按细目表组卷 (composing from a blueprint, 双向细目表): rows are the chapters of
// a subject (or its knowledge points, 知识点), columns the question types of the paper split by
// difficulty, and each cell asks for a number of questions at a number of points each. It counts
// what the bank holds per cell, finds the cells the bank cannot fill, draws the questions and writes
// them into sjb as wizard step 2 would.
namespace blueprint {

// The five difficulty levels, easiest first (stb.nd holds these texts).
const QStringList& levels();
// The column title of a difficulty: the level itself, "全部" for a merged column (empty nd).
QString levelTitle(const QString& nd);

struct TypeColumn {
    QString txh;
    QString txm;
    bool merged = false;  // one column "全部" instead of one per difficulty
};

// What the rows of a blueprint are.
enum class RowKind {
    Chapters,  // one row per chapter (zjb): a question belongs to the row of its stb.zjh
    Points,    // one row per knowledge point (zsdb): a question belongs to the row of every point it is
               // linked to and of every point above those, so rows overlap
};

// The word for a row of this kind, as headers and messages show it: "章节" or "知识点".
QString rowTitle(RowKind kind);
// How templates store the kind (blueprints.row_kind): "zj" or "zsd"; anything else reads as chapters.
QString rowKindCode(RowKind kind);
RowKind rowKindFromCode(const QString& code);

// One row of the blueprint. For chapters zjh is the chapter's code and zjm its name; for knowledge
// points zjh is the point's id as text and zjm its path ("上级/名称").
struct Chapter {
    QString zjh;
    QString zjm;
};

// The rows of a subject: its chapters in bank order, or its knowledge points in tree order.
QVector<Chapter> rowsOf(const QSqlDatabase& db, const QString& kmh, RowKind kind);

struct Cell {
    QString zjh;
    QString txh;
    QString nd;  // empty: any difficulty (a merged column)
    int count = 0;
    double points = 0;  // per question
};

struct Plan {
    QString kmh;
    QVector<Chapter> chapters;
    QVector<TypeColumn> types;  // in paper order
    QVector<Cell> cells;        // cells asking for at least one question
    int total = 100;            // the paper's total score
    QString title;              // the paper's title, as typed
    QString duration;           // 考试时间 in minutes, as typed
    RowKind rows = RowKind::Chapters;  // what `chapters` holds

    int questionCount() const;
    double pointSum() const;
    // Cells in paper order: by type, then chapter, then difficulty.
    QVector<Cell> orderedCells() const;
};

// How many questions the bank holds per row, type and difficulty of one subject, read with one
// grouped COUNT and kept until the next load. For knowledge-point rows a row counts each question
// linked to the point or to any point below it once.
class BankCounts {
public:
    void load(const QSqlDatabase& db, const QString& kmh, RowKind rows = RowKind::Chapters);
    // nd empty: all difficulties of that chapter and type.
    int available(const QString& zjh, const QString& txh, const QString& nd) const;
    const QString& kmh() const { return kmh_; }

private:
    QString kmh_;
    QHash<QString, int> counts_;  // chapter, type, difficulty (and chapter, type alone) → count
};

// Checks the text typed into a cell. Empty text is 0. On failure returns false and sets `message`
// to a Chinese explanation (without the cell's name).
bool parseCount(const QString& text, int* count, QString* message);
bool parsePoints(const QString& text, double* points, QString* message);
bool parseTotal(const QString& text, int* total, QString* message);
constexpr int kMaxCount = 999;
constexpr double kMaxPoints = 100;

// What the user chose for a cell the bank cannot fill.
enum class Remedy {
    None,          // not decided: composing is refused
    Fewer,         // take only what the cell's own questions allow
    Widen,         // fill up from the neighbouring difficulty levels of the same row and type
    OtherChapter,  // fill up from the same type and difficulty of another row (chapter or point)
};

struct Fix {
    Remedy remedy = Remedy::None;
    QString zjh;  // the other row, for Remedy::OtherChapter
};

struct Shortage {
    Cell cell;
    int available = 0;
    int missing() const { return cell.count - available; }
};

// Cells asking for more than their own questions. Each row is counted on its own, as if rows
// shared no questions: with knowledge-point rows two cells may both look met and still compete for
// the same questions; the draw then reports the one left short (Draw::unmet).
QVector<Shortage> shortages(const Plan& plan, const BankCounts& counts);
// The difficulties a widened cell may also draw from: one level either side (none for merged).
QStringList widenedLevels(const QString& nd);
// Questions left for a cell's fill-up once the plan's own cells have taken theirs: from the
// neighbouring levels (Widen) or from another chapter's same cell (OtherChapter).
int spareForWiden(const Plan& plan, const BankCounts& counts, const Cell& cell);
int spareInChapter(const Plan& plan, const BankCounts& counts, const Cell& cell, const QString& zjh);

// Key of a cell within a plan, for fixes.
QString cellKey(const Cell& cell);

// The drawn paper: per cell in paper order, the stb ids drawn and the points each.
struct DrawnQuestion {
    qint64 id = 0;
    QString txh;
    QString zjh;  // the question's own chapter (stb.zjh), whatever the rows are
    double points = 0;
    QString row;  // the row it was drawn for (a chapter code, or a point id as text)
};

struct Draw {
    QVector<DrawnQuestion> questions;  // in paper order
    QStringList unmet;                 // Chinese lines naming the cells still short; empty when met
};

// Questions that must not be drawn. The paper library keeps a usage history; once it exists the
// recently used questions of the subject are returned here. Until then nothing is excluded.
QSet<qint64> usageExclusions(const QSqlDatabase& db, const QString& kmh);

// Draws every cell with the program's random generator, without repeats: each cell first from its
// own questions, then cells with a fix fill up from their fix's source. No question is drawn twice,
// also where knowledge-point rows share questions; a cell left short by what other rows took is
// named in `unmet` like any other. Nothing is drawn from
// outside the plan and its fixes. Reads the bank; writes nothing.
Draw draw(const QSqlDatabase& db, const Plan& plan, const QHash<QString, Fix>& fixes,
          const QSet<qint64>& excluded = {});

// Replaces the paper in progress with the drawn questions, in one transaction: sjb emptied and
// filled in paper order, every type and chapter flag reset, then the plan's types marked as set
// and its chapters as chosen, as wizard step 2 leaves them after filling every type.
void writePaper(const QSqlDatabase& db, const Plan& plan, const Draw& drawn);

// The display name of a cell: "第一章 / 选择题·易".
QString cellName(const Plan& plan, const Cell& cell);

// Points as the blueprint shows them: up to two decimals, without trailing zeros ("2", "1.5").
QString pointsText(double value);

// The plan as a printed table (双向细目表): a header row ("章节" or "知识点", one column per type and difficulty
// the plan uses, "合计"), one row per chapter (point) the plan uses with "N题 M分" in each cell it fills,
// and a last row "合计" with the column totals and the grand total.
QVector<QStringList> tableRows(const Plan& plan);

}  // namespace blueprint
