#include "ui/rm_released_slider.h"

#include <QFontMetrics>
#include <QPainter>
#include <QStyleOptionSlider>

#include "ui/rm_inset_slider_style.h"

namespace {
const int kLabelPixelSize = 11;
// The labels' band overlaps the groove's by this much: the glyphs leave
// their top free.
const int kLabelOverlap = 3;
}  // namespace

RMReleasedSlider::RMReleasedSlider(QWidget* parent)
    : RMSlider(parent), _style(std::make_unique<RMInsetSliderStyle>()) {
    setStyle(_style.get());
}

RMReleasedSlider::~RMReleasedSlider() {
    // The widget must not outlive its style, even for a moment.
    setStyle(nullptr);
}

QFont RMReleasedSlider::_labelFont() const {
    QFont font = this->font();
    font.setPixelSize(kLabelPixelSize);
    return font;
}

void RMReleasedSlider::setTickLabels(const QStringList& labels) {
    _labels = labels;
    _updateInset();
    update();
}

// The first and the last label stand centred on the handle at either end:
// the groove gives up what half the widest label needs beyond half the
// handle.
void RMReleasedSlider::_updateInset() {
    const QFontMetrics metrics(_labelFont());
    int widest = 0;
    for (const QString& label : _labels) {
        widest = qMax(widest, metrics.horizontalAdvance(label));
    }
    _style->setInset(0);
    _style->setBottom(metrics.height() - kLabelOverlap);
    QStyleOptionSlider option;
    initStyleOption(&option);
    const int handle =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this).width();
    _style->setInset(qMax(0, (widest + 1) / 2 - handle / 2 + 1));
}

int RMReleasedSlider::tickX(int value) const {
    QStyleOptionSlider option;
    initStyleOption(&option);
    option.sliderPosition = value;
    option.sliderValue = value;
    return style()
        ->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this)
        .center()
        .x();
}

QRect RMReleasedSlider::labelRect(int index) const {
    if (index < 0 || index >= _labels.size()) {
        return QRect();
    }
    const QFontMetrics metrics(_labelFont());
    const int width = metrics.horizontalAdvance(_labels.at(index));
    const int x = tickX(minimum() + index * tickInterval());
    return QRect(x - width / 2, height() - metrics.height(), width, metrics.height());
}

void RMReleasedSlider::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int interval = tickInterval();
    if (tickPosition() != NoTicks && interval > 0 && maximum() > minimum()) {
        painter.setFont(_labelFont());
        int index = 0;
        // Ticks cross the groove, from the top to the labels' band.
        const int tickBottom = height() - QFontMetrics(_labelFont()).height() + kLabelOverlap - 2;
        for (int value = minimum(); value <= maximum(); value += interval, ++index) {
            const int x = tickX(value);
            painter.setPen(QColor("#8F8F8F"));
            painter.drawLine(x, 1, x, tickBottom);
            if (index < _labels.size()) {
                painter.setPen(QColor("#FFFFFF"));
                painter.drawText(labelRect(index), Qt::AlignCenter, _labels.at(index));
            }
        }
    }
    // The style's own tick marks would stand where the narrowed groove
    // does not put the handle: the groove and the handle only.
    QStyleOptionSlider option;
    initStyleOption(&option);
    option.subControls = QStyle::SC_SliderGroove | QStyle::SC_SliderHandle;
    style()->drawComplexControl(QStyle::CC_Slider, &option, &painter, this);
}
