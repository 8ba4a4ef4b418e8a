#pragma once

#include <QObject>

class QKeyEvent;

// The held stepping key: Right (one second forward), Left (one second back),
// F (one frame forward) or Shift+F (one frame back). Only one is held at a
// time; pressing another releases the first. While a key is held, full
// screen and capture wait.
class RMKeyEvent : public QObject {
    Q_OBJECT
public:
    // Shift+F, as keyOf() reports it.
    static constexpr int kFrameBackKey = Qt::Key_F | Qt::SHIFT;

    static RMKeyEvent* instance();
    // The code pressed() and released() take for a key event: the key, with
    // Shift where it changes the key's meaning (Shift+F).
    static int keyOf(const QKeyEvent* event);

    void pressed(int key);
    void released(int key);

    int heldKey() const { return _heldKey; }
    bool isKeyHeld() const { return _heldKey != -1; }
    // The stepping key that is physically down, also while the handler is
    // disabled; -1 when none.
    int downKey() const { return _downKey; }
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
    void pressedFB();
    void releasedFB();
    // I and O mark the start and the end of a clip; F8 asks for the export.
    void markIn();
    void markOut();
    void exportRequested();

private:
    RMKeyEvent() = default;
    static bool _isHandled(int key);
    // The key without the modifier, for matching a release.
    static int _base(int key);
    // The clip keys act once per press, whether or not a key is held.
    bool _clipKey(int key);
    void _emitPressed(int key);
    void _emitReleased(int key);

    int _heldKey = -1;
    int _downKey = -1;
    bool _enabled = true;
};
