#include "mp4/rm_box_view.h"

quint16 RMBoxView::u16(int pos) const {
    return quint16((u8(pos) << 8) | u8(pos + 1));
}

quint32 RMBoxView::u32(int pos) const {
    return (quint32(u16(pos)) << 16) | u16(pos + 2);
}

quint64 RMBoxView::u64(int pos) const {
    return (quint64(u32(pos)) << 32) | u32(pos + 4);
}

std::vector<RMBoxView::Box> RMBoxView::children(int start, int end) const {
    std::vector<Box> boxes;
    end = qMin(end, _data.size());
    int pos = qMax(0, start);
    while (pos + 8 <= end) {
        Box box;
        box.pos = pos;
        box.type = u32(pos + 4);
        qint64 size = u32(pos);
        if (size == 1) {
            if (pos + 16 > end) {
                break;
            }
            size = qint64(u64(pos + 8));
            box.header = 16;
        } else if (size == 0) {
            size = end - pos;
        }
        if (size < box.header || size > end - pos) {
            break;
        }
        box.size = int(size);
        boxes.push_back(box);
        pos += box.size;
    }
    return boxes;
}

RMBoxView::Box RMBoxView::child(int start, int end, quint32 type) const {
    for (const Box& box : children(start, end)) {
        if (box.type == type) {
            return box;
        }
    }
    return Box{0, 0, 0, 8};
}
