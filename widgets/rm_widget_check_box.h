#pragma once

#include <QCheckBox>
#include <functional>

// A check box that still lets the stepping keys reach the player: every key
// pressed and released in one goes to the key handler that the main window
// installs, except in a modal dialog, whose keys are its own.
class RMWidgetCheckBox : public QCheckBox {
    Q_OBJECT
public:
    explicit RMWidgetCheckBox(QWidget* parent = nullptr);

    // pressed: true for a press, false for a release.
    static void setKeyHandler(std::function<void(const QKeyEvent* event, bool pressed)> handler);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    void _forward(const QKeyEvent* event, bool pressed) const;
    static std::function<void(const QKeyEvent*, bool)>& _keyHandler();
};
