#include "mp4/rm_bit_reader.h"

RMBitReader::RMBitReader(const QByteArray& payload) {
    _data.reserve(payload.size());
    int zeros = 0;
    for (char c : payload) {
        if (zeros >= 2 && c == 3) {
            zeros = 0;
            continue;
        }
        zeros = c == 0 ? zeros + 1 : 0;
        _data.append(c);
    }
}

quint32 RMBitReader::bits(int n) {
    quint32 v = 0;
    for (int i = 0; i < n; ++i) {
        if (_pos >= qint64(_data.size()) * 8) {
            _overrun = true;
            return 0;
        }
        const int byte = quint8(_data[int(_pos / 8)]);
        v = (v << 1) | ((byte >> (7 - _pos % 8)) & 1);
        ++_pos;
    }
    return v;
}

quint32 RMBitReader::ue() {
    int zeros = 0;
    while (!bit()) {
        if (_overrun || ++zeros >= 32) {
            _overrun = true;
            return 0;
        }
    }
    return zeros == 0 ? 0 : (1u << zeros) - 1 + bits(zeros);
}

qint32 RMBitReader::se() {
    const quint32 k = ue();
    return (k & 1) ? qint32((k + 1) / 2) : -qint32(k / 2);
}
