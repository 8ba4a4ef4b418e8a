#pragma once

// Media for the engine tests, made at test time with the ffmpeg command-line
// tool, and helpers to compare pictures and wait for the engine.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>

namespace engine_fixture {

struct MediaShape {
    int width = 320;
    int height = 240;
    int fps = 30;
    double seconds = 3;
    int gop = 30;
    bool audio = false;
    bool faststart = false;  // index first, so a truncated file still opens
    QString pixelFormat = QStringLiteral("yuv420p");
    bool video = true;
    int bframes = 0;                            // B-frames between references
    QString codec = QStringLiteral("libx264");  // or libx265 (HEVC)
    double startSeconds = 0;                    // > 0: timestamps begin later (an MPEG-TS file,
                                                // since MP4 pads a late start with an empty edit)
};

// Whether this ffmpeg has the encoder.
inline bool hasEncoder(const QString& name) {
    QProcess process;
    process.start(QStringLiteral("ffmpeg"), {"-hide_banner", "-encoders"});
    process.waitForFinished(30000);
    return process.readAllStandardOutput().contains(" " + name.toUtf8() + " ");
}

inline QTemporaryDir& mediaDir() {
    static QTemporaryDir dir;
    return dir;
}

inline bool runFfmpeg(const QStringList& args) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("ffmpeg"),
                  QStringList{"-hide_banner", "-loglevel", "error", "-y"} + args);
    if (!process.waitForFinished(120000) || process.exitCode() != 0) {
        qWarning() << "ffmpeg failed:" << args << process.readAll();
        return false;
    }
    return true;
}

// An H.264 (or HEVC) file with a moving test picture (key frame every `gop`
// frames, B-frames as asked) and, when asked, a mono AAC tone. Made once per
// name.
inline QString makeMedia(const QString& name, const MediaShape& shape = MediaShape()) {
    const QString path = mediaDir().filePath(
        name + (shape.startSeconds > 0 ? QStringLiteral(".ts") : QStringLiteral(".mp4")));
    if (QFile::exists(path)) {
        return path;
    }
    const QString seconds = QString::number(shape.seconds, 'f', 3);
    QStringList inputs;
    QStringList outputs;
    if (shape.video) {
        inputs << "-f"
               << "lavfi"
               << "-i"
               << QStringLiteral("testsrc2=size=%1x%2:rate=%3:duration=%4")
                      .arg(shape.width)
                      .arg(shape.height)
                      .arg(shape.fps)
                      .arg(seconds);
        outputs << "-c:v" << shape.codec << "-pix_fmt" << shape.pixelFormat << "-bf"
                << QString::number(shape.bframes) << "-g" << QString::number(shape.gop)
                << "-keyint_min" << QString::number(shape.gop);
        if (shape.codec == QLatin1String("libx265")) {
            outputs << "-preset"
                    << "ultrafast"
                    << "-x265-params"
                    << QStringLiteral("log-level=error:scenecut=0:bframes=%1").arg(shape.bframes)
                    << "-tag:v"
                    << "hvc1";
        } else {
            // B-frames need a preset that makes them.
            outputs << "-preset" << (shape.bframes > 0 ? "veryfast" : "ultrafast")
                    << "-sc_threshold"
                    << "0";
        }
    }
    if (shape.audio) {
        inputs << "-f"
               << "lavfi"
               << "-i"
               << QStringLiteral("sine=frequency=440:sample_rate=44100:duration=%1").arg(seconds);
        outputs << "-c:a"
                << "aac"
                << "-b:a"
                << "64k"
                << "-ac"
                << "1";
    }
    QStringList args = inputs + outputs;
    if (shape.startSeconds != 0) {
        args << "-output_ts_offset" << QString::number(shape.startSeconds, 'f', 3);
    }
    if (shape.faststart) {
        args << "-movflags"
             << "+faststart";
    }
    args << path;
    return runFfmpeg(args) ? path : QString();
}

// Where the file's timestamps begin, in seconds, as ffprobe reads it.
inline double startSeconds(const QString& media) {
    QProcess process;
    process.start(QStringLiteral("ffprobe"),
                  {"-v", "error", "-show_entries", "format=start_time", "-of", "csv=p=0", media});
    process.waitForFinished(30000);
    return process.readAllStandardOutput().trimmed().toDouble();
}

// The picture ffmpeg decodes at `seconds`.
inline QImage ffmpegFrame(const QString& media, double seconds) {
    const QString png = mediaDir().filePath(QStringLiteral("frame_%1_%2.png")
                                                .arg(QFileInfo(media).completeBaseName())
                                                .arg(std::llround(seconds * 1000)));
    // MPEG-TS input seeking is not frame exact: decode from the start there.
    const QString at = QString::number(seconds, 'f', 3);
    const QStringList args = media.endsWith(QLatin1String(".ts"))
                                 ? QStringList{"-i", media, "-ss", at, "-frames:v", "1", png}
                                 : QStringList{"-ss", at, "-i", media, "-frames:v", "1", png};
    if (!QFile::exists(png) && !runFfmpeg(args)) {
        return QImage();
    }
    return QImage(png).convertToFormat(QImage::Format_RGB32);
}

// An image file decoded and converted to RGB by ffmpeg, so that it meets the
// same chroma upsampling as the frames of ffmpegFrame().
inline QImage ffmpegDecode(const QString& image) {
    const QString png = image + QStringLiteral(".decoded.png");
    if (!runFfmpeg({"-i", image, png})) {
        return QImage();
    }
    return QImage(png).convertToFormat(QImage::Format_RGB32);
}

// Peak signal-to-noise ratio of two pictures of one size, in dB (0 when the
// sizes differ).
inline double psnr(const QImage& a, const QImage& b) {
    if (a.isNull() || a.size() != b.size()) {
        return 0;
    }
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const QRgb* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const QRgb* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col) {
            const int dr = qRed(p[col]) - qRed(q[col]);
            const int dg = qGreen(p[col]) - qGreen(q[col]);
            const int db = qBlue(p[col]) - qBlue(q[col]);
            sum += dr * dr + dg * dg + db * db;
        }
    }
    const double mse = sum / (3.0 * x.width() * x.height());
    return mse <= 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

// Runs the event loop until `done()` or the time is up.
template <typename Predicate>
bool waitUntil(Predicate done, int ms = 10000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QTest::qSleep(2);
    }
    return true;
}

// Runs the event loop for `ms`.
inline void spin(int ms) {
    waitUntil([] { return false; }, ms);
}

}  // namespace engine_fixture

Q_DECLARE_METATYPE(engine_fixture::MediaShape)
