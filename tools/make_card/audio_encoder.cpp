#include "audio_encoder.h"

#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
}

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kBeepSeconds = 0.08;
constexpr double kFadeSeconds = 0.005;
constexpr double kLevel = 0.4;

QString avError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

}  // namespace

AudioEncoder::~AudioEncoder() {
    close();
}

void AudioEncoder::close() {
    avcodec_free_context(&m_context);
    av_frame_free(&m_frame);
    av_packet_free(&m_packet);
}

bool AudioEncoder::fail(const QString& what, int code) {
    m_error = code != 0 ? QStringLiteral("%1: %2").arg(what, avError(code)) : what;
    return false;
}

float AudioEncoder::tone(qint64 n) {
    const qint64 second = n / kSampleRate;
    const double t = double(n % kSampleRate) / kSampleRate;
    if (t >= kBeepSeconds) {
        return 0.0f;
    }
    const double frequency = second % 10 == 0 ? 1760.0 : 880.0;
    const double fade = std::min({1.0, t / kFadeSeconds, (kBeepSeconds - t) / kFadeSeconds});
    return float(kLevel * fade * std::sin(2 * kPi * frequency * t));
}

bool AudioEncoder::open() {
    close();
    m_next = 0;
    const AVCodec* codec = avcodec_find_encoder_by_name("aac");
    if (!codec) {
        return fail(QStringLiteral("the AAC encoder is not available"), 0);
    }
    m_context = avcodec_alloc_context3(codec);
    m_frame = av_frame_alloc();
    m_packet = av_packet_alloc();
    if (!m_context || !m_frame || !m_packet) {
        return fail(QStringLiteral("out of memory"), 0);
    }
    m_context->sample_rate = kSampleRate;
    m_context->sample_fmt = AV_SAMPLE_FMT_FLTP;
    av_channel_layout_default(&m_context->ch_layout, kChannels);
    m_context->bit_rate = kBitRate;
    m_context->time_base = AVRational{1, kSampleRate};
    m_context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int rc = avcodec_open2(m_context, codec, nullptr);
    if (rc < 0) {
        return fail(QStringLiteral("cannot open the AAC encoder"), rc);
    }
    m_config =
        QByteArray(reinterpret_cast<const char*>(m_context->extradata), m_context->extradata_size);
    m_frame->format = m_context->sample_fmt;
    m_frame->nb_samples = m_context->frame_size;
    m_frame->sample_rate = kSampleRate;
    rc = av_channel_layout_copy(&m_frame->ch_layout, &m_context->ch_layout);
    if (rc >= 0) {
        rc = av_frame_get_buffer(m_frame, 0);
    }
    if (rc < 0) {
        return fail(QStringLiteral("cannot allocate an audio frame"), rc);
    }
    return true;
}

int AudioEncoder::priming() const {
    return m_context ? m_context->initial_padding : 0;
}

int AudioEncoder::frameSize() const {
    return m_context ? m_context->frame_size : 1024;
}

bool AudioEncoder::encodeUntil(qint64 end, std::vector<MediaPacket>* out) {
    const int size = m_context->frame_size;
    while (m_next + size <= end) {
        if (!encodeFrame(size, out)) {
            return false;
        }
    }
    return true;
}

bool AudioEncoder::flush(qint64 end, std::vector<MediaPacket>* out) {
    if (!encodeUntil(end, out)) {
        return false;
    }
    // The last frame may be short.
    if (end > m_next && !encodeFrame(int(end - m_next), out)) {
        return false;
    }
    const int rc = avcodec_send_frame(m_context, nullptr);
    if (rc < 0) {
        return fail(QStringLiteral("AAC encoding failed"), rc);
    }
    return receive(out);
}

bool AudioEncoder::encodeFrame(int samples, std::vector<MediaPacket>* out) {
    int rc = av_frame_make_writable(m_frame);
    if (rc < 0) {
        return fail(QStringLiteral("cannot write an audio frame"), rc);
    }
    m_frame->nb_samples = samples;
    float* data = reinterpret_cast<float*>(m_frame->data[0]);
    for (int i = 0; i < samples; ++i) {
        data[i] = tone(m_next + i);
    }
    m_frame->pts = m_next;
    m_next += samples;
    rc = avcodec_send_frame(m_context, m_frame);
    if (rc < 0) {
        return fail(QStringLiteral("AAC encoding failed"), rc);
    }
    return receive(out);
}

bool AudioEncoder::receive(std::vector<MediaPacket>* out) {
    int rc;
    while ((rc = avcodec_receive_packet(m_context, m_packet)) >= 0) {
        MediaPacket p;
        p.data = QByteArray(reinterpret_cast<const char*>(m_packet->data), m_packet->size);
        p.pts = m_packet->pts;
        p.duration = quint32(m_packet->duration);
        p.keyFrame = true;
        out->push_back(p);
        av_packet_unref(m_packet);
    }
    if (rc != AVERROR(EAGAIN) && rc != AVERROR_EOF) {
        return fail(QStringLiteral("AAC encoding failed"), rc);
    }
    return true;
}
