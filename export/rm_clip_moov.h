#pragma once

#include <QByteArray>
#include <QtGlobal>

class RMClipPlan;

// Builds the movie box of a clip: the first recording's movie box with every
// box kept (sample descriptions whole, handlers, edit lists) except the
// durations, which follow the clip, the sound's edit, which starts its sound
// with the first picture, and the sample tables, which are new ("stts",
// "stss", "stsc", "stsz" and "stco", or "co64" past 4 GiB). Sensor samples
// keep one chunk each, as the camera writes them.
class RMClipMoov {
public:
    RMClipMoov(const RMClipPlan& plan, quint64 dataStart);
    QByteArray build();

private:
    void _copy(QByteArray& out, const QByteArray& in, int pos, int end);
    void _copyBox(QByteArray& out, const QByteArray& in, int pos, int end, quint32 type,
                  int header);
    void _sampleTable(QByteArray& out, const QByteArray& in, int pos, int end);
    quint64 _presentation(int track) const;
    qint64 _edit(int track) const;

    const RMClipPlan& _plan;
    quint64 _dataStart;
    quint32 _movieTimeScale = 0;
    int _track = -1;  // the track being copied
};
