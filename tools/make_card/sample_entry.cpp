#include "sample_entry.h"

#include "box_buffer.h"

namespace {

// The fields every sample entry starts with.
void entryHeader(BoxBuffer& b) {
    b.zeros(6);  // reserved
    b.u16(1);    // data reference index
}

// An MPEG-4 descriptor: tag, one-byte length (all ours are short), payload.
QByteArray descriptor(quint8 tag, const QByteArray& payload) {
    Q_ASSERT(payload.size() < 128);
    return QByteArray(1, char(tag)) + QByteArray(1, char(payload.size())) + payload;
}

}  // namespace

QByteArray SampleEntry::avc1(int width, int height, const QByteArray& sps, const QByteArray& pps) {
    BoxBuffer b;
    b.begin("avc1");
    entryHeader(b);
    b.u16(0);  // pre-defined
    b.u16(0);  // reserved
    b.zeros(12);
    b.u16(quint32(width));
    b.u16(quint32(height));
    b.u32(0x00480000);  // 72 dpi
    b.u32(0x00480000);
    b.u32(0);
    b.u16(1);       // frames per sample
    b.zeros(32);    // compressor name (empty Pascal string)
    b.u16(0x0018);  // colour depth
    b.u16(0xFFFF);  // pre-defined -1

    b.begin("avcC");
    b.u8(1);                                    // configuration version
    b.u8(sps.size() > 1 ? quint8(sps[1]) : 0);  // profile
    b.u8(sps.size() > 2 ? quint8(sps[2]) : 0);  // profile compatibility
    b.u8(sps.size() > 3 ? quint8(sps[3]) : 0);  // level
    b.u8(0xFC | 3);                             // 4-byte NAL lengths
    b.u8(0xE0 | 1);                             // one SPS
    b.u16(quint32(sps.size()));
    b.bytes(sps);
    b.u8(1);  // one PPS
    b.u16(quint32(pps.size()));
    b.bytes(pps);
    b.end();

    b.end();
    return b.data();
}

QByteArray SampleEntry::mp4a(int sampleRate, int channels, quint32 bitRate,
                             const QByteArray& audioConfig) {
    BoxBuffer b;
    b.begin("mp4a");
    entryHeader(b);
    b.zeros(8);  // reserved
    b.u16(quint32(channels));
    b.u16(16);  // sample size
    b.u16(0);   // pre-defined
    b.u16(0);   // reserved
    b.u32(quint32(sampleRate) << 16);

    BoxBuffer config;
    config.u8(0x40);      // MPEG-4 audio
    config.u8(0x15);      // audio stream
    config.u24(0);        // buffer size
    config.u32(bitRate);  // maximum
    config.u32(bitRate);  // average
    const QByteArray decoderConfig =
        descriptor(0x04, config.data() + descriptor(0x05, audioConfig));
    BoxBuffer es;
    es.u16(0);  // elementary stream id
    es.u8(0);   // flags
    const QByteArray esDescriptor =
        descriptor(0x03, es.data() + decoderConfig + descriptor(0x06, QByteArray(1, 0x02)));

    b.beginFull("esds", 0, 0);
    b.bytes(esDescriptor);
    b.end();

    b.end();
    return b.data();
}

QByteArray SampleEntry::data(const char* type) {
    BoxBuffer b;
    b.begin(type);
    entryHeader(b);
    b.end();
    return b.data();
}
