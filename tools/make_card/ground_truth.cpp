#include "ground_truth.h"

#include <QDateTime>
#include <cmath>

#include "sensor_records.h"

namespace {
// Degrees from the stored degrees-and-minutes value, as a reader computes them.
double fromNmea(double nmea) {
    const double whole = std::trunc(nmea / 100);
    return whole + (nmea - whole * 100) / 60;
}
}  // namespace

QByteArray GroundTruth::header() {
    return "recording,index,utc,latitude,longitude,speed_kmh,fix\n";
}

QByteArray GroundTruth::rows(const QString& recording, const std::vector<DriveSample>& ticks) {
    QByteArray out;
    int index = 0;
    for (size_t i = 0; i < ticks.size(); i += DriveModel::kTicksPerSecond, ++index) {
        const DriveSample& s = ticks[i];
        const double latitude = s.fix ? fromNmea(SensorRecords::toNmea(s.latitude)) : 0.0;
        const double longitude = s.fix ? fromNmea(SensorRecords::toNmea(s.longitude)) : 0.0;
        const long speed = s.fix ? std::lround(s.speedKmh) : 0;
        const QString utc =
            QDateTime::fromMSecsSinceEpoch(s.utcMs / 1000 * 1000, Qt::UTC).toString(Qt::ISODate);
        out += QString("%1,%2,%3,%4,%5,%6,%7\n")
                   .arg(recording)
                   .arg(index)
                   .arg(utc)
                   .arg(latitude, 0, 'f', 6)
                   .arg(longitude, 0, 'f', 6)
                   .arg(speed)
                   .arg(s.fix ? 1 : 0)
                   .toUtf8();
    }
    return out;
}
