#pragma once

#include "ui/rm_frame_video_base.h"

class RMButton;

// The small video pane, built for the rear camera, with the swap and map
// buttons under it.
class RMFrameVideoSub : public RMFrameVideoBase {
    Q_OBJECT
public:
    explicit RMFrameVideoSub(QWidget* parent);

    RMButton* swapButton() const { return _swap; }
    RMButton* mapButton() const { return _map; }

public Q_SLOTS:
    void onPlayEvent(PLAY_EVENT event, RMVideoItem* item) override;
    void onSwap();
    void onMap();
    void onButtonsLanguage(RMLanguage::LANGUAGE_TYPE language);

private:
    RMButton* _swap;
    RMButton* _map;
    // The swap button here swapped the channels; a user stop takes it back.
    bool _swappedHere = false;
};
