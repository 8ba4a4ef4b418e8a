#include "mp4/rm_codec_context.h"

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
}

RMCodecContext::~RMCodecContext() {
    avcodec_free_context(&_context);
    av_packet_free(&_packet);
    av_frame_free(&_frame);
}

bool RMCodecContext::create(int codecId, const QByteArray& config) {
    if (_context || config.isEmpty()) {
        return false;
    }
    _codec = avcodec_find_decoder(AVCodecID(codecId));
    if (!_codec) {
        return false;
    }
    _context = avcodec_alloc_context3(_codec);
    _packet = av_packet_alloc();
    _frame = av_frame_alloc();
    if (!_context || !_packet || !_frame) {
        return false;
    }
    // The decoder reads a little past the end of its configuration.
    _context->extradata =
        static_cast<uint8_t*>(av_mallocz(size_t(config.size()) + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!_context->extradata) {
        return false;
    }
    std::memcpy(_context->extradata, config.constData(), size_t(config.size()));
    _context->extradata_size = config.size();
    return true;
}

bool RMCodecContext::open() {
    return _context && avcodec_open2(_context, _codec, nullptr) >= 0;
}

int RMCodecContext::send(const char* bytes, int length) {
    if (!bytes) {
        return avcodec_send_packet(_context, nullptr);
    }
    const int allocated = av_new_packet(_packet, length);
    if (allocated < 0) {
        return allocated;
    }
    std::memcpy(_packet->data, bytes, size_t(length));
    const int rc = avcodec_send_packet(_context, _packet);
    av_packet_unref(_packet);
    return rc;
}
