#pragma once
#include <QString>
#include <QStringList>

class QSqlDatabase;

// How a text refers to a stored picture: [[图片:<sha256, 64 lowercase hex digits>]], optionally
// followed, before the closing brackets, by how it is placed: a width ("|4cm", "|2.5cm", or "|50%"
// of the text column's width) and/or "|右" (floating at the right of the question's text, the text
// wrapping round it). The bank keeps a picture as long as some text refers to it; the content model
// reads the same markers.
namespace picture_refs {

inline const QString kOpen = QStringLiteral("[[图片:");
inline const QString kClose = QStringLiteral("]]");
inline const QString kRight = QStringLiteral("右");
constexpr int kHashLength = 64;
// Longest placement text after the hash ("|12.5cm|右" and the like), so a stray "|" far before a
// "]]" does not make a marker.
constexpr int kMaxOptionsLength = 24;

// The widths a picture may be given, in centimetres or in percent of the text column.
constexpr double kMinWidthCm = 0.5;
constexpr double kMaxWidthCm = 40;
constexpr double kMinWidthPercent = 5;
constexpr double kMaxWidthPercent = 100;

// How a marker places its picture. `Natural` is the marker without a width: the layout's own size.
struct Placement {
    enum Width { Natural, Centimetres, Percent };
    Width width = Natural;
    double amount = 0;  // centimetres or percent, as `width` says
    bool right = false;
    bool operator==(const Placement&) const = default;
};

// The length of a picture marker starting at `from`, or 0 when none starts there. A marker whose
// placement text cannot be read is a marker all the same (it places the picture at its natural size).
int markerLengthAt(const QString& text, qsizetype from);

// The placement text of the marker starting at `from` (without the "|" after the hash); empty for
// a marker without one. `from` must start a marker (markerLengthAt > 0).
QString optionsAt(const QString& text, qsizetype from);

// Reads a placement text ("4cm", "50%|右", "右"): the Chinese reason it cannot be used, or empty
// when `out` has been filled. An empty text is the natural placement.
QString readPlacement(QStringView options, Placement* out);

// The placement a marker's text asks for, or the natural placement when it cannot be read.
Placement placementOf(QStringView options);

// The placement text of a placement, as written into a marker ("4cm|右"); empty for the natural one.
QString placementText(const Placement& placement);

// The marker that places the picture with this hash; with placement text `options` when not empty.
QString marker(const QString& hash, const QString& options = QString());
QString marker(const QString& hash, const Placement& placement);

// Whether the bank stores any picture at all (one probe).
bool hasStoredPictures(const QSqlDatabase& db);

// Deletes the stored pictures that no text of the bank (the columns schema::pictureColumns names)
// refers to any more and returns how many went. A marker counts wherever it stands, inside a
// formula too, so a picture is never deleted while a text still names it. Cheap on a bank without
// pictures; run at connect, so pictures of deleted questions do not pile up.
int removeOrphanPictures(const QSqlDatabase& db);

}  // namespace picture_refs
