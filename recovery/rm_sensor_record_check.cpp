#include "recovery/rm_sensor_record_check.h"

#include <cmath>
#include <cstring>

#include "mp4/rm_mp4_index.h"

namespace {
double littleDouble(const uchar* p) {
    quint64 bits = 0;
    for (int i = 7; i >= 0; --i) {
        bits = (bits << 8) | p[i];
    }
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}
}  // namespace

bool RMSensorRecordCheck::strong(quint32 format, int size) {
    return (format == RMMp4Index::fourcc("gpmd") && size == kRecordSize) ||
           (format == RMMp4Index::fourcc("gpsr") && size == kGpsSize);
}

bool RMSensorRecordCheck::plausible(quint32 format, const uchar* data, int size) {
    if (size == kEmptySize) {
        return true;
    }
    if (size == kRecordSize && format == RMMp4Index::fourcc("gpmd")) {
        return _record(data);
    }
    if (size == kGpsSize && format == RMMp4Index::fourcc("gpsr")) {
        return _gps(data);
    }
    if (size == kAccelSize && format == RMMp4Index::fourcc("accr")) {
        return _accel(data);
    }
    for (int i = 0; i < size; ++i) {
        if (data[i] != 0) {
            return true;
        }
    }
    return false;
}

// NMEA numbers: exactly zero without a fix, else at most 90 or 180
// degrees and never below a ten-thousandth of a minute.
bool RMSensorRecordCheck::_position(const uchar* latitude, const uchar* longitude) {
    const auto plausible = [](double v, double limit) {
        return v == 0.0 || (std::fabs(v) >= 1e-5 && std::fabs(v) <= limit);
    };
    return plausible(littleDouble(latitude), 9000.0) && plausible(littleDouble(longitude), 18000.0);
}

bool RMSensorRecordCheck::_clock(int month, int day, int hour, int minute, int second) {
    const bool unset = month == 0 && day == 0 && hour == 0 && minute == 0 && second == 0;
    const bool valid = month >= 1 && month <= 12 && day >= 1 && day <= 31 && hour <= 23 &&
                       minute <= 59 && second <= 60;
    return unset || valid;
}

// The 64-byte record of the single-track layout.
bool RMSensorRecordCheck::_record(const uchar* p) {
    const bool moving = p[51] != 0 || p[52] != 0 || p[53] != 0;
    return moving && p[41] <= 1 && _position(p + 8, p + 16) &&
           _clock(p[35], p[36], p[37], p[38], p[39]);
}

// The GPS record of the two-track layout: months from 0, years from 1900.
bool RMSensorRecordCheck::_gps(const uchar* p) {
    const bool unset = p[22] == 0 && p[23] == 0 && p[24] == 0;
    const bool dated = p[22] >= 100 && p[23] <= 11 && p[24] >= 1 && p[24] <= 31;
    return (unset || dated) && p[25] <= 23 && p[26] <= 59 && p[27] <= 60 && p[29] <= 1 &&
           _position(p, p + 8);
}

// The acceleration record of the two-track layout.
bool RMSensorRecordCheck::_accel(const uchar* p) {
    return p[3] != 0 || p[4] != 0 || p[5] != 0;
}
