#include "engine/decoder.h"

#include <QtGlobal>
#include <atomic>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

Decoder::~Decoder() {
    avcodec_free_context(&context_);
}

namespace {

#ifdef ORVIN_ENGINE_SINGLE_DECODER_THREAD
std::atomic<int> videoThreadCount{1};
#else
std::atomic<int> videoThreadCount{2};
#endif

}  // namespace

int Decoder::videoThreads() {
    return videoThreadCount.load();
}

void Decoder::setVideoThreads(int threads) {
    videoThreadCount.store(qMax(1, threads));
}

bool Decoder::open(const AVStream* stream, int threads, AVError* error) {
    avcodec_free_context(&context_);
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (codec == nullptr) {
        *error = AVError(AVError::OpenCodecError, AVERROR_DECODER_NOT_FOUND);
        return false;
    }
    context_ = avcodec_alloc_context3(codec);
    if (context_ == nullptr) {
        *error = AVError(AVError::OpenCodecError, AVERROR(ENOMEM));
        return false;
    }
    int ret = avcodec_parameters_to_context(context_, stream->codecpar);
    if (ret >= 0) {
        context_->pkt_timebase = stream->time_base;
        context_->thread_count = qMax(1, threads);
        context_->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
        ret = avcodec_open2(context_, codec, nullptr);
    }
    if (ret < 0) {
        avcodec_free_context(&context_);
        *error = AVError(AVError::OpenCodecError, ret);
        return false;
    }
    return true;
}

int Decoder::send(const AVPacket* packet) {
    return avcodec_send_packet(context_, packet);
}

int Decoder::receive(AVFrame* frame) {
    return avcodec_receive_frame(context_, frame);
}

void Decoder::flush() {
    avcodec_flush_buffers(context_);
}
