#pragma once
#include <QWidget>

#include "output/print_layout.h"

// A small drawing of the first page of a paper in a print layout, as a thumbnail: the sheet in its
// proportions (A4 upright, A3 or B4 lying with two columns), the sealing column or the candidate's
// header block, the title, the score table, the 注意事项 and a section heading with a few question
// lines. Drawn by the program; it shows the layout's shape, not the paper's text.
class LayoutPreview : public QWidget {
    Q_OBJECT
public:
    explicit LayoutPreview(QWidget* parent = nullptr);

    void setPrintLayout(const PrintLayout& layout);
    const PrintLayout& printLayout() const { return layout_; }

    // The sheet's width and height in millimetres, as it lies.
    static QSizeF sheetMillimetres(const PrintLayout& layout);
    // Draws the page of `layout` centred in `area`.
    static void paintPage(QPainter& painter, const QRectF& area, const PrintLayout& layout);

    QSize sizeHint() const override { return QSize(230, 300); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    PrintLayout layout_;
};
