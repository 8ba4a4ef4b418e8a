#pragma once

#include "core/rm_player_base.h"

// The zoom layer of the controller: a pane can show the centre quarter of its
// picture, twice as large, while an overview renderer of the same player
// shows the whole picture. The pane's own renderer is the zoomed output (its
// region of interest moves); the overview is an extra output of the player
// that this layer creates, re-attaches on swap and load, and destroys.
class RMPlayerZoom : public RMPlayerBase {
    Q_OBJECT
public:
    explicit RMPlayerZoom(QObject* parent = nullptr);
    ~RMPlayerZoom() override;

    // Zooms the channel in the main (true) or the sub (false) pane. Returns
    // the overview widget; null when that player has no output. The widget
    // belongs to this layer: only stopZoom() frees it.
    QWidget* startZoom(bool main);
    // Moves the zoomed half-size window to (x, y), fractions of the picture.
    // False when that side is not zoomed.
    bool updateZoom(float x, float y, bool main);
    // Shows the whole picture again, detaches the overview from its player
    // and frees it.
    void stopZoom(bool main);
    bool isZoomed(bool main) const;
    VideoRenderer* zoomRenderer(bool main) const {
        return main ? _mainZoomRenderer : _subZoomRenderer;
    }

public Q_SLOTS:
    // Blanks the renderer the front (true) or rear (false) player draws on
    // now, and the zoom overview of that pane.
    void clearScreen(bool front) override;

private:
    VideoRenderer* _mainZoomed = nullptr;
    VideoRenderer* _subZoomed = nullptr;
};
