#include "data/rm_video_file_list_loader.h"

#include <QThreadPool>

#include "data/rm_video_file_list.h"

namespace {
const int kLoaderPriority = 5;
}  // namespace

std::mutex& RMVideoFileListLoader::_lock() {
    static std::mutex lock;
    return lock;
}

RMVideoFileListLoader::RMVideoFileListLoader(const QList<QUrl>& urls) {
    std::lock_guard<std::mutex> guard(_lock());
    _urls = urls;
}

RMVideoFileListLoader::RMVideoFileListLoader(const QString& folder) {
    std::lock_guard<std::mutex> guard(_lock());
    _folder = folder;
}

void RMVideoFileListLoader::run() {
    QList<QUrl> urls;
    QString folder;
    {
        std::lock_guard<std::mutex> guard(_lock());
        urls = _urls;
        folder = _folder;
    }
    RMVideoFileList* list = RMVideoFileList::instance();
    if (!folder.isEmpty()) {
        RMVideoFileList::appendFolderToList(folder, urls, 0);
        Q_EMIT list->folderScanned(folder, urls.size());
        // A folder without recordings changes nothing.
        if (urls.isEmpty()) {
            return;
        }
    }
    list->loadFromList(urls);
}

void RMVideoFileListLoader::startForFolder(const QString& folder) {
    QThreadPool::globalInstance()->start(new RMVideoFileListLoader(folder), kLoaderPriority);
}
