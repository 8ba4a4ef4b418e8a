#pragma once

#include <QStringList>
#include <functional>
#include <memory>
#include <thread>

#include "backup/rm_file_copier.h"

// Copies files one after the other, checking each copy (read back, compare,
// rename into place) on a second thread while the next one is written, so
// the check costs little extra time.
class RMBackupPipeline {
public:
    // stop is asked after every buffer; a copy it stops is dropped without
    // counting as failed.
    explicit RMBackupPipeline(std::function<bool()> stop = nullptr);
    RMBackupPipeline(const RMBackupPipeline&) = delete;
    RMBackupPipeline& operator=(const RMBackupPipeline&) = delete;
    ~RMBackupPipeline();

    void copy(const QString& source, const QString& target);
    // Waits until the copy before is checked and in place (before the user
    // is asked something, so an answer never races with that check).
    void settle() { _collect(); }
    // Waits for the last check; one line per file that was not copied: its
    // name and the reason.
    QStringList finish();

private:
    void _collect();
    void _failed(const QString& source, const QString& reason);

    std::function<bool()> _stop;
    // Owned by the checker thread while it runs; read after joining it.
    std::unique_ptr<RMFileCopier::Pending> _checking;
    bool _checkedOk = false;
    QString _checkError;
    std::thread _checker;
    QStringList _failures;
};
