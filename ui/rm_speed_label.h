#pragma once

#include <QPointer>

#include "app/rm_language.h"
#include "app/rm_play_event.h"
#include "recordings/rm_video_item_2ch.h"
#include "widgets/rm_widget_style_base.h"

class QLabel;
class RMSensorData;
class RMVideoItem;

// The GPS speed of the moment being played, as a seven-segment number with
// its unit. A click switches the unit between km/h and mph for the whole
// application (RMApp::isMPH) and announces it with speedUnitChange().
class RMSpeedLabel : public RMWidgetStyleBase {
    Q_OBJECT
public:
    explicit RMSpeedLabel(QWidget* parent);

    // Speeds from this value on (in the shown unit) read "--".
    static constexpr double kLimit = 500.0;
    static constexpr double kMilesPerKm = 0.621371;

    // The text shown for a speed in km/h (-1: none) in the current unit.
    static QString speedText(double speedKmh);

    QLabel* lcd() const { return _lcd; }
    QLabel* unitLabel() const { return _unit; }
    double speed() const { return _speed; }

Q_SIGNALS:
    void speedUnitChange();

public Q_SLOTS:
    void onPositionChanged(qint64 position, qint64 duration);
    void onPlayEvent(PLAY_EVENT event, RMVideoItem* item);
    void onLanguageChange(RMLanguage::LANGUAGE_TYPE language);
    void onSpeednUnit();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void refreshSpeed();
    void _setLook(const char* name);

    QLabel* _lcd;
    QLabel* _unit;
    double _speed = -1.0;  // km/h, -1 = none
    // The playing recording's samples; the recording owns them.
    // The samples belong to the recording, which the list may free at any
    // reload: they are read only while the recording lives.
    const RMSensorData* _sensor() const { return _item.isNull() ? nullptr : _data; }
    QPointer<RMVideoItem> _item;
    const RMSensorData* _data = nullptr;
};
