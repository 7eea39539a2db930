#pragma once
#include <QDateTime>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVector>

// The recycle bin (回收站): what the maintenance dialogs delete is first copied here, in the same
// transaction as the deletion, so that it can be given back later. The bin lives in tables of its
// own (recycle_items and recycle_kmb/txb/zjb/stb), so nothing in it takes part in numbering,
// lists, searching or composing.
namespace recycle {

// Copy a subject (its questions, chapters, types and subject rows), a question type of a subject
// (its questions and type rows), a chapter (its questions and chapter rows) or one question into
// the bin as one item, and return the item's id. They only copy: the caller deletes the rows
// afterwards in the same transaction. `by` is the user who deletes.
qint64 keepSubject(const QSqlDatabase& db, const QString& kmh, const QString& by);
qint64 keepType(const QSqlDatabase& db, const QString& kmh, const QString& txh, const QString& by);
qint64 keepChapter(const QSqlDatabase& db, const QString& kmh, const QString& zjh, const QString& by);
qint64 keepQuestion(const QSqlDatabase& db, const QString& kmh, const QString& txh, const QString& th,
                    const QString& by);

// Deletes from the bank exactly the rows the item copied (by their ids), in the caller's
// transaction. Rows another user added meanwhile are not touched; when some copied row is already
// gone (another user deleted it meanwhile) it throws DataError, so that the caller rolls back and
// nothing is half deleted or kept twice.
void removeKept(const QSqlDatabase& db, qint64 itemId);

struct Item {
    qint64 id = 0;
    QString kind;  // the table of the item's main row: "kmb", "txb", "zjb" or "stb"
    QString summary;
    QString deletedAt;  // local time, "yyyy-MM-dd HH:mm:ss"
    QString deletedBy;
    int questions = 0;  // how many questions the item holds
};

// Every item in the bin, the newest first.
QVector<Item> items(const QSqlDatabase& db);

// The kind of thing an item is, as the window names it: "科目", "题型", "章节" or "试题".
QString kindName(const QString& kind);

// The name a subject, type or chapter item would take back (`name`, or its own name when `name` is
// empty) when that name is in use now in its place (a subject of that name, a type or chapter of
// that name in its subject); empty when it is free or the item is a question.
QString takenName(const QSqlDatabase& db, qint64 itemId, const QString& name = QString());

// Puts everything an item holds back, under `newName` when that is not empty, and removes the item
// from the bin. Run it inside a transaction. A subject, type or chapter gets its old code back
// when that is free and keeps the codes ascending in read order, else the next code as the
// dialogs would give it; its questions follow. A question whose number has been given again
// meanwhile gets the next free number. Returns one line for each question so renumbered.
// Throws DataError when the name is taken, when the subject or type the item belongs to is gone,
// or when the item is no longer in the bin.
QStringList restore(const QSqlDatabase& db, qint64 itemId, const QString& newName = QString());

// The line a deletion's confirmation adds for the questions of a subject (of one of its types or
// chapters when txh or zjh is given): how many go to the bin and how many stored papers used them.
QString deletionNote(const QSqlDatabase& db, const QString& kmh, const QString& txh = QString(),
                     const QString& zjh = QString());

// The number of items deleted before `cutoff` ("yyyy-MM-dd HH:mm:ss"; empty: every item).
int countBefore(const QSqlDatabase& db, const QString& cutoff = QString());
// Removes those items and their rows for good. Run it inside a transaction.
void purgeBefore(const QSqlDatabase& db, const QString& cutoff = QString());

// The time as the bin records it.
QString timestamp(const QDateTime& when);

}  // namespace recycle
