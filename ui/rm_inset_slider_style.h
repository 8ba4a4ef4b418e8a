#pragma once

#include <QProxyStyle>

// Draws and hit-tests a horizontal slider as if it were narrower by `inset`
// pixels on each side and shorter by `bottom` pixels, so that what a slider
// paints around its groove (tick labels) has room inside the widget and
// under the handle. Every slider geometry the toolkit asks for goes through
// subControlRect, so drawing, clicks and dragging agree.
class RMInsetSliderStyle : public QProxyStyle {
    Q_OBJECT
public:
    // Builds on a fresh instance of the application's style, so that the
    // application's own style never routes through this one.
    RMInsetSliderStyle();

    void setInset(int inset) { _inset = inset; }
    void setBottom(int bottom) { _bottom = bottom; }

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                         SubControl subControl, const QWidget* widget) const override;

private:
    int _inset = 0;
    int _bottom = 0;
};
