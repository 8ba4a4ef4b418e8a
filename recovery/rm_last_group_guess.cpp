#include "recovery/rm_last_group_guess.h"

#include <QDebug>
#include <algorithm>

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
    std::vector<RMRecoverWalker::Sample> pictures;
    std::vector<QByteArray> bytes;
    const bool guessed =
        file.open(path) && _guess(file, *reference, start, end, &scanner, &pictures, &bytes);
    {
        std::lock_guard<std::mutex> lock(_lock);
        _planned = true;
        _pictures = pictures;
    }
    _changed.notify_all();
    int clean = -1;
    if (guessed && !_stop) {
        clean =
            RMKeyFrameCheck::cleanPictures(scanner.codec(), scanner.configRecord(), bytes, &_stop);
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

bool RMLastGroupGuess::_guess(RMFileWindow& file, const RMMp4Index& reference, qint64 start,
                              qint64 end, RMNalScanner* scanner,
                              std::vector<RMRecoverWalker::Sample>* pictures,
                              std::vector<QByteArray>* bytes) {
    RMRecoverWalker walker;
    QString error;
    if (!walker.setReference(reference, &error) ||
        !scanner->configure(reference.tracks()[size_t(walker.videoTrack())].sampleEntry)) {
        return false;
    }
    const qint64 dataEnd = end >= 0 ? qMin(end, file.size()) : file.trailingZerosStart();
    const qint64 floor = qMax(start, dataEnd - _lookBack(reference, walker.videoTrack()));
    qint64 before = dataEnd;
    for (int attempt = 0; attempt < kMaxAttempts && !_stop; ++attempt) {
        // Looking back reads block by block; the walk reads far ahead.
        file.setWindow(0);
        const qint64 key = scanner->keyPictureBefore(file, before, floor);
        if (key < 0) {
            return false;
        }
        file.setWindow(RMFileWindow::kWindow);
        walker.walkFromKeyPicture(file, key, end, [this](qint64) { return !_stop; });
        const std::vector<RMRecoverWalker::Sample>& video = walker.samples(walker.videoTrack());
        if (video.empty() || video.front().offset != key) {
            before = key;
            continue;
        }
        *pictures = RMLastGroup::plan(video, scanner->codec()).decoded;
        qint64 total = 0;
        for (const RMRecoverWalker::Sample& picture : *pictures) {
            total += picture.size;
        }
        if (pictures->empty() || total > kMaxBytes) {
            pictures->clear();
            return false;
        }
        for (const RMRecoverWalker::Sample& picture : *pictures) {
            bytes->push_back(file.read(picture.offset, picture.size));
        }
        if (file.readErrorAt() >= 0) {
            pictures->clear();
            return false;
        }
        return true;
    }
    return false;
}

// Twice the reference's longest group of pictures in bytes (from one key
// frame to the next, the other tracks' samples between them included).
qint64 RMLastGroupGuess::_lookBack(const RMMp4Index& reference, int videoTrack) const {
    const RMMp4Index::Track& video = reference.tracks()[size_t(videoTrack)];
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
