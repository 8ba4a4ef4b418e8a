#include "engine/video_renderer.h"

#include <cmath>

VideoRenderer::~VideoRenderer() = default;

bool VideoRenderer::receive(const VideoFrame& frame) {
    bool update = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        frame_ = frame;
        update = !updatePending_;
        updatePending_ = true;
    }
    onFrameReceived(frame, update);
    return true;
}

void VideoRenderer::onFrameReceived(const VideoFrame&, bool) {}

VideoFrame VideoRenderer::currentFrame() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return frame_;
}

VideoFrame VideoRenderer::takeFrameForPaint() {
    std::lock_guard<std::mutex> lock(mutex_);
    updatePending_ = false;
    return frame_;
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
    switch (mode_) {
        case CustomAspectRation:
            return customRatio_;
        case VideoAspectRatio: {
            const QRect roi = roiInFrame(roi_, frame_.size());
            if (!frame_.isValid() || roi.isEmpty()) {
                return 0;
            }
            const qreal sar = frame_.displayAspectRatio() * frame_.height() / frame_.width();
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
    const QRect whole(QPoint(0, 0), outputSize);
    const qreal ratio = outAspectRatio();
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
