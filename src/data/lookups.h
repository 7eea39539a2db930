#pragma once
#include <QString>

class QSqlDatabase;

// Name-to-code lookups. Each gives the value of the last matching row in read order (exact,
// case-sensitive comparison) and an empty text when no row matches. They run as indexed queries
// on the data module's connection, with the same answer as a scan of the whole table.
QString KmmToKmh(const QString& kmm);
QString TxmToTxh(const QString& kmh, const QString& txm);
// KmmToKmh and then TxmToTxh with its result, in one statement (one round trip to a server).
struct SubjectAndType {
    QString kmh;
    QString txh;
};
SubjectAndType KmmTxmToCodes(const QString& kmm, const QString& txm);
QString ZjmToZjh(const QString& kmh, const QString& zjm);
QString ZjhToZjm(const QString& kmh, const QString& zjh);

// Numbering of new rows, shared by the forms that add them one at a time and the importers that
// add many in one transaction (which see their own earlier rows on the same connection).
// The next question number of a subject and type: one more than the number of the pair's last
// question in read order ("001" for the first).
QString nextQuestionNumber(const QSqlDatabase& db, const QString& kmh, const QString& txh);
// The code of a new question type of a subject: one more than the subject's last type in read order.
QString nextTypeCode(const QSqlDatabase& db, const QString& kmh);
