#pragma once

#include <QByteArray>
#include <QHash>
#include <QtGlobal>

#include "mp4/rm_codec_context.h"

class RMFileWindow;

// Sizes raw AAC frames, which carry neither a length nor a sync word, with
// FFmpeg's AAC decoder: a frame is as long as the bytes the decoder consumed
// for it, and it must give 1024 samples. The set-up comes from an "mp4a"
// sample description with its "esds".
class RMAacSizer {
public:
    enum Result { RESULT_FRAME, RESULT_INVALID, RESULT_INCOMPLETE };
    static constexpr int kSamplesPerFrame = 1024;

    RMAacSizer() = default;
    RMAacSizer(const RMAacSizer&) = delete;
    RMAacSizer& operator=(const RMAacSizer&) = delete;

    bool open(const QByteArray& sampleEntry);
    quint32 sampleRate() const { return _sampleRate; }

    // The frame that starts at `pos`; the file ends at `end`, its data at
    // `dataEnd` (where a tail of zeros begins). A frame that would reach
    // past the data was cut off.
    Result frame(RMFileWindow& file, qint64 pos, qint64 end, qint64 dataEnd, qint64* size);

    // The decoder-specific information inside an "esds" sample description.
    static QByteArray audioConfig(const QByteArray& sampleEntry);

private:
    // Samples of the one frame decoded from `bytes`, or -1; with `chain`,
    // the starts of the frames that follow in the same bytes are learnt.
    int _decode(const char* bytes, int length, qint64 pos, bool chain);
    int _maxFrame() const;
    Result _sizeFrame(RMFileWindow& file, qint64 pos, qint64 end, qint64* size);

    RMCodecContext _codec;
    quint32 _sampleRate = 0;
    int _channels = 1;
    // Frame sizes learnt ahead, by position.
    QHash<qint64, qint64> _known;
};
