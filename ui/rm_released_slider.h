#pragma once

#include <QStringList>
#include <memory>

#include "ui/rm_slider.h"

class RMInsetSliderStyle;

// An RMSlider that marks each tick and writes its label under it (the speed
// slider). The groove is narrowed so that every label, centred on its tick,
// lies inside the widget.
class RMReleasedSlider : public RMSlider {
    Q_OBJECT
public:
    explicit RMReleasedSlider(QWidget* parent);
    ~RMReleasedSlider() override;

    void setTickLabels(const QStringList& labels);
    QStringList tickLabels() const { return _labels; }

    // Where the tick of a value is drawn: under the centre of the handle
    // standing at that value.
    int tickX(int value) const;
    // Where the label of the tick at index is written.
    QRect labelRect(int index) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QFont _labelFont() const;
    void _updateInset();

    QStringList _labels;
    std::unique_ptr<RMInsetSliderStyle> _style;
};
