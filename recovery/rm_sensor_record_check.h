#pragma once

#include <QtGlobal>

// Plausibility of one raw sample of the camera's sensor tracks, judged by
// its sample description and size: dates and times in range, a fix flag of
// 0 or 1, positions that are finite NMEA numbers, and an accelerometer that
// reads something (gravity never leaves all three axes at zero). Samples of
// 12 bytes carry no data and pass as they are.
class RMSensorRecordCheck {
public:
    // Whether the sample of `format` ("gpmd", "gpsr", "accr", or another
    // data track) can be a real record. `strong` tells whether the check
    // says much: a weak check should be tried after the others.
    static bool plausible(quint32 format, const uchar* data, int size);
    static bool strong(quint32 format, int size);

    static constexpr int kEmptySize = 12;
    static constexpr int kRecordSize = 64;
    static constexpr int kGpsSize = 32;
    static constexpr int kAccelSize = 14;

private:
    static bool _record(const uchar* p);
    static bool _gps(const uchar* p);
    static bool _accel(const uchar* p);
    static bool _position(const uchar* latitude, const uchar* longitude);
    static bool _clock(int month, int day, int hour, int minute, int second);
};
