#pragma once

#include <QDateTime>
#include <QWidget>

class QSlider;

// Draws the clip marks on the position slider: a small tick at each mark of
// the recording shown and the span between them shaded. Marks on another
// recording shade up to the slider's end. It lies over the slider and lets
// every mouse event through.
class RMSliderMarks : public QWidget {
    Q_OBJECT
public:
    explicit RMSliderMarks(QSlider* slider);

    // The recording shown: where it starts on the camera clock and how long it lasts.
    void setRecording(const QDateTime& start, qint64 durationMs);
    // The x of a time on the slider, or -1 outside the recording.
    int xOf(const QDateTime& time) const;

public Q_SLOTS:
    void onMarksChanged();
    void onPlayEvent(int event);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // The slider's x range of positions 0 and the whole duration.
    void _span(int* left, int* right) const;

    QSlider* _slider;
    QDateTime _start;
    qint64 _durationMs = 0;
};
