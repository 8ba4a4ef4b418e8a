#pragma once

#include <QVector>
#include <cstdlib>
#include <memory>

#include "recordings/rm_sensor_data.h"
#include "recordings/rm_video_item_2ch.h"

// Recordings with hand-made samples for the displays that follow playback.
namespace sensor_fixture {

struct Point {
    double latitude;
    double longitude;
    double speed;  // km/h
    int fix = 1;
};

// One GPS sample per point and `gSamples` G samples whose axes are
// (k, -k, 0) / gSamples g.
inline RMSensorData* makeData(const QVector<Point>& points, int gSamples = 0) {
    auto* data = new RMSensorData(nullptr, FILE_TYPE(0));
    const int n = points.size();
    if (n > 0) {
        data->gps = static_cast<RMGPSSample*>(calloc(size_t(n), sizeof(RMGPSSample)));
        for (int i = 0; i < n; ++i) {
            data->gps[i].latitude = points[i].latitude;
            data->gps[i].longitude = points[i].longitude;
            data->gps[i].speed = points[i].speed;
            data->gps[i].fixStatus = quint8(points[i].fix);
        }
        data->gpsCount = quint32(n);
        data->hasGPS = true;
    }
    if (gSamples > 0) {
        data->sensor = static_cast<float*>(calloc(size_t(gSamples) * 3, sizeof(float)));
        for (int k = 0; k < gSamples; ++k) {
            data->sensor[k * 3] = float(k) / float(gSamples);
            data->sensor[k * 3 + 1] = -float(k) / float(gSamples);
        }
        data->sensorCount = quint32(gSamples);
    }
    return data;
}

// A recording (no files) that owns `data`.
inline std::unique_ptr<RMVideoItem> makeItem(RMSensorData* data) {
    std::unique_ptr<RMVideoItem> item(new RMVideoItem(QString(), false, nullptr));
    item->sensorData = data;
    return item;
}

// Degrees of latitude for a distance northwards.
inline double northOf(double metres) {
    return metres / 111319.49;
}

}  // namespace sensor_fixture
