#pragma once

#include "app/rm_language.h"
#include "app/rm_play_event.h"
#include "widgets/rm_widget_style_base.h"

class QLabel;
class QSpacerItem;
class RMButton;
class RMPlaySlider;
class RMReleasedSlider;
class RMSlider;
class RMVideoItem;

// The slider bar under the video: position slider with its times, speed
// slider, mute button and volume slider. It hands its controls to the player
// and follows its state and position.
class RMFrameSlider : public RMWidgetStyleBase {
    Q_OBJECT
public:
    explicit RMFrameSlider(QWidget* parent);

    RMPlaySlider* playSlider() const { return _playSlider; }
    RMSlider* positionSlider() const;
    RMReleasedSlider* speedSlider() const { return _speed; }
    RMSlider* volumeSlider() const { return _volume; }
    RMButton* muteButton() const { return _mute; }

public Q_SLOTS:
    void onPositionChanged(qint64 position, qint64 duration);
    void onPlayEvent(PLAY_EVENT event, RMVideoItem* item);
    void onEnableSliderDelay();
    void onAppEvent(RMApp::Event event) override;
    void onLanguageChange(RMLanguage::LANGUAGE_TYPE language);

private:
    void _refreshCaption();
    void _setTimes(const QString& current, const QString& total);
    void _setMuteTooltip(bool muted);

    QLabel* _caption;
    RMPlaySlider* _playSlider;
    RMReleasedSlider* _speed;
    QSpacerItem* _speedSpacer;
    RMButton* _mute;
    RMSlider* _volume;
    bool _fullScreen = false;
    double _durationMs = 0;
};
