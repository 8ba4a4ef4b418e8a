#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <vector>

// A growing big-endian byte buffer that builds nested MP4 boxes: begin()
// reserves the size field, end() fills it in once the children are written.
class BoxBuffer {
public:
    void u8(quint32 value);
    void u16(quint32 value);
    void u24(quint32 value);
    void u32(quint32 value);
    void u64(quint64 value);
    void fourcc(const char* type);
    void bytes(const QByteArray& data);
    void zeros(int count);

    void begin(const char* type);
    // A "full box": the header is followed by a version byte and 24-bit flags.
    void beginFull(const char* type, quint8 version, quint32 flags);
    void end();

    // Complete once every begin() has its end().
    const QByteArray& data() const { return m_data; }
    int size() const { return m_data.size(); }

private:
    QByteArray m_data;
    std::vector<int> m_open;  // start offsets of the boxes not yet ended
};
