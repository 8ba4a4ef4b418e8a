#pragma once

#include <QtGlobal>

// One GPS fix per second of video, in plain units. Times are UTC.
struct RMGPSSample {
    quint16 year;  // full year, e.g. 2020
    quint8 month;  // 1..12
    quint8 day;    // 1..31
    quint8 hour;
    quint8 minute;
    quint8 second;
    double latitude;   // decimal degrees
    double longitude;  // decimal degrees
    double speed;      // km/h
    quint8 fixStatus;  // 1 = valid position fix
    quint8 gpsAux;     // the byte before the fix byte, carried over unchanged
};
