#pragma once
#include <QString>
#include <QStringList>

class QSqlDatabase;

// How a text refers to a stored picture: [[图片:<sha256, 64 lowercase hex digits>]]. The bank keeps
// a picture as long as some text refers to it; the content model reads the same markers.
namespace picture_refs {

inline const QString kOpen = QStringLiteral("[[图片:");
inline const QString kClose = QStringLiteral("]]");
constexpr int kHashLength = 64;

// The length of a picture marker starting at `from`, or 0 when none starts there.
int markerLengthAt(const QString& text, qsizetype from);

// The marker that places the picture with this hash.
QString marker(const QString& hash);

// Whether the bank stores any picture at all (one probe).
bool hasStoredPictures(const QSqlDatabase& db);

// Deletes the stored pictures that no text of the bank (the columns schema::pictureColumns names)
// refers to any more and returns how many went. A marker counts wherever it stands, inside a
// formula too, so a picture is never deleted while a text still names it. Cheap on a bank without
// pictures; run at connect, so pictures of deleted questions do not pile up.
int removeOrphanPictures(const QSqlDatabase& db);

}  // namespace picture_refs
