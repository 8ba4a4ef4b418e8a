#include "engine/video_frame.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace {

void freeFrame(const AVFrame* frame) {
    AVFrame* f = const_cast<AVFrame*>(frame);
    av_frame_free(&f);
}

// A few scalers per thread, each reused while its conversion stays the same:
// a video thread that feeds a pane and the zoom overview alternates between
// two conversions, and making a scaler costs more than using it.
struct ScalerKey {
    int srcW, srcH, srcFormat, dstW, dstH, dstFormat, flags;
    bool operator==(const ScalerKey& o) const {
        return srcW == o.srcW && srcH == o.srcH && srcFormat == o.srcFormat && dstW == o.dstW &&
               dstH == o.dstH && dstFormat == o.dstFormat && flags == o.flags;
    }
};

struct ThreadScalers {
    static constexpr int kCount = 4;
    ScalerKey keys[kCount] = {};
    SwsContext* contexts[kCount] = {};
    int next = 0;  // the entry replaced next
    ~ThreadScalers() {
        for (SwsContext* context : contexts) {
            sws_freeContext(context);
        }
    }
};

SwsContext* scaler(int srcW, int srcH, AVPixelFormat srcFormat, int dstW, int dstH,
                   AVPixelFormat dstFormat, int flags) {
    thread_local ThreadScalers cache;
    const ScalerKey key{srcW, srcH, srcFormat, dstW, dstH, dstFormat, flags};
    for (int i = 0; i < ThreadScalers::kCount; ++i) {
        if (cache.contexts[i] != nullptr && cache.keys[i] == key) {
            return cache.contexts[i];
        }
    }
    const int slot = cache.next;
    cache.next = (slot + 1) % ThreadScalers::kCount;
    sws_freeContext(cache.contexts[slot]);
    cache.contexts[slot] = sws_getContext(srcW, srcH, srcFormat, dstW, dstH, dstFormat, flags,
                                          nullptr, nullptr, nullptr);
    cache.keys[slot] = key;
    return cache.contexts[slot];
}

// Points `src` at the top left sample of `source` in every plane of `frame`;
// `source` is first aligned to the chroma subsampling, so that every plane
// starts on a whole sample.
void sourcePlanes(const AVFrame* frame, const AVPixFmtDescriptor* desc, QRect* source,
                  const uint8_t* src[4], int srcStride[4]) {
    const int alignX = 1 << desc->log2_chroma_w;
    const int alignY = 1 << desc->log2_chroma_h;
    source->setLeft(source->left() / alignX * alignX);
    source->setTop(source->top() / alignY * alignY);
    const bool rgb = (desc->flags & AV_PIX_FMT_FLAG_RGB) != 0;
    for (int plane = 0; plane < 4 && frame->data[plane] != nullptr; ++plane) {
        int step = 0;
        bool chroma = false;
        for (int c = 0; c < desc->nb_components; ++c) {
            if (desc->comp[c].plane == plane) {
                step = qMax(step, int(desc->comp[c].step));
                chroma = chroma || (!rgb && (c == 1 || c == 2));
            }
        }
        const int x = chroma ? source->left() >> desc->log2_chroma_w : source->left();
        const int y = chroma ? source->top() >> desc->log2_chroma_h : source->top();
        src[plane] = frame->data[plane] + qint64(y) * frame->linesize[plane] + qint64(x) * step;
        srcStride[plane] = frame->linesize[plane];
    }
}

AVPixelFormat avFormatFor(QImage::Format format) {
    switch (format) {
        case QImage::Format_RGB32:
        case QImage::Format_ARGB32:
            return AV_PIX_FMT_RGB32;
        case QImage::Format_RGB888:
            return AV_PIX_FMT_RGB24;
        case QImage::Format_RGBA8888:
        case QImage::Format_RGBX8888:
            return AV_PIX_FMT_RGBA;
        default:
            return AV_PIX_FMT_NONE;
    }
}

}  // namespace

VideoFrame::VideoFrame(AVFrame* frame, double timestamp) : timestamp_(timestamp) {
    if (frame == nullptr || frame->width <= 0 || frame->height <= 0 || frame->data[0] == nullptr) {
        return;
    }
    AVFrame* own = av_frame_alloc();
    if (own == nullptr) {
        return;
    }
    av_frame_move_ref(own, frame);
    frame_.reset(own, freeFrame);
}

VideoFrame VideoFrame::fromImage(const QImage& image, double timestamp) {
    if (image.isNull()) {
        return VideoFrame();
    }
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    AVFrame* frame = av_frame_alloc();
    if (frame == nullptr) {
        return VideoFrame();
    }
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = rgb.width();
    frame->height = rgb.height();
    if (av_frame_get_buffer(frame, 0) < 0) {
        av_frame_free(&frame);
        return VideoFrame();
    }
    SwsContext* sws = scaler(rgb.width(), rgb.height(), AV_PIX_FMT_RGB32, rgb.width(), rgb.height(),
                             AV_PIX_FMT_YUV420P, SWS_BICUBIC);
    if (sws == nullptr) {
        av_frame_free(&frame);
        return VideoFrame();
    }
    const uint8_t* src[4] = {rgb.constBits(), nullptr, nullptr, nullptr};
    const int srcStride[4] = {int(rgb.bytesPerLine()), 0, 0, 0};
    sws_scale(sws, src, srcStride, 0, rgb.height(), frame->data, frame->linesize);
    VideoFrame result(frame, timestamp);
    av_frame_free(&frame);
    return result;
}

int VideoFrame::width() const {
    return frame_ ? frame_->width : 0;
}

int VideoFrame::height() const {
    return frame_ ? frame_->height : 0;
}

int VideoFrame::pixelFormat() const {
    return frame_ ? frame_->format : AV_PIX_FMT_NONE;
}

qreal VideoFrame::displayAspectRatio() const {
    if (!frame_ || frame_->height <= 0) {
        return 0;
    }
    qreal ratio = qreal(frame_->width) / frame_->height;
    const AVRational sar = frame_->sample_aspect_ratio;
    if (sar.num > 0 && sar.den > 0) {
        ratio *= qreal(sar.num) / sar.den;
    }
    return ratio;
}

bool VideoFrame::isBt709() const {
    return frame_ && frame_->colorspace == AVCOL_SPC_BT709;
}

bool VideoFrame::isFullRange() const {
    if (!frame_) {
        return false;
    }
    return frame_->color_range == AVCOL_RANGE_JPEG || frame_->format == AV_PIX_FMT_YUVJ420P ||
           frame_->format == AV_PIX_FMT_YUVJ422P || frame_->format == AV_PIX_FMT_YUVJ444P;
}

int VideoFrame::planeCount() const {
    if (!frame_) {
        return 0;
    }
    const int count = av_pix_fmt_count_planes(AVPixelFormat(frame_->format));
    return count > 0 ? count : 0;
}

const uchar* VideoFrame::constBits(int plane) const {
    if (!frame_ || plane < 0 || plane >= planeCount()) {
        return nullptr;
    }
    return frame_->data[plane];
}

int VideoFrame::bytesPerLine(int plane) const {
    if (!frame_ || plane < 0 || plane >= planeCount()) {
        return 0;
    }
    return frame_->linesize[plane];
}

QImage VideoFrame::toImage(QImage::Format format, const QSize& outSize,
                           const QRect& sourceRect) const {
    const AVPixelFormat dstFormat = avFormatFor(format);
    if (!frame_ || dstFormat == AV_PIX_FMT_NONE) {
        return QImage();
    }
    const AVPixelFormat srcFormat = AVPixelFormat(frame_->format);
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(srcFormat);
    if (desc == nullptr || (desc->flags & AV_PIX_FMT_FLAG_HWACCEL)) {
        return QImage();
    }
    // The part to convert.
    QRect source = sourceRect.isValid() ? sourceRect.intersected(QRect(0, 0, width(), height()))
                                        : QRect(0, 0, width(), height());
    if (source.isEmpty()) {
        return QImage();
    }
    const uint8_t* src[4] = {};
    int srcStride[4] = {};
    sourcePlanes(frame_.get(), desc, &source, src, srcStride);

    const QSize size = outSize.isValid() && !outSize.isEmpty() ? outSize : source.size();
    // swscale's fast converters write whole blocks of 16 pixels and skip the
    // last block when the row has no room for it, so rows get that room; the
    // image shown is a view of the wider one that keeps it alive.
    const QImage wide(QSize((size.width() + 15) & ~15, size.height()), format);
    if (wide.isNull()) {
        return QImage();
    }
    QImage image(
        const_cast<uchar*>(wide.constBits()), size.width(), size.height(), wide.bytesPerLine(),
        format, [](void* keep) { delete static_cast<QImage*>(keep); }, new QImage(wide));
    const bool scaling = size != source.size();
    SwsContext* sws = scaler(source.width(), source.height(), srcFormat, size.width(),
                             size.height(), dstFormat, scaling ? SWS_BILINEAR : SWS_BICUBIC);
    if (sws == nullptr) {
        return QImage();
    }
    const int* coefficients = sws_getCoefficients(isBt709() ? SWS_CS_ITU709 : SWS_CS_ITU601);
    sws_setColorspaceDetails(sws, coefficients, isFullRange() ? 1 : 0,
                             sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
    uint8_t* dst[4] = {image.bits(), nullptr, nullptr, nullptr};
    const int dstStride[4] = {int(image.bytesPerLine()), 0, 0, 0};
    if (sws_scale(sws, src, srcStride, 0, source.height(), dst, dstStride) <= 0) {
        return QImage();
    }
    return image;
}

bool VideoFrame::isScalable() const {
    return frame_ &&
           (frame_->format == AV_PIX_FMT_YUV420P || frame_->format == AV_PIX_FMT_YUVJ420P);
}

VideoFrame VideoFrame::scaled(const QRect& sourceRect, const QSize& size) const {
    if (!isScalable() || size.isEmpty()) {
        return VideoFrame();
    }
    const AVPixelFormat format = AVPixelFormat(frame_->format);
    QRect source = sourceRect.intersected(QRect(0, 0, width(), height()));
    if (source.isEmpty()) {
        return VideoFrame();
    }
    const uint8_t* src[4] = {};
    int srcStride[4] = {};
    sourcePlanes(frame_.get(), av_pix_fmt_desc_get(format), &source, src, srcStride);
    // Area averaging: each output sample is the mean of the samples it
    // covers, sharp and free of aliasing when shrinking, and cheaper than
    // bicubic at these ratios.
    SwsContext* sws = scaler(source.width(), source.height(), format, size.width(), size.height(),
                             format, SWS_AREA);
    AVFrame* out = av_frame_alloc();
    if (sws == nullptr || out == nullptr) {
        av_frame_free(&out);
        return VideoFrame();
    }
    out->format = format;
    out->width = size.width();
    out->height = size.height();
    out->colorspace = frame_->colorspace;
    out->color_range = frame_->color_range;
    out->color_primaries = frame_->color_primaries;
    out->color_trc = frame_->color_trc;
    if (av_frame_get_buffer(out, 0) < 0 ||
        sws_scale(sws, src, srcStride, 0, source.height(), out->data, out->linesize) <= 0) {
        av_frame_free(&out);
        return VideoFrame();
    }
    VideoFrame result(out, timestamp_);
    av_frame_free(&out);
    return result;
}
