#include "engine/av_clock.h"

AVClock::AVClock(ClockType type, QObject* parent) : QObject(parent), type_(type) {
    anchor_ = Clock::now();
}

AVClock::AVClock(QObject* parent) : AVClock(AudioClock, parent) {}

void AVClock::setClockType(ClockType type) {
    std::lock_guard<std::mutex> lock(mutex_);
    type_ = type;
}

AVClock::ClockType AVClock::clockType() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return type_;
}

void AVClock::setClockAuto(bool automatic) {
    std::lock_guard<std::mutex> lock(mutex_);
    automatic_ = automatic;
}

bool AVClock::isClockAuto() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return automatic_;
}

bool AVClock::isActive() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return started_ && !paused_;
}

bool AVClock::isPaused() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return started_ && paused_;
}

void AVClock::setInitialValue(double seconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    initial_ = seconds;
}

double AVClock::initialValue() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return initial_;
}

double AVClock::valueLocked(Clock::time_point now) const {
    if (!started_ || paused_) {
        return base_;
    }
    const double elapsed = std::chrono::duration<double>(now - anchor_).count();
    return base_ + elapsed * speed_;
}

void AVClock::rebaseLocked(double seconds, Clock::time_point now) {
    base_ = seconds;
    anchor_ = now;
}

double AVClock::value() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return valueLocked(Clock::now());
}

void AVClock::updateValue(double pts) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (type_ == AudioClock) {
        rebaseLocked(pts, Clock::now());
    }
}

void AVClock::updateExternalClock(qint64 msecs) {
    std::lock_guard<std::mutex> lock(mutex_);
    rebaseLocked(double(msecs) / 1000.0, Clock::now());
}

void AVClock::updateExternalClock(const AVClock& clock) {
    if (&clock == this) {
        return;
    }
    const double other = clock.value();
    std::lock_guard<std::mutex> lock(mutex_);
    rebaseLocked(other, Clock::now());
}

void AVClock::setSpeed(qreal speed) {
    if (!(speed > 0)) {
        return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    const Clock::time_point now = Clock::now();
    rebaseLocked(valueLocked(now), now);
    speed_ = speed;
}

qreal AVClock::speed() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return speed_;
}

void AVClock::start() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const Clock::time_point now = Clock::now();
        rebaseLocked(valueLocked(now), now);
        started_ = true;
        paused_ = false;
    }
    emit started();
}

void AVClock::pause(bool p) {
    bool wasStarted = true;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const Clock::time_point now = Clock::now();
        if (p) {
            if (paused_) {
                return;
            }
            rebaseLocked(valueLocked(now), now);
            paused_ = true;
        } else {
            if (started_ && !paused_) {
                return;
            }
            wasStarted = started_;
            anchor_ = now;
            started_ = true;
            paused_ = false;
        }
    }
    if (!wasStarted) {
        emit started();
    }
    emit paused(p);
    if (!p) {
        emit resumed();
    }
}

void AVClock::reset() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        rebaseLocked(initial_, Clock::now());
        started_ = false;
        paused_ = false;
    }
    emit resetted();
}
