#include "export/rm_stream_hash.h"

RMStreamHash::RMStreamHash() : _thread([this] { _run(); }) {}

RMStreamHash::~RMStreamHash() {
    {
        std::lock_guard<std::mutex> hold(_lock);
        _stop = true;
    }
    _changed.notify_all();
    _thread.join();
}

void RMStreamHash::add(const char* data, qint64 length) {
    QByteArray block(data, int(length));
    std::unique_lock<std::mutex> hold(_lock);
    _changed.wait(hold, [this] { return int(_queue.size()) < kQueued; });
    _queue.push_back(std::move(block));
    hold.unlock();
    _changed.notify_all();
}

QByteArray RMStreamHash::finish() {
    std::unique_lock<std::mutex> hold(_lock);
    _changed.wait(hold, [this] { return _queue.empty() && !_busy; });
    const QByteArray hex = _hash.result().toHex();
    _hash.reset();
    return hex;
}

QByteArray RMStreamHash::of(const QByteArray& data) {
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex();
}

void RMStreamHash::_run() {
    std::unique_lock<std::mutex> hold(_lock);
    for (;;) {
        _changed.wait(hold, [this] { return _stop || !_queue.empty(); });
        if (_queue.empty()) {
            return;  // stopping
        }
        const QByteArray block = std::move(_queue.front());
        _queue.pop_front();
        _busy = true;
        hold.unlock();
        _changed.notify_all();
        _hash.addData(block);
        hold.lock();
        _busy = false;
        _changed.notify_all();
    }
}
