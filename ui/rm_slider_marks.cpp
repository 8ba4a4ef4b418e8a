#include "ui/rm_slider_marks.h"

#include <QEvent>
#include <QPainter>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>

#include "app/rm_play_event.h"
#include "core/rm_clip_marks.h"
#include "core/rm_player.h"
#include "recordings/rm_video_item_2ch.h"

namespace {
const QColor kMark(255, 176, 32);
const QColor kSpan(255, 176, 32, 120);
}  // namespace

RMSliderMarks::RMSliderMarks(QSlider* slider) : QWidget(slider), _slider(slider) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setGeometry(slider->rect());
    slider->installEventFilter(this);
    connect(RMClipMarks::instance(), SIGNAL(changed()), this, SLOT(onMarksChanged()));
    connect(RMPlayer::instance(), &RMPlayer::playEvent, this,
            [this](PLAY_EVENT event, RMVideoItem*) { onPlayEvent(event); });
    show();
}

void RMSliderMarks::setRecording(const QDateTime& start, qint64 durationMs) {
    _start = start;
    _durationMs = durationMs;
    update();
}

void RMSliderMarks::onMarksChanged() {
    update();
}

void RMSliderMarks::onPlayEvent(int event) {
    if (event == PE_STARTED || event == PE_STOPPED || event == PE_USER_STOP) {
        const RMVideoItem* item = RMPlayer::instance()->currentItem();
        setRecording(item ? item->dateTime : QDateTime(), item ? item->durationMs : 0);
    }
}

bool RMSliderMarks::eventFilter(QObject* watched, QEvent* event) {
    if (watched == _slider && event->type() == QEvent::Resize) {
        setGeometry(_slider->rect());
    }
    return QWidget::eventFilter(watched, event);
}

void RMSliderMarks::_span(int* left, int* right) const {
    QStyleOptionSlider option;
    option.initFrom(_slider);
    option.orientation = Qt::Horizontal;
    option.minimum = _slider->minimum();
    option.maximum = _slider->maximum();
    const QRect groove = _slider->style()->subControlRect(QStyle::CC_Slider, &option,
                                                          QStyle::SC_SliderGroove, _slider);
    const QRect handle = _slider->style()->subControlRect(QStyle::CC_Slider, &option,
                                                          QStyle::SC_SliderHandle, _slider);
    *left = groove.left() + handle.width() / 2;
    *right = groove.right() - handle.width() / 2;
}

int RMSliderMarks::xOf(const QDateTime& time) const {
    if (!time.isValid() || !_start.isValid() || _durationMs <= 0) {
        return -1;
    }
    const qint64 ms = _start.msecsTo(time);
    if (ms < 0 || ms > _durationMs) {
        return -1;
    }
    int left = 0;
    int right = 0;
    _span(&left, &right);
    return left + int((right - left) * ms / _durationMs);
}

void RMSliderMarks::paintEvent(QPaintEvent*) {
    const RMClipMarks* marks = RMClipMarks::instance();
    if (!_start.isValid() || _durationMs <= 0 ||
        (!marks->in().isValid() && !marks->out().isValid())) {
        return;
    }
    QPainter p(this);
    int left = 0;
    int right = 0;
    _span(&left, &right);
    const QDateTime end = _start.addMSecs(_durationMs);
    if (marks->hasRange() && marks->in() < end && marks->out() > _start) {
        const int x0 = marks->in() < _start ? left : xOf(marks->in());
        const int x1 = marks->out() > end ? right : xOf(marks->out());
        p.fillRect(QRect(x0, height() / 4, qMax(1, x1 - x0), height() / 2), kSpan);
    }
    for (const QDateTime& mark : {marks->in(), marks->out()}) {
        const int x = xOf(mark);
        if (x >= 0) {
            p.fillRect(QRect(x - 1, 0, 3, height()), kMark);
        }
    }
}
