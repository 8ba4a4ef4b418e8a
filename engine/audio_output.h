#pragma once

#include <QObject>
#include <QStringList>
#include <atomic>
#include <cstdint>

class AudioDevice;
class QThread;

// A player's sound output through Qt Multimedia. The GUI thread sets the
// backends, volume and mute; the player opens it when playback starts and the
// audio thread writes 16-bit interleaved samples to it. With an empty backend
// list, or when no sound card takes the format, the output never opens and
// the player plays on silently: its clock never depends on the card.
//
// Opening and closing never make the GUI thread wait for the card: open()
// only asks, and the audio thread waits for the answer (waitForDevice()).
class AudioOutput : public QObject {
    Q_OBJECT
public:
    explicit AudioOutput(QObject* parent = nullptr);
    ~AudioOutput() override;

    // The backends this engine has: "QtMultimedia" (the sound card, the
    // default) and "Null" (a sink that takes sound in real time and discards
    // it, for tests and benchmarks).
    static QStringList backendsAvailable();
    // Tried in order; an empty list means no sound at all.
    void setBackends(const QStringList& backends);
    QStringList backends() const;

    void setMute(bool mute);
    bool isMute() const;
    // 0 (silent) to 1 (full).
    void setVolume(qreal volume);
    qreal volume() const;

    // GUI thread: asks for the sound card for the format (it may pick
    // another rate or channel count; see sampleRate() and channels()). False
    // when there is nothing to ask for; the answer comes later.
    bool open(int sampleRate, int channels);
    // GUI thread: closes without waiting.
    void close();
    // Any thread: a sink took the format asked for last and it is not closed.
    bool isOpen() const;
    // Audio thread: waits up to timeoutMs for the answer to the last open();
    // true once it came (isOpen() then tells whether a sink took it).
    bool waitForDevice(int timeoutMs) const;
    int sampleRate() const;
    int channels() const;

    // Audio thread: hands samples to the card without blocking; returns the
    // bytes taken (0 when closed or full).
    qint64 write(const char* data, qint64 bytes);
    qint64 bufferedBytes() const;
    // Audio thread: seconds until sound written now is heard (0 when closed).
    double latency() const;
    // Drops the sound not played yet (pause, seek).
    void clear();
    // Bytes the sink has taken so far: it stands still when the card stalls.
    quint64 consumedBytes() const;
    // Bytes accepted by write() since the last open() or clear(): the sound
    // handed over since playback started, was paused or sought.
    qint64 writtenSinceClear() const { return writtenSinceClear_.load(); }
    // The "Null" sink takes nothing while held, like a card that stalled.
    void holdNullSink(bool hold);

signals:
    void volumeChanged(qreal volume);
    void muteChanged(bool mute);

private:
    // GUI thread; the device gets copies of mute and volume.
    QStringList backends_;
    bool mute_ = false;
    qreal volume_ = 1.0;
    bool nullHeld_ = false;
    // Written on the GUI thread, read by the audio thread.
    std::atomic<bool> requested_{false};
    std::atomic<uint64_t> ticket_{0};  // the device's number for the last open
    std::atomic<qint64> writtenSinceClear_{0};
    // Made on the GUI thread before the first open and kept until the end.
    QThread* thread_ = nullptr;      // the device's thread
    AudioDevice* device_ = nullptr;  // lives on thread_
};
