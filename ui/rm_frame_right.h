#pragma once

#include "widgets/rm_widget_base.h"

class QVBoxLayout;
class RMFrameList;
class RMFrameVideoSub;

// Right column of the main window: the small video pane above the list of
// recordings. Hidden in full screen.
class RMFrameRight : public RMWidgetBase {
    Q_OBJECT
public:
    explicit RMFrameRight(QWidget* parent);

    RMFrameList* frameList() const { return _frameList; }
    RMFrameVideoSub* videoSub() const { return _videoSub; }

public Q_SLOTS:
    void onAppEvent(RMApp::Event event) override;

private:
    RMFrameVideoSub* _videoSub;
    RMFrameList* _frameList;
    QVBoxLayout* _layout;
};
