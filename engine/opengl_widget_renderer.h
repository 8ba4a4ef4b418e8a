#pragma once

#include <QOpenGLFunctions>
#include <QOpenGLWidget>

#include "engine/video_renderer.h"

class QOpenGLShaderProgram;

// Shows frames with OpenGL: the Y, U and V planes of a 4:2:0 frame are
// uploaded as three textures and turned into RGB by a fragment shader (BT.601
// or BT.709, limited or full range, as the frame says). Frames in other pixel
// formats are converted to RGBA with swscale and uploaded as one texture.
// Textures and shader belong to the GUI thread; frames arrive from the video
// thread through VideoRenderer::receive().
class OpenGLWidgetRenderer : public QOpenGLWidget,
                             public VideoRenderer,
                             protected QOpenGLFunctions {
    Q_OBJECT
public:
    explicit OpenGLWidgetRenderer(QWidget* parent = nullptr);
    ~OpenGLWidgetRenderer() override;

    VideoRendererId id() const override { return VideoRendererId_OpenGLWidget; }
    // An OpenGL context can be made on this display.
    bool isAvailable() const override;
    QWidget* widget() override { return this; }
    // Works while the widget is hidden: it renders once into its buffer.
    void prepare() override;

protected:
    void initializeGL() override;
    void paintGL() override;
    void resizeEvent(QResizeEvent* event) override;
    void onFrameReceived(const VideoFrame& frame, bool update) override;
    void onSettingsChanged() override;
    // Frames that came while the widget was hidden asked for no paint that
    // happened: their request is still pending, and a shown widget is not
    // necessarily painted again (its last picture is composed instead), so
    // the next frame would ask for nothing. Showing asks for the paint.
    void showEvent(QShowEvent* event) override;

private:
    bool uploadYuv(const VideoFrame& frame);
    bool uploadRgb(const VideoFrame& frame);
    void uploadPlane(int index, int width, int height, int stride, const uchar* bits,
                     unsigned format);
    void releaseGL();

    // GUI thread only (the context's thread).
    QOpenGLShaderProgram* program_ = nullptr;
    unsigned textures_[3] = {0, 0, 0};
    QSize textureSizes_[3];
    unsigned textureFormats_[3] = {0, 0, 0};
    bool rowLength_ = false;  // GL_UNPACK_ROW_LENGTH can be used
    QByteArray repacked_;     // rows copied together when it cannot
};
