#pragma once

#include "ui/rm_frame_video_base.h"

// The large video pane, built for the front camera.
class RMFrameVideoMain : public RMFrameVideoBase {
    Q_OBJECT
public:
    explicit RMFrameVideoMain(QWidget* parent);

public Q_SLOTS:
    void onPlayEvent(PLAY_EVENT event, RMVideoItem* item) override;
    void onAppEvent(RMApp::Event event) override;
};
