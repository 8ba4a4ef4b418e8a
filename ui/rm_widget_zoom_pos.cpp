#include "ui/rm_widget_zoom_pos.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace {

constexpr float kMaxPos = 0.5f;

float limited(float value) {
    return std::min(std::max(value, 0.0f), kMaxPos);
}

}  // namespace

RMWidgetZoomPos::RMWidgetZoomPos(QWidget* parent) : QWidget(parent) {
    // Clicks and drags belong to the pane underneath.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
}

void RMWidgetZoomPos::setPos(float dx, float dy) {
    _x = limited(_baseX + dx);
    _y = limited(_baseY + dy);
    update();
}

void RMWidgetZoomPos::setBase() {
    _baseX = _x;
    _baseY = _y;
}

QRect RMWidgetZoomPos::frameRect() const {
    const int w = width();
    const int h = height();
    return QRect(int(w * _x), int(h * _y), int(std::lround(w / 2.0)), int(std::lround(h / 2.0)));
}

void RMWidgetZoomPos::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(Qt::red, 1));
    painter.setBrush(Qt::NoBrush);
    // A 1 px outline drawn at the rectangle's pixels: the right and bottom
    // edges lie one pixel inside its size.
    painter.drawRect(frameRect().adjusted(0, 0, -1, -1));
}
