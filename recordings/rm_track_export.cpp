#include "recordings/rm_track_export.h"

#include <QDate>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTime>
#include <QXmlStreamWriter>
#include <cmath>

#include "recordings/rm_sensor_data.h"

namespace {
const char kGpxNamespace[] = "http://www.topografix.com/GPX/1/1";
const char kExtensionNamespace[] = "urn:orvin-viewer:gpx-extensions:1";
// G-sensor samples come ten per second.
const int kSensorIntervalMs = 100;

quint32 gpsCountOf(const RMSensorData* data) {
    return data && data->gps ? data->gpsCount : 0;
}

// The reader leaves the GPS array out when no sample has a fix; the samples
// then carry nothing worth exporting.
quint32 sensorCountOf(const RMSensorData* data) {
    return data && data->sensor ? data->sensorCount : 0;
}
}  // namespace

bool RMTrackExport::hasFix(const RMSensorData& data, quint32 index) {
    return data.gps && index < data.gpsCount && data.gps[index].hasFix();
}

quint32 RMTrackExport::fixCount(const RMSensorData* data) {
    quint32 count = 0;
    for (quint32 i = 0; i < gpsCountOf(data); ++i) {
        count += hasFix(*data, i) ? 1 : 0;
    }
    return count;
}

QString RMTrackExport::csvField(const QString& text) {
    if (!text.contains(',') && !text.contains('"') && !text.contains('\n') &&
        !text.contains('\r')) {
        return text;
    }
    QString quoted = text;
    quoted.replace('"', "\"\"");
    return '"' + quoted + '"';
}

QString RMTrackExport::_number(double value, int decimals) {
    return QString::number(value, 'f', decimals);
}

QString RMTrackExport::utcOf(const RMSensorData& data, quint32 index) {
    if (!data.gps || index >= data.gpsCount) {
        return QString();
    }
    const RMGPSSample& s = data.gps[index];
    const QDate date(s.year, s.month, s.day);
    const QTime time(s.hour, s.minute, s.second);
    if (!date.isValid() || !time.isValid()) {
        return QString();
    }
    return date.toString(Qt::ISODate) + "T" + time.toString(Qt::ISODate) + "Z";
}

QByteArray RMTrackExport::gpx(const QList<Recording>& recordings) {
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeDefaultNamespace(kGpxNamespace);
    xml.writeNamespace(kExtensionNamespace, "orvin");
    xml.writeStartElement(kGpxNamespace, "gpx");
    xml.writeAttribute("version", "1.1");
    xml.writeAttribute("creator", "orvin-tool");
    for (const Recording& recording : recordings) {
        xml.writeStartElement(kGpxNamespace, "trk");
        xml.writeTextElement(kGpxNamespace, "name", recording.name);
        bool inSegment = false;
        for (quint32 i = 0; i < gpsCountOf(recording.data); ++i) {
            if (!hasFix(*recording.data, i)) {
                if (inSegment) {
                    xml.writeEndElement();  // trkseg: the fix is lost here
                    inSegment = false;
                }
                continue;
            }
            if (!inSegment) {
                xml.writeStartElement(kGpxNamespace, "trkseg");
                inSegment = true;
            }
            const RMGPSSample& s = recording.data->gps[i];
            xml.writeStartElement(kGpxNamespace, "trkpt");
            xml.writeAttribute("lat", _number(s.latitude, 6));
            xml.writeAttribute("lon", _number(s.longitude, 6));
            const QString utc = utcOf(*recording.data, i);
            if (!utc.isEmpty()) {
                xml.writeTextElement(kGpxNamespace, "time", utc);
            }
            xml.writeStartElement(kGpxNamespace, "extensions");
            xml.writeTextElement(kExtensionNamespace, "speed_kmh", _number(s.speed, 0));
            xml.writeEndElement();  // extensions
            xml.writeEndElement();  // trkpt
        }
        if (inSegment) {
            xml.writeEndElement();  // trkseg
        }
        xml.writeEndElement();  // trk
    }
    xml.writeEndElement();  // gpx
    xml.writeEndDocument();
    return out;
}

QByteArray RMTrackExport::gpsCsv(const QList<Recording>& recordings) {
    QByteArray out = "recording,index,utc,latitude,longitude,speed_kmh,fix\n";
    for (const Recording& recording : recordings) {
        for (quint32 i = 0; i < gpsCountOf(recording.data); ++i) {
            const RMGPSSample& s = recording.data->gps[i];
            // Joined, not formatted: a name may hold "%1".
            const QStringList fields = {csvField(recording.name),
                                        QString::number(i),
                                        utcOf(*recording.data, i),
                                        _number(s.latitude, 6),
                                        _number(s.longitude, 6),
                                        _number(s.speed, 0),
                                        hasFix(*recording.data, i) ? "1" : "0"};
            out += fields.join(',').toUtf8() + '\n';
        }
    }
    return out;
}

QByteArray RMTrackExport::gpsJson(const QList<Recording>& recordings) {
    QJsonArray list;
    for (const Recording& recording : recordings) {
        QJsonArray samples;
        for (quint32 i = 0; i < gpsCountOf(recording.data); ++i) {
            const RMGPSSample& s = recording.data->gps[i];
            samples.append(QJsonObject{
                {"index", int(i)},
                {"utc", utcOf(*recording.data, i)},
                {"latitude", _number(s.latitude, 6).toDouble()},
                {"longitude", _number(s.longitude, 6).toDouble()},
                {"speed_kmh", s.speed},
                {"fix", hasFix(*recording.data, i) ? 1 : 0},
            });
        }
        list.append(QJsonObject{{"recording", recording.name}, {"samples", samples}});
    }
    return QJsonDocument(QJsonObject{{"recordings", list}}).toJson();
}

QByteArray RMTrackExport::gsensorCsv(const QList<Recording>& recordings) {
    QByteArray out = "recording,index,offset_ms,x,y,z\n";
    for (const Recording& recording : recordings) {
        const float* axes = recording.data ? recording.data->sensor : nullptr;
        for (quint32 i = 0; i < sensorCountOf(recording.data); ++i) {
            const QStringList fields = {csvField(recording.name),
                                        QString::number(i),
                                        QString::number(qint64(i) * kSensorIntervalMs),
                                        _number(axes[3 * i], 7),
                                        _number(axes[3 * i + 1], 7),
                                        _number(axes[3 * i + 2], 7)};
            out += fields.join(',').toUtf8() + '\n';
        }
    }
    return out;
}

QByteArray RMTrackExport::gsensorJson(const QList<Recording>& recordings) {
    QJsonArray list;
    for (const Recording& recording : recordings) {
        QJsonArray samples;
        const float* axes = recording.data ? recording.data->sensor : nullptr;
        for (quint32 i = 0; i < sensorCountOf(recording.data); ++i) {
            samples.append(QJsonObject{
                {"index", int(i)},
                {"offset_ms", qint64(i) * kSensorIntervalMs},
                {"x", double(axes[3 * i])},
                {"y", double(axes[3 * i + 1])},
                {"z", double(axes[3 * i + 2])},
            });
        }
        list.append(QJsonObject{{"recording", recording.name}, {"samples", samples}});
    }
    return QJsonDocument(QJsonObject{{"recordings", list}}).toJson();
}
