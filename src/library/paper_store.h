#pragma once
#include <QPair>
#include <QSet>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVector>

struct PaperContent;

// The paper library: every composed paper is kept with a copy of its questions as they were
// printed, so that the bank may change afterwards without changing a paper already given.
namespace library {

// The layout names a paper is written in; "标准" is the document the wizard has always written.
inline QString standardLayout()
{
    return QStringLiteral("标准");
}

// One question as printed: its identity in the bank (subject, type, number, chapter, difficulty)
// and its score and texts (formula and picture markers included) at that time.
struct StoredQuestion {
    QString kmh;
    QString txh;
    QString th;
    QString zjh;
    QString nd;
    QString fs;
    QString tm;
    QString da;
    // The question's id in stb (kept through the recycle bin), -1 when no question of the bank is
    // known to be it; the number above is only the label it was printed with.
    qint64 questionId = -1;
    // Its knowledge points when the paper was composed ("上级/名称", joined by "；"), empty for none.
    QString points{};
};

struct StoredSection {
    QString txh;
    QString typeName;
    int count = 0;
    long long points = 0;
    QVector<StoredQuestion> questions;
};

struct StoredPaper {
    qint64 id = -1;
    QString title;
    QString kmh;
    QString kmm;
    QString duration;
    QString total;
    QString layout;
    QString createdAt;  // "yyyy-MM-dd HH:mm:ss", local time
    QString createdBy;
    qint64 sourceId = -1;  // the paper a B paper was made from
    QString variant;       // "B" for a B paper, empty otherwise
    QString seed;          // the draw's seed of a B paper
    int overlapPercent = 0;
    QVector<StoredSection> sections;
    int questionCount() const;
};

// One line of the library's list.
struct PaperRow {
    qint64 id = -1;
    QString title;
    QString kmm;
    QString duration;
    QString total;
    QString layout;
    QString createdAt;
    QString createdBy;
    int questionCount = 0;
};

// The library's list in one block of UTF-8 text: a list of many thousand papers is read without
// a text object per field; a field becomes text when it is shown.
class PaperList {
public:
    static constexpr int kFields = 7;  // title, kmm, duration, total, layout, createdAt, createdBy
    int size() const { return int(ids_.size()); }
    bool isEmpty() const { return ids_.isEmpty(); }
    qint64 id(int row) const { return ids_.at(row); }
    int questionCount(int row) const { return counts_.at(row); }
    QString field(int row, int field) const;
    PaperRow row(int row) const;
    void append(qint64 id, const char* const* texts, const int* sizes, int questionCount);

private:
    QByteArray text_;
    QVector<int> starts_;  // kFields + 1 offsets per row into text_
    QVector<qint64> ids_;
    QVector<int> counts_;
};

// The paper being composed in the wizard, read from sjb: one section per type name in the given
// order, questions in the order of the sjb rows (the same reading the document writer does).
StoredPaper snapshotComposition(const QSqlDatabase& db, const QString& kmh, const QString& kmm,
                                const QStringList& typeNames, const QString& title, const QString& duration,
                                const QString& total);

// Notes each question's knowledge points as the bank links them now, for questions known in the bank.
void notePoints(const QSqlDatabase& db, StoredPaper& paper);

// Stores a paper with its sections and questions in one transaction; fills in its id and, when
// empty, the time and author. Returns the id.
qint64 storePaper(const QSqlDatabase& db, StoredPaper& paper);
// The same without a transaction of its own, for callers that store more in the same one.
qint64 insertPaper(const QSqlDatabase& db, StoredPaper& paper);

// Papers newest first. A non-empty filter keeps papers whose title (subject name) contains it.
PaperList readPaperList(const QSqlDatabase& db, const QString& titleFilter = QString(),
                        const QString& subjectFilter = QString());
QVector<PaperRow> listPapers(const QSqlDatabase& db, const QString& titleFilter = QString(),
                             const QString& subjectFilter = QString());

// A stored paper with its sections and questions; throws DataError when it is not there.
StoredPaper loadPaper(const QSqlDatabase& db, qint64 id);

// Removes a paper, its sections and questions and its sittings (scores and statistics) in one
// transaction.
void deletePaper(const QSqlDatabase& db, qint64 id);

// What the document writer needs of a stored paper: its own copy, not the bank.
PaperContent toContent(const StoredPaper& paper);

// The paper's contents as text, for reading on screen.
QString describe(const StoredPaper& paper);

// The list as CSV (UTF-8 with a byte-order mark so that spreadsheet programs read the Chinese).
QByteArray toCsv(const QVector<PaperRow>& rows);
QByteArray toCsv(const PaperList& list);

// How many stored papers used a question and the date of the newest of them ("" when none).
struct Usage {
    int papers = 0;
    QString lastDate;
};
Usage usage(const QSqlDatabase& db, qint64 questionId);
// "已用于 3 份试卷，最近 2026-11-02", or "尚未用于试卷".
QString usageText(const Usage& use);

// The questions (their ids in stb) of the newest `count` stored papers of a subject.
QSet<qint64> usedInRecentPapers(const QSqlDatabase& db, const QString& kmh, int count);

// The id in stb of the question a copy was taken from: the question of the same number and text,
// else one of the same text in the type, else in the subject; -1 when none is.
qint64 findQuestionId(const QSqlDatabase& db, const StoredQuestion& copy);

// Why the paper being composed (read from sjb, one section per type name) cannot be written any
// more because another user deleted part of it meanwhile: its subject, a type, a chapter or
// questions. Empty when every section still has its questions and all of them are in the bank.
QString compositionProblem(const QSqlDatabase& db, const QString& kmh, const QString& kmm,
                           const QStringList& typeNames);

// Checks the paper being composed as compositionProblem() does and records it in the library, in
// one transaction that keeps (on a server) its subject, types and chapters from being deleted until
// it ends. Throws AppError with the problem, when there is one, and stores nothing.
StoredPaper recordComposition(const QSqlDatabase& db, const QString& kmh, const QString& kmm,
                              const QStringList& typeNames, const QString& title, const QString& duration,
                              const QString& total, const QString& layout);

}  // namespace library
