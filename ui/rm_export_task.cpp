#include "ui/rm_export_task.h"

#include <QApplication>
#include <QDir>
#include <QProgressBar>
#include <QRunnable>
#include <QThreadPool>
#include <QtDebug>

#include "app/rm_language.h"
#include "export/rm_evidence_pack.h"
#include "export/rm_export_runner.h"
#include "settings/cfg.h"
#include "widgets/rm_dialog_progress.h"

RMExportTask* RMExportTask::instance() {
    static RMExportTask* task = new RMExportTask();
    return task;
}

RMExportTask::RMExportTask() {
    qRegisterMetaType<RMExportJob>("RMExportJob");
    qRegisterMetaType<RMExportResult>("RMExportResult");
}

void RMExportTask::_cancelFromPopup() {
    ++instance()->_cursorOverrides;  // the popup set the wait cursor
    instance()->cancel();
}

void RMExportTask::cancel() {
    _cancel = true;
}

bool RMExportTask::start(const RMExportJob& job) {
    if (_running) {
        return false;
    }
    _running = true;
    _job = job;
    _cancel = false;
    _shownPercent = -1;
    _clock.start();
    RMDialogProgress* popup = RMDialogProgress::start(
        RMLanguage::instance()->text("クリップ書き出し", "Exporting a clip"), true, false);
    popup->progressBar()->setRange(0, 100);
    popup->progressBar()->setTextVisible(true);
    popup->progressBar()->setFormat("%p%");
    RMDialogProgress::setCancelHandler(&RMExportTask::_cancelFromPopup);
    QThreadPool::globalInstance()->start(QRunnable::create([this, job] {
        const auto progress = [this](double fraction) {
            QMetaObject::invokeMethod(this, "_onProgress", Qt::QueuedConnection,
                                      Q_ARG(double, fraction));
        };
        RMExportResult result;
        if (job.layout == RMExportJob::LAYOUT_EVIDENCE) {
            // The model name is read here, off the GUI thread.
            RMExportJob pack = job;
            pack.model = CFG::modelName(QDir(job.cardRoot).filePath("__SYSTEM.CFG"));
            result = RMEvidencePack(pack, &_cancel).run(progress);
        } else {
            result = RMExportRunner(job, &_cancel).run(progress);
        }
        QMetaObject::invokeMethod(this, "_onDone", Qt::QueuedConnection,
                                  Q_ARG(RMExportResult, result));
    }));
    return true;
}

void RMExportTask::_onProgress(double fraction) {
    RMDialogProgress* popup = RMDialogProgress::current();
    const int percent = int(fraction * 100);
    if (!popup || !_running || percent == _shownPercent) {
        return;
    }
    _shownPercent = percent;
    popup->progressBar()->setValue(percent);
    if (fraction > 0.02) {
        const qint64 left = qint64(_clock.elapsed() * (1 - fraction) / fraction / 1000);
        const QString time = QString("%1:%2").arg(left / 60).arg(left % 60, 2, 10, QChar('0'));
        popup->progressBar()->setFormat("%p%   " +
                                        RMLanguage::instance()->text("残り ", "time left ") + time);
    }
}

void RMExportTask::_onDone(const RMExportResult& result) {
    _running = false;
    RMDialogProgress::setCancelHandler(nullptr);
    RMDialogProgress::stop();
    // The popup's Cancel shows the wait cursor until the work stops.
    for (; _cursorOverrides > 0; --_cursorOverrides) {
        QApplication::restoreOverrideCursor();
    }
    qInfo() << Q_FUNC_INFO << __LINE__ << result.ok << result.error << result.files;
    Q_EMIT finished(_job, result);
}
