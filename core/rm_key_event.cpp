#include "core/rm_key_event.h"

RMKeyEvent* RMKeyEvent::instance() {
    static RMKeyEvent* handler = new RMKeyEvent();
    return handler;
}

bool RMKeyEvent::_isHandled(int key) {
    return key == Qt::Key_Right || key == Qt::Key_Left || key == Qt::Key_F;
}

void RMKeyEvent::_emitPressed(int key) {
    switch (key) {
        case Qt::Key_Right:
            Q_EMIT pressedF1();
            break;
        case Qt::Key_Left:
            Q_EMIT pressedB1();
            break;
        default:
            Q_EMIT pressedFF();
            break;
    }
}

void RMKeyEvent::_emitReleased(int key) {
    switch (key) {
        case Qt::Key_Right:
            Q_EMIT releasedF1();
            break;
        case Qt::Key_Left:
            Q_EMIT releasedB1();
            break;
        default:
            Q_EMIT releasedFF();
            break;
    }
}

bool RMKeyEvent::_clipKey(int key) {
    switch (key) {
        case Qt::Key_I:
            Q_EMIT markIn();
            return true;
        case Qt::Key_O:
            Q_EMIT markOut();
            return true;
        case Qt::Key_F8:
            Q_EMIT exportRequested();
            return true;
        default:
            return false;
    }
}

void RMKeyEvent::pressed(int key) {
    if (_clipKey(key)) {
        return;
    }
    if (!_enabled || !_isHandled(key) || key == _heldKey) {
        return;
    }
    if (_heldKey != -1) {
        const int previous = _heldKey;
        _heldKey = -1;
        _emitReleased(previous);
    }
    _heldKey = key;
    _emitPressed(key);
}

void RMKeyEvent::released(int key) {
    if (!_enabled || !_isHandled(key) || key != _heldKey) {
        return;
    }
    _heldKey = -1;
    _emitReleased(key);
}

void RMKeyEvent::setEnabled(bool enabled) {
    _enabled = enabled;
    _heldKey = -1;
}

void RMKeyEvent::onPressedF1() {
    pressed(Qt::Key_Right);
}
void RMKeyEvent::onReleasedF1() {
    released(Qt::Key_Right);
}
void RMKeyEvent::onPressedB1() {
    pressed(Qt::Key_Left);
}
void RMKeyEvent::onReleasedB1() {
    released(Qt::Key_Left);
}
