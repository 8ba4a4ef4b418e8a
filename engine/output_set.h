#pragma once

#include <QList>
#include <mutex>

#include "engine/video_frame.h"

class VideoRenderer;

// The video outputs of one player and the frame it displayed last. The GUI
// thread changes the list; the video thread delivers frames while holding the
// lock, so once remove() has returned the removed renderer is never touched
// again and may be deleted.
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
    mutable std::mutex mutex_;
    QList<VideoRenderer*> outputs_;  // guarded by mutex_
    VideoFrame displayed_;           // guarded by mutex_
};
