#pragma once

#include <QDBusConnection>
#include <QObject>

#include "app/rm_play_event.h"

class QDBusPendingCallWatcher;

// Keeps the desktop's screen saver off while a recording plays, through the
// org.freedesktop.ScreenSaver service of the session bus: Inhibit when
// playback runs, UnInhibit when it pauses or stops and when the viewer
// quits. Without a session bus or such a service nothing happens. Calls
// never wait: the cookie comes back asynchronously, and a release asked for
// before it arrived is carried out when it does.
class RMScreenSaverInhibitor : public QObject {
    Q_OBJECT
public:
    explicit RMScreenSaverInhibitor(QObject* parent,
                                    const QDBusConnection& bus = QDBusConnection::sessionBus());
    ~RMScreenSaverInhibitor() override;

    static const char* const kService;
    static const char* const kPath;
    static const char* const kInterface;

    // Playback runs (true) or not (false).
    void setPlaying(bool playing);
    // Playing holds the screen saver off; a pause or a stop lets it go.
    void onPlayEvent(PLAY_EVENT event);
    // The screen saver is held off now (a cookie is held).
    bool isInhibited() const { return _cookie != 0; }

private:
    void _inhibit();
    void _release();
    void _onInhibitReply(QDBusPendingCallWatcher* watcher);

    QDBusConnection _bus;
    // All on the GUI thread.
    bool _wanted = false;
    bool _waiting = false;
    uint _cookie = 0;
};
