#pragma once

#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "export/rm_export_job.h"

class RMClipPlan;
class RMExportFile;

// Runs one export job on the calling thread (a worker): plans the clip,
// writes each output under a temporary name and names it only when whole.
// A cancel, a write failure or a vanished recording leaves no file under a
// final name.
class RMExportRunner {
public:
    // fraction 0..1 of the whole job.
    using Progress = std::function<void(double fraction)>;

    RMExportRunner(const RMExportJob& job, std::atomic<bool>* cancel = nullptr);

    RMExportResult run(const Progress& progress = Progress());

    // The folder holding the camera's settings file above a recording, else
    // the recording's folder: the card that an export must not write to.
    static QString cardOf(const QString& recording);
    // True when `folder` is `card` or lies inside it.
    static bool isInside(const QString& folder, const QString& card);
    // The clip's name on the camera's scheme: prefix, start, the first
    // recording's running number, channel ("NNF_240517-083012-000002_1.mp4").
    static QString clipName(const QString& firstRecording, const QDateTime& start, int channel);
    // The name stem of composites and the GPS track ("NNF_240517-083012").
    static QString stem(const QString& firstRecording, const QDateTime& start);

private:
    bool _check(RMExportResult* result);
    bool _original(RMExportResult* result);
    bool _composite(RMExportResult* result);
    // Writes the GPS track of the range from `fromMs` of each part (none
    // when no sample has a fix) into files.
    bool _gpx(const std::vector<qint64>& fromMs, const QString& target,
              std::vector<std::unique_ptr<RMExportFile>>* files, RMExportResult* result);
    bool _fail(RMExportResult* result, const QString& error);
    bool _cancelled() const { return _cancel && _cancel->load(); }
    bool _taken(const QStringList& targets, RMExportResult* result);
    void _report(double fraction);

    RMExportJob _job;
    std::atomic<bool>* _cancel;
    Progress _progress;
    double _base = 0;    // progress of the finished steps
    double _weight = 1;  // share of the current step
};
