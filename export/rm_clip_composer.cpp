#include "export/rm_clip_composer.h"

#include <QFile>
#include <QFileInfo>
#include <QtDebug>
#include <cstring>
#include <limits>

#include "export/rm_clip_gps.h"
#include "export/rm_clip_reader.h"
#include "export/rm_clip_stamp.h"
#include "export/rm_export_file.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace {
constexpr int kIoBuffer = 1 << 20;
constexpr int kMaxWidth = 3840;

int even(double v) {
    return qMax(2, int(v) & ~1);
}

int ioWrite(void* opaque, uint8_t* data, int size) {
    auto* file = static_cast<RMExportFile*>(opaque);
    return file->write(reinterpret_cast<const char*>(data), size) ? size : AVERROR(EIO);
}

int64_t ioSeek(void* opaque, int64_t offset, int whence) {
    auto* file = static_cast<RMExportFile*>(opaque);
    switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE:
            return file->size();
        case SEEK_SET:
            break;
        case SEEK_CUR:
            offset += file->position();
            break;
        case SEEK_END:
            offset += file->size();
            break;
        default:
            return AVERROR(EINVAL);
    }
    return file->seek(offset) ? offset : AVERROR(EIO);
}

// Scales a picture into a rectangle of a YUV 4:2:0 canvas.
bool scaleInto(SwsContext** sws, const AVFrame* from, AVFrame* canvas, const QRect& to) {
    *sws = sws_getCachedContext(*sws, from->width, from->height, AVPixelFormat(from->format),
                                to.width(), to.height(), AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr,
                                nullptr, nullptr);
    if (!*sws) {
        return false;
    }
    uint8_t* data[4] = {canvas->data[0] + to.y() * canvas->linesize[0] + to.x(),
                        canvas->data[1] + to.y() / 2 * canvas->linesize[1] + to.x() / 2,
                        canvas->data[2] + to.y() / 2 * canvas->linesize[2] + to.x() / 2, nullptr};
    sws_scale(*sws, from->data, from->linesize, 0, from->height, data, canvas->linesize);
    return true;
}

// The same picture format and size: a plain copy of the planes.
bool copyInto(const AVFrame* from, AVFrame* canvas) {
    const bool yuv420 = from->format == AV_PIX_FMT_YUV420P || from->format == AV_PIX_FMT_YUVJ420P;
    if (!yuv420 || from->width != canvas->width || from->height != canvas->height) {
        return false;
    }
    for (int plane = 0; plane < 3; ++plane) {
        const int h = plane == 0 ? from->height : (from->height + 1) / 2;
        const int w = plane == 0 ? from->width : (from->width + 1) / 2;
        for (int row = 0; row < h; ++row) {
            memcpy(canvas->data[plane] + row * canvas->linesize[plane],
                   from->data[plane] + row * from->linesize[plane], size_t(w));
        }
    }
    return true;
}
}  // namespace

struct RMClipComposer::State {
    ~State() {
        sws_freeContext(frontSws);
        sws_freeContext(rearSws);
        av_frame_free(&canvas);
        av_frame_free(&rearFrame);
        av_packet_free(&packet);
        av_packet_free(&audioPacket);
        avcodec_free_context(&encoder);
        avformat_close_input(&audioIn);
        if (out) {
            if (out->pb) {
                av_freep(&out->pb->buffer);
                avio_context_free(&out->pb);
            }
            avformat_free_context(out);
        }
    }
    AVFormatContext* out = nullptr;
    AVStream* video = nullptr;
    AVStream* audio = nullptr;
    AVCodecContext* encoder = nullptr;
    AVFrame* canvas = nullptr;
    AVFrame* rearFrame = nullptr;  // a reference to the rear picture shown
    AVPacket* packet = nullptr;
    AVPacket* audioPacket = nullptr;
    SwsContext* frontSws = nullptr;
    SwsContext* rearSws = nullptr;
    RMClipStamp stamp;
    QSize front, rear, size;
    QRect frontRect, rearRect;
    AVRational rate{30, 1};
    double frameMs = 1000.0 / 30;
    qint64 total = 0;
    // The front sound of the part being written.
    AVFormatContext* audioIn = nullptr;
    int audioStream = -1;
    qint64 audioFromMs = 0;  // source time of the part's first picture
    qint64 audioToMs = 0;
    qint64 clipOffsetMs = 0;  // clip time of the part's first picture
    qint64 lastAudioPts = AV_NOPTS_VALUE;
    RMExportFile* file = nullptr;
};

RMClipComposer::RMClipComposer(const RMExportJob& job, const RMClipGps* gps)
    : _job(job), _gps(gps), _s(new State) {}

RMClipComposer::~RMClipComposer() = default;

QSize RMClipComposer::outputSize(RMExportJob::Layout layout, QSize front, QSize rear) {
    if (layout != RMExportJob::LAYOUT_SIDE || rear.isEmpty()) {
        return QSize(even(front.width()), even(front.height()));
    }
    double height = front.height();
    double width = front.width() + rear.width() * height / rear.height();
    if (width > kMaxWidth) {
        height = height * kMaxWidth / width;
    }
    const int frontWidth = even(front.width() * height / front.height());
    const int rearWidth = even(rear.width() * height / rear.height());
    return QSize(frontWidth + rearWidth, even(height));
}

QRect RMClipComposer::rearRect(const RMExportJob& job, QSize output, QSize rear) {
    if (rear.isEmpty()) {
        return QRect();
    }
    if (job.layout == RMExportJob::LAYOUT_SIDE) {
        const int width = even(rear.width() * double(output.height()) / rear.height());
        return QRect(output.width() - width, 0, width, output.height());
    }
    const int width = even(output.width() / 3.0);
    const int height = even(rear.height() * double(width) / rear.width());
    const int margin = even(output.width() / 60.0);
    // Above the stamp's band, so neither hides the other.
    const int band = job.stamp ? RMClipStamp::bandHeight(output.height()) : 0;
    const bool left =
        job.corner == RMExportJob::CORNER_BOTTOM_LEFT || job.corner == RMExportJob::CORNER_TOP_LEFT;
    const bool top =
        job.corner == RMExportJob::CORNER_TOP_LEFT || job.corner == RMExportJob::CORNER_TOP_RIGHT;
    const int x = left ? margin : output.width() - margin - width;
    const int y = top ? margin : (output.height() - band - margin - height) & ~1;
    return QRect(x, y, width, height);
}

bool RMClipComposer::_open(RMExportFile* file, QString* error) {
    State& s = *_s;
    s.file = file;
    const RMClipPart& first = _job.parts.front();
    RMClipReader front;
    if (!front.open(first.source.primary(), 1)) {
        *error = front.errorString();
        return false;
    }
    s.front = QSize(front.width(), front.height());
    const AVStream* fs = front.format()->streams[front.stream()];
    s.rate = fs->avg_frame_rate.num ? fs->avg_frame_rate : fs->r_frame_rate;
    s.frameMs = front.frameMs();
    if (!first.source.rear.isEmpty() && !first.source.front.isEmpty()) {
        RMClipReader rear;
        if (!rear.open(first.source.rear, 1)) {
            *error = rear.errorString();
            return false;
        }
        s.rear = QSize(rear.width(), rear.height());
    } else if (_job.layout == RMExportJob::LAYOUT_SIDE) {
        *error = "side by side needs a rear recording";
        return false;
    }
    s.size = outputSize(_job.layout, s.front, s.rear);
    s.rearRect = rearRect(_job, s.size, s.rear);
    s.frontRect = _job.layout == RMExportJob::LAYOUT_SIDE && !s.rear.isEmpty()
                      ? QRect(0, 0, s.size.width() - s.rearRect.width(), s.size.height())
                      : QRect(QPoint(0, 0), s.size);
    for (const RMClipPart& part : _job.parts) {
        s.total += qint64((part.toMs - part.fromMs) / s.frameMs) + 1;
    }

    if (avformat_alloc_output_context2(&s.out, nullptr, "mp4", nullptr) < 0) {
        *error = "the MP4 writer is missing";
        return false;
    }
    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBuffer));
    s.out->pb = avio_alloc_context(buffer, kIoBuffer, 1, file, nullptr, ioWrite, ioSeek);
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (!codec) {
        *error = "the H.264 encoder (libx264) is missing";
        return false;
    }
    s.encoder = avcodec_alloc_context3(codec);
    s.encoder->width = s.size.width();
    s.encoder->height = s.size.height();
    s.encoder->pix_fmt = AV_PIX_FMT_YUV420P;
    s.encoder->time_base = av_inv_q(s.rate);
    s.encoder->framerate = s.rate;
    s.encoder->thread_count = _job.threads;
    s.encoder->color_range = AVCOL_RANGE_MPEG;
    if (s.out->oformat->flags & AVFMT_GLOBALHEADER) {
        s.encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    av_opt_set(s.encoder->priv_data, "preset", _job.smaller ? "medium" : "veryfast", 0);
    av_opt_set(s.encoder->priv_data, "crf", "20", 0);
    av_opt_set(s.encoder->priv_data, "x264-params", "log=-1", 0);  // no statistics on stderr
    if (avcodec_open2(s.encoder, codec, nullptr) < 0) {
        *error = "the H.264 encoder does not open";
        return false;
    }
    s.video = avformat_new_stream(s.out, nullptr);
    avcodec_parameters_from_context(s.video->codecpar, s.encoder);
    s.video->time_base = s.encoder->time_base;
    s.video->avg_frame_rate = s.rate;
    const int audio = av_find_best_stream(front.format(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (audio >= 0) {
        const AVStream* as = front.format()->streams[audio];
        s.audio = avformat_new_stream(s.out, nullptr);
        avcodec_parameters_copy(s.audio->codecpar, as->codecpar);
        s.audio->codecpar->codec_tag = 0;
        s.audio->time_base = AVRational{1, as->codecpar->sample_rate};
    }
    if (avformat_write_header(s.out, nullptr) < 0) {
        *error = file->errorString().isEmpty() ? QString("the MP4 header cannot be written")
                                               : file->errorString();
        return false;
    }
    s.canvas = av_frame_alloc();
    s.canvas->format = AV_PIX_FMT_YUV420P;
    s.canvas->width = s.size.width();
    s.canvas->height = s.size.height();
    s.rearFrame = av_frame_alloc();
    s.packet = av_packet_alloc();
    s.audioPacket = av_packet_alloc();
    if (av_frame_get_buffer(s.canvas, 32) < 0) {
        *error = "out of memory";
        return false;
    }
    return true;
}

bool RMClipComposer::_encode(bool flush, QString* error) {
    State& s = *_s;
    if (avcodec_send_frame(s.encoder, flush ? nullptr : s.canvas) < 0) {
        *error = "the H.264 encoder failed";
        return false;
    }
    while (true) {
        const int got = avcodec_receive_packet(s.encoder, s.packet);
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) {
            return true;
        }
        if (got < 0) {
            *error = "the H.264 encoder failed";
            return false;
        }
        av_packet_rescale_ts(s.packet, s.encoder->time_base, s.video->time_base);
        s.packet->stream_index = s.video->index;
        if (av_interleaved_write_frame(s.out, s.packet) < 0) {
            *error = s.file->errorString().isEmpty() ? QString("the video cannot be written")
                                                     : s.file->errorString();
            return false;
        }
    }
}

bool RMClipComposer::_audio(int index, qint64 untilMs, QString* error) {
    State& s = *_s;
    if (!s.audio || !s.audioIn) {
        return true;
    }
    const AVStream* in = s.audioIn->streams[s.audioStream];
    const qint64 start = in->start_time == AV_NOPTS_VALUE ? 0 : in->start_time;
    while (true) {
        if (s.audioPacket->size == 0) {
            int read = 0;
            while ((read = av_read_frame(s.audioIn, s.audioPacket)) >= 0 &&
                   s.audioPacket->stream_index != s.audioStream) {
                av_packet_unref(s.audioPacket);
            }
            if (read < 0) {
                avformat_close_input(&s.audioIn);
                return true;  // the part's sound ends here
            }
        }
        const qint64 ms =
            av_rescale_q(s.audioPacket->pts - start, in->time_base, AVRational{1, 1000});
        if (ms >= s.audioToMs) {
            av_packet_unref(s.audioPacket);
            avformat_close_input(&s.audioIn);
            return true;
        }
        if (ms - s.audioFromMs + s.clipOffsetMs > untilMs) {
            return true;  // kept for later
        }
        const qint64 pts = av_rescale_q(ms - s.audioFromMs + s.clipOffsetMs, AVRational{1, 1000},
                                        s.audio->time_base);
        if (ms >= s.audioFromMs && (s.lastAudioPts == AV_NOPTS_VALUE || pts > s.lastAudioPts)) {
            s.lastAudioPts = pts;
            s.audioPacket->pts = s.audioPacket->dts = pts;
            s.audioPacket->duration =
                av_rescale_q(s.audioPacket->duration, in->time_base, s.audio->time_base);
            s.audioPacket->stream_index = s.audio->index;
            s.audioPacket->pos = -1;
            if (av_interleaved_write_frame(s.out, s.audioPacket) < 0) {
                *error = s.file->errorString().isEmpty() ? QString("the sound cannot be written")
                                                         : s.file->errorString();
                return false;
            }
        }
        av_packet_unref(s.audioPacket);
        Q_UNUSED(index);
    }
}

bool RMClipComposer::_part(int index, const Progress& progress, QString* error) {
    State& s = *_s;
    const RMClipPart& part = _job.parts[index];
    RMClipReader front;
    RMClipReader rear;
    const bool withRear = !s.rear.isEmpty();
    if (!front.open(part.source.primary(), 0) || !front.seek(part.fromMs)) {
        *error = front.errorString();
        return false;
    }
    if (withRear && (!rear.open(part.source.rear, 0) || !rear.seek(part.fromMs))) {
        *error = rear.errorString();
        return false;
    }
    if (QSize(front.width(), front.height()) != s.front ||
        (withRear && QSize(rear.width(), rear.height()) != s.rear)) {
        *error = QFileInfo(part.source.primary()).fileName() +
                 ": recorded at another picture size than the recording before it";
        return false;
    }
    // The part's sound, opened on its own so it can be read ahead of the pictures.
    s.audioIn = nullptr;
    if (s.audio &&
        avformat_open_input(&s.audioIn, QFile::encodeName(part.source.primary()), nullptr,
                            nullptr) == 0 &&
        avformat_find_stream_info(s.audioIn, nullptr) >= 0) {
        s.audioStream = av_find_best_stream(s.audioIn, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        if (s.audioStream < 0) {
            avformat_close_input(&s.audioIn);
        }
    }
    av_packet_unref(s.audioPacket);
    bool first = true;
    AVFrame* nextRear = nullptr;
    bool rearEnded = false;
    av_frame_unref(s.rearFrame);
    while (AVFrame* picture = front.next()) {
        const double exact = front.timeMs(picture);
        if (exact > part.toMs + 0.001) {
            break;
        }
        if (exact + s.frameMs <= part.fromMs + 0.001) {
            continue;  // gone before the start
        }
        const qint64 t = qint64(exact + 0.5);
        if (first) {
            first = false;
            s.audioFromMs = t;
            s.audioToMs = part.toMs + qint64(s.frameMs) + 1;
            if (s.audioIn) {
                av_seek_frame(s.audioIn, -1,
                              av_rescale(qMax<qint64>(0, t - 100), AV_TIME_BASE, 1000),
                              AVSEEK_FLAG_BACKWARD);
            }
        }
        // The rear picture shown at this moment: the last one not later than t.
        while (withRear && !rearEnded) {
            if (!nextRear) {
                nextRear = rear.next();
                if (!nextRear) {
                    rearEnded = true;
                    if (rear.failed()) {
                        *error = rear.errorString();
                        return false;
                    }
                    break;
                }
            }
            if (rear.timeMs(nextRear) > exact + 0.001 && s.rearFrame->buf[0]) {
                break;
            }
            av_frame_unref(s.rearFrame);
            av_frame_ref(s.rearFrame, nextRear);
            nextRear = nullptr;
        }
        if (av_frame_make_writable(s.canvas) < 0) {
            *error = "out of memory";
            return false;
        }
        if (!copyInto(picture, s.canvas) &&
            !scaleInto(&s.frontSws, picture, s.canvas, s.frontRect)) {
            *error = "the front picture cannot be scaled";
            return false;
        }
        if (withRear && s.rearFrame->buf[0] &&
            !scaleInto(&s.rearSws, s.rearFrame, s.canvas, s.rearRect)) {
            *error = "the rear picture cannot be scaled";
            return false;
        }
        if (_job.stamp) {
            s.stamp.blend(s.canvas,
                          RMClipStamp::text(RMClipRange::clockAt(part.source, t),
                                            _gps ? _gps->at(index, t) : nullptr, _job.mph));
        }
        s.canvas->pts = _frames++;
        if (!_encode(false, error) ||
            !_audio(index, s.clipOffsetMs + (t - s.audioFromMs) + 500, error)) {
            return false;
        }
        if (progress && !progress(_frames, s.total)) {
            *error = QString();
            return false;
        }
    }
    if (front.failed()) {
        *error = front.errorString();
        return false;
    }
    if (!_audio(index, std::numeric_limits<qint64>::max(), error)) {
        return false;
    }
    s.clipOffsetMs = qint64(_frames * s.frameMs + 0.5);
    return true;
}

bool RMClipComposer::_finish(QString* error) {
    State& s = *_s;
    if (!_encode(true, error)) {
        return false;
    }
    if (av_write_trailer(s.out) < 0 || s.out->pb->error < 0) {
        *error = s.file->errorString().isEmpty() ? QString("the video cannot be written")
                                                 : s.file->errorString();
        return false;
    }
    avio_flush(s.out->pb);
    if (s.out->pb->error < 0) {
        *error = s.file->errorString();
        return false;
    }
    return true;
}

bool RMClipComposer::write(RMExportFile* file, const Progress& progress, QString* error) {
    if (!_open(file, error)) {
        return false;
    }
    for (int i = 0; i < _job.parts.size(); ++i) {
        if (!_part(i, progress, error)) {
            return false;
        }
    }
    return _finish(error);
}
