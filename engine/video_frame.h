#pragma once

#include <QImage>
#include <QMetaType>
#include <QRectF>
#include <QSize>
#include <memory>

struct AVFrame;

// A decoded picture with its timestamp in seconds. Copies share the pixels
// (the decoder's reference-counted buffers), so a frame can be handed from the
// video thread to renderers and captures cheaply; the pixels are never
// changed once the frame exists. A default-constructed frame is invalid and
// makes a renderer show blank.
class VideoFrame {
public:
    VideoFrame() = default;
    // Takes over the picture that `frame` references (frame is left empty).
    VideoFrame(AVFrame* frame, double timestamp);

    // A yuv420p frame made from an image (for tests and still pictures).
    static VideoFrame fromImage(const QImage& image, double timestamp = 0);

    bool isValid() const { return frame_ != nullptr; }
    double timestamp() const { return timestamp_; }
    void setTimestamp(double seconds) { timestamp_ = seconds; }

    int width() const;
    int height() const;
    QSize size() const { return QSize(width(), height()); }
    // The AVPixelFormat of the picture.
    int pixelFormat() const;
    // Width over height as shown, taking the sample aspect ratio into account.
    qreal displayAspectRatio() const;
    // True for BT.709 pictures; false means BT.601.
    bool isBt709() const;
    // True when the samples use the full 0..255 range.
    bool isFullRange() const;

    int planeCount() const;
    const uchar* constBits(int plane) const;
    int bytesPerLine(int plane) const;
    const AVFrame* avFrame() const { return frame_.get(); }

    // The picture (or the part `sourceRect` in frame pixels) converted with
    // swscale and scaled to `outSize` (the source size when empty). A null
    // image when the frame is invalid or the conversion fails.
    QImage toImage(QImage::Format format = QImage::Format_RGB32, const QSize& outSize = QSize(),
                   const QRect& sourceRect = QRect()) const;

    // Whether scaled() can make a smaller copy of this frame (4:2:0 pictures).
    bool isScalable() const;
    // The part `sourceRect` (frame pixels) scaled to `size`, in this frame's
    // pixel format and colours, with the same timestamp; invalid when the
    // frame is not scalable or the scaling fails.
    VideoFrame scaled(const QRect& sourceRect, const QSize& size) const;

private:
    std::shared_ptr<const AVFrame> frame_;
    double timestamp_ = 0;
};

Q_DECLARE_METATYPE(VideoFrame)
