#include "data/rm_key_frame_check.h"

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace {
struct Decoder {
    AVCodecContext* context = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    ~Decoder() {
        avcodec_free_context(&context);
        av_packet_free(&packet);
        av_frame_free(&frame);
    }
};
}  // namespace

bool RMKeyFrameCheck::decodes(RMNalScanner::Codec codec, const QByteArray& config,
                              const QByteArray& picture) {
    const AVCodec* decoder =
        avcodec_find_decoder(codec == RMNalScanner::CODEC_H264 ? AV_CODEC_ID_H264
                                                               : AV_CODEC_ID_HEVC);
    Decoder d;
    if (!decoder || picture.isEmpty() || config.isEmpty()) {
        return false;
    }
    d.context = avcodec_alloc_context3(decoder);
    d.packet = av_packet_alloc();
    d.frame = av_frame_alloc();
    if (!d.context || !d.packet || !d.frame) {
        return false;
    }
    d.context->extradata =
        static_cast<uint8_t*>(av_mallocz(size_t(config.size()) + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!d.context->extradata) {
        return false;
    }
    std::memcpy(d.context->extradata, config.constData(), size_t(config.size()));
    d.context->extradata_size = config.size();
    d.context->thread_count = 1;
    // Any damage counts as a mismatch, and it is not worth a log line.
    d.context->err_recognition = AV_EF_EXPLODE | AV_EF_BITSTREAM | AV_EF_BUFFER;
    d.context->log_level_offset = 100;
    if (avcodec_open2(d.context, decoder, nullptr) < 0 ||
        av_new_packet(d.packet, picture.size()) < 0) {
        return false;
    }
    std::memcpy(d.packet->data, picture.constData(), size_t(picture.size()));
    d.packet->flags |= AV_PKT_FLAG_KEY;
    if (avcodec_send_packet(d.context, d.packet) < 0 ||
        avcodec_send_packet(d.context, nullptr) < 0) {
        return false;
    }
    const int rc = avcodec_receive_frame(d.context, d.frame);
    return rc >= 0 && d.frame->decode_error_flags == 0 &&
           !(d.frame->flags & AV_FRAME_FLAG_CORRUPT);
}
