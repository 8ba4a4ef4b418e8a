#pragma once

#include <QByteArray>
#include <QtGlobal>

// One encoded video or audio sample as it goes into the MP4 file.
struct MediaPacket {
    QByteArray data;
    qint64 pts = 0;        // in the stream's time base
    quint32 duration = 0;  // in the stream's time base
    // How long after its decoding the sample is presented (B-frames), in the
    // stream's time base.
    quint32 compositionOffset = 0;
    bool keyFrame = false;
};
