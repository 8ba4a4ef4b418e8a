#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <atomic>
#include <functional>
#include <mutex>

#include "export/rm_evidence_report.h"
#include "export/rm_export_job.h"

// Makes the evidence pack of a range: a folder "evidence_<start>" in the
// output folder holding the untouched recordings the range touches
// (original/, copied whole with the backup's verified copier and hashed as
// they are read), the original-quality clips, the inset video with the
// stamp, the GPS track, the G-sensor samples, stills of both channels at the
// picked moment and at the largest G, the printable report, README.txt and
// SHA256SUMS. The copies, the inset encoding and the rest run on threads of
// their own at the same time. The pack is built in a hidden folder beside
// the target and takes its name only when complete and checked, so a
// cancel, a failed write or a vanished recording leaves nothing named
// evidence_*. Runs on the calling thread (a worker); never writes to the card.
class RMEvidencePack {
public:
    using Progress = std::function<void(double fraction)>;
    using File = RMEvidenceReportInput::File;

    RMEvidencePack(const RMExportJob& job, std::atomic<bool>* cancel = nullptr);

    // On success, result.files holds the pack's folder.
    RMExportResult run(const Progress& progress = Progress());

    // "evidence_20240517-083012" for a range starting at that camera time.
    static QString folderName(const QDateTime& start);
    // The recording files (front and rear) the job's range touches.
    static QStringList originals(const RMExportJob& job);

private:
    // Each returns false after _stop() with the cause.
    bool _check();
    bool _copyOriginals(const QString& folder, QList<File>* files);
    bool _clip(RMExportJob::Layout layout, const QString& folder, std::atomic<int>* permille,
               QStringList* written);
    bool _samples(const QString& folder, RMEvidenceReportInput* input, QList<File>* files);
    bool _stills(const QString& folder, RMEvidenceReportInput* input, QList<File>* files);
    bool _still(const QString& folder, const QString& name, const QDateTime& at, QImage* front,
                QImage* rear, QList<File>* files);
    bool _put(const QString& folder, const QString& name, const QByteArray& data,
              QList<File>* files);
    bool _hash(const QString& folder, const QString& path, QList<File>* files);
    bool _verify(const QString& folder, const QList<File>& files);
    bool _place(const QString& temp, const QString& target);

    // Records the first cause and stops the other threads. Any thread.
    void _stop(const QString& error);
    bool _stopped() const;
    bool _userCancelled() const { return _cancel && _cancel->load(); }
    void _report();

    RMExportJob _job;
    QDateTime _start;  // camera clock: the range, set before the threads start
    QDateTime _end;
    std::atomic<bool>* _cancel;
    std::atomic<bool> _abort{false};  // any thread: a part failed or the user cancelled
    std::mutex _lock;
    QString _error;                      // _lock: the first cause
    Progress _progress;                  // called under _lock
    std::atomic<int> _copyPermille{0};   // the copier thread's
    std::atomic<int> _cutPermille{0};    // the copier thread's
    std::atomic<int> _insetPermille{0};  // the encoder thread's
};
