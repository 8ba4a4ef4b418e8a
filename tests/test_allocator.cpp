// The allocator gives large blocks back to the system however many were
// freed before: a freed picture must not raise the bar for the next one.
// Freed small blocks between ones still in use go back when asked.
#include <malloc.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/rm_allocator.h"
#include "test_support.h"

class TestAllocator : public QObject {
    Q_OBJECT
private slots:
    void largeBlocksStayInMappingsOfTheirOwn() {
        RMAllocator::configure();
        // A 4 MB picture freed, then smaller ones (a 720p frame is 1.4 MB):
        // each must be a mapping of its own, not a piece of an arena.
        void* first = std::malloc(4 << 20);
        QVERIFY(first != nullptr);
        std::free(first);
        for (const size_t size : {size_t(2) << 20, size_t(1400) << 10, size_t(256) << 10}) {
            const size_t before = mallinfo2().hblkhd;
            void* block = std::malloc(size);
            QVERIFY(block != nullptr);
            const size_t mapped = mallinfo2().hblkhd - before;
            std::free(block);
            QVERIFY2(mapped >= size,
                     qPrintable(QString("%1 of %2 bytes mapped").arg(mapped).arg(size)));
        }
    }

    void freedBlocksBetweenLiveOnesGoBackWhenAsked() {
        RMAllocator::configure();
        // 64 MB of blocks just under the threshold, each followed by a small
        // one that stays: the arena cannot shrink past those.
        const size_t size = RMAllocator::kMmapThreshold / 2;
        std::vector<void*> freed;
        std::vector<void*> kept;
        for (int i = 0; i < 1024; ++i) {
            freed.push_back(std::malloc(size));
            kept.push_back(std::malloc(16));
            QVERIFY(freed.back() != nullptr && kept.back() != nullptr);
            std::memset(freed.back(), 1, size);
        }
        for (void* block : freed) {
            std::free(block);
        }
        const double before = RMAllocator::residentMb();
        const int done = RMAllocator::releasesDone();
        RMAllocator::releaseFreePages();
        QTRY_VERIFY(RMAllocator::releasesDone() > done);
        const double after = RMAllocator::residentMb();
        for (void* block : kept) {
            std::free(block);
        }
        QVERIFY2(before - after > 48, qPrintable(QString("%1 -> %2 MB").arg(before).arg(after)));
    }
};

ORVIN_CORE_TEST_MAIN(TestAllocator)
#include "test_allocator.moc"
