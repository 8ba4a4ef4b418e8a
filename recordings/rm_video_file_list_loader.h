#pragma once

#include <QList>
#include <QRunnable>
#include <QString>
#include <QUrl>
#include <mutex>

// Builds the recording list on a pool thread: from a folder (scanned on the
// pool thread as well) or from a list of files. The request is registered
// with the list when the loader is made, so the newest request wins even if
// an older loader finishes later.
class RMVideoFileListLoader : public QRunnable {
public:
    explicit RMVideoFileListLoader(const QList<QUrl>& urls);
    explicit RMVideoFileListLoader(const QString& folder);

    void run() override;

    // Starts a loader for a folder on the global pool at the list's priority.
    static void startForFolder(const QString& folder);

private:
    // Guards the fields below: written where the runnable is made, read on
    // the pool thread; a lock of our own makes that visible to thread
    // checkers, which cannot see the pool's.
    static std::mutex& _lock();
    QList<QUrl> _urls;
    QString _folder;
    quint64 _generation = 0;
};
