#pragma once

#include "widgets/rm_widget_base.h"

class QSpacerItem;
class QVBoxLayout;
class RMFrameBottom;
class RMFrameGraph;
class RMFramePlay;
class RMFrameSlider;
class RMFrameVideoMain;

// Left column of the main window: the large video pane and, under it, the
// slider bar, the G-sensor graph and the button bar. In full screen the two
// bars move into the camera-choice bar at the bottom.
class RMFrameLeft : public RMWidgetBase {
    Q_OBJECT
public:
    explicit RMFrameLeft(QWidget* parent);

    RMFrameVideoMain* videoMain() const { return _videoMain; }
    RMFrameSlider* frameSlider() const { return _slider; }
    RMFrameGraph* frameGraph() const { return _graph; }
    RMFramePlay* framePlay() const { return _play; }
    RMFrameBottom* frameBottom() const { return _bottom; }

public Q_SLOTS:
    void onAppEvent(RMApp::Event event) override;

private:
    RMFrameVideoMain* _videoMain;
    RMFrameSlider* _slider;
    RMFrameGraph* _graph;
    RMFramePlay* _play;
    RMFrameBottom* _bottom;
    QVBoxLayout* _layout;
    int _sliderIndex = -1;
    int _playIndex = -1;
    QSpacerItem* _spacer;
};
