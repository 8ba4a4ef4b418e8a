#include "mp4/rm_clean_decode.h"

#include <QtGlobal>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
}

struct RMCleanDecode::Decoder {
    AVCodecContext* context = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    ~Decoder() {
        avcodec_free_context(&context);
        av_packet_free(&packet);
        av_frame_free(&frame);
    }

    bool open(RMNalScanner::Codec codec, const QByteArray& config, int threads) {
        const AVCodec* decoder = avcodec_find_decoder(
            codec == RMNalScanner::CODEC_H264 ? AV_CODEC_ID_H264 : AV_CODEC_ID_HEVC);
        if (!decoder || config.isEmpty()) {
            return false;
        }
        context = avcodec_alloc_context3(decoder);
        packet = av_packet_alloc();
        frame = av_frame_alloc();
        if (!context || !packet || !frame) {
            return false;
        }
        context->extradata =
            static_cast<uint8_t*>(av_mallocz(size_t(config.size()) + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!context->extradata) {
            return false;
        }
        std::memcpy(context->extradata, config.constData(), size_t(config.size()));
        context->extradata_size = config.size();
        // Frame threads decode the pictures of a group side by side.
        context->thread_count = threads;
        context->thread_type = threads > 1 ? FF_THREAD_FRAME : 0;
        // Damage shows in the entropy decoding; the loop filter only costs time.
        context->skip_loop_filter = AVDISCARD_ALL;
        // Any damage counts, and none of it is worth a log line.
        context->err_recognition = AV_EF_EXPLODE | AV_EF_BITSTREAM | AV_EF_BUFFER;
        context->log_level_offset = 100;
        return avcodec_open2(context, decoder, nullptr) >= 0;
    }

    bool send(const QByteArray* picture) {
        if (!picture) {
            return avcodec_send_packet(context, nullptr) >= 0;
        }
        if (av_new_packet(packet, picture->size()) < 0) {
            return false;
        }
        std::memcpy(packet->data, picture->constData(), size_t(picture->size()));
        const int rc = avcodec_send_packet(context, packet);
        av_packet_unref(packet);
        return rc >= 0;
    }

    // Clean frames received now; false on a broken one.
    bool receive(int* clean) {
        int rc;
        while ((rc = avcodec_receive_frame(context, frame)) >= 0) {
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
