#include "widgets/rm_widget_style_base.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOption>

RMWidgetStyleBase::RMWidgetStyleBase(QWidget* parent, QString styleName, bool appEvents)
    : RMWidgetBase(parent, appEvents), styleName(styleName) {
    if (!styleName.isEmpty()) {
        setObjectName(styleName);
    }
}

void RMWidgetStyleBase::onAppEvent(RMApp::Event event) {
    if (styleName.isEmpty()) {
        return;
    }
    if (event == RMApp::EVENT_FULLSCREEN_ENTERING) {
        setObjectName(QString());
    } else if (event == RMApp::EVENT_FULLSCREEN_LEAVING) {
        setObjectName(styleName);
    } else {
        return;
    }
    style()->unpolish(this);
    style()->polish(this);
    update();
}

void RMWidgetStyleBase::paintEvent(QPaintEvent*) {
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}
