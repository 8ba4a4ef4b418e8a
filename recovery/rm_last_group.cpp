#include "recovery/rm_last_group.h"

RMLastGroup::Plan RMLastGroup::plan(const std::vector<RMRecoverWalker::Sample>& video,
                                    RMNalScanner::Codec codec) {
    Plan plan;
    plan.taken = video.size();
    size_t key = video.size();
    while (key > 0 && !video[key - 1].key) {
        --key;
    }
    if (key == 0) {
        return plan;
    }
    --key;
    plan.hasKey = true;
    qint64 bytes = 0;
    size_t end = key;
    for (; end < video.size() && end - key < kMaxPictures; ++end) {
        bytes += video[end].size;
        if (bytes > kMaxBytes) {
            break;
        }
    }
    plan.taken = end;
    if (end == key) {
        return plan;
    }
    plan.decoded.push_back(video[key]);
    const size_t tail =
        codec == RMNalScanner::CODEC_H264 && end - key - 1 > kTail ? end - kTail : key + 1;
    for (size_t n = tail; n < end; ++n) {
        plan.decoded.push_back(video[n]);
    }
    return plan;
}
