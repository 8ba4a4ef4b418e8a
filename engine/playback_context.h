#pragma once

#include <QSize>
#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <vector>

#include "engine/av_error.h"
#include "engine/decoder.h"
#include "engine/engine_types.h"
#include "engine/packet_queue.h"

// What the demux thread found in the file. Timestamps are the container's own
// (absolute) ones in microseconds.
struct MediaInfo {
    int videoStream = -1;  // container stream index, -1 when none
    int audioStream = -1;
    double videoTimeBase = 0;  // seconds per timestamp tick
    double audioTimeBase = 0;
    int64_t startUs = 0;
    int64_t durationUs = 0;
    double frameRate = 0;  // 0 when unknown
    QSize frameSize;
    int audioSampleRate = 0;
    int audioChannels = 0;
};

class AVClock;

// How a wait of a decoding thread for its frame's time ended.
enum class StreamWait { Due, Stale, Aborted };

struct SeekRequest {
    int64_t targetUs = 0;  // absolute media time
    SeekType type = AccurateSeek;
    uint64_t id = 0;  // counts the player's requests; the newest has the highest
};

// The seek that the packets of one serial start with.
struct SeekTarget {
    int serial = 0;
    bool active = false;
    int64_t targetUs = 0;
    SeekType type = AccurateSeek;
    uint64_t requestId = 0;
};

// What an engine thread reports to the player on the GUI thread.
struct PlayerEvent {
    // Prerolled: the video thread has its first picture (or its stream ended).
    enum Type { Loaded, LoadFailed, Prerolled, FirstFrame, SeekFinished, StreamEnded };
    Type type = Loaded;
    int serial = 0;
    uint64_t requestId = 0;  // SeekFinished: the request that landed
    double seconds = 0;      // absolute timestamp
    bool video = true;       // StreamEnded: which stream
    AVError error;
};

// Everything one loaded file shares between the player (GUI thread) and its
// demux, video and audio threads. A new context is made for every load and
// dropped after its threads have been joined, so an event or a seek of one
// load can never reach the next one. The threads write to what the player
// owns (its clock, sound output and video outputs) only through
// whileAttached(), so once abort() has returned they never do again and the
// player can leave the joining to another thread.
class PlaybackContext {
public:
    // `wake` is called (on an engine thread) when the event mailbox turns
    // non-empty; it must only post a call to the GUI thread.
    PlaybackContext(const QString& path, int audioStreamWanted, std::function<void()> wake);
    ~PlaybackContext();

    const QString path;
    const int audioStreamWanted;  // -1: no audio

    // Written by the demux thread before it posts Loaded and never after; the
    // mailbox mutex orders that write before the player's reads, and thread
    // creation orders it before the decoding threads' reads.
    MediaInfo info;
    std::unique_ptr<Decoder> videoDecoder;  // handed to the video thread at play
    std::unique_ptr<Decoder> audioDecoder;  // handed to the audio thread at play

    PacketQueue videoQueue;
    PacketQueue audioQueue;

    // Control. Every change calls wake-ups of waitForChange(). abort() waits
    // for a write through whileAttached() in progress (a frame handed to the
    // outputs, sound to the card), never for a decode or a read.
    void abort();
    bool isAborted() const { return aborted_.load(); }
    // Runs `write` unless the playback was aborted; false when it was not run.
    template <class Write>
    bool whileAttached(Write&& write) {
        std::shared_lock<std::shared_mutex> lock(attachMutex_);
        if (aborted_.load()) {
            return false;
        }
        write();
        return true;
    }
    void setPaused(bool paused);
    bool isPaused() const;
    // Playback has started: the decoding threads may present. Before it, the
    // demux thread already reads and the video thread decodes its first
    // picture (preroll), so that playback starts without the decoding delay.
    void start();
    bool isStarted() const;
    // The change counter before a check; pass it to waitForChange().
    uint64_t changes() const;
    // Sleeps until something changed since `seen` or the timeout passed.
    void waitForChange(uint64_t seen, std::chrono::microseconds timeout);
    void notifyChange();

    // The wait of a decoding thread: until `sleepBeforeDue` (asked while
    // started and not paused) returns 0; otherwise it returns how long to sleep before
    // asking again. Stale when `queue` moved past `serial` (a seek), Aborted
    // when the playback stops. A change (resume, seek, stop) wakes it at once.
    StreamWait waitUntilDue(const PacketQueue& queue, int serial,
                            const std::function<double()>& sleepBeforeDue);
    // The same, until `clock` reaches `seconds` (at the clock's speed).
    StreamWait waitForClock(const PacketQueue& queue, int serial, const AVClock& clock,
                            double seconds);

    // Seek requests, from the GUI thread to the demux thread.
    void pushSeek(const SeekRequest& request);
    bool hasSeekRequest() const;
    // Takes the newest request and drops older ones (they are merged).
    bool takeSeek(SeekRequest* request);
    // Seeks the demux thread has executed since the load (merged ones count
    // once): a statistic for tests and benchmarks.
    std::atomic<int> seeksExecuted{0};
    // Pictures the video thread has decoded since the load (a statistic).
    std::atomic<int> framesDecoded{0};

    // Restart after a seek. Playback goes on from a seek only once every
    // decoding stream has its first frame at the new position, so that no
    // stream starts late against the others (sound that reaches its landing
    // after the picture would otherwise be dropped as late). The demux thread
    // arms the barrier for the new serial with the number of streams; each
    // decoding thread reports its landing and waits for the others.
    void armRestart(int serial, int streams);
    // Reports one stream's landing at `seconds` (the picture's landing is
    // preferred as the common one). True for the last stream to land: the
    // caller then moves the clock to restartLanding() and playback goes on.
    bool landed(int serial, double seconds, bool video);
    double restartLanding() const;
    // Waits until every stream of `serial` has landed, a newer seek or a stop
    // came, or kRestartTimeout passed (a stream that never lands is not
    // waited for longer).
    StreamWait waitForRestart(const PacketQueue& queue, int serial);
    // A decoding thread's part of a seek's landing at `seconds`: when it
    // `announces` the landing (the picture's stream, or the sound's when there
    // is no picture), it moves `clock` there and posts SeekFinished for
    // `requestId`; then it joins the restart and waits for the other streams.
    // False when the playback stops meanwhile.
    bool finishLanding(const PacketQueue& queue, int serial, uint64_t requestId, double seconds,
                       bool video, bool announces, AVClock& clock);

    // The seek the current serial starts with (demux thread writes, decoders
    // read when they meet a new serial).
    void setSeekTarget(const SeekTarget& target);
    SeekTarget seekTarget() const;
    int nextSerial() { return ++serial_; }  // demux thread only

    // Where the media is cut (absolute µs; INT64_MAX: not cut) and how long the
    // player runs on after its media ends; set from the GUI thread at any time.
    std::atomic<int64_t> endUs{INT64_MAX};
    std::atomic<int64_t> extensionUs{0};
    std::atomic<int> playerId{0};
    // Whether the audio stream is read and decoded: set by the demux thread
    // with the audio decoder, and cleared by the player when playback starts
    // without sound (packets read before then are dropped).
    std::atomic<bool> audioEnabled{false};

    // Event mailbox, drained by the player on the GUI thread.
    void post(const PlayerEvent& event);
    std::vector<PlayerEvent> takeEvents();

private:
    std::function<void()> wake_;
    // Set under attachMutex_ held exclusively, so that no whileAttached()
    // write (the threads hold it shared, so they never wait for each other)
    // runs after abort() returns; read anywhere.
    std::atomic<bool> aborted_{false};
    std::shared_mutex attachMutex_;
    int serial_ = 0;  // demux thread only

    mutable std::mutex controlMutex_;
    std::condition_variable controlChanged_;
    uint64_t changes_ = 0;  // guarded by controlMutex_
    bool paused_ = false;   // guarded by controlMutex_
    bool started_ = false;  // guarded by controlMutex_
    struct Restart {
        int serial = -1;
        int waiting = 0;  // streams of `serial` still to land
        double landing = 0;
        bool videoLanded = false;
    };
    Restart restart_;  // guarded by controlMutex_

    mutable std::shared_mutex seekMutex_;   // the seek queue's read/write lock
    std::deque<SeekRequest> seekRequests_;  // guarded by seekMutex_
    SeekTarget seekTarget_;                 // guarded by seekMutex_

    std::mutex eventMutex_;
    std::vector<PlayerEvent> events_;  // guarded by eventMutex_
};
