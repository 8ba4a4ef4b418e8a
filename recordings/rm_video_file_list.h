#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QUrl>
#include <atomic>
#include <functional>
#include <mutex>

#include "recordings/rm_video_item_2ch.h"

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
// items and lives on the GUI thread. A load builds the new list on a worker
// thread and hands it to the GUI thread in one step, so readers never see a
// half-built list. Every load request takes a generation number; only the
// newest request's list is installed, older ones stop early and are freed.
class RMVideoFileList : public QObject {
    Q_OBJECT
public:
    static RMVideoFileList* instance();
    ~RMVideoFileList() override;

    // Cancels a running backup and any load, and waits up to timeoutMs for
    // the pool's workers to end; false when they did not.
    static bool stopWorkers(int timeoutMs);

    static void appendFolderToList(QString folder, QList<QUrl>& urls, int depth);
    static QString groupTypeFromFilePath(QString path, GROUP_TYPE* group);
    static QString _checkChannelInfo(QString path, bool* isRear);
    // The filter class of a group: FILTER_NORMAL, FILTER_EVENT, or 0.
    static int filterClass(int group);

    // Rebuilds the list from the files as a new request; runs on any thread.
    void loadFromList(QList<QUrl> urls);
    // The same for a request made earlier with newLoadRequest().
    void loadFromList(QList<QUrl> urls, quint64 generation);
    // Registers a load request (any thread); every older one is superseded.
    quint64 newLoadRequest();
    bool isNewestLoad(quint64 generation) const { return generation == _loadGeneration.load(); }
    // Makes every load request so far stale, so running loads stop.
    void cancelLoads() { _loadGeneration.fetch_add(1); }

    // True when an installed item has this recording (name without channel).
    bool itemExist(QString path) const;
    void _addOtherChannelFile(RMVideoItem* item);

    // After a load (GUI thread): the recording files the list left out,
    // and the files cut off by a power loss (no index), whether their
    // recording is listed through its other channel or left out.
    int lastLeftOut() const { return _leftOutFiles.size(); }
    const QStringList& lastLeftOutFiles() const { return _leftOutFiles; }
    const QStringList& lastCutOff() const { return _cutOff; }

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
    // Copies the files of the jobs into folder (worker thread). Refused, with
    // no signal, while another backup runs.
    void backup(QString folder, const QList<RMBackupJob>& jobs);
    // Claims the one backup slot (any thread); false when a backup runs.
    bool reserveBackup();
    // Runs a backup whose slot was reserved, and frees the slot.
    void runReservedBackup(QString folder, const QList<RMBackupJob>& jobs);
    bool isBackupRunning() const { return _backupRunning.load(); }
    // Copies one file through the pipeline unless the user skips it; false
    // when it was skipped.
    bool _backupOverwrite(QString target, QString source, int remaining,
                          RMBackupPipeline* pipeline);
    // The target of a backup copy: the source's own file name in the folder.
    // (Upper-casing it would rename every copy on a case-sensitive file
    // system, and the overwrite check would miss an existing copy.)
    static QString backupTarget(const QString& folder, const QString& source);
    // A source of the jobs that a backup into folder would copy onto itself
    // (the folder is the card's own); empty when there is none.
    static QString sourceInFolder(const QString& folder, const QList<RMBackupJob>& jobs);
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
    // Before backupEnd: how many files were copied into folder, skipped
    // (not replaced, or not reached after a cancel) and not copied.
    void backupSummary(QString folder, int copied, int skipped, int failed);
    // Before backupEnd: the files that could not be copied, when any.
    void backupFailed(QStringList files);

private Q_SLOTS:
    void _installLoadedItems();

private:
    // A list being built by one load; owned by the thread that builds it.
    struct Build {
        Build() = default;
        Build(const Build&) = delete;
        Build& operator=(const Build&) = delete;
        ~Build() { qDeleteAll(items); }
        QList<RMVideoItem*> items;
        QHash<QString, RMVideoItem*> names;
        QStringList leftOut;
        QStringList cutOff;
        QHash<QString, bool> isCutOff;  // by path, once asked
    };

    RMVideoFileList();
    static QString _nameKey(const QString& path);
    bool _addItem(Build* build, QString path, QDateTime* dateTime, GROUP_TYPE group);
    // The one cut-off rule, asked once per file of a load.
    static bool _isCutOff(Build* build, const QString& path);
    void _countLeftOut(Build* build, const QList<QUrl>& urls);
    void _handOver(Build* build, quint64 generation);

    // Owned by the GUI thread.
    QList<RMVideoItem*> _allItems;
    QList<RMVideoItem*> _shownItems;
    QHash<QString, RMVideoItem*> _names;
    qint32 _filter = FILTER_NORMAL | FILTER_EVENT;
    RMVideoItem* _currentItem = nullptr;
    std::function<bool()> _busy;
    QStringList _leftOutFiles;
    QStringList _cutOff;

    // The newest load request.
    std::atomic<quint64> _loadGeneration{0};

    // Guarded by _handoverMutex: the newest built list on its way to the GUI
    // thread, with its generation and what it left out.
    std::mutex _handoverMutex;
    QList<RMVideoItem*> _handover;
    bool _handoverReady = false;
    quint64 _handoverGeneration = 0;
    QStringList _handoverLeftOut;
    QStringList _handoverCutOff;

    // Set while a backup runs; the decision state allows only one.
    std::atomic<bool> _backupRunning{false};
};
