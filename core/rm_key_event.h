#pragma once

#include <QObject>

// The held stepping key: Right (one second forward), Left (one second back)
// or F (one frame forward). Only one is held at a time; pressing another
// releases the first. While a key is held, full screen and capture wait.
class RMKeyEvent : public QObject {
    Q_OBJECT
public:
    static RMKeyEvent* instance();

    void pressed(int key);
    void released(int key);

    int heldKey() const { return _heldKey; }
    bool isKeyHeld() const { return _heldKey != -1; }
    bool isEnabled() const { return _enabled; }
    // Disabling (on stop) and enabling (after play or pause) forget the key.
    void setEnabled(bool enabled);

public Q_SLOTS:
    void onPressedF1();
    void onReleasedF1();
    void onPressedB1();
    void onReleasedB1();

Q_SIGNALS:
    void pressedF1();
    void releasedF1();
    void pressedB1();
    void releasedB1();
    void pressedFF();
    void releasedFF();
    // I and O mark the start and the end of a clip; F8 asks for the export.
    void markIn();
    void markOut();
    void exportRequested();

private:
    RMKeyEvent() = default;
    static bool _isHandled(int key);
    // The clip keys act once per press, whether or not a key is held.
    bool _clipKey(int key);
    void _emitPressed(int key);
    void _emitReleased(int key);

    int _heldKey = -1;
    bool _enabled = true;
};
