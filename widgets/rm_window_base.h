#pragma once

#include <QMainWindow>

class QVBoxLayout;
class RMWidgetDrag;
class TitleWidget;

// Frameless main window with the custom title bar on top of a content
// widget that subclasses fill; dragged by the title strip.
class RMWindowBase : public QMainWindow {
    Q_OBJECT
public:
    RMWindowBase(QWidget* parent, QString title, QString logo, bool popup);

    TitleWidget* titleWidget() const { return _title; }
    QWidget* contentWidget() const { return _content; }

Q_SIGNALS:
    void closeSignal();

private:
    QWidget* _central;
    QVBoxLayout* _layout;
    TitleWidget* _title;
    RMWidgetDrag* _drag;
    QWidget* _content;
};
