#include "ui/rm_frame_video_main.h"

#include <QLabel>

#include "core/rm_player.h"
#include "recordings/rm_video_item_2ch.h"

namespace {
constexpr int kHeight = 410;
}  // namespace

RMFrameVideoMain::RMFrameVideoMain(QWidget* parent)
    : RMFrameVideoBase(parent, true, "top_border", true) {
    setFixedHeight(kHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    _insetRect = QRect(QPoint(18, 17), QPoint(183, 110));
    setVideoWidget(RMPlayer::instance()->mainVideoWidget());
}

void RMFrameVideoMain::onPlayEvent(PLAY_EVENT event, RMVideoItem* item) {
    RMFrameVideoBase::onPlayEvent(event, item);
    // In full screen only the large pane shows: a recording with one file
    // must not leave it on the blank channel.
    RMPlayer* player = RMPlayer::instance();
    if (event == PE_STARTED && item != nullptr && _fullScreen && player->isSwapped() &&
        (item->rearPath.isEmpty() || item->frontPath.isEmpty())) {
        player->toggleSwap(true);
    }
}

void RMFrameVideoMain::onAppEvent(RMApp::Event event) {
    RMFrameVideoBase::onAppEvent(event);
    if (event != RMApp::EVENT_FULLSCREEN_ENTERING && event != RMApp::EVENT_FULLSCREEN_LEAVING) {
        return;
    }
    _fullScreen = event == RMApp::EVENT_FULLSCREEN_ENTERING;
    titleLabel()->setVisible(!_fullScreen);
    if (_fullScreen) {
        setMinimumHeight(0);
        setMaximumHeight(QWIDGETSIZE_MAX);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    } else {
        setFixedHeight(kHeight);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }
    refreshPIP();
}
