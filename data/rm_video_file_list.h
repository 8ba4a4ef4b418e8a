#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <mutex>

#include "data/rm_video_item_2ch.h"

// The files of one recording to back up, taken on the GUI thread.
struct RMBackupJob {
    QString frontPath;
    QString rearPath;
};

class RMBackupPipeline;

// Which group classes the list shows.
enum FILTER : qint32 {
    FILTER_NORMAL = 1,
    FILTER_EVENT = 2,
};

// The application-wide list of recordings: all items found in the opened
// folder, sorted by start time, and the items the filter shows. It owns the
// items. A load builds the new list on a worker thread and hands it to the
// list's own (GUI) thread in one step, so readers never see a half-built list.
class RMVideoFileList : public QObject {
    Q_OBJECT
public:
    static RMVideoFileList* instance();
    ~RMVideoFileList() override;

    static void appendFolderToList(QString folder, QList<QUrl>& urls, int depth);
    static QString groupTypeFromFilePath(QString path, GROUP_TYPE* group);
    static QString _checkChannelInfo(QString path, bool* isRear);
    // The filter class of a group: FILTER_NORMAL, FILTER_EVENT, or 0.
    static int filterClass(int group);

    // Rebuilds the list from the files; runs on any thread.
    void loadFromList(QList<QUrl> urls);
    // Adds one recording to the list being built by loadFromList.
    bool addItem(QString path, QDateTime* dateTime, GROUP_TYPE group);
    bool itemExist(QString path) const;
    void _addOtherChannelFile(RMVideoItem* item);

    void setFilter(FILTER filter, bool on);
    int filter() const { return _filter; }
    void _updateItemsByFilter();

    const QList<RMVideoItem*>& allItems() const { return _allItems; }
    const QList<RMVideoItem*>& shownItems() const { return _shownItems; }
    RMVideoItem* currentItem() const { return _currentItem; }
    void setCurrentItem(RMVideoItem* item) { _currentItem = item; }

    void checkedItems(QList<RMVideoItem*>& out) const;
    RMVideoItem* nexItem(bool forward) const;
    bool isNextPlayItemExist(bool forward) const;
    int removeItem(RMVideoItem* item);

    // The files of the ticked recordings, for a backup (GUI thread).
    QList<RMBackupJob> checkedJobs() const;
    // Copies the files of the jobs into folder (worker thread).
    void backup(QString folder, const QList<RMBackupJob>& jobs);
    // Copies one file through the pipeline unless the user skips it.
    void _backupOverwrite(QString target, QString source, int remaining,
                          RMBackupPipeline* pipeline);
    // The target of a backup copy: the file name upper-cased, the folder kept.
    static QString backupTarget(const QString& folder, const QString& source);
    // How the overwrite question names a file: without its index and channel.
    static QString overwriteDisplayName(const QString& target);

    // Next and previous wait while a newly selected recording is switched in;
    // the play hand-over installs the test.
    void setBusyCheck(std::function<bool()> busy) { _busy = std::move(busy); }

    static QStringList fileFilters;
    static int n_lastPercent;
    // The progress scale of a load.
    static const int kProgressMaximum = 364;

public Q_SLOTS:
    void onPlayNextVideo(int index);
    void onPlayPreviousVideo(int index);

Q_SIGNALS:
    void listUpdateStarted(bool bLoading);
    void listUpdateEnd(bool bLoading);
    void updateProgress(int value);
    void refreshItem();
    // A folder scan found count recordings in folder (any thread).
    void folderScanned(QString folder, int count);
    void playItemFound(RMVideoItem* item, int currentIndex);
    void playNoMoreItem();
    void backupStarted();
    void backupPaused(bool paused);
    void backupEnd();
    // Before backupEnd: the files that could not be copied, when any.
    void backupFailed(QStringList files);

private Q_SLOTS:
    void _installLoadedItems();

private:
    RMVideoFileList();
    static QString _nameKey(const QString& path);
    void _clearPending();

    // Owned by the list's thread.
    QList<RMVideoItem*> _allItems;
    QList<RMVideoItem*> _shownItems;
    qint32 _filter = FILTER_NORMAL | FILTER_EVENT;
    RMVideoItem* _currentItem = nullptr;
    std::function<bool()> _busy;

    // Guarded by _loadMutex: the list being built by loadFromList.
    std::mutex _loadMutex;
    QList<RMVideoItem*> _pending;
    QHash<QString, RMVideoItem*> _pendingNames;

    // Guarded by _handoverMutex: a built list on its way to the list's thread.
    std::mutex _handoverMutex;
    QList<RMVideoItem*> _handover;
};
