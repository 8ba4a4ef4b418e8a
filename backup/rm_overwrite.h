#pragma once

#include <QString>
#include <atomic>
#include <condition_variable>
#include <mutex>

// The decision shared by the backup worker and the GUI thread when a target
// file exists: the worker asks and waits, the GUI answers and wakes it. The
// wait has a predicate, so an answer given before the worker waits is kept.
class RMOverwrite {
public:
    enum {
        OVERWRITE_ASK = 1,
        OVERWRITE_SKIP = 2,
        OVERWRITE_REPLACE = 4,
        OVERWRITE_CANCEL = 8,
        OVERWRITE_APPLY_ALL = 16,
    };

    // Start of a backup: ask again, no question pending, no cancel.
    static void reset();

    // Worker: publishes the question; call before announcing the pause.
    static void ask(const QString& fileName, int count);
    // Worker: waits until the GUI has answered; returns the decision.
    static int waitForAnswer();

    // GUI: the question being asked.
    static QString currentFileName();
    static int currentCount();
    // GUI: stores the decision and wakes the worker.
    static void answer(int decision);
    // GUI (progress popup): stop after the current file.
    static void requestCancel();

    static bool isCancelled() { return gCurrent.load() & OVERWRITE_CANCEL; }
    // After one recording: back to asking unless the answer applies to all;
    // a cancel is never undone.
    static void nextRecording();

    static std::atomic<int> gCurrent;

private:
    static std::mutex _lock;
    static std::condition_variable _wait;
    // Guarded by _lock.
    static QString _currentFileName;
    static int _currentCount;
    static bool _answered;
};
