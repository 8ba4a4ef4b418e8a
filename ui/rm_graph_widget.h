#pragma once

#include <QList>
#include <QPointer>
#include <QPolygonF>
#include <QWidget>

#include "app/rm_play_event.h"
#include "recordings/rm_video_item_2ch.h"

class RMSensorData;
class RMVideoItem;

// The three G-sensor axes of the whole recording as polylines across the
// widget, a cursor at the playback position, and a vertical scale chosen
// from a list of levels (a higher level shows a wider range).
class RMGraphWidget : public QWidget {
    Q_OBJECT
public:
    RMGraphWidget(QWidget* parent, QList<int> levels);

    // The y of a value in g on a widget `height` pixels high at `level`;
    // 0 g lands in the middle, the visible range is +-2 level / (8 - level).
    static double transform(double value, int height, int level);
    // The g value at the top edge of the widget at `level`; the bottom edge
    // is its negative.
    static double visibleRange(int level);
    // The scale labels written at the top and the bottom edge: the range
    // drawn, in g.
    static QString scaleText(int level, bool top);

    int level() const { return _level; }
    int cursorX() const { return _cursorX; }
    const QPolygonF& line(int axis) const { return _lines[axis]; }

Q_SIGNALS:
    // Whether zooming in, respectively out, is still possible.
    void zoomChange(bool zi, bool zo);

public Q_SLOTS:
    void onZoomIn();
    void onZoomOut();
    void onPlayEvent(PLAY_EVENT event, RMVideoItem* item);
    void onPositionChanged(qint64 position, qint64 duration);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void _updatePolygon();
    void _paintLevels(class QPainter& painter);

    QList<int> _levels;
    int _level = 2;
    int _cursorX = -1;
    // The playing recording's samples; the recording owns them.
    // The samples belong to the recording, which the list may free at any
    // reload: they are read only while the recording lives.
    const RMSensorData* _sensor() const { return _item.isNull() ? nullptr : _data; }
    QPointer<RMVideoItem> _item;
    const RMSensorData* _data = nullptr;
    QPolygonF _lines[3];  // X, Y, Z in widget pixels
};
