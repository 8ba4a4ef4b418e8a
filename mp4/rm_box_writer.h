#pragma once

#include <QByteArray>
#include <QtGlobal>

// Writes MP4 boxes into a buffer: big-endian fields appended or patched in
// place, full boxes whose size is filled in once their content is written.
class RMBoxWriter {
public:
    static void put32(QByteArray& b, quint32 v);
    static void put64(QByteArray& b, quint64 v);
    // Patches a field written earlier; a position outside the buffer is ignored.
    static void set32(QByteArray& b, int pos, quint32 v);
    static void set64(QByteArray& b, int pos, quint64 v);
    // Starts a full box (size, type, version and flags); returns where its
    // size goes, for end().
    static int beginFull(QByteArray& b, const char* name);
    static void end(QByteArray& b, int at);
    // A duration field of a full box whose header is `header` bytes long,
    // 32 or 64 bits by the box's version (offsets after version and flags).
    static void setDuration(QByteArray& b, int boxPos, int header, int offset0, int offset1,
                            quint64 value);
};
