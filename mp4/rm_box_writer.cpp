#include "mp4/rm_box_writer.h"

#include <QtEndian>
#include <limits>

#include "mp4/rm_mp4_index.h"

void RMBoxWriter::put32(QByteArray& b, quint32 v) {
    char d[4];
    qToBigEndian(v, d);
    b.append(d, 4);
}

void RMBoxWriter::put64(QByteArray& b, quint64 v) {
    char d[8];
    qToBigEndian(v, d);
    b.append(d, 8);
}

void RMBoxWriter::set32(QByteArray& b, int pos, quint32 v) {
    if (pos >= 0 && pos + 4 <= b.size()) {
        qToBigEndian(v, b.data() + pos);
    }
}

void RMBoxWriter::set64(QByteArray& b, int pos, quint64 v) {
    if (pos >= 0 && pos + 8 <= b.size()) {
        qToBigEndian(v, b.data() + pos);
    }
}

int RMBoxWriter::beginFull(QByteArray& b, const char* name) {
    const int at = b.size();
    put32(b, 0);
    put32(b, RMMp4Index::fourcc(name));
    put32(b, 0);  // version and flags
    return at;
}

void RMBoxWriter::end(QByteArray& b, int at) {
    set32(b, at, quint32(b.size() - at));
}

void RMBoxWriter::setDuration(QByteArray& b, int boxPos, int header, int offset0, int offset1,
                              quint64 value) {
    if (boxPos < 0 || boxPos + header >= b.size()) {
        return;
    }
    const bool wide = quint8(b[boxPos + header]) == 1;
    const int at = boxPos + header + 4 + (wide ? offset1 : offset0);
    if (wide) {
        set64(b, at, value);
    } else {
        set32(b, at, quint32(qMin<quint64>(value, std::numeric_limits<quint32>::max())));
    }
}
