#pragma once

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <cstdint>
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
// Opening and closing are requests that never wait: the caller stores them
// under the mutex and invokes the slot by name (no arguments travel through
// Qt's event queue). Requests are numbered; whoever needs the sound card (the
// audio thread, never the GUI thread) waits for the answer to its request. A
// close made after an open cancels it, an open made after a close makes the
// close moot, and the newest open's format wins.
//
// Besides the sound card there is a null sink: it takes sound at the rate a
// card plays it and throws it away. It stands in for a card in tests and
// benchmarks, and can be held to behave like a card that stopped taking sound.
class AudioDevice : public QObject {
    Q_OBJECT
public:
    enum Sink { SoundCard, NullSink };

    AudioDevice();
    ~AudioDevice() override;

    // Any thread except the device's own: asks for the sinks in order
    // (`sinks` holds Sink values) with the format, and returns at once with
    // the request's number.
    uint64_t requestOpen(int sampleRate, int channels, const std::vector<int>& sinks);
    void requestClose();
    // Waits up to timeoutMs for the answer to request `ticket`. True once it
    // was answered or closed; isOpened() then tells whether a sink took it.
    bool waitForAnswer(uint64_t ticket, int timeoutMs);
    // Answered, opened and not closed since.
    bool isOpened() const;
    // The format actually opened.
    int sampleRate() const;
    int channels() const;
    // Bytes the sink has taken from the ring since it was made.
    uint64_t consumed() const { return consumed_.load(); }
    // The null sink takes nothing while held.
    void holdNullSink(bool hold) { nullHeld_.store(hold); }

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
    void answer(uint64_t ticket, bool opened, int rate, int channels);
    bool openSoundCard(int* rate, int* channels);
    void release();
    void startFeeding();
    // Moves up to `room` bytes from the ring into chunk_; returns the count.
    size_t takeFromRing(size_t room);
    void feedSoundCard();
    void feedNullSink();

    // Device thread only.
    QAudioOutput* output_ = nullptr;
    QIODevice* sink_ = nullptr;  // owned by output_
    bool nullSink_ = false;      // the null sink is open
    int64_t nullFedNs_ = 0;      // the null sink's last feed, steady clock
    QTimer* timer_ = nullptr;
    std::vector<char> chunk_;

    mutable std::mutex mutex_;
    std::condition_variable done_;
    uint64_t opens_ = 0;      // guarded by mutex_: open requests made
    uint64_t answered_ = 0;   // guarded by mutex_: the request answered last
    uint64_t closedFor_ = 0;  // guarded by mutex_: opens up to this one are closed
    std::vector<int> sinks_;  // guarded by mutex_: of the newest open request
    bool opened_ = false;     // guarded by mutex_
    int sampleRate_ = 0;      // guarded by mutex_
    int channels_ = 0;        // guarded by mutex_
    std::vector<char> ring_;  // guarded by mutex_
    size_t head_ = 0;         // guarded by mutex_: next byte to play
    size_t size_ = 0;         // guarded by mutex_: bytes waiting

    std::atomic<int> cardPending_{0};  // bytes in the card's buffer, set by feed()
    std::atomic<uint64_t> consumed_{0};
    std::atomic<bool> nullHeld_{false};
    std::atomic<float> volume_{1.0f};
    std::atomic<bool> muted_{false};
};
