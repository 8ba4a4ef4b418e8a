#include "export/rm_clip_reader.h"

#include <QFile>
#include <QFileInfo>
#include <QtDebug>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

RMClipReader::~RMClipReader() {
    av_frame_free(&_frame);
    av_packet_free(&_packet);
    avcodec_free_context(&_codec);
    avformat_close_input(&_format);
}

bool RMClipReader::_fail(const QString& error) {
    _failed = true;
    _error = QFileInfo(_path).fileName() + ": " + error;
    qInfo() << Q_FUNC_INFO << __LINE__ << _error;
    return false;
}

bool RMClipReader::open(const QString& path, int threads) {
    _path = path;
    if (avformat_open_input(&_format, QFile::encodeName(path).constData(), nullptr, nullptr) < 0 ||
        avformat_find_stream_info(_format, nullptr) < 0) {
        return _fail("the recording can no longer be read");
    }
    _stream = av_find_best_stream(_format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (_stream < 0) {
        return _fail("no video");
    }
    const AVStream* s = _format->streams[_stream];
    const AVCodec* decoder = avcodec_find_decoder(s->codecpar->codec_id);
    _codec = avcodec_alloc_context3(decoder);
    if (!decoder || !_codec || avcodec_parameters_to_context(_codec, s->codecpar) < 0) {
        return _fail("no decoder for its video");
    }
    _codec->thread_count = threads;
    _codec->thread_type = FF_THREAD_FRAME;
    _codec->pkt_timebase = s->time_base;
    if (avcodec_open2(_codec, decoder, nullptr) < 0) {
        return _fail("the video decoder does not open");
    }
    const AVRational rate = s->avg_frame_rate.num ? s->avg_frame_rate : s->r_frame_rate;
    if (rate.num > 0 && rate.den > 0) {
        _frameMs = 1000.0 * rate.den / rate.num;
    }
    _packet = av_packet_alloc();
    _frame = av_frame_alloc();
    return _packet && _frame;
}

int RMClipReader::width() const {
    return _codec ? _codec->width : 0;
}

int RMClipReader::height() const {
    return _codec ? _codec->height : 0;
}

double RMClipReader::timeMs(const AVFrame* frame) const {
    const AVStream* s = _format->streams[_stream];
    const qint64 pts = frame->best_effort_timestamp;
    const qint64 start = s->start_time == AV_NOPTS_VALUE ? 0 : s->start_time;
    return double(pts - start) * 1000.0 * s->time_base.num / s->time_base.den;
}

bool RMClipReader::seek(qint64 ms) {
    const AVStream* s = _format->streams[_stream];
    const qint64 start = s->start_time == AV_NOPTS_VALUE ? 0 : s->start_time;
    const qint64 ts = start + av_rescale_q(ms, AVRational{1, 1000}, s->time_base);
    if (av_seek_frame(_format, _stream, ts, AVSEEK_FLAG_BACKWARD) < 0) {
        return _fail("cannot be sought");
    }
    avcodec_flush_buffers(_codec);
    _draining = false;
    return true;
}

AVFrame* RMClipReader::next() {
    while (true) {
        const int got = avcodec_receive_frame(_codec, _frame);
        if (got == 0) {
            return _frame;
        }
        if (got == AVERROR_EOF) {
            return nullptr;
        }
        if (got != AVERROR(EAGAIN)) {
            _fail("a picture does not decode");
            return nullptr;
        }
        if (_draining) {
            return nullptr;
        }
        int read = 0;
        while ((read = av_read_frame(_format, _packet)) >= 0 && _packet->stream_index != _stream) {
            av_packet_unref(_packet);
        }
        if (read == AVERROR_EOF) {
            _draining = true;
            avcodec_send_packet(_codec, nullptr);
            continue;
        }
        if (read < 0) {
            _fail("the recording can no longer be read");
            return nullptr;
        }
        const int sent = avcodec_send_packet(_codec, _packet);
        av_packet_unref(_packet);
        if (sent < 0 && sent != AVERROR(EAGAIN)) {
            _fail("a picture does not decode");
            return nullptr;
        }
    }
}
