#pragma once

#include "engine/engine_types.h"

class QWidget;
class VideoRenderer;

// Makes renderers by id: VideoRendererId_OpenGLWidget, VideoRendererId_Widget
// (both widgets, with `parent`) or VideoRendererId_Null.
class VideoRendererFactory {
public:
    // Null for an unknown id. The caller owns the renderer.
    static VideoRenderer* create(VideoRendererId id, QWidget* parent = nullptr);
    // Which OpenGL this machine gives: none, one drawn on the CPU (Mesa's
    // llvmpipe or softpipe: no GPU, a virtual machine, a remote desktop) or
    // a hardware one. Needs the GUI application.
    enum class OpenGLKind { None, Software, Hardware };
    static OpenGLKind openGLKind();
};
