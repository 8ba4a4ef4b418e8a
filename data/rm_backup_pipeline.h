#pragma once

#include <QStringList>
#include <memory>
#include <thread>

#include "data/rm_file_copier.h"

// Copies files one after the other, checking each copy (read back, compare,
// rename into place) on a second thread while the next one is written, so
// the check costs little extra time.
class RMBackupPipeline {
public:
    RMBackupPipeline() = default;
    RMBackupPipeline(const RMBackupPipeline&) = delete;
    RMBackupPipeline& operator=(const RMBackupPipeline&) = delete;
    ~RMBackupPipeline();

    void copy(const QString& source, const QString& target);
    // Waits for the last check; the names of the files that were not copied.
    QStringList finish();

private:
    void _collect();

    // Owned by the checker thread while it runs; read after joining it.
    std::unique_ptr<RMFileCopier::Pending> _checking;
    bool _checkedOk = false;
    std::thread _checker;
    QStringList _failed;
};
