#include "data/rm_video_file_list_backup.h"

#include <QThreadPool>

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

bool RMVideoFileListBackup::start(const QString& folder) {
    RMVideoFileList* list = RMVideoFileList::instance();
    if (!list->reserveBackup()) {
        return false;
    }
    QThreadPool::globalInstance()->start(new RMVideoFileListBackup(folder), kBackupPriority);
    return true;
}
