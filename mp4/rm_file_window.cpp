#include "mp4/rm_file_window.h"

bool RMFileWindow::open(const QString& path) {
    _file.setFileName(path);
    _buffer.clear();
    _bufferPos = 0;
    _zerosStart = -1;
    if (!_file.open(QIODevice::ReadOnly)) {
        return false;
    }
    _size = _file.size();
    return true;
}

bool RMFileWindow::_fill(qint64 pos, qint64 length) {
    if (pos >= _bufferPos && pos + length <= _bufferPos + _buffer.size()) {
        return true;
    }
    if (pos < 0 || length > kWindow || pos + length > _size || !_file.seek(pos)) {
        return false;
    }
    _buffer = _file.read(qMin(kWindow, _size - pos));
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
    if (!_file.seek(pos)) {
        return QByteArray();
    }
    return _file.read(length);
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
