#include "data/rm_backup_pipeline.h"

#include <QFileInfo>

RMBackupPipeline::~RMBackupPipeline() {
    _collect();
}

void RMBackupPipeline::_collect() {
    if (!_checker.joinable()) {
        return;
    }
    _checker.join();
    if (!_checkedOk) {
        _failed << QFileInfo(_checking->source).fileName();
    }
    _checking.reset();
}

void RMBackupPipeline::copy(const QString& source, const QString& target) {
    auto written = std::make_unique<RMFileCopier::Pending>();
    const bool ok = RMFileCopier::write(source, target, written.get());
    _collect();
    if (!ok) {
        _failed << QFileInfo(source).fileName();
        return;
    }
    _checking = std::move(written);
    RMFileCopier::Pending* pending = _checking.get();
    _checker = std::thread([this, pending]() { _checkedOk = RMFileCopier::finish(pending); });
}

QStringList RMBackupPipeline::finish() {
    _collect();
    return _failed;
}
