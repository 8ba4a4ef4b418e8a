#pragma once

#include <QWidget>

// The red frame over the zoom overview that marks the zoomed quarter. Its
// position is the zoomed window's top-left corner in fractions of the
// picture, 0 to 0.5 on each axis; a drag moves it relative to the anchor
// taken when the drag began.
class RMWidgetZoomPos : public QWidget {
    Q_OBJECT
public:
    explicit RMWidgetZoomPos(QWidget* parent = nullptr);

    // Position = anchor + (dx, dy), kept within 0 .. 0.5.
    void setPos(float dx, float dy);
    // The current position becomes the anchor of the next drag.
    void setBase();
    float posX() const { return _x; }
    float posY() const { return _y; }
    // The red frame in widget pixels.
    QRect frameRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    float _x = 0.25f;
    float _y = 0.25f;
    float _baseX = 0.25f;
    float _baseY = 0.25f;
};
