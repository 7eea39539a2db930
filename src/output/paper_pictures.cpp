#include "output/paper_pictures.h"
#include "content/fonts.h"


#include <QPainter>
#include <QStringList>

namespace pictures {

namespace {

// A table of thin black rules over a white ground; the header texts go into the first row.
QImage drawTable(int width, int height, const QStringList& headers, int textPixels)
{
    QImage image(width, height, QImage::Format_RGB888);  // 24-bit, like the original bitmaps
    image.fill(Qt::white);
    const int columns = int(headers.size());
    QPainter painter(&image);
    painter.setPen(QPen(Qt::black, 1));
    const auto columnX = [&](int i) { return qRound(double(i) * (width - 1) / columns); };
    const int middle = (height - 1) / 2;
    painter.drawRect(0, 0, width - 1, height - 1);
    painter.drawLine(0, middle, width - 1, middle);
    for (int i = 1; i < columns; ++i) painter.drawLine(columnX(i), 0, columnX(i), height - 1);

    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setFont(fonts::song(textPixels));
    for (int i = 0; i < columns; ++i) {
        const QRect cell(columnX(i) + 1, 1, columnX(i + 1) - columnX(i) - 1, middle - 1);
        painter.drawText(cell, Qt::AlignCenter, headers.at(i));
    }
    return image;
}

}  // namespace

QImage ImageBiao1()
{
    return drawTable(438, 66,
                     {QStringLiteral("总分"), QStringLiteral("一"), QStringLiteral("二"), QStringLiteral("三"),
                      QStringLiteral("四"), QStringLiteral("五"), QStringLiteral("六"), QStringLiteral("七"),
                      QStringLiteral("八"), QStringLiteral("九"), QStringLiteral("十"), QString(), QString()},
                     14);
}

QImage ImageBiao2()
{
    return drawTable(115, 60, {QStringLiteral("得分"), QStringLiteral("阅卷人")}, 14);
}

}  // namespace pictures
