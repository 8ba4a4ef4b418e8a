#pragma once

#include <QtGlobal>
#include <cstdio>

#include "recordings/rm_gps_sample.h"

enum FILE_TYPE : int {
    FILE_TYPE_MP4 = 1,
};

// The GPS track and the three-axis acceleration of one recording in plain
// units (degrees, km/h, g). Consumers index both arrays by the playback
// fraction times the count, after checking hasGPS and the counts.
class RMSensorData {
public:
    RMSensorData(FILE* file, FILE_TYPE type);
    ~RMSensorData();
    RMSensorData(const RMSensorData&) = delete;
    RMSensorData& operator=(const RMSensorData&) = delete;

    bool loadMOV(FILE* file);
    // Converts `count` 64-byte records; gpsSamples 0 takes every tenth record.
    bool loadMOVGPSNR(const unsigned char* records, unsigned int count, int gpsSamples);
    // Caps the counts to the length of the video.
    void clipWithDuration(qint64 durationMs);
    // Fills a missing first fix from the first fast, fixed sample after it.
    void fixGPS();

    // Index of the sample at `position` ms among `count` samples spread
    // evenly over `duration` ms, held to 0..count-1; -1 when the duration is
    // not positive or there are no samples.
    static qint64 sampleIndex(qint64 position, qint64 duration, quint32 count);
    // The GPS sample at a position when it has a valid fix, else null.
    const RMGPSSample* gpsAt(qint64 position, qint64 duration) const;

    bool hasGPS = false;
    quint32 gpsCount = 0;
    quint32 sensorCount = 0;
    float* sensor = nullptr;     // sensorCount x (x, y, z) in g
    RMGPSSample* gps = nullptr;  // gpsCount samples; null without a fix

private:
    void _clear();
};
