#pragma once

#include "app/rm_language.h"
#include "app/rm_play_event.h"
#include "widgets/rm_widget_style_base.h"

class QHBoxLayout;
class RMButton;
class RMVideoItem;

// The camera-choice bar of full screen: which camera the large pane shows.
// In full screen the slider bar and the button bar join it.
class RMFrameBottom : public RMWidgetStyleBase {
    Q_OBJECT
public:
    explicit RMFrameBottom(QWidget* parent);

    QHBoxLayout* barLayout() const { return _layout; }
    RMButton* frontButton() const { return _frontButton; }
    RMButton* rearButton() const { return _rearButton; }
    void updateSwapStatus();

public Q_SLOTS:
    void onAppEvent(RMApp::Event event) override;
    void onPlayEvent(PLAY_EVENT event, RMVideoItem* item);
    void onLanguageChange(RMLanguage::LANGUAGE_TYPE language);

private:
    QHBoxLayout* _layout;
    RMButton* _frontButton;
    RMButton* _rearButton;
    bool _hasFront = true;
    bool _hasRear = true;
};
