#pragma once

#include <QString>
#include <QtGlobal>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;

// Decodes the pictures of one recording in order, from the key frame before
// a position on; each picture carries its time in ms. Used by one thread.
class RMClipReader {
public:
    RMClipReader() = default;
    RMClipReader(const RMClipReader&) = delete;
    RMClipReader& operator=(const RMClipReader&) = delete;
    ~RMClipReader();

    bool open(const QString& path, int threads);
    bool seek(qint64 ms);
    // The next picture (owned by the reader, valid until the next call), or
    // null at the end or on an error (see failed()).
    AVFrame* next();
    // Exact, not rounded: whether a picture is shown at a moment is decided
    // to the tick.
    double timeMs(const AVFrame* frame) const;
    bool failed() const { return _failed; }
    QString errorString() const { return _error; }
    int width() const;
    int height() const;
    // Frame duration in ms (from the stream's rate).
    double frameMs() const { return _frameMs; }
    AVFormatContext* format() const { return _format; }
    int stream() const { return _stream; }

private:
    bool _fail(const QString& error);

    QString _path;
    QString _error;
    AVFormatContext* _format = nullptr;
    AVCodecContext* _codec = nullptr;
    AVPacket* _packet = nullptr;
    AVFrame* _frame = nullptr;
    int _stream = -1;
    bool _draining = false;
    bool _failed = false;
    double _frameMs = 1000.0 / 30;
};
