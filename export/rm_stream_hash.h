#pragma once

#include <QByteArray>
#include <QCryptographicHash>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

// SHA-256 of a stream of bytes, computed on a thread of its own so that the
// thread producing the bytes (a copy) does not wait for the hashing. Blocks
// are copied in; add() waits only when kQueued blocks are still unhashed.
// One producer thread at a time.
class RMStreamHash {
public:
    static constexpr int kQueued = 4;

    RMStreamHash();
    RMStreamHash(const RMStreamHash&) = delete;
    RMStreamHash& operator=(const RMStreamHash&) = delete;
    ~RMStreamHash();

    void add(const char* data, qint64 length);
    // Waits for the blocks added so far and returns their hash in lower-case
    // hex; the next add() starts a new stream.
    QByteArray finish();

    // The hash of bytes at hand, in lower-case hex.
    static QByteArray of(const QByteArray& data);

private:
    void _run();

    std::mutex _lock;
    std::condition_variable _changed;
    std::deque<QByteArray> _queue;  // _lock
    bool _busy = false;             // _lock: the hashing thread works on a block
    bool _stop = false;             // _lock
    // The hashing thread's, and finish()'s once the queue is empty and the
    // hashing thread idle (both under _lock's hand-over).
    QCryptographicHash _hash{QCryptographicHash::Sha256};
    std::thread _thread;
};
