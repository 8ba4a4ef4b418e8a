#include "export/rm_clip_gps.h"

#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "recordings/rm_gps_sample.h"
#include "recordings/rm_sensor_data.h"
#include "recordings/rm_track_export.h"
#include "recordings/rm_video_item_2ch.h"

RMClipGps::RMClipGps(const QList<RMClipPart>& parts) : _parts(parts) {
    for (const RMClipPart& part : parts) {
        FILE* file = std::fopen(QFile::encodeName(part.source.primary()).constData(), "rb");
        if (!file) {
            _data.emplace_back(new RMSensorData(nullptr, FILE_TYPE(0)));
            continue;
        }
        _data.emplace_back(new RMSensorData(file, FILE_TYPE_MP4));
        std::fclose(file);
        _data.back()->clipWithDuration(part.source.durationMs);
        _data.back()->fixGPS();
    }
}

RMClipGps::~RMClipGps() = default;

const RMGPSSample* RMClipGps::at(int part, qint64 positionMs) const {
    if (part < 0 || part >= int(_data.size())) {
        return nullptr;
    }
    return _data[size_t(part)]->gpsAt(positionMs, _parts[part].source.durationMs);
}

QByteArray RMClipGps::gpx(const std::vector<qint64>& fromMs,
                          const std::vector<qint64>& toMs) const {
    // Each part's samples of the range in a sensor data object of its own,
    // so the track export writes them as it writes a recording's.
    std::vector<std::unique_ptr<RMSensorData>> cut;
    QList<RMTrackExport::Recording> recordings;
    bool anyFix = false;
    for (size_t p = 0; p < _data.size() && p < fromMs.size() && p < toMs.size(); ++p) {
        const RMSensorData& data = *_data[p];
        // The whole seconds of the range, as in the clip's own sensor track.
        const quint32 first = quint32(qMax<qint64>(0, (fromMs[p] + 999) / 1000));
        const quint32 last = quint32(qMax<qint64>(0, toMs[p] / 1000));
        cut.emplace_back(new RMSensorData(nullptr, FILE_TYPE(0)));
        RMSensorData& part = *cut.back();
        const quint32 count =
            data.gps && last > first ? qMin(last, data.gpsCount) - qMin(first, data.gpsCount) : 0;
        if (count > 0) {
            part.gps = static_cast<RMGPSSample*>(calloc(count, sizeof(RMGPSSample)));
            std::memcpy(part.gps, data.gps + first, count * sizeof(RMGPSSample));
            part.gpsCount = count;
            part.hasGPS = true;
            anyFix = anyFix || RMTrackExport::fixCount(&part) > 0;
        }
        recordings << RMTrackExport::Recording{
            RMVideoItem::fileNameWithoutChannel(_parts[int(p)].source.primary()), &part};
    }
    return anyFix ? RMTrackExport::gpx(recordings) : QByteArray();
}
