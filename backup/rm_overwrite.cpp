#include "backup/rm_overwrite.h"

std::atomic<int> RMOverwrite::gCurrent{RMOverwrite::OVERWRITE_ASK};
std::mutex RMOverwrite::_lock;
std::condition_variable RMOverwrite::_wait;
QString RMOverwrite::_currentFileName;
int RMOverwrite::_currentCount = 0;
bool RMOverwrite::_answered = false;

void RMOverwrite::reset() {
    std::lock_guard<std::mutex> guard(_lock);
    gCurrent = OVERWRITE_ASK;
    _currentFileName.clear();
    _currentCount = 0;
    _answered = false;
}

void RMOverwrite::ask(const QString& fileName, int count) {
    std::lock_guard<std::mutex> guard(_lock);
    _currentFileName = fileName;
    _currentCount = count;
    _answered = false;
}

int RMOverwrite::waitForAnswer() {
    std::unique_lock<std::mutex> guard(_lock);
    _wait.wait(guard, [] { return _answered || isCancelled(); });
    return gCurrent.load();
}

QString RMOverwrite::currentFileName() {
    std::lock_guard<std::mutex> guard(_lock);
    return _currentFileName;
}

int RMOverwrite::currentCount() {
    std::lock_guard<std::mutex> guard(_lock);
    return _currentCount;
}

void RMOverwrite::answer(int decision) {
    {
        std::lock_guard<std::mutex> guard(_lock);
        gCurrent = decision;
        _answered = true;
    }
    _wait.notify_all();
}

void RMOverwrite::requestCancel() {
    {
        std::lock_guard<std::mutex> guard(_lock);
        gCurrent |= OVERWRITE_CANCEL;
    }
    _wait.notify_all();
}

void RMOverwrite::nextRecording() {
    int current = gCurrent.load();
    int next;
    do {
        if (current & (OVERWRITE_APPLY_ALL | OVERWRITE_CANCEL)) {
            return;
        }
        next = OVERWRITE_ASK;
    } while (!gCurrent.compare_exchange_weak(current, next));
}
