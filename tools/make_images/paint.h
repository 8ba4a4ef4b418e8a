// Shared drawing helpers for the UI image generator: palette, button faces
// per state, fonts and text placement.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QRectF>
#include <QString>
#include <vector>

namespace paint {

// Palette
inline const QColor kWhite{0xFF, 0xFF, 0xFF};
inline const QColor kAccent{0xFF, 0x80, 0x00};
inline const QColor kHover{0x6A, 0x6A, 0x6A};
inline const QColor kDisabledBg{0x3A, 0x3A, 0x3A};
inline const QColor kDisabledInk{0x8A, 0x8A, 0x8A};
inline const QColor kDanger{0xC8, 0x32, 0x32};
inline const QColor kDarkest{0x2B, 0x2B, 0x2B};

enum class State { Normal, Pressed, Hover, Disabled, Checked };

// One output file per entry: "<stem>_<suffix>.png".
struct StateFile {
    const char* suffix;
    State state;
};
using StateSet = std::vector<StateFile>;

extern const StateSet kPressStates;   // normal, pressed, focused, disabled
extern const StateSet kPress3States;  // normal, pressed, focused
extern const StateSet kSelectStates;  // normal, selected, infocus, disabled
extern const StateSet kCheckStates;   // normal, checked, disabled

// How a button background looks.
enum class Face {
    Plate,    // free-standing rounded button
    Segment,  // full-bleed cell of a button row
    Tab,      // toggle tab, lit with an orange underline when checked
    Bare,     // title bar button: transparent until hovered or pressed
};

QLinearGradient vertical(const QRectF& r, const QColor& top, const QColor& bottom);

void paintFace(QPainter& p, const QRectF& r, Face face, State s, bool danger = false);
QColor inkFor(State s);

// A transparent (or filled) canvas ready to paint on, with fixed resolution
// metadata so the written files do not depend on the screen.
QImage canvas(int w, int h, const QColor& fill = Qt::transparent);
void setupPainter(QPainter& p);

// Text: every word uses one CJK-capable family.
extern const char* const kFamily;
QFont uiFont(int px, bool bold);
// Shrinks the font until the text fits into maxWidth.
QFont fitted(QFont f, const QString& text, qreal maxWidth);
qreal textWidth(const QFont& f, const QString& text);
// Draws text with its left edge at x, optically centred on cy.
void drawText(QPainter& p, const QFont& f, const QString& text, qreal x, qreal cy, const QColor& c);
void drawTextCentred(QPainter& p, const QFont& f, const QString& text, const QRectF& r,
                     const QColor& c);

}  // namespace paint
