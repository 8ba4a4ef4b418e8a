#include "app/rm_allocator.h"

#include <malloc.h>

#include <QtDebug>

void RMAllocator::configure() {
    // Setting the threshold turns its dynamic adjustment off.
    if (mallopt(M_MMAP_THRESHOLD, kMmapThreshold) != 1) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "mallopt refused" << kMmapThreshold;
    }
}
