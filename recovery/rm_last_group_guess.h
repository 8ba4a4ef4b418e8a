#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "mp4/rm_mp4_index.h"
#include "recovery/rm_recover_walker.h"

class RMCleanDecode;
class RMFileWindow;
class RMNalScanner;

// Decoding the last group of pictures takes longer than the walk that finds
// it. This guesses the pictures the check will decode and decodes them on a
// thread of its own while the walk still runs: it looks back from the end
// of the data for the last key picture, walks from there to the end with
// the reference's layout, and takes the pictures the check would take of
// that walk. The check uses the outcome only when its own pictures are the
// very same, byte for byte, so a wrong guess costs time, never a different
// result.
class RMLastGroupGuess {
public:
    RMLastGroupGuess() = default;
    ~RMLastGroupGuess();
    RMLastGroupGuess(const RMLastGroupGuess&) = delete;
    RMLastGroupGuess& operator=(const RMLastGroupGuess&) = delete;

    // Starts guessing for the media data [start, end) of the file at
    // `path` (to the end of the file when `end` is negative). `reference`
    // must outlive the guess.
    void start(const QString& path, const RMMp4Index& reference, qint64 start, qint64 end);
    // Waits for the guess. When it decoded exactly `pictures`, whose bytes
    // are `bytes`, gives how many of them decoded cleanly one after the
    // other and returns true. A guess of other pictures is stopped as soon
    // as that is known.
    bool take(const std::vector<RMRecoverWalker::Sample>& pictures,
              const std::vector<QByteArray>& bytes, int* clean);
    // Stops the guess and waits for its thread (at most one picture's
    // decoding).
    void stop();

    // Bytes of pictures a guess holds at most; a larger group is left to
    // the check.
    static constexpr qint64 kMaxBytes = 32 << 20;

private:
    void _run(const QString& path, const RMMp4Index* reference, qint64 start, qint64 end);
    bool _guess(RMFileWindow& file, const RMMp4Index& reference, qint64 start, qint64 end,
                RMNalScanner* scanner, RMCleanDecode* decode, std::vector<QByteArray>* bytes);
    bool _takeGroup(RMFileWindow& file, const std::vector<RMRecoverWalker::Sample>& group,
                    const QByteArray& keyBytes, RMCleanDecode* decode,
                    std::vector<QByteArray>* bytes);
    // Tells the check which pictures the guess decodes (none: no guess).
    void _plan(const std::vector<RMRecoverWalker::Sample>& pictures);
    static qint64 _lookBack(const RMMp4Index::Track& video);

    std::thread _thread;             // the owner's thread only
    std::atomic<bool> _stop{false};  // set by the owner's thread, read by the guess's
    std::mutex _lock;
    std::condition_variable _changed;
    // Guarded by _lock, written by the guess's thread: whether the pictures
    // are known (none: no guess) and whether the thread is done, and then
    // their bytes and how many decoded cleanly (-1: not decoded).
    bool _planned = false;
    bool _done = false;
    std::vector<RMRecoverWalker::Sample> _pictures;
    std::vector<QByteArray> _bytes;
    int _clean = -1;
};
