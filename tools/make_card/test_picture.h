#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <memory>
#include <vector>

#include "outline_text.h"
#include "video_encoder.h"

// The moving test picture of one channel: the channel name, the recording
// name, a large running time (mm:ss.fff) with the frame number, a status line,
// a bar that sweeps across once per second, a dot that circles once every
// four seconds, and the frame number as a strip of sixteen binary blocks, so
// that sync between the channels can be seen and measured.
class TestPicture {
public:
    TestPicture(QSize size, int fps, const QString& channel, const QString& recording, bool rear);

    // Draws frame `frame` (counted from 0); the returned image stays valid
    // until the next call.
    const QImage& draw(qint64 frame, const QString& status);

    // The rows that draw() changes; the rest is the same in every frame.
    const std::vector<RowBand>& changingRows() const { return m_bands; }

    // Loads the fonts the pictures use. Font configuration fills its caches
    // on first use without locks that the thread checker can see; doing that
    // once before the workers start keeps them from racing for it.
    static void loadFonts();

    // The running time of a frame as "mm:ss.fff".
    static QString runningTime(qint64 frame, int fps);

private:
    void drawBackground(const QString& channel, const QString& recording, bool rear);

    int m_fps;
    QImage m_background;
    QImage m_frame;
    std::unique_ptr<OutlineText> m_clock;
    std::unique_ptr<OutlineText> m_frameNumber;
    std::unique_ptr<OutlineText> m_status;
    std::vector<RowBand> m_bands;
};
