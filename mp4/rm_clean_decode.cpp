#include "mp4/rm_clean_decode.h"

#include <QtGlobal>

#include "mp4/rm_codec_context.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

struct RMCleanDecode::Decoder {
    RMCodecContext codec;

    bool open(RMNalScanner::Codec kind, const QByteArray& config, int threads) {
        if (!codec.create(kind == RMNalScanner::CODEC_H264 ? AV_CODEC_ID_H264 : AV_CODEC_ID_HEVC,
                          config)) {
            return false;
        }
        AVCodecContext* context = codec.context();
        // Frame threads decode the pictures of a group side by side.
        context->thread_count = threads;
        context->thread_type = threads > 1 ? FF_THREAD_FRAME : 0;
        // Damage shows in the entropy decoding; the loop filter only costs time.
        context->skip_loop_filter = AVDISCARD_ALL;
        // Any damage counts, and none of it is worth a log line.
        context->err_recognition = AV_EF_EXPLODE | AV_EF_BITSTREAM | AV_EF_BUFFER;
        context->log_level_offset = 100;
        return codec.open();
    }

    bool send(const QByteArray* picture) {
        return (picture ? codec.send(picture->constData(), picture->size())
                        : codec.send(nullptr, 0)) >= 0;
    }

    // Clean frames received now; false on a broken one.
    bool receive(int* clean) {
        AVFrame* frame = codec.frame();
        int rc;
        while ((rc = avcodec_receive_frame(codec.context(), frame)) >= 0) {
            const bool broken =
                frame->decode_error_flags != 0 || (frame->flags & AV_FRAME_FLAG_CORRUPT);
            av_frame_unref(frame);
            if (broken) {
                return false;
            }
            ++*clean;
        }
        return rc == AVERROR(EAGAIN) || rc == AVERROR_EOF;
    }
};

RMCleanDecode::RMCleanDecode() = default;
RMCleanDecode::~RMCleanDecode() = default;

bool RMCleanDecode::open(RMNalScanner::Codec codec, const QByteArray& config, int threads) {
    _decoder = std::make_unique<Decoder>();
    _clean = 0;
    _added = 0;
    _failed = !_decoder->open(codec, config, threads);
    return !_failed;
}

bool RMCleanDecode::add(const QByteArray& picture) {
    if (_failed || !_decoder->send(&picture) || !_decoder->receive(&_clean)) {
        _failed = true;
        return false;
    }
    ++_added;
    return true;
}

int RMCleanDecode::finish() {
    if (!_failed && (!_decoder->send(nullptr) || !_decoder->receive(&_clean))) {
        _failed = true;
    }
    return qMin(_clean, _added);
}

int RMCleanDecode::count(RMNalScanner::Codec codec, const QByteArray& config,
                         const std::vector<QByteArray>& pictures, int threads,
                         const std::atomic<bool>* stop) {
    RMCleanDecode decode;
    if (!decode.open(codec, config, threads)) {
        return 0;
    }
    for (const QByteArray& picture : pictures) {
        if ((stop && *stop) || !decode.add(picture)) {
            break;
        }
    }
    return decode.finish();
}
