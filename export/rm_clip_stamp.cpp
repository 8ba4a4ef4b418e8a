#include "export/rm_clip_stamp.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>

#include "recordings/rm_gps_sample.h"

extern "C" {
#include <libavutil/frame.h>
}

namespace {
constexpr double kMilesPerKm = 0.621371192;

// BT.601, limited range: what the camera's H.264 pictures use.
void toYuv(QRgb c, int* y, int* u, int* v) {
    const int r = qRed(c), g = qGreen(c), b = qBlue(c);
    *y = ((66 * r + 129 * g + 25 * b + 128) >> 8) + 16;
    *u = ((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128;
    *v = ((112 * r - 94 * g - 18 * b + 128) >> 8) + 128;
}

quint8 mix(quint8 under, int over, int alpha) {
    return quint8((under * (255 - alpha) + over * alpha + 127) / 255);
}
}  // namespace

QString RMClipStamp::text(const QDateTime& clock, const RMGPSSample* gps, bool mph) {
    const QString unit = mph ? "mph" : "km/h";
    QString speed = "--";
    QString position = "--";
    if (gps && gps->hasFix()) {
        speed = QString::number(qRound(mph ? gps->speed * kMilesPerKm : gps->speed));
        position = QString("%1%2 %3%4")
                       .arg(gps->latitude < 0 ? 'S' : 'N')
                       .arg(qAbs(gps->latitude), 0, 'f', 6)
                       .arg(gps->longitude < 0 ? 'W' : 'E')
                       .arg(qAbs(gps->longitude), 0, 'f', 6);
    }
    return clock.toString("yyyy/MM/dd HH:mm:ss") + "   " + speed + ' ' + unit + "   " + position;
}

int RMClipStamp::bandHeight(int pictureHeight) {
    return qMax(16, pictureHeight / 18) & ~1;
}

QImage RMClipStamp::image(const QString& text, int width, int height) {
    QImage band(width, height, QImage::Format_ARGB32_Premultiplied);
    band.fill(QColor(0, 0, 0, 110));
    QPainter painter(&band);
    painter.setRenderHint(QPainter::Antialiasing);
    QFont font("DejaVu Sans Mono");
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(qMax(8, height * 13 / 20));
    font.setBold(true);
    QPainterPath path;
    const int margin = height / 2;
    path.addText(margin, height - (height - QFontMetrics(font).ascent()) / 2 - height / 10, font,
                 text);
    painter.setPen(QPen(QColor(0, 0, 0), qMax(1.0, height / 12.0)));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
    painter.fillPath(path, Qt::white);
    return band.convertToFormat(QImage::Format_ARGB32);
}

void RMClipStamp::_prepare(const QString& text, int width, int height) {
    _text = text;
    _width = width;
    _height = height;
    const QImage band = image(text, width, height);
    const size_t n = size_t(width) * size_t(height);
    _y.assign(n, 0);
    _a.assign(n, 0);
    const size_t nc = size_t(width / 2) * size_t(height / 2);
    _u.assign(nc, 128);
    _v.assign(nc, 128);
    _ac.assign(nc, 0);
    for (int row = 0; row < height; ++row) {
        const QRgb* line = reinterpret_cast<const QRgb*>(band.constScanLine(row));
        for (int x = 0; x < width; ++x) {
            int y, u, v;
            toYuv(line[x], &y, &u, &v);
            const size_t i = size_t(row) * size_t(width) + size_t(x);
            _y[i] = quint8(qBound(16, y, 235));
            _a[i] = quint8(qAlpha(line[x]));
            if (row % 2 == 0 && x % 2 == 0 && x / 2 < width / 2 && row / 2 < height / 2) {
                const size_t c = size_t(row / 2) * size_t(width / 2) + size_t(x / 2);
                _u[c] = quint8(qBound(16, u, 240));
                _v[c] = quint8(qBound(16, v, 240));
                _ac[c] = _a[i];
            }
        }
    }
}

void RMClipStamp::blend(AVFrame* picture, const QString& text) {
    const int width = picture->width;
    const int height = bandHeight(picture->height);
    if (text != _text || width != _width || height != _height) {
        _prepare(text, width, height);
    }
    const int top = (picture->height - height) & ~1;
    for (int row = 0; row < height; ++row) {
        quint8* y = picture->data[0] + size_t(top + row) * size_t(picture->linesize[0]);
        for (int x = 0; x < width; ++x) {
            const size_t i = size_t(row) * size_t(width) + size_t(x);
            y[x] = mix(y[x], _y[i], _a[i]);
        }
    }
    for (int row = 0; row < height / 2; ++row) {
        quint8* u = picture->data[1] + size_t(top / 2 + row) * size_t(picture->linesize[1]);
        quint8* v = picture->data[2] + size_t(top / 2 + row) * size_t(picture->linesize[2]);
        for (int x = 0; x < width / 2; ++x) {
            const size_t c = size_t(row) * size_t(width / 2) + size_t(x);
            u[x] = mix(u[x], _u[c], _ac[c]);
            v[x] = mix(v[x], _v[c], _ac[c]);
        }
    }
}
