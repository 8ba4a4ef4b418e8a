#include "ui/rm_frame_slider.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include "core/rm_player.h"
#include "recordings/rm_video_item_2ch.h"
#include "ui/rm_play_slider.h"
#include "ui/rm_released_slider.h"
#include "widgets/rm_button.h"
#include "widgets/rm_layout.h"

namespace {

constexpr int kWidth = 665;
constexpr int kSliderEnableDelayMs = 200;

// The narrowest screen decides the full-screen sizes.
int narrowestScreenWidth() {
    int width = 1920;
    bool first = true;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const int w = screen->geometry().width();
        width = first ? w : qMin(width, w);
        first = false;
    }
    return width;
}

}  // namespace

RMFrameSlider::RMFrameSlider(QWidget* parent) : RMWidgetStyleBase(parent, "bottom_border", true) {
    setFixedSize(kWidth, 66);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* left = new QWidget(this);
    left->setFixedWidth(162);
    auto* leftLayout = new QHBoxLayout(left);
    leftLayout->setContentsMargins(5, 5, 5, 5);
    _caption = new QLabel(left);
    _caption->setFixedSize(71, 22);
    leftLayout->addWidget(_caption, 0, Qt::AlignRight | Qt::AlignVCenter);
    layout->addWidget(left);

    auto* column = new QVBoxLayout;
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    _playSlider = new RMPlaySlider(this);
    _playSlider->setEnabled(false);
    column->addWidget(_playSlider);

    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->setAlignment(Qt::AlignCenter);
    _speed = new RMReleasedSlider(this);
    _speed->setObjectName("normal");
    _speed->setRange(0, 3);
    _speed->setValue(1);
    _speed->setTickInterval(1);
    _speed->setTickPosition(QSlider::TicksBothSides);
    _speed->setPageStep(1);
    _speed->setTickLabels({"0.5", "1.0", "2.0", "4.0"});
    _speed->setFixedSize(220, 27);
    row->addWidget(_speed);
    _speedSpacer = RMLayout::addSpacer(row, 20, 0);
    _mute = RMButton::create(this, row, "mute", QString(), QSize(19, 19));
    _setMuteTooltip(false);
    _mute->setCheckable(true);
    RMLayout::addSpacer(row, 5, 0);
    _volume = new RMSlider(this);
    _volume->setObjectName("normal");
    _volume->setFixedSize(206, 19);
    _volume->setRange(0, 100);
    _volume->setValue(20);
    row->addWidget(_volume);
    auto* rowWidget = new QWidget(this);
    rowWidget->setFixedHeight(32);
    rowWidget->setLayout(row);
    column->addWidget(rowWidget);
    layout->addLayout(column);
    RMLayout::addSpacer(layout, 45, 0);

    RMPlayer* player = RMPlayer::instance();
    connect(_mute, SIGNAL(clicked()), player, SLOT(onMute()));
    player->setSliderControls(positionSlider(), _volume, _speed, _mute);
    connect(player, SIGNAL(positionChanged(qint64, qint64)), this,
            SLOT(onPositionChanged(qint64, qint64)));
    connect(player, SIGNAL(playEvent(PLAY_EVENT, RMVideoItem*)), this,
            SLOT(onPlayEvent(PLAY_EVENT, RMVideoItem*)));
    connect(RMLanguage::instance(), SIGNAL(languageChange(RMLanguage::LANGUAGE_TYPE)), this,
            SLOT(onLanguageChange(RMLanguage::LANGUAGE_TYPE)));
    _refreshCaption();
}

RMSlider* RMFrameSlider::positionSlider() const {
    return _playSlider->slider();
}

void RMFrameSlider::_setTimes(const QString& current, const QString& total) {
    _playSlider->currentLabel()->setText(current);
    if (!total.isNull()) {
        _playSlider->totalLabel()->setText(total);
    }
}

// Both languages are registered, so a language change while muted keeps
// the tooltip of the muted state.
void RMFrameSlider::_setMuteTooltip(bool muted) {
    RMLanguage* language = RMLanguage::instance();
    const QString japanese = muted ? "ミュートの解除" : "消音モード";
    const QString english = muted ? "Unmute" : "Mute";
    language->append(RMLanguage::LANGUAGE_JAPANESE, RMLanguage::TEXT_TOOLTIP, _mute, japanese);
    language->append(RMLanguage::LANGUAGE_ENGLISH, RMLanguage::TEXT_TOOLTIP, _mute, english);
    _mute->setToolTip(language->text(japanese, english));
}

void RMFrameSlider::onPlayEvent(PLAY_EVENT event, RMVideoItem* item) {
    switch (event) {
        case PE_STOPPED:
            _playSlider->setEnabled(false);
            _setTimes("00:00", "00:00");
            positionSlider()->setValue(0);
            break;
        case PE_STARTED:
            QTimer::singleShot(kSliderEnableDelayMs, this, SLOT(onEnableSliderDelay()));
            if (item != nullptr) {
                _setTimes("00:00", item->titleDuration());
                _durationMs = item->durationMs;
            }
            break;
        case PE_MUTED:
        case PE_UNMUTED:
            _setMuteTooltip(event == PE_MUTED);
            _volume->setEnabled(event == PE_UNMUTED);
            break;
        default:
            break;
    }
}

void RMFrameSlider::onEnableSliderDelay() {
    // A stop may have come within the delay.
    if (RMPlayer::instance()->currentItem() != nullptr) {
        _playSlider->setEnabled(true);
    }
}

void RMFrameSlider::onPositionChanged(qint64 position, qint64 duration) {
    if (duration <= 0) {
        return;
    }
    const qint64 t = qint64(double(qMin(position, duration)) * _durationMs / double(duration));
    RMPlayer::instance()->setCapturePosition(t);
    _playSlider->currentLabel()->setText(
        RMVideoItem::durationString(uint(qMax<qint64>(0, t)), true));
}

void RMFrameSlider::_refreshCaption() {
    const bool japanese = RMLanguage::instance()->isJapanese();
    QString name = _fullScreen ? "speed_control_label_dark" : "speed_control_label";
    _caption->setPixmap(QPixmap(":/image/" + name + (japanese ? "" : "_en") + ".png"));
}

void RMFrameSlider::onLanguageChange(RMLanguage::LANGUAGE_TYPE) {
    _refreshCaption();
}

void RMFrameSlider::onAppEvent(RMApp::Event event) {
    RMWidgetStyleBase::onAppEvent(event);
    if (event != RMApp::EVENT_FULLSCREEN_ENTERING && event != RMApp::EVENT_FULLSCREEN_LEAVING) {
        return;
    }
    _fullScreen = event == RMApp::EVENT_FULLSCREEN_ENTERING;
    const int w = narrowestScreenWidth();
    setFixedWidth(_fullScreen ? w / 2 - 120 : kWidth);
    _refreshCaption();
    _volume->setFixedWidth(_fullScreen ? w * 150 / 1920 : 206);
    _speed->setFixedWidth(_fullScreen ? w * 220 / 1920 : 220);
    _speedSpacer->changeSize(_fullScreen ? 0 : 20, 0,
                             _fullScreen ? QSizePolicy::Expanding : QSizePolicy::Fixed,
                             QSizePolicy::Fixed);
    layout()->invalidate();
}
