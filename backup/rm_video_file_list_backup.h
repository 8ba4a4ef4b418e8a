#pragma once

#include <QList>
#include <QRunnable>
#include <QString>
#include <mutex>

#include "recordings/rm_video_file_list.h"

// Copies the ticked recordings into a folder on a pool thread. The files are
// taken when the backup is made (on the GUI thread), so the worker never
// reads the list.
class RMVideoFileListBackup : public QRunnable {
public:
    explicit RMVideoFileListBackup(const QString& folder);

    void run() override;

    // Starts a backup of the ticked recordings on the global pool; false,
    // with nothing started, while another backup runs or when the folder
    // holds a ticked recording's own file (named in `refusal`).
    static bool start(const QString& folder, QString* refusal = nullptr);

private:
    // Guards the fields below: written where the runnable is made, read on
    // the pool thread; a lock of our own makes that visible to thread
    // checkers, which cannot see the pool's.
    static std::mutex& _lock();
    QString _folder;
    QList<RMBackupJob> _jobs;
};
