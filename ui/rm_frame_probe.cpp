#include "ui/rm_frame_probe.h"

#include <QWidget>

#include "core/rm_player.h"
#include "engine/video_frame.h"
#include "engine/video_renderer.h"

namespace {

QByteArray stamp(const VideoRenderer* renderer) {
    const VideoFrame frame = renderer != nullptr ? renderer->currentFrame() : VideoFrame();
    return frame.isValid() ? QByteArray::number(frame.timestamp(), 'f', 4) : QByteArray("-");
}

// Where a pane's picture is on the screen, as x,y,width,height; "-" when
// it is not shown.
QByteArray onScreen(QWidget* widget) {
    if (widget == nullptr || !widget->isVisible()) {
        return "-";
    }
    const QPoint at = widget->mapToGlobal(QPoint(0, 0));
    return QByteArray::number(at.x()) + ',' + QByteArray::number(at.y()) + ',' +
           QByteArray::number(widget->width()) + ',' + QByteArray::number(widget->height());
}

}  // namespace

RMFrameProbe::RMFrameProbe(QWidget* window, const QString& path)
    : QObject(window), _window(window), _file(path) {
    if (!_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        return;
    }
    startTimer(100);
}

void RMFrameProbe::installFromEnvironment(QWidget* window) {
    const QString path = qEnvironmentVariable("ORVIN_FRAME_PROBE");
    if (!path.isEmpty()) {
        new RMFrameProbe(window, path);
    }
}

void RMFrameProbe::timerEvent(QTimerEvent*) {
    RMPlayer* player = RMPlayer::instance();
    const QByteArray mode = _window->isFullScreen() ? "full" : "normal";
    _file.write(mode + ' ' + stamp(player->mainRenderer()) + ' ' + stamp(player->subRenderer()) +
                ' ' + onScreen(player->mainVideoWidget()) + ' ' +
                onScreen(player->subVideoWidget()) + '\n');
}
