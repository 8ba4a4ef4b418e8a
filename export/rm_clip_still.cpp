#include "export/rm_clip_still.h"

#include <QtDebug>

#include "export/rm_clip_reader.h"

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

namespace {
QImage toImage(const AVFrame* frame) {
    QImage image(frame->width, frame->height, QImage::Format_RGB32);
    SwsContext* sws =
        sws_getContext(frame->width, frame->height, AVPixelFormat(frame->format), frame->width,
                       frame->height, AV_PIX_FMT_BGRA, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!sws || image.isNull()) {
        sws_freeContext(sws);
        return QImage();
    }
    uint8_t* data[4] = {image.bits(), nullptr, nullptr, nullptr};
    const int lines[4] = {int(image.bytesPerLine()), 0, 0, 0};
    sws_scale(sws, frame->data, frame->linesize, 0, frame->height, data, lines);
    sws_freeContext(sws);
    return image;
}
}  // namespace

QImage RMClipStill::at(const QString& path, qint64 positionMs, QString* error) {
    RMClipReader reader;
    if (!reader.open(path, 1) || !reader.seek(positionMs)) {
        *error = reader.errorString();
        return QImage();
    }
    // Only the picture kept is converted: a reference to the decoder's
    // picture survives the next decode.
    AVFrame* shown = av_frame_alloc();
    bool any = false;
    while (AVFrame* frame = reader.next()) {
        if (any && reader.timeMs(frame) > double(positionMs)) {
            break;
        }
        av_frame_unref(shown);
        any = av_frame_ref(shown, frame) == 0;
    }
    QImage image;
    if (reader.failed()) {
        *error = reader.errorString();
    } else if (!any) {
        *error = "no picture at the position";
    } else {
        image = toImage(shown);
        if (image.isNull()) {
            *error = "a picture cannot be converted";
        }
    }
    av_frame_free(&shown);
    return image;
}
