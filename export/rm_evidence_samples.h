#pragma once

#include <QByteArray>
#include <QList>
#include <QVector>

#include "export/rm_clip_range.h"
#include "export/rm_evidence_facts.h"

class RMClipGps;

// The GPS and G-sensor samples of a range on the camera clock, taken the way
// `orvin-tool gps` and `orvin-tool gsensor` number them: GPS sample i of a
// recording at i s, G sample i at i × 100 ms from its start.
class RMEvidenceSamples {
public:
    static constexpr qint64 kGIntervalMs = 100;

    RMEvidenceSamples(const QList<RMClipPart>& parts, const RMClipGps& gps);

    const QVector<RMEvidenceGps>& gps() const { return _gps; }
    const QVector<RMEvidenceG>& g() const { return _g; }
    // The G samples as CSV: recording, index and offset as the recording
    // numbers them, the camera clock, and the three axes in g.
    QByteArray gCsv() const;

private:
    QVector<RMEvidenceGps> _gps;
    QVector<RMEvidenceG> _g;
    QStringList _gRecording;   // per G sample
    QVector<quint32> _gIndex;  // per G sample
};
