#pragma once

#include <QCheckBox>
#include <functional>

// A check box that still lets the stepping keys reach the player: every key
// pressed in one goes to the key handler that the main window installs.
class RMWidgetCheckBox : public QCheckBox {
    Q_OBJECT
public:
    explicit RMWidgetCheckBox(QWidget* parent = nullptr);

    static void setKeyHandler(std::function<void(int key)> handler);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    static std::function<void(int)>& _keyHandler();
};
