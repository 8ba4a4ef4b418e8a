#pragma once

#include <memory>
#include <thread>

#include "engine/playback_context.h"

struct AVFormatContext;
struct AVPacket;

// Opens the file, then (once playback starts) reads its packets into the
// context's bounded queues, executing seek requests between reads. Runs from
// load to stop on a thread of its own; the format context is its alone.
class DemuxThread {
public:
    explicit DemuxThread(std::shared_ptr<PlaybackContext> context);
    // Joins; abort the context first.
    ~DemuxThread();

    void start();
    void join();

    // Packets a queue may hold before reading pauses, per stream and in all.
    static constexpr int kVideoPackets = 24;
    static constexpr int kAudioPackets = 48;
    static constexpr int64_t kMaxBytes = 16 * 1024 * 1024;

private:
    void run();
    bool open();
    void read();
    bool queuesFull() const;
    void executeSeek(const SeekRequest& request);
    void endStreams();
    int64_t packetTimeUs(const AVPacket* packet) const;

    const std::shared_ptr<PlaybackContext> context_;
    std::thread thread_;
    AVFormatContext* format_ = nullptr;  // demux thread only
    AVPacket* packet_ = nullptr;         // demux thread only
};
