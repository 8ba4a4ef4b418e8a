#include "ui/rm_frame_right.h"

#include <QVBoxLayout>

#include "ui/rm_frame_list.h"
#include "ui/rm_frame_video_sub.h"
#include "widgets/rm_layout.h"

RMFrameRight::RMFrameRight(QWidget* parent) : RMWidgetBase(parent, true) {
    setFixedWidth(340);
    _layout = new QVBoxLayout(this);
    _layout->setContentsMargins(0, 0, 0, 0);
    _layout->setSpacing(0);
    _videoSub = new RMFrameVideoSub(this);
    _videoSub->name = "SUB";
    _layout->addWidget(_videoSub);
    RMLayout::addSpacer(_layout, 0, 11);
    _frameList = new RMFrameList(this);
    _layout->addWidget(_frameList);
}

void RMFrameRight::onAppEvent(RMApp::Event event) {
    if (event == RMApp::EVENT_FULLSCREEN_ENTERING) {
        hide();
    } else if (event == RMApp::EVENT_FULLSCREEN_LEAVING) {
        show();
    }
}
