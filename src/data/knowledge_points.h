#pragma once
#include <QHash>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

// Knowledge points (知识点): a tree of topics per subject, kept beside the chapters, and the links
// of questions to them. A point lives in zsdb (kmh, zsdm: its name, sjid: the id of its parent, 0
// at the top); a question's links live in stzsd (stid: stb.id, zsdid: zsdb.id). A point is shown
// by its path, "上级/名称", which is also how files and the entry field name it.
//
// The changes run in the caller's transaction when there is one (a question stored with its
// points), else in one of their own. Bad input throws AppError with a message for the user.
namespace knowledge {

struct Point {
    qint64 id = 0;
    QString kmh;
    QString name;
    qint64 parent = 0;  // 0: top level
};

// One subject's tree: parents before children, siblings by name.
QList<Point> points(QSqlDatabase& db, const QString& kmh);
// Adds a point under `parent` (0: at the top) and returns its id. AppError when the name is empty,
// holds a separator ("/", "，", ","), or a sibling already has it, or the parent is not the subject's.
qint64 add(QSqlDatabase& db, const QString& kmh, const QString& name, qint64 parent);
void rename(QSqlDatabase& db, qint64 id, const QString& name);
// Puts a point (with its descendants) under `newParent` (0: at the top). Refuses a move under
// itself or one of its own descendants, into another subject, or beside a sibling of the same name.
void move(QSqlDatabase& db, qint64 id, qint64 newParent);
// Deletes the point and its descendants; their questions stay, only the links to them go.
void remove(QSqlDatabase& db, qint64 id);

// The points of a question (stb.id), in the order they were given.
QList<qint64> ofQuestion(QSqlDatabase& db, qint64 questionId);
// The paths ("上级/名称") of a question's points, sorted.
QStringList namesOfQuestion(QSqlDatabase& db, qint64 questionId);
// Replaces a question's links by `pointIds` (repeats and ids of no point are left out).
void setForQuestion(QSqlDatabase& db, qint64 questionId, const QList<qint64>& pointIds);
// By names or "上级/名称" paths, as files carry them: a missing point is created (with its path).
void setNamesForQuestion(QSqlDatabase& db, qint64 questionId, const QString& kmh, const QStringList& names);
// The points themselves and all their descendants, for draws and searches restricted to points.
QList<qint64> withDescendants(QSqlDatabase& db, const QList<qint64>& pointIds);

// --- Additions for the windows and tools ---

// The path of every point of a subject by id, "上级/名称".
QHash<qint64, QString> paths(QSqlDatabase& db, const QString& kmh);
// The sorted paths of the points of a subject's questions that have any, by stb.id: the links in one
// statement and the tree once, not a walk up the tree for each question. With `questionIds`, only
// those questions (none given: every question of the subject).
QHash<qint64, QStringList> pathsOfQuestions(QSqlDatabase& db, const QString& kmh,
                                            const QList<qint64>& questionIds = {});
// The path of one point, empty when there is no such point.
QString pathOf(QSqlDatabase& db, qint64 id);
// The ids `names` stand for (see setNamesForQuestion), creating the missing points; the paths of
// the points created are added to `created` when given. A bare name finds a point of that name at
// any depth (the first in tree order) when no top-level point has it; a path names a point whose
// path ends with it. Empty entries are skipped.
QList<qint64> resolve(QSqlDatabase& db, const QString& kmh, const QStringList& names, QStringList* created = nullptr);
// Splits what a user typed into names: separated by "，" or ",", trimmed, empties dropped.
QStringList splitNames(const QString& text);
// How many questions each point of a subject is linked to directly.
QHash<qint64, int> questionCounts(QSqlDatabase& db, const QString& kmh);
// Deletes the links of questions that no longer exist and of points that no longer exist.
void removeLinksOfQuestions(QSqlDatabase& db, const QString& questionWhere, const QVariantList& binds);
// Deletes every point of a subject and the links to them (the subject is being deleted).
void removeSubject(QSqlDatabase& db, const QString& kmh);

}  // namespace knowledge
