#pragma once

#include <QCheckBox>

// A check box that still lets the stepping keys reach the player.
class RMWidgetCheckBox : public QCheckBox {
    Q_OBJECT
public:
    explicit RMWidgetCheckBox(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
