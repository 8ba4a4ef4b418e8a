// Simple geometric icons. Each is drawn in a 24x24 design box; drawIcon()
// maps that box onto the target rectangle and keeps strokes at a fixed
// pixel width whatever the icon size.
#pragma once

#include <QColor>
#include <QPainter>
#include <QRectF>

namespace icons {

struct Ink {
    QColor fg;
    QColor accent;  // second colour, e.g. the cross of the muted speaker
    qreal w;        // stroke width in design units (set by drawIcon)
};

using Icon = void (*)(QPainter&, const Ink&);

// strokePx: stroke width in real pixels.
void drawIcon(QPainter& p, Icon icon, const QRectF& box, const QColor& fg, qreal strokePx = 1.75,
              const QColor& accent = QColor());

void globe(QPainter& p, const Ink& ink);
void gear(QPainter& p, const Ink& ink);
void info(QPainter& p, const Ink& ink);
void camera(QPainter& p, const Ink& ink);
// A film frame with a cut mark: a clip taken out of a recording.
void clip(QPainter& p, const Ink& ink);
void minimise(QPainter& p, const Ink& ink);
void fullScreen(QPainter& p, const Ink& ink);
void restore(QPainter& p, const Ink& ink);
void cross(QPainter& p, const Ink& ink);
void folder(QPainter& p, const Ink& ink);
void disk(QPainter& p, const Ink& ink);
void swapArrows(QPainter& p, const Ink& ink);
void mapPin(QPainter& p, const Ink& ink);
void chevronsLeft(QPainter& p, const Ink& ink);
void chevronsRight(QPainter& p, const Ink& ink);
void play(QPainter& p, const Ink& ink);
void pause(QPainter& p, const Ink& ink);
void stop(QPainter& p, const Ink& ink);
void previousFile(QPainter& p, const Ink& ink);
void nextFile(QPainter& p, const Ink& ink);
void speaker(QPainter& p, const Ink& ink);
void speakerMuted(QPainter& p, const Ink& ink);
void zoomIn(QPainter& p, const Ink& ink);
void zoomOut(QPainter& p, const Ink& ink);

}  // namespace icons
