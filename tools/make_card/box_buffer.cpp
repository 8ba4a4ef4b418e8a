#include "box_buffer.h"

#include <QtEndian>

void BoxBuffer::u8(quint32 value) {
    m_data.append(char(value & 0xFF));
}

void BoxBuffer::u16(quint32 value) {
    u8(value >> 8);
    u8(value);
}

void BoxBuffer::u24(quint32 value) {
    u8(value >> 16);
    u16(value);
}

void BoxBuffer::u32(quint32 value) {
    u16(value >> 16);
    u16(value);
}

void BoxBuffer::u64(quint64 value) {
    u32(quint32(value >> 32));
    u32(quint32(value));
}

void BoxBuffer::fourcc(const char* type) {
    m_data.append(type, 4);
}

void BoxBuffer::bytes(const QByteArray& data) {
    m_data.append(data);
}

void BoxBuffer::zeros(int count) {
    m_data.append(count, '\0');
}

void BoxBuffer::begin(const char* type) {
    m_open.push_back(m_data.size());
    u32(0);
    fourcc(type);
}

void BoxBuffer::beginFull(const char* type, quint8 version, quint32 flags) {
    begin(type);
    u8(version);
    u24(flags);
}

void BoxBuffer::end() {
    Q_ASSERT(!m_open.empty());
    const int start = m_open.back();
    m_open.pop_back();
    qToBigEndian(quint32(m_data.size() - start), m_data.data() + start);
}
