#include "recordings/rm_sensor_data.h"

#include <QDebug>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "mp4/mov_format.h"

namespace {

// Offsets inside one 64-byte record (little-endian).
constexpr int kLatitude = 8;
constexpr int kLongitude = 16;
constexpr int kSpeed = 32;
constexpr int kYear = 34;
constexpr int kAux = 40;
constexpr int kFix = 41;
constexpr int kAcceleration = 51;
constexpr float kGPerUnit = 0.0078125f;  // 1/128 g

double le64Double(const unsigned char* p) {
    quint64 bits = 0;
    for (int i = 7; i >= 0; --i) {
        bits = (bits << 8) | p[i];
    }
    double value;
    memcpy(&value, &bits, sizeof value);
    return value;
}

// NMEA ddmm.mmmm to decimal degrees; truncation toward zero keeps the sign.
double nmeaToDegrees(double value) {
    const double degrees = std::trunc(value / 100.0);
    return degrees + (value - 100.0 * degrees) / 60.0;
}

}  // namespace

RMSensorData::RMSensorData(FILE* file, FILE_TYPE type) {
    if (type == FILE_TYPE_MP4) {
        loadMOV(file);
    }
}

RMSensorData::~RMSensorData() {
    _clear();
}

void RMSensorData::_clear() {
    free(sensor);
    sensor = nullptr;
    free(gps);
    gps = nullptr;
    hasGPS = false;
    gpsCount = 0;
    sensorCount = 0;
}

bool RMSensorData::loadMOV(FILE* file) {
    MOVFormat reader(file, READ_SENSOR, nullptr);
    loadMOVGPSNR(reader.sensorRecords(), reader.sensorRecordCount(), reader.gpsCount());
    return true;
}

bool RMSensorData::loadMOVGPSNR(const unsigned char* records, unsigned int count, int gpsSamples) {
    _clear();
    if (!records || count == 0) {
        return true;
    }
    // Only records 0, 10, 20, ... carry a GPS sample.
    const quint32 carriers = quint32((quint64(count) + 9) / 10);
    quint32 wanted = gpsSamples > 0 ? quint32(gpsSamples) : count / 10;
    wanted = qMin(wanted, carriers);

    sensor = static_cast<float*>(malloc(size_t(count) * 3 * sizeof(float)));
    gps = wanted > 0 ? static_cast<RMGPSSample*>(calloc(wanted, sizeof(RMGPSSample))) : nullptr;
    if (!sensor || (wanted > 0 && !gps)) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "out of memory for" << count << "records";
        _clear();
        return false;
    }
    sensorCount = count;
    gpsCount = wanted;

    quint32 fixed = 0;
    for (quint32 i = 0; i < count; ++i) {
        const unsigned char* record = records + size_t(i) * MOVFormat::kRecordSize;
        if (i % 10 == 0 && i / 10 < gpsCount) {
            RMGPSSample& sample = gps[i / 10];
            sample.year = quint16(record[kYear] + 2000);
            sample.month = record[kYear + 1];
            sample.day = record[kYear + 2];
            sample.hour = record[kYear + 3];
            sample.minute = record[kYear + 4];
            sample.second = record[kYear + 5];
            sample.speed = double(record[kSpeed] | (record[kSpeed + 1] << 8));
            sample.fixStatus = record[kFix];
            sample.gpsAux = record[kAux];
            sample.latitude = nmeaToDegrees(le64Double(record + kLatitude));
            sample.longitude = nmeaToDegrees(le64Double(record + kLongitude));
            fixed += sample.hasFix() ? 1 : 0;
        }
        // Each sample is the change of the raw axis values since the previous record.
        const unsigned char* previous = i > 0 ? record - MOVFormat::kRecordSize : record;
        for (int axis = 0; axis < 3; ++axis) {
            const int delta = int(qint8(record[kAcceleration + axis])) -
                              int(qint8(previous[kAcceleration + axis]));
            sensor[size_t(i) * 3 + size_t(axis)] = float(delta) * kGPerUnit;
        }
    }
    hasGPS = fixed > 0;
    if (!hasGPS) {
        free(gps);
        gps = nullptr;
    }
    return true;
}

void RMSensorData::clipWithDuration(qint64 durationMs) {
    const qint64 maxSensor = qMax<qint64>(0, durationMs / 100);
    const qint64 maxGps = qMax<qint64>(0, durationMs / 1000);
    if (qint64(sensorCount) > maxSensor) {
        sensorCount = quint32(maxSensor);
    }
    if (qint64(gpsCount) > maxGps) {
        gpsCount = quint32(maxGps);
    }
}

void RMSensorData::fixGPS() {
    if (gpsCount < 6 || !gps || gps[0].fixStatus != 0) {
        return;
    }
    for (quint32 k = 1; k <= 4; ++k) {
        if (gps[k].hasFix() && gps[k].speed > 20.0) {
            for (quint32 i = 0; i < k; ++i) {
                gps[i] = gps[k];
            }
            return;
        }
    }
}

qint64 RMSensorData::sampleIndex(qint64 position, qint64 duration, quint32 count) {
    if (duration <= 0 || count == 0) {
        return -1;
    }
    // The product may not fit 64 bits for a long recording with many samples.
    const qint64 clamped = qBound<qint64>(0, position, duration);
    const auto index = static_cast<qint64>(static_cast<__int128>(count) * clamped / duration);
    return qMin<qint64>(index, qint64(count) - 1);
}

const RMGPSSample* RMSensorData::gpsAt(qint64 position, qint64 duration) const {
    if (!hasGPS || !gps) {
        return nullptr;
    }
    const qint64 index = sampleIndex(position, duration, gpsCount);
    if (index < 0 || !gps[index].hasFix()) {
        return nullptr;
    }
    return &gps[index];
}
