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
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "app/rm_app.h"
#include "mp4/rm_file_window.h"
#include "mp4/rm_key_frame_check.h"
#include "mp4/rm_mp4_index.h"
#include "recordings/rm_video_item_2ch.h"
#include "recovery/rm_last_group.h"
#include "recovery/rm_last_group_guess.h"
#include "recovery/rm_recover_moov.h"
#include "recovery/rm_recover_output.h"
#include "recovery/rm_recover_walker.h"

namespace {
constexpr int kMaxDepth = 5;
// Seconds from 1904, the epoch of MP4 times, to 1970.
constexpr qint64 kMp4Epoch = 2082844800;

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
    return RMMp4Index::isCutOff(path);
}

QString RMRecovery::recoveredFolder(const QString& path) {
    const QFileInfo info(path);
    const QDir given(info.isDir() ? info.absoluteFilePath() : info.absolutePath());
    QString card = given.dirName();
    // A card pulled meanwhile leaves folders that cannot be climbed: the
    // search stops at the first step that fails.
    for (QDir up = given; !up.isRoot();) {
        if (up.exists("__SYSTEM.CFG")) {
            card = up.dirName();
            break;
        }
        if (!up.cdUp()) {
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
    const QString self = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    // By name first, nearest in time first: earlier ones, then later ones.
    struct Candidate {
        QString path;
        QDateTime when;
    };
    std::vector<Candidate> earlier, later;
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
        const QString candidate = QDir::cleanPath(dir.filePath(name));
        QDateTime when;
        if (candidate == self ||
            QFileInfo(candidate).suffix().compare("mp4", Qt::CaseInsensitive) != 0 ||
            channelOf(candidate) != channel ||
            RMVideoItem::IsFeasible(candidate, &when) == GROUP_NONE) {
            continue;
        }
        (when <= start ? earlier : later).push_back({candidate, when});
    }
    std::stable_sort(earlier.begin(), earlier.end(),
                     [](const Candidate& a, const Candidate& b) { return a.when > b.when; });
    std::stable_sort(later.begin(), later.end(),
                     [](const Candidate& a, const Candidate& b) { return a.when < b.when; });
    earlier.insert(earlier.end(), later.begin(), later.end());
    // Only the headers until one has a whole movie box; that one is read.
    for (const Candidate& c : earlier) {
        RMMp4Index top;
        if (!top.open(c.path, false) || top.isCutOff() || !top.mdat()) {
            continue;
        }
        RMMp4Index index;
        if (index.open(c.path) && index.isComplete()) {
            return c.path;
        }
    }
    return QString();
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
        result.message = name + (cut.mdat() ? ": not cut off: it has its index"
                                            : ": not a recording: it holds no media data");
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
    // The samples are in the last media data box: to the end of the file,
    // or to its own end when it has a size (a movie box cut short follows).
    const RMMp4Index::Box* mdat = cut.mdat();
    const qint64 start = mdat->pos + mdat->header;
    const qint64 end = mdat->size == 0 ? -1 : mdat->pos + mdat->size;
    // The last group of pictures is decoded on another thread while the
    // walk runs, from a guess at where it starts.
    RMLastGroupGuess guess;
    guess.start(path, reference, start, end);
    // The original's bytes are copied while the file is analysed, up to the
    // zeros that end it (or its media data's end); the analysis then says
    // where the data ends.
    RMRecoverOutput output;
    if (!dryRun) {
        QString error;
        const qint64 limit = end >= 0 ? end : file.trailingZerosStart();
        if (!output.start(path, QDir(outputFolder).filePath(name), limit, &error)) {
            result.message = name + ": " + error;
            return result;
        }
    }
    const qint64 total = file.size() * (dryRun ? 1 : 2);
    walker.walk(file, start, end,
                [&](qint64 pos) { return !progress || progress(pos + output.copied(), total); });
    if (walker.stop() == RMRecoverWalker::STOP_CANCELLED) {
        result.cancelled = true;
        result.message = name + ": cancelled";
        return result;
    }
    if (_readFailed(file, name, &result)) {
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
    // The reference's set-up must decode the stream. The last group of
    // pictures is decoded anyway; when its key frame decodes, that shows
    // it, and only otherwise is the first key frame decoded as well.
    const RMMp4Index::Track& video = reference.tracks()[size_t(walker.videoTrack())];
    RMNalScanner scanner;
    scanner.configure(video.sampleEntry);
    const QByteArray first = file.read(pictures[0].offset, pictures[0].size);
    if (!_sameParameterSets(scanner, first)) {
        result.message = mismatch;
        return result;
    }
    const bool lastKeyDecodes = _checkLastPictures(file, scanner, walker, &guess);
    if (_readFailed(file, name, &result)) {
        return result;
    }
    if (!lastKeyDecodes &&
        !RMKeyFrameCheck::decodes(scanner.codec(), scanner.configRecord(), first)) {
        result.message = mismatch;
        return result;
    }
    if (pictures.empty()) {
        result.message = name + ": nothing to recover: its first picture does not decode";
        return result;
    }
    RMRecoverMoov moov(reference, walker);
    moov.setTimes(_mp4Time(_nameTime(path)), _mp4Time(QFileInfo(path).lastModified()));
    const QString tail = _summarise(file, start, end, walker, moov, &result);
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
    QString error;
    bool cancelled = false;
    const qint64 size = file.size();
    if (!output.finish(
            walker.dataEnd(), patches, box,
            [&](qint64 copied) { return !progress || progress(size + copied, total); }, &error,
            &cancelled)) {
        result.recovered = false;
        result.cancelled = cancelled;
        result.message = name + ": " + error;
        if (error.contains("may not survive")) {
            result.output = QDir(outputFolder).filePath(name);
        }
        return result;
    }
    result.output = QDir(outputFolder).filePath(name);
    return result;
}

// A stream that carries its own parameter sets decodes with them whatever
// the reference's are: each of them must be one of the reference's, or the
// recording would get another resolution's or encoder's description.
bool RMRecovery::_sameParameterSets(const RMNalScanner& scanner, const QByteArray& keyFrame) {
    const QList<QByteArray> reference = scanner.configParameterSets();
    for (const QByteArray& own : scanner.sampleParameterSets(keyFrame)) {
        if (!reference.contains(own)) {
            qInfo() << "RMRecovery" << __LINE__ << "a parameter set of the stream is not the"
                    << "reference's:" << own.left(16).toHex();
            return false;
        }
    }
    return true;
}

// The figures of what was recovered, and what the end of the line says
// about the rest of the file.
QString RMRecovery::_summarise(RMFileWindow& file, qint64 start, qint64 end,
                               const RMRecoverWalker& walker, const RMRecoverMoov& moov,
                               Result* result) {
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
    // What was left out of the media data, in seconds at the recovered
    // data's rate (a movie box cut short after it is no media).
    const qint64 media = walker.dataEnd() - start;
    const qint64 rest = (end >= 0 ? end : file.trailingZerosStart()) - walker.dataEnd();
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

// The last group of pictures must decode cleanly (RMLastGroup); the walk
// is cut back to end before the first picture that does not.
bool RMRecovery::_checkLastPictures(RMFileWindow& file, const RMNalScanner& scanner,
                                    RMRecoverWalker& walker, RMLastGroupGuess* guess) {
    const std::vector<RMRecoverWalker::Sample>& video = walker.samples(walker.videoTrack());
    const RMLastGroup::Plan plan = RMLastGroup::plan(video, scanner.codec());
    if (!plan.hasKey) {
        return false;
    }
    if (plan.taken < video.size()) {
        qInfo() << "RMRecovery" << __LINE__ << "the last group of pictures is too long;"
                << "the walk ends after picture" << plan.taken;
        walker.truncate(video[plan.taken].offset);
    }
    if (plan.decoded.empty()) {
        return false;
    }
    std::vector<QByteArray> pictures;
    for (const RMRecoverWalker::Sample& picture : plan.decoded) {
        pictures.push_back(file.read(picture.offset, picture.size));
    }
    int clean = 0;
    if (!guess->take(plan.decoded, pictures, &clean)) {
        clean = RMKeyFrameCheck::cleanPictures(scanner.codec(), scanner.configRecord(), pictures);
    }
    if (size_t(clean) < pictures.size()) {
        qInfo() << "RMRecovery" << __LINE__ << "the picture at"
                << plan.decoded[size_t(clean)].offset << "does not decode; the walk ends before it";
        walker.truncate(plan.decoded[size_t(clean)].offset);
    }
    return clean > 0;
}

bool RMRecovery::mediaHeader(const std::vector<RMMp4Index::Box>& top, qint64 dataEnd,
                             std::vector<Patch>* patches) {
    // The last media data box: the one whose samples were walked.
    size_t i = top.size();
    while (i > 0 && top[i - 1].type != RMMp4Index::fourcc("mdat")) {
        --i;
    }
    if (i == 0) {
        return false;
    }
    --i;
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

// A short read is a device failing, not the end of the data: nothing of
// such a file is written.
bool RMRecovery::_readFailed(RMFileWindow& file, const QString& name, Result* result) {
    if (file.readErrorAt() < 0) {
        return false;
    }
    result->recovered = false;
    result->message = name + ": read error at byte " + QString::number(file.readErrorAt()) + " (" +
                      file.errorString() + "); nothing was written";
    return true;
}

// The recording's start as its name gives it, else its file's time.
QDateTime RMRecovery::_nameTime(const QString& path) {
    QDateTime start;
    if (RMVideoItem::IsFeasible(path, &start) == GROUP_NONE || !start.isValid()) {
        return QFileInfo(path).lastModified();
    }
    return start;
}

quint64 RMRecovery::_mp4Time(const QDateTime& time) {
    return time.isValid() ? quint64(qMax<qint64>(0, time.toSecsSinceEpoch() + kMp4Epoch)) : 0;
}
