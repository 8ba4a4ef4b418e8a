#include "recordings/rm_video_file_list_loader.h"

#include <QThreadPool>

#include "recordings/rm_video_file_list.h"

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
    _generation = RMVideoFileList::instance()->newLoadRequest();
}

RMVideoFileListLoader::RMVideoFileListLoader(const QString& folder) {
    std::lock_guard<std::mutex> guard(_lock());
    _folder = folder;
    _generation = RMVideoFileList::instance()->newLoadRequest();
}

void RMVideoFileListLoader::run() {
    QList<QUrl> urls;
    QString folder;
    quint64 generation = 0;
    {
        std::lock_guard<std::mutex> guard(_lock());
        urls = _urls;
        folder = _folder;
        generation = _generation;
    }
    RMVideoFileList* list = RMVideoFileList::instance();
    if (!folder.isEmpty()) {
        RMVideoFileList::appendFolderToList(folder, urls, 0);
        Q_EMIT list->folderScanned(folder, urls.size());
        // A folder without recordings changes nothing, and a superseded
        // request need not start.
        if (urls.isEmpty() || !list->isNewestLoad(generation)) {
            return;
        }
    }
    list->loadFromList(urls, generation);
}

void RMVideoFileListLoader::startForFolder(const QString& folder) {
    QThreadPool::globalInstance()->start(new RMVideoFileListLoader(folder), kLoaderPriority);
}
