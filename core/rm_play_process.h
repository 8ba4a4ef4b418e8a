#pragma once

#include <QObject>
#include <QPointer>

#include "app/rm_play_event.h"

class RMVideoItem;

// Hands a newly selected recording to the player once the previous one has
// stopped: selecting stops the player, and its PE_STOPPED starts the load of
// the pending recording 20 ms later. While a recording is being switched in,
// bProcessing is set, and the list's next and previous wait for it.
class RMPlayProcess : public QObject {
    Q_OBJECT
public:
    static RMPlayProcess* instance();

    // Connects the list view's listSelected(RMVideoItem*) (once) and forgets
    // the pending recording.
    void connectEvents(QObject* videoList);
    RMVideoItem* pendingItem() const { return _pending.data(); }

    static bool bProcessing;

public Q_SLOTS:
    void onVideoLoadingStart(RMVideoItem* item);
    void onPlayEvent(PLAY_EVENT event, RMVideoItem* item);
    void onStartNext();
    void onInfoLoadingEnd();

private:
    RMPlayProcess() = default;

    // The list owns the recording and may free it before it is loaded.
    QPointer<RMVideoItem> _pending;
    static bool _connected;
};
