#include "data/rm_video_file_list_loader.h"

#include <QThreadPool>

#include "data/rm_video_file_list.h"

namespace {
const int kLoaderPriority = 5;
}  // namespace

RMVideoFileListLoader::RMVideoFileListLoader(const QList<QUrl>& urls) : _urls(urls) {}

RMVideoFileListLoader::RMVideoFileListLoader(const QString& folder) : _folder(folder) {}

void RMVideoFileListLoader::run() {
    RMVideoFileList* list = RMVideoFileList::instance();
    if (!_folder.isEmpty()) {
        RMVideoFileList::appendFolderToList(_folder, _urls, 0);
        Q_EMIT list->folderScanned(_folder, _urls.size());
        // A folder without recordings changes nothing.
        if (_urls.isEmpty()) {
            return;
        }
    }
    list->loadFromList(_urls);
}

void RMVideoFileListLoader::startForFolder(const QString& folder) {
    QThreadPool::globalInstance()->start(new RMVideoFileListLoader(folder), kLoaderPriority);
}
