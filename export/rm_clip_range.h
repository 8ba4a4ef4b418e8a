#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QtGlobal>

class RMVideoItem;

// One recording an export may draw on: its files, where its name puts it on
// the camera clock and how long it lasts.
struct RMClipSource {
    QString front;
    QString rear;
    QDateTime start;  // camera clock, from the file name
    qint64 durationMs = 0;

    QString primary() const { return front.isEmpty() ? rear : front; }
    QDateTime end() const { return start.addMSecs(durationMs); }
};

// The stretch of one recording that a clip takes, in ms from its start.
struct RMClipPart {
    RMClipSource source;
    qint64 fromMs = 0;
    qint64 toMs = 0;
};

// A range on the camera clock, resolved into the recordings it covers. A
// range runs on into the next recording only when that one starts within
// kJoinGapMs of the previous one's end, so a clip never spans a stop of the
// camera; it ends where such a chain ends.
class RMClipRange {
public:
    static constexpr qint64 kJoinGapMs = 2000;

    // The recordings of a list as sources, in start order.
    static QList<RMClipSource> sources(const QList<RMVideoItem*>& items);
    // The parts of [start, end); empty (with a reason) when the range holds
    // no recording or does not run forward.
    static QList<RMClipPart> resolve(const QList<RMClipSource>& sources, const QDateTime& start,
                                     const QDateTime& end, QString* error = nullptr);
    // The camera clock at a position of a recording.
    static QDateTime clockAt(const RMClipSource& source, qint64 positionMs) {
        return source.start.addMSecs(positionMs);
    }
};
