#pragma once

#include <QObject>
#include <QStringList>

class AudioDevice;
class QThread;

// A player's sound output through Qt Multimedia. The GUI thread sets the
// backends, volume and mute; the player opens it when playback starts and the
// audio thread writes 16-bit interleaved samples to it. With an empty backend
// list, or when no sound card takes the format, open() fails and the player
// plays on silently: its clock never depends on the card.
class AudioOutput : public QObject {
    Q_OBJECT
public:
    explicit AudioOutput(QObject* parent = nullptr);
    ~AudioOutput() override;

    // The backends this engine has: {"QtMultimedia"}.
    static QStringList backendsAvailable();
    // An empty list means no sound at all.
    void setBackends(const QStringList& backends);
    QStringList backends() const;

    void setMute(bool mute);
    bool isMute() const;
    // 0 (silent) to 1 (full).
    void setVolume(qreal volume);
    qreal volume() const;

    // GUI thread: opens the sound card for the format (it may pick another
    // rate or channel count; see sampleRate() and channels()).
    bool open(int sampleRate, int channels);
    void close();
    bool isOpen() const { return open_; }
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

signals:
    void volumeChanged(qreal volume);
    void muteChanged(bool mute);

private:
    // GUI thread; the device gets copies of mute and volume.
    QStringList backends_;
    bool mute_ = false;
    qreal volume_ = 1.0;
    // Set on the GUI thread before the audio thread starts and not changed
    // while it runs (the player closes the output only after joining it).
    bool open_ = false;
    QThread* thread_ = nullptr;      // the device's thread, made on first open
    AudioDevice* device_ = nullptr;  // lives on thread_
};
