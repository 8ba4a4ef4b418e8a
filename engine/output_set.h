#pragma once

#include <QList>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "engine/video_frame.h"

class VideoRenderer;

// The video outputs of one player and the frame it displayed last. The GUI
// thread changes the list; the video thread delivers frames. No lock is held
// while a renderer runs, so a renderer may ask the player for its outputs or
// its displayed frame from inside receive(). Removal is a handshake instead:
// remove() waits while another thread is inside the removed renderer, so once
// it has returned that renderer is never touched again and may be deleted.
// A renderer that removes itself from inside its own receive() is not waited
// for, and is not called again.
class OutputSet {
public:
    void add(VideoRenderer* renderer);
    void remove(VideoRenderer* renderer);
    void clear();
    QList<VideoRenderer*> outputs() const;

    // Hands the frame to every output and remembers it as the displayed one.
    void deliver(const VideoFrame& frame);
    // Blanks every output (the displayed frame is kept).
    void blank();
    VideoFrame displayedFrame() const;
    void forgetDisplayedFrame();

private:
    void handTo(const QList<VideoRenderer*>& renderers, const VideoFrame& frame);
    void waitWhileBusy(std::unique_lock<std::mutex>& lock,
                       const std::function<bool(const VideoRenderer*)>& removed);

    mutable std::mutex mutex_;
    std::condition_variable idle_;
    QList<VideoRenderer*> outputs_;  // guarded by mutex_
    VideoFrame displayed_;           // guarded by mutex_
    // The renderers being called right now and the threads calling them (the
    // video thread delivering, the GUI thread blanking); guarded by mutex_.
    QList<const VideoRenderer*> busy_;
    QList<std::thread::id> busyThreads_;
};
