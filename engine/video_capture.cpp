#include "engine/video_capture.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <cmath>

VideoCapture::VideoCapture(QObject* parent) : QObject(parent) {}

VideoCapture::~VideoCapture() {
    if (worker_.joinable()) {
        worker_.join();
    }
}

void VideoCapture::setAsync(bool async) {
    async_ = async;
}

void VideoCapture::setSaveFormat(const QString& format) {
    format_ = format;
}

void VideoCapture::setQuality(int quality) {
    quality_ = quality;
}

void VideoCapture::setCaptureName(const QString& name) {
    name_ = name;
}

void VideoCapture::setCaptureDir(const QString& dir) {
    dir_ = dir;
}

void VideoCapture::setFrameSource(std::function<VideoFrame()> source) {
    source_ = std::move(source);
}

QString VideoCapture::pathFor(const VideoFrame& frame) const {
    QString name = name_;
    if (!name.isEmpty() && !name.endsWith(QLatin1Char('_'))) {
        name += QLatin1Char('_');
    }
    name += QString::number(std::llround(frame.timestamp() * 1000));
    name += QLatin1Char('.') + format_;
    const QString dir = dir_.isEmpty() ? QDir::currentPath() : dir_;
    return QDir::cleanPath(dir + QDir::separator() + name);
}

VideoCapture::Result VideoCapture::save(const VideoFrame& frame, const QString& path,
                                        const QString& format, int quality) {
    Result result;
    result.image = frame.toImage(QImage::Format_RGB32);
    if (result.image.isNull()) {
        return result;
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    QImageWriter writer(path, format.toLatin1());
    writer.setQuality(quality);
    if (writer.write(result.image)) {
        result.path = path;
    } else {
        qInfo() << "VideoCapture::save" << __LINE__ << path << writer.errorString();
    }
    return result;
}

void VideoCapture::capture() {
    const VideoFrame frame = source_ ? source_() : VideoFrame();
    if (!frame.isValid()) {
        finish(Result());
        return;
    }
    const QString path = pathFor(frame);
    if (!async_) {
        finish(save(frame, path, format_, quality_));
        return;
    }
    if (worker_.joinable()) {
        worker_.join();
    }
    const QString format = format_;
    const int quality = quality_;
    worker_ = std::thread([this, frame, path, format, quality] {
        const Result result = save(frame, path, format, quality);
        finish(result);
    });
}

void VideoCapture::finish(const Result& result) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        results_.append(result);
    }
    QMetaObject::invokeMethod(this, "deliverResults", Qt::QueuedConnection);
}

void VideoCapture::deliverResults() {
    QList<Result> results;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        results.swap(results_);
    }
    for (const Result& result : results) {
        if (result.path.isEmpty()) {
            emit failed();
            continue;
        }
        emit imageCaptured(result.image);
        emit saved(result.path);
    }
}
