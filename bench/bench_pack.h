#pragma once

// The evidence pack run of bench-export: a pack of a 40 s range crossing two
// camera-like 60 s recordings, timed against the same work done with
// standard tools in the same run, one after the other: `cp` of the original
// files the range touches (then `sync`, since ours are flushed and read
// back), `sha256sum` of them, and ffmpeg's inset job (the same scale,
// overlay, encoder, preset, CRF and thread count). Ours does more (the
// original-quality cut, the stamp, stills, the report); it overlaps the
// copies, the hashing and the encoding. The pack must pass `sha256sum -c`;
// a failing tool fails the run.
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

#include "bench_clip.h"
#include "export/rm_clip_composer.h"
#include "export/rm_evidence_pack.h"

namespace bench_pack {

inline QStringList insetArguments(const QString& frontList, const QString& rearList,
                                  const QString& target) {
    const QSize front(1920, 1080);
    RMExportJob job;
    const QRect r = RMClipComposer::rearRect(job, front, front);
    const QString filter = QString("[1:v]scale=%1:%2[r];[0:v][r]overlay=x=%3:y=%4")
                               .arg(r.width())
                               .arg(r.height())
                               .arg(r.x())
                               .arg(r.y());
    return {"-v",
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
            QString::number(bench_clip::kThreads),
            "-pix_fmt",
            "yuv420p",
            target};
}

// Prints the figures; false when a measurement failed.
inline bool measure(const QString& given) {
    const QString card = bench_clip::cameraCard(given);
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
    QTemporaryDir work(QDir::currentPath() + "/bench-pack-XXXXXX");
    const QString ours = work.path() + "/ours";
    const QString theirs = work.path() + "/standard";
    QDir().mkpath(theirs + "/original");
    RMExportJob job;
    job.layout = RMExportJob::LAYOUT_EVIDENCE;
    job.parts =
        RMClipRange::resolve(sources, sources[0].start.addSecs(40), sources[0].start.addSecs(80));
    job.at = sources[0].start.addSecs(60);
    job.outDir = ours;
    job.cardRoot = card;
    job.threads = bench_clip::kThreads;
    if (job.parts.size() != 2) {
        std::fprintf(stderr, "the range does not cross the two recordings\n");
        return false;
    }

    QElapsedTimer clock;
    clock.start();
    const RMExportResult result = RMEvidencePack(job).run();
    const double pack = clock.nsecsElapsed() / 1e9;
    if (!result.ok) {
        std::fprintf(stderr, "our pack failed: %s\n", qPrintable(result.error));
        return false;
    }
    QProcess check;
    check.setWorkingDirectory(result.files.first());
    check.start("sha256sum", {"-c", "--quiet", "SHA256SUMS"});
    if (!check.waitForFinished(-1) || check.exitCode() != 0) {
        std::fprintf(stderr, "the pack does not pass sha256sum -c\n");
        return false;
    }

    const QStringList originals = RMEvidencePack::originals(job);
    QStringList copies;
    for (const QString& file : originals) {
        copies << theirs + "/original/" + QFileInfo(file).fileName();
    }
    const QString frontList = bench_clip::concatList(work.path() + "/front.txt", sources[0].front,
                                                     sources[1].front, 40.0, 20.0);
    const QString rearList = bench_clip::concatList(work.path() + "/rear.txt", sources[0].rear,
                                                    sources[1].rear, 40.0, 20.0);
    const QString inset = theirs + "/inset.mp4";
    clock.restart();
    if (!bench_clip::run("cp", QStringList{"--preserve=timestamps"} + originals +
                                   QStringList{theirs + "/original/"}) ||
        !bench_clip::run("sync", copies) || !bench_clip::run("sha256sum", copies) ||
        !bench_clip::run("ffmpeg", insetArguments(frontList, rearList, inset)) ||
        !bench_clip::run("sync", {inset})) {
        return false;
    }
    const double standard = clock.nsecsElapsed() / 1e9;
    std::printf("pack: ours %.3f s; cp, sha256sum and ffmpeg's inset %.3f s\n", pack, standard);
    std::printf("pack_s=%.3f standard_s=%.3f pack_ratio=%.2f\n", pack, standard, standard / pack);
    return true;
}

}  // namespace bench_pack
