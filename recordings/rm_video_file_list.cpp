#include "recordings/rm_video_file_list.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QtDebug>
#include <algorithm>
#include <cstdio>

#include "mp4/rm_mp4_index.h"

QStringList RMVideoFileList::fileFilters = QStringList() << QString("*.") + "mp4";
int RMVideoFileList::n_lastPercent = -1;

namespace {
const int kMaxFolderDepth = 4;

}  // namespace

RMVideoFileList* RMVideoFileList::instance() {
    static RMVideoFileList* list = new RMVideoFileList();
    return list;
}

RMVideoFileList::RMVideoFileList() {
    qRegisterMetaType<RMVideoItem*>("RMVideoItem*");
    // The list belongs to the GUI thread wherever it is first asked for; a
    // new object may be pushed from the thread that made it.
    if (QCoreApplication* app = QCoreApplication::instance()) {
        moveToThread(app->thread());
    }
}

RMVideoFileList::~RMVideoFileList() {
    qDeleteAll(_handover);
    qDeleteAll(_allItems);
}

void RMVideoFileList::appendFolderToList(QString folder, QList<QUrl>& urls, int depth) {
    const QDir dir(folder);
    if (depth <= kMaxFolderDepth) {
        for (const QString& name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            appendFolderToList(QDir::cleanPath(folder + QDir::separator() + name), urls, depth + 1);
        }
    }
    const QString clean = QDir::cleanPath(folder);
    QDir files(clean);
    files.setNameFilters(fileFilters);
    // Without QDir::CaseSensitive the suffix matches in any letter case.
    files.setFilter(QDir::Files);
    for (const QString& name : files.entryList()) {
        const QString path = clean + QDir::separator() + name;
        if (RMVideoItem::IsFeasible(path) != GROUP_NONE) {
            urls.append(QUrl::fromLocalFile(path));
        }
    }
}

QString RMVideoFileList::groupTypeFromFilePath(QString path, GROUP_TYPE* group) {
    return RMVideoItem::groupFromFilePath(path, group);
}

QString RMVideoFileList::_checkChannelInfo(QString path, bool* isRear) {
    const QString name = QFileInfo(path).baseName();
    if (isRear) {
        *isRear = name.endsWith("_2", Qt::CaseInsensitive);
    }
    return name.left(name.size() - 2);
}

int RMVideoFileList::filterClass(int group) {
    switch (group) {
        case 0:
        case 2:
        case 3:
            return FILTER_NORMAL;
        case 1:
        case 4:
        case 5:
            return FILTER_EVENT;
        default:
            return 0;
    }
}

QString RMVideoFileList::_nameKey(const QString& path) {
    return RMVideoItem::fileNameWithoutChannel(path).toUpper();
}

bool RMVideoFileList::itemExist(QString path) const {
    return _names.contains(_nameKey(path));
}

quint64 RMVideoFileList::newLoadRequest() {
    return _loadGeneration.fetch_add(1) + 1;
}

void RMVideoFileList::loadFromList(QList<QUrl> urls) {
    loadFromList(urls, newLoadRequest());
}

void RMVideoFileList::loadFromList(QList<QUrl> urls, quint64 generation) {
    Q_EMIT listUpdateStarted(true);
    if (urls.isEmpty()) {
        Q_EMIT listUpdateEnd(true);
        return;
    }
    // Built without any lock: the files are read here, and a newer request
    // must not wait for this one.
    Build build;
    int lastPercent = -1;
    const int count = urls.size();
    for (int i = 1; i <= count; ++i) {
        if (!isNewestLoad(generation)) {
            break;  // superseded: the build is freed below
        }
        const int percent = int(double(i) / count * kProgressMaximum);
        if (percent != lastPercent) {
            lastPercent = percent;
            Q_EMIT updateProgress(percent);
        }
        const QString path = urls.at(i - 1).toLocalFile();
        QDateTime dateTime;
        const int group = RMVideoItem::IsFeasible(path, &dateTime);
        if (group != GROUP_NONE) {
            _addItem(&build, path, &dateTime, GROUP_TYPE(group));
        }
    }
    if (!isNewestLoad(generation)) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "load" << generation << "superseded";
        Q_EMIT listUpdateEnd(true);
        return;
    }
    _countLeftOut(&build, urls);
    std::stable_sort(build.items.begin(), build.items.end(), RMVideoItemCompare);
    _handOver(&build, generation);
    if (QThread::currentThread() == thread()) {
        _installLoadedItems();
    } else {
        QMetaObject::invokeMethod(this, "_installLoadedItems", Qt::QueuedConnection);
    }
}

// Files with a recording's name whose recording is not listed at all (cut
// off by a power loss, or not measurable), and every file cut off, listed
// or not: a cut-off front file beside a healthy rear one is named too. (A
// rear file without a picture beside a listed front file is not counted:
// its recording is there.)
void RMVideoFileList::_countLeftOut(Build* build, const QList<QUrl>& urls) {
    for (const QUrl& url : urls) {
        const QString path = QDir::cleanPath(url.toLocalFile());
        if (RMVideoItem::IsFeasible(path) == GROUP_NONE) {
            continue;
        }
        if (_isCutOff(build, path)) {
            build->cutOff << path;
        }
        if (!build->names.contains(_nameKey(path))) {
            build->leftOut << path;
        }
    }
}

// Puts a built list where the GUI thread takes it; a list still waiting
// there from an older request is freed.
void RMVideoFileList::_handOver(Build* build, quint64 generation) {
    QList<RMVideoItem*> stale;
    {
        // Under a lock of our own, so the hand-over is visible to thread
        // checkers that cannot see Qt's event queue.
        std::lock_guard<std::mutex> handover(_handoverMutex);
        if (generation < _handoverGeneration) {
            return;  // the build frees its items
        }
        for (RMVideoItem* item : qAsConst(build->items)) {
            item->moveToThread(thread());
        }
        stale.swap(_handover);
        _handover = build->items;
        _handoverReady = true;
        _handoverGeneration = generation;
        _handoverLeftOut = build->leftOut;
        _handoverCutOff = build->cutOff;
    }
    build->items.clear();
    for (RMVideoItem* item : qAsConst(stale)) {
        item->deleteLater();  // they live on the GUI thread now
    }
}

void RMVideoFileList::_installLoadedItems() {
    QList<RMVideoItem*> items;
    quint64 generation = 0;
    QStringList leftOut;
    QStringList cutOff;
    {
        std::lock_guard<std::mutex> handover(_handoverMutex);
        if (!_handoverReady) {
            return;  // taken by an earlier call
        }
        _handoverReady = false;
        items.swap(_handover);
        generation = _handoverGeneration;
        leftOut = _handoverLeftOut;
        cutOff = _handoverCutOff;
    }
    if (!isNewestLoad(generation)) {
        // A newer request is on its way; this list is already stale.
        qDeleteAll(items);
        Q_EMIT listUpdateEnd(true);
        return;
    }
    const QList<RMVideoItem*> old = _allItems;
    _allItems = items;
    _leftOutFiles = leftOut;
    _cutOff = cutOff;
    _names.clear();
    for (RMVideoItem* item : qAsConst(_allItems)) {
        _names.insert(_nameKey(item->primaryPath()), item);
    }
    _filter = FILTER_NORMAL | FILTER_EVENT;
    _currentItem = nullptr;
    _updateItemsByFilter();
    // Old items may still be named in queued events; free them afterwards.
    for (RMVideoItem* item : old) {
        item->deleteLater();
    }
    Q_EMIT listUpdateEnd(true);
}

bool RMVideoFileList::_isCutOff(Build* build, const QString& path) {
    const auto known = build->isCutOff.constFind(path);
    if (known != build->isCutOff.constEnd()) {
        return known.value();
    }
    const bool cut = RMMp4Index::isCutOff(path);
    build->isCutOff.insert(path, cut);
    return cut;
}

bool RMVideoFileList::_addItem(Build* build, QString path, QDateTime* dateTime, GROUP_TYPE group) {
    const QString clean = QDir::cleanPath(path);
    bool isRear = false;
    _checkChannelInfo(clean, &isRear);
    if (build->names.contains(_nameKey(clean))) {
        return false;
    }
    // A cut-off file cannot be played, even when its movie box was cut
    // short after a whole movie header that gives it a duration: it is
    // named as cut off instead, and its other channel lists the recording.
    if (_isCutOff(build, clean)) {
        return false;
    }
    auto* item = new RMVideoItem(clean, isRear, dateTime);
    if (item->durationMs == 0) {
        delete item;
        return false;
    }
    item->groupType = group;
    _addOtherChannelFile(item);
    item->testBitrate2CH();
    if (item->primaryPath().isEmpty()) {
        delete item;
        return false;
    }
    build->items.append(item);
    build->names.insert(_nameKey(item->primaryPath()), item);
    return true;
}

void RMVideoFileList::_addOtherChannelFile(RMVideoItem* item) {
    const QString path = item->primaryPath();
    const QFileInfo info(path);
    const QString dir = info.absolutePath();
    bool isRear = false;
    const QString base = _checkChannelInfo(path, &isRear);
    const QString partner = base + (isRear ? "_1.mp4" : "_2.mp4");

    QStringList candidates;
    candidates << QDir::cleanPath(dir + QDir::separator() + partner);
    const QString dirName = QFileInfo(dir).fileName();
    if (dirName == "1" || dirName == "2") {
        const QString other = dirName == "1" ? "2" : "1";
        candidates << QDir::cleanPath(QFileInfo(dir).path() + QDir::separator() + other +
                                      QDir::separator() + partner);
    }
    for (const QString& candidate : candidates) {
        if (!QFileInfo::exists(candidate)) {
            continue;
        }
        if (isRear) {
            item->frontPath = candidate;
        } else {
            item->rearPath = candidate;
        }
    }
}

void RMVideoFileList::setFilter(FILTER filter, bool on) {
    if (on) {
        _filter |= filter;
    } else {
        _filter &= ~filter;
    }
    _updateItemsByFilter();
}

void RMVideoFileList::_updateItemsByFilter() {
    Q_EMIT listUpdateStarted(false);
    _shownItems.clear();
    for (RMVideoItem* item : qAsConst(_allItems)) {
        item->checked = false;
        const int cls = filterClass(item->groupType);
        if ((_filter & cls) == cls) {
            _shownItems.append(item);
        }
    }
    _currentItem = nullptr;
    Q_EMIT listUpdateEnd(false);
}

void RMVideoFileList::checkedItems(QList<RMVideoItem*>& out) const {
    for (RMVideoItem* item : _shownItems) {
        if (item->checked) {
            out.append(item);
        }
    }
}

RMVideoItem* RMVideoFileList::nexItem(bool forward) const {
    if (!_currentItem) {
        return nullptr;
    }
    const int k = _shownItems.indexOf(_currentItem);
    const int j = forward ? k + 1 : k - 1;
    if (j < 0 || _shownItems.isEmpty()) {
        return nullptr;
    }
    return j >= _shownItems.size() ? _shownItems.first() : _shownItems.at(j);
}

bool RMVideoFileList::isNextPlayItemExist(bool forward) const {
    if (!_currentItem) {
        return false;
    }
    return forward || _shownItems.indexOf(_currentItem) >= 1;
}

int RMVideoFileList::removeItem(RMVideoItem* item) {
    const int shownIndex = _shownItems.indexOf(item);
    _shownItems.removeAll(item);
    if (_allItems.removeAll(item) > 0) {
        _names.remove(_nameKey(item->primaryPath()));
        if (_currentItem == item) {
            _currentItem = nullptr;
        }
        // The caller (the player) may still hold the item in this event.
        item->deleteLater();
    }
    return shownIndex;
}

void RMVideoFileList::onPlayNextVideo(int index) {
    if ((index == -1 && !_currentItem) || (_busy && _busy())) {
        return;
    }
    if (_shownItems.isEmpty()) {
        Q_EMIT playNoMoreItem();
        return;
    }
    const int c = _currentItem ? _shownItems.indexOf(_currentItem) : -1;
    int j;
    if (index != -1) {
        if (index < -1) {
            Q_EMIT playNoMoreItem();
            return;
        }
        j = index + 1;
    } else {
        j = c + 1;  // 0 when the current item is not in the list
    }
    if (j >= _shownItems.size()) {
        j = 0;
    }
    Q_EMIT playItemFound(_shownItems.at(j), c);
}

void RMVideoFileList::onPlayPreviousVideo(int index) {
    if ((index == -1 && !_currentItem) || (_busy && _busy())) {
        return;
    }
    const int c = _currentItem ? _shownItems.indexOf(_currentItem) : -1;
    const int from = index != -1 ? index : c;
    if (from > 0 && from - 1 < _shownItems.size()) {
        Q_EMIT playItemFound(_shownItems.at(from - 1), c);
    } else {
        Q_EMIT playNoMoreItem();
    }
}

QList<RMBackupJob> RMVideoFileList::checkedJobs() const {
    QList<RMVideoItem*> items;
    checkedItems(items);
    QList<RMBackupJob> jobs;
    for (RMVideoItem* item : items) {
        jobs.append({item->frontPath, item->rearPath});
    }
    return jobs;
}
