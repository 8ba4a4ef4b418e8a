#pragma once

#include <QObject>
#include <QPoint>

class QWidget;

// Lets the user move a frameless window by the strip at its top.
class RMWidgetDrag : public QObject {
    Q_OBJECT
public:
    RMWidgetDrag(QWidget* window, int dragHeight);
    ~RMWidgetDrag() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int _dragHeight;
    QWidget* _window;
    bool _dragging = false;
    QPoint _pressPoint;  // in window coordinates
};
