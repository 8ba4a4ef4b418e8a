#pragma once

#include <QDateTime>
#include <QImage>
#include <QString>
#include <QtGlobal>
#include <vector>

struct AVFrame;
struct RMGPSSample;

// The band a composite carries at its bottom, as the camera burns its own:
// the camera clock's date and time, the GPS speed in the chosen unit and the
// position, or "--" where the receiver has no fix. The band is drawn once
// per text and blended into every picture that shows it.
class RMClipStamp {
public:
    static QString text(const QDateTime& clock, const RMGPSSample* gps, bool mph);
    // The band for a picture `width` wide: white text with a dark outline on
    // a translucent dark strip.
    static QImage image(const QString& text, int width, int height);
    static int bandHeight(int pictureHeight);

    // Blends the band of `text` into the bottom of a YUV 4:2:0 picture.
    void blend(AVFrame* picture, const QString& text);

private:
    void _prepare(const QString& text, int width, int height);

    QString _text;
    int _width = 0;
    int _height = 0;
    std::vector<quint8> _y, _u, _v, _a, _ac;  // the band in picture planes, with alpha
};
