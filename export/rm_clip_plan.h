#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>
#include <vector>

#include "mp4/rm_mp4_index.h"

// Which samples of one channel's recordings a clip takes, without touching
// them: video from the key frame at or before the start to the picture shown
// at the end, the sound that plays meanwhile, and the sensor records of every
// whole second the video covers (whole seconds, so the one-per-second GPS
// records stay at their place among the others, and the viewer, which counts
// one GPS sample per whole second of video, reads them all). Samples keep their bytes; their
// order in the clip is their order in the recordings, joined.
class RMClipPlan {
public:
    struct Span {
        QString path;
        qint64 fromMs = 0;
        qint64 toMs = 0;
    };
    struct Sample {
        int part = 0;
        int track = 0;
        quint64 source = 0;  // offset in its recording
        quint64 offset = 0;  // offset in the clip's media data
        quint32 size = 0;
        quint32 duration = 0;
        bool sync = true;
    };
    struct Track {
        RMMp4Index::Kind kind = RMMp4Index::KIND_SENSOR;
        quint32 timeScale = 0;
        quint64 mediaDuration = 0;  // in timeScale units
        qint64 editMediaTime = -1;  // the clip's first shown media time; -1 keeps none
        std::vector<int> samples;   // into samples(), in decoding order
    };

    bool build(const QList<Span>& spans);
    QString errorString() const { return _error; }

    const std::vector<RMMp4Index>& indexes() const { return _indexes; }
    const std::vector<Sample>& samples() const { return _samples; }
    const std::vector<Track>& tracks() const { return _tracks; }
    int videoTrack() const { return _video; }
    const QList<Span>& spans() const { return _spans; }
    quint64 dataSize() const { return _dataSize; }
    // Where the video starts in the first recording, and how much earlier
    // than asked (the key frame before the start).
    qint64 startMs() const { return _startMs; }
    qint64 leadMs() const { return _leadMs; }
    // Length of the clip's video.
    qint64 durationMs() const { return _durationMs; }
    // The time of the first video picture of each part, in ms of its recording.
    const std::vector<qint64>& partStartMs() const { return _partStartMs; }

private:
    bool _fail(const QString& message);
    bool _sameLayout(const RMMp4Index& a, const RMMp4Index& b);
    bool _pickVideo(int part, const Span& span, quint64* from, quint64* to);
    void _pick(int part, int track, quint64 from, quint64 to, std::vector<Sample>* out);

    QString _error;
    QList<Span> _spans;
    std::vector<RMMp4Index> _indexes;
    std::vector<Sample> _samples;
    std::vector<Track> _tracks;
    std::vector<qint64> _partStartMs;
    quint64 _dataSize = 0;
    qint64 _startMs = 0;
    qint64 _leadMs = 0;
    qint64 _durationMs = 0;
    int _video = -1;
};
