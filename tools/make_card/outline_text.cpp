#include "outline_text.h"

#include <QPainterPath>
#include <cmath>

OutlineText::OutlineText(const QFont& font, const QColor& color, int shadow)
    : m_font(font), m_metrics(font), m_color(color), m_shadow(shadow) {}

double OutlineText::width(const QString& text) const {
    double w = 0;
    for (QChar c : text) {
        w += m_metrics.horizontalAdvance(c);
    }
    return w;
}

const OutlineText::Glyph& OutlineText::glyph(QChar c) {
    auto it = m_glyphs.constFind(c);
    if (it != m_glyphs.constEnd()) {
        return *it;
    }
    QPainterPath path;
    path.addText(0, 0, m_font, QString(c));
    const QRectF bounds = path.boundingRect().adjusted(-1, -1, 1 + m_shadow, 1 + m_shadow);
    const QPoint corner(int(std::floor(bounds.left())), int(std::floor(bounds.top())));
    const QSize size(std::max(1, int(std::ceil(bounds.right())) - corner.x()),
                     std::max(1, int(std::ceil(bounds.bottom())) - corner.y()));
    Glyph g;
    g.offset = corner;
    g.image = QImage(size, QImage::Format_ARGB32_Premultiplied);
    g.image.fill(Qt::transparent);
    QPainter p(&g.image);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(-corner.x(), -corner.y());
    if (m_shadow > 0) {
        p.fillPath(path.translated(m_shadow, m_shadow), Qt::black);
    }
    p.fillPath(path, m_color);
    p.end();
    return *m_glyphs.insert(c, g);
}

void OutlineText::draw(QPainter& painter, const QRectF& box, Qt::Alignment align,
                       const QString& text) {
    double x = box.left();
    if (align & Qt::AlignRight) {
        x = box.right() - width(text);
    } else if (align & Qt::AlignHCenter) {
        x = box.center().x() - width(text) / 2;
    }
    double baseline = box.top() + m_metrics.ascent();
    if (align & Qt::AlignVCenter) {
        baseline = box.center().y() + (m_metrics.ascent() - m_metrics.descent()) / 2;
    }
    const int y = int(std::lround(baseline));
    for (QChar c : text) {
        if (!c.isSpace()) {
            const Glyph& g = glyph(c);
            painter.drawImage(QPoint(int(std::lround(x)) + g.offset.x(), y + g.offset.y()),
                              g.image);
        }
        x += m_metrics.horizontalAdvance(c);
    }
}
