#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtGlobal>

#include "app/rm_held_pages.h"

// Random-access reads from a file opened read-only, through one cached
// window so that walking many small headers costs few system calls. A read
// past the end of the file returns what there is.
//
// A large window serves a walk through the media data, which needs only
// the headers of its samples: where the bytes are still on the device
// (a card), the whole window is read, so that the device sees few large
// reads; where the system already holds them in memory (read before, or a
// file system in memory), only kSparseRead bytes are, which spares copying
// the pictures' bodies.
class RMFileWindow {
public:
    static constexpr qint64 kWindow = 1 << 20;
    static constexpr qint64 kSparseRead = 16 << 10;

    RMFileWindow() = default;
    ~RMFileWindow();
    RMFileWindow(const RMFileWindow&) = delete;
    RMFileWindow& operator=(const RMFileWindow&) = delete;

    bool open(const QString& path);
    // Bytes read at least per refill (at most kWindow): small for a walk
    // over a few headers, large for a walk through the media data.
    void setWindow(qint64 bytes) { _window = qBound<qint64>(16, bytes, kWindow); }
    // The first read that failed (as opposed to ending at the end of the
    // file): its offset, or -1 when none did.
    qint64 readErrorAt() const { return _readErrorAt; }
    // Tests make every read that covers this offset stop short there, as a
    // failing device does (-1: no fault).
    static void setReadFault(qint64 offset);
    void close();
    qint64 size() const { return _size; }
    // Bytes read from the file so far.
    qint64 bytesRead() const { return _bytesRead; }
    QString errorString() const { return _readError.isEmpty() ? _file.errorString() : _readError; }

    // Up to `length` bytes at `pos`; fewer at the end of the file.
    QByteArray read(qint64 pos, qint64 length);
    // Pointer to `length` bytes at `pos` valid until the next call, or null
    // when they are not all in the file. `length` is at most kWindow.
    const uchar* at(qint64 pos, qint64 length);
    // Start of the run of zero bytes that ends the file (the size when the
    // last byte is not zero); found once.
    qint64 trailingZerosStart();

private:
    bool _fill(qint64 pos, qint64 length);
    qint64 _readInto(qint64 pos, char* data, qint64 length);
    QByteArray _readFile(qint64 pos, qint64 length);
    qint64 _findTrailingZeros();

    QFile _file;
    qint64 _size = 0;
    QByteArray _buffer;
    qint64 _bufferPos = 0;
    qint64 _zerosStart = -1;  // not looked for yet
    qint64 _window = kWindow;
    qint64 _bytesRead = 0;
    qint64 _readErrorAt = -1;
    QString _readError;
    RMHeldPages _held;
};
