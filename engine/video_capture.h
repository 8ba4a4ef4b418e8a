#pragma once

#include <QImage>
#include <QObject>
#include <QStringList>
#include <functional>
#include <mutex>
#include <thread>

#include "engine/video_frame.h"

// Saves the frame a player displayed last as an image file. The file is
// named from the capture name, the frame's timestamp in milliseconds and the
// save format: DIR/NAME_12345.jpg (no extra "_" when the name already ends
// with one). Synchronous captures convert and write on the calling thread;
// asynchronous ones on a worker thread. Either way saved(path) or failed()
// arrives later through the event loop, never from inside capture().
class VideoCapture : public QObject {
    Q_OBJECT
public:
    explicit VideoCapture(QObject* parent = nullptr);
    ~VideoCapture() override;

    void setAsync(bool async = true);
    bool isAsync() const { return async_; }
    // "jpg" (the default), "png" or any format Qt's image writer knows.
    void setSaveFormat(const QString& format);
    QString saveFormat() const { return format_; }
    // 0..100, or -1 for the writer's default.
    void setQuality(int quality);
    int quality() const { return quality_; }
    void setCaptureName(const QString& name);
    QString captureName() const { return name_; }
    void setCaptureDir(const QString& dir);
    QString captureDir() const { return dir_; }

    // Where the frames come from (the player sets it).
    void setFrameSource(std::function<VideoFrame()> source);

public slots:
    void capture();

signals:
    void imageCaptured(const QImage& image);
    void saved(const QString& path);
    void failed();

private slots:
    void deliverResults();

private:
    struct Result {
        QString path;  // empty: failed
        QImage image;
    };
    static Result save(const VideoFrame& frame, const QString& path, const QString& format,
                       int quality);
    QString pathFor(const VideoFrame& frame) const;
    void finish(const Result& result);

    // Settings: GUI thread; a capture takes copies.
    bool async_ = false;
    QString format_ = QStringLiteral("jpg");
    int quality_ = 90;
    QString name_;
    QString dir_;
    std::function<VideoFrame()> source_;

    std::thread worker_;  // the last asynchronous capture; joined before the next one
    std::mutex mutex_;
    QList<Result> results_;  // guarded by mutex_
};
