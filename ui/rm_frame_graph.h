#pragma once

#include "app/rm_language.h"
#include "widgets/rm_widget_style_base.h"

class RMButton;
class RMGraphWidget;
class RMSpeedLabel;

// The strip under the video: the speed display, the axis legend, the
// G-sensor graph and its two zoom buttons. Hidden in full screen.
class RMFrameGraph : public RMWidgetStyleBase {
    Q_OBJECT
public:
    explicit RMFrameGraph(QWidget* parent);

    RMSpeedLabel* speedLabel() const { return _speed; }
    RMGraphWidget* graph() const { return _graph; }
    RMButton* zoomInButton() const { return _zoomIn; }
    RMButton* zoomOutButton() const { return _zoomOut; }

public Q_SLOTS:
    void onZoomChange(bool zi, bool zo);
    void onAppEvent(RMApp::Event event) override;

private:
    RMSpeedLabel* _speed;
    RMGraphWidget* _graph;
    RMButton* _zoomIn;
    RMButton* _zoomOut;
};
