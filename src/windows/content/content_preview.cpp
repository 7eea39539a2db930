#include "windows/content/content_preview.h"

#include "data/picture_refs.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QSvgRenderer>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextImageFormat>
#include <QUrl>
#include <cmath>

#include "content/content.h"
#include "content/math_renderer.h"
#include "content/svg_safety.h"
#include "data/errors.h"

namespace content {

namespace {

// Pads a formula picture so that, placed with Qt's middle alignment (which centres a picture on
// the middle of the text's line height), the formula's baseline meets the text's baseline.
QImage alignedToBaseline(const MathImage& math, const QFont& font, qreal* height)
{
    const QFontMetricsF metrics(font);
    const qreal textMiddle = metrics.height() / 2 - metrics.descent();
    const qreal dpr = math.image.devicePixelRatio();
    const qreal full = math.image.height() / dpr;
    const qreal above = math.baseline;
    const qreal below = full - math.baseline;
    // Above the baseline the object reaches h/2 + textMiddle, below it h/2 - textMiddle.
    const qreal difference = above - below - 2 * textMiddle;
    const int padTop = difference < 0 ? int(std::lround(-difference * dpr)) : 0;
    const int padBottom = difference > 0 ? int(std::lround(difference * dpr)) : 0;
    QImage padded(math.image.width(), math.image.height() + padTop + padBottom, QImage::Format_ARGB32_Premultiplied);
    padded.fill(Qt::transparent);
    {
        QPainter painter(&padded);
        painter.drawImage(QPoint(0, padTop), math.image);
    }
    padded.setDevicePixelRatio(dpr);
    *height = padded.height() / dpr;
    return padded;
}

QTextCharFormat textFormat(const QFont& font, const QColor& colour = QColor())
{
    QTextCharFormat format;
    format.setFont(font);
    if (colour.isValid()) format.setForeground(colour);
    return format;
}

}  // namespace

ContentPreview::ContentPreview(QWidget* parent) : QTextEdit(parent)
{
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setLineWrapMode(QTextEdit::WidgetWidth);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    pause_.setSingleShot(true);
    pause_.setInterval(kPauseMs);
    connect(&pause_, &QTimer::timeout, this, &ContentPreview::refreshNow);
}

void ContentPreview::setDatabase(const QSqlDatabase& db)
{
    db_ = db;
    pictures_.clear();
}

void ContentPreview::setRenderer(MathRenderer* renderer)
{
    renderer_ = renderer;
}

void ContentPreview::setContentText(const QString& text)
{
    text_ = text;
    pause_.start();
}

qreal ContentPreview::availableWidth() const
{
    // A little less than the viewport, so a full-width picture never wraps onto a line of its own.
    return qMax<qreal>(16, viewport()->width() - 2 * document()->documentMargin() - 4);
}

void ContentPreview::resizeEvent(QResizeEvent* event)
{
    QTextEdit::resizeEvent(event);
    if (viewport()->width() != shownWidth_ && !pause_.isActive()) pause_.start();
}

void ContentPreview::refreshNow()
{
    pause_.stop();
    shownWidth_ = viewport()->width();
    const int scroll = verticalScrollBar()->value();
    ++generation_;
    QTextDocument* doc = document();
    doc->clear();
    QTextCursor cursor(doc);
    cursor.setCharFormat(textFormat(font()));

    bool afterDisplay = false;
    for (const Segment& segment : parse(text_)) {
        switch (segment.kind) {
            case Segment::Text: {
                QString text = segment.text;
                // The line break after a displayed formula is the formula's own line end.
                if (afterDisplay && text.startsWith(QLatin1Char('\n'))) text.remove(0, 1);
                cursor.insertText(text, textFormat(font()));
                afterDisplay = false;
                break;
            }
            case Segment::InlineMath:
                insertFormula(cursor, segment.text, false);
                afterDisplay = false;
                break;
            case Segment::DisplayMath:
                insertFormula(cursor, segment.text, true);
                afterDisplay = true;
                break;
            case Segment::Picture:
                insertPicture(cursor, segment.text, segment.options);
                afterDisplay = false;
                break;
        }
    }
    verticalScrollBar()->setValue(scroll);
    emit refreshed();
}

void ContentPreview::insertFormula(QTextCursor& cursor, const QString& tex, bool display)
{
    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignHCenter);
    QTextBlockFormat plain;
    plain.setAlignment(Qt::AlignLeft);
    if (display) {
        // A displayed formula stands on a line of its own.
        if (cursor.block().length() > 1) {
            cursor.insertBlock(centred);
        } else {
            cursor.setBlockFormat(centred);
        }
    }
    // A formula no one may store (too long, too deep, with commands that reach outside) is not
    // typeset at all: it shows as its source with the reason, at once.
    MathImage math;
    math.error = formulaEntryRefusal(tex);
    if (math.ok()) {
        MathRenderer* renderer = renderer_ ? renderer_ : MathRenderer::shared();
        const qreal pixelSize = QFontInfo(font()).pixelSize();
        math = renderer->render(tex, display, pixelSize, devicePixelRatioF());
    }
    if (math.ok()) {
        qreal height = 0;
        const QImage image = alignedToBaseline(math, font(), &height);
        const QString name = QStringLiteral("formula:%1/%2").arg(generation_).arg(cursor.position());
        document()->addResource(QTextDocument::ImageResource, QUrl(name), image);
        QTextImageFormat format;
        format.setName(name);
        format.setFont(font());
        format.setWidth(image.width() / image.devicePixelRatio());
        format.setHeight(height);
        format.setVerticalAlignment(QTextCharFormat::AlignMiddle);
        format.setToolTip(tex);
        cursor.insertImage(format);
    } else {
        // A long source is cut short: the reason matters, not ten thousand characters of red.
        const QString shown = tex.size() > 200 ? tex.left(200) + QStringLiteral("…") : tex;
        const QString delimited = display ? QStringLiteral("\\[") + shown + QStringLiteral("\\]")
                                          : QStringLiteral("\\(") + shown + QStringLiteral("\\)");
        cursor.insertText(delimited, textFormat(font(), Qt::red));
        QFont small = font();
        if (font().pointSizeF() > 0) {
            small.setPointSizeF(font().pointSizeF() * 0.8);
        } else {
            small.setPixelSize(qMax(8, int(font().pixelSize() * 0.8)));
        }
        cursor.insertText(QStringLiteral("（") + math.error + QStringLiteral("）"), textFormat(small, Qt::red));
    }
    if (display) cursor.insertBlock(plain);
    cursor.setCharFormat(textFormat(font()));
}

QImage ContentPreview::picture(const QString& hash, bool* missing)
{
    *missing = false;
    const auto known = pictures_.constFind(hash);
    if (known != pictures_.cend()) return *known;
    std::optional<StoredPicture> stored;
    if (db_.isValid()) {
        try {
            stored = loadPicture(db_, hash);
        } catch (const AppError&) {
            stored.reset();  // an unreadable table shows as a missing picture, never a broken preview
        }
    }
    if (!stored) {
        *missing = true;
        return QImage();
    }
    // Drawn from a cleaned copy into a bounded image: no stored picture can reach outside or exhaust memory.
    const QImage image = drawPicture(stored->data, stored->mime, stored->size);
    pictures_.insert(hash, image);
    return image;
}

void ContentPreview::insertPicture(QTextCursor& cursor, const QString& hash, const QString& options)
{
    bool missing = false;
    const QImage image = picture(hash, &missing);
    if (missing || image.isNull()) {
        cursor.insertText(missing ? QStringLiteral("[图片缺失]") : QStringLiteral("[图片无法显示]"),
                          textFormat(font(), Qt::darkRed));
        cursor.setCharFormat(textFormat(font()));
        return;
    }
    const QString name = QStringLiteral("picture:") + hash;
    document()->addResource(QTextDocument::ImageResource, QUrl(name), image);
    // Wider than the pane: scaled down to its width, keeping the proportions.
    qreal width = image.width();
    qreal height = image.height();
    const qreal available = availableWidth();
    const picture_refs::Placement placement = picture_refs::placementOf(options);
    if (placement.width != picture_refs::Placement::Natural) {
        const qreal share = placement.width == picture_refs::Placement::Percent ? placement.amount / 100
                                                                                 : placement.amount / kColumnCm;
        height = height * available * share / width;
        width = available * share;
    }
    if (width > available) {
        height = height * available / width;
        width = available;
    }
    QTextImageFormat format;
    format.setName(name);
    format.setWidth(width);
    format.setHeight(height);
    cursor.insertImage(format);
    cursor.setCharFormat(textFormat(font()));
}

}  // namespace content
