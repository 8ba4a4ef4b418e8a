#include "mp4/rm_key_frame_check.h"

#include <QThread>

#include "mp4/rm_clean_decode.h"

bool RMKeyFrameCheck::decodes(RMNalScanner::Codec codec, const QByteArray& config,
                              const QByteArray& picture) {
    return !picture.isEmpty() && cleanPictures(codec, config, {picture}) == 1;
}

int RMKeyFrameCheck::cleanPictures(RMNalScanner::Codec codec, const QByteArray& config,
                                   const std::vector<QByteArray>& pictures,
                                   const std::atomic<bool>* stop) {
    // Frame threads report a damaged picture a few pictures late: when any
    // picture fails, one thread tells exactly which.
    const int threads = frameThreads();
    if (pictures.size() > 1 && threads > 1) {
        const int clean = RMCleanDecode::count(codec, config, pictures, threads, stop);
        if (clean == int(pictures.size()) || (stop && *stop)) {
            return clean;
        }
    }
    return RMCleanDecode::count(codec, config, pictures, 1, stop);
}

int RMKeyFrameCheck::frameThreads() {
    return qBound(1, QThread::idealThreadCount(), kMaxThreads);
}
