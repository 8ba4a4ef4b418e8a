#pragma once

#include <QStringList>

#include "ui/rm_slider.h"

// An RMSlider that writes a label under each tick (the speed slider).
class RMReleasedSlider : public RMSlider {
    Q_OBJECT
public:
    explicit RMReleasedSlider(QWidget* parent) : RMSlider(parent) {}

    void setTickLabels(const QStringList& labels) { _labels = labels; }
    QStringList tickLabels() const { return _labels; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QStringList _labels;
};
