#include "backup/rm_backup_pipeline.h"

#include <QFileInfo>

RMBackupPipeline::RMBackupPipeline(std::function<bool()> stop) : _stop(std::move(stop)) {}

RMBackupPipeline::~RMBackupPipeline() {
    _collect();
}

void RMBackupPipeline::_failed(const QString& source, const QString& reason) {
    _failures << QFileInfo(source).fileName() + ": " + reason;
}

void RMBackupPipeline::_collect() {
    if (!_checker.joinable()) {
        return;
    }
    _checker.join();
    if (!_checkedOk && !_checking->cancelled) {
        _failed(_checking->source, _checkError);
    }
    _checking.reset();
}

void RMBackupPipeline::copy(const QString& source, const QString& target) {
    auto written = std::make_unique<RMFileCopier::Pending>();
    written->stop = _stop;
    QString error;
    const bool ok = RMFileCopier::write(source, target, written.get(), &error);
    _collect();
    if (!ok) {
        if (!written->cancelled) {
            _failed(source, error);
        }
        return;
    }
    _checking = std::move(written);
    _checkError.clear();
    RMFileCopier::Pending* pending = _checking.get();
    _checker = std::thread(
        [this, pending]() { _checkedOk = RMFileCopier::finish(pending, &_checkError); });
}

QStringList RMBackupPipeline::finish() {
    _collect();
    return _failures;
}
