#include "mp4/rm_aac_sizer.h"

#include "mp4/rm_box_view.h"
#include "mp4/rm_file_window.h"
#include "mp4/rm_mp4_index.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace {
// Largest raw AAC frame per channel: 6144 bits.
constexpr int kMaxFramePerChannel = 768;
// Frames looked at in one go when sizing ahead.
constexpr int kAhead = 16;

// An MPEG-4 descriptor length: up to four bytes of seven bits.
int descriptorLength(const QByteArray& d, int* pos) {
    int length = 0;
    for (int i = 0; i < 4 && *pos < d.size(); ++i) {
        const int b = quint8(d[(*pos)++]);
        length = (length << 7) | (b & 0x7F);
        if (!(b & 0x80)) {
            break;
        }
    }
    return length;
}

// Descriptors nest no deeper than this in any real stream (elementary
// stream, decoder configuration, decoder specific information).
constexpr int kMaxDescriptorDepth = 8;

// The payload of the first descriptor with `tag` in [pos, end), searching
// inside the elementary stream and decoder configuration descriptors. A
// loop with its own bounded stack: a crafted box nests thousands deep.
QByteArray findDescriptor(const QByteArray& d, int pos, int end, int tag) {
    struct Range {
        int pos;
        int end;
    };
    Range outer[kMaxDescriptorDepth];
    int depth = 0;
    for (;;) {
        if (pos + 2 > end) {
            if (depth == 0) {
                return QByteArray();
            }
            --depth;
            pos = outer[depth].pos;
            end = outer[depth].end;
            continue;
        }
        const int t = quint8(d[pos++]);
        const int length = descriptorLength(d, &pos);
        if (pos > end) {
            pos = end;  // the length ran past the range
            continue;
        }
        const int bodyEnd = qMin(end, pos + length);
        if (t == tag) {
            return d.mid(pos, bodyEnd - pos);
        }
        int inner = -1;
        if (t == 0x03 && pos + 3 <= bodyEnd) {
            const int flags = quint8(d[pos + 2]);
            inner = pos + 3;
            inner += (flags & 0x80) ? 2 : 0;
            if ((flags & 0x40) && inner < bodyEnd) {
                inner += 1 + quint8(d[inner]);
            }
            inner += (flags & 0x20) ? 2 : 0;
        } else if (t == 0x04) {
            inner = pos + 13;
        }
        if (inner >= 0 && depth < kMaxDescriptorDepth) {
            outer[depth++] = Range{bodyEnd, end};
            pos = inner;
            end = bodyEnd;
        } else {
            pos = bodyEnd;
        }
    }
}
}  // namespace

QByteArray RMAacSizer::audioConfig(const QByteArray& entry) {
    const RMBoxView v(entry);
    if (v.u32(4) != RMMp4Index::fourcc("mp4a")) {
        return QByteArray();
    }
    const int version = v.u16(16);
    const int children = 8 + 28 + (version == 1 ? 16 : version == 2 ? 36 : 0);
    const RMBoxView::Box esds = v.child(children, entry.size(), RMMp4Index::fourcc("esds"));
    if (esds.size == 0) {
        return QByteArray();
    }
    return findDescriptor(entry, esds.body() + 4, esds.end(), 0x05);
}

bool RMAacSizer::open(const QByteArray& entry) {
    const QByteArray config = audioConfig(entry);
    if (config.size() < 2 || !_codec.create(AV_CODEC_ID_AAC, config)) {
        return false;
    }
    // Probing garbage makes the decoder complain; none of it is news.
    _codec.context()->log_level_offset = 100;
    if (!_codec.open()) {
        return false;
    }
    // The decoder learns the rate and channels only with its first frame;
    // the configuration's first bytes give them.
    static const quint32 rates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                    22050, 16000, 12000, 11025, 8000,  7350};
    const int bits = (quint8(config[0]) << 8) | quint8(config[1]);
    const int rateIndex = (bits >> 7) & 0xF;
    const int channels = (bits >> 3) & 0xF;
    _sampleRate = rateIndex < 13 ? rates[rateIndex] : 0;
    _channels = qBound(1, channels, 8);
    return _sampleRate != 0;
}

int RMAacSizer::_maxFrame() const {
    return kMaxFramePerChannel * _channels;
}

int RMAacSizer::_decode(const char* bytes, int length, qint64 pos, bool chain) {
    AVCodecContext* context = _codec.context();
    AVFrame* frame = _codec.frame();
    avcodec_flush_buffers(context);
    if (_codec.send(bytes, length) < 0 || avcodec_receive_frame(context, frame) < 0) {
        return -1;
    }
    const int samples = frame->nb_samples;
    av_frame_unref(frame);
    if (!chain || samples != kSamplesPerFrame) {
        return samples;
    }
    // The decoder goes on with the bytes it has not consumed; each frame
    // says how many were left when it began, which places it.
    qint64 start = pos;
    while (avcodec_receive_frame(context, frame) >= 0) {
        const qint64 next = pos + length - frame->pkt_size;
        const bool whole = frame->nb_samples == kSamplesPerFrame;
        av_frame_unref(frame);
        if (next <= start || !whole) {
            break;
        }
        _known.insert(start, next - start);
        start = next;
    }
    return samples;
}

RMAacSizer::Result RMAacSizer::frame(RMFileWindow& file, qint64 pos, qint64 end, qint64 dataEnd,
                                     qint64* size) {
    const Result r = _sizeFrame(file, pos, end, size);
    if (r == RESULT_FRAME && pos + *size > dataEnd) {
        return RESULT_INCOMPLETE;  // it ends in the zeros: a frame cut off
    }
    if (r == RESULT_INVALID && pos + _maxFrame() > dataEnd) {
        return RESULT_INCOMPLETE;
    }
    return r;
}

RMAacSizer::Result RMAacSizer::_sizeFrame(RMFileWindow& file, qint64 pos, qint64 end,
                                          qint64* size) {
    const auto known = _known.constFind(pos);
    if (known != _known.constEnd()) {
        if (pos + known.value() > end) {
            return RESULT_INCOMPLETE;
        }
        *size = known.value();
        return RESULT_FRAME;
    }
    if (_known.size() > 4096) {
        _known.clear();
    }
    const QByteArray ahead = file.read(pos, qMin<qint64>(end - pos, qint64(_maxFrame()) * kAhead));
    if (ahead.size() < 2) {
        return ahead.isEmpty() ? RESULT_INVALID : RESULT_INCOMPLETE;
    }
    if (_decode(ahead.constData(), ahead.size(), pos, true) != kSamplesPerFrame) {
        return ahead.size() < _maxFrame() ? RESULT_INCOMPLETE : RESULT_INVALID;
    }
    const auto learnt = _known.constFind(pos);
    if (learnt != _known.constEnd()) {
        *size = learnt.value();
        return RESULT_FRAME;
    }
    // The last frame of a run: the shortest length that still decodes.
    int low = 1;
    int high = qMin(ahead.size(), _maxFrame());
    if (_decode(ahead.constData(), high, pos, false) != kSamplesPerFrame) {
        return ahead.size() < _maxFrame() ? RESULT_INCOMPLETE : RESULT_INVALID;
    }
    while (low < high) {
        const int middle = (low + high) / 2;
        if (_decode(ahead.constData(), middle, pos, false) == kSamplesPerFrame) {
            high = middle;
        } else {
            low = middle + 1;
        }
    }
    *size = high;
    return RESULT_FRAME;
}
