#include "engine/playback_context.h"

#include <algorithm>
#include <cmath>

#include "engine/av_clock.h"

namespace {
// Longest sleep before the clock is read again: the clock may be moved from
// outside (synchronisation) without a wake-up.
constexpr double kMaxClockSleep = 0.02;
// Sleep while paused; a resume, seek or stop wakes the thread at once.
constexpr double kPausedSleep = 0.2;
// The longest a stream waits for the others to land after a seek.
constexpr auto kRestartTimeout = std::chrono::milliseconds(500);
}  // namespace

PlaybackContext::PlaybackContext(const QString& path, int audioStreamWanted,
                                 std::function<void()> wake)
    : path(path), audioStreamWanted(audioStreamWanted), wake_(std::move(wake)) {}

PlaybackContext::~PlaybackContext() = default;

void PlaybackContext::abort() {
    {
        std::unique_lock<std::shared_mutex> lock(attachMutex_);
        aborted_.store(true);
    }
    videoQueue.abort();
    audioQueue.abort();
    notifyChange();
}

void PlaybackContext::setPaused(bool paused) {
    {
        std::lock_guard<std::mutex> lock(controlMutex_);
        paused_ = paused;
        ++changes_;
    }
    controlChanged_.notify_all();
}

bool PlaybackContext::isPaused() const {
    std::lock_guard<std::mutex> lock(controlMutex_);
    return paused_;
}

void PlaybackContext::start() {
    {
        std::lock_guard<std::mutex> lock(controlMutex_);
        started_ = true;
        ++changes_;
    }
    controlChanged_.notify_all();
}

bool PlaybackContext::isStarted() const {
    std::lock_guard<std::mutex> lock(controlMutex_);
    return started_;
}

uint64_t PlaybackContext::changes() const {
    std::lock_guard<std::mutex> lock(controlMutex_);
    return changes_;
}

void PlaybackContext::waitForChange(uint64_t seen, std::chrono::microseconds timeout) {
    std::unique_lock<std::mutex> lock(controlMutex_);
    controlChanged_.wait_for(lock, timeout, [&] { return changes_ != seen; });
}

StreamWait PlaybackContext::waitUntilDue(const PacketQueue& queue, int serial,
                                         const std::function<double()>& sleepBeforeDue) {
    for (;;) {
        const uint64_t seen = changes();
        if (isAborted()) {
            return StreamWait::Aborted;
        }
        if (queue.serial() != serial) {
            return StreamWait::Stale;
        }
        double sleep = kPausedSleep;
        if (isStarted() && !isPaused()) {
            sleep = sleepBeforeDue();
            if (sleep <= 0) {
                return StreamWait::Due;
            }
        }
        waitForChange(seen, std::chrono::microseconds(int64_t(sleep * 1e6)));
    }
}

StreamWait PlaybackContext::waitForClock(const PacketQueue& queue, int serial, const AVClock& clock,
                                         double seconds) {
    return waitUntilDue(queue, serial, [&clock, seconds] {
        const double speed = clock.speed();
        const double ahead = (seconds - clock.value()) / (speed > 0 ? speed : 1.0);
        return ahead <= 0 ? 0.0 : std::min(ahead, kMaxClockSleep);
    });
}

void PlaybackContext::notifyChange() {
    {
        std::lock_guard<std::mutex> lock(controlMutex_);
        ++changes_;
    }
    controlChanged_.notify_all();
}

void PlaybackContext::pushSeek(const SeekRequest& request) {
    {
        std::unique_lock<std::shared_mutex> lock(seekMutex_);
        seekRequests_.push_back(request);
    }
    notifyChange();
}

bool PlaybackContext::hasSeekRequest() const {
    std::shared_lock<std::shared_mutex> lock(seekMutex_);
    return !seekRequests_.empty();
}

bool PlaybackContext::takeSeek(SeekRequest* request) {
    std::unique_lock<std::shared_mutex> lock(seekMutex_);
    if (seekRequests_.empty()) {
        return false;
    }
    *request = seekRequests_.back();
    seekRequests_.clear();
    return true;
}

void PlaybackContext::armRestart(int serial, int streams) {
    {
        std::lock_guard<std::mutex> lock(controlMutex_);
        restart_ = Restart();
        restart_.serial = serial;
        restart_.waiting = streams;
        ++changes_;
    }
    controlChanged_.notify_all();
}

bool PlaybackContext::landed(int serial, double seconds, bool video) {
    bool last = false;
    {
        std::lock_guard<std::mutex> lock(controlMutex_);
        if (restart_.serial != serial || restart_.waiting <= 0) {
            return false;
        }
        if (video || !restart_.videoLanded) {
            restart_.landing = seconds;
            restart_.videoLanded = restart_.videoLanded || video;
        }
        last = --restart_.waiting == 0;
        ++changes_;
    }
    controlChanged_.notify_all();
    return last;
}

double PlaybackContext::restartLanding() const {
    std::lock_guard<std::mutex> lock(controlMutex_);
    return restart_.landing;
}

StreamWait PlaybackContext::waitForRestart(const PacketQueue& queue, int serial) {
    const auto deadline = std::chrono::steady_clock::now() + kRestartTimeout;
    std::unique_lock<std::mutex> lock(controlMutex_);
    for (;;) {
        if (isAborted()) {
            return StreamWait::Aborted;
        }
        if (queue.serial() != serial) {
            return StreamWait::Stale;
        }
        if (restart_.serial != serial || restart_.waiting <= 0) {
            return StreamWait::Due;
        }
        if (controlChanged_.wait_until(lock, deadline) == std::cv_status::timeout) {
            return StreamWait::Due;
        }
    }
}

bool PlaybackContext::finishLanding(const PacketQueue& queue, int serial, uint64_t requestId,
                                    double seconds, bool video, bool announces, AVClock& clock) {
    if (announces) {
        whileAttached([&] { clock.updateExternalClock(std::llround(seconds * 1000)); });
        PlayerEvent event;
        event.type = PlayerEvent::SeekFinished;
        event.serial = serial;
        event.requestId = requestId;
        event.seconds = seconds;
        post(event);
    }
    if (landed(serial, seconds, video)) {
        const double landing = restartLanding();
        whileAttached([&] { clock.updateExternalClock(std::llround(landing * 1000)); });
    }
    return waitForRestart(queue, serial) != StreamWait::Aborted;
}

void PlaybackContext::setSeekTarget(const SeekTarget& target) {
    std::unique_lock<std::shared_mutex> lock(seekMutex_);
    seekTarget_ = target;
}

SeekTarget PlaybackContext::seekTarget() const {
    std::shared_lock<std::shared_mutex> lock(seekMutex_);
    return seekTarget_;
}

void PlaybackContext::post(const PlayerEvent& event) {
    bool wasEmpty = false;
    {
        std::lock_guard<std::mutex> lock(eventMutex_);
        wasEmpty = events_.empty();
        events_.push_back(event);
    }
    if (wasEmpty && wake_) {
        wake_();
    }
}

std::vector<PlayerEvent> PlaybackContext::takeEvents() {
    std::lock_guard<std::mutex> lock(eventMutex_);
    std::vector<PlayerEvent> taken;
    taken.swap(events_);
    return taken;
}
