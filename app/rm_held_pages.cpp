#include "app/rm_held_pages.h"

#include <sys/mman.h>
#include <unistd.h>

RMHeldPages::~RMHeldPages() {
    detach();
}

void RMHeldPages::attach(int fd, qint64 size) {
    detach();
    _fd = fd;
    _size = size;
}

void RMHeldPages::detach() {
    if (_mapping) {
        ::munmap(_mapping, size_t(_size));
    }
    _mapping = nullptr;
    _tried = false;
    _fd = -1;
    _size = 0;
    _heldFrom = _heldTo = 0;
}

bool RMHeldPages::_map() {
    if (!_tried) {
        _tried = true;
        void* mapping = _fd >= 0 && _size > 0
                            ? ::mmap(nullptr, size_t(_size), PROT_READ, MAP_SHARED, _fd, 0)
                            : MAP_FAILED;
        _mapping = mapping == MAP_FAILED ? nullptr : mapping;
    }
    return _mapping != nullptr;
}

bool RMHeldPages::held(qint64 pos, qint64 length, qint64 ahead) {
    if (pos >= _heldFrom && pos + length <= _heldTo) {
        return true;
    }
    if (pos < 0 || length < 0 || pos + length > _size || !_map()) {
        return false;
    }
    static const qint64 page = ::sysconf(_SC_PAGESIZE);
    const qint64 first = pos / page * page;
    const qint64 last = qMin(_size, pos + qMax(length, ahead));
    _pages.resize(size_t((last - first + page - 1) / page));
    if (::mincore(static_cast<char*>(_mapping) + first, size_t(last - first), _pages.data()) != 0) {
        return false;
    }
    for (unsigned char held : _pages) {
        if (!(held & 1)) {
            return false;
        }
    }
    _heldFrom = first;
    _heldTo = last;
    return true;
}

const char* RMHeldPages::address(qint64 pos) const {
    return _mapping ? static_cast<const char*>(_mapping) + pos : nullptr;
}
