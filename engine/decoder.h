#pragma once

#include "engine/av_error.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct AVStream;

// One FFmpeg decoder for one stream. Opened by the demux thread while the
// media loads, then owned and used by exactly one decoding thread.
class Decoder {
public:
    Decoder() = default;
    ~Decoder();
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    // Decoding threads for video: FFmpeg's frame threads, two of them unless
    // set otherwise. The setting applies to decoders opened afterwards
    // (benchmarks measure with one thread per channel).
    static int videoThreads();
    static void setVideoThreads(int threads);

    // Opens the decoder for the stream; `threads` > 1 enables FFmpeg's frame
    // threads. False with *error set when there is no usable decoder.
    bool open(const AVStream* stream, int threads, AVError* error);

    // avcodec_send_packet / avcodec_receive_frame; a null packet drains.
    int send(const AVPacket* packet);
    int receive(AVFrame* frame);
    // Forgets every frame in flight (after a seek or a drain).
    void flush();

    AVCodecContext* context() const { return context_; }

private:
    AVCodecContext* context_ = nullptr;
};
