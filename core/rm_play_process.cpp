#include "core/rm_play_process.h"

#include <QTimer>

#include "core/rm_player.h"
#include "recordings/rm_video_file_list.h"
#include "recordings/rm_video_item_2ch.h"

namespace {
constexpr int kLoadDelayMs = 20;
}  // namespace

bool RMPlayProcess::bProcessing = false;
bool RMPlayProcess::_connected = false;

RMPlayProcess* RMPlayProcess::instance() {
    static RMPlayProcess* process = [] {
        auto* created = new RMPlayProcess;
        // Next and previous wait while a recording is switched in.
        RMVideoFileList::instance()->setBusyCheck([] { return RMPlayProcess::bProcessing; });
        return created;
    }();
    return process;
}

void RMPlayProcess::connectEvents(QObject* videoList) {
    _pending = nullptr;
    if (_connected) {
        return;
    }
    _connected = true;
    connect(videoList, SIGNAL(listSelected(RMVideoItem*)), this,
            SLOT(onVideoLoadingStart(RMVideoItem*)));
    connect(RMPlayer::instance(), SIGNAL(playEvent(PLAY_EVENT, RMVideoItem*)), this,
            SLOT(onPlayEvent(PLAY_EVENT, RMVideoItem*)));
}

void RMPlayProcess::onVideoLoadingStart(RMVideoItem* item) {
    bProcessing = true;
    _pending = item;
    RMPlayer::instance()->stop();
}

void RMPlayProcess::onPlayEvent(PLAY_EVENT event, RMVideoItem*) {
    switch (event) {
        case PE_STOPPED:
            if (!_pending.isNull()) {
                QTimer::singleShot(1, this, SLOT(onStartNext()));
            } else {
                // A stop during a load leaves nothing to switch in.
                bProcessing = false;
            }
            break;
        case PE_USER_STOP:
            _pending = nullptr;
            bProcessing = false;
            break;
        case PE_STARTED:
            bProcessing = false;
            break;
        default:
            break;
    }
}

void RMPlayProcess::onStartNext() {
    QTimer::singleShot(kLoadDelayMs, this, [this] {
        RMVideoItem* item = _pending.data();
        _pending = nullptr;
        if (item == nullptr) {
            bProcessing = false;
            return;
        }
        RMPlayer::instance()->onLoad(item);
    });
}

void RMPlayProcess::onInfoLoadingEnd() {
    auto* item = qobject_cast<RMVideoItem*>(sender());
    if (item == nullptr) {
        return;
    }
    disconnect(item, SIGNAL(loadAVIInfoEnd()), this, SLOT(onInfoLoadingEnd()));
    RMPlayer::instance()->onLoad(item);
}
