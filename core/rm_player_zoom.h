#pragma once

#include "core/rm_player_base.h"

// The zoom layer of the controller: the overview renderers of the panes and
// blanking a channel's outputs. Zooming itself comes with the zoom view.
class RMPlayerZoom : public RMPlayerBase {
    Q_OBJECT
public:
    explicit RMPlayerZoom(QObject* parent = nullptr) : RMPlayerBase(parent) {}

public Q_SLOTS:
    // Blanks the renderer the front (true) or rear (false) player draws on
    // now, and the zoom renderer of that side.
    void clearScreen(bool front) override;
    void updatePausedScreenRearOnly() override {}
    void updatePausedScreenFrontOnly() override {}
};
