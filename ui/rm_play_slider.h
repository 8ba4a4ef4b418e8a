#pragma once

#include <QWidget>

class QLabel;
class RMSlider;

// The position slider with the current time under its left end and the
// total time under its right end.
class RMPlaySlider : public QWidget {
    Q_OBJECT
public:
    explicit RMPlaySlider(QWidget* parent);

    RMSlider* slider() const { return _slider; }
    QLabel* currentLabel() const { return _current; }
    QLabel* totalLabel() const { return _total; }

private:
    RMSlider* _slider;
    QLabel* _current;
    QLabel* _total;
};
