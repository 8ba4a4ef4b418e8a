#include "video_encoder.h"

#include <QtEndian>
#include <algorithm>

#include "frame_grain.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace {

constexpr int kThreads = 2;
constexpr int kNalSps = 7;
constexpr int kNalPps = 8;
// The camera-like encoding: CABAC, 8x8 transforms, the loop filter and
// sub-pixel motion, without the slow searches of the better presets.
constexpr const char* kHighPreset = "veryfast";

QString avError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

}  // namespace

VideoEncoder::VideoEncoder() = default;

VideoEncoder::~VideoEncoder() {
    close();
}

void VideoEncoder::close() {
    avcodec_free_context(&m_context);
    av_frame_free(&m_frame);
    av_packet_free(&m_packet);
    sws_freeContext(m_scaler);
    m_scaler = nullptr;
    for (auto& band : m_bandScalers) {
        sws_freeContext(band.second);
    }
    m_bandScalers.clear();
    m_grain.reset();
}

SwsContext* VideoEncoder::scaler(int height) {
    if (height == m_context->height) {
        return m_scaler;
    }
    for (const auto& band : m_bandScalers) {
        if (band.first == height) {
            return band.second;
        }
    }
    const int width = m_context->width;
    SwsContext* s =
        sws_getContext(width, height, AV_PIX_FMT_RGB32, width, height, AV_PIX_FMT_YUV420P,
                       SWS_FAST_BILINEAR, nullptr, nullptr, nullptr);
    if (s) {
        m_bandScalers.emplace_back(height, s);
    }
    return s;
}

bool VideoEncoder::fail(const QString& what, int code) {
    m_error = code != 0 ? QStringLiteral("%1: %2").arg(what, avError(code)) : what;
    return false;
}

bool VideoEncoder::open(const VideoSettings& settings) {
    close();
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (!codec) {
        return fail(QStringLiteral("the H.264 encoder libx264 is not available"), 0);
    }
    m_context = avcodec_alloc_context3(codec);
    m_frame = av_frame_alloc();
    m_packet = av_packet_alloc();
    if (!m_context || !m_frame || !m_packet) {
        return fail(QStringLiteral("out of memory"), 0);
    }
    const int width = settings.width;
    const int height = settings.height;
    m_context->width = width;
    m_context->height = height;
    m_context->pix_fmt = AV_PIX_FMT_YUV420P;
    m_context->time_base = AVRational{1, settings.fps};
    m_context->framerate = AVRational{settings.fps, 1};
    m_context->gop_size = settings.gop;
    m_context->keyint_min = settings.gop;
    m_context->max_b_frames = settings.bframes;
    // x264's rate control across frame threads depends on their timing: a
    // fixed bit rate is only repeatable on one thread (the files of a card
    // are encoded side by side anyway).
    m_context->thread_count = settings.kbps > 0 ? 1 : kThreads;
    m_context->color_range = AVCOL_RANGE_MPEG;
    m_context->colorspace = AVCOL_SPC_SMPTE170M;
    m_context->color_primaries = AVCOL_PRI_SMPTE170M;
    m_context->color_trc = AVCOL_TRC_SMPTE170M;
    // Parameter sets go into the sample description, not into the samples.
    m_context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (settings.high) {
        av_opt_set(m_context->priv_data, "preset", kHighPreset, 0);
        av_opt_set(m_context->priv_data, "profile", "high", 0);
    } else {
        av_opt_set(m_context->priv_data, "preset", "ultrafast", 0);
    }
    if (settings.kbps > 0) {
        // A fixed rate with a one-second buffer, as a camera records.
        m_context->bit_rate = qint64(settings.kbps) * 1000;
        m_context->rc_max_rate = m_context->bit_rate;
        m_context->rc_buffer_size = int(m_context->bit_rate);
    } else {
        av_opt_set_double(m_context->priv_data, "crf", settings.crf, 0);
    }
    // A key frame exactly every `gop` frames, as the camera writes them.
    av_opt_set(m_context->priv_data, "x264-params", "scenecut=0", 0);
    if (settings.grain > 0) {
        m_grain = std::make_unique<FrameGrain>(settings.grain);
        m_grainSeed = settings.grainSeed;
    }
    int rc = avcodec_open2(m_context, codec, nullptr);
    if (rc < 0) {
        return fail(QStringLiteral("cannot open the H.264 encoder"), rc);
    }
    const QByteArray headers(reinterpret_cast<const char*>(m_context->extradata),
                             m_context->extradata_size);
    for (const QByteArray& nal : splitAnnexB(headers)) {
        const int type = nal.isEmpty() ? 0 : nal[0] & 0x1F;
        if (type == kNalSps && m_sps.isEmpty()) {
            m_sps = nal;
        } else if (type == kNalPps && m_pps.isEmpty()) {
            m_pps = nal;
        }
    }
    if (m_sps.isEmpty() || m_pps.isEmpty()) {
        return fail(QStringLiteral("the H.264 encoder gave no parameter sets"), 0);
    }

    m_frame->format = AV_PIX_FMT_YUV420P;
    m_frame->width = width;
    m_frame->height = height;
    rc = av_frame_get_buffer(m_frame, 0);
    if (rc < 0) {
        return fail(QStringLiteral("cannot allocate a video frame"), rc);
    }
    m_scaler = sws_getContext(width, height, AV_PIX_FMT_RGB32, width, height, AV_PIX_FMT_YUV420P,
                              SWS_FAST_BILINEAR, nullptr, nullptr, nullptr);
    if (!m_scaler) {
        return fail(QStringLiteral("cannot convert pictures to yuv420p"), 0);
    }
    return true;
}

bool VideoEncoder::encode(const QImage& image, qint64 frame, const std::vector<RowBand>& changed,
                          std::vector<MediaPacket>* out) {
    // The encoder copies each picture, so the planes normally stay ours and
    // keep the rows that did not change; if not, they are copied first.
    int rc = av_frame_make_writable(m_frame);
    if (rc < 0) {
        return fail(QStringLiteral("cannot write a video frame"), rc);
    }
    std::vector<RowBand> bands = changed;
    if (frame == 0 || bands.empty() || m_grain) {
        bands.assign(1, RowBand{0, image.height()});
    }
    const int stride[1] = {int(image.bytesPerLine())};
    for (const RowBand& band : bands) {
        SwsContext* s = scaler(band.bottom - band.top);
        if (!s) {
            return fail(QStringLiteral("cannot convert pictures to yuv420p"), 0);
        }
        const uint8_t* src[1] = {image.constBits() + qsizetype(band.top) * image.bytesPerLine()};
        uint8_t* dst[3] = {m_frame->data[0] + band.top * m_frame->linesize[0],
                           m_frame->data[1] + band.top / 2 * m_frame->linesize[1],
                           m_frame->data[2] + band.top / 2 * m_frame->linesize[2]};
        sws_scale(s, src, stride, 0, band.bottom - band.top, dst, m_frame->linesize);
    }
    if (m_grain) {
        addGrain(frame);
    }
    m_frame->pts = frame;
    return send(m_frame, out);
}

void VideoEncoder::addGrain(qint64 frame) {
    for (int plane = 0; plane < 3; ++plane) {
        const int shift = plane == 0 ? 0 : 1;
        const quint64 seed =
            m_grainSeed * 0x9E3779B97F4A7C15ULL + quint64(frame) * 3 + quint64(plane);
        m_grain->addTo(m_frame->data[plane], m_frame->linesize[plane], m_context->width >> shift,
                       m_context->height >> shift, seed);
    }
}

bool VideoEncoder::flush(std::vector<MediaPacket>* out) {
    return send(nullptr, out);
}

bool VideoEncoder::send(AVFrame* frame, std::vector<MediaPacket>* out) {
    int rc = avcodec_send_frame(m_context, frame);
    if (rc < 0) {
        return fail(QStringLiteral("H.264 encoding failed"), rc);
    }
    while ((rc = avcodec_receive_packet(m_context, m_packet)) >= 0) {
        MediaPacket p;
        p.pts = m_packet->pts;
        p.duration = 1;
        p.compositionOffset = quint32(std::max<int64_t>(0, m_packet->pts - m_packet->dts));
        p.keyFrame = (m_packet->flags & AV_PKT_FLAG_KEY) != 0;
        const QByteArray stream(reinterpret_cast<const char*>(m_packet->data), m_packet->size);
        for (const QByteArray& nal : splitAnnexB(stream)) {
            char length[4];
            qToBigEndian(quint32(nal.size()), length);
            p.data.append(length, 4);
            p.data.append(nal);
        }
        out->push_back(p);
        av_packet_unref(m_packet);
    }
    if (rc != AVERROR(EAGAIN) && rc != AVERROR_EOF) {
        return fail(QStringLiteral("H.264 encoding failed"), rc);
    }
    return true;
}

std::vector<QByteArray> VideoEncoder::splitAnnexB(const QByteArray& stream) {
    std::vector<QByteArray> nals;
    const int n = stream.size();
    const char* d = stream.constData();
    // Position just after each start code (00 00 01; a leading zero of a
    // four-byte code is trimmed from the NAL before it).
    int start = -1;
    int i = 0;
    while (i + 2 < n) {
        if (d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1) {
            if (start >= 0) {
                int end = i;
                while (end > start && d[end - 1] == 0) {
                    --end;
                }
                nals.push_back(stream.mid(start, end - start));
            }
            i += 3;
            start = i;
        } else {
            ++i;
        }
    }
    if (start >= 0 && start < n) {
        nals.push_back(stream.mid(start));
    }
    return nals;
}
