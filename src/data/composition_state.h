#pragma once
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVector>

// The working state of the paper being composed (wizard step 2, or a blueprint handing over to
// it): the chosen questions in sjb (row order is the order on the paper), which types of the paper
// are complete and which chapters are ticked. Every read and write of the flags goes through here.
//
// In a bank file the state lives in the file, as it always has: sjb, and the flags txb.bz and
// zjb.bz ('1' chosen, '0' not). On a server txb and zjb are shared by every teacher, so the state
// belongs to the connection instead: a temporary sjb hides the shared one from every statement of
// the connection, and the flags are the ids of the chosen txb and zjb rows, kept in two temporary
// tables. Two teachers composing at once never see each other's drafts; the draft goes away with
// the connection.
namespace composition {

// Makes the connection's private working state on a server (nothing in a bank file). Run right
// after connecting, before any statement reads sjb; running it again changes nothing.
void prepareSession(const QSqlDatabase& db);

// Starts an empty paper: sjb emptied, every type and chapter flag cleared. Runs in the caller's
// transaction when there is one.
void startPaper(const QSqlDatabase& db);

// Marks every type named `txm` of subject `kmh` as complete, or not.
void setTypeChosen(const QSqlDatabase& db, const QString& kmh, const QString& txm, bool chosen);
// Marks every type with code `txh` of subject `kmh` as complete.
void chooseTypeByCode(const QSqlDatabase& db, const QString& kmh, const QString& txh);
// Ticks, or unticks, the first chapter named `zjm` of subject `kmh` (names are unique within a
// subject).
void setChapterChosen(const QSqlDatabase& db, const QString& kmh, const QString& zjm, bool chosen);
// Ticks every chapter with code `zjh` of subject `kmh`.
void chooseChapterByCode(const QSqlDatabase& db, const QString& kmh, const QString& zjh);

// Whether the type named `txm` of subject `kmh` is complete (the last such row decides).
bool isTypeChosen(const QSqlDatabase& db, const QString& kmh, const QString& txm);
// Names of the types of subject `kmh` not complete yet, in the bank's order.
QStringList openTypeNames(const QSqlDatabase& db, const QString& kmh);

struct ChapterFlag {
    QString zjm;
    bool chosen = false;
};
// The chapters of subject `kmh` in the bank's order, each with its tick.
QVector<ChapterFlag> chapterFlags(const QSqlDatabase& db, const QString& kmh);

// The knowledge points (知识点) a type's automatic draw and hand-picked candidates are restricted to:
// a question qualifies when it is linked to one of them or to one of their descendants. No points
// (the usual case, and every state made before points could be chosen) means no restriction.
// The restriction lives with the connection in a file too (a temporary table): a paper is only
// ever continued while the program that began it holds the bank, and startPaper clears it.
QList<qint64> typePoints(const QSqlDatabase& db, const QString& kmh, const QString& txm);
// Replaces the restriction of the type named `txm` of subject `kmh` (empty: every point).
void setTypePoints(const QSqlDatabase& db, const QString& kmh, const QString& txm, const QList<qint64>& pointIds);

// The condition "the row of zjb is a ticked chapter", for a query that names table zjb in its
// FROM list without another name. It binds no values.
QString chosenChapterCondition(const QSqlDatabase& db);

}  // namespace composition
