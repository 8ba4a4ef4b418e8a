#pragma once

#include <QtGlobal>
#include <vector>

#include "mp4/rm_nal_scanner.h"
#include "recovery/rm_recover_walker.h"

// Which pictures of a walk's last group of pictures are decoded to check
// it. The pictures since the last key frame must decode cleanly: a picture
// whose end lies in stale bytes passes every header check but not this.
// Bytes go stale from some point to the end, and a walk seldom takes more
// than a sample of them, so only the last pictures end in them. Of an H.264
// group the key frame and the last few pictures are decoded: the decoder
// fills the frame-number gap between them without calling the later
// pictures damaged, while a picture with stale bytes still breaks its slice
// data. An HEVC group is decoded whole. A crafted file may hold one key
// frame and a million pictures after it, or pictures of gigabytes: only so
// many are taken, and the walk ends after the last one taken.
class RMLastGroup {
public:
    static constexpr size_t kMaxPictures = 600;
    static constexpr qint64 kMaxBytes = 256 << 20;
    static constexpr size_t kTail = 4;

    struct Plan {
        bool hasKey = false;  // the walk holds a key frame
        size_t taken = 0;     // the walk keeps this many pictures
        // The pictures decoded, the key frame first; none when the key
        // frame alone is over the bound.
        std::vector<RMRecoverWalker::Sample> decoded;
    };
    static Plan plan(const std::vector<RMRecoverWalker::Sample>& video, RMNalScanner::Codec codec);
};
