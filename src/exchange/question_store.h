#pragma once
#include <QPair>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>

#include "data/errors.h"
#include "exchange/paper_import.h"

// Storing imported questions in the bank: the same numbering as 录入试题, types and chapters
// looked up by name in the target subject.
namespace exchange {

// Raised when the user stops a running import; the transaction around it is rolled back.
class ImportCancelled : public AppError {
public:
    ImportCancelled() : AppError(QStringLiteral("导入已取消，题库没有改变。")) {}
};

struct StoreOptions {
    bool createTypes = false;     // add the types the subject lacks (else refuse)
    bool createChapters = false;  // add the chapters the subject lacks (else refuse)
    // Called every few rows with the number stored so far; returning false cancels.
    std::function<bool(int)> progress;
    // Knowledge points (paths "上级/名称") every question is linked to besides its own; empty:
    // each question keeps only those it came with.
    QStringList knowledge;
};

struct StoreSummary {
    int stored = 0;
    QVector<QPair<QString, int>> perType;  // type name and count, in order of first appearance
    QStringList createdTypes;
    QStringList createdChapters;
    QStringList createdPoints;  // knowledge points the import added to the subject, by path
    // Questions of the file left out because this program cannot store their kind.
    QVector<QPair<QString, int>> unsupported;
    // What the file held that was not stored, or was joined to another question.
    int looseParagraphs = 0;   // paragraphs that belong to no question
    int unmatchedKeys = 0;     // key entries naming no question
    int keyLinesJoined = 0;    // key lines joined to the answer before them
    int skippedPictures = 0;   // pictures the file only refers to
    int skippedDuplicates = 0; // questions left out as suspected duplicates (跳过疑似重复)
    // Takes the counts above and `unsupported` from the file as read.
    void countUnstored(const ImportedPaper& paper);
    // "已导入 12 道试题：选择题 10 道，填空题 2 道。" and a line "未导入：……" when anything was left.
    QString text() const;
};

// The subject code of a subject name, empty when there is none.
QString subjectCode(const QSqlDatabase& db, const QString& subjectName);
// The subject's type names and chapter names in read order.
QStringList typeNames(const QSqlDatabase& db, const QString& kmh);
QStringList chapterNames(const QSqlDatabase& db, const QString& kmh);

// Type names the questions use that the subject lacks, in order of first use.
QStringList missingTypes(const QSqlDatabase& db, const QString& kmh, const QVector<ImportedQuestion>& questions);
QStringList missingChapters(const QSqlDatabase& db, const QString& kmh, const QVector<ImportedQuestion>& questions);

// The warnings of a question as it stands: those found while reading it, then what its type,
// chapter and score lack in this subject.
QStringList rowWarnings(const ImportedQuestion& q, const QStringList& subjectTypes, const QStringList& subjectChapters);

// Checks that every question can be stored (a text, a type, a chapter, formulas that 录入试题 would
// accept too); throws AppError naming the first one that cannot.
void checkStorable(const QVector<ImportedQuestion>& questions);

// Stores the questions in the subject, in order, numbered as 录入试题 numbers them; their pictures
// are stored once each; each question is linked to its knowledge points and those of `options`,
// the missing points created. Must run inside a transaction: a throw (an error or ImportCancelled)
// leaves the caller to roll back.
StoreSummary storeQuestions(const QSqlDatabase& db, const QString& kmh, const QVector<ImportedQuestion>& questions,
                            const QHash<QString, QByteArray>& pictures, const StoreOptions& options);

}  // namespace exchange
