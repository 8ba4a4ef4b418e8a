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
    std::unique_lock<std::mutex> lock(mutex_);
    outputs_.removeAll(renderer);
    waitWhileBusy(lock, [renderer](const VideoRenderer* r) { return r == renderer; });
}

void OutputSet::clear() {
    std::unique_lock<std::mutex> lock(mutex_);
    outputs_.clear();
    waitWhileBusy(lock, [](const VideoRenderer*) { return true; });
}

void OutputSet::waitWhileBusy(std::unique_lock<std::mutex>& lock,
                              const std::function<bool(const VideoRenderer*)>& removed) {
    const std::thread::id self = std::this_thread::get_id();
    idle_.wait(lock, [&] {
        for (int i = 0; i < busy_.size(); ++i) {
            // A renderer that removes itself (or others) from inside a call
            // on this thread cannot be waited for; it is skipped afterwards.
            if (removed(busy_[i]) && busyThreads_[i] != self) {
                return false;
            }
        }
        return true;
    });
}

QList<VideoRenderer*> OutputSet::outputs() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return outputs_;
}

void OutputSet::handTo(const QList<VideoRenderer*>& renderers, const VideoFrame& frame) {
    const std::thread::id self = std::this_thread::get_id();
    for (VideoRenderer* renderer : renderers) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!outputs_.contains(renderer)) {
                continue;  // removed since the list was taken
            }
            busy_.append(renderer);
            busyThreads_.append(self);
        }
        renderer->receive(frame);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (int i = 0; i < busy_.size(); ++i) {
                if (busy_[i] == renderer && busyThreads_[i] == self) {
                    busy_.removeAt(i);
                    busyThreads_.removeAt(i);
                    break;
                }
            }
        }
        idle_.notify_all();
    }
}

void OutputSet::deliver(const VideoFrame& frame) {
    QList<VideoRenderer*> renderers;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        displayed_ = frame;
        renderers = outputs_;
    }
    handTo(renderers, frame);
}

void OutputSet::blank() {
    handTo(outputs(), VideoFrame());
}

VideoFrame OutputSet::displayedFrame() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return displayed_;
}

void OutputSet::forgetDisplayedFrame() {
    std::lock_guard<std::mutex> lock(mutex_);
    displayed_ = VideoFrame();
}
