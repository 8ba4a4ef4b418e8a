#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <memory>
#include <vector>

#include "card_options.h"
#include "drive_model.h"
#include "media_packet.h"

class Mp4Writer;
class TestPicture;
class VideoEncoder;
struct VideoSettings;
class AudioEncoder;
struct SensorSample;

// One file of a recording to write.
struct RecordingJob {
    QString path;
    QString title;  // the recording's base name, shown in the picture
    bool rear = false;
    QDateTime localStart;
    const std::vector<DriveSample>* ticks = nullptr;
};

// Writes one channel file of a recording: H.264 video as the first track,
// AAC audio in front files, and the sensor tracks of the chosen layout. The
// single-track layout goes into front and rear files; the two-track layout
// only into front files, because a reader finds its tracks by position (third
// and fourth) and a rear file has no audio track to fill the second place.
// In tiny mode the sample tables are complete but each video and audio sample
// is a few bytes, and no encoder runs after the first file.
class RecordingWriter {
public:
    explicit RecordingWriter(const CardOptions& options);
    ~RecordingWriter();
    RecordingWriter(const RecordingWriter&) = delete;
    RecordingWriter& operator=(const RecordingWriter&) = delete;

    bool write(const RecordingJob& job);
    QString errorString() const { return m_error; }
    // Size of the file written last.
    qint64 fileSize() const { return m_fileSize; }

private:
    struct Tracks {
        int video = -1;
        int audio = -1;
        int sensor = -1;  // single-track layout
        int gps = -1;     // two-track layout
        int accel = -1;
    };
    struct Headers {
        QByteArray sps;
        QByteArray pps;
    };

    VideoSettings videoSettings(bool rear) const;
    bool openEncoders(const RecordingJob& job, Headers* headers);
    Tracks addTracks(Mp4Writer& mp4, const RecordingJob& job, const Headers& video);
    bool writeMedia(Mp4Writer& mp4, const RecordingJob& job, const Tracks& tracks);
    bool writeSamples(Mp4Writer& mp4, int track, quint32 unit, std::vector<MediaPacket>* packets);
    bool writeSensor(Mp4Writer& mp4, int track, const std::vector<SensorSample>& samples,
                     size_t* next, int second);
    // The packets of one second; `last` drains the encoder.
    bool videoPackets(const RecordingJob& job, int second, bool last,
                      std::vector<MediaPacket>* out);
    bool audioPackets(int second, bool last, std::vector<MediaPacket>* out);
    bool tinyHeaders(bool rear, Headers* headers);
    QString status(const RecordingJob& job, qint64 frame) const;
    bool fail(const QString& message);

    CardOptions m_options;
    QString m_error;
    qint64 m_fileSize = 0;
    int m_editTrack = -1;  // the video track until its first sample is written

    // Full mode, for the file being written.
    std::unique_ptr<TestPicture> m_picture;
    std::unique_ptr<VideoEncoder> m_video;
    std::unique_ptr<AudioEncoder> m_audio;

    // Tiny mode: what the encoders gave once, reused for every file.
    Headers m_tinyFront;
    Headers m_tinyRear;
    QByteArray m_audioConfig;
    QByteArray m_silentFrame;
    int m_audioPriming = 0;
    int m_audioFrameSize = 0;
    qint64 m_tinyAudioNext = 0;  // next audio sample of the file being written
};
