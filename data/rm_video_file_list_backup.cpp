#include "data/rm_video_file_list_backup.h"

#include <QThreadPool>

namespace {
const int kBackupPriority = 5;
}  // namespace

std::mutex& RMVideoFileListBackup::_lock() {
    static std::mutex lock;
    return lock;
}

RMVideoFileListBackup::RMVideoFileListBackup(const QString& folder)
    : _folder(folder), _jobs(RMVideoFileList::instance()->checkedJobs()) {}

void RMVideoFileListBackup::run() {
    RMVideoFileList::instance()->backup(_folder, _jobs);
}

void RMVideoFileListBackup::start(const QString& folder) {
    QThreadPool::globalInstance()->start(new RMVideoFileListBackup(folder), kBackupPriority);
}
