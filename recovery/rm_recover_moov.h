#pragma once

#include <QByteArray>
#include <QtGlobal>

class RMMp4Index;
class RMRecoverWalker;

// Builds the movie box of a recovered recording: the reference's movie box
// with every box kept as it is (sample descriptions whole, handlers, edit
// lists) except the durations, which follow the recovered samples, and the
// sample tables, which are new: "stts", "stss", "stsc", "stsz" and "stco",
// or "co64" when an offset needs 64 bits. Sensor samples keep one chunk
// each; the samples of the other tracks share a chunk while they follow
// each other in the file. The reference's user data ("udta") stays behind
// and the creation and modification times are the recovered recording's.
class RMRecoverMoov {
public:
    RMRecoverMoov(const RMMp4Index& reference, const RMRecoverWalker& walker);

    // Times in seconds since 1904 for the movie, track and media headers.
    void setTimes(quint64 creation, quint64 modification);
    QByteArray build();
    // Durations in the movie's time scale: the movie lasts as long as its video.
    quint64 movieDuration() const;
    // Seconds of a track's recovered media.
    double seconds(int track) const;

private:
    void _copy(QByteArray& out, const QByteArray& in, int pos, int end);
    void _copyBox(QByteArray& out, const QByteArray& in, int pos, int end, quint32 type,
                  int headerSize);
    void _sampleTable(QByteArray& out, const QByteArray& in, int pos, int end);
    void _setTimes(QByteArray& b, int at) const;
    quint64 _mediaDuration(int track) const;
    quint64 _presentation(int track) const;

    const RMMp4Index& _reference;
    const RMRecoverWalker& _walker;
    int _track = -1;  // the track being copied
    quint64 _creation = 0;
    quint64 _modification = 0;
    bool _timesSet = false;
};
