#pragma once
#include <QByteArray>
#include <QImage>
#include <QSize>

// SVG pictures are documents: they can name files and web addresses, carry scripts, and cost
// any amount of memory or time to draw. Before one is stored, and again whenever a stored one is
// drawn or exported (older banks may hold any), it is cleaned or refused here.
namespace content {

// Limits of a picture's drawing cost.
constexpr int kMaxSvgElements = 20000;
constexpr qint64 kMaxSvgExpandedElements = 100000;  // elements drawn, counting every <use> copy
constexpr int kMaxSvgSide = 16384;                  // declared width or height, in pixels
constexpr int kMaxDrawnSide = 4096;                 // any picture drawn for a preview or a paper

struct CleanSvg {
    QByteArray data;       // the picture to store or draw
    bool changed = false;  // something was removed (data is then rewritten, else the input itself)
};

// Removes from an SVG everything that reaches outside it or runs: <script>, <foreignObject>,
// <image> of anything but an embedded PNG, JPEG or GIF, on… attributes, references (href,
// xlink:href, url(…), @import) that are not to "#…" inside the picture, processing instructions.
// Throws AppError with a Chinese message when it is not well-formed XML, declares a document type
// or entities, or would cost too much to draw (elements, <use> copies, nesting, declared size).
CleanSvg cleanSvg(const QByteArray& bytes);

// Draws a picture's bytes (PNG, JPEG, GIF, BMP, or SVG cleaned first) at `size` (its own size
// when empty), never larger than kMaxDrawnSide on either side (a larger size is scaled down,
// keeping the proportions). A null image when it cannot be drawn or is refused.
QImage drawPicture(const QByteArray& bytes, const QString& mime, QSize size = QSize());

}  // namespace content
