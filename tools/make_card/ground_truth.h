#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

#include "drive_model.h"

// The GPS samples of a recording as the camera records them (one per second,
// positions as their stored minutes give them back, whole km/h), as CSV rows
// "recording,index,utc,latitude,longitude,speed_kmh,fix", so exports of the
// viewer's tools can be checked against what went into the files.
class GroundTruth {
public:
    static QByteArray header();
    static QByteArray rows(const QString& recording, const std::vector<DriveSample>& ticks);
};
