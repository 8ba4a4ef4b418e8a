#pragma once

#include <QProxyStyle>

// Draws and hit-tests a horizontal slider as if it were narrower by `inset`
// pixels on each side, so that what a slider paints beside its groove (tick
// labels) has room inside the widget. Every slider geometry the toolkit asks
// for goes through subControlRect, so drawing, clicks and dragging agree.
class RMInsetSliderStyle : public QProxyStyle {
    Q_OBJECT
public:
    // Builds on a fresh instance of the application's style, so that the
    // application's own style never routes through this one.
    RMInsetSliderStyle();

    void setInset(int inset) { _inset = inset; }
    int inset() const { return _inset; }

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                         SubControl subControl, const QWidget* widget) const override;

private:
    int _inset = 0;
};
