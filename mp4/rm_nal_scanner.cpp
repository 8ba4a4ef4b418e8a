#include "mp4/rm_nal_scanner.h"

#include <cstring>

#include "mp4/rm_bit_reader.h"
#include "mp4/rm_box_view.h"
#include "mp4/rm_file_window.h"
#include "mp4/rm_mp4_index.h"

namespace {
// Longest NAL unit taken for real; anything longer is garbage.
constexpr qint64 kMaxNal = 32 << 20;
// Bytes of a NAL unit read to check its header.
constexpr int kHead = 32;
// Offset of the first child box inside a visual sample description.
constexpr int kVisualEntryChildren = 8 + 78;
// Bytes looked back through at a time for a key picture's first slice.
constexpr qint64 kScanBlock = 64 << 10;
// Units that open a picture are looked for this far before it, this many.
constexpr qint64 kMaxOpeningUnit = 64 << 10;
constexpr int kMaxOpeningUnits = 16;

bool highProfile(int profile) {
    switch (profile) {
        case 100:
        case 110:
        case 122:
        case 244:
        case 44:
        case 83:
        case 86:
        case 118:
        case 128:
        case 138:
        case 139:
        case 134:
        case 135:
            return true;
        default:
            return false;
    }
}

// Whether a NAL unit's first header byte can be a key picture's slice: an
// H.264 IDR slice of a reference picture, an HEVC IRAP slice of the base
// layer.
inline bool keySliceHeader(uchar header, RMNalScanner::Codec codec) {
    if (codec == RMNalScanner::CODEC_H264) {
        return (header & 0x9F) == 0x05 && (header & 0x60) != 0;
    }
    const int type = (header >> 1) & 0x3F;
    return (header & 0x81) == 0 && type >= 16 && type <= 21;
}

// Whether any of eight bytes can be a key picture's slice header: the
// bytes masked as keySliceHeader() masks them, one of them zero once the
// wanted value is taken away. It only rules words out.
inline bool keySliceHeaderIn(quint64 word, RMNalScanner::Codec codec) {
    constexpr quint64 kOnes = 0x0101010101010101ULL;
    const quint64 masked = codec == RMNalScanner::CODEC_H264
                               ? (word & (kOnes * 0x9F)) ^ (kOnes * 0x05)
                               : (word & (kOnes * 0xF1)) ^ (kOnes * 0x20);
    return ((masked - kOnes) & ~masked & (kOnes * 0x80)) != 0;
}

// The last position from `at` back to `low` whose byte (`bytes` holds the
// file from `from`) can start a key picture's slice; below `low` when none.
// Eight bytes at a time where none can: this runs for every byte looked
// back through.
qint64 lastCandidate(const uchar* bytes, qint64 from, qint64 at, qint64 low,
                     RMNalScanner::Codec codec) {
    while (at >= low) {
        quint64 word = 0;
        if (at - 7 >= low) {
            std::memcpy(&word, bytes + (at - 7 - from), sizeof word);
            if (!keySliceHeaderIn(word, codec)) {
                at -= 8;
                continue;
            }
        }
        if (keySliceHeader(bytes[at - from], codec)) {
            return at;
        }
        --at;
    }
    return at;
}

void skipScalingList(RMBitReader& r, int size) {
    int last = 8;
    int next = 8;
    for (int j = 0; j < size && !r.overrun(); ++j) {
        if (next != 0) {
            next = (last + r.se() + 256) % 256;
        }
        last = next == 0 ? last : next;
    }
}
}  // namespace

bool RMNalScanner::configure(const QByteArray& entry) {
    _sps.clear();
    _ppsToSps.clear();
    const RMBoxView v(entry);
    const quint32 type = v.u32(4);
    const bool avc = type == RMMp4Index::fourcc("avc1") || type == RMMp4Index::fourcc("avc3");
    const bool hevc = type == RMMp4Index::fourcc("hvc1") || type == RMMp4Index::fourcc("hev1");
    if (!avc && !hevc) {
        return false;
    }
    _codec = avc ? CODEC_H264 : CODEC_HEVC;
    const RMBoxView::Box box =
        v.child(kVisualEntryChildren, entry.size(), RMMp4Index::fourcc(avc ? "avcC" : "hvcC"));
    if (box.size == 0) {
        return false;
    }
    _config = entry.mid(box.body(), box.size - box.header);
    const RMBoxView c(_config);
    if (_codec == CODEC_HEVC) {
        _lengthSize = (c.u8(21) & 3) + 1;
        return _config.size() >= 23;
    }
    _lengthSize = (c.u8(4) & 3) + 1;
    int pos = 6;
    const int spsCount = c.u8(5) & 0x1F;
    for (int i = 0; i < spsCount; ++i) {
        const int length = c.u16(pos);
        if (!c.has(pos + 2, length) || !_addSps(_config.mid(pos + 2, length))) {
            return false;
        }
        pos += 2 + length;
    }
    const int ppsCount = c.u8(pos++);
    for (int i = 0; i < ppsCount; ++i) {
        const int length = c.u16(pos);
        if (!c.has(pos + 2, length) || !_addPps(_config.mid(pos + 2, length))) {
            return false;
        }
        pos += 2 + length;
    }
    return !_sps.isEmpty() && !_ppsToSps.isEmpty() && _lengthSize != 3;
}

QList<QByteArray> RMNalScanner::configParameterSets() const {
    QList<QByteArray> sets;
    const RMBoxView c(_config);
    auto take = [&](int* pos) {
        const int length = c.u16(*pos);
        if (!c.has(*pos + 2, length)) {
            return false;
        }
        sets << _config.mid(*pos + 2, length);
        *pos += 2 + length;
        return true;
    };
    if (_codec == CODEC_HEVC) {
        int pos = 23;
        const int arrays = c.u8(22);
        for (int a = 0; a < arrays && c.has(pos, 3); ++a) {
            const int count = c.u16(pos + 1);
            pos += 3;
            for (int i = 0; i < count; ++i) {
                if (!take(&pos)) {
                    return sets;
                }
            }
        }
        return sets;
    }
    int pos = 6;
    const int spsCount = c.u8(5) & 0x1F;
    for (int i = 0; i < spsCount; ++i) {
        if (!take(&pos)) {
            return sets;
        }
    }
    const int ppsCount = c.u8(pos++);
    for (int i = 0; i < ppsCount; ++i) {
        if (!take(&pos)) {
            return sets;
        }
    }
    return sets;
}

QList<QByteArray> RMNalScanner::sampleParameterSets(const QByteArray& sample) const {
    QList<QByteArray> sets;
    const RMBoxView v(sample);
    int pos = 0;
    while (pos + _lengthSize <= sample.size()) {
        quint32 length = 0;
        for (int i = 0; i < _lengthSize; ++i) {
            length = (length << 8) | v.u8(pos + i);
        }
        pos += _lengthSize;
        if (length == 0 || length > quint32(sample.size() - pos)) {
            break;
        }
        const int header = v.u8(pos);
        const int type = _codec == CODEC_HEVC ? (header >> 1) & 0x3F : header & 0x1F;
        const bool parameterSet =
            _codec == CODEC_HEVC ? type >= 32 && type <= 34 : type == 7 || type == 8;
        if (parameterSet) {
            sets << sample.mid(pos, int(length));
        }
        pos += int(length);
    }
    return sets;
}

bool RMNalScanner::_addSps(const QByteArray& nal) {
    RMBitReader r(nal.mid(1));
    const int profile = int(r.bits(8));
    r.bits(16);  // constraint flags, level
    const quint32 id = r.ue();
    Sps sps;
    if (highProfile(profile)) {
        const quint32 chroma = r.ue();
        if (chroma == 3) {
            sps.separateColourPlane = r.bit();
        }
        r.ue();     // luma bit depth
        r.ue();     // chroma bit depth
        r.bits(1);  // transform bypass
        if (r.bit()) {
            for (int i = 0; i < (chroma != 3 ? 8 : 12); ++i) {
                if (r.bit()) {
                    skipScalingList(r, i < 6 ? 16 : 64);
                }
            }
        }
    }
    sps.log2MaxFrameNum = int(r.ue()) + 4;
    if (r.overrun() || id > 31 || sps.log2MaxFrameNum > 16) {
        return false;
    }
    _sps[id] = sps;
    return true;
}

bool RMNalScanner::_addPps(const QByteArray& nal) {
    RMBitReader r(nal.mid(1));
    const quint32 id = r.ue();
    const quint32 sps = r.ue();
    if (r.overrun() || id > 255 || !_sps.contains(sps)) {
        return false;
    }
    _ppsToSps[id] = sps;
    return true;
}

RMNalScanner::Nal RMNalScanner::_h264(const QByteArray& head, const State& state) const {
    Nal nal;
    const int header = quint8(head[0]);
    const int type = header & 0x1F;
    const int refIdc = (header >> 5) & 3;
    nal.type = type;
    if (header & 0x80) {
        return nal;
    }
    if (type == 1 || type == 5) {
        RMBitReader r(head.mid(1));
        const quint32 firstMb = r.ue();
        const quint32 sliceType = r.ue();
        const quint32 pps = r.ue();
        if (r.overrun() || sliceType > 9 || !_ppsToSps.contains(pps) ||
            (type == 5 && refIdc == 0) || firstMb > 139264) {
            return nal;
        }
        const Sps& sps = _sps[_ppsToSps[pps]];
        if (sps.separateColourPlane) {
            r.bits(2);
        }
        nal.frameNum = int(r.bits(sps.log2MaxFrameNum));
        if (r.overrun() || (type == 5 && nal.frameNum != 0)) {
            return nal;
        }
        nal.firstSlice = firstMb == 0;
        if (nal.firstSlice && type == 1 && state.prevRefFrameNum >= 0) {
            const int max = 1 << sps.log2MaxFrameNum;
            const int next = (state.prevRefFrameNum + 1) % max;
            if (nal.frameNum != state.prevRefFrameNum && nal.frameNum != next) {
                return nal;
            }
        }
        nal.vcl = true;
        nal.key = type == 5;
        nal.reference = refIdc != 0;
        nal.valid = true;
        return nal;
    }
    switch (type) {
        case 6:
        case 9:
            nal.valid = refIdc == 0;
            nal.opensUnit = true;
            return nal;
        case 7:
        case 8:
            nal.valid = refIdc != 0;
            nal.opensUnit = true;
            return nal;
        case 10:
        case 11:
        case 12:
            nal.valid = refIdc == 0;
            return nal;
        default:
            return nal;  // data partitions, reserved and extension units
    }
}

RMNalScanner::Nal RMNalScanner::_hevc(const QByteArray& head) const {
    Nal nal;
    if (head.size() < 3) {
        return nal;
    }
    const int b0 = quint8(head[0]);
    const int b1 = quint8(head[1]);
    const int type = (b0 >> 1) & 0x3F;
    const int layer = ((b0 & 1) << 5) | (b1 >> 3);
    nal.type = type;
    if ((b0 & 0x80) || layer != 0 || (b1 & 7) == 0) {
        return nal;
    }
    if (type <= 9 || (type >= 16 && type <= 21)) {
        nal.vcl = true;
        nal.firstSlice = (quint8(head[2]) & 0x80) != 0;
        nal.key = type >= 16;
        nal.valid = true;
        return nal;
    }
    if ((type >= 32 && type <= 35) || type == 39) {
        nal.opensUnit = true;
        nal.valid = true;
    } else if (type >= 36 && type <= 38) {
        nal.valid = true;
    } else if (type == 40) {
        nal.valid = true;
    }
    return nal;
}

RMNalScanner::Result RMNalScanner::picture(RMFileWindow& file, qint64 pos, qint64 end,
                                           qint64 dataEnd, const State& state, Picture* out,
                                           bool startOnly) const {
    const int minimum = _codec == CODEC_H264 ? 2 : 3;
    qint64 p = pos;
    bool sawSlice = false;
    Nal first;
    Picture picture;
    while (p + _lengthSize <= end) {
        const uchar* prefix = file.at(p, _lengthSize);
        if (!prefix) {
            return RESULT_INVALID;
        }
        qint64 length = 0;
        for (int i = 0; i < _lengthSize; ++i) {
            length = (length << 8) | prefix[i];
        }
        const qint64 body = p + _lengthSize;
        if (length < minimum || length > kMaxNal) {
            break;
        }
        const QByteArray head = file.read(body, qMin<qint64>(length, kHead));
        if (head.size() < minimum) {
            break;
        }
        const Nal nal = _codec == CODEC_H264 ? _h264(head, state) : _hevc(head);
        if (!nal.valid || (sawSlice && (nal.firstSlice || nal.opensUnit))) {
            break;
        }
        if (sawSlice && nal.vcl && !nal.samePicture(first)) {
            break;  // a slice of another picture: the rest is not this picture
        }
        if (!sawSlice && nal.vcl && !nal.firstSlice) {
            break;  // a picture cannot start in its middle
        }
        if (startOnly && nal.vcl) {
            out->key = nal.key;
            out->frameNum = nal.frameNum;
            out->reference = nal.reference;
            out->size = 0;
            return RESULT_PICTURE;
        }
        if (body + length > qMin(end, dataEnd)) {
            // Cut off: this picture, unless what runs past the end is only a
            // unit that would follow a whole picture.
            if (sawSlice && !nal.vcl) {
                break;
            }
            return RESULT_INCOMPLETE;
        }
        const uchar* last = file.at(body + length - 1, 1);
        if (!last || *last == 0) {
            break;  // a NAL unit never ends with a zero byte
        }
        if (nal.vcl && !sawSlice) {
            sawSlice = true;
            first = nal;
            picture.key = nal.key;
            picture.frameNum = nal.frameNum;
            picture.reference = nal.reference;
        }
        p = body + length;
    }
    if (!sawSlice) {
        return RESULT_INVALID;
    }
    picture.size = p - pos;
    *out = picture;
    return RESULT_PICTURE;
}

void RMNalScanner::advance(const Picture& picture, State* state) {
    if (picture.reference && picture.frameNum >= 0) {
        state->prevRefFrameNum = picture.frameNum;
    }
}

RMNalScanner::Nal RMNalScanner::_unit(const QByteArray& head) const {
    return _codec == CODEC_H264 ? _h264(head, State()) : _hevc(head);
}

// The length of the key picture's first slice whose header is at `unit`,
// its length field right before it, `available` bytes there; 0 when there
// is none.
qint64 RMNalScanner::_keySliceAt(const uchar* unit, qint64 available) const {
    qint64 length = 0;
    for (int i = 0; i < _lengthSize; ++i) {
        length = (length << 8) | unit[i - _lengthSize];
    }
    if (length < (_codec == CODEC_H264 ? 2 : 3) || length > kMaxNal) {
        return 0;
    }
    const int head = int(qMin<qint64>(qMin<qint64>(length, kHead), available));
    const Nal nal = _unit(QByteArray::fromRawData(reinterpret_cast<const char*>(unit), head));
    return nal.valid && nal.vcl && nal.key && nal.firstSlice ? length : 0;
}

qint64 RMNalScanner::keyPictureBefore(RMFileWindow& file, qint64 before, qint64 floor) const {
    floor = qMax<qint64>(0, floor);
    qint64 high = qMin(before, file.size());
    while (high > floor + _lengthSize) {
        const qint64 low = qMax(floor + _lengthSize, high - kScanBlock);
        const qint64 from = low - _lengthSize;
        // With the header bytes of a slice that starts near the block's end.
        const qint64 size = qMin(high - from + kHead, file.size() - from);
        const uchar* bytes = file.at(from, size);
        if (!bytes) {
            return -1;
        }
        for (qint64 at = lastCandidate(bytes, from, high - 1, low, _codec); at >= low;
             at = lastCandidate(bytes, from, at - 1, low, _codec)) {
            // A slice cut off by the end of the file starts no whole picture.
            const qint64 length = _keySliceAt(bytes + (at - from), from + size - at);
            if (length > 0 && at + length <= file.size()) {
                return _openingUnitsBefore(file, at - _lengthSize, floor);
            }
        }
        high = low;
    }
    return -1;
}

// The start of the picture whose first slice's length field is at
// `start`: the units right before it that open a picture (delimiters,
// parameter sets, SEI) are part of it, as a walk takes them.
qint64 RMNalScanner::_openingUnitsBefore(RMFileWindow& file, qint64 start, qint64 floor) const {
    const int minimum = _codec == CODEC_H264 ? 2 : 3;
    for (int n = 0; n < kMaxOpeningUnits; ++n) {
        const qint64 from = qMax(floor, start - kMaxOpeningUnit);
        const uchar* bytes = file.at(from, start - from);
        if (!bytes) {
            break;
        }
        qint64 found = -1;
        for (qint64 at = start - _lengthSize - minimum; at >= from && found < 0; --at) {
            qint64 length = 0;
            for (int i = 0; i < _lengthSize; ++i) {
                length = (length << 8) | bytes[at - from + i];
            }
            if (at + _lengthSize + length != start) {
                continue;
            }
            const char* body = reinterpret_cast<const char*>(bytes + (at - from + _lengthSize));
            const Nal nal = _unit(QByteArray::fromRawData(body, int(qMin<qint64>(length, kHead))));
            found = nal.valid && nal.opensUnit && !nal.vcl ? at : -1;
        }
        if (found < 0) {
            break;
        }
        start = found;
    }
    return start;
}
