#include "icons.h"

#include <QPainterPath>
#include <QPolygonF>
#include <QtMath>
#include <initializer_list>
#include <utility>

namespace icons {

namespace {

QPen pen(const QColor& c, qreal w, Qt::PenCapStyle cap = Qt::RoundCap) {
    return QPen(c, w, Qt::SolidLine, cap, Qt::RoundJoin);
}

void strokePath(QPainter& p, const QPainterPath& path, const QColor& c, qreal w) {
    p.strokePath(path, pen(c, w));
}

void fillPath(QPainter& p, const QPainterPath& path, const QColor& c) {
    p.fillPath(path, c);
}

QPainterPath polyline(std::initializer_list<QPointF> pts) {
    QPainterPath path;
    bool first = true;
    for (const QPointF& pt : pts) {
        if (first)
            path.moveTo(pt);
        else
            path.lineTo(pt);
        first = false;
    }
    return path;
}

QPainterPath polygon(std::initializer_list<QPointF> pts) {
    QPainterPath path = polyline(pts);
    path.closeSubpath();
    return path;
}

QPainterPath circle(qreal cx, qreal cy, qreal r) {
    QPainterPath path;
    path.addEllipse(QPointF(cx, cy), r, r);
    return path;
}

// Draws an icon mirrored left-right inside the design box.
void mirrored(QPainter& p, const Ink& ink, Icon icon) {
    p.save();
    p.translate(24, 0);
    p.scale(-1, 1);
    icon(p, ink);
    p.restore();
}

}  // namespace

void drawIcon(QPainter& p, Icon icon, const QRectF& box, const QColor& fg, qreal strokePx,
              const QColor& accent) {
    const qreal scale = box.width() / 24.0;
    p.save();
    p.translate(box.topLeft());
    p.scale(scale, box.height() / 24.0);
    icon(p, Ink{fg, accent.isValid() ? accent : fg, strokePx / scale});
    p.restore();
}

void globe(QPainter& p, const Ink& ink) {
    QPainterPath path = circle(12, 12, 9);
    path.addEllipse(QPointF(12, 12), 4, 9);
    path.moveTo(3, 12);
    path.lineTo(21, 12);
    path.moveTo(4.6, 7.5);
    path.lineTo(19.4, 7.5);
    path.moveTo(4.6, 16.5);
    path.lineTo(19.4, 16.5);
    strokePath(p, path, ink.fg, ink.w);
}

void gear(QPainter& p, const Ink& ink) {
    // Eight teeth around a ring, with a round hole in the middle.
    QPolygonF outline;
    for (int i = 0; i < 8; ++i) {
        const qreal a = i * 45.0;
        const std::pair<qreal, qreal> pts[] = {
            {7.2, a - 17}, {10.0, a - 9}, {10.0, a + 9}, {7.2, a + 17}};
        for (const auto& [r, deg] : pts)
            outline << QPointF(12 + r * qCos(qDegreesToRadians(deg)),
                               12 + r * qSin(qDegreesToRadians(deg)));
    }
    QPainterPath path;
    path.addPolygon(outline);
    path.closeSubpath();
    path.addEllipse(QPointF(12, 12), 3.3, 3.3);
    path.setFillRule(Qt::OddEvenFill);
    fillPath(p, path, ink.fg);
}

void info(QPainter& p, const Ink& ink) {
    strokePath(p, circle(12, 12, 9), ink.fg, ink.w);
    fillPath(p, circle(12, 7.4, 1.4), ink.fg);
    QPainterPath stem;
    stem.addRoundedRect(QRectF(10.8, 10.2, 2.4, 7.6), 0.6, 0.6);
    fillPath(p, stem, ink.fg);
}

void camera(QPainter& p, const Ink& ink) {
    QPainterPath body;
    body.addRoundedRect(QRectF(2.5, 7, 19, 13), 2, 2);
    body = body.united(polygon({{7.5, 7.5}, {9.5, 4.2}, {14.5, 4.2}, {16.5, 7.5}}));
    strokePath(p, body, ink.fg, ink.w);
    strokePath(p, circle(12, 13.5, 3.8), ink.fg, ink.w);
    fillPath(p, circle(18.2, 10.2, 0.9), ink.fg);
}

void clip(QPainter& p, const Ink& ink) {
    QPainterPath frame;
    frame.addRoundedRect(QRectF(3, 5, 18, 14), 1.5, 1.5);
    strokePath(p, frame, ink.fg, ink.w);
    for (qreal x : {6.0, 10.0, 14.0, 18.0}) {
        fillPath(p, circle(x, 7.6, 0.8), ink.fg);
        fillPath(p, circle(x, 16.4, 0.8), ink.fg);
    }
    strokePath(p, polygon({{10, 10}, {15, 12}, {10, 14}}), ink.fg, ink.w);
}

// The window caption icons sit on the pixel grid when drawn 12 px wide
// with 2 px strokes (even design coordinates).
void minimise(QPainter& p, const Ink& ink) {
    strokePath(p, polyline({{2, 12}, {22, 12}}), ink.fg, ink.w);
}

void fullScreen(QPainter& p, const Ink& ink) {
    QPainterPath path = polyline({{2, 8}, {2, 2}, {8, 2}});
    path.addPath(polyline({{16, 2}, {22, 2}, {22, 8}}));
    path.addPath(polyline({{22, 16}, {22, 22}, {16, 22}}));
    path.addPath(polyline({{8, 22}, {2, 22}, {2, 16}}));
    strokePath(p, path, ink.fg, ink.w);
}

void restore(QPainter& p, const Ink& ink) {
    QPainterPath path = polyline({{2, 8}, {8, 8}, {8, 2}});
    path.addPath(polyline({{16, 2}, {16, 8}, {22, 8}}));
    path.addPath(polyline({{22, 16}, {16, 16}, {16, 22}}));
    path.addPath(polyline({{8, 22}, {8, 16}, {2, 16}}));
    strokePath(p, path, ink.fg, ink.w);
}

void cross(QPainter& p, const Ink& ink) {
    QPainterPath path = polyline({{3, 3}, {21, 21}});
    path.addPath(polyline({{21, 3}, {3, 21}}));
    strokePath(p, path, ink.fg, ink.w);
}

void folder(QPainter& p, const Ink& ink) {
    strokePath(p, polygon({{3, 5.5}, {9, 5.5}, {11, 7.5}, {21, 7.5}, {21, 19}, {3, 19}}), ink.fg,
               ink.w);
    strokePath(p, polyline({{3, 10.5}, {21, 10.5}}), ink.fg, ink.w);
}

void disk(QPainter& p, const Ink& ink) {
    strokePath(p, polygon({{3.5, 3.5}, {17, 3.5}, {20.5, 7}, {20.5, 20.5}, {3.5, 20.5}}), ink.fg,
               ink.w);
    strokePath(p, polyline({{8, 3.5}, {8, 8.5}, {15, 8.5}, {15, 3.5}}), ink.fg, ink.w);
    strokePath(p, polyline({{7, 20.5}, {7, 13.5}, {17, 13.5}, {17, 20.5}}), ink.fg, ink.w);
}

void swapArrows(QPainter& p, const Ink& ink) {
    QPainterPath path = polyline({{3, 7.5}, {20, 7.5}});
    path.addPath(polyline({{16, 3.5}, {20, 7.5}, {16, 11.5}}));
    path.addPath(polyline({{21, 16.5}, {4, 16.5}}));
    path.addPath(polyline({{8, 12.5}, {4, 16.5}, {8, 20.5}}));
    strokePath(p, path, ink.fg, ink.w);
}

void mapPin(QPainter& p, const Ink& ink) {
    QPainterPath path;
    path.moveTo(12, 22);
    path.cubicTo(12, 22, 5, 14.5, 5, 9.5);
    path.arcTo(QRectF(5, 2.5, 14, 14), 180, -180);
    path.cubicTo(19, 14.5, 12, 22, 12, 22);
    path.closeSubpath();
    path.addEllipse(QPointF(12, 9.5), 2.8, 2.8);
    path.setFillRule(Qt::OddEvenFill);
    fillPath(p, path, ink.fg);
}

void chevronsLeft(QPainter& p, const Ink& ink) {
    QPainterPath path = polyline({{11.5, 5}, {4.5, 12}, {11.5, 19}});
    path.addPath(polyline({{19.5, 5}, {12.5, 12}, {19.5, 19}}));
    strokePath(p, path, ink.fg, ink.w);
}

void chevronsRight(QPainter& p, const Ink& ink) {
    mirrored(p, ink, chevronsLeft);
}

void play(QPainter& p, const Ink& ink) {
    const QPainterPath tri = polygon({{7.5, 4.5}, {7.5, 19.5}, {19.5, 12}});
    fillPath(p, tri, ink.fg);
    strokePath(p, tri, ink.fg, ink.w * 0.6);  // rounds the corners slightly
}

void pause(QPainter& p, const Ink& ink) {
    QPainterPath path;
    path.addRoundedRect(QRectF(6, 5, 4.5, 14), 0.8, 0.8);
    path.addRoundedRect(QRectF(13.5, 5, 4.5, 14), 0.8, 0.8);
    fillPath(p, path, ink.fg);
}

void stop(QPainter& p, const Ink& ink) {
    QPainterPath path;
    path.addRoundedRect(QRectF(6, 6, 12, 12), 1.2, 1.2);
    fillPath(p, path, ink.fg);
}

void previousFile(QPainter& p, const Ink& ink) {
    QPainterPath path;
    path.addRect(QRectF(3.5, 6, 2.4, 12));
    path.addPath(polygon({{13.5, 6}, {13.5, 18}, {7, 12}}));
    path.addPath(polygon({{20.5, 6}, {20.5, 18}, {14, 12}}));
    fillPath(p, path, ink.fg);
}

void nextFile(QPainter& p, const Ink& ink) {
    mirrored(p, ink, previousFile);
}

namespace {

void speakerBody(QPainter& p, const Ink& ink) {
    const QPainterPath body = polygon({{3, 9}, {7, 9}, {12, 4.5}, {12, 19.5}, {7, 15}, {3, 15}});
    fillPath(p, body, ink.fg);
    strokePath(p, body, ink.fg, ink.w * 0.5);
}

}  // namespace

void speaker(QPainter& p, const Ink& ink) {
    speakerBody(p, ink);
    QPainterPath waves;
    waves.arcMoveTo(QRectF(8, 8, 8, 8), 45);
    waves.arcTo(QRectF(8, 8, 8, 8), 45, -90);
    waves.arcMoveTo(QRectF(5, 4.5, 15, 15), 50);
    waves.arcTo(QRectF(5, 4.5, 15, 15), 50, -100);
    strokePath(p, waves, ink.fg, ink.w);
}

void speakerMuted(QPainter& p, const Ink& ink) {
    speakerBody(p, ink);
    QPainterPath x = polyline({{15, 8.5}, {21.5, 15}});
    x.addPath(polyline({{21.5, 8.5}, {15, 15}}));
    strokePath(p, x, ink.accent, ink.w);
}

namespace {

void magnifier(QPainter& p, const Ink& ink, bool plus) {
    strokePath(p, circle(10, 10, 6.8), ink.fg, ink.w);
    p.strokePath(polyline({{15.2, 15.2}, {20.5, 20.5}}), pen(ink.fg, ink.w * 1.6));
    QPainterPath sign = polyline({{7, 10}, {13, 10}});
    if (plus)
        sign.addPath(polyline({{10, 7}, {10, 13}}));
    strokePath(p, sign, ink.fg, ink.w);
}

}  // namespace

void zoomIn(QPainter& p, const Ink& ink) {
    magnifier(p, ink, true);
}

void zoomOut(QPainter& p, const Ink& ink) {
    magnifier(p, ink, false);
}

}  // namespace icons
