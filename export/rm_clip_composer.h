#pragma once

#include <QList>
#include <QRect>
#include <QSize>
#include <QString>
#include <functional>
#include <memory>

#include "export/rm_clip_range.h"
#include "export/rm_export_job.h"

class RMClipGps;
class RMExportFile;

// Writes one H.264 video of a range: the front picture with the rear one in
// a corner (inset), or both side by side at one height, each picture the one
// the panes show at that moment (the rear picture shown at the front
// picture's time), frame-exact from the picture shown at the start to the
// one shown at the end, with the front's sound copied and, when asked, the
// stamp burned in.
class RMClipComposer {
public:
    using Progress = std::function<bool(qint64 done, qint64 total)>;  // false: stop

    RMClipComposer(const RMExportJob& job, const RMClipGps* gps);
    ~RMClipComposer();

    bool write(RMExportFile* file, const Progress& progress, QString* error);

    // Geometry for a front and a rear picture size.
    static QSize outputSize(RMExportJob::Layout layout, QSize front, QSize rear);
    static QRect rearRect(const RMExportJob& job, QSize output, QSize rear);

    qint64 framesWritten() const { return _frames; }

private:
    struct State;
    bool _open(RMExportFile* file, QString* error);
    bool _part(int index, const Progress& progress, QString* error);
    bool _audio(int index, qint64 untilMs, QString* error);
    bool _encode(bool flush, QString* error);
    bool _finish(QString* error);

    RMExportJob _job;
    const RMClipGps* _gps;
    std::unique_ptr<State> _s;
    qint64 _frames = 0;
};
