#include "widgets/rm_widget_check_box.h"

#include <QKeyEvent>

RMWidgetCheckBox::RMWidgetCheckBox(QWidget* parent) : QCheckBox(parent) {}

std::function<void(int)>& RMWidgetCheckBox::_keyHandler() {
    static std::function<void(int)> handler;
    return handler;
}

void RMWidgetCheckBox::setKeyHandler(std::function<void(int key)> handler) {
    _keyHandler() = std::move(handler);
}

void RMWidgetCheckBox::keyPressEvent(QKeyEvent* event) {
    if (!event->isAutoRepeat() && _keyHandler()) {
        _keyHandler()(event->key());
    }
    QCheckBox::keyPressEvent(event);
}
