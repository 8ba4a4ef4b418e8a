#pragma once

#include <QByteArray>

struct AVCodec;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;

// One FFmpeg decoder with its packet and frame, set up from the codec
// configuration record of a sample description ("avcC", "hvcC", or the AAC
// decoder-specific information), for the readers that decode samples taken
// straight from a file. The caller sets its options on context() between
// create() and open().
class RMCodecContext {
public:
    RMCodecContext() = default;
    ~RMCodecContext();
    RMCodecContext(const RMCodecContext&) = delete;
    RMCodecContext& operator=(const RMCodecContext&) = delete;

    // `codecId` is an AVCodecID; false when there is no such decoder, the
    // configuration is empty or memory ran out.
    bool create(int codecId, const QByteArray& config);
    bool open();

    // Hands `length` bytes over as one packet (null `bytes` drains the
    // decoder); FFmpeg's result, negative on failure.
    int send(const char* bytes, int length);

    AVCodecContext* context() const { return _context; }
    AVFrame* frame() const { return _frame; }

private:
    const AVCodec* _codec = nullptr;
    AVCodecContext* _context = nullptr;
    AVPacket* _packet = nullptr;
    AVFrame* _frame = nullptr;
};
