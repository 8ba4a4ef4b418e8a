#include "export/rm_evidence_samples.h"

#include "export/rm_clip_gps.h"
#include "recordings/rm_sensor_data.h"
#include "recordings/rm_track_export.h"
#include "recordings/rm_video_item_2ch.h"

RMEvidenceSamples::RMEvidenceSamples(const QList<RMClipPart>& parts, const RMClipGps& gps) {
    for (int p = 0; p < parts.size(); ++p) {
        const RMClipPart& part = parts[p];
        const RMSensorData* data = gps.data(p);
        const QString name = RMVideoItem::fileNameWithoutChannel(part.source.primary());
        // The whole seconds of the range, as the GPX file of the range has them.
        const qint64 first = qMax<qint64>(0, (part.fromMs + 999) / 1000);
        const qint64 last = qMin<qint64>(part.toMs / 1000, data->gps ? data->gpsCount : 0);
        for (qint64 i = first; i < last; ++i) {
            _gps.append({RMClipRange::clockAt(part.source, i * 1000), data->gps[i]});
        }
        for (quint32 i = 0; data->sensor && i < data->sensorCount; ++i) {
            const qint64 ms = qint64(i) * kGIntervalMs;
            if (ms < part.fromMs || ms > part.toMs) {
                continue;
            }
            const float* axes = data->sensor + 3 * i;
            _g.append({RMClipRange::clockAt(part.source, ms), {axes[0], axes[1], axes[2]}});
            _gRecording << name;
            _gIndex << i;
        }
    }
}

QByteArray RMEvidenceSamples::gCsv() const {
    QByteArray out = "recording,index,offset_ms,camera_clock,x,y,z\n";
    for (int i = 0; i < _g.size(); ++i) {
        const RMEvidenceG& s = _g[i];
        const QStringList fields = {RMTrackExport::csvField(_gRecording[i]),
                                    QString::number(_gIndex[i]),
                                    QString::number(qint64(_gIndex[i]) * kGIntervalMs),
                                    s.clock.toString("yyyy-MM-dd HH:mm:ss.zzz"),
                                    QString::number(double(s.axis[0]), 'f', 7),
                                    QString::number(double(s.axis[1]), 'f', 7),
                                    QString::number(double(s.axis[2]), 'f', 7)};
        out += fields.join(',').toUtf8() + '\n';
    }
    return out;
}
