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

protected:
    // Called after a frame was stored, on the receiving thread; `update` is
    // true when no repaint is pending yet.
    virtual void onFrameReceived(const VideoFrame& frame, bool update);
    // Called on the GUI thread when the aspect ratio or the region changed.
    virtual void onSettingsChanged() {}
    // For painting: the frame to draw; allows the next repaint request.
    VideoFrame takeFrameForPaint();

    static QRect roiInFrame(const QRectF& roi, const QSize& frameSize);

private:
    mutable std::mutex mutex_;
    VideoFrame frame_;                            // guarded by mutex_
    bool updatePending_ = false;                  // guarded by mutex_
    OutAspectRatioMode mode_ = VideoAspectRatio;  // guarded by mutex_
    qreal customRatio_ = 0;                       // guarded by mutex_
    QRectF roi_;                                  // guarded by mutex_
};
