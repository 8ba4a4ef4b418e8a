#pragma once

#include <QMetaType>
#include <QString>

// A playback error: what failed in the engine and, when FFmpeg reported it,
// FFmpeg's own error code.
class AVError {
public:
    enum ErrorCode {
        NoError,
        OpenError,
        OpenTimedout,
        FindStreamInfoError,
        StreamNotFound,
        ReadTimedout,
        ReadError,
        SeekError,
        OpenCodecError,
        CloseCodecError,
        DecodeError,
        ResampleError,
        UnknowError,
    };

    AVError() = default;
    explicit AVError(ErrorCode code, int ffmpegError = 0);

    ErrorCode error() const { return code_; }
    bool isError() const { return code_ != NoError; }
    // What went wrong, in English.
    QString string() const;
    int ffmpegErrorCode() const { return ffmpegError_; }
    // FFmpeg's text for its error code; empty when there is none.
    QString ffmpegErrorString() const;

    bool operator==(const AVError& other) const {
        return code_ == other.code_ && ffmpegError_ == other.ffmpegError_;
    }
    bool operator!=(const AVError& other) const { return !(*this == other); }

private:
    ErrorCode code_ = NoError;
    int ffmpegError_ = 0;
};

Q_DECLARE_METATYPE(AVError)
