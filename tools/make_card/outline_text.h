#pragma once

#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QPoint>
#include <QRectF>
#include <QString>

// Draws text from glyph outlines, each character rendered once and then
// stamped. Qt's glyph rasteriser gives slightly different pixels depending on
// what the thread drew before (font sizes share cached state); outlines do
// not, and a card must come out byte for byte the same whichever worker
// draws a file. Stamping also keeps the large running clock cheap.
class OutlineText {
public:
    // `shadow`: offset in pixels of a black drop shadow; 0 for none.
    OutlineText(const QFont& font, const QColor& color, int shadow = 0);

    void draw(QPainter& painter, const QRectF& box, Qt::Alignment align, const QString& text);
    double width(const QString& text) const;

private:
    struct Glyph {
        QImage image;
        QPoint offset;  // of the image's corner from the pen position on the baseline
    };
    const Glyph& glyph(QChar c);

    QFont m_font;
    QFontMetricsF m_metrics;
    QColor m_color;
    int m_shadow;
    QHash<QChar, Glyph> m_glyphs;
};
