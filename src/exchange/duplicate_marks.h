#pragma once
#include <QSqlDatabase>
#include <QString>
#include <QVector>

#include "data/duplicates.h"
#include "exchange/paper_import.h"

// Questions of an import file that look like questions already in the bank, or like an earlier
// question of the same file (a paper imported twice, an exercise copied into two chapters).
namespace exchange {

struct DuplicateMark {
    // The most similar question of the bank's subject, when one reaches the threshold.
    qint64 bankId = 0;
    QString bankTxh, bankTh;
    double bankSimilarity = 0;
    // The first earlier question of the file that reaches the threshold (its index), else -1.
    int fileIndex = -1;
    double fileSimilarity = 0;
    bool suspected() const { return bankId != 0 || fileIndex >= 0; }
};

// The bank part of the marks: one indexed look-up per question (duplicates::check).
DuplicateMark bankMark(const QSqlDatabase& db, const QString& kmh, const ImportedQuestion& question,
                       double threshold = duplicates::kDefaultThreshold);
// Sets the file part of every mark (marks.size() == questions.size()).
void markWithinFile(const QVector<ImportedQuestion>& questions, QVector<DuplicateMark>* marks,
                    double threshold = duplicates::kDefaultThreshold);
// Both parts for every question.
QVector<DuplicateMark> duplicateMarks(const QSqlDatabase& db, const QString& kmh,
                                      const QVector<ImportedQuestion>& questions,
                                      double threshold = duplicates::kDefaultThreshold);

// What the preview's 查重 column says: "与第012题相似 93%" ("与填空题第012题相似 93%" when
// `bankTypeName` names the bank question's type, given when it is not the row's), "与本文件第3题相似"
// (the number in the file); both joined by "；"; empty when nothing is suspected.
QString markText(const DuplicateMark& mark, const QVector<ImportedQuestion>& questions, const QString& bankTypeName);

// The questions without the suspected ones.
QVector<ImportedQuestion> withoutSuspected(const QVector<ImportedQuestion>& questions,
                                           const QVector<DuplicateMark>& marks);

}  // namespace exchange
