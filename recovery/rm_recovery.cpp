#include "recovery/rm_recovery.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QtEndian>
#include <cerrno>
#include <cstring>
#include <limits>

#include "app/rm_app.h"
#include "mp4/rm_file_window.h"
#include "mp4/rm_key_frame_check.h"
#include "mp4/rm_mp4_index.h"
#include "recordings/rm_video_item_2ch.h"
#include "recovery/rm_recover_moov.h"
#include "recovery/rm_recover_walker.h"

namespace {
constexpr qint64 kCopyBlock = 4 << 20;
constexpr int kMaxDepth = 5;

// Channel suffix of a recording name ("_1", "_2"), upper-cased.
QString channelOf(const QString& path) {
    const QString base = QFileInfo(path).completeBaseName().toUpper();
    return base.size() >= 2 ? base.right(2) : QString();
}

QString seconds(double s) {
    return QString::number(s, 'f', s < 10 ? 2 : 1);
}

QString describe(const RMRecovery::Result& r, bool dryRun) {
    QStringList parts;
    parts << seconds(r.videoSeconds) + " s of video";
    if (r.hasSound) {
        parts << seconds(r.soundSeconds) + " s of sound";
    }
    if (r.hasSensors) {
        parts << QString::number(r.sensorRecords) + " sensor records";
    }
    const QString last = parts.takeLast();
    const QString verb = dryRun ? "could recover " : "recovered ";
    return verb + (parts.isEmpty() ? last : parts.join(", ") + " and " + last);
}
}  // namespace

bool RMRecovery::isCutOff(const QString& path) {
    RMMp4Index index;
    return index.open(path, false) && index.isCutOff();
}

QString RMRecovery::recoveredFolder(const QString& path) {
    const QFileInfo info(path);
    const QDir given(info.isDir() ? info.absoluteFilePath() : info.absolutePath());
    QString card = given.dirName();
    for (QDir up = given; !up.isRoot(); up.cdUp()) {
        if (up.exists("__SYSTEM.CFG")) {
            card = up.dirName();
            break;
        }
    }
    return QDir::cleanPath(RMApp::documentsFolder() + "/recovered/" + card);
}

void RMRecovery::_collect(const QString& folder, int depth, QStringList* out) {
    const QDir dir(folder);
    if (depth < kMaxDepth) {
        for (const QString& sub : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
            _collect(dir.filePath(sub), depth + 1, out);
        }
    }
    for (const QString& name :
         dir.entryList({"*.mp4"}, QDir::Files | QDir::CaseSensitive, QDir::Name)) {
        out->append(QDir::cleanPath(dir.filePath(name)));
    }
    for (const QString& name :
         dir.entryList({"*.MP4", "*.Mp4", "*.mP4"}, QDir::Files, QDir::Name)) {
        const QString path = QDir::cleanPath(dir.filePath(name));
        if (!out->contains(path)) {
            out->append(path);
        }
    }
}

QStringList RMRecovery::cutOffFiles(const QString& folder) {
    QStringList all;
    _collect(folder, 0, &all);
    QStringList cut;
    for (const QString& path : all) {
        if (isCutOff(path)) {
            cut << path;
        }
    }
    return cut;
}

QString RMRecovery::findReference(const QString& path) {
    QDateTime start;
    if (RMVideoItem::IsFeasible(path, &start) == GROUP_NONE) {
        return QString();
    }
    const QString channel = channelOf(path);
    const QDir dir = QFileInfo(path).absoluteDir();
    QString earlier, later;
    QDateTime earlierTime, laterTime;
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
        const QString candidate = QDir::cleanPath(dir.filePath(name));
        QDateTime when;
        if (candidate == QDir::cleanPath(QFileInfo(path).absoluteFilePath()) ||
            QFileInfo(candidate).suffix().compare("mp4", Qt::CaseInsensitive) != 0 ||
            channelOf(candidate) != channel ||
            RMVideoItem::IsFeasible(candidate, &when) == GROUP_NONE) {
            continue;
        }
        const bool before = when <= start;
        if (before && (earlier.isEmpty() || when > earlierTime)) {
            RMMp4Index index;
            if (index.open(candidate) && index.isComplete()) {
                earlier = candidate;
                earlierTime = when;
            }
        } else if (!before && (later.isEmpty() || when < laterTime)) {
            RMMp4Index index;
            if (index.open(candidate) && index.isComplete()) {
                later = candidate;
                laterTime = when;
            }
        }
    }
    return earlier.isEmpty() ? later : earlier;
}

RMRecovery::Result RMRecovery::recover(const QString& path, const QString& givenReference,
                                       const QString& outputFolder, bool dryRun,
                                       const Progress& progress) {
    Result result;
    const QString name = QFileInfo(path).fileName();
    RMMp4Index cut;
    if (!cut.open(path)) {
        result.message = name + ": cannot be read";
        return result;
    }
    if (!cut.isCutOff()) {
        result.message = name + ": not cut off (it has its index or no media data)";
        return result;
    }
    result.reference = givenReference.isEmpty() ? findReference(path) : givenReference;
    if (result.reference.isEmpty()) {
        result.message = name +
                         ": no complete recording of the same channel to learn from; "
                         "give one with --reference";
        return result;
    }
    const QString refName = QFileInfo(result.reference).fileName();
    RMMp4Index reference;
    if (!reference.open(result.reference) || !reference.isComplete()) {
        result.message = name + ": the reference " + refName + " is not a complete recording";
        return result;
    }
    RMRecoverWalker walker;
    QString problem;
    if (!walker.setReference(reference, &problem)) {
        result.message = name + ": " + problem;
        return result;
    }
    RMFileWindow file;
    if (!file.open(path)) {
        result.message = name + ": cannot be read";
        return result;
    }
    const RMMp4Index::Box* mdat = cut.mdat();
    const qint64 start = mdat->pos + mdat->header;

    const qint64 total = file.size() * (dryRun ? 1 : 2);
    walker.walk(file, start, -1, [&](qint64 pos) { return !progress || progress(pos, total); });
    if (walker.stop() == RMRecoverWalker::STOP_CANCELLED) {
        result.cancelled = true;
        result.message = name + ": cancelled";
        return result;
    }
    const QString mismatch = name + ": the reference " + refName +
                             " does not match this recording (another channel or camera?)";
    const std::vector<RMRecoverWalker::Sample>& pictures = walker.samples(walker.videoTrack());
    if (pictures.empty()) {
        // Cut inside the first picture, or bytes the reference cannot read.
        const bool cut = walker.stop() == RMRecoverWalker::STOP_INCOMPLETE;
        result.message = cut ? name +
                                   ": nothing to recover: the recording was cut before its "
                                   "first whole key frame"
                             : mismatch;
        return result;
    }
    // The reference's set-up must decode the first key frame.
    const RMMp4Index::Track& video = reference.tracks()[size_t(walker.videoTrack())];
    RMNalScanner scanner;
    scanner.configure(video.sampleEntry);
    if (!RMKeyFrameCheck::decodes(scanner.codec(), scanner.configRecord(),
                                  file.read(pictures[0].offset, pictures[0].size))) {
        result.message = mismatch;
        return result;
    }
    _checkLastPictures(file, scanner, walker);
    RMRecoverMoov moov(reference, walker);
    const QString tail = _summarise(file, start, walker, moov, &result);
    const QByteArray box = moov.build();
    result.bytes = walker.dataEnd() + box.size();
    result.recovered = true;
    result.message = name + ": " + describe(result, dryRun) + tail;
    file.close();
    if (dryRun) {
        return result;
    }
    std::vector<Patch> patches;
    if (!mediaHeader(cut.topLevel(), walker.dataEnd(), &patches)) {
        result.recovered = false;
        result.message = name +
                         ": over 4 GiB of media data behind a 32-bit header and no free box to "
                         "make room; the samples would have to move";
        return result;
    }
    const QString target = QDir(outputFolder).filePath(name);
    if (!_write(
            path, target, patches, walker.dataEnd(), box,
            [&](qint64 done, qint64) { return !progress || progress(total / 2 + done, total); },
            &result)) {
        result.recovered = false;
    }
    return result;
}

// The figures of what was recovered, and what the end of the line says
// about the rest of the file.
QString RMRecovery::_summarise(RMFileWindow& file, qint64 start, const RMRecoverWalker& walker,
                               const RMRecoverMoov& moov, Result* result) {
    for (int t = 0; t < walker.trackCount(); ++t) {
        const size_t n = walker.samples(t).size();
        if (walker.kind(t) == RMMp4Index::KIND_VIDEO) {
            result->videoFrames = int(n);
            result->videoSeconds = moov.seconds(t);
        } else if (walker.kind(t) == RMMp4Index::KIND_AUDIO) {
            result->hasSound = true;
            result->soundSeconds = moov.seconds(t);
        } else {
            // Records as the viewer counts them: those of the busiest sensor
            // track, without the empty 12-byte samples.
            result->hasSensors = true;
            int records = 0;
            for (const RMRecoverWalker::Sample& s : walker.samples(t)) {
                records += s.size != 12 ? 1 : 0;
            }
            result->sensorRecords = qMax(result->sensorRecords, records);
        }
    }
    // What was left out, in seconds at the recovered data's rate.
    const qint64 media = walker.dataEnd() - start;
    const qint64 rest = file.trailingZerosStart() - walker.dataEnd();
    if (rest <= 0 || result->videoSeconds <= 0) {
        return QString();
    }
    const double restSeconds = rest / (double(media) / result->videoSeconds);
    if (walker.stop() == RMRecoverWalker::STOP_INTERLEAVE) {
        return "; the tracks drift apart after that, the rest was left out";
    }
    return restSeconds < 0.005 ? "; a few bytes at the end were incomplete"
                               : "; the last " + seconds(restSeconds) + " s was incomplete";
}

// The pictures since the last key frame must decode cleanly: a picture
// whose end lies in stale bytes passes every header check but not this.
// The walk is cut back to the first one that does not.
void RMRecovery::_checkLastPictures(RMFileWindow& file, const RMNalScanner& scanner,
                                    RMRecoverWalker& walker) {
    const std::vector<RMRecoverWalker::Sample>& video = walker.samples(walker.videoTrack());
    size_t key = video.size();
    while (key > 0 && !video[key - 1].key) {
        --key;
    }
    if (key == 0) {
        return;
    }
    std::vector<QByteArray> pictures;
    for (size_t i = key - 1; i < video.size(); ++i) {
        pictures.push_back(file.read(video[i].offset, video[i].size));
    }
    const int clean =
        RMKeyFrameCheck::cleanPictures(scanner.codec(), scanner.configRecord(), pictures);
    if (size_t(clean) < pictures.size()) {
        qInfo() << "RMRecovery" << __LINE__ << "picture" << key - 1 + size_t(clean)
                << "does not decode; the walk ends before it";
        walker.truncate(video[key - 1 + size_t(clean)].offset);
    }
}

bool RMRecovery::mediaHeader(const std::vector<RMMp4Index::Box>& top, qint64 dataEnd,
                             std::vector<Patch>* patches) {
    size_t i = 0;
    while (i < top.size() && top[i].type != RMMp4Index::fourcc("mdat")) {
        ++i;
    }
    if (i == top.size()) {
        return false;
    }
    const RMMp4Index::Box& mdat = top[i];
    auto header = [](qint64 pos, quint64 size, bool wide) {
        Patch patch{pos, QByteArray(wide ? 16 : 8, '\0')};
        qToBigEndian(wide ? quint32(1) : quint32(size), patch.bytes.data());
        std::memcpy(patch.bytes.data() + 4, "mdat", 4);
        if (wide) {
            qToBigEndian(size, patch.bytes.data() + 8);
        }
        return patch;
    };
    const quint64 size = quint64(dataEnd - mdat.pos);
    patches->clear();
    if (mdat.header == 16 || size <= std::numeric_limits<quint32>::max()) {
        patches->push_back(header(mdat.pos, size, mdat.header == 16));
        return true;
    }
    // A 64-bit size needs eight more header bytes: a free box right before
    // the media data gives them up, so no sample moves.
    const bool room = i > 0 && top[i - 1].size >= 8 && top[i - 1].header == 8 &&
                      top[i - 1].pos + top[i - 1].size == mdat.pos &&
                      (top[i - 1].type == RMMp4Index::fourcc("free") ||
                       top[i - 1].type == RMMp4Index::fourcc("skip"));
    if (!room) {
        return false;
    }
    const RMMp4Index::Box& free = top[i - 1];
    if (free.size > 8) {
        Patch shrink{free.pos, QByteArray(4, '\0')};
        qToBigEndian(quint32(free.size - 8), shrink.bytes.data());
        patches->push_back(shrink);
    }
    patches->push_back(header(mdat.pos - 8, size + 8, true));
    return true;
}

// The original's first `length` bytes, copied by the kernel where it can
// (as cp does), else through a buffer.
bool RMRecovery::_copyPrefix(QFile& in, QFile& out, qint64 length, const Progress& progress,
                             Result* result) {
    const QString name = QFileInfo(in.fileName()).fileName();
    loff_t from = 0;
    loff_t to = 0;
    bool kernel = true;
    while (to < length) {
        const qint64 chunk = qMin(kCopyBlock, length - to);
        qint64 copied = -1;
        if (kernel) {
            copied = ::copy_file_range(in.handle(), &from, out.handle(), &to, size_t(chunk), 0);
            if (copied < 0 && to == 0) {
                kernel = false;  // not on these file systems: copy through a buffer
                continue;
            }
        } else {
            const QByteArray block = in.seek(to) ? in.read(chunk) : QByteArray();
            copied = !block.isEmpty() && out.seek(to) && out.write(block) == block.size()
                         ? block.size()
                         : -1;
            to += qMax<qint64>(0, copied);
        }
        if (copied <= 0) {
            result->message = name + ": copying failed: " +
                              (kernel ? QString::fromLocal8Bit(std::strerror(errno))
                                      : in.errorString() + " " + out.errorString());
            return false;
        }
        if (progress && !progress(to, length)) {
            result->cancelled = true;
            result->message = name + ": cancelled";
            return false;
        }
    }
    return true;
}

bool RMRecovery::_write(const QString& path, const QString& target,
                        const std::vector<Patch>& patches, qint64 dataEnd, const QByteArray& moov,
                        const Progress& progress, Result* result) {
    const QString name = QFileInfo(path).fileName();
    if (QFileInfo::exists(target)) {
        result->message = name + ": " + target + " already exists; it was not replaced";
        return false;
    }
    if (!QDir().mkpath(QFileInfo(target).absolutePath())) {
        result->message = name + ": cannot create the folder " + QFileInfo(target).absolutePath();
        return false;
    }
    QFile in(path);
    QTemporaryFile out(QFileInfo(target).absolutePath() + "/." + name + ".XXXXXX");
    if (!in.open(QIODevice::ReadOnly) || !out.open()) {
        result->message = name + ": " + (in.isOpen() ? out.errorString() : in.errorString());
        return false;
    }
    if (!_copyPrefix(in, out, dataEnd, progress, result)) {
        return false;
    }
    // The headers that change: the media data's size (and a free box).
    for (const Patch& patch : patches) {
        if (!out.seek(patch.pos) || out.write(patch.bytes) != patch.bytes.size()) {
            result->message = name + ": writing failed: " + out.errorString();
            return false;
        }
    }
    if (!out.seek(dataEnd)) {
        result->message = name + ": writing failed: " + out.errorString();
        return false;
    }
    // A temporary file is private to its owner; the recording is not.
    out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                       QFileDevice::ReadOther);
    if (out.write(moov) != moov.size() || !out.flush() || ::fsync(out.handle()) != 0) {
        result->message = name + ": writing failed: " + out.errorString();
        return false;
    }
    // A hard link puts the file in place only if the name is still free.
    const QByteArray from = QFile::encodeName(out.fileName());
    const QByteArray to = QFile::encodeName(target);
    if (::link(from.constData(), to.constData()) != 0) {
        const bool taken = errno == EEXIST;
        if (taken || QFileInfo::exists(target) || !out.rename(target)) {
            result->message =
                name + ": " + target +
                (taken ? " already exists; it was not replaced" : " cannot be written");
            return false;
        }
        out.setAutoRemove(false);
    }
    // The new name must survive a power loss as well.
    const int folder = ::open(QFile::encodeName(QFileInfo(target).absolutePath()).constData(),
                              O_RDONLY | O_DIRECTORY);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    result->output = target;
    return true;
}
