#include "engine/media_reaper.h"

#include "engine/audio_thread.h"
#include "engine/demux_thread.h"
#include "engine/playback_context.h"
#include "engine/thread_name.h"
#include "engine/video_thread.h"

MediaReaper::~MediaReaper() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void MediaReaper::retire(RetiredMedia media) {
    if (media.context == nullptr) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(media));
    }
    changed_.notify_all();
    if (!thread_.joinable()) {
        thread_ = std::thread([this] { run(); });
    }
}

void MediaReaper::waitForAll() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return queue_.empty() && !busy_; });
}

void MediaReaper::run() {
    nameThisThread("orvin-reaper");
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return quit_ || !queue_.empty(); });
        if (queue_.empty()) {
            return;  // quit, and nothing is left to join
        }
        RetiredMedia media = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        lock.unlock();
        // The decoding threads first: they may be waiting for packets.
        media.video.reset();
        media.audio.reset();
        media.demux.reset();
        media.context.reset();
        lock.lock();
        busy_ = false;
        changed_.notify_all();
    }
}
