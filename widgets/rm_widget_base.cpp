#include "widgets/rm_widget_base.h"

RMWidgetBase::RMWidgetBase(QWidget* parent, bool appEvents) : QWidget(parent) {
    if (appEvents) {
        connect(RMApp::instance(), SIGNAL(appEvent(RMApp::Event)), this,
                SLOT(onAppEvent(RMApp::Event)));
    }
}

void RMWidgetBase::onAppEvent(RMApp::Event) {}
