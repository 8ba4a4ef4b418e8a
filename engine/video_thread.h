#pragma once

#include <atomic>
#include <memory>
#include <thread>

#include "engine/playback_context.h"

class AVClock;
class OutputSet;
struct AVFrame;

// Decodes the video packets of one player and presents each frame when the
// master clock reaches its timestamp. Runs from play to stop.
//
// Stated drop policy: with a skip count of 0 every decoded frame is shown,
// late ones at once. With a skip count N > 0 a frame counter advances by one
// (modulo N) for every decoded frame after the first of a run, and a frame that
// is already late against the clock is shown only when the counter is 0; frames
// on time are always shown. After a seek, frames before the target are decoded
// and dropped, and the frame at the target is shown at once, also while paused.
class VideoThread {
public:
    VideoThread(std::shared_ptr<PlaybackContext> context, std::unique_ptr<Decoder> decoder,
                AVClock* clock, OutputSet* outputs);
    // Joins; abort the context first.
    ~VideoThread();

    void start();
    void join();

    // The process-wide skip count shared by every player (0: show every frame).
    static void setSkipCount(int count);
    static int skipCount();

private:
    void run();
    // False when the thread must end.
    bool decode(const AVPacket* packet);
    bool handleFrame(AVFrame* frame);
    void newSerial(int serial);
    void finishStream();
    StreamWait waitUntil(double seconds);
    void present(AVFrame* frame, double pts);
    void finishSeek(AVFrame* frame, double pts);
    double frameDuration() const;

    static std::atomic<int> skipCount_;  // written by the GUI thread, read by every video thread

    const std::shared_ptr<PlaybackContext> context_;
    const std::unique_ptr<Decoder> decoder_;
    AVClock* const clock_;
    OutputSet* const outputs_;
    std::thread thread_;

    // Owned by the video thread.
    AVFrame* frame_ = nullptr;
    AVFrame* seekCandidate_ = nullptr;  // last frame dropped on the way to a seek target
    bool hasCandidate_ = false;
    double candidatePts_ = 0;
    int serial_ = -1;
    SeekTarget seek_;
    double lastDecodedPts_ = -1;
    double lastShownPts_ = -1;
    bool firstFrameNotified_ = false;
    bool firstDecoded_ = false;
    int frameCounter_ = 0;
};
