#pragma once

#include <QByteArray>
#include <atomic>
#include <memory>
#include <vector>

#include "mp4/rm_nal_scanner.h"

// Decodes pictures handed over one at a time, a key frame first, and counts
// how many of them decode cleanly one after the other. With frame threads
// a picture decodes on the decoder's own threads while the caller goes on
// (the first picture handed over returns at once); frame threads report a
// damaged picture a few pictures late, so only a count of all the pictures
// is exact with them.
class RMCleanDecode {
public:
    RMCleanDecode();
    ~RMCleanDecode();
    RMCleanDecode(const RMCleanDecode&) = delete;
    RMCleanDecode& operator=(const RMCleanDecode&) = delete;

    // `config` is the "avcC" or "hvcC" record.
    bool open(RMNalScanner::Codec codec, const QByteArray& config, int threads);
    // One whole sample; false once a picture failed.
    bool add(const QByteArray& picture);
    // Waits for the pictures handed over: how many decoded cleanly in a row.
    int finish();

    // The pictures decoded with `threads` frame threads: how many decode
    // cleanly in a row. Setting `stop` (from any thread) ends the decoding
    // before the next picture; the count is then meaningless.
    static int count(RMNalScanner::Codec codec, const QByteArray& config,
                     const std::vector<QByteArray>& pictures, int threads,
                     const std::atomic<bool>* stop);

private:
    struct Decoder;
    std::unique_ptr<Decoder> _decoder;
    int _clean = 0;
    int _added = 0;
    bool _failed = false;
};
