#include "engine/frame_queue.h"

extern "C" {
#include <libavutil/frame.h>
}

FrameQueue::~FrameQueue() {
    for (QueuedFrame& item : items_) {
        av_frame_free(&item.frame);
    }
}

bool FrameQueue::push(QueuedFrame* item, int capacity) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return aborted_ || int(items_.size()) < capacity; });
    if (aborted_) {
        return false;
    }
    items_.push_back(*item);
    item->frame = nullptr;
    changed_.notify_all();
    return true;
}

bool FrameQueue::pop(QueuedFrame* out) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return aborted_ || !items_.empty(); });
    if (aborted_) {
        return false;
    }
    *out = items_.front();
    items_.pop_front();
    changed_.notify_all();
    return true;
}

void FrameQueue::abort() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        aborted_ = true;
    }
    changed_.notify_all();
}
