#include "engine/av_error.h"

extern "C" {
#include <libavutil/error.h>
}

AVError::AVError(ErrorCode code, int ffmpegError) : code_(code), ffmpegError_(ffmpegError) {}

QString AVError::string() const {
    switch (code_) {
        case NoError:
            return QStringLiteral("No error");
        case OpenError:
            return QStringLiteral("Cannot open the media");
        case OpenTimedout:
            return QStringLiteral("Opening the media timed out");
        case FindStreamInfoError:
            return QStringLiteral("Cannot find the stream information");
        case StreamNotFound:
            return QStringLiteral("No audio or video stream found");
        case ReadTimedout:
            return QStringLiteral("Reading the media timed out");
        case ReadError:
            return QStringLiteral("Cannot read the media");
        case SeekError:
            return QStringLiteral("Seeking failed");
        case OpenCodecError:
            return QStringLiteral("Cannot open the decoder");
        case CloseCodecError:
            return QStringLiteral("Cannot close the decoder");
        case DecodeError:
            return QStringLiteral("Decoding failed");
        case ResampleError:
            return QStringLiteral("Audio resampling failed");
        case UnknowError:
            break;
    }
    return QStringLiteral("Unknown error");
}

QString AVError::ffmpegErrorString() const {
    if (ffmpegError_ == 0) {
        return QString();
    }
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(ffmpegError_, text, sizeof(text));
    return QString::fromUtf8(text);
}
