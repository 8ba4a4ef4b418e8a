#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <atomic>

#include "export/rm_export_job.h"

// Runs one export at a time on the global thread pool, behind the progress
// popup (percentage and time left) with Cancel; the window stays usable.
// The result comes back on the GUI thread.
class RMExportTask : public QObject {
    Q_OBJECT
public:
    static RMExportTask* instance();

    bool isRunning() const { return _running; }
    // False when an export runs already.
    bool start(const RMExportJob& job);
    void cancel();

Q_SIGNALS:
    void finished(const RMExportJob& job, const RMExportResult& result);

private Q_SLOTS:
    void _onProgress(double fraction);
    void _onDone(const RMExportResult& result);

private:
    RMExportTask();
    static void _cancelFromPopup();

    bool _running = false;             // GUI thread
    RMExportJob _job;                  // GUI thread; the worker has its own copy
    std::atomic<bool> _cancel{false};  // set by the GUI thread, read by the worker
    QElapsedTimer _clock;              // GUI thread
    int _shownPercent = -1;            // GUI thread
    int _cursorOverrides = 0;          // GUI thread: wait cursors the popup's Cancel set
};
