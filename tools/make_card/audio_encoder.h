#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

#include "media_packet.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

// Encodes the card's sound, mono AAC: a short beep at the start of every
// second (higher every tenth second), silence between, so audio and the
// burned-in clock can be lined up. Time base: one sample.
class AudioEncoder {
public:
    static constexpr int kSampleRate = 44100;
    static constexpr int kChannels = 1;
    static constexpr int kBitRate = 64000;

    AudioEncoder() = default;
    ~AudioEncoder();
    AudioEncoder(const AudioEncoder&) = delete;
    AudioEncoder& operator=(const AudioEncoder&) = delete;

    bool open();
    // Encodes the sound up to (not including) sample `end`; whole encoder
    // frames only, the rest waits for the next call or flush().
    bool encodeUntil(qint64 end, std::vector<MediaPacket>* out);
    // Encodes the rest up to sample `end` and drains the encoder.
    bool flush(qint64 end, std::vector<MediaPacket>* out);

    // The decoder configuration (the AAC global header) for the sample
    // description.
    QByteArray config() const { return m_config; }
    // Samples of encoder delay at the start of the stream.
    int priming() const;
    // Samples per encoded frame.
    int frameSize() const;
    QString errorString() const { return m_error; }

    // The signal at sample n, in [-1, 1].
    static float tone(qint64 n);

private:
    bool encodeFrame(int samples, std::vector<MediaPacket>* out);
    bool receive(std::vector<MediaPacket>* out);
    bool fail(const QString& what, int code);
    void close();

    AVCodecContext* m_context = nullptr;
    AVFrame* m_frame = nullptr;
    AVPacket* m_packet = nullptr;
    qint64 m_next = 0;  // first sample not yet encoded
    QByteArray m_config;
    QString m_error;
};
