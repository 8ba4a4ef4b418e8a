// The allocator gives large blocks back to the system however many were
// freed before: a freed picture must not raise the bar for the next one.
#include <malloc.h>

#include <cstdlib>

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
};

ORVIN_CORE_TEST_MAIN(TestAllocator)
#include "test_allocator.moc"
