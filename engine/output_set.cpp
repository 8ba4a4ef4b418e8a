#include "engine/output_set.h"

#include "engine/video_renderer.h"

void OutputSet::add(VideoRenderer* renderer) {
    if (renderer == nullptr) {
        return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (!outputs_.contains(renderer)) {
        outputs_.append(renderer);
    }
}

void OutputSet::remove(VideoRenderer* renderer) {
    std::lock_guard<std::mutex> lock(mutex_);
    outputs_.removeAll(renderer);
}

void OutputSet::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    outputs_.clear();
}

QList<VideoRenderer*> OutputSet::outputs() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return outputs_;
}

void OutputSet::deliver(const VideoFrame& frame) {
    std::lock_guard<std::mutex> lock(mutex_);
    displayed_ = frame;
    for (VideoRenderer* renderer : outputs_) {
        renderer->receive(frame);
    }
}

void OutputSet::blank() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (VideoRenderer* renderer : outputs_) {
        renderer->receive(VideoFrame());
    }
}

VideoFrame OutputSet::displayedFrame() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return displayed_;
}

void OutputSet::forgetDisplayedFrame() {
    std::lock_guard<std::mutex> lock(mutex_);
    displayed_ = VideoFrame();
}
