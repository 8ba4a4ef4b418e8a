#include "engine/video_renderer.h"

#include <cmath>

namespace {

// The rectangle of the given width-to-height ratio centred in `outputSize`;
// all of it when the ratio is 0.
QRect fit(qreal ratio, const QSize& outputSize) {
    const QRect whole(QPoint(0, 0), outputSize);
    if (ratio <= 0 || outputSize.isEmpty()) {
        return whole;
    }
    const qreal outputRatio = qreal(outputSize.width()) / outputSize.height();
    if (outputRatio > ratio) {
        const int w = qRound(outputSize.height() * ratio);
        return QRect((outputSize.width() - w) / 2, 0, w, outputSize.height());
    }
    const int h = qRound(outputSize.width() / ratio);
    return QRect(0, (outputSize.height() - h) / 2, outputSize.width(), h);
}

// The width or height of a scaled copy for `pixels` shown of `source`: even
// where the source leaves room, as a chroma sample of the 4:2:0 copy covers
// two by two pixels and swscale converts such a copy to RGB with its fast
// converter only at even sizes (at 663 x 373 it took seven times as long as
// at 664 x 374). The copy is then up to one pixel larger than what is shown;
// a renderer cuts that off or draws it into the pixels.
int scaledLength(int pixels, int source) {
    const int even = (pixels + 1) & ~1;
    return qBound(1, even < source ? even : pixels, source);
}

}  // namespace

VideoRenderer::~VideoRenderer() = default;

bool VideoRenderer::receive(const VideoFrame& frame) {
    ScaleKey key;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        key = scaleKeyLocked(frame);
    }
    // Scaled outside the lock: painting never waits for it.
    const VideoFrame scaled = scale(frame, key);
    bool update = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        frame_ = frame;
        scaled_ = scaled;
        scaledKey_ = scaled.isValid() ? key : ScaleKey();
        update = !updatePending_;
        updatePending_ = true;
    }
    onFrameReceived(frame, update);
    return true;
}

void VideoRenderer::setOutputSize(const QSize& size, qreal devicePixelRatio) {
    std::lock_guard<std::mutex> lock(mutex_);
    outputSize_ = size;
    pixelRatio_ = devicePixelRatio > 0 ? devicePixelRatio : 1;
}

VideoRenderer::ScaleKey VideoRenderer::scaleKeyLocked(const VideoFrame& frame) const {
    ScaleKey key;
    if (!frame.isScalable() || outputSize_.isEmpty()) {
        return key;
    }
    key.picture = frame.avFrame();
    key.source = roiInFrame(roi_, frame.size());
    const QSize pixels =
        (QSizeF(fit(aspectRatioLocked(frame), outputSize_).size()) * pixelRatio_).toSize();
    const QSize size(scaledLength(pixels.width(), key.source.width()),
                     scaledLength(pixels.height(), key.source.height()));
    if (size != key.source.size()) {
        key.size = size;  // only ever smaller: the GPU enlarges for free
    }
    return key;
}

VideoFrame VideoRenderer::scale(const VideoFrame& frame, const ScaleKey& key) {
    return key.size.isEmpty() ? VideoFrame() : frame.scaled(key.source, key.size);
}

VideoFrame VideoRenderer::scaledFrame() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return scaledKey_.picture == frame_.avFrame() ? scaled_ : VideoFrame();
}

QSize VideoRenderer::paintedFrameSize() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return paintedSize_;
}

void VideoRenderer::onFrameReceived(const VideoFrame&, bool) {}

VideoFrame VideoRenderer::currentFrame() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return frame_;
}

VideoRenderer::PaintFrame VideoRenderer::takeFrameForPaint() {
    VideoFrame frame;
    ScaleKey key;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        updatePending_ = false;
        frame = frame_;
        key = scaleKeyLocked(frame);
        if (key.size.isEmpty()) {
            paintedSize_ = frame.size();
            return {frame, roiInFrame(roi_, frame.size())};
        }
        if (scaled_.isValid() && scaledKey_ == key) {
            paintedSize_ = scaled_.size();
            return {scaled_, QRect(QPoint(0, 0), scaled_.size())};
        }
    }
    // The output or its region changed since the frame came: scale it here,
    // once, and keep it for the next paints of the same frame.
    const VideoFrame scaled = scale(frame, key);
    std::lock_guard<std::mutex> lock(mutex_);
    if (!scaled.isValid()) {
        paintedSize_ = frame.size();
        return {frame, key.source};
    }
    if (frame_.avFrame() == frame.avFrame()) {
        scaled_ = scaled;
        scaledKey_ = key;
    }
    paintedSize_ = scaled.size();
    return {scaled, QRect(QPoint(0, 0), scaled.size())};
}

void VideoRenderer::setOutAspectRatioMode(OutAspectRatioMode mode) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        mode_ = mode;
    }
    onSettingsChanged();
}

VideoRenderer::OutAspectRatioMode VideoRenderer::outAspectRatioMode() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return mode_;
}

void VideoRenderer::setOutAspectRatio(qreal ratio) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        mode_ = CustomAspectRation;
        customRatio_ = ratio > 0 ? ratio : 0;
    }
    onSettingsChanged();
}

qreal VideoRenderer::outAspectRatio() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return aspectRatioLocked(frame_);
}

qreal VideoRenderer::aspectRatioLocked(const VideoFrame& frame) const {
    switch (mode_) {
        case CustomAspectRation:
            return customRatio_;
        case VideoAspectRatio: {
            const QRect roi = roiInFrame(roi_, frame.size());
            if (!frame.isValid() || roi.isEmpty()) {
                return 0;
            }
            const qreal sar = frame.displayAspectRatio() * frame.height() / frame.width();
            return qreal(roi.width()) / roi.height() * sar;
        }
        case RendererAspectRatio:
            break;
    }
    return 0;
}

void VideoRenderer::setRegionOfInterest(const QRectF& roi) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        roi_ = roi;
    }
    onSettingsChanged();
}

void VideoRenderer::setRegionOfInterest(qreal x, qreal y, qreal width, qreal height) {
    setRegionOfInterest(QRectF(x, y, width, height));
}

QRectF VideoRenderer::regionOfInterest() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return roi_;
}

QRect VideoRenderer::realROI() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return roiInFrame(roi_, frame_.size());
}

QRect VideoRenderer::roiInFrame(const QRectF& roi, const QSize& frameSize) {
    const QRect whole(QPoint(0, 0), frameSize);
    if (frameSize.isEmpty() || roi.isEmpty()) {
        return whole;
    }
    const bool fractions =
        std::abs(roi.x()) <= 1 && std::abs(roi.y()) <= 1 && roi.width() <= 1 && roi.height() <= 1;
    QRectF pixels = roi;
    if (fractions) {
        pixels = QRectF(roi.x() * frameSize.width(), roi.y() * frameSize.height(),
                        roi.width() * frameSize.width(), roi.height() * frameSize.height());
    }
    const QRect rounded(qRound(pixels.x()), qRound(pixels.y()), qRound(pixels.width()),
                        qRound(pixels.height()));
    const QRect clipped = rounded.intersected(whole);
    return clipped.isEmpty() ? whole : clipped;
}

QRect VideoRenderer::videoRect(const QSize& outputSize) const {
    return fit(outAspectRatio(), outputSize);
}
