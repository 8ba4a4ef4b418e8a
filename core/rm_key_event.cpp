#include "core/rm_key_event.h"

#include <QKeyEvent>

RMKeyEvent* RMKeyEvent::instance() {
    static RMKeyEvent* handler = new RMKeyEvent();
    return handler;
}

int RMKeyEvent::keyOf(const QKeyEvent* event) {
    const bool shift = event->modifiers().testFlag(Qt::ShiftModifier);
    return event->key() == Qt::Key_F && shift ? kFrameBackKey : event->key();
}

bool RMKeyEvent::_isHandled(int key) {
    return key == Qt::Key_Right || key == Qt::Key_Left || key == Qt::Key_F || key == kFrameBackKey;
}

int RMKeyEvent::_base(int key) {
    return key & ~int(Qt::KeyboardModifierMask);
}

void RMKeyEvent::_emitPressed(int key) {
    switch (key) {
        case Qt::Key_Right:
            Q_EMIT pressedF1();
            break;
        case Qt::Key_Left:
            Q_EMIT pressedB1();
            break;
        case kFrameBackKey:
            Q_EMIT pressedFB();
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
        case kFrameBackKey:
            Q_EMIT releasedFB();
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
    if (!_isHandled(key)) {
        return;
    }
    _downKey = key;
    if (!_enabled || key == _heldKey) {
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
    // F and Shift+F end alike: Shift may be let go first.
    if (!_isHandled(key)) {
        return;
    }
    if (_downKey != -1 && _base(_downKey) == _base(key)) {
        _downKey = -1;
    }
    if (!_enabled || _heldKey == -1 || _base(_heldKey) != _base(key)) {
        return;
    }
    const int held = _heldKey;
    _heldKey = -1;
    _emitReleased(held);
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
