#include "engine/packet_queue.h"

extern "C" {
#include <libavcodec/packet.h>
}

PacketQueue::~PacketQueue() {
    std::lock_guard<std::mutex> lock(mutex_);
    clearLocked();
}

void PacketQueue::clearLocked() {
    for (QueuedPacket& queued : packets_) {
        av_packet_free(&queued.packet);
    }
    packets_.clear();
    bytes_ = 0;
}

void PacketQueue::put(AVPacket* packet) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (aborted_) {
            av_packet_free(&packet);
            return;
        }
        packets_.push_back(QueuedPacket{packet, serial_});
        if (packet != nullptr) {
            bytes_ += packet->size;
        }
    }
    ready_.notify_one();
}

bool PacketQueue::get(QueuedPacket* out) {
    std::unique_lock<std::mutex> lock(mutex_);
    ready_.wait(lock, [this] { return aborted_ || !packets_.empty(); });
    if (aborted_) {
        return false;
    }
    *out = packets_.front();
    packets_.pop_front();
    if (out->packet != nullptr) {
        bytes_ -= out->packet->size;
    }
    return true;
}

void PacketQueue::flush(int serial) {
    std::lock_guard<std::mutex> lock(mutex_);
    clearLocked();
    serial_ = serial;
}

void PacketQueue::abort() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        aborted_ = true;
        clearLocked();
    }
    ready_.notify_all();
}

int PacketQueue::serial() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return serial_;
}

int PacketQueue::count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return int(packets_.size());
}

int64_t PacketQueue::bytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return bytes_;
}
