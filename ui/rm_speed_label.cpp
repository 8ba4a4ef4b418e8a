#include "ui/rm_speed_label.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QStyle>
#include <QVBoxLayout>

#include "core/rm_player.h"
#include "recordings/rm_sensor_data.h"
#include "recordings/rm_video_item_2ch.h"

namespace {
const char* const kNormalLook = "all_border_dark";
const char* const kPressedLook = "all_border_dark_pressed";
const int kUnitMargin = 6;
}  // namespace

RMSpeedLabel::RMSpeedLabel(QWidget* parent) : RMWidgetStyleBase(parent, kNormalLook, false) {
    setFixedSize(125, 68);
    auto* layout = new QHBoxLayout(this);
    layout->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // The unit keeps a few pixels off the right border.
    layout->setContentsMargins(1, 5, kUnitMargin, 1);
    layout->setSpacing(0);
    _lcd = new QLabel(this);
    _lcd->setObjectName("LCD");
    _lcd->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    layout->addWidget(_lcd);

    auto* unitBox = new QWidget(this);
    // 36 px, or what the unit needs in the face the system has for Arial.
    unitBox->setMinimumWidth(36);
    unitBox->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Preferred);
    auto* unitLayout = new QVBoxLayout(unitBox);
    unitLayout->setContentsMargins(0, 0, 0, 5);
    unitLayout->setSpacing(0);
    unitLayout->setAlignment(Qt::AlignBottom);
    _unit = new QLabel(unitBox);
    _unit->setObjectName("kmh_label");
    unitLayout->addWidget(_unit);
    layout->addWidget(unitBox);

    RMPlayer* player = RMPlayer::instance();
    connect(player, SIGNAL(positionChanged(qint64, qint64)), this,
            SLOT(onPositionChanged(qint64, qint64)));
    connect(player, SIGNAL(playEvent(PLAY_EVENT, RMVideoItem*)), this,
            SLOT(onPlayEvent(PLAY_EVENT, RMVideoItem*)));
    RMLanguage* language = RMLanguage::instance();
    connect(language, SIGNAL(languageChange(RMLanguage::LANGUAGE_TYPE)), this,
            SLOT(onLanguageChange(RMLanguage::LANGUAGE_TYPE)));
    RMApp::isMPH = !language->isJapanese();
    _unit->setText(RMApp::isMPH ? "mph" : "km/h");
}

QString RMSpeedLabel::speedText(double speedKmh) {
    const double shown = RMApp::isMPH ? speedKmh * kMilesPerKm : speedKmh;
    if (shown >= 0.0 && shown < kLimit) {
        return QString::asprintf("%d", int(shown));
    }
    return QStringLiteral("--");
}

void RMSpeedLabel::refreshSpeed() {
    _lcd->setText(speedText(_speed));
}

void RMSpeedLabel::onPositionChanged(qint64 position, qint64 duration) {
    // Without a length there is no position to look up.
    if (!_sensor() || duration <= 0) {
        return;
    }
    const RMGPSSample* sample = _sensor()->gpsAt(position, duration);
    _speed = sample ? sample->speed : -1.0;
    refreshSpeed();
}

void RMSpeedLabel::onPlayEvent(PLAY_EVENT event, RMVideoItem* item) {
    if (event == PE_STARTED) {
        _speed = -1.0;
        const RMSensorData* data = item ? item->sensorData : nullptr;
        _item = item;
        _data = data && data->hasGPS && data->gpsCount > 0 ? data : nullptr;
        if (!_sensor()) {
            refreshSpeed();
        }
    } else if (event == PE_STOPPED) {
        _speed = -1.0;
        _item = nullptr;
        _data = nullptr;
    } else if (event == PE_USER_STOP) {
        _lcd->clear();
    }
}

void RMSpeedLabel::onLanguageChange(RMLanguage::LANGUAGE_TYPE language) {
    RMApp::isMPH = language != RMLanguage::LANGUAGE_JAPANESE;
    _unit->setText(RMApp::isMPH ? "mph" : "km/h");
    refreshSpeed();
    Q_EMIT speedUnitChange();
}

void RMSpeedLabel::onSpeednUnit() {
    RMApp::isMPH = !RMApp::isMPH;
    _unit->setText(RMApp::isMPH ? "mph" : "km/h");
    Q_EMIT speedUnitChange();
}

void RMSpeedLabel::_setLook(const char* name) {
    setObjectName(name);
    style()->unpolish(this);
    style()->polish(this);
    repaint();
}

void RMSpeedLabel::mousePressEvent(QMouseEvent* event) {
    _setLook(kPressedLook);
    event->accept();
}

void RMSpeedLabel::mouseReleaseEvent(QMouseEvent* event) {
    _setLook(kNormalLook);
    event->accept();
    onSpeednUnit();
}
