#include "engine/video_renderer_factory.h"

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
