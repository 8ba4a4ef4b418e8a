#pragma once

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <vector>

class QAudioOutput;
class QIODevice;
class QTimer;

// The sound card side of an AudioOutput. It lives on the output's own Qt
// thread, where it owns the QAudioOutput, and every 10 ms moves as many 16-bit
// samples as the card has room for from a ring buffer that the audio thread
// fills with push(). Filling the card from its own timer, rather than letting
// the card pull on its timer, keeps it fed when the event loop runs late.
//
// Opening and closing are requests: the caller stores them under the mutex,
// invokes the slot by name (no arguments travel through Qt's event queue) and
// waits for the answer on a condition variable.
class AudioDevice : public QObject {
    Q_OBJECT
public:
    AudioDevice();
    ~AudioDevice() override;

    // Any thread except the device's own: opens the default output for the
    // format and waits up to timeoutMs. False when no device takes it.
    bool requestOpen(int sampleRate, int channels, int timeoutMs);
    void requestClose(int timeoutMs);
    // The format actually opened.
    int sampleRate() const;
    int channels() const;

    // The audio thread adds samples; never blocks, returns the bytes taken.
    qint64 push(const char* data, qint64 bytes);
    qint64 buffered() const;
    // Seconds until sound pushed now is heard: the ring and the card's buffer.
    double latency() const;
    void clear();

    void setVolume(qreal volume) { volume_.store(float(volume)); }
    void setMuted(bool muted) { muted_.store(muted); }

private slots:
    void openOnDeviceThread();
    void closeOnDeviceThread();
    void feed();

private:
    void answer(bool opened, int rate, int channels);
    void release();

    // Device thread only.
    QAudioOutput* output_ = nullptr;
    QIODevice* sink_ = nullptr;  // owned by output_
    QTimer* timer_ = nullptr;
    std::vector<char> chunk_;

    mutable std::mutex mutex_;
    std::condition_variable done_;
    bool requestDone_ = false;  // guarded by mutex_
    bool opened_ = false;       // guarded by mutex_
    int sampleRate_ = 0;        // guarded by mutex_
    int channels_ = 0;          // guarded by mutex_
    std::vector<char> ring_;    // guarded by mutex_
    size_t head_ = 0;           // guarded by mutex_: next byte to play
    size_t size_ = 0;           // guarded by mutex_: bytes waiting

    std::atomic<int> cardPending_{0};  // bytes in the card's buffer, set by feed()
    std::atomic<float> volume_{1.0f};
    std::atomic<bool> muted_{false};
};
