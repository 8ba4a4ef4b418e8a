#pragma once

#include <QLabel>

class QGraphicsOpacityEffect;
class QPropertyAnimation;
class QTimer;

// A small message at the bottom of a window that tells the user what just
// happened (a folder without recordings, a finished backup, saved stills)
// without asking for an answer: it lets clicks through, stays a few seconds,
// then fades out. One per window; a new message replaces the one showing.
class RMNotice : public QLabel {
    Q_OBJECT
public:
    // Shows text over window; returns the notice (owned by the window).
    static RMNotice* post(QWidget* window, const QString& text);
    // The notice of window, null when none was ever shown.
    static RMNotice* of(QWidget* window);

    // How long a notice stays before it fades, and how long the fade takes.
    static int holdMs;
    static int fadeMs;

private:
    explicit RMNotice(QWidget* window);
    void _show(const QString& text);
    void _place();

    QGraphicsOpacityEffect* _opacity;
    QPropertyAnimation* _fade;
    QTimer* _hold;
};
