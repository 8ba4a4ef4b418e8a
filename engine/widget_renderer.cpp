#include "engine/widget_renderer.h"

#include <QPainter>
#include <QResizeEvent>

#include "engine/repaint_batch.h"

WidgetRenderer::WidgetRenderer(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    RepaintBatch::instance();  // made on the GUI thread
}

WidgetRenderer::~WidgetRenderer() {
    RepaintBatch::instance()->cancel(this);
}

void WidgetRenderer::onFrameReceived(const VideoFrame&, bool update) {
    const VideoFrame scaled = scaledFrame();
    QImage image;
    if (scaled.isValid()) {
        image = scaled.toImage(QImage::Format_RGB32);
    }
    {
        std::lock_guard<std::mutex> lock(convertedMutex_);
        converted_ = image;
        convertedOf_ = image.isNull() ? VideoFrame() : scaled;
    }
    if (update) {
        RepaintBatch::instance()->request(this);
    }
}

void WidgetRenderer::onSettingsChanged() {
    update();
}

void WidgetRenderer::resizeEvent(QResizeEvent* event) {
    setOutputSize(event->size(), devicePixelRatioF());
    QWidget::resizeEvent(event);
}

void WidgetRenderer::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    setOutputSize(size(), devicePixelRatioF());
    const PaintFrame paint = takeFrameForPaint();
    const VideoFrame& frame = paint.frame;
    if (!frame.isValid()) {
        return;
    }
    const QRect target = videoRect(size());
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (QSizeF(target.size()) * ratio).toSize();
    if (pixels.isEmpty()) {
        return;
    }
    QImage image;
    if (paint.source == QRect(QPoint(0, 0), frame.size()) && _showsAsIs(frame.size(), pixels)) {
        image = _convertedFor(frame);
        if (image.isNull()) {
            image = frame.toImage(QImage::Format_RGB32);
        }
    } else {
        image = frame.toImage(QImage::Format_RGB32, pixels, paint.source);
    }
    if (image.isNull()) {
        return;
    }
    image.setDevicePixelRatio(ratio);
    painter.drawImage(target.topLeft(), image, QRect(QPoint(0, 0), pixels));
}

bool WidgetRenderer::_showsAsIs(const QSize& picture, const QSize& pixels) {
    const QSize extra = picture - pixels;
    return extra.width() >= 0 && extra.width() <= 1 && extra.height() >= 0 && extra.height() <= 1;
}

QImage WidgetRenderer::_convertedFor(const VideoFrame& frame) const {
    std::lock_guard<std::mutex> lock(convertedMutex_);
    return convertedOf_.isValid() && convertedOf_.avFrame() == frame.avFrame() ? converted_
                                                                               : QImage();
}
