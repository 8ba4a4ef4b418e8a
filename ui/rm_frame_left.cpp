#include "ui/rm_frame_left.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "ui/rm_frame_bottom.h"
#include "ui/rm_frame_graph.h"
#include "ui/rm_frame_play.h"
#include "ui/rm_frame_slider.h"
#include "ui/rm_frame_video_main.h"
#include "widgets/rm_layout.h"

namespace {
constexpr int kNormalWidth = 665;
constexpr int kSpacerHeight = 6;
}  // namespace

RMFrameLeft::RMFrameLeft(QWidget* parent) : RMWidgetBase(parent, true) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    setFixedWidth(kNormalWidth);
    _layout = new QVBoxLayout(this);
    _layout->setContentsMargins(0, 0, 0, 0);
    _layout->setSpacing(0);

    _videoMain = new RMFrameVideoMain(this);
    _layout->addWidget(_videoMain);
    _slider = new RMFrameSlider(this);
    _layout->addWidget(_slider);
    _spacer = RMLayout::addSpacer(_layout, 0, kSpacerHeight);
    // One pixel less than the graph's own height so the column fits the window.
    _graph = new RMFrameGraph(this);
    _graph->setFixedHeight(77);
    _graph->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    _layout->addWidget(_graph);
    _play = new RMFramePlay(this);
    _layout->addWidget(_play);
    _bottom = new RMFrameBottom(this);
    _layout->addWidget(_bottom);
}

void RMFrameLeft::onAppEvent(RMApp::Event event) {
    QHBoxLayout* bar = _bottom->barLayout();
    if (event == RMApp::EVENT_FULLSCREEN_ENTERING) {
        setMinimumWidth(0);
        setMaximumWidth(QWIDGETSIZE_MAX);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        _sliderIndex = _layout->indexOf(_slider);
        _playIndex = _layout->indexOf(_play);
        _layout->removeWidget(_slider);
        _layout->removeWidget(_play);
        _slider->setParent(_bottom);
        _play->setParent(_bottom);
        bar->insertWidget(0, _slider);
        bar->insertWidget(1, _play);
        _slider->show();
        _play->show();
        _spacer->changeSize(0, 0);
        _graph->hide();
    } else if (event == RMApp::EVENT_FULLSCREEN_LEAVING) {
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
        setFixedWidth(kNormalWidth);
        bar->removeWidget(_slider);
        bar->removeWidget(_play);
        _slider->setParent(this);
        _play->setParent(this);
        // Back in the order they were taken out.
        _layout->insertWidget(_sliderIndex, _slider);
        _layout->insertWidget(_playIndex, _play);
        _slider->show();
        _play->show();
        _spacer->changeSize(0, kSpacerHeight);
        _graph->show();
    }
    _layout->invalidate();
}
