#pragma once
#include <QByteArray>
#include <QSize>
#include <QString>
#include <QVector>
#include <optional>

class QSqlDatabase;

// The content of a question or answer text (stb.tm, stb.da). Texts stay plain text columns; inside
// them, LaTeX math between \( and \) is an inline formula, between \[ and \] a displayed formula,
// and [[图片:<sha256 of the picture file, 64 lowercase hex digits>]] places a picture stored once in
// the pictures table ("[[图片:<sha256>|4cm|右]]" with a width and a place, see picture_refs.h). A text without these markers means exactly what it meant before; an opening
// delimiter without its closing one is plain text.
namespace content {

struct Segment {
    enum Kind { Text, InlineMath, DisplayMath, Picture };
    Kind kind = Text;
    QString text;  // Text: the plain text; InlineMath/DisplayMath: the LaTeX source; Picture: the hash
    QString options;  // Picture: the marker's placement text ("4cm|右"), empty for none (picture_refs.h)
};

// A formula holding nothing but blanks is plain text too, so "\(\)" prints as it is typed.
// Splits a text into its segments, in order. Adjacent plain text comes as one segment.
QVector<Segment> parse(const QString& text);

// Longest formula typed or imported, in characters, and deepest nesting of braces in it: pandoc's
// formula conversion takes twice as long for every further level of x^{x^{...}}.
constexpr int kMaxFormulaLength = 8000;
constexpr int kMaxFormulaDepth = 12;

// Why a formula's LaTeX source may not be converted, shown or printed, as a Chinese sentence; empty
// when it may. Refused: a delimiter of its own (\( \) \[ \]) or a paragraph end (\par, a blank
// line), which would end it early and let the rest run into what follows; commands that read
// files or fetch addresses (\input, \includegraphics, \url, \href, ...); definitions that would
// change how later formulas read (\def, \newcommand, ...); and the preview's page commands
// (\style, \class, \cssId, \require, ...).
QString formulaRefusal(const QString& latex);

// As formulaRefusal, and also a formula too long (kMaxFormulaLength) or nested too deeply
// (kMaxFormulaDepth) to be typed or imported now. Formulas stored earlier are printed all the same.
QString formulaEntryRefusal(const QString& latex);

// The first formula of a question or answer text that formulaEntryRefusal refuses, as a Chinese
// sentence that quotes the formula's start and says why; empty when the text may be stored. For
// every place that stores texts: 录入试题 and the import of questions. A picture marker whose
// width or place cannot be read (0cm, 900cm, letters) is refused the same way.
QString textEntryRefusal(const QString& text);

// True when the text holds at least one formula or picture marker.
bool hasMarkers(const QString& text);

// The one-line short form shown in grids and contents lines: formulas as their LaTeX source,
// pictures as "[图]". A text without markers comes back unchanged.
QString shortForm(const QString& text);

// The first line of a text as grids and lists show it: formulas as their LaTeX source, pictures
// as "[图]" (shortForm), at most `length` characters; a text cut short inside a picture's marker
// ends before it.
QString firstLine(const QString& text, int length = 80);

// The marker that places the picture with this hash, with a placement text ("4cm|右") when not empty.
QString pictureMarker(const QString& hash, const QString& options = QString());

// The hashes of every picture a text places, in order (repeats kept).
QStringList pictureHashes(const QString& text);

// A picture as stored: the file's bytes, its MIME type, its size in pixels and its content hash.
struct StoredPicture {
    QString hash;
    QString mime;  // image/png, image/jpeg, image/gif, image/bmp or image/svg+xml
    QSize size;
    QByteArray data;
};

// Largest picture file accepted, in bytes, and largest picture, in pixels.
constexpr qint64 kMaxPictureBytes = 20 * 1024 * 1024;
constexpr qint64 kMaxPicturePixels = 40 * 1000 * 1000;
// What decoding a picture of kMaxPicturePixels may allocate, in megabytes (8 bytes a pixel, as a
// 16-bit RGBA PNG needs). Qt's own default (128 MB) would refuse a 36-megapixel photo.
constexpr int kPictureAllocationMegabytes = int(kMaxPicturePixels * 8 / (1024 * 1024)) + 1;

// The content hash of a picture file: SHA-256, 64 lowercase hex digits.
QString pictureHash(const QByteArray& bytes);

// Reads a picture file's bytes without storing them: its type, pixel size, hash and the bytes to
// store. An SVG that reaches outside itself or runs scripts comes back cleaned (data and hash are
// then those of the cleaned copy, see svg_safety.h). Throws AppError with a Chinese message when
// they are not a readable picture of a supported type, are too large or too costly to draw.
StoredPicture examinePicture(const QByteArray& bytes);

// Stores a picture file's bytes once (keyed by their SHA-256; an SVG's cleaned copy, keyed by its
// own) and returns its hash; storing the same bytes again returns the same hash and adds nothing. Throws AppError with a Chinese message
// when the bytes are not a readable picture of a supported type or are too large.
QString storePicture(const QSqlDatabase& db, const QByteArray& bytes);

// The stored picture with this hash, or nothing when no such picture is stored.
std::optional<StoredPicture> loadPicture(const QSqlDatabase& db, const QString& hash);


}  // namespace content
