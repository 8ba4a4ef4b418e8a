#include "widgets/rm_widget_drag.h"

#include <QMouseEvent>
#include <QWidget>

RMWidgetDrag::RMWidgetDrag(QWidget* window, int dragHeight)
    : QObject(window), _dragHeight(dragHeight), _window(window) {
    _window->installEventFilter(this);
}

RMWidgetDrag::~RMWidgetDrag() {
    _window->removeEventFilter(this);
}

bool RMWidgetDrag::eventFilter(QObject* watched, QEvent* event) {
    if (watched != _window || _window->isFullScreen()) {
        return false;
    }
    switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (!_window->rect().contains(mouse->pos())) {
                return false;
            }
            if (mouse->pos().y() >= _dragHeight) {
                return true;
            }
            _dragging = true;
            _pressPoint = mouse->pos();
            return false;
        }
        case QEvent::MouseMove:
            if (_dragging) {
                auto* mouse = static_cast<QMouseEvent*>(event);
                _window->move(_window->frameGeometry().topLeft() + mouse->pos() - _pressPoint);
            }
            return false;
        case QEvent::MouseButtonRelease:
            _dragging = false;
            return false;
        default:
            return false;
    }
}
