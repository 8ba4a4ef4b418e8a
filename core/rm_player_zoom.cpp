#include "core/rm_player_zoom.h"

#include "engine/video_frame.h"
#include "engine/video_renderer.h"

void RMPlayerZoom::clearScreen(bool front) {
    // The front player draws on the main renderer unless exactly one of
    // swapped and rear-as-front holds.
    const bool frontInMain = _swapped == _rearAsFront;
    VideoRenderer* renderer = front == frontInMain ? _mainRenderer : _subRenderer;
    if (renderer != nullptr) {
        renderer->receive(VideoFrame());
    }
    VideoRenderer* zoom = front ? _mainZoomRenderer : _subZoomRenderer;
    if (zoom != nullptr) {
        zoom->receive(VideoFrame());
    }
}
