#pragma once

#include <QByteArray>
#include <atomic>
#include <vector>

#include "mp4/rm_nal_scanner.h"

// Decodes one key frame with the codec set-up of another file. A picture
// coded for other parameter sets (another channel's size, another camera's
// encoder) fails to decode cleanly, so this tells whether a reference
// recording fits a cut-off one.
class RMKeyFrameCheck {
public:
    // `config` is the "avcC" or "hvcC" record; `picture` one whole sample.
    static bool decodes(RMNalScanner::Codec codec, const QByteArray& config,
                        const QByteArray& picture);
    // How many of the pictures, a key frame first, decode cleanly one after
    // the other before the first that does not. Setting `stop` (from any
    // thread) ends the decoding before the next picture; the count is then
    // meaningless.
    static int cleanPictures(RMNalScanner::Codec codec, const QByteArray& config,
                             const std::vector<QByteArray>& pictures,
                             const std::atomic<bool>* stop = nullptr);

    // Frame threads a decoding of several pictures uses.
    static int frameThreads();

private:
    static constexpr int kMaxThreads = 2;
};
