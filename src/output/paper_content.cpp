#include "output/paper_content.h"

#include <QBuffer>
#include <QImage>

#include "content/svg_safety.h"

// Text typed by the user stays inside its paragraph: its line ends become line breaks.
QString inParagraph(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\v"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\v'));
    text.replace(QLatin1Char('\n'), QLatin1Char('\v'));
    return text;
}

QSize pictureExtentEmu(QSize pixels, const picture_refs::Placement& placement, const docx::PageSetup& page,
                       PaperMedia::DefaultSize defaultSize)
{
    pixels = pixels.expandedTo(QSize(1, 1));
    const double column = double(docx::columnWidthTwips(page)) * docx::kEmuPerTwip;
    const double tallest = double(docx::printableHeightTwips(page)) * docx::kEmuPerTwip;
    const double aspect = double(pixels.height()) / pixels.width();
    double width = double(pixels.width()) * docx::kEmuPerPixel;
    double widest = column;
    double highest = tallest;
    switch (placement.width) {
        case picture_refs::Placement::Centimetres:
            width = placement.amount * docx::kEmuPerCm;
            break;
        case picture_refs::Placement::Percent:
            width = column * placement.amount / 100;
            break;
        case picture_refs::Placement::Natural:
            if (defaultSize == PaperMedia::Sensible) {
                widest = column / 2;
                highest = qMin<double>(tallest, kSensiblePictureHeightEmu);
            }
            break;
    }
    width = qMin(width, widest);
    if (width * aspect > highest) width = highest / aspect;
    const qint64 cx = qMax<qint64>(docx::kEmuPerPixel, qRound64(width));
    const qint64 cy = qMax<qint64>(docx::kEmuPerPixel, qRound64(width * aspect));
    return QSize(int(cx), int(cy));
}

namespace {

// A stored picture as the document holds it: PNG or JPEG bytes and the size it is shown at, scaled
// down (never distorted) to fit the printable area. SVG is drawn to PNG at twice that size. Each
// place the picture stands in gives its own size (see placementFor).
int placePicture(docx::Document& doc, PaperMedia& media, const QString& hash)
{
    const auto known = media.placed.constFind(hash);
    if (known != media.placed.constEnd()) return known.value();
    int index = -1;
    const auto found = media.pictures.constFind(hash);
    if (found != media.pictures.constEnd() && !found->size.isEmpty()) {
        const content::StoredPicture& picture = found.value();
        QSize shown = picture.size;
        if (shown.width() > docx::kPrintableWidthPixels || shown.height() > docx::kPrintableHeightPixels) {
            shown = shown.scaled(docx::kPrintableWidthPixels, docx::kPrintableHeightPixels, Qt::KeepAspectRatio);
        }
        shown = shown.expandedTo(QSize(1, 1));
        const QString name = QStringLiteral("Picture%1").arg(media.placed.size() + 1);
        if (picture.mime == QLatin1String("image/png")) {
            index = doc.addPictureFile(name, picture.data, QStringLiteral("png"), shown);
        } else if (picture.mime == QLatin1String("image/jpeg")) {
            index = doc.addPictureFile(name, picture.data, QStringLiteral("jpeg"), shown);
        } else {
            // A cleaned copy drawn into a bounded image (see svg_safety.h); SVG at twice the size shown.
            const QImage image = content::drawPicture(
                picture.data, picture.mime, picture.mime == QLatin1String("image/svg+xml") ? shown * 2 : QSize());
            if (!image.isNull()) {
                QByteArray png;
                QBuffer buffer(&png);
                buffer.open(QIODevice::WriteOnly);
                if (image.save(&buffer, "PNG")) index = doc.addPictureFile(name, png, QStringLiteral("png"), shown);
            }
        }
    }
    media.placed.insert(hash, index);
    return index;
}

// How one marker shows its picture in the document being built. The "标准" document shows a
// picture without a width as it always did, at the size the picture was registered with.
docx::PicturePlacement placementFor(const docx::Document& doc, const PaperMedia& media, const QString& hash,
                                    const QString& options)
{
    const picture_refs::Placement placement = picture_refs::placementOf(options);
    docx::PicturePlacement out;
    out.floatRight = placement.right;
    if (placement.width == picture_refs::Placement::Natural && media.defaultSize == PaperMedia::Natural) return out;
    const auto found = media.pictures.constFind(hash);
    if (found == media.pictures.constEnd()) return out;
    const QSize extent = pictureExtentEmu(found->size, placement, doc.pageSetup(), media.defaultSize);
    out.cx = extent.width();
    out.cy = extent.height();
    return out;
}

// A picture at least this wide (2 cm) is a figure rather than a sign inside a line of text.
constexpr qint64 kFigureWidthEmu = 720000;

bool isLineEnd(QChar c)
{
    return c == u'\n' || c == u'\r' || c == u'\v';
}

// Whether the segment at `i` starts a line of the paragraph: nothing but a line end before it.
// (The question's number always stands before the first segment.)
bool startsLine(const QVector<content::Segment>& segments, qsizetype i)
{
    if (i == 0) return false;
    const content::Segment& before = segments.at(i - 1);
    return before.kind == content::Segment::Text && !before.text.isEmpty() && isLineEnd(before.text.back());
}

// Whether the segment at `i` begins with a line end of its own.
bool endsLine(const QVector<content::Segment>& segments, qsizetype i)
{
    const content::Segment& next = segments.at(i);
    return next.kind == content::Segment::Text && !next.text.isEmpty() && isLineEnd(next.text.front());
}

}  // namespace

// Appends a question or answer text after its number and ends its paragraph. A text without
// markers is appended exactly as before; otherwise formulas become Office Math and pictures
// images in their place. A picture that is not stored prints as a short note instead.
void appendPaperContent(docx::Document& doc, const QString& number, const QString& text, PaperMedia* media)
{
    if (!media || !content::hasMarkers(text)) {
        doc.append(number + inParagraph(text) + QStringLiteral("\r"));
        return;
    }
    doc.append(number);
    const QVector<content::Segment> segments = content::parse(text);
    for (qsizetype i = 0; i < segments.size(); ++i) {
        const content::Segment& s = segments.at(i);
        switch (s.kind) {
            case content::Segment::Text:
                doc.append(inParagraph(s.text));
                break;
            case content::Segment::InlineMath:
                doc.appendMath(media->omml.value(s.text));
                break;
            case content::Segment::DisplayMath:
                doc.appendDisplayMath(media->omml.value(s.text));
                break;
            case content::Segment::Picture: {
                const int index = placePicture(doc, *media, s.text);
                if (index >= 0) {
                    const docx::PicturePlacement placement = placementFor(doc, *media, s.text, s.options);
                    // In the exam layout a figure (not a small picture inside a line) stands on a
                    // line of its own below the text before it, as printed papers set figures;
                    // a floating one goes beside the text instead.
                    const bool ownLine = media->defaultSize != PaperMedia::Natural && !placement.floatRight &&
                                         placement.cx >= kFigureWidthEmu;
                    if (ownLine && !startsLine(segments, i)) doc.append(QStringLiteral("\v"));
                    doc.appendPicture(index, placement);
                    if (ownLine && i + 1 < segments.size() && !endsLine(segments, i + 1)) {
                        doc.append(QStringLiteral("\v"));
                    }
                } else {
                    doc.append(QStringLiteral("[图片缺失]"));
                }
                break;
            }
        }
    }
    doc.append(QStringLiteral("\r"));
}

void appendBlueprint(docx::Document& doc, const PaperContent& paper, int widthTwips)
{
    if (paper.blueprint.isEmpty()) return;
    doc.insertPageBreak();
    doc.append(inParagraph(paper.title) + QStringLiteral("(双向细目表)\r"));
    doc.format(int(doc.paragraphs().size()) - 2, 14, true, true);
    docx::Table table;
    table.rows = paper.blueprint;
    table.widthTwips = widthTwips;
    doc.appendTable(table);
}
