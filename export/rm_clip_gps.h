#pragma once

#include <QByteArray>
#include <QList>
#include <memory>
#include <vector>

#include "export/rm_clip_range.h"

class RMSensorData;
struct RMGPSSample;

// The GPS samples of a range, read from its recordings as the viewer reads
// them (first fix repaired, clipped to the video), for the stamp and the
// GPX file.
class RMClipGps {
public:
    explicit RMClipGps(const QList<RMClipPart>& parts);
    ~RMClipGps();

    // The sample shown at a position of a part (as the speed display picks
    // it), or null without a fix.
    const RMGPSSample* at(int part, qint64 positionMs) const;
    // GPX 1.1 of the samples of the whole seconds from fromMs[p] to toMs[p]
    // of each part (one track per recording); empty when no sample has a fix.
    QByteArray gpx(const std::vector<qint64>& fromMs, const std::vector<qint64>& toMs) const;
    // The sensor data of a part's recording (never null for a valid part).
    const RMSensorData* data(int part) const { return _data[size_t(part)].get(); }

private:
    QList<RMClipPart> _parts;
    std::vector<std::unique_ptr<RMSensorData>> _data;
};
