#include "engine/null_renderer.h"

void NullRenderer::onFrameReceived(const VideoFrame& frame, bool) {
    // Nothing paints here, so the frame is taken at once.
    takeFrameForPaint();
    if (frame.isValid()) {
        frames_.fetch_add(1);
    }
    if (callback_) {
        callback_(frame);
    }
}
