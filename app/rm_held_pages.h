#pragma once

#include <QtGlobal>
#include <vector>

// Which bytes of an open file the system holds in memory. It asks the
// system (mincore) through a mapping of the file that this program never
// reads or writes itself, so that neither a failing device nor a file cut
// short can fault in it; the kernel may read from it (a write that takes
// its bytes straight from the page cache). Where the system cannot say,
// nothing is held.
class RMHeldPages {
public:
    RMHeldPages() = default;
    ~RMHeldPages();
    RMHeldPages(const RMHeldPages&) = delete;
    RMHeldPages& operator=(const RMHeldPages&) = delete;

    // The file open as `fd`, of `size` bytes; mapped when first asked.
    void attach(int fd, qint64 size);
    void detach();
    // Whether [pos, pos + length) is all in memory. The system is asked
    // about `ahead` bytes at least, and what it says is remembered.
    bool held(qint64 pos, qint64 length, qint64 ahead = 0);
    // Where the byte at `pos` is mapped, for the kernel to read from.
    const char* address(qint64 pos) const;

private:
    bool _map();

    int _fd = -1;
    qint64 _size = 0;
    void* _mapping = nullptr;
    bool _tried = false;
    qint64 _heldFrom = 0;  // bytes known to be in memory
    qint64 _heldTo = 0;
    std::vector<unsigned char> _pages;
};
