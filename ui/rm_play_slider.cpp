#include "ui/rm_play_slider.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/rm_slider.h"

RMPlaySlider::RMPlaySlider(QWidget* parent) : QWidget(parent) {
    setFixedHeight(34);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    _slider = new RMSlider(this);
    _slider->setObjectName("play");
    _slider->setFixedHeight(20);
    _slider->setValue(0);
    layout->addWidget(_slider);
    auto* times = new QHBoxLayout;
    times->setContentsMargins(0, 0, 0, 0);
    _current = new QLabel("00:00", this);
    _current->setObjectName("duration_label");
    _total = new QLabel("00:00", this);
    _total->setObjectName("duration_label");
    times->addWidget(_current);
    times->addStretch();
    times->addWidget(_total);
    auto* row = new QWidget(this);
    row->setFixedHeight(14);
    row->setLayout(times);
    layout->addWidget(row);
}
