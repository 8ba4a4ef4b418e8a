#include "recovery/rm_last_group_guess.h"

#include <QDebug>
#include <algorithm>

#include "mp4/rm_clean_decode.h"
#include "mp4/rm_file_window.h"
#include "mp4/rm_key_frame_check.h"
#include "mp4/rm_mp4_index.h"
#include "mp4/rm_nal_scanner.h"
#include "recovery/rm_last_group.h"

namespace {
// Key pictures tried, from the end back, before the guess gives up: the
// last one may be cut off, or lie in stale bytes.
constexpr int kMaxAttempts = 4;
// How far back from the end of the data a key picture is looked for.
constexpr qint64 kMinLookBack = 1 << 20;
constexpr qint64 kMaxLookBack = 16 << 20;

bool samePictures(const std::vector<RMRecoverWalker::Sample>& a,
                  const std::vector<RMRecoverWalker::Sample>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const RMRecoverWalker::Sample& x, const RMRecoverWalker::Sample& y) {
                          return x.offset == y.offset && x.size == y.size;
                      });
}
}  // namespace

RMLastGroupGuess::~RMLastGroupGuess() {
    stop();
}

void RMLastGroupGuess::stop() {
    _stop = true;
    if (_thread.joinable()) {
        _thread.join();
    }
}

void RMLastGroupGuess::start(const QString& path, const RMMp4Index& reference, qint64 start,
                             qint64 end) {
    stop();
    _stop = false;
    {
        std::lock_guard<std::mutex> lock(_lock);
        _planned = false;
        _done = false;
        _pictures.clear();
        _bytes.clear();
        _clean = -1;
    }
    const RMMp4Index* ref = &reference;
    _thread = std::thread([this, path, ref, start, end] { _run(path, ref, start, end); });
}

bool RMLastGroupGuess::take(const std::vector<RMRecoverWalker::Sample>& pictures,
                            const std::vector<QByteArray>& bytes, int* clean) {
    if (!_thread.joinable()) {
        return false;
    }
    bool same = false;
    {
        std::unique_lock<std::mutex> lock(_lock);
        _changed.wait(lock, [this] { return _planned; });
        same = !_pictures.empty() && samePictures(_pictures, pictures);
        if (same) {
            _changed.wait(lock, [this] { return _done; });
            same = _clean >= 0 && _bytes == bytes;
            *clean = same ? _clean : 0;
        }
    }
    if (!same) {
        qInfo() << "RMLastGroupGuess" << __LINE__ << "the guess is not the walk's last group";
    }
    stop();
    return same;
}

void RMLastGroupGuess::_run(const QString& path, const RMMp4Index* reference, qint64 start,
                            qint64 end) {
    RMFileWindow file;
    RMNalScanner scanner;
    RMCleanDecode decode;
    std::vector<QByteArray> bytes;
    const bool guessed =
        file.open(path) && _guess(file, *reference, start, end, &scanner, &decode, &bytes);
    if (!guessed) {
        _plan({});
    }
    int clean = -1;
    if (guessed && !_stop) {
        clean = decode.finish();
        // Frame threads tell a damaged picture late: the exact count takes
        // one thread.
        if (clean < int(bytes.size()) && RMKeyFrameCheck::frameThreads() > 1) {
            clean = RMCleanDecode::count(scanner.codec(), scanner.configRecord(), bytes, 1, &_stop);
        }
    }
    {
        std::lock_guard<std::mutex> lock(_lock);
        _done = true;
        if (!_stop) {
            _clean = clean;
            _bytes = std::move(bytes);
        }
    }
    _changed.notify_all();
}

// The key picture found looking back starts decoding at once; the walk
// from it then tells the rest of its group, which follows it into the
// decoder.
bool RMLastGroupGuess::_guess(RMFileWindow& file, const RMMp4Index& reference, qint64 start,
                              qint64 end, RMNalScanner* scanner, RMCleanDecode* decode,
                              std::vector<QByteArray>* bytes) {
    const RMMp4Index::Track* video = nullptr;
    for (const RMMp4Index::Track& t : reference.tracks()) {
        video = t.kind == RMMp4Index::KIND_VIDEO ? &t : video;
    }
    if (!video || !scanner->configure(video->sampleEntry)) {
        return false;
    }
    const qint64 fileEnd = end >= 0 ? qMin(end, file.size()) : file.size();
    const qint64 dataEnd = end >= 0 ? fileEnd : file.trailingZerosStart();
    const qint64 floor = qMax(start, dataEnd - _lookBack(*video));
    RMRecoverWalker walker;
    QString error;
    bool walkerReady = false;
    qint64 before = dataEnd;
    for (int attempt = 0; attempt < kMaxAttempts && !_stop; ++attempt) {
        // Looking back reads block by block; the walk reads far ahead.
        file.setWindow(0);
        const qint64 key = scanner->keyPictureBefore(file, before, floor);
        file.setWindow(RMFileWindow::kWindow);
        RMNalScanner::Picture picture;
        if (key < 0 || scanner->picture(file, key, fileEnd, dataEnd, RMNalScanner::State(),
                                        &picture) != RMNalScanner::RESULT_PICTURE) {
            return false;
        }
        const QByteArray keyBytes = file.read(key, picture.size);
        if (!decode->open(scanner->codec(), scanner->configRecord(),
                          RMKeyFrameCheck::frameThreads()) ||
            !decode->add(keyBytes)) {
            return false;
        }
        if (!walkerReady && !walker.setReference(reference, &error)) {
            return false;
        }
        walkerReady = true;
        walker.walkFromKeyPicture(file, key, end, [this](qint64) { return !_stop; });
        const RMLastGroup::Plan plan =
            RMLastGroup::plan(walker.samples(walker.videoTrack()), scanner->codec());
        if (plan.decoded.empty() || plan.decoded.front().offset != key ||
            qint64(plan.decoded.front().size) != keyBytes.size()) {
            before = key;
            continue;
        }
        return _takeGroup(file, plan.decoded, keyBytes, decode, bytes);
    }
    return false;
}

// The rest of the group after its key frame, read and handed to the
// decoder; a group over the bound is not guessed.
bool RMLastGroupGuess::_takeGroup(RMFileWindow& file,
                                  const std::vector<RMRecoverWalker::Sample>& group,
                                  const QByteArray& keyBytes, RMCleanDecode* decode,
                                  std::vector<QByteArray>* bytes) {
    qint64 total = 0;
    for (const RMRecoverWalker::Sample& picture : group) {
        total += picture.size;
    }
    if (total > kMaxBytes) {
        return false;
    }
    // The check may tell now that it takes other pictures.
    _plan(group);
    bytes->push_back(keyBytes);
    for (size_t n = 1; n < group.size() && !_stop; ++n) {
        bytes->push_back(file.read(group[n].offset, group[n].size));
        if (file.readErrorAt() >= 0) {
            return false;
        }
        decode->add(bytes->back());
    }
    return !_stop;
}

void RMLastGroupGuess::_plan(const std::vector<RMRecoverWalker::Sample>& pictures) {
    {
        std::lock_guard<std::mutex> lock(_lock);
        _planned = true;
        _pictures = pictures;
    }
    _changed.notify_all();
}

// Twice the reference's longest group of pictures in bytes (from one key
// frame to the next, the other tracks' samples between them included).
qint64 RMLastGroupGuess::_lookBack(const RMMp4Index::Track& video) {
    qint64 longest = 0;
    qint64 key = -1;
    for (size_t i = 0; i < video.offsets.size() && i < video.sync.size(); ++i) {
        if (video.sync[i]) {
            longest = key >= 0 ? qMax(longest, qint64(video.offsets[i]) - key) : longest;
            key = qint64(video.offsets[i]);
        }
    }
    if (key >= 0 && !video.offsets.empty()) {
        longest = qMax(longest, qint64(video.offsets.back() + video.sizes.back()) - key);
    }
    return qBound(kMinLookBack, 2 * longest + kMinLookBack, kMaxLookBack);
}
