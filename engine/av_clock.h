#pragma once

#include <QObject>
#include <chrono>
#include <mutex>

// A playback clock in seconds. It runs from a base value at `speed` times real
// time once started, stands still while paused, and can be moved from outside
// (updateExternalClock) to follow another clock. Every player has one as its
// master clock; a controller may keep one more as the shared reference.
//
// The GUI thread starts, pauses, moves and resets it; the engine's threads read
// it (value()) and the video thread moves it when a seek lands. All of it is
// guarded by one std::mutex, so any thread may call any member; the signals are
// emitted on the calling thread and only by the slots start, pause and reset.
class AVClock : public QObject {
    Q_OBJECT
public:
    enum ClockType { AudioClock, ExternalClock, VideoClock };
    Q_ENUM(ClockType)

    explicit AVClock(ClockType type, QObject* parent = nullptr);
    explicit AVClock(QObject* parent = nullptr);

    void setClockType(ClockType type);
    ClockType clockType() const;
    // Automatic: the player picks the clock type when playback starts.
    void setClockAuto(bool automatic);
    bool isClockAuto() const;

    // Started and not paused.
    bool isActive() const;
    bool isPaused() const;

    // The value reset() returns to.
    void setInitialValue(double seconds);
    double initialValue() const;

    // The time in seconds.
    double value() const;
    // Moves an audio clock to the timestamp being heard; other types ignore it.
    void updateValue(double pts);
    // Moves the clock to msecs; it keeps running or standing as it was.
    void updateExternalClock(qint64 msecs);
    // Moves the clock to the other clock's current value.
    void updateExternalClock(const AVClock& clock);

    void setSpeed(qreal speed);
    qreal speed() const;

public slots:
    // Runs from the current value (also after a pause).
    void start();
    // Stops (true) or resumes (false) the clock; resuming a clock that was
    // never started starts it.
    void pause(bool p);
    // Back to the initial value, stopped; type, automatic mode and speed stay.
    void reset();

signals:
    void started();
    void paused(bool p);
    void resumed();
    void resetted();

private:
    using Clock = std::chrono::steady_clock;
    double valueLocked(Clock::time_point now) const;
    void rebaseLocked(double seconds, Clock::time_point now);

    mutable std::mutex mutex_;
    ClockType type_;            // guarded by mutex_
    bool automatic_ = false;    // guarded by mutex_
    bool started_ = false;      // guarded by mutex_
    bool paused_ = false;       // guarded by mutex_
    double initial_ = 0;        // guarded by mutex_
    double base_ = 0;           // guarded by mutex_: value at anchor_
    Clock::time_point anchor_;  // guarded by mutex_
    qreal speed_ = 1.0;         // guarded by mutex_
};
