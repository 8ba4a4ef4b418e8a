#pragma once

#include <QFile>
#include <QObject>

class QWidget;

// For end-to-end tests of the real viewer: every 100 ms it appends to a file
// what the two video panes were last given, one line each time:
//   normal|full <main pane timestamp> <sub pane timestamp> <main> <sub>
// in seconds, or "-" for a blank pane, then where each pane's picture is on
// the screen (x,y,width,height, or "-" when hidden). The viewer makes one only when the
// environment variable ORVIN_FRAME_PROBE names the file.
class RMFrameProbe : public QObject {
    Q_OBJECT
public:
    RMFrameProbe(QWidget* window, const QString& path);
    static void installFromEnvironment(QWidget* window);

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    QWidget* _window;
    QFile _file;
};
