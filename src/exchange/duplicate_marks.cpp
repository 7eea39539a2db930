#include "exchange/duplicate_marks.h"

#include <cmath>

namespace exchange {

namespace {

int percent(double similarity)
{
    return int(std::floor(similarity * 100 + 1e-9));
}

}  // namespace

DuplicateMark bankMark(const QSqlDatabase& db, const QString& kmh, const ImportedQuestion& question, double threshold)
{
    DuplicateMark mark;
    if (kmh.isEmpty()) return mark;
    const QList<duplicates::Match> found = duplicates::check(db, kmh, question.text, threshold, 0, 1);
    if (!found.isEmpty()) {
        mark.bankId = found.first().id;
        mark.bankTxh = found.first().txh;
        mark.bankTh = found.first().th;
        mark.bankSimilarity = found.first().similarity;
    }
    return mark;
}

void markWithinFile(const QVector<ImportedQuestion>& questions, QVector<DuplicateMark>* marks, double threshold)
{
    QVector<duplicates::Fingerprint> prints;
    prints.reserve(questions.size());
    for (const ImportedQuestion& q : questions) prints << duplicates::Fingerprint(q.text);
    const QVector<duplicates::Earlier> earlier = duplicates::earlierSimilar(prints, threshold);
    for (qsizetype i = 0; i < questions.size() && i < marks->size(); ++i) {
        (*marks)[i].fileIndex = earlier[i].index;
        (*marks)[i].fileSimilarity = earlier[i].similarity;
    }
}

QVector<DuplicateMark> duplicateMarks(const QSqlDatabase& db, const QString& kmh,
                                      const QVector<ImportedQuestion>& questions, double threshold)
{
    QVector<DuplicateMark> marks;
    marks.reserve(questions.size());
    for (const ImportedQuestion& q : questions) marks << bankMark(db, kmh, q, threshold);
    markWithinFile(questions, &marks, threshold);
    return marks;
}

QString markText(const DuplicateMark& mark, const QVector<ImportedQuestion>& questions, const QString& bankTypeName)
{
    QStringList parts;
    if (mark.bankId != 0) {
        parts << QStringLiteral("与%1第%2题相似 %3%").arg(bankTypeName, mark.bankTh).arg(percent(mark.bankSimilarity));
    }
    if (mark.fileIndex >= 0 && mark.fileIndex < questions.size()) {
        const QString number = questions.at(mark.fileIndex).number;
        parts << QStringLiteral("与本文件第%1题相似")
                     .arg(number.isEmpty() ? QString::number(mark.fileIndex + 1) : number);
    }
    return parts.join(QStringLiteral("；"));
}

QVector<ImportedQuestion> withoutSuspected(const QVector<ImportedQuestion>& questions,
                                           const QVector<DuplicateMark>& marks)
{
    QVector<ImportedQuestion> kept;
    for (qsizetype i = 0; i < questions.size(); ++i) {
        if (i < marks.size() && marks.at(i).suspected()) continue;
        kept << questions.at(i);
    }
    return kept;
}

}  // namespace exchange
