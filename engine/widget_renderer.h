#pragma once

#include <QWidget>

#include "engine/video_renderer.h"

// Shows frames with QPainter: the visible part of each frame (already scaled
// down to the output by the base when it is larger) is converted and scaled
// to the output size with swscale when the widget paints. For displays
// without OpenGL. Frames arrive from the video thread through receive().
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
};
