#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QString>
#include <QtEndian>

#include "test_support.h"

// Small MP4 files made with the ffmpeg command-line tool at test time, made
// once per kind and copied under the names a test needs.
namespace orvin_test {

enum class Video {
    Busy,   // lossless test pattern: several Mbit/s, "real" video
    Black,  // a few kbit/s: a rear channel without a picture
};

inline QString fixtureFolder() {
    static const QString folder = home().path() + "/fixtures";
    QDir().mkpath(folder);
    return folder;
}

inline bool runTool(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// Path of a cached MP4 of the given kind and length.
inline QString makeMp4(Video kind, int seconds) {
    const QString path = QString("%1/%2-%3.mp4")
                             .arg(fixtureFolder())
                             .arg(kind == Video::Busy ? "busy" : "black")
                             .arg(seconds);
    if (QFile::exists(path)) {
        return path;
    }
    const QString source =
        kind == Video::Busy ? "testsrc2=size=320x240:rate=25" : "color=black:size=64x64:rate=5";
    QStringList args = {"-v",     "error",   "-y",
                        "-f",     "lavfi",   "-i",
                        source,   "-t",      QString::number(seconds),
                        "-c:v",   "libx264", "-pix_fmt",
                        "yuv420p"};
    if (kind == Video::Busy) {
        args << "-qp"
             << "0";
    }
    args << path;
    return runTool("ffmpeg", args) ? path : QString();
}

// Appends a top-level "usea" box whose first byte is the rear-video flag.
inline bool appendUseaBox(const QString& path, quint8 flag) {
    QFile file(path);
    if (!file.open(QIODevice::Append)) {
        return false;
    }
    QByteArray box(16, '\0');
    qToBigEndian<quint32>(16, box.data());
    box.replace(4, 4, "usea");
    box[8] = char(flag);
    return file.write(box) == box.size();
}

// Copies a fixture to path, creating the folders on the way.
inline bool placeCopy(const QString& fixture, const QString& path) {
    QDir().mkpath(QFileInfo(path).path());
    QFile::remove(path);
    return QFile::copy(fixture, path);
}

}  // namespace orvin_test
