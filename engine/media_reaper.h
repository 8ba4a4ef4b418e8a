#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

class AudioThread;
class DemuxThread;
class PlaybackContext;
class VideoThread;

// The threads and context of a media a player has let go of, aborted.
struct RetiredMedia {
    std::shared_ptr<PlaybackContext> context;
    std::unique_ptr<DemuxThread> demux;
    std::unique_ptr<VideoThread> video;
    std::unique_ptr<AudioThread> audio;
};

// Joins and frees retired media on a thread of its own, so that a stop or a
// change of file never waits for a decode or a read of the card in progress.
// An aborted media's threads no longer write to the player, but they may
// still read its clock and outputs until they end: the player's destructor
// destroys its reaper first, which waits for everything handed over.
class MediaReaper {
public:
    MediaReaper() = default;
    ~MediaReaper();
    MediaReaper(const MediaReaper&) = delete;
    MediaReaper& operator=(const MediaReaper&) = delete;

    void retire(RetiredMedia media);
    // Blocks until everything retired so far has been joined and freed.
    void waitForAll();

private:
    void run();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<RetiredMedia> queue_;  // guarded by mutex_
    bool busy_ = false;               // guarded by mutex_: one is being joined
    bool quit_ = false;               // guarded by mutex_
    std::thread thread_;              // started at the first retire(); GUI thread
};
