#include "core/rm_player_zoom.h"

#include <QtDebug>
#include <algorithm>
#include <cmath>

#include "engine/av_player.h"
#include "engine/video_frame.h"
#include "engine/video_renderer.h"
#include "engine/video_renderer_factory.h"

namespace {

// The zoomed window is half the picture's width and height.
constexpr qreal kZoomSize = 0.5;
constexpr qreal kZoomStart = 0.25;
constexpr qreal kOverviewRatio = 16.0 / 9.0;

// Cuts to two decimals, so tiny drags do not move the picture.
qreal twoDecimals(float value) {
    return std::trunc(double(value) * 100.0) / 100.0;
}

}  // namespace

RMPlayerZoom::RMPlayerZoom(QObject* parent) : RMPlayerBase(parent) {}

RMPlayerZoom::~RMPlayerZoom() {
    stopZoom(true);
    stopZoom(false);
}

bool RMPlayerZoom::isZoomed(bool main) const {
    return (main ? _mainZoomed : _subZoomed) != nullptr;
}

QWidget* RMPlayerZoom::startZoom(bool main) {
    AVPlayer* player = playerInPane(main);
    const QList<VideoRenderer*> outputs = player->videoOutputs();
    if (outputs.isEmpty()) {
        qInfo() << "NO OUTPUTS"
                << "startZoom";
        return nullptr;
    }
    VideoRenderer*& zoomed = main ? _mainZoomed : _subZoomed;
    VideoRenderer*& overview = main ? _mainZoomRenderer : _subZoomRenderer;
    zoomed = outputs.first();
    zoomed->setRegionOfInterest(kZoomStart, kZoomStart, kZoomSize, kZoomSize);
    if (overview == nullptr) {
        overview = VideoRendererFactory::create(VideoRendererId(_rendererId));
        if (overview == nullptr) {
            return nullptr;
        }
        overview->setOutAspectRatio(kOverviewRatio);
        player->addVideoRenderer(overview);
    }
    // A paused player draws nothing new by itself; a seek to where it stands
    // gives the new output its picture.
    if (player->isLoaded() && player->isPaused()) {
        player->seek(std::min(player->position(), player->duration()));
    }
    return overview->widget();
}

bool RMPlayerZoom::updateZoom(float x, float y, bool main) {
    VideoRenderer* zoomed = main ? _mainZoomed : _subZoomed;
    if (zoomed == nullptr) {
        return false;
    }
    zoomed->setRegionOfInterest(twoDecimals(x), twoDecimals(y), kZoomSize, kZoomSize);
    return true;
}

void RMPlayerZoom::stopZoom(bool main) {
    VideoRenderer*& zoomed = main ? _mainZoomed : _subZoomed;
    VideoRenderer*& overview = main ? _mainZoomRenderer : _subZoomRenderer;
    if (zoomed != nullptr) {
        zoomed->setRegionOfInterest(QRectF());
    }
    if (overview != nullptr) {
        // After removal no video thread touches the renderer any more.
        _front->removeVideoRenderer(overview);
        _rear->removeVideoRenderer(overview);
        delete overview;
    }
    overview = nullptr;
    zoomed = nullptr;
}

void RMPlayerZoom::clearScreen(bool front) {
    // The pane this player draws in, and that pane's overview.
    const bool main = front == frontInMain();
    VideoRenderer* renderer = main ? _mainRenderer : _subRenderer;
    if (renderer != nullptr) {
        renderer->receive(VideoFrame());
    }
    VideoRenderer* zoom = main ? _mainZoomRenderer : _subZoomRenderer;
    if (zoom != nullptr) {
        zoom->receive(VideoFrame());
    }
}
