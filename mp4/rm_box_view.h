#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <vector>

// Read-only view of MP4 boxes held in memory: the children of a box, a child
// by type, big-endian numbers. Every box is clamped to its parent; a box
// that does not fit ends the list of children.
class RMBoxView {
public:
    struct Box {
        quint32 type = 0;
        int pos = 0;     // first byte of the header, in the buffer
        int size = 0;    // whole box
        int header = 8;  // 8, or 16 with a 64-bit size
        int body() const { return pos + header; }
        int end() const { return pos + size; }
    };

    explicit RMBoxView(const QByteArray& data) : _data(data) {}

    // The boxes in [start, end).
    std::vector<Box> children(int start, int end) const;
    // The first child of the given type in [start, end); size 0 when none.
    Box child(int start, int end, quint32 type) const;
    Box child(const Box& parent, quint32 type, int skip = 0) const {
        return child(parent.body() + skip, parent.end(), type);
    }

    bool has(int pos, int length) const {
        return pos >= 0 && length >= 0 && qint64(pos) + length <= _data.size();
    }
    quint8 u8(int pos) const { return has(pos, 1) ? quint8(_data[pos]) : 0; }
    quint16 u16(int pos) const;
    quint32 u32(int pos) const;
    quint64 u64(int pos) const;
    QByteArray bytes(const Box& box) const { return _data.mid(box.pos, box.size); }
    const QByteArray& data() const { return _data; }

private:
    const QByteArray& _data;
};
