#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

struct AVPacket;

// A demuxed packet and the serial of the seek it belongs to. A null packet
// marks the end of the stream.
struct QueuedPacket {
    AVPacket* packet = nullptr;  // owned by whoever holds the QueuedPacket
    int serial = 0;
};

// The packets of one stream between the demux thread (which puts and flushes)
// and one decoding thread (which gets). The queue itself never refuses a
// packet: the demux thread keeps it bounded by reading only while count() and
// bytes() are below its limits. flush() drops everything and starts a new
// serial, so the decoder can tell packets from before a seek.
class PacketQueue {
public:
    PacketQueue() = default;
    ~PacketQueue();
    PacketQueue(const PacketQueue&) = delete;
    PacketQueue& operator=(const PacketQueue&) = delete;

    // Takes ownership of the packet; a null packet marks the end.
    void put(AVPacket* packet);
    // Waits for a packet; false once the queue is aborted. The caller owns
    // out->packet afterwards.
    bool get(QueuedPacket* out);
    // Drops all packets; packets put from now on carry `serial`.
    void flush(int serial);
    // Wakes and refuses every reader from now on.
    void abort();

    int serial() const;
    int count() const;
    int64_t bytes() const;

private:
    void clearLocked();

    mutable std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<QueuedPacket> packets_;  // guarded by mutex_
    int64_t bytes_ = 0;                 // guarded by mutex_
    int serial_ = 0;                    // guarded by mutex_
    bool aborted_ = false;              // guarded by mutex_
};
