#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "engine/frame_queue.h"
#include "engine/playback_context.h"

class AVClock;
class OutputSet;
struct AVFrame;

// Decodes the video packets of one player and presents each frame when the
// master clock reaches its timestamp. Runs from the load to the stop, on two
// threads: one decodes into a short queue of pictures (kQueuedPictures), the
// other presents them, so decoding runs a few pictures ahead of the clock and
// one costly picture (a key frame) does not come out after its time. Before
// playback starts both fill up and the first picture is held (preroll).
//
// Stated drop policy: with a skip count of 0 every decoded frame is shown,
// late ones at once. With a skip count N > 0 a frame counter advances by one
// (modulo N) for every decoded frame after the first of a run, and a frame that
// is overdue (the clock has passed its time and the next frame's) is shown
// only when the counter is 0; frames on time, or late within their own time,
// are always shown. After a seek, frames before the target are decoded
// and dropped, and the frame at the target is shown at once, also while paused.
// A frame whose serial is no longer the queue's (a newer seek came in) is never
// shown, and a superseded seek neither shows its landing nor moves the clock.
//
// Stated catch-up policy: dropping decoded frames cannot help when decoding
// itself is slower than the clock (high speed, weak machine), so the thread
// also stops decoding what it cannot show in time. When the newest decoded
// frame is more than kNonRefBehind frame intervals of media time behind the
// clock, frames nothing refers to are not decoded; beyond kKeyOnlyBehind only
// key frames are. It decodes everything again once it is less than one frame
// interval behind, or, while only key frames are decoded, at a key frame no
// more than kNonRefBehind intervals behind (earlier pictures would miss their
// references). A seek landing always decodes every frame.
//
// Above normal speed there is no skipping of non-reference frames: a thread
// behind decodes on (a short hold-up is caught up, as decoding is faster than
// the clock where the speed is within reach), and one more than
// kKeyOnlyBehind intervals behind that falls further behind, or does not
// catch up within kGiveUpAfter, gives up on every picture at that speed, for
// every player of the process: from then
// on all of them decode key frames only, ahead of time, and show each one
// when it is due, until the speed drops below it or a new playback starts.
// Players on one clock thus show the same pictures at the same moments,
// instead of each showing late pictures of its own (falling behind, catching
// up at a key frame, falling behind again).
class VideoThread {
public:
    VideoThread(std::shared_ptr<PlaybackContext> context, std::unique_ptr<Decoder> decoder,
                AVClock* clock, OutputSet* outputs);
    // Joins; abort the context first.
    ~VideoThread();

    void start();
    void join();

    // Pictures decoded ahead of the one being presented (one while paused).
    static constexpr int kQueuedPictures = 3;

    // The process-wide skip count shared by every player (0: show every frame).
    static void setSkipCount(int count);
    static int skipCount();

private:
    // The decoding side.
    void run();
    // False when the thread must end.
    bool decode(const AVPacket* packet);
    bool handleFrame(AVFrame* frame);
    // Chooses what the decoder skips before the packet goes in.
    void catchUp(const AVPacket* packet);
    void setCatchUp(int mode);
    // Above normal speed: whether a thread `behind` frame intervals is too
    // far behind, or has been far behind too long, to catch up.
    bool cannotCatchUp(double behind);
    // Skips the in-loop deblocking filter above normal speed, where pictures
    // pass too quickly for its absence to be seen and decoding costs less.
    void chooseLoopFilter(const AVPacket* packet);
    void newSerial(int serial);
    // Hands the seek's landing (`frame`, if any) to the presenting side.
    bool queueLanding(AVFrame* frame, double pts, double landing);
    // At the end of the stream: the landing of a seek beyond the last
    // picture, then the end. False when the thread must end.
    bool finishDecoding();
    // Queues a copy of the item holding what `frame` (if any) referred to;
    // `frame` is left empty.
    bool queue(QueuedFrame item, AVFrame* frame);

    // The presenting side.
    void presentLoop();
    bool handleQueued(QueuedFrame& item);
    bool showWhenDue(AVFrame* frame, double pts, int serial);
    // Shows the landing (if any), moves the clock to it and reports it, then
    // waits until the other streams landed; the decoding side may then judge
    // its lateness by the clock again.
    bool land(const QueuedFrame& item);
    bool showLanding(const QueuedFrame& item);
    void finishStream(const QueuedFrame& item);
    StreamWait waitUntil(double seconds, int serial);
    // False when the frame is stale (a newer seek) and was not shown.
    bool present(AVFrame* frame, double pts, int serial);

    double frameDuration() const;

    static std::atomic<int> skipCount_;  // written by the GUI thread, read by every video thread
    // The speed (in thousandths) at which a video thread fell behind beyond
    // catching up, 0: none; shared by every video thread.
    static std::atomic<int> keyOnlySpeed_;
    // Whether pictures other than key frames are given up at `speed`.
    static bool keyFramesOnly(int speed);

    const std::shared_ptr<PlaybackContext> context_;
    const std::unique_ptr<Decoder> decoder_;
    AVClock* const clock_;
    OutputSet* const outputs_;
    std::thread thread_;
    std::thread presenter_;
    FrameQueue frames_;

    // Owned by the decoding thread.
    AVFrame* frame_ = nullptr;
    AVFrame* seekCandidate_ = nullptr;  // last frame dropped on the way to a seek target
    bool hasCandidate_ = false;
    double candidatePts_ = 0;
    int serial_ = -1;
    SeekTarget seek_;
    double lastDecodedPts_ = -1;
    int catchUp_ = 0;  // 0 decode all, 1 skip non-reference frames, 2 key frames only
    bool skipLoopFilter_ = false;
    // More than kKeyOnlyBehind behind, since farBehindSince_, by farBehindBy_
    // intervals then.
    bool farBehind_ = false;
    std::chrono::steady_clock::time_point farBehindSince_;
    double farBehindBy_ = 0;
    bool prerolled_ = false;  // the first item was queued and reported

    // Written by the presenting thread; the decoding one reads it for a seek
    // beyond the last picture.
    std::atomic<double> lastShownPts_{-1};
    // The serial whose seek landing is queued and the clock not yet moved
    // to it (-1: none): set by the decoding thread, cleared by the
    // presenting one.
    std::atomic<int> landingSerial_{-1};
    // Owned by the presenting thread.
    bool firstFrameNotified_ = false;
    bool firstDecoded_ = false;
    int frameCounter_ = 0;
};
