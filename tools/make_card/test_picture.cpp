#include "test_picture.h"

#include <QLinearGradient>
#include <QPainter>
#include <cmath>
#include <cstring>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kFrameBits = 16;

QFont font(const char* family, int pixels, bool bold) {
    QFont f(QString::fromLatin1(family));
    f.setPixelSize(std::max(8, pixels));
    f.setBold(bold);
    f.setStyleHint(QFont::Monospace);
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

}  // namespace

TestPicture::TestPicture(QSize size, int fps, const QString& channel, const QString& recording,
                         bool rear)
    : m_fps(fps), m_background(size, QImage::Format_RGB32) {
    const int h = size.height();
    m_clock = std::make_unique<OutlineText>(font("DejaVu Sans Mono", h * 18 / 100, true), Qt::white,
                                            h / 200 + 1);
    m_frameNumber =
        std::make_unique<OutlineText>(font("DejaVu Sans Mono", h * 6 / 100, false), Qt::white);
    m_status =
        std::make_unique<OutlineText>(font("DejaVu Sans Mono", h * 4 / 100, false), Qt::white);
    drawBackground(channel, recording, rear);
    m_frame = m_background.copy();
    // Clock, frame number and circling dot; sweeping bar; status and strip.
    for (const auto& [top, bottom] :
         {std::make_pair(18, 48), std::make_pair(58, 68), std::make_pair(88, 100)}) {
        m_bands.push_back(
            RowBand{h * top / 100 / 2 * 2, std::min(h, (h * bottom / 100 + 1) / 2 * 2)});
    }
}

void TestPicture::loadFonts() {
    QImage image(64, 64, QImage::Format_RGB32);
    QPainter p(&image);
    for (bool bold : {false, true}) {
        OutlineText(font("DejaVu Sans", 32, bold), Qt::white)
            .draw(p, image.rect(), Qt::AlignLeft, QStringLiteral("0"));
        OutlineText(font("DejaVu Sans Mono", 32, bold), Qt::white)
            .draw(p, image.rect(), Qt::AlignLeft, QStringLiteral("0"));
    }
}

QString TestPicture::runningTime(qint64 frame, int fps) {
    const qint64 ms = frame * 1000 / fps;
    return QString::asprintf("%02lld:%02lld.%03lld", ms / 60000, ms / 1000 % 60, ms % 1000);
}

void TestPicture::drawBackground(const QString& channel, const QString& recording, bool rear) {
    const int w = m_background.width();
    const int h = m_background.height();
    QPainter p(&m_background);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, h);
    sky.setColorAt(0, rear ? QColor(58, 30, 72) : QColor(18, 46, 84));
    sky.setColorAt(0.55, rear ? QColor(112, 70, 96) : QColor(60, 104, 140));
    sky.setColorAt(0.56, QColor(52, 54, 58));
    sky.setColorAt(1, QColor(28, 28, 30));
    p.fillRect(m_background.rect(), sky);

    // A road running to the horizon and a grid, so that the picture has some detail.
    p.setPen(QPen(QColor(255, 255, 255, 40), std::max(1, h / 360)));
    for (int i = 1; i < 12; ++i) {
        const int x = w * i / 12;
        p.drawLine(x, 0, x, h);
    }
    for (int i = 1; i < 9; ++i) {
        const int y = h * i / 9;
        p.drawLine(0, y, w, y);
    }
    p.setPen(QPen(QColor(230, 220, 120), std::max(2, h / 120)));
    p.drawLine(w / 2 - w / 40, h * 56 / 100, w / 8, h);
    p.drawLine(w / 2 + w / 40, h * 56 / 100, w * 7 / 8, h);

    OutlineText(font("DejaVu Sans", h * 9 / 100, true),
                rear ? QColor(255, 190, 120) : QColor(140, 230, 255))
        .draw(p, QRectF(w / 40, h / 40, w / 2, h / 8), Qt::AlignLeft | Qt::AlignTop, channel);
    OutlineText(font("DejaVu Sans Mono", h * 35 / 1000, false), Qt::white)
        .draw(p, QRectF(w / 2, h / 40, w / 2 - w / 40, h / 8), Qt::AlignRight | Qt::AlignTop,
              recording);
    p.end();
}

const QImage& TestPicture::draw(qint64 frame, const QString& status) {
    const qsizetype line = m_background.bytesPerLine();
    for (const RowBand& band : m_bands) {
        std::memcpy(m_frame.scanLine(band.top), m_background.constScanLine(band.top),
                    size_t(line * (band.bottom - band.top)));
    }
    const int w = m_frame.width();
    const int h = m_frame.height();
    QPainter p(&m_frame);

    // Sweeping bar: its position is the fraction of the current second.
    const int inSecond = int(frame % m_fps);
    const int barWidth = std::max(4, w / 60);
    const int x = (w - barWidth) * inSecond / std::max(1, m_fps - 1);
    p.fillRect(QRect(x, h * 58 / 100, barWidth, h * 10 / 100),
               inSecond == 0 ? QColor(255, 60, 60) : QColor(255, 200, 40));

    // Circling dot, one turn every four seconds.
    p.setRenderHint(QPainter::Antialiasing);
    const double angle = 2 * kPi * double(frame % (4 * m_fps)) / (4 * m_fps);
    const QPointF centre(w * 0.88, h * 0.32);
    const double radius = h * 0.1;
    p.setPen(QPen(QColor(255, 255, 255, 90), std::max(1, h / 300)));
    p.drawEllipse(centre, radius, radius);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(120, 255, 120));
    p.drawEllipse(centre + QPointF(radius * std::sin(angle), -radius * std::cos(angle)), h * 0.02,
                  h * 0.02);

    // Running time with a drop shadow, and the frame number.
    m_clock->draw(p, QRectF(0, h * 18 / 100, w, h * 22 / 100), Qt::AlignCenter,
                  runningTime(frame, m_fps));
    m_frameNumber->draw(p, QRectF(0, h * 40 / 100, w, h * 8 / 100), Qt::AlignCenter,
                        QStringLiteral("frame %1").arg(frame, 6, 10, QLatin1Char('0')));

    // Status line on a dark band.
    p.fillRect(QRect(0, h * 88 / 100, w, h - h * 88 / 100), Qt::black);
    m_status->draw(p, QRectF(w / 40, h * 88 / 100, w, h * 6 / 100),
                   Qt::AlignLeft | Qt::AlignVCenter, status);

    // Frame number in binary, most significant bit first.
    p.setRenderHint(QPainter::Antialiasing, false);
    const int block = w / (2 * kFrameBits);
    const int top = h * 94 / 100 + (h * 6 / 100 - block / 2) / 2;
    for (int bit = 0; bit < kFrameBits; ++bit) {
        const bool on = (frame >> (kFrameBits - 1 - bit)) & 1;
        p.fillRect(QRect(w / 4 + bit * block, top, block - 2, block / 2),
                   on ? Qt::white : QColor(50, 50, 50));
    }
    p.end();
    return m_frame;
}
