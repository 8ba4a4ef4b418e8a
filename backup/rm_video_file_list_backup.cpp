#include "backup/rm_video_file_list_backup.h"

#include <QDir>
#include <QFileInfo>
#include <QThreadPool>
#include <QtDebug>

#include "backup/rm_backup_pipeline.h"
#include "backup/rm_file_copier.h"
#include "backup/rm_overwrite.h"

namespace {
const int kBackupPriority = 5;
}  // namespace

std::mutex& RMVideoFileListBackup::_lock() {
    static std::mutex lock;
    return lock;
}

RMVideoFileListBackup::RMVideoFileListBackup(const QString& folder) {
    std::lock_guard<std::mutex> guard(_lock());
    _folder = folder;
    _jobs = RMVideoFileList::instance()->checkedJobs();
}

void RMVideoFileListBackup::run() {
    QString folder;
    QList<RMBackupJob> jobs;
    {
        std::lock_guard<std::mutex> guard(_lock());
        folder = _folder;
        jobs = _jobs;
    }
    // The slot was reserved by start().
    RMVideoFileList::instance()->runReservedBackup(folder, jobs);
}

bool RMVideoFileListBackup::start(const QString& folder, QString* refusal) {
    RMVideoFileList* list = RMVideoFileList::instance();
    const QString self = RMVideoFileList::sourceInFolder(folder, list->checkedJobs());
    if (!self.isEmpty()) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "the target holds the source" << self;
        if (refusal) {
            *refusal = self;
        }
        return false;
    }
    if (!list->reserveBackup()) {
        return false;
    }
    QThreadPool::globalInstance()->start(new RMVideoFileListBackup(folder), kBackupPriority);
    return true;
}

// The backup half of the recording list: declared with the list, whose
// signals report it, and built here so that the list needs nothing of the
// backup layer.

bool RMVideoFileList::stopWorkers(int timeoutMs) {
    RMOverwrite::requestCancel();
    instance()->cancelLoads();
    const bool ended = QThreadPool::globalInstance()->waitForDone(timeoutMs);
    if (!ended) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "workers still running after" << timeoutMs << "ms";
    }
    return ended;
}

QString RMVideoFileList::backupTarget(const QString& folder, const QString& source) {
    return QDir::cleanPath(folder + QDir::separator() + QFileInfo(source).fileName());
}

QString RMVideoFileList::sourceInFolder(const QString& folder, const QList<RMBackupJob>& jobs) {
    for (const RMBackupJob& job : jobs) {
        for (const QString& source : {job.frontPath, job.rearPath}) {
            const QString existing = QFileInfo(backupTarget(folder, source)).canonicalFilePath();
            if (!source.isEmpty() && !existing.isEmpty() &&
                existing == QFileInfo(source).canonicalFilePath()) {
                return source;
            }
        }
    }
    return QString();
}

QString RMVideoFileList::overwriteDisplayName(const QString& target) {
    const QFileInfo info(target);
    QStringList pieces = info.baseName().split('-', Qt::SkipEmptyParts);
    if (pieces.size() == 3) {
        pieces.removeLast();
    }
    return pieces.join('-') + "." + info.suffix();
}

bool RMVideoFileList::reserveBackup() {
    return !_backupRunning.exchange(true);
}

void RMVideoFileList::backup(QString folder, const QList<RMBackupJob>& jobs) {
    if (!reserveBackup()) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "a backup is running; refused" << folder;
        return;
    }
    runReservedBackup(folder, jobs);
}

void RMVideoFileList::runReservedBackup(QString folder, const QList<RMBackupJob>& jobs) {
    if (jobs.isEmpty()) {
        _backupRunning = false;
        return;
    }
    RMOverwrite::reset();
    Q_EMIT backupStarted();
    // Temporary files of an earlier backup that a crash or a pulled card
    // left behind.
    RMFileCopier::removeLeftovers(folder);
    int lastPercent = -1;
    QStringList refused;
    RMBackupPipeline pipeline([] { return RMOverwrite::isCancelled(); });
    const int count = jobs.size();
    int files = 0;
    int queued = 0;
    for (const RMBackupJob& job : jobs) {
        files += (job.frontPath.isEmpty() ? 0 : 1) + (job.rearPath.isEmpty() ? 0 : 1);
    }
    for (int i = 0; i < count && !RMOverwrite::isCancelled(); ++i) {
        for (const QString& source : {jobs[i].frontPath, jobs[i].rearPath}) {
            if (source.isEmpty() || RMOverwrite::isCancelled()) {
                continue;
            }
            const QString target = backupTarget(folder, source);
            if (!sourceInFolder(folder, {RMBackupJob{source, QString()}}).isEmpty()) {
                // Copying a file onto itself would rewrite the card's file.
                refused << QFileInfo(source).fileName() +
                               ": the target folder is the recording's own folder";
                continue;
            }
            if (_backupOverwrite(target, source, count - i, &pipeline)) {
                ++queued;
            }
        }
        RMOverwrite::nextRecording();
        const int percent = int(double(i + 1) / count * kProgressMaximum);
        if (percent != lastPercent) {
            lastPercent = percent;
            Q_EMIT updateProgress(percent);
        }
    }
    const QStringList copyFailed = pipeline.finish();
    const QStringList failed = refused + copyFailed;
    if (!failed.isEmpty()) {
        Q_EMIT backupFailed(failed);
    }
    // A refused file was never queued: it counts as failed, not as skipped.
    const int copied = qMax(0, queued - int(copyFailed.size()));
    Q_EMIT backupSummary(folder, copied, files - queued - int(refused.size()), int(failed.size()));
    // Free before the end is announced, so the window can offer the next.
    _backupRunning = false;
    Q_EMIT backupEnd();
}

bool RMVideoFileList::_backupOverwrite(QString target, QString source, int remaining,
                                       RMBackupPipeline* pipeline) {
    if (QFileInfo::exists(target)) {
        if (RMOverwrite::gCurrent.load() & RMOverwrite::OVERWRITE_ASK) {
            pipeline->settle();
            RMOverwrite::ask(overwriteDisplayName(target), remaining);
            Q_EMIT backupPaused(true);
            const int decision = RMOverwrite::waitForAnswer();
            Q_EMIT backupPaused(false);
            if (decision & RMOverwrite::OVERWRITE_CANCEL) {
                return false;
            }
        }
        const int decision = RMOverwrite::gCurrent.load();
        if (!(decision & RMOverwrite::OVERWRITE_REPLACE)) {
            return false;  // skipped, or cancelled meanwhile
        }
    }
    pipeline->copy(source, target);
    return true;
}
