#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

struct AVFrame;

// What the decoding side of a video thread hands to its presenting side: a
// picture to show when it is due, the landing of a seek (shown at once), or
// the end of the stream.
struct QueuedFrame {
    enum Kind { Picture, Landing, End };
    Kind kind = Picture;
    AVFrame* frame = nullptr;  // owned by whoever holds the item; may be null but for pictures
    double pts = 0;            // absolute seconds
    int serial = 0;            // the seek the item belongs to
    uint64_t requestId = 0;    // Landing: the seek request
    double landing = 0;        // Landing: where the clock goes on from
    double lastDecoded = -1;   // End: the newest picture decoded, or -1
};

// The decoded pictures between a video thread's decoding and its presenting
// side, a few of them, so that decoding runs ahead of the clock and a picture
// that is costly to decode (a key frame) does not come out after its time.
// Ends (and refuses both sides from then on) with abort().
class FrameQueue {
public:
    FrameQueue() = default;
    ~FrameQueue();
    FrameQueue(const FrameQueue&) = delete;
    FrameQueue& operator=(const FrameQueue&) = delete;

    // Waits until fewer than `capacity` items are queued and takes the item
    // (and its frame); false once aborted, the item then stays with the
    // caller.
    bool push(QueuedFrame* item, int capacity);
    // Waits for an item; false once aborted. The caller owns out->frame.
    bool pop(QueuedFrame* out);
    void abort();

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<QueuedFrame> items_;  // guarded by mutex_
    bool aborted_ = false;           // guarded by mutex_
};
