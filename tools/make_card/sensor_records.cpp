#include "sensor_records.h"

#include <QtEndian>
#include <cmath>
#include <cstring>

namespace {

constexpr int kTicks = DriveModel::kTicksPerSecond;

struct Civil {
    int year;
    int month;  // 1..12
    int day;
    int hour;
    int minute;
    int second;
};

// Calendar date and time of a UTC instant (proleptic Gregorian calendar).
Civil civilTime(qint64 utcMs) {
    const qint64 secs = utcMs / 1000;
    qint64 days = secs / 86400;
    const int daySecs = int(secs - days * 86400);
    days += 719468;
    const qint64 era = (days >= 0 ? days : days - 146096) / 146097;
    const qint64 doe = days - era * 146097;
    const qint64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const qint64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const qint64 mp = (5 * doy + 2) / 153;
    Civil c;
    c.day = int(doy - (153 * mp + 2) / 5 + 1);
    c.month = int(mp < 10 ? mp + 3 : mp - 9);
    c.year = int(yoe + era * 400 + (c.month <= 2 ? 1 : 0));
    c.hour = daySecs / 3600;
    c.minute = daySecs / 60 % 60;
    c.second = daySecs % 60;
    return c;
}

void putDouble(char* p, double v) {
    quint64 bits;
    std::memcpy(&bits, &v, sizeof bits);
    qToLittleEndian(bits, p);
}

quint16 speedField(const DriveSample& s) {
    return s.fix ? quint16(std::lround(s.speedKmh)) : 0;
}

}  // namespace

double SensorRecords::toNmea(double degrees) {
    const double a = std::abs(degrees);
    const double whole = std::floor(a);
    const double nmea = whole * 100 + (a - whole) * 60;
    return std::copysign(std::round(nmea * 10000) / 10000, degrees);
}

std::vector<SensorSample> SensorRecords::singleTrack(const std::vector<DriveSample>& ticks) {
    std::vector<SensorSample> samples;
    samples.reserve(ticks.size() + ticks.size() / kEmptyEvery);
    for (size_t i = 0; i < ticks.size(); ++i) {
        const DriveSample& gps = ticks[i - i % kTicks];
        const DriveSample& tick = ticks[i];
        const Civil t = civilTime(gps.utcMs);
        char p[kRecordSize] = {};
        putDouble(p + 8, gps.fix ? toNmea(gps.latitude) : 0.0);
        putDouble(p + 16, gps.fix ? toNmea(gps.longitude) : 0.0);
        putDouble(p + 24, gps.fix ? gps.altitude : 0.0);
        qToLittleEndian(speedField(gps), p + 32);
        p[34] = char(t.year - 2000);
        p[35] = char(t.month);
        p[36] = char(t.day);
        p[37] = char(t.hour);
        p[38] = char(t.minute);
        p[39] = char(t.second);
        p[40] = char(gps.satellites);
        p[41] = char(gps.fix ? 1 : 0);
        qToLittleEndian(quint16(gps.fix ? std::lround(gps.headingDeg) % 360 : 0), p + 42);
        p[51] = char(tick.forward);
        p[52] = char(tick.lateral);
        p[53] = char(tick.vertical);

        const int second = int(i) / kTicks;
        const quint32 tickMs = kTimeScale / kTicks;
        // An empty sample borrows a millisecond from the record before it,
        // so the track still lasts exactly as long as the video.
        const bool emptyFollows = (i + 1) % kEmptyEvery == 0;
        samples.push_back(
            SensorSample{QByteArray(p, kRecordSize), emptyFollows ? tickMs - 1 : tickMs, second});
        if (emptyFollows) {
            samples.push_back(SensorSample{QByteArray(kEmptySize, '\0'), 1, second});
        }
    }
    return samples;
}

std::vector<SensorSample> SensorRecords::gpsTrack(const std::vector<DriveSample>& ticks) {
    std::vector<SensorSample> samples;
    samples.reserve(ticks.size() / kTicks);
    for (size_t i = 0; i + kTicks <= ticks.size(); i += kTicks) {
        const DriveSample& gps = ticks[i];
        const Civil t = civilTime(gps.utcMs);
        char p[kGpsSize] = {};
        putDouble(p, gps.fix ? toNmea(gps.latitude) : 0.0);
        putDouble(p + 8, gps.fix ? toNmea(gps.longitude) : 0.0);
        qToLittleEndian(qint32(gps.fix ? std::lround(gps.altitude) : 0), p + 16);
        qToLittleEndian(speedField(gps), p + 20);
        p[22] = char(t.year - 1900);
        p[23] = char(t.month - 1);
        p[24] = char(t.day);
        p[25] = char(t.hour);
        p[26] = char(t.minute);
        p[27] = char(t.second);
        p[28] = char(gps.satellites);
        p[29] = char(gps.fix ? 1 : 0);
        samples.push_back(SensorSample{QByteArray(p, kGpsSize), kTimeScale, int(i) / kTicks});
    }
    return samples;
}

std::vector<SensorSample> SensorRecords::accelTrack(const std::vector<DriveSample>& ticks) {
    std::vector<SensorSample> samples;
    samples.reserve(ticks.size());
    for (size_t i = 0; i < ticks.size(); ++i) {
        char p[kAccelSize] = {};
        p[3] = char(ticks[i].forward);
        p[4] = char(ticks[i].lateral);
        p[5] = char(ticks[i].vertical);
        samples.push_back(
            SensorSample{QByteArray(p, kAccelSize), kTimeScale / kTicks, int(i) / kTicks});
    }
    return samples;
}
