#pragma once

// The clip run of bench-export: a 40 s range crossing two camera-like 60 s
// recordings, cut without re-encoding and composed with the rear inset, each
// timed against the ffmpeg command line doing the same job on the same files
// in the same run: the concat demuxer with the same in and out points and
// `-c copy` for the cut (then `sync` of its outputs, since ours are flushed
// to the device before they are named), and for the inset the same scale,
// overlay, encoder, preset, CRF and thread count. Both sides must give the
// same number of pictures (within one at each end, where the two tools round
// the points); a failing or missing ffmpeg fails the run.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>

#include "export/rm_clip_composer.h"
#include "export/rm_export_runner.h"
#include "recordings/rm_video_file_list.h"

namespace bench_clip {

constexpr int kThreads = 2;

inline bool run(const QString& program, const QStringList& arguments, QByteArray* out = nullptr) {
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program),
                     p.readAllStandardError().right(400).constData());
        return false;
    }
    if (out) {
        *out = p.readAllStandardOutput();
    }
    return true;
}

// Video packets of a file, by ffprobe; -1 when it cannot tell.
inline int videoPackets(const QString& file) {
    QByteArray out;
    if (!run("ffprobe",
             {"-v", "error", "-select_streams", "v:0", "-count_packets", "-show_entries",
              "stream=nb_read_packets", "-of", "csv=p=0", file},
             &out)) {
        return -1;
    }
    bool ok = false;
    const int n = out.trimmed().toInt(&ok);
    return ok ? n : -1;
}

inline QString cameraCard(QString card) {
    if (card.isEmpty()) {
        card = QDir::cleanPath(QCoreApplication::applicationDirPath() +
                               "/../bench-export-camera-card");
    }
    if (QDir(card + "/DCIM").entryList({"*_1.mp4"}).size() < 2) {
        std::printf("making two camera-like 1080p30 recordings of 60 s in %s (minutes)...\n",
                    qPrintable(card));
        std::fflush(stdout);
        if (!run(QCoreApplication::applicationDirPath() + "/orvin-make-card",
                 {card, "--recordings", "2", "--seconds", "60", "--gop", "30", "--profile",
                  "camera", "--quiet", "--force"})) {
            return QString();
        }
    }
    return card;
}

inline QString concatList(const QString& path, const QString& a, const QString& b, double in,
                          double out) {
    QFile list(path);
    list.open(QIODevice::WriteOnly);
    list.write(QString("ffconcat version 1.0\nfile '%1'\ninpoint %2\nfile '%3'\noutpoint %4\n")
                   .arg(a)
                   .arg(in)
                   .arg(b)
                   .arg(out)
                   .toUtf8());
    return path;
}

// Prints the figures; false when a measurement failed.
inline bool measure(const QString& given) {
    const QString card = cameraCard(given);
    if (card.isEmpty()) {
        return false;
    }
    QList<QUrl> urls;
    RMVideoFileList::appendFolderToList(card, urls, 0);
    RMVideoFileList::instance()->loadFromList(urls);
    const QList<RMClipSource> sources =
        RMClipRange::sources(RMVideoFileList::instance()->allItems());
    if (sources.size() < 2 || sources[0].rear.isEmpty()) {
        std::fprintf(stderr, "the card needs two recordings with both channels\n");
        return false;
    }
    QTemporaryDir work(QDir::currentPath() + "/bench-clip-XXXXXX");
    const QString ours = work.path() + "/ours";
    const QString theirs = work.path() + "/ffmpeg";
    QDir().mkpath(ours);
    QDir().mkpath(theirs);
    // 40 s from 40 s into the first recording to 20 s into the second.
    const double in = 40.0;
    const double out = 20.0;
    RMExportJob job;
    job.parts =
        RMClipRange::resolve(sources, sources[0].start.addSecs(40), sources[0].start.addSecs(80));
    job.outDir = ours;
    job.gpx = false;
    job.threads = kThreads;
    job.replace = true;
    job.stamp = false;  // the command line draws none either
    if (job.parts.size() != 2) {
        std::fprintf(stderr, "the range does not cross the two recordings\n");
        return false;
    }
    const QString frontList =
        concatList(work.path() + "/front.txt", sources[0].front, sources[1].front, in, out);
    const QString rearList =
        concatList(work.path() + "/rear.txt", sources[0].rear, sources[1].rear, in, out);

    // Original quality, both channels.
    QElapsedTimer clock;
    clock.start();
    RMExportResult result = RMExportRunner(job).run();
    const double copy = clock.nsecsElapsed() / 1e9;
    if (!result.ok || result.files.size() != 2) {
        std::fprintf(stderr, "our cut failed: %s\n", qPrintable(result.error));
        return false;
    }
    clock.restart();
    const QString copyFront = theirs + "/front.mp4";
    const QString copyRear = theirs + "/rear.mp4";
    if (!run("ffmpeg", {"-v", "error", "-nostdin", "-y", "-f", "concat", "-safe", "0", "-i",
                        frontList, "-c", "copy", copyFront}) ||
        !run("ffmpeg", {"-v", "error", "-nostdin", "-y", "-f", "concat", "-safe", "0", "-i",
                        rearList, "-c", "copy", copyRear}) ||
        !run("sync", {copyFront, copyRear})) {
        return false;
    }
    const double ffmpegCopy = clock.nsecsElapsed() / 1e9;
    const int copyOurs = videoPackets(result.files.first());
    const int copyTheirs = videoPackets(copyFront);
    std::printf("cut: ours %.3f s, ffmpeg -c copy %.3f s; %d and %d pictures\n", copy, ffmpegCopy,
                copyOurs, copyTheirs);
    if (copyOurs < 0 || copyTheirs < 0 || qAbs(copyOurs - copyTheirs) > 2) {
        std::fprintf(stderr, "the cuts differ in their pictures\n");
        return false;
    }

    // Front with the rear inset.
    job.layout = RMExportJob::LAYOUT_INSET;
    clock.restart();
    result = RMExportRunner(job).run();
    const double inset = clock.nsecsElapsed() / 1e9;
    if (!result.ok || result.files.size() != 1) {
        std::fprintf(stderr, "our inset failed: %s\n", qPrintable(result.error));
        return false;
    }
    const QSize front(1920, 1080);
    const QRect r = RMClipComposer::rearRect(job, front, front);
    const QString filter = QString("[1:v]scale=%1:%2[r];[0:v][r]overlay=x=%3:y=%4")
                               .arg(r.width())
                               .arg(r.height())
                               .arg(r.x())
                               .arg(r.y());
    const QString insetTheirs = theirs + "/inset.mp4";
    clock.restart();
    if (!run("ffmpeg", {"-v",
                        "error",
                        "-nostdin",
                        "-y",
                        "-f",
                        "concat",
                        "-safe",
                        "0",
                        "-i",
                        frontList,
                        "-f",
                        "concat",
                        "-safe",
                        "0",
                        "-i",
                        rearList,
                        "-filter_complex",
                        filter,
                        "-map",
                        "0:a?",
                        "-c:a",
                        "copy",
                        "-c:v",
                        "libx264",
                        "-preset",
                        "veryfast",
                        "-crf",
                        "20",
                        "-threads",
                        QString::number(kThreads),
                        "-pix_fmt",
                        "yuv420p",
                        insetTheirs}) ||
        !run("sync", {insetTheirs})) {
        return false;
    }
    const double ffmpegInset = clock.nsecsElapsed() / 1e9;
    const int insetOurs = videoPackets(result.files.first());
    const int insetTheirsCount = videoPackets(insetTheirs);
    std::printf("inset: ours %.3f s, ffmpeg %.3f s; %d and %d pictures\n", inset, ffmpegInset,
                insetOurs, insetTheirsCount);
    if (insetOurs <= 0 || insetTheirsCount <= 0 || qAbs(insetOurs - insetTheirsCount) > 2) {
        std::fprintf(stderr, "the inset videos differ in their pictures\n");
        return false;
    }
    std::printf(
        "copy_s=%.3f ffmpeg_copy_s=%.3f copy_ratio=%.2f inset_s=%.3f ffmpeg_inset_s=%.3f "
        "inset_ratio=%.2f inset_fps=%.1f\n",
        copy, ffmpegCopy, ffmpegCopy / copy, inset, ffmpegInset, ffmpegInset / inset,
        insetOurs / inset);
    return true;
}

}  // namespace bench_clip
