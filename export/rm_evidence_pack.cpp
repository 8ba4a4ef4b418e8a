#include "export/rm_evidence_pack.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtDebug>
#include <algorithm>
#include <thread>

#include "backup/rm_file_copier.h"
#include "export/rm_clip_gps.h"
#include "export/rm_clip_still.h"
#include "export/rm_evidence_samples.h"
#include "export/rm_export_file.h"
#include "export/rm_export_runner.h"
#include "export/rm_stream_hash.h"

namespace {

const char kReadme[] =
    "証拠資料パック / Evidence pack\n"
    "\n"
    "original/        SD カードの録画ファイルそのもの (名前と更新日時もカードのまま)\n"
    "                 The recording files of the SD card, untouched (the card's names and\n"
    "                 modification times)\n"
    "*_1.mp4, *_2.mp4 範囲の前方・後方クリップ (元の画質、再エンコードなし)\n"
    "                 Front and rear clips of the range in the original quality (no\n"
    "                 re-encoding)\n"
    "*_inset.mp4      前方映像に後方の小窓と日時・速度・位置を焼き込んだ映像\n"
    "                 The front video with the rear inset and the date, speed and position\n"
    "track.gpx        範囲の GPS トラック (GPX 1.1) / The range's GPS track (GPX 1.1)\n"
    "gsensor.csv      範囲の G センサーの値 (g) / The range's G-sensor samples (in g)\n"
    "still_picked_*   選んだ時刻の静止画 (front 前方、rear 後方)\n"
    "                 Stills at the chosen moment (front and rear)\n"
    "still_largest_g_* 最大 G の時刻の静止画 / Stills at the moment of the largest G\n"
    "report.pdf       レポート (範囲、時刻、経路、速度、G、静止画、ファイルの SHA-256)\n"
    "                 The report (range, times, route, speeds, G, stills, files' SHA-256)\n"
    "SHA256SUMS       このフォルダーの全ファイルの SHA-256 / SHA-256 of every file here\n"
    "\n"
    "確かめ方: このフォルダーで sha256sum -c SHA256SUMS を実行し、全てが OK であること。\n"
    "How to verify: in this folder, run sha256sum -c SHA256SUMS; every line must read OK.\n";

// Flushes a file or folder to the device; false with errno's cause.
bool flush(const QString& path, QString* error) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || (::fsync(fd) != 0 && errno != EINVAL)) {
        *error =
            QFileInfo(path).fileName() + ": cannot be flushed (" + qt_error_string(errno) + ")";
        if (fd >= 0) {
            ::close(fd);
        }
        return false;
    }
    ::close(fd);
    return true;
}

// Gives a copy the source's access and modification times.
void keepTimes(const QString& source, const QString& copy) {
    struct stat info;
    if (::stat(QFile::encodeName(source).constData(), &info) != 0) {
        return;
    }
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    if (::utimensat(AT_FDCWD, QFile::encodeName(copy).constData(), times, 0) != 0) {
        qInfo() << Q_FUNC_INFO << __LINE__ << copy << qt_error_string(errno);
    }
}

QByteArray png(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// The part of a range that shows a camera clock time, and the position in
// it; -1 when no part does.
int partAt(const QList<RMClipPart>& parts, const QDateTime& clock, qint64* positionMs) {
    for (int p = 0; p < parts.size(); ++p) {
        const qint64 ms = parts[p].source.start.msecsTo(clock);
        if (ms >= parts[p].fromMs && ms <= parts[p].toMs) {
            *positionMs = ms;
            return p;
        }
    }
    return -1;
}

}  // namespace

RMEvidencePack::RMEvidencePack(const RMExportJob& job, std::atomic<bool>* cancel)
    : _job(job), _cancel(cancel) {}

QString RMEvidencePack::folderName(const QDateTime& start) {
    return "evidence_" + start.toString("yyyyMMdd-HHmmss");
}

QStringList RMEvidencePack::originals(const RMExportJob& job) {
    QStringList files;
    for (const RMClipPart& part : job.parts) {
        for (const QString& path : {part.source.front, part.source.rear}) {
            if (!path.isEmpty() && !files.contains(path)) {
                files << path;
            }
        }
    }
    return files;
}

void RMEvidencePack::_stop(const QString& error) {
    {
        std::lock_guard<std::mutex> hold(_lock);
        if (_error.isEmpty()) {
            _error = _userCancelled() ? QString("cancelled") : error;
            qInfo() << Q_FUNC_INFO << __LINE__ << _error;
        }
    }
    _abort = true;
}

bool RMEvidencePack::_stopped() const {
    return _abort.load() || _userCancelled();
}

void RMEvidencePack::_report() {
    if (_userCancelled()) {
        _abort = true;
    }
    // The copies, the original cut and the inset take about equal shares;
    // the report and the check the rest.
    const double done =
        0.3 * _copyPermille / 1000.0 + 0.15 * _cutPermille / 1000.0 + 0.5 * _insetPermille / 1000.0;
    std::lock_guard<std::mutex> hold(_lock);
    if (_progress) {
        _progress(qBound(0.0, done, 1.0));
    }
}

bool RMEvidencePack::_check() {
    if (_job.parts.isEmpty()) {
        _stop("no recording in the range");
        return false;
    }
    QStringList cards{_job.cardRoot};
    for (const QString& path : originals(_job)) {
        cards << RMExportRunner::cardOf(path);
    }
    for (const QString& card : cards) {
        if (RMExportRunner::isInside(_job.outDir, card)) {
            _stop(_job.outDir + ": the output folder is on the card (" + card +
                  "); choose another folder");
            return false;
        }
    }
    if (_job.outDir.isEmpty() || !QDir().mkpath(_job.outDir)) {
        _stop(_job.outDir + ": the output folder cannot be made");
        return false;
    }
    return true;
}

bool RMEvidencePack::_copyOriginals(const QString& folder, QList<File>* files) {
    const QStringList sources = originals(_job);
    qint64 total = 0;
    for (const QString& source : sources) {
        total += QFileInfo(source).size();
    }
    RMStreamHash hash;
    qint64 done = 0;
    for (const QString& source : sources) {
        const QString name = QFileInfo(source).fileName();
        const QString target = folder + "/original/" + name;
        RMFileCopier::Pending pending;
        pending.stop = [this] { return _stopped(); };
        pending.observe = [&](const char* data, qint64 length) {
            hash.add(data, length);
            done += length;
            _copyPermille = int(total > 0 ? qMin<qint64>(1000, done * 1000 / total) : 1000);
            _report();
        };
        QString error;
        if (!RMFileCopier::write(source, target, &pending, &error) ||
            !RMFileCopier::finish(&pending, &error)) {
            _stop(name + ": " + error);
            return false;
        }
        keepTimes(source, target);
        *files << File{"original/" + name, QFileInfo(target).size(), hash.finish()};
    }
    _copyPermille = 1000;
    return true;
}

bool RMEvidencePack::_clip(RMExportJob::Layout layout, const QString& folder,
                           std::atomic<int>* permille, QStringList* written) {
    RMExportJob job = _job;
    job.layout = layout;
    job.outDir = folder;
    job.gpx = false;  // the pack has one track of its own
    job.stamp = layout != RMExportJob::LAYOUT_ORIGINAL;
    job.replace = false;
    RMExportRunner runner(job, &_abort);
    const RMExportResult result = runner.run([&](double fraction) {
        *permille = int(fraction * 1000);
        _report();
    });
    if (!result.ok) {
        _stop(result.error);
        return false;
    }
    for (const QString& file : result.files) {
        *written << QFileInfo(file).fileName();
    }
    return true;
}

bool RMEvidencePack::_put(const QString& folder, const QString& name, const QByteArray& data,
                          QList<File>* files) {
    RMExportFile file;
    if (!file.open(QDir(folder).filePath(name)) || !file.write(data.constData(), data.size()) ||
        !file.commit(false)) {
        _stop(name + ": " + file.errorString());
        return false;
    }
    *files << File{name, data.size(), RMStreamHash::of(data)};
    return true;
}

bool RMEvidencePack::_hash(const QString& folder, const QString& path, QList<File>* files) {
    QFile file(QDir(folder).filePath(path));
    if (!file.open(QIODevice::ReadOnly)) {
        _stop(path + ": " + file.errorString());
        return false;
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file)) {
        _stop(path + ": cannot be read back");
        return false;
    }
    *files << File{path, file.size(), hash.result().toHex()};
    return true;
}

bool RMEvidencePack::_samples(const QString& folder, RMEvidenceReportInput* input,
                              QList<File>* files) {
    const RMClipGps gps(_job.parts);
    const RMEvidenceSamples samples(_job.parts, gps);
    input->gps = samples.gps();
    input->g = samples.g();
    input->facts = RMEvidenceFacts::compute(input->gps, input->g);
    std::vector<qint64> from;
    std::vector<qint64> to;
    for (const RMClipPart& part : _job.parts) {
        from.push_back(part.fromMs);
        to.push_back(part.toMs);
    }
    const QByteArray gpx = gps.gpx(from, to);
    return (gpx.isEmpty() || _put(folder, "track.gpx", gpx, files)) &&
           _put(folder, "gsensor.csv", samples.gCsv(), files);
}

bool RMEvidencePack::_still(const QString& folder, const QString& name, const QDateTime& at,
                            QImage* front, QImage* rear, QList<File>* files) {
    qint64 position = 0;
    const int part = partAt(_job.parts, at, &position);
    if (part < 0) {
        _stop(at.toString("yyyy-MM-dd HH:mm:ss") + ": outside the range");
        return false;
    }
    const RMClipSource& source = _job.parts[part].source;
    const struct {
        QString path;
        const char* channel;
        QImage* image;
    } channels[2] = {{source.front, "front", front}, {source.rear, "rear", rear}};
    for (const auto& channel : channels) {
        if (channel.path.isEmpty()) {
            continue;
        }
        QString error;
        *channel.image = RMClipStill::at(channel.path, position, &error);
        if (channel.image->isNull()) {
            _stop(error);
            return false;
        }
        if (!_put(folder, QString("still_%1_%2.png").arg(name, channel.channel),
                  png(*channel.image), files)) {
            return false;
        }
    }
    return true;
}

bool RMEvidencePack::_stills(const QString& folder, RMEvidenceReportInput* input,
                             QList<File>* files) {
    QDateTime picked = _job.at.isValid() ? _job.at : _start;
    picked = qBound(_start, picked, _end);
    input->picked.at = picked;
    if (!_still(folder, "picked", picked, &input->picked.front, &input->picked.rear, files)) {
        return false;
    }
    input->largest.at = input->facts.largestGAt;
    return !input->largest.at.isValid() ||
           _still(folder, "largest_g", input->largest.at, &input->largest.front,
                  &input->largest.rear, files);
}

bool RMEvidencePack::_verify(const QString& folder, const QList<File>& files) {
    for (const File& file : files) {
        if (QFileInfo(QDir(folder).filePath(file.path)).size() != file.size) {
            _stop(file.path + ": the file in the pack has the wrong size");
            return false;
        }
    }
    for (const QString& source : originals(_job)) {
        const QFileInfo copy(folder + "/original/" + QFileInfo(source).fileName());
        if (!QFileInfo::exists(source) || QFileInfo(source).size() != copy.size()) {
            _stop(QFileInfo(source).fileName() + ": the recording is gone or changed on the card");
            return false;
        }
    }
    QString error;
    if (!flush(folder + "/original", &error) || !flush(folder, &error)) {
        _stop(error);
        return false;
    }
    return true;
}

bool RMEvidencePack::_place(const QString& temp, const QString& target) {
    // An older pack of the same name is moved aside first and removed once
    // the new one has its name.
    QString aside;
    if (QFileInfo::exists(target)) {
        aside = QDir(_job.outDir).filePath("." + QFileInfo(target).fileName() + ".old");
        QDir(aside).removeRecursively();
        if (::rename(QFile::encodeName(target).constData(), QFile::encodeName(aside).constData())) {
            _stop(target + ": cannot be replaced (" + qt_error_string(errno) + ")");
            return false;
        }
    }
    if (::rename(QFile::encodeName(temp).constData(), QFile::encodeName(target).constData())) {
        _stop(target + ": cannot be named (" + qt_error_string(errno) + ")");
        if (!aside.isEmpty()) {
            ::rename(QFile::encodeName(aside).constData(), QFile::encodeName(target).constData());
        }
        return false;
    }
    if (!aside.isEmpty()) {
        QDir(aside).removeRecursively();
    }
    QString error;
    if (!flush(_job.outDir, &error)) {
        qInfo() << Q_FUNC_INFO << __LINE__ << error;
    }
    return true;
}

RMExportResult RMEvidencePack::run(const Progress& progress) {
    _progress = progress;
    RMExportResult result;
    const auto failed = [&]() {
        std::lock_guard<std::mutex> hold(_lock);
        result.ok = false;
        result.cancelled = _userCancelled();
        result.error = result.cancelled ? QString("cancelled") : _error;
        return result;
    };
    if (!_check()) {
        return failed();
    }
    const RMClipPart& first = _job.parts.front();
    const RMClipPart& last = _job.parts.back();
    _start = RMClipRange::clockAt(first.source, first.fromMs);
    _end = RMClipRange::clockAt(last.source, last.toMs);
    const QString name = folderName(_start);
    const QString target = QDir(_job.outDir).filePath(name);
    if (QFileInfo::exists(target) && !_job.replace) {
        result.existing << target;
        result.error = "a pack of that name exists";
        return result;
    }
    QTemporaryDir temp(QDir(_job.outDir).filePath("." + name + ".part-XXXXXX"));
    if (!temp.isValid() || !QDir(temp.path()).mkdir("original")) {
        _stop(_job.outDir + ": the pack's folder cannot be made");
        return failed();
    }
    const QString folder = temp.path();

    // The copies and the original cut on one thread, the inset encoding on
    // another, the samples and stills on this one.
    QList<File> originals;
    QStringList clips;
    QStringList inset;
    std::thread copier([&] {
        if (_copyOriginals(folder, &originals)) {
            _clip(RMExportJob::LAYOUT_ORIGINAL, folder, &_cutPermille, &clips);
        }
    });
    std::thread encoder([&] { _clip(RMExportJob::LAYOUT_INSET, folder, &_insetPermille, &inset); });
    RMEvidenceReportInput input;
    QList<File> files;
    if (!_samples(folder, &input, &files) || !_stills(folder, &input, &files)) {
        _stop("");  // the cause is recorded
    }
    copier.join();
    encoder.join();
    if (_stopped()) {
        return failed();
    }
    files = originals + files;
    for (const QString& clip : clips + inset) {
        if (!_hash(folder, clip, &files)) {
            return failed();
        }
    }
    if (!_put(folder, "README.txt", QByteArray(kReadme), &files)) {
        return failed();
    }
    const auto byPath = [](const File& a, const File& b) { return a.path < b.path; };
    std::sort(files.begin(), files.end(), byPath);
    input.japanese = _job.japanese;
    input.model = _job.model;
    for (const QString& path : RMEvidencePack::originals(_job)) {
        input.recordings << QFileInfo(path).fileName();
    }
    input.start = _start;
    input.end = _end;
    input.files = files;
    QByteArray pdf;
    QBuffer buffer(&pdf);
    buffer.open(QIODevice::WriteOnly);
    if (!RMEvidenceReport::write(&buffer, input)) {
        _stop("report.pdf: cannot be drawn");
        return failed();
    }
    buffer.close();
    if (!_put(folder, "report.pdf", pdf, &files)) {
        return failed();
    }
    std::sort(files.begin(), files.end(), byPath);
    QByteArray sums;
    for (const File& file : files) {
        sums += file.sha256 + "  " + file.path.toUtf8() + '\n';
    }
    QList<File> all = files;
    if (!_put(folder, "SHA256SUMS", sums, &all) || !_verify(folder, all) || _stopped() ||
        !_place(folder, target)) {
        return failed();
    }
    temp.setAutoRemove(false);
    {
        std::lock_guard<std::mutex> hold(_lock);
        if (_progress) {
            _progress(1.0);
        }
    }
    result.ok = true;
    result.files << target;
    return result;
}
