#pragma once

#include <QtGlobal>
#include <cmath>

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

    // A valid fix at a position that can exist on Earth. A sample flagged as
    // fixed with a latitude beyond 90, a longitude beyond 180 or a value
    // that is not a number counts as no fix.
    bool hasFix() const {
        return fixStatus == 1 && std::isfinite(latitude) && std::isfinite(longitude) &&
               std::abs(latitude) <= 90.0 && std::abs(longitude) <= 180.0;
    }
};
