#pragma once

#include <QSlider>

// A horizontal slider that never takes the keyboard focus and ignores the
// mouse wheel. A left click off the handle jumps there at once (and never
// starts page stepping); sliderPressedWithKnob tells which kind of press it
// was, and mouseReleased comes before the standard release.
class RMSlider : public QSlider {
    Q_OBJECT
public:
    explicit RMSlider(QWidget* parent);

    // The value under x (in the slider's coordinates), as the style maps it.
    int valueAt(int x) const;

Q_SIGNALS:
    void sliderPressedWithKnob(bool bKnob);
    void mouseReleased();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    QRect handleRect() const;
    QRect grooveRect() const;
};
