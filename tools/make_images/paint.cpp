#include "paint.h"

#include <QFontMetricsF>

namespace paint {

const StateSet kPressStates = {{"normal", State::Normal},
                               {"pressed", State::Pressed},
                               {"focused", State::Hover},
                               {"disabled", State::Disabled}};
const StateSet kPress3States = {
    {"normal", State::Normal}, {"pressed", State::Pressed}, {"focused", State::Hover}};
const StateSet kSelectStates = {{"normal", State::Normal},
                                {"selected", State::Pressed},
                                {"infocus", State::Hover},
                                {"disabled", State::Disabled}};
const StateSet kCheckStates = {
    {"normal", State::Normal}, {"checked", State::Checked}, {"disabled", State::Disabled}};

const char* const kFamily = "Noto Sans CJK JP";

QLinearGradient vertical(const QRectF& r, const QColor& top, const QColor& bottom) {
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    return g;
}

namespace {

struct Fill {
    QColor top, bottom;
};

// Background fill shared by plates and segments.
Fill fillFor(State s, bool danger) {
    switch (s) {
        case State::Pressed:
        case State::Checked:
            return {QColor(0xFF, 0x94, 0x2A), QColor(0xF0, 0x74, 0x00)};
        case State::Hover:
            if (danger)
                return {kDanger, kDanger};
            return {QColor(0x72, 0x72, 0x72), QColor(0x64, 0x64, 0x64)};
        case State::Disabled:
            return {kDisabledBg, kDisabledBg};
        case State::Normal:
            break;
    }
    return {QColor(0x52, 0x52, 0x52), QColor(0x3E, 0x3E, 0x3E)};
}

void hline(QPainter& p, qreal x0, qreal x1, qreal y, const QColor& c) {
    p.fillRect(QRectF(x0, y, x1 - x0, 1), c);
}

void vline(QPainter& p, qreal x, qreal y0, qreal y1, const QColor& c) {
    p.fillRect(QRectF(x, y0, 1, y1 - y0), c);
}

void paintPlate(QPainter& p, const QRectF& r, State s, bool danger) {
    const Fill f = fillFor(s, danger);
    const QRectF box = r.adjusted(0.5, 0.5, -0.5, -0.5);
    const bool lit = s == State::Pressed || s == State::Checked;
    const QColor border = lit                    ? QColor(0xB0, 0x58, 0x00)
                          : s == State::Disabled ? QColor(0x33, 0x33, 0x33)
                                                 : QColor(0x26, 0x26, 0x26);
    p.setPen(QPen(border, 1));
    p.setBrush(vertical(box, f.top, f.bottom));
    p.drawRoundedRect(box, 5, 5);
    if (s != State::Disabled) {
        // Soft top highlight inside the border.
        QColor hi = lit ? QColor(0xFF, 0xC0, 0x80) : QColor(0xFF, 0xFF, 0xFF);
        hi.setAlpha(lit ? 110 : 40);
        p.setPen(QPen(hi, 1));
        p.drawLine(QPointF(box.left() + 5, box.top() + 1), QPointF(box.right() - 5, box.top() + 1));
    }
    p.setBrush(Qt::NoBrush);
}

void paintSegment(QPainter& p, const QRectF& r, State s) {
    const Fill f = fillFor(s, false);
    p.fillRect(r, vertical(r, f.top, f.bottom));
    if (s != State::Disabled)
        hline(p, r.left(), r.right(), r.top(), QColor(0xFF, 0xFF, 0xFF, 36));
    hline(p, r.left(), r.right(), r.bottom() - 1, kDarkest);
    vline(p, r.right() - 1, r.top(), r.bottom(), kDarkest);
}

void paintTab(QPainter& p, const QRectF& r, State s) {
    Fill f{QColor(0x40, 0x40, 0x40), QColor(0x34, 0x34, 0x34)};
    if (s == State::Checked || s == State::Pressed)
        f = {QColor(0x5E, 0x5E, 0x5E), QColor(0x4C, 0x4C, 0x4C)};
    else if (s == State::Hover)
        f = {kHover, kHover};
    else if (s == State::Disabled)
        f = {kDisabledBg, kDisabledBg};
    p.fillRect(r, vertical(r, f.top, f.bottom));
    vline(p, r.right() - 1, r.top(), r.bottom(), kDarkest);
    if (s == State::Checked || s == State::Pressed)
        p.fillRect(QRectF(r.left(), r.bottom() - 3, r.width() - 1, 3), kAccent);
    else
        hline(p, r.left(), r.right(), r.bottom() - 1, kDarkest);
}

void paintBare(QPainter& p, const QRectF& r, State s, bool danger) {
    if (s == State::Hover)
        p.fillRect(r, danger ? kDanger : kHover);
    else if (s == State::Pressed || s == State::Checked)
        p.fillRect(r, kAccent);
}

}  // namespace

void paintFace(QPainter& p, const QRectF& r, Face face, State s, bool danger) {
    p.save();
    switch (face) {
        case Face::Plate:
            paintPlate(p, r, s, danger);
            break;
        case Face::Segment:
            paintSegment(p, r, s);
            break;
        case Face::Tab:
            paintTab(p, r, s);
            break;
        case Face::Bare:
            paintBare(p, r, s, danger);
            break;
    }
    p.restore();
}

QColor inkFor(State s) {
    return s == State::Disabled ? kDisabledInk : kWhite;
}

QImage canvas(int w, int h, const QColor& fill) {
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.setDotsPerMeterX(3780);  // 96 dpi
    img.setDotsPerMeterY(3780);
    img.fill(fill);
    return img;
}

void setupPainter(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
}

QFont uiFont(int px, bool bold) {
    QFont f(QString::fromLatin1(kFamily));
    f.setPixelSize(px);
    f.setWeight(bold ? QFont::Bold : QFont::Normal);
    f.setStyleStrategy(QFont::PreferAntialias);
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

qreal textWidth(const QFont& f, const QString& text) {
    return QFontMetricsF(f).horizontalAdvance(text);
}

QFont fitted(QFont f, const QString& text, qreal maxWidth) {
    while (f.pixelSize() > 8 && textWidth(f, text) > maxWidth) f.setPixelSize(f.pixelSize() - 1);
    return f;
}

void drawText(QPainter& p, const QFont& f, const QString& text, qreal x, qreal cy,
              const QColor& c) {
    // Centre on the cap height: Latin capitals and kana/kanji then share
    // the same visual middle, unlike the much taller line box of CJK fonts.
    const qreal baseline = cy + QFontMetricsF(f).capHeight() / 2;
    p.save();
    p.setFont(f);
    p.setPen(c);
    p.drawText(QPointF(x, baseline), text);
    p.restore();
}

void drawTextCentred(QPainter& p, const QFont& f, const QString& text, const QRectF& r,
                     const QColor& c) {
    drawText(p, f, text, r.center().x() - textWidth(f, text) / 2, r.center().y(), c);
}

}  // namespace paint
