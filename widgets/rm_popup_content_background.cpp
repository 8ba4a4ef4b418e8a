#include "widgets/rm_popup_content_background.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOption>

RMPopupContentBackground::RMPopupContentBackground(QWidget* parent) : QWidget(parent) {}

void RMPopupContentBackground::paintEvent(QPaintEvent*) {
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}
