#include "ui/artwork.h"
#include "content/fonts.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>


namespace artwork {

namespace {
const QColor kInk(40, 70, 120);
const QColor kAccent(214, 88, 54);
const QColor kPaper(250, 248, 240);

// A sheet of paper with ruled lines: the motif of the program.
void drawSheet(QPainter& p, const QRectF& r, const QColor& edge)
{
    p.setPen(QPen(edge, std::max<qreal>(1.0, r.width() / 24)));
    p.setBrush(kPaper);
    p.drawRoundedRect(r, r.width() / 10, r.width() / 10);
    p.setPen(QPen(edge.lighter(140), std::max<qreal>(1.0, r.width() / 30)));
    for (int i = 1; i <= 3; ++i) {
        const qreal y = r.top() + r.height() * (0.25 + 0.18 * i);
        p.drawLine(QPointF(r.left() + r.width() * 0.2, y), QPointF(r.right() - r.width() * 0.2, y));
    }
}

QPixmap canvas(int w, int h)
{
    QPixmap pm(w, h);
    pm.fill(Qt::transparent);
    return pm;
}
}  // namespace

QImage appIconImage(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // Drawn on a 64-unit square at any size, so that every installed size is sharp.
    p.scale(size / 64.0, size / 64.0);
    drawSheet(p, QRectF(10, 4, 40, 52), kInk);
    p.setPen(QPen(kAccent, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(30, 44), QPointF(38, 54));
    p.drawLine(QPointF(38, 54), QPointF(58, 26));
    return image;
}

QIcon appIcon()
{
    return QIcon(QPixmap::fromImage(appIconImage(64)));
}

QPixmap background(const QSize& size)
{
    QPixmap pm(size.expandedTo(QSize(1, 1)));
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, pm.height());
    g.setColorAt(0, QColor(36, 74, 128));
    g.setColorAt(1, QColor(120, 170, 214));
    p.fillRect(pm.rect(), g);
    // Scattered sheets, fading towards the edges.
    for (int i = 0; i < 14; ++i) {
        const qreal x = (i * 173) % std::max(1, pm.width());
        const qreal y = (i * 97 + 40) % std::max(1, pm.height());
        const qreal s = 40 + (i * 37) % 60;
        p.save();
        p.translate(x, y);
        p.rotate((i * 23) % 40 - 20);
        p.setOpacity(0.12);
        drawSheet(p, QRectF(-s / 2, -s * 0.65, s, s * 1.3), Qt::white);
        p.restore();
    }
    p.setOpacity(1);
    p.setPen(Qt::white);
    p.setFont(fonts::song(std::max(28, pm.height() / 12), true));
    p.drawText(pm.rect().adjusted(0, -pm.height() / 8, 0, 0), Qt::AlignCenter, QStringLiteral("题库管理 Exavoro"));
    p.setFont(fonts::song(std::max(14, pm.height() / 36)));
    p.setPen(QColor(230, 238, 250));
    p.drawText(pm.rect().adjusted(0, pm.height() / 8, 0, 0), Qt::AlignCenter,
               QStringLiteral("试题录入 · 组卷向导 · 试卷与参考答案一键生成"));
    return pm;
}

QPixmap tile()
{
    QPixmap pm(48, 48);
    pm.fill(QColor(245, 249, 255));
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(220, 230, 245), 1));
    p.drawLine(0, 47, 47, 47);
    p.drawLine(47, 0, 47, 47);
    p.setOpacity(0.5);
    drawSheet(p, QRectF(16, 12, 16, 22), QColor(190, 205, 230));
    return pm;
}

QPixmap banner(int width)
{
    QPixmap pm(width, 64);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, width, 0);
    g.setColorAt(0, QColor(36, 74, 128));
    g.setColorAt(1, QColor(90, 150, 210));
    p.fillRect(pm.rect(), g);
    drawSheet(p, QRectF(14, 8, 36, 48), Qt::white);
    p.setPen(Qt::white);
    p.setFont(fonts::song(24, true));
    p.drawText(QRect(64, 0, width - 64, 64), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("Exavoro 题库管理"));
    return pm;
}

QIcon glyph(const QString& name)
{
    QPixmap pm = canvas(32, 32);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QPen ink(kInk, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    const QPen accent(kAccent, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(ink);
    if (name == QLatin1String("logout")) {
        p.drawRect(QRectF(5, 5, 14, 22));
        p.setPen(accent);
        p.drawLine(QPointF(13, 16), QPointF(28, 16));
        p.drawLine(QPointF(23, 11), QPointF(28, 16));
        p.drawLine(QPointF(23, 21), QPointF(28, 16));
    } else if (name == QLatin1String("exit")) {
        p.setPen(QPen(kAccent, 3, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(QRectF(6, 7, 20, 20), 120 * 16, 300 * 16);
        p.drawLine(QPointF(16, 4), QPointF(16, 16));
    } else if (name == QLatin1String("subjects")) {
        for (int i = 0; i < 3; ++i) {
            p.setBrush(i == 2 ? QColor(kAccent) : kPaper);
            p.drawRect(QRectF(6 + i * 2, 22 - i * 7, 20, 6));
        }
    } else if (name == QLatin1String("choose")) {
        p.drawEllipse(QRectF(5, 5, 22, 22));
        p.setPen(accent);
        p.drawLine(QPointF(10, 16), QPointF(15, 21));
        p.drawLine(QPointF(15, 21), QPointF(23, 10));
    } else if (name == QLatin1String("types")) {
        for (int i = 0; i < 3; ++i) {
            p.setPen(accent);
            p.drawPoint(QPointF(7, 9 + i * 7));
            p.setPen(ink);
            p.drawLine(QPointF(12, 9 + i * 7), QPointF(27, 9 + i * 7));
        }
    } else if (name == QLatin1String("chapters")) {
        p.drawLine(QPointF(8, 5), QPointF(8, 26));
        p.drawLine(QPointF(8, 11), QPointF(16, 11));
        p.drawLine(QPointF(8, 19), QPointF(16, 19));
        p.drawLine(QPointF(8, 26), QPointF(16, 26));
        p.setPen(accent);
        p.drawLine(QPointF(19, 11), QPointF(27, 11));
        p.drawLine(QPointF(19, 19), QPointF(27, 19));
        p.drawLine(QPointF(19, 26), QPointF(27, 26));
    } else if (name == QLatin1String("entry")) {
        drawSheet(p, QRectF(5, 3, 18, 25), kInk);
        p.setPen(QPen(kAccent, 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(16, 25), QPointF(28, 10));
    } else if (name == QLatin1String("wizard")) {
        drawSheet(p, QRectF(4, 6, 16, 22), kInk);
        drawSheet(p, QRectF(12, 3, 16, 22), kInk);
        p.setPen(accent);
        p.drawLine(QPointF(16, 20), QPointF(19, 23));
        p.drawLine(QPointF(19, 23), QPointF(25, 15));
    } else if (name == QLatin1String("users")) {
        p.drawEllipse(QRectF(11, 4, 10, 10));
        p.drawArc(QRectF(6, 16, 20, 18), 0, 180 * 16);
        p.setPen(accent);
        p.drawLine(QPointF(24, 22), QPointF(30, 22));
    } else if (name == QLatin1String("help")) {
        p.drawEllipse(QRectF(4, 4, 24, 24));
        p.setPen(accent);
        p.setFont(fonts::song(18, true));
        p.drawText(QRectF(4, 4, 24, 24), Qt::AlignCenter, QStringLiteral("?"));
    } else if (name == QLatin1String("about")) {
        p.drawEllipse(QRectF(4, 4, 24, 24));
        p.setPen(accent);
        p.setFont(fonts::song(18, true));
        p.drawText(QRectF(4, 4, 24, 24), Qt::AlignCenter, QStringLiteral("i"));
    } else if (name == QLatin1String("contact")) {
        p.drawRect(QRectF(4, 8, 24, 17));
        p.setPen(accent);
        p.drawLine(QPointF(4, 8), QPointF(16, 18));
        p.drawLine(QPointF(16, 18), QPointF(28, 8));
    } else if (name == QLatin1String("up") || name == QLatin1String("down")) {
        QPainterPath arrow;
        if (name == QLatin1String("up")) {
            arrow.moveTo(16, 5);
            arrow.lineTo(27, 18);
            arrow.lineTo(20, 18);
            arrow.lineTo(20, 27);
            arrow.lineTo(12, 27);
            arrow.lineTo(12, 18);
            arrow.lineTo(5, 18);
        } else {
            arrow.moveTo(16, 27);
            arrow.lineTo(27, 14);
            arrow.lineTo(20, 14);
            arrow.lineTo(20, 5);
            arrow.lineTo(12, 5);
            arrow.lineTo(12, 14);
            arrow.lineTo(5, 14);
        }
        arrow.closeSubpath();
        p.setPen(QPen(kInk, 1.5));
        p.setBrush(QColor(70, 130, 200));
        p.drawPath(arrow);
    }
    return QIcon(pm);
}

}  // namespace artwork
