#pragma once

#include <atomic>
#include <functional>

#include "engine/video_renderer.h"

// An output that draws nowhere: it keeps the newest frame, counts the frames
// it received and can hand each one to a callback (on the receiving thread).
// For tests, benchmarks and players whose pictures nobody watches.
class NullRenderer : public VideoRenderer {
public:
    using Callback = std::function<void(const VideoFrame&)>;

    NullRenderer() = default;
    explicit NullRenderer(Callback callback) : callback_(std::move(callback)) {}

    VideoRendererId id() const override { return VideoRendererId_Null; }
    // Valid frames received so far.
    int frameCount() const { return frames_.load(); }

protected:
    void onFrameReceived(const VideoFrame& frame, bool update) override;

private:
    const Callback callback_;  // set at construction, then only called
    std::atomic<int> frames_{0};
};
