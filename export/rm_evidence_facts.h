#pragma once

#include <QDateTime>
#include <QVector>

#include "recordings/rm_gps_sample.h"

// One GPS sample of a range, placed on the camera's clock (the clock of the
// file names, kept as a zone-less date and time marked Qt::UTC).
struct RMEvidenceGps {
    QDateTime clock;
    RMGPSSample sample;
};

// One G-sensor sample of a range, on the camera's clock, in g.
struct RMEvidenceG {
    QDateTime clock;
    float axis[3];  // x, y, z
};

// What a report states about a range: where, how fast, how hard, and how far
// the camera's clock was from GPS time. Computed once from the samples.
class RMEvidenceFacts {
public:
    // The samples must be in time order.
    static RMEvidenceFacts compute(const QVector<RMEvidenceGps>& gps,
                                   const QVector<RMEvidenceG>& g);

    // The UTC time of a camera clock time, through the measured offset; an
    // invalid time when no offset could be measured.
    QDateTime utcOf(const QDateTime& clock) const;

    struct Peak {
        float g = 0;  // signed value of the largest magnitude
        QDateTime at;
    };

    int fixCount = 0;  // samples with a valid fix
    bool hasOffset = false;
    // Median of camera clock minus GPS time over the fixed samples with a
    // valid date, in seconds.
    double clockOffsetS = 0;
    double startLatitude = 0, startLongitude = 0;
    double endLatitude = 0, endLongitude = 0;
    double maxSpeed = 0;  // km/h, over fixed samples
    QDateTime maxSpeedAt;
    double averageSpeed = 0;  // km/h, over fixed samples
    Peak peak[3];             // per axis
    QDateTime largestGAt;     // the sample of the largest magnitude of all three axes
    int gCount = 0;
};
