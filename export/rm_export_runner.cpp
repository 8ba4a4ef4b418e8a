#include "export/rm_export_runner.h"

#include <QDir>
#include <QFileInfo>
#include <QtDebug>
#include <memory>
#include <vector>

#include "export/rm_clip_composer.h"
#include "export/rm_clip_cut.h"
#include "export/rm_clip_gps.h"
#include "export/rm_clip_plan.h"
#include "export/rm_export_file.h"
#include "recordings/rm_video_item_2ch.h"

namespace {
QString canonical(const QString& path) {
    const QFileInfo info(path);
    const QString c = info.canonicalFilePath();
    return QDir::cleanPath(c.isEmpty() ? info.absoluteFilePath() : c);
}

// The prefix of a recording's name ("NNF") and its running number ("000123").
void nameParts(const QString& recording, QString* prefix, QString* number) {
    const QString base = RMVideoItem::fileNameWithoutChannel(recording);
    *prefix = base.section('_', 0, 0);
    *number = base.section('-', 2, 2);
}
}  // namespace

RMExportRunner::RMExportRunner(const RMExportJob& job, std::atomic<bool>* cancel)
    : _job(job), _cancel(cancel) {}

QString RMExportRunner::cardOf(const QString& recording) {
    QDir dir = QFileInfo(recording).absoluteDir();
    const QString own = dir.absolutePath();
    do {
        if (dir.exists("__SYSTEM.CFG")) {
            return canonical(dir.absolutePath());
        }
    } while (dir.cdUp());
    return canonical(own);
}

bool RMExportRunner::isInside(const QString& folder, const QString& card) {
    if (card.isEmpty()) {
        return false;
    }
    const QString f = canonical(folder);
    const QString c = canonical(card);
    return f == c || f.startsWith(c.endsWith('/') ? c : c + '/');
}

QString RMExportRunner::stem(const QString& firstRecording, const QDateTime& start) {
    QString prefix;
    QString number;
    nameParts(firstRecording, &prefix, &number);
    return prefix + '_' + start.toString("yyMMdd-HHmmss");
}

QString RMExportRunner::clipName(const QString& firstRecording, const QDateTime& start,
                                 int channel) {
    QString prefix;
    QString number;
    nameParts(firstRecording, &prefix, &number);
    return stem(firstRecording, start) + '-' + number + QString("_%1.mp4").arg(channel);
}

bool RMExportRunner::_fail(RMExportResult* result, const QString& error) {
    result->ok = false;
    result->cancelled = _cancelled();
    result->error = result->cancelled ? QString("cancelled") : error;
    qInfo() << Q_FUNC_INFO << __LINE__ << result->error;
    return false;
}

void RMExportRunner::_report(double fraction) {
    if (_progress) {
        _progress(qBound(0.0, _base + _weight * fraction, 1.0));
    }
}

bool RMExportRunner::_check(RMExportResult* result) {
    if (_job.parts.isEmpty()) {
        return _fail(result, "no recording in the range");
    }
    QStringList cards;
    cards << _job.cardRoot;
    for (const RMClipPart& part : _job.parts) {
        cards << cardOf(part.source.primary());
    }
    for (const QString& card : cards) {
        if (isInside(_job.outDir, card)) {
            return _fail(result, _job.outDir + ": the output folder is on the card (" + card +
                                     "); choose another folder");
        }
    }
    // Made only once it is known not to be on the card.
    if (_job.outDir.isEmpty() || !QDir().mkpath(_job.outDir)) {
        return _fail(result, _job.outDir + ": the output folder cannot be made");
    }
    return true;
}

bool RMExportRunner::_taken(const QStringList& targets, RMExportResult* result) {
    if (_job.replace) {
        return false;
    }
    for (const QString& target : targets) {
        if (QFileInfo::exists(target)) {
            result->existing << target;
        }
    }
    if (result->existing.isEmpty()) {
        return false;
    }
    result->ok = false;
    result->error = "files of the same names exist";
    return true;
}

RMExportResult RMExportRunner::run(const Progress& progress) {
    _progress = progress;
    RMExportResult result;
    if (!_check(&result)) {
        return result;
    }
    const bool ok =
        _job.layout == RMExportJob::LAYOUT_ORIGINAL ? _original(&result) : _composite(&result);
    result.ok = ok;
    if (ok) {
        _base = 1;
        _weight = 0;
        _report(1);
    }
    return result;
}

// Writes all outputs under temporary names, then names them all: a failure
// anywhere leaves none of them.
namespace {
bool commitAll(std::vector<std::unique_ptr<RMExportFile>>& files, bool replace, QString* error,
               QStringList* written) {
    for (size_t i = 0; i < files.size(); ++i) {
        if (!files[i]->commit(replace)) {
            *error = QFileInfo(files[i]->target()).fileName() + ": " + files[i]->errorString();
            for (size_t j = 0; j < i; ++j) {
                QFile::remove(files[j]->target());
            }
            written->clear();
            return false;
        }
        *written << files[i]->target();
    }
    return true;
}
}  // namespace

bool RMExportRunner::_gpx(const std::vector<qint64>& fromMs, const QString& target,
                          std::vector<std::unique_ptr<RMExportFile>>* files,
                          RMExportResult* result) {
    std::vector<qint64> to;
    for (const RMClipPart& part : _job.parts) {
        to.push_back(part.toMs);
    }
    const QByteArray xml = RMClipGps(_job.parts).gpx(fromMs, to);
    if (xml.isEmpty()) {
        return true;
    }
    files->emplace_back(new RMExportFile);
    if (!files->back()->open(target) || !files->back()->write(xml.constData(), xml.size())) {
        return _fail(result, files->back()->errorString());
    }
    return true;
}

bool RMExportRunner::_original(RMExportResult* result) {
    const bool rear =
        !_job.parts.front().source.rear.isEmpty() && !_job.parts.front().source.front.isEmpty();
    std::vector<RMClipPlan> plans(rear ? 2 : 1);
    for (size_t c = 0; c < plans.size(); ++c) {
        QList<RMClipPlan::Span> spans;
        for (const RMClipPart& part : _job.parts) {
            const QString path = c == 0 ? part.source.primary() : part.source.rear;
            spans << RMClipPlan::Span{path, part.fromMs, part.toMs};
        }
        if (!plans[c].build(spans)) {
            return _fail(result, plans[c].errorString());
        }
    }
    const RMClipPlan& front = plans.front();
    const QString first = _job.parts.front().source.primary();
    const QDateTime start = RMClipRange::clockAt(_job.parts.front().source, front.startMs());
    result->leadMs = front.leadMs();
    QStringList targets;
    for (size_t c = 0; c < plans.size(); ++c) {
        const bool rearOnly = _job.parts.front().source.front.isEmpty();
        targets << QDir(_job.outDir).filePath(clipName(first, start, rearOnly || c == 1 ? 2 : 1));
    }
    const QString gpxTarget = QDir(_job.outDir).filePath(stem(first, start) + ".gpx");
    if (_taken(_job.gpx ? targets + QStringList(gpxTarget) : targets, result)) {
        return false;
    }
    std::vector<std::unique_ptr<RMExportFile>> files;
    qint64 total = 0;
    for (const RMClipPlan& plan : plans) {
        total += qint64(plan.dataSize());
    }
    qint64 before = 0;
    for (size_t c = 0; c < plans.size(); ++c) {
        files.emplace_back(new RMExportFile);
        if (!files.back()->open(targets[int(c)])) {
            return _fail(result, files.back()->errorString());
        }
        QString error;
        const auto progress = [&](qint64 done, qint64) {
            _report(total ? double(before + done) / double(total) : 1.0);
            return !_cancelled();
        };
        if (!RMClipCut::write(plans[c], files.back().get(), progress, &error)) {
            return _fail(result, error);
        }
        before += qint64(plans[c].dataSize());
    }
    if (_job.gpx && !_gpx(front.partStartMs(), gpxTarget, &files, result)) {
        return false;
    }
    if (_cancelled()) {
        return _fail(result, "cancelled");
    }
    QString error;
    if (!commitAll(files, _job.replace, &error, &result->files)) {
        return _fail(result, error);
    }
    return true;
}

bool RMExportRunner::_composite(RMExportResult* result) {
    const RMClipPart& first = _job.parts.front();
    const QDateTime start = RMClipRange::clockAt(first.source, first.fromMs);
    const QString name = stem(first.source.primary(), start);
    const QString target =
        QDir(_job.outDir)
            .filePath(name +
                      (_job.layout == RMExportJob::LAYOUT_SIDE ? "_side.mp4" : "_inset.mp4"));
    const QString gpxTarget = QDir(_job.outDir).filePath(name + ".gpx");
    if (_taken(_job.gpx ? QStringList{target, gpxTarget} : QStringList{target}, result)) {
        return false;
    }
    const RMClipGps gps(_job.parts);
    std::vector<std::unique_ptr<RMExportFile>> files;
    files.emplace_back(new RMExportFile);
    if (!files.back()->open(target)) {
        return _fail(result, files.back()->errorString());
    }
    RMClipComposer composer(_job, &gps);
    QString error;
    const auto progress = [&](qint64 done, qint64 total) {
        _report(total ? double(done) / double(total) : 1.0);
        return !_cancelled();
    };
    if (!composer.write(files.back().get(), progress, &error)) {
        return _fail(result, error);
    }
    std::vector<qint64> from;
    for (const RMClipPart& part : _job.parts) {
        from.push_back(part.fromMs);
    }
    if (_job.gpx && !_gpx(from, gpxTarget, &files, result)) {
        return false;
    }
    if (_cancelled()) {
        return _fail(result, "cancelled");
    }
    if (!commitAll(files, _job.replace, &error, &result->files)) {
        return _fail(result, error);
    }
    return true;
}
