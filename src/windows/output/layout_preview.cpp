#include "windows/output/layout_preview.h"

#include <QPainter>
#include <QPainterPath>

namespace {

const QColor kInk(60, 60, 60);
const QColor kText(150, 150, 150);

// A line of text drawn as a grey bar `share` of the column wide.
void textLine(QPainter& p, const QRectF& column, qreal y, qreal height, qreal share, const QColor& colour = kText)
{
    p.fillRect(QRectF(column.left(), y, column.width() * share, height), colour);
}

// One text column from `top`: a section heading and question lines, down to the column's bottom.
void questions(QPainter& p, const QRectF& column, qreal top, qreal line, int firstSection)
{
    static const qreal shares[] = {0.95, 0.7, 0.9, 0.55, 0.85, 0.98, 0.6, 0.8};
    qreal y = top;
    int section = firstSection;
    int k = 0;
    while (y + line < column.bottom()) {
        if (k % 9 == 0) {
            // A heading: "一、选择题（……）" in bold, a little darker and apart from the lines.
            textLine(p, column, y, line * 0.75, 0.75, kInk);
            y += line * 1.6;
            ++section;
        } else {
            textLine(p, column, y, line * 0.5, shares[k % 8]);
            y += line * 1.2;
        }
        ++k;
    }
}

}  // namespace

LayoutPreview::LayoutPreview(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("LayoutPreview"));
    setMinimumSize(180, 240);
    setToolTip(QStringLiteral("试卷第一页的样子"));
}

void LayoutPreview::setPrintLayout(const PrintLayout& layout)
{
    layout_ = layout;
    update();
}

QSizeF LayoutPreview::sheetMillimetres(const PrintLayout& layout)
{
    if (layout.kind == PrintLayout::Exam && layout.size == PrintLayout::A3TwoColumns) return QSizeF(420, 297);
    if (layout.kind == PrintLayout::Exam && layout.size == PrintLayout::B4TwoColumns) return QSizeF(353, 250);
    return QSizeF(210, 297);
}

void LayoutPreview::paintPage(QPainter& p, const QRectF& area, const PrintLayout& layout)
{
    const QSizeF mm = sheetMillimetres(layout);
    const qreal scale = qMin(area.width() / mm.width(), area.height() / mm.height());
    const QSizeF size = mm * scale;
    const QRectF sheet(area.center().x() - size.width() / 2, area.center().y() - size.height() / 2, size.width(),
                       size.height());
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(sheet.translated(2, 2), QColor(0, 0, 0, 60));
    p.fillRect(sheet, Qt::white);
    p.setPen(QPen(QColor(170, 170, 170), 1));
    p.drawRect(sheet);

    const bool exam = layout.kind == PrintLayout::Exam;
    const bool twoColumns = exam && layout.size != PrintLayout::A4Portrait;
    const bool seal = exam && layout.candidate == PrintLayout::SealLine;
    // The margins of the document, in millimetres: 25.4 above and below and 31.75 at the sides for
    // A4, 20 and 25.4 for the two-column sheets, 49.4 on the left beside a sealing column.
    const qreal top = (twoColumns ? 20 : 25.4) * scale;
    const qreal side = (twoColumns ? 25.4 : 31.75) * scale;
    const qreal left = seal ? 49.4 * scale : side;
    const QRectF text = sheet.adjusted(left, top, -side, -top);
    const qreal gap = 15 * scale;
    QVector<QRectF> columns;
    if (twoColumns) {
        const qreal width = (text.width() - gap) / 2;
        columns << QRectF(text.left(), text.top(), width, text.height())
                << QRectF(text.left() + width + gap, text.top(), width, text.height());
    } else {
        columns << text;
    }
    const qreal line = qMax<qreal>(2, 5.5 * scale);

    if (seal) {
        // The sealing column: the candidate's lines and the dashed seal line, running upwards.
        const qreal x = sheet.left() + 6 * scale;
        p.fillRect(QRectF(x, text.top() + text.height() * 0.15, line * 0.5, text.height() * 0.7), kText);
        QPen dashed(kInk, 1, Qt::DashLine);
        p.setPen(dashed);
        const qreal sealX = sheet.left() + 30 * scale;
        p.drawLine(QPointF(sealX, text.top()), QPointF(sealX, text.bottom()));
    }

    // The first column: title, subtitle, candidate header, score table, notes, then questions.
    const QRectF& first = columns.first();
    qreal y = first.top();
    const qreal titleWidth = first.width() * 0.6;
    p.fillRect(QRectF(first.center().x() - titleWidth / 2, y, titleWidth, line), kInk);
    y += line * 1.6;
    const qreal subtitleWidth = first.width() * 0.4;
    p.fillRect(QRectF(first.center().x() - subtitleWidth / 2, y, subtitleWidth, line * 0.5), kText);
    y += line * 1.4;
    if (!exam) {
        // The "标准" paper's score summary picture.
        p.setPen(QPen(kInk, 1));
        p.drawRect(QRectF(first.left() + first.width() * 0.15, y, first.width() * 0.7, line * 2));
        y += line * 3;
    } else {
        if (!seal) {
            // 学校：____ 班级：____ 姓名：____ 考号：____
            p.setPen(QPen(kInk, 1));
            for (int i = 0; i < 4; ++i) {
                const qreal x = first.left() + first.width() * (0.04 + i * 0.25);
                p.fillRect(QRectF(x, y, first.width() * 0.06, line * 0.5), kText);
                p.drawLine(QPointF(x + first.width() * 0.07, y + line * 0.5),
                           QPointF(x + first.width() * 0.22, y + line * 0.5));
            }
            y += line * 1.3;
        }
        if (!layout.notes.trimmed().isEmpty()) {
            textLine(p, first, y, line * 0.6, 0.2, kInk);
            y += line;
            const int notes = qMin(4, int(layout.notes.trimmed().split(u'\n').size()));
            for (int i = 0; i < notes; ++i) {
                textLine(p, first, y, line * 0.45, 0.85 - 0.1 * (i % 3));
                y += line * 0.9;
            }
        }
        // The score table: 题号 一 二 … 总分 over 得分.
        p.setPen(QPen(kInk, 1));
        const QRectF table(first.left(), y, first.width() * 0.7, line * 2);
        p.drawRect(table);
        p.drawLine(QPointF(table.left(), table.center().y()), QPointF(table.right(), table.center().y()));
        for (int i = 1; i < 6; ++i) {
            const qreal x = table.left() + table.width() * i / 6;
            p.drawLine(QPointF(x, table.top()), QPointF(x, table.bottom()));
        }
        y += line * 2.8;
    }
    questions(p, first, y, line, 0);
    for (int c = 1; c < columns.size(); ++c) questions(p, columns.at(c), columns.at(c).top(), line, c);
    p.restore();
}

void LayoutPreview::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    paintPage(p, QRectF(rect()).adjusted(6, 6, -8, -8), layout_);
}
