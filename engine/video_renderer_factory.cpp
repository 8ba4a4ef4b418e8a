#include "engine/video_renderer_factory.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QtDebug>

#include "engine/null_renderer.h"
#include "engine/opengl_widget_renderer.h"
#include "engine/widget_renderer.h"

VideoRenderer* VideoRendererFactory::create(VideoRendererId id, QWidget* parent) {
    switch (id) {
        case VideoRendererId_OpenGLWidget:
            return new OpenGLWidgetRenderer(parent);
        case VideoRendererId_Widget:
            return new WidgetRenderer(parent);
        case VideoRendererId_Null:
            return new NullRenderer;
        default:
            return nullptr;
    }
}

VideoRendererFactory::OpenGLKind VideoRendererFactory::openGLKind() {
    QOpenGLContext context;
    QOffscreenSurface surface;
    surface.create();
    if (!context.create() || !context.makeCurrent(&surface)) {
        return OpenGLKind::None;
    }
    const auto* name = context.functions()->glGetString(GL_RENDERER);
    const QString renderer = name ? QString::fromLatin1(reinterpret_cast<const char*>(name)) : "";
    context.doneCurrent();
    const bool software = renderer.contains("llvmpipe", Qt::CaseInsensitive) ||
                          renderer.contains("softpipe", Qt::CaseInsensitive) ||
                          renderer.contains("software", Qt::CaseInsensitive);
    qInfo() << Q_FUNC_INFO << __LINE__ << "OpenGL renderer" << renderer;
    return software ? OpenGLKind::Software : OpenGLKind::Hardware;
}
