#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <vector>

#include "drive_model.h"

// One sample of a sensor track, ready for the MP4 writer.
struct SensorSample {
    QByteArray data;
    quint32 duration = 0;  // in SensorRecords::kTimeScale units
    int second = 0;        // second of the recording it belongs to
};

// Turns drive ticks into the camera's sensor track samples. All multi-byte
// values are little-endian; positions are NMEA numbers (ddmm.mmmm as a
// double); times are UTC. Without a fix, position and speed are zero.
class SensorRecords {
public:
    static constexpr quint32 kTimeScale = 1000;
    static constexpr int kRecordSize = 64;  // single-track layout, one per tick
    static constexpr int kEmptySize = 12;   // placeholder sample without data
    static constexpr int kEmptyEvery = 60;  // an empty sample follows every 60th record
    static constexpr int kGpsSize = 32;     // two-track layout, one per second
    static constexpr int kAccelSize = 14;   // two-track layout, one per tick

    // Single-track layout: a 64-byte record per tick, with an empty sample
    // after every kEmptyEvery-th record. The GPS part of a record repeats the
    // fix of its whole second, as the receiver updates once a second.
    static std::vector<SensorSample> singleTrack(const std::vector<DriveSample>& ticks);
    // Two-track layout: GPS records (years from 1900, months from 0).
    static std::vector<SensorSample> gpsTrack(const std::vector<DriveSample>& ticks);
    // Two-track layout: acceleration records.
    static std::vector<SensorSample> accelTrack(const std::vector<DriveSample>& ticks);

    // Degrees as the NMEA number ddmm.mmmm (dddmm.mmmm for longitudes).
    static double toNmea(double degrees);
};
