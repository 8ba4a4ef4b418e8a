#pragma once

#include <memory>
#include <thread>
#include <vector>

#include "engine/playback_context.h"

struct AVFormatContext;
struct AVPacket;

// Opens the file, then reads its packets into the context's bounded queues
// (from the load on, so that playback can start from decoded pictures), executing seek requests
// between reads. Runs from load to stop on a thread of its own; the format context is its alone.
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
    // The container's header already says all that playback needs (codecs,
    // picture sizes, frame rates, sample rates, start and duration), so the
    // slow probe that decodes the first frames (avformat_find_stream_info)
    // can be skipped. True only for MP4 files whose header has it all.
    bool headerComplete() const;
    // The media's start in µs: the container's, or the earliest of the
    // streams that play when the container was not probed.
    int64_t startTime(const MediaInfo& info) const;
    void read();
    bool queuesFull() const;
    void executeSeek(const SeekRequest& request);
    // Moves the read position to the key frame at or before `targetUs`.
    // Containers that cannot seek exactly (MPEG-TS searches by timestamp and
    // may land after a key frame) are sought again further back until the
    // first key frame read lies at or before the target. The packets read on
    // the way that belong to the landing are left in `lead`.
    void seekToKeyFrame(int64_t targetUs, std::vector<AVPacket*>* lead);
    // Reads into `lead` up to the first video key frame; its time, or
    // INT64_MIN when none came within a bounded read or before the end of
    // the file (*endOfFile).
    int64_t readToKeyFrame(std::vector<AVPacket*>* lead, bool* endOfFile);
    // Queues a packet read from the file (or drops it); sets *ended when the
    // media is cut there.
    void queuePacket(AVPacket* packet, bool* ended);
    void endStreams();
    int64_t packetTimeUs(const AVPacket* packet) const;

    const std::shared_ptr<PlaybackContext> context_;
    std::thread thread_;
    AVFormatContext* format_ = nullptr;  // demux thread only
    AVPacket* packet_ = nullptr;         // demux thread only
};
