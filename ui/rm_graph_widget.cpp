#include "ui/rm_graph_widget.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOption>

#include "core/rm_player.h"
#include "recordings/rm_sensor_data.h"
#include "recordings/rm_video_item_2ch.h"

RMGraphWidget::RMGraphWidget(QWidget* parent, QList<int> levels)
    : QWidget(parent), _levels(std::move(levels)) {
    setObjectName("graph_widget");
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    RMPlayer* player = RMPlayer::instance();
    connect(player, SIGNAL(playEvent(PLAY_EVENT, RMVideoItem*)), this,
            SLOT(onPlayEvent(PLAY_EVENT, RMVideoItem*)));
    connect(player, SIGNAL(positionChanged(qint64, qint64)), this,
            SLOT(onPositionChanged(qint64, qint64)));
}

double RMGraphWidget::transform(double value, int height, int level) {
    const double h = height;
    const double a = 4.0 / level * h;
    const double low = h - a;
    const double span = a - low;
    return h - ((value + 2.0) * span * 0.25 + low);
}

double RMGraphWidget::visibleRange(int level) {
    return level >= 8 ? 0.0 : 2.0 * level / (8 - level);
}

QString RMGraphWidget::scaleText(int level, bool top) {
    return QString("%1%2 g").arg(top ? '+' : '-').arg(visibleRange(level), 0, 'g', 2);
}

void RMGraphWidget::_updatePolygon() {
    for (QPolygonF& line : _lines) {
        line.clear();
    }
    if (const RMSensorData* data = _sensor(); data && data->sensor && data->sensorCount > 0) {
        const quint32 n = data->sensorCount;
        const int h = height();
        const float step = float(width()) / float(n);
        for (int axis = 0; axis < 3; ++axis) {
            _lines[axis].reserve(int(n));
        }
        for (quint32 k = 0; k < n; ++k) {
            const double x = double(float(k) * step);
            for (int axis = 0; axis < 3; ++axis) {
                const double value = data->sensor[size_t(k) * 3 + size_t(axis)];
                _lines[axis].append(QPointF(x, transform(value, h, _level)));
            }
        }
    }
    update();
}

void RMGraphWidget::onZoomOut() {
    if (_levels.isEmpty() || _level == _levels.last()) {
        return;
    }
    const int i = _levels.indexOf(_level);
    _level = _levels.at(qMin(i + 1, _levels.size() - 1));
    _updatePolygon();
    Q_EMIT zoomChange(true, _level != _levels.last());
}

void RMGraphWidget::onZoomIn() {
    if (_levels.isEmpty() || _level == _levels.first()) {
        return;
    }
    const int i = _levels.indexOf(_level);
    _level = _levels.at(qMax(i - 1, 0));
    _updatePolygon();
    Q_EMIT zoomChange(_level != _levels.first(), true);
}

void RMGraphWidget::onPositionChanged(qint64 position, qint64 duration) {
    if (duration <= 0) {
        return;
    }
    const qint64 w = width();
    const qint64 clamped = qBound<qint64>(0, position, duration);
    // The end of the recording sits on the last column, where it can be seen.
    const int x = int(qMin(w * clamped / duration, qMax<qint64>(0, w - 1)));
    if (x != _cursorX) {
        _cursorX = x;
        update();
    }
}

void RMGraphWidget::onPlayEvent(PLAY_EVENT event, RMVideoItem* item) {
    if (event == PE_STARTED) {
        _cursorX = -1;
        _item = item;
        _data = item ? item->sensorData : nullptr;
        _updatePolygon();
    } else if (event == PE_STOPPED) {
        _cursorX = -1;
        _item = nullptr;
        _data = nullptr;
        _updatePolygon();
    }
}

void RMGraphWidget::_paintLevels(QPainter& painter) {
    QFont font("Arial");
    font.setPixelSize(14);
    font.setWeight(QFont::Bold);
    painter.setFont(font);
    painter.setPen(QColor(0xCC, 0xCC, 0xCC));
    painter.drawText(QRect(2, 0, width() - 2, 20), Qt::AlignLeft, scaleText(_level, true));
    painter.drawText(QRect(2, height() - 19, width() - 2, 20), Qt::AlignLeft,
                     scaleText(_level, false));
}

void RMGraphWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOption option;
    option.initFrom(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
    _paintLevels(painter);
    const QColor colours[3] = {Qt::red, Qt::green, Qt::blue};
    for (int axis = 0; axis < 3; ++axis) {
        if (!_lines[axis].isEmpty()) {
            painter.setPen(QPen(colours[axis], 1, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
            painter.drawPolyline(_lines[axis]);
        }
    }
    if (_cursorX >= 0) {
        painter.setPen(QPen(QColor(0xFF, 0xFF, 0xFF), 1));
        painter.drawLine(_cursorX, 0, _cursorX, height());
    }
}
