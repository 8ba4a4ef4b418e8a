#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <vector>

// The layout of one MP4 file as the recovery needs it: the top-level boxes it
// uses, whether the file was cut off, and for a complete file every track's
// sample tables. All sizes, counts and offsets are checked against the file
// and the box that holds them; a damaged file reads as not usable.
class RMMp4Index {
public:
    struct Box {
        quint32 type = 0;
        qint64 pos = 0;
        qint64 size = 0;  // 0: runs to the end of the file
        int header = 8;
    };
    enum Kind { KIND_VIDEO, KIND_AUDIO, KIND_SENSOR };
    struct Track {
        Kind kind = KIND_SENSOR;
        quint32 handler = 0;
        quint32 format = 0;  // type of the first sample description
        quint32 timeScale = 0;
        QByteArray sampleEntry;  // the first sample description box, whole
        std::vector<quint32> sizes;
        std::vector<quint32> durations;  // per sample
        std::vector<quint64> offsets;    // per sample
        std::vector<bool> sync;          // per sample
        bool compositionOffsets = false;
        bool hasEdit = false;
        qint64 editMediaTime = 0;
    };

    static quint32 fourcc(const char* text);
    static QString fourccText(quint32 type);

    // Reads the top level and, when there is a movie box and `tracks` is
    // set, the tracks.
    bool open(const QString& path, bool tracks = true);
    // The one rule for "cut off" that the list, the recovery offer and the
    // command line share; reads only the top-level headers.
    static bool isCutOff(const QString& path);
    QString errorString() const { return _error; }

    qint64 fileSize() const { return _fileSize; }
    // The top-level boxes that are used, in file order: the first whole
    // movie box, the last media data box and the box right before it.
    const std::vector<Box>& topLevel() const { return _top; }
    // The last media data box (the one a cut-off file's samples are in), or
    // null.
    const Box* mdat() const;
    // Cut off: media data and no whole movie box (none at all, or one that
    // runs past the end of the file). Such a file cannot be played; its
    // samples are in the last media data box.
    bool isCutOff() const { return _cutOff; }
    // A movie box that runs past the end of the file.
    bool movieBoxCutShort() const { return _moovCutShort; }
    bool isComplete() const { return !_moov.isEmpty() && !_tracks.empty(); }
    const QByteArray& movieBox() const { return _moov; }
    quint32 movieTimeScale() const { return _movieTimeScale; }
    const std::vector<Track>& tracks() const { return _tracks; }

    // The movie box must be smaller than this to be read.
    static constexpr qint64 kMaxMovieBox = 64 << 20;
    // No track holds more samples: a day of video at 60 pictures a second.
    static constexpr quint32 kMaxSamples = 24 * 3600 * 60;

private:
    bool _readTopLevel(class RMFileWindow& file);
    bool _readTracks();
    bool _readTrack(const QByteArray& trak, Track* track);
    bool _fail(const QString& message);

    QString _error;
    qint64 _fileSize = 0;
    std::vector<Box> _top;
    bool _cutOff = false;
    bool _moovCutShort = false;
    QByteArray _moov;
    quint32 _movieTimeScale = 0;
    std::vector<Track> _tracks;
};
