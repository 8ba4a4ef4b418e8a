#include "mp4/rm_file_window.h"

#include <unistd.h>

#include <QDebug>
#include <atomic>
#include <cerrno>
#include <cstring>

namespace {
std::atomic<qint64> gReadFault{-1};
}  // namespace

void RMFileWindow::setReadFault(qint64 offset) {
    gReadFault = offset;
}

// Reads `length` bytes at `pos` into `data` (pread: no file position to
// keep); a read that comes back short of what the file holds is a device
// error and is remembered. The bytes read.
qint64 RMFileWindow::_readInto(qint64 pos, char* data, qint64 length) {
    qint64 got = 0;
    int error = 0;
    while (got < length) {
        const ssize_t n =
            ::pread(_file.handle(), data + got, size_t(length - got), off_t(pos + got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error = n < 0 ? errno : 0;
            break;
        }
        got += n;
    }
    const qint64 fault = gReadFault;
    if (fault >= pos && fault < pos + got) {
        got = fault - pos;
    }
    _bytesRead += got;
    if (got < length && _readErrorAt < 0) {
        _readErrorAt = pos + got;
        _readError = QString::fromLocal8Bit(std::strerror(error != 0 ? error : EIO));
        qInfo() << "RMFileWindow" << __LINE__ << _file.fileName() << "read error at" << _readErrorAt
                << _readError;
    }
    return got;
}

QByteArray RMFileWindow::_readFile(qint64 pos, qint64 length) {
    QByteArray bytes(int(length), Qt::Uninitialized);
    bytes.truncate(int(_readInto(pos, bytes.data(), length)));
    return bytes;
}

RMFileWindow::~RMFileWindow() {
    close();
}

void RMFileWindow::close() {
    _held.detach();
    _file.close();
}

bool RMFileWindow::open(const QString& path) {
    close();
    _file.setFileName(path);
    _buffer.clear();
    _bufferPos = 0;
    _zerosStart = -1;
    _bytesRead = 0;
    _readErrorAt = -1;
    _readError.clear();
    if (!_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        return false;
    }
    _size = _file.size();
    _held.attach(_file.handle(), _size);
    return true;
}

bool RMFileWindow::_fill(qint64 pos, qint64 length) {
    if (pos >= _bufferPos && pos + length <= _bufferPos + _buffer.size()) {
        return true;
    }
    if (pos < 0 || length > kWindow || pos + length > _size) {
        return false;
    }
    // The window's memory is kept from one refill to the next: a walk
    // through a whole file costs no allocations.
    qint64 wanted = qMin(qMax(_window, length), _size - pos);
    const qint64 sparse = qMin(qMax(kSparseRead, length), _size - pos);
    if (sparse < wanted && _held.held(pos, sparse, kWindow)) {
        wanted = sparse;
    }
    _buffer.resize(int(wanted));
    _buffer.resize(int(_readInto(pos, _buffer.data(), wanted)));
    _bufferPos = pos;
    return _buffer.size() >= length;
}

const uchar* RMFileWindow::at(qint64 pos, qint64 length) {
    if (length < 0 || !_fill(pos, length)) {
        return nullptr;
    }
    return reinterpret_cast<const uchar*>(_buffer.constData()) + (pos - _bufferPos);
}

QByteArray RMFileWindow::read(qint64 pos, qint64 length) {
    if (pos < 0 || pos >= _size || length <= 0) {
        return QByteArray();
    }
    length = qMin(length, _size - pos);
    if (length <= kWindow) {
        const uchar* p = at(pos, length);
        return p ? QByteArray(reinterpret_cast<const char*>(p), int(length)) : QByteArray();
    }
    return _readFile(pos, length);
}

qint64 RMFileWindow::trailingZerosStart() {
    if (_zerosStart < 0) {
        _zerosStart = _findTrailingZeros();
    }
    return _zerosStart;
}

qint64 RMFileWindow::_findTrailingZeros() {
    qint64 end = _size;
    while (end > 0) {
        const qint64 start = qMax<qint64>(0, end - 65536);
        const QByteArray block = read(start, end - start);
        if (block.size() != end - start) {
            return end;
        }
        for (int i = block.size() - 1; i >= 0; --i) {
            if (block[i] != 0) {
                return start + i + 1;
            }
        }
        end = start;
    }
    return 0;
}
