#pragma once

#include <QString>
#include <QtGlobal>
#include <functional>

class RMClipPlan;
class RMExportFile;

// Writes the original-quality clip of one channel: the first recording's
// "ftyp" and "usea" boxes, the planned samples byte for byte in one media
// data box, and a movie box that indexes them, so the clip opens as a
// recording of the camera. Reads run over neighbouring samples at once.
class RMClipCut {
public:
    using Progress = std::function<bool(qint64 done, qint64 total)>;  // false: stop

    static bool write(const RMClipPlan& plan, RMExportFile* file, const Progress& progress,
                      QString* error);

private:
    static bool _header(const RMClipPlan& plan, QByteArray* out, QString* error);
    static bool _copySamples(const RMClipPlan& plan, RMExportFile* file, const Progress& progress,
                             QString* error);
};
