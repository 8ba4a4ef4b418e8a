#pragma once

#include <QImage>
#include <QWidget>
#include <mutex>

#include "engine/video_renderer.h"

// Shows frames with QPainter: the visible part of each frame, scaled down to
// the output by the base when it is larger, is converted to RGB on the thread
// that hands the frame over, so that a paint only copies it; a frame that was
// not scaled is converted and scaled when the widget paints. For displays
// without OpenGL or with one drawn by the CPU. Frames arrive from the video
// thread through receive().
class WidgetRenderer : public QWidget, public VideoRenderer {
    Q_OBJECT
public:
    explicit WidgetRenderer(QWidget* parent = nullptr);
    ~WidgetRenderer() override;

    VideoRendererId id() const override { return VideoRendererId_Widget; }
    QWidget* widget() override { return this; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void onFrameReceived(const VideoFrame& frame, bool update) override;
    void onSettingsChanged() override;

private:
    // The converted copy of the scaled frame `convertedOf_`, which is held so
    // that its address stays its own.
    mutable std::mutex convertedMutex_;
    QImage converted_;        // guarded by convertedMutex_
    VideoFrame convertedOf_;  // guarded by convertedMutex_
    QImage _convertedFor(const VideoFrame& frame) const;
    // Whether a picture is drawn without scaling into `pixels`: the same
    // size, or a scaled copy made up to one pixel larger, which is cut off.
    static bool _showsAsIs(const QSize& picture, const QSize& pixels);
};
