#include "engine/opengl_widget_renderer.h"

#include <QDebug>
#include <QGenericMatrix>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLShaderProgram>
#include <QResizeEvent>
#include <QVector2D>
#include <QVector3D>
#include <cstring>

#include "engine/repaint_batch.h"

extern "C" {
#include <libavutil/pixfmt.h>
}

#ifndef GL_UNPACK_ROW_LENGTH
#define GL_UNPACK_ROW_LENGTH 0x0CF2
#endif
#ifndef GL_LUMINANCE
#define GL_LUMINANCE 0x1909
#endif

namespace {

const char* const kVertexShader = R"(
attribute highp vec2 position;
attribute highp vec2 texCoord;
varying highp vec2 v;
void main() {
    gl_Position = vec4(position, 0.0, 1.0);
    v = texCoord;
}
)";

// `v` is a position in the frame, 0..1 across its width and height; each
// plane's texture may be wider than its picture, hence the scales.
const char* const kFragmentShader = R"(
#ifdef GL_ES
precision mediump float;
#endif
uniform sampler2D planeY;
uniform sampler2D planeU;
uniform sampler2D planeV;
uniform vec2 scaleY;
uniform vec2 scaleC;
uniform mat3 matrix;
uniform vec3 offset;
uniform float rgb;
varying highp vec2 v;
void main() {
    if (rgb > 0.5) {
        gl_FragColor = vec4(texture2D(planeY, v * scaleY).rgb, 1.0);
        return;
    }
    vec3 yuv = vec3(texture2D(planeY, v * scaleY).r, texture2D(planeU, v * scaleC).r,
                    texture2D(planeV, v * scaleC).r);
    gl_FragColor = vec4(matrix * (yuv - offset), 1.0);
}
)";

// YCbCr to RGB for BT.601 or BT.709, with the range scaling folded in.
QMatrix3x3 yuvMatrix(bool bt709, bool fullRange) {
    const float kr = bt709 ? 0.2126f : 0.299f;
    const float kb = bt709 ? 0.0722f : 0.114f;
    const float kg = 1.0f - kr - kb;
    const float ys = fullRange ? 1.0f : 255.0f / 219.0f;
    const float cs = fullRange ? 1.0f : 255.0f / 224.0f;
    const float rv = 2.0f * (1.0f - kr);
    const float bu = 2.0f * (1.0f - kb);
    const float gu = -bu * kb / kg;
    const float gv = -rv * kr / kg;
    const float values[9] = {ys, 0.0f,    rv * cs,  //
                             ys, gu * cs, gv * cs,  //
                             ys, bu * cs, 0.0f};
    return QMatrix3x3(values);
}

bool isYuv420(int format) {
    return format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_YUVJ420P;
}

}  // namespace

OpenGLWidgetRenderer::OpenGLWidgetRenderer(QWidget* parent) : QOpenGLWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    RepaintBatch::instance();  // made on the GUI thread
}

OpenGLWidgetRenderer::~OpenGLWidgetRenderer() {
    RepaintBatch::instance()->cancel(this);
    if (context() != nullptr) {
        makeCurrent();
        releaseGL();
        doneCurrent();
    }
}

bool OpenGLWidgetRenderer::isAvailable() const {
    static const bool available = [] {
        QOpenGLContext context;
        return context.create();
    }();
    return available;
}

void OpenGLWidgetRenderer::onFrameReceived(const VideoFrame&, bool update) {
    if (update) {
        RepaintBatch::instance()->request(this);
    }
}

void OpenGLWidgetRenderer::onSettingsChanged() {
    update();
}

void OpenGLWidgetRenderer::showEvent(QShowEvent* event) {
    QOpenGLWidget::showEvent(event);
    update();
}

void OpenGLWidgetRenderer::prepare() {
    if (program_ == nullptr) {
        grabFramebuffer();
    }
}

void OpenGLWidgetRenderer::initializeGL() {
    initializeOpenGLFunctions();
    releaseGL();
    const QOpenGLContext* ctx = context();
    rowLength_ = !ctx->isOpenGLES() || ctx->format().majorVersion() >= 3;
    program_ = new QOpenGLShaderProgram;
    program_->addShaderFromSourceCode(QOpenGLShader::Vertex, kVertexShader);
    program_->addShaderFromSourceCode(QOpenGLShader::Fragment, kFragmentShader);
    program_->bindAttributeLocation("position", 0);
    program_->bindAttributeLocation("texCoord", 1);
    if (!program_->link()) {
        qInfo() << "OpenGLWidgetRenderer::initializeGL" << __LINE__ << program_->log();
    }
    glGenTextures(3, textures_);
    for (unsigned texture : textures_) {
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    }
    for (int i = 0; i < 3; ++i) {
        textureSizes_[i] = QSize();
        textureFormats_[i] = 0;
    }
}

void OpenGLWidgetRenderer::releaseGL() {
    if (textures_[0] != 0) {
        glDeleteTextures(3, textures_);
        textures_[0] = textures_[1] = textures_[2] = 0;
    }
    delete program_;
    program_ = nullptr;
}

void OpenGLWidgetRenderer::uploadPlane(int index, int width, int height, int stride,
                                       const uchar* bits, unsigned format) {
    const int bytesPerPixel = format == GL_RGBA ? 4 : 1;
    glActiveTexture(GL_TEXTURE0 + index);
    glBindTexture(GL_TEXTURE_2D, textures_[index]);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    const uchar* pixels = bits;
    if (stride != width * bytesPerPixel) {
        if (rowLength_) {
            glPixelStorei(GL_UNPACK_ROW_LENGTH, stride / bytesPerPixel);
        } else {
            // No row length in OpenGL ES 2: the rows are copied together.
            const int row = width * bytesPerPixel;
            repacked_.resize(row * height);
            for (int y = 0; y < height; ++y) {
                std::memcpy(repacked_.data() + y * row, bits + qint64(y) * stride, size_t(row));
            }
            pixels = reinterpret_cast<const uchar*>(repacked_.constData());
        }
    }
    const QSize size(width, height);
    if (textureSizes_[index] != size || textureFormats_[index] != format) {
        glTexImage2D(GL_TEXTURE_2D, 0, GLint(format), width, height, 0, format, GL_UNSIGNED_BYTE,
                     pixels);
        textureSizes_[index] = size;
        textureFormats_[index] = format;
    } else {
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, format, GL_UNSIGNED_BYTE, pixels);
    }
    if (rowLength_) {
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    }
}

bool OpenGLWidgetRenderer::uploadYuv(const VideoFrame& frame) {
    const int w = frame.width();
    const int h = frame.height();
    const int cw = (w + 1) / 2;
    const int ch = (h + 1) / 2;
    uploadPlane(0, w, h, frame.bytesPerLine(0), frame.constBits(0), GL_LUMINANCE);
    uploadPlane(1, cw, ch, frame.bytesPerLine(1), frame.constBits(1), GL_LUMINANCE);
    uploadPlane(2, cw, ch, frame.bytesPerLine(2), frame.constBits(2), GL_LUMINANCE);
    const bool full = frame.isFullRange();
    program_->setUniformValue("rgb", 0.0f);
    program_->setUniformValue("scaleY", QVector2D(1, 1));
    program_->setUniformValue("scaleC", QVector2D(float(w) / 2 / cw, float(h) / 2 / ch));
    program_->setUniformValue("matrix", yuvMatrix(frame.isBt709(), full));
    program_->setUniformValue("offset",
                              QVector3D(full ? 0.0f : 16.0f / 255, 128.0f / 255, 128.0f / 255));
    return true;
}

bool OpenGLWidgetRenderer::uploadRgb(const VideoFrame& frame) {
    const QImage image = frame.toImage(QImage::Format_RGBA8888);
    if (image.isNull()) {
        return false;
    }
    uploadPlane(0, image.width(), image.height(), int(image.bytesPerLine()), image.constBits(),
                GL_RGBA);
    program_->setUniformValue("rgb", 1.0f);
    program_->setUniformValue("scaleY", QVector2D(1, 1));
    return true;
}

void OpenGLWidgetRenderer::resizeEvent(QResizeEvent* event) {
    // Before the next frame arrives, so that it comes at the new size.
    setOutputSize(event->size(), devicePixelRatioF());
    QOpenGLWidget::resizeEvent(event);
}

void OpenGLWidgetRenderer::paintGL() {
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    setOutputSize(size(), devicePixelRatioF());
    const PaintFrame paint = takeFrameForPaint();
    const VideoFrame& frame = paint.frame;
    if (!frame.isValid() || program_ == nullptr || !program_->isLinked()) {
        return;
    }
    program_->bind();
    program_->setUniformValue("planeY", 0);
    program_->setUniformValue("planeU", 1);
    program_->setUniformValue("planeV", 2);
    const bool uploaded = isYuv420(frame.pixelFormat()) ? uploadYuv(frame) : uploadRgb(frame);
    if (!uploaded) {
        program_->release();
        return;
    }

    const qreal ratio = devicePixelRatioF();
    const QRect target = videoRect(size());
    glViewport(int(target.x() * ratio), int((height() - target.y() - target.height()) * ratio),
               int(target.width() * ratio), int(target.height() * ratio));
    // The part of the frame to draw, top row first.
    const QRect& source = paint.source;
    const float left = float(source.left()) / frame.width();
    const float right = float(source.left() + source.width()) / frame.width();
    const float top = float(source.top()) / frame.height();
    const float bottom = float(source.top() + source.height()) / frame.height();
    const GLfloat positions[] = {-1, -1, 1, -1, -1, 1, 1, 1};
    const GLfloat texCoords[] = {left, bottom, right, bottom, left, top, right, top};
    program_->enableAttributeArray(0);
    program_->enableAttributeArray(1);
    program_->setAttributeArray(0, GL_FLOAT, positions, 2);
    program_->setAttributeArray(1, GL_FLOAT, texCoords, 2);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    program_->disableAttributeArray(0);
    program_->disableAttributeArray(1);
    program_->release();
    glActiveTexture(GL_TEXTURE0);
}
