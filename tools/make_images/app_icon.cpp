#include "app_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include "paint.h"

namespace app_icon {

namespace {

// Everything is drawn in a 256 x 256 design box.
constexpr qreal kDesign = 256;

void tile(QPainter& p) {
    const QRectF box(16, 16, 224, 224);
    p.setPen(Qt::NoPen);
    p.setBrush(paint::vertical(box, QColor(0x4A, 0x4A, 0x4A), QColor(0x1C, 0x1C, 0x1C)));
    p.drawRoundedRect(box, 44, 44);
    // Light top edge, as on the interface's plates.
    QColor hi(0xFF, 0xFF, 0xFF, 60);
    p.setPen(QPen(hi, 3));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(box.adjusted(1.5, 1.5, -1.5, -1.5), 43, 43);
}

// A lens: dark barrel, orange ring, glass with a highlight.
void lens(QPainter& p, const QPointF& c, qreal r) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x10, 0x10, 0x10));
    p.drawEllipse(c, r, r);
    p.setPen(QPen(paint::kAccent, r * 0.16));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, r * 0.80, r * 0.80);
    QRadialGradient glass(c, r * 0.62, c + QPointF(-r * 0.2, -r * 0.2));
    glass.setColorAt(0, QColor(0x3C, 0x5A, 0x78));
    glass.setColorAt(1, QColor(0x0C, 0x14, 0x1E));
    p.setPen(Qt::NoPen);
    p.setBrush(glass);
    p.drawEllipse(c, r * 0.62, r * 0.62);
    p.setBrush(QColor(0xFF, 0xFF, 0xFF, 170));
    p.drawEllipse(c + QPointF(-r * 0.24, -r * 0.24), r * 0.13, r * 0.13);
}

// The recording dot in the top right corner.
void recordingDot(QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(paint::kDanger);
    p.drawEllipse(QPointF(200, 56), 13, 13);
}

}  // namespace

QImage draw(int side) {
    QImage img = paint::canvas(side, side);
    QPainter p(&img);
    paint::setupPainter(p);
    p.scale(side / kDesign, side / kDesign);
    tile(p);
    lens(p, QPointF(112, 118), 70);
    lens(p, QPointF(184, 186), 36);
    recordingDot(p);
    p.end();
    return img;
}

}  // namespace app_icon
