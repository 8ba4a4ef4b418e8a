#include "app/rm_screen_saver_inhibitor.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QtDebug>

const char* const RMScreenSaverInhibitor::kService = "org.freedesktop.ScreenSaver";
const char* const RMScreenSaverInhibitor::kPath = "/org/freedesktop/ScreenSaver";
const char* const RMScreenSaverInhibitor::kInterface = "org.freedesktop.ScreenSaver";

namespace {
const char kReason[] = "Playing a recording";
}  // namespace

RMScreenSaverInhibitor::RMScreenSaverInhibitor(QObject* parent, const QDBusConnection& bus)
    : QObject(parent), _bus(bus) {}

RMScreenSaverInhibitor::~RMScreenSaverInhibitor() {
    setPlaying(false);
}

void RMScreenSaverInhibitor::setPlaying(bool playing) {
    _wanted = playing;
    if (playing && _cookie == 0 && !_waiting) {
        _inhibit();
    } else if (!playing && _cookie != 0) {
        _release();
    }
}

void RMScreenSaverInhibitor::onPlayEvent(PLAY_EVENT event) {
    if (event == PE_PLAYING) {
        setPlaying(true);
    } else if (event == PE_PAUSED || event == PE_STOPPED || event == PE_USER_STOP) {
        setPlaying(false);
    }
}

void RMScreenSaverInhibitor::_inhibit() {
    if (!_bus.isConnected()) {
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, "Inhibit");
    // A desktop without the service must not start one for us.
    call.setAutoStartService(false);
    call << QCoreApplication::applicationName() << QString(kReason);
    _waiting = true;
    auto* watcher = new QDBusPendingCallWatcher(_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            &RMScreenSaverInhibitor::_onInhibitReply);
}

void RMScreenSaverInhibitor::_onInhibitReply(QDBusPendingCallWatcher* watcher) {
    watcher->deleteLater();
    _waiting = false;
    const QDBusPendingReply<uint> reply = *watcher;
    if (reply.isError()) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "no screen saver service:" << reply.error().name();
        return;
    }
    _cookie = reply.value();
    qInfo() << Q_FUNC_INFO << __LINE__ << "screen saver held off, cookie" << _cookie;
    // Playback may have stopped, or stopped and started again, meanwhile.
    if (!_wanted) {
        _release();
    }
}

void RMScreenSaverInhibitor::_release() {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, "UnInhibit");
    call.setAutoStartService(false);
    call << _cookie;
    // No answer is needed; the call is queued on the connection.
    _bus.send(call);
    qInfo() << Q_FUNC_INFO << __LINE__ << "screen saver released, cookie" << _cookie;
    _cookie = 0;
}
