#include "ui/rm_released_slider.h"

#include <QPainter>
#include <cmath>

void RMReleasedSlider::paintEvent(QPaintEvent* event) {
    const int interval = tickInterval();
    if (tickPosition() != NoTicks && !_labels.isEmpty() && interval > 0 && maximum() > minimum()) {
        QPainter painter(this);
        QFont font = painter.font();
        font.setPixelSize(11);
        painter.setFont(font);
        const QRect groove = grooveRect();
        int label = 0;
        for (int value = minimum(); value <= maximum(); value += interval, ++label) {
            const double fraction = double(value - minimum()) / (maximum() - minimum());
            const int x = int(std::ceil(groove.width() * fraction + groove.x())) - 1;
            painter.setPen(QColor("#8F8F8F"));
            painter.drawLine(x, 4, x, 14);
            if (label < _labels.size()) {
                painter.setPen(QColor("#FFFFFF"));
                painter.drawText(x - (value == maximum() ? 10 : 6), 26, _labels.at(label));
            }
        }
    }
    RMSlider::paintEvent(event);
}
