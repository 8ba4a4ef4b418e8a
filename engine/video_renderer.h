#pragma once

#include <QRect>
#include <QRectF>
#include <QSize>
#include <mutex>

#include "engine/engine_types.h"
#include "engine/video_frame.h"

class QWidget;

// An output that shows the frames a player hands it. receive() may be called
// from any thread (the player's video thread, or the GUI thread for a still
// picture); the renderer keeps the newest frame and a widget renderer asks for
// one repaint at a time on the GUI thread, so frames never pile up in the event
// queue: a frame that arrives before the previous one was painted replaces it.
//
// Settings (aspect ratio, region of interest) are made on the GUI thread and
// read while painting; frame and settings are guarded by one std::mutex.
//
// Frames at the size they are shown: a widget renderer tells the base its
// size in device pixels. When the visible part of a frame (the whole frame,
// or the region of interest) is larger than the pixels it is drawn into,
// receive() scales that part down to them on the receiving thread (the
// player's video thread), so the GUI thread uploads and draws only what is
// seen. currentFrame() stays the full decoded frame. A paint whose size or
// region changed since the frame arrived scales it again itself, once.
class VideoRenderer {
public:
    enum OutAspectRatioMode {
        RendererAspectRatio,  // stretch to the whole output
        VideoAspectRatio,     // the picture's own ratio, centred
        CustomAspectRation,   // the ratio given to setOutAspectRatio, centred
    };

    VideoRenderer() = default;
    virtual ~VideoRenderer();
    VideoRenderer(const VideoRenderer&) = delete;
    VideoRenderer& operator=(const VideoRenderer&) = delete;

    virtual VideoRendererId id() const = 0;
    // False when the output cannot work here (for example no OpenGL).
    virtual bool isAvailable() const { return true; }
    // Does the one-off set-up of drawing (for OpenGL: context, shaders)
    // now, so that the first picture does not pay for it.
    virtual void prepare() {}
    // The widget to put in a layout; null for outputs that draw nowhere.
    virtual QWidget* widget() { return nullptr; }

    // Shows the frame; an invalid frame blanks the output.
    bool receive(const VideoFrame& frame);
    // The frame shown now (invalid when blank).
    VideoFrame currentFrame() const;

    void setOutAspectRatioMode(OutAspectRatioMode mode);
    OutAspectRatioMode outAspectRatioMode() const;
    // Sets the ratio (width over height) and the mode CustomAspectRation.
    void setOutAspectRatio(qreal ratio);
    // The ratio the picture is shown at: the custom ratio, the frame's ratio,
    // or 0 when it fills the output.
    qreal outAspectRatio() const;

    // The part of the frame to show. Coordinates within 0..1 are fractions of
    // the frame; larger ones are pixels. An empty rectangle means the whole
    // frame.
    void setRegionOfInterest(const QRectF& roi);
    void setRegionOfInterest(qreal x, qreal y, qreal width, qreal height);
    QRectF regionOfInterest() const;
    // The region of interest of the current frame in its pixels.
    QRect realROI() const;

    // Where the picture goes in an output of the given size.
    QRect videoRect(const QSize& outputSize) const;

    // The size of the picture the last paint drew from: the scaled frame, or
    // the decoded one when no scaling was needed (empty before any paint).
    QSize paintedFrameSize() const;

protected:
    // What a paint draws: `frame`, of which the part `source` (its pixels)
    // goes into the video rectangle.
    struct PaintFrame {
        VideoFrame frame;
        QRect source;
    };

    // Called after a frame was stored, on the receiving thread; `update` is
    // true when no repaint is pending yet.
    virtual void onFrameReceived(const VideoFrame& frame, bool update);
    // Called on the GUI thread when the aspect ratio or the region changed.
    virtual void onSettingsChanged() {}
    // For painting: what to draw; allows the next repaint request. GUI thread.
    PaintFrame takeFrameForPaint();
    // The scaled copy of the frame stored last, as a paint would draw it
    // while the output keeps its size and region; invalid when the frame was
    // not scaled. Any thread.
    VideoFrame scaledFrame() const;
    // The output's size and its device pixel ratio; GUI thread, whenever
    // they may have changed. An empty size scales nothing.
    void setOutputSize(const QSize& size, qreal devicePixelRatio);

    static QRect roiInFrame(const QRectF& roi, const QSize& frameSize);

private:
    // What a frame would be scaled to: the part of the frame shown and the
    // device pixels it fills. `size` is empty when no scaling pays off.
    struct ScaleKey {
        const void* picture = nullptr;  // the decoded frame's AVFrame
        QRect source;
        QSize size;
        bool operator==(const ScaleKey& o) const {
            return picture == o.picture && source == o.source && size == o.size;
        }
    };
    // Callers hold mutex_.
    qreal aspectRatioLocked(const VideoFrame& frame) const;
    ScaleKey scaleKeyLocked(const VideoFrame& frame) const;
    static VideoFrame scale(const VideoFrame& frame, const ScaleKey& key);

    mutable std::mutex mutex_;
    VideoFrame frame_;                            // guarded by mutex_
    bool updatePending_ = false;                  // guarded by mutex_
    OutAspectRatioMode mode_ = VideoAspectRatio;  // guarded by mutex_
    qreal customRatio_ = 0;                       // guarded by mutex_
    QRectF roi_;                                  // guarded by mutex_
    QSize outputSize_;                            // guarded by mutex_
    qreal pixelRatio_ = 1;                        // guarded by mutex_
    VideoFrame scaled_;                           // guarded by mutex_: frame_ as scaledKey_ says
    ScaleKey scaledKey_;                          // guarded by mutex_
    QSize paintedSize_;                           // guarded by mutex_
};
