#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class RMSensorData;

// Writes the sensor data of recordings in standard formats: the GPS track as
// GPX 1.1 (one track per recording, a new segment wherever the fix is lost),
// CSV or JSON, and the G-sensor samples as CSV or JSON. Numbers use a dot as
// decimal separator; positions have 6 decimals.
class RMTrackExport {
public:
    struct Recording {
        QString name;  // e.g. NNF_240517-083000-000001
        const RMSensorData* data = nullptr;
    };

    static QByteArray gpx(const QList<Recording>& recordings);
    static QByteArray gpsCsv(const QList<Recording>& recordings);
    static QByteArray gpsJson(const QList<Recording>& recordings);
    static QByteArray gsensorCsv(const QList<Recording>& recordings);
    static QByteArray gsensorJson(const QList<Recording>& recordings);

    // "2024-05-16T23:30:00Z", or empty when the sample's date is not valid.
    static QString utcOf(const RMSensorData& data, quint32 index);
    // A sample with a fix and a position that can exist (latitude within
    // ±90, longitude within ±180, both numbers); others count as no fix.
    static bool hasFix(const RMSensorData& data, quint32 index);
    static quint32 fixCount(const RMSensorData* data);
    // A CSV field, quoted when it holds a comma, a quote or a line break.
    static QString csvField(const QString& text);

private:
    static QString _number(double value, int decimals);
};
