#include "widgets/rm_window_base.h"

#include <QVBoxLayout>

#include "widgets/rm_widget_drag.h"
#include "widgets/title_widget.h"

namespace {
const int kTitleHeight = 43;
}  // namespace

RMWindowBase::RMWindowBase(QWidget* parent, QString title, QString logo, bool popup)
    : QMainWindow(parent) {
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint);
    _central = new QWidget(this);
    setCentralWidget(_central);
    _layout = new QVBoxLayout(_central);
    _layout->setSpacing(0);
    _layout->setContentsMargins(0, 0, 0, 0);

    _title = new TitleWidget(_central, title, logo, popup);
    _layout->addWidget(_title);
    _drag = new RMWidgetDrag(this, kTitleHeight);

    _content = new QWidget(_central);
    _content->setObjectName("bg_widget");
    _content->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    _layout->addWidget(_content);
}
