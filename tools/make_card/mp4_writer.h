#pragma once

#include <QByteArray>
#include <QSaveFile>
#include <QString>
#include <QtGlobal>
#include <vector>

class BoxBuffer;

// What a track is; decides its handler, media header and flags.
struct Mp4TrackSetup {
    enum Kind { Video, Audio, Data };
    Kind kind = Data;
    quint32 timeScale = 1000;
    QByteArray sampleEntry;  // one complete sample description box
    int width = 0;           // video only
    int height = 0;
    // Audio with encoder priming: the media time at which presentation starts
    // and how long it then lasts (in the movie's milliseconds). Writes an
    // edit list when presentationMs is non-zero.
    quint32 editMediaTime = 0;
    quint32 presentationMs = 0;
    // Sensor tracks keep every sample in a chunk of its own.
    bool oneSamplePerChunk = false;
};

// Writes an MP4 file the way the camera does: "ftyp", the camera's "usea"
// box, the media data as it arrives, and the movie box at the end. The file
// appears under its name only once finish() succeeded.
class Mp4Writer {
public:
    // The movie time scale: durations in mvhd and tkhd are milliseconds.
    static constexpr quint32 kMovieTimeScale = 1000;

    // `creationTime` is in seconds since 1904-01-01, as MP4 counts.
    bool open(const QString& path, quint8 rearVideoFlag, quint32 creationTime);
    // Tracks are numbered from 0 in the order added; the first is track 1 in
    // the file.
    int addTrack(const Mp4TrackSetup& setup);
    // Appends one sample to the media data, in decoding order; it is
    // presented `compositionOffset` after it is decoded (B-frames). Samples
    // of one track written back to back share a chunk unless the track wants
    // one per chunk.
    bool writeSample(int track, const QByteArray& data, quint32 duration, bool sync,
                     quint32 compositionOffset = 0);
    // Gives a track an edit list: presentation starts at `mediaTime` (in the
    // track's time scale) and lasts `presentationMs`.
    void setEdit(int track, quint32 mediaTime, quint32 presentationMs);
    // Writes the movie box with the given movie duration and commits.
    bool finish(quint32 durationMs);

    QString errorString() const { return m_error; }
    qint64 bytesWritten() const { return m_position; }

private:
    struct Chunk {
        quint64 offset;
        quint32 samples;
    };
    struct Track {
        Mp4TrackSetup setup;
        std::vector<quint32> sizes;
        std::vector<quint32> durations;
        std::vector<quint32> compositionOffsets;
        bool reordered = false;            // some composition offset is not 0
        std::vector<quint32> syncSamples;  // 1-based sample numbers
        std::vector<Chunk> chunks;
        quint64 mediaDuration = 0;
    };

    bool write(const QByteArray& data);
    bool fail(const QString& message);
    QByteArray movieBox(quint32 durationMs) const;
    void writeTrack(BoxBuffer& b, const Track& track, int id) const;
    void writeSampleTable(BoxBuffer& b, const Track& track) const;
    static void writeCompositionOffsets(BoxBuffer& b, const Track& track);

    QSaveFile m_file;
    QString m_error;
    quint32 m_creationTime = 0;
    qint64 m_position = 0;
    qint64 m_mdatStart = 0;
    int m_lastTrack = -1;  // track of the sample written last
    std::vector<Track> m_tracks;
};
