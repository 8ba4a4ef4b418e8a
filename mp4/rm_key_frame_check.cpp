#include "mp4/rm_key_frame_check.h"

#include <QThread>
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
}  // namespace

bool RMKeyFrameCheck::decodes(RMNalScanner::Codec codec, const QByteArray& config,
                              const QByteArray& picture) {
    return !picture.isEmpty() && cleanPictures(codec, config, {picture}) == 1;
}

int RMKeyFrameCheck::cleanPictures(RMNalScanner::Codec codec, const QByteArray& config,
                                   const std::vector<QByteArray>& pictures,
                                   const std::atomic<bool>* stop) {
    // Frame threads report a damaged picture a few pictures late: when any
    // picture fails, one thread tells exactly which.
    const int threads = qBound(1, QThread::idealThreadCount(), kMaxThreads);
    if (pictures.size() > 1 && threads > 1) {
        const int clean = _clean(codec, config, pictures, threads, stop);
        if (clean == int(pictures.size()) || (stop && *stop)) {
            return clean;
        }
    }
    return _clean(codec, config, pictures, 1, stop);
}

int RMKeyFrameCheck::_clean(RMNalScanner::Codec codec, const QByteArray& config,
                            const std::vector<QByteArray>& pictures, int threads,
                            const std::atomic<bool>* stop) {
    Decoder d;
    if (!d.open(codec, config, threads)) {
        return 0;
    }
    int clean = 0;
    size_t sent = 0;
    for (; sent < pictures.size(); ++sent) {
        if ((stop && *stop) || !d.send(&pictures[sent]) || !d.receive(&clean)) {
            return qMin(clean, int(sent));
        }
    }
    if (!d.send(nullptr) || !d.receive(&clean)) {
        return qMin(clean, int(sent));
    }
    return qMin(clean, int(pictures.size()));
}
