#include "ui/rm_slider.h"

#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionSlider>

RMSlider::RMSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    setFocusPolicy(Qt::NoFocus);
}

QRect RMSlider::handleRect() const {
    QStyleOptionSlider option;
    initStyleOption(&option);
    return style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
}

QRect RMSlider::grooveRect() const {
    QStyleOptionSlider option;
    initStyleOption(&option);
    return style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
}

int RMSlider::valueAt(int x) const {
    const QRect handle = handleRect();
    const QRect groove = grooveRect();
    const int length = handle.width();
    const int position = x - length / 2 - groove.x();
    return QStyle::sliderValueFromPosition(minimum(), maximum(), position, groove.width() - length,
                                           invertedAppearance());
}

void RMSlider::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QSlider::mousePressEvent(event);
        return;
    }
    if (handleRect().contains(event->pos())) {
        QSlider::mousePressEvent(event);
        emit sliderPressedWithKnob(true);
        return;
    }
    setSliderPosition(valueAt(event->pos().x()));
    setRepeatAction(SliderNoAction, 500, 50);
    emit sliderPressed();
    emit sliderPressedWithKnob(false);
    event->accept();
}

void RMSlider::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        emit mouseReleased();
    }
    QSlider::mouseReleaseEvent(event);
}

void RMSlider::wheelEvent(QWheelEvent* event) {
    event->ignore();
}
