#include "app/rm_allocator.h"

#include <malloc.h>

#include <QFile>
#include <QThreadPool>
#include <QtDebug>
#include <atomic>

namespace {
// Set by the requesting thread, cleared by the worker when it is done.
std::atomic<bool> releasing{false};
// Raised by the worker.
std::atomic<int> releases{0};
}  // namespace

void RMAllocator::configure() {
    // Setting the threshold turns its dynamic adjustment off.
    if (mallopt(M_MMAP_THRESHOLD, kMmapThreshold) != 1) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "mallopt refused" << kMmapThreshold;
    }
}

void RMAllocator::releaseFreePages() {
    if (releasing.exchange(true)) {
        return;
    }
    // The arenas are locked one at a time while their free pages are
    // advised away: other threads wait only for the arena they allocate
    // from, and the GUI thread does not wait for the whole walk.
    QThreadPool::globalInstance()->start([] {
        malloc_trim(0);
        ++releases;
        releasing = false;
    });
}

int RMAllocator::releasesDone() {
    return releases;
}

double RMAllocator::residentMb() {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
        }
    }
    return -1;
}
