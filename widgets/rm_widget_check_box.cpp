#include "widgets/rm_widget_check_box.h"

#include <QKeyEvent>

RMWidgetCheckBox::RMWidgetCheckBox(QWidget* parent) : QCheckBox(parent) {}

std::function<void(const QKeyEvent*, bool)>& RMWidgetCheckBox::_keyHandler() {
    static std::function<void(const QKeyEvent*, bool)> handler;
    return handler;
}

void RMWidgetCheckBox::setKeyHandler(
    std::function<void(const QKeyEvent* event, bool pressed)> handler) {
    _keyHandler() = std::move(handler);
}

void RMWidgetCheckBox::_forward(const QKeyEvent* event, bool pressed) const {
    // A modal dialog keeps its keys: the player behind it must not step.
    if (event->isAutoRepeat() || !_keyHandler() || window()->isModal()) {
        return;
    }
    _keyHandler()(event, pressed);
}

void RMWidgetCheckBox::keyPressEvent(QKeyEvent* event) {
    _forward(event, true);
    QCheckBox::keyPressEvent(event);
}

void RMWidgetCheckBox::keyReleaseEvent(QKeyEvent* event) {
    _forward(event, false);
    QCheckBox::keyReleaseEvent(event);
}
