#pragma once

#include <QByteArray>
#include <QtGlobal>

// Reads bits, Exp-Golomb codes included, from the start of a NAL unit's
// payload with the emulation prevention bytes removed. Reading past the end
// sets a flag instead of failing.
class RMBitReader {
public:
    // `payload` without the NAL header; only its first bytes are needed.
    explicit RMBitReader(const QByteArray& payload);

    quint32 bits(int n);
    bool bit() { return bits(1) != 0; }
    // Unsigned Exp-Golomb; 32 leading zeros or more count as overrun.
    quint32 ue();
    qint32 se();
    bool overrun() const { return _overrun; }

private:
    QByteArray _data;
    qint64 _pos = 0;  // in bits
    bool _overrun = false;
};
