// Figures for recovering a recording cut off by a power loss, and for the
// recovery offer's scan of a card:
//   bench-recover [--card DIR] [--work DIR] [--card-fs DIR]
// The recording is a 60 s front file of the camera profile (1920x1080,
// 30 fps, High profile at 12 Mbit/s, with sound and sensor tracks), made
// with orvin-make-card (or the first front file of the given card). It is
// cut in the middle of the picture at 45 s, with the media data's size
// zeroed as the camera leaves it; the uncut file serves as the reference.
// As on a real card, the cut file lies on one file system (--card-fs, by
// default /dev/shm, a tmpfs standing in for the card) and the output goes
// to another (--work), so the kernel cannot copy between them. Recovery
// (walk, index, copy, flush, rename) runs three times, and so does cp
// followed by sync of the same bytes on the same path; the best time of
// each counts. A dry run (walk only) runs three times too, best counts.
// The offer's scan: the cut-off files of a card of 1,000 tiny 60 s
// recordings (front and rear, none cut off), best of three, in ms.
// Last line: frames_ratio=F recover_mb_s=R cp_mb_s=C ratio=Q dry_run_ms=D
//            offer_scan_ms_per_1000=S (one line)
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>

#include "mp4/rm_mp4_index.h"
#include "recovery/rm_recovery.h"

namespace {
constexpr double kCutSeconds = 45.0;

bool run(const QString& program, const QStringList& arguments, int timeoutMs = 1800000) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    return process.waitForFinished(timeoutMs) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

int fail(const char* message) {
    std::fprintf(stderr, "bench-recover: %s\n", message);
    return 1;
}

QString firstFrontFile(const QString& card) {
    QStringList found;
    QDir dir(card);
    for (const QString& sub : {QString("DCIM"), QString("DCIM/1"), QString(".")}) {
        for (const QString& name :
             QDir(dir.filePath(sub)).entryList({"*_1.mp4", "*_1.MP4"}, QDir::Files, QDir::Name)) {
            found << QDir(dir.filePath(sub)).filePath(name);
        }
    }
    return found.value(0);
}
QString makeRecording(const QString& folder) {
    std::printf("making a 60 s recording of the camera profile...\n");
    std::fflush(stdout);
    const QString maker = QCoreApplication::applicationDirPath() + "/orvin-make-card";
    if (!run(maker, {folder, "--recordings", "1", "--seconds", "60", "--profile", "camera",
                     "--no-rear", "--quiet"})) {
        return QString();
    }
    return folder;
}

// A card of 1,000 recordings (front and rear): one tiny recording made,
// then copied under the names of the others. Empty when it cannot be made.
QString makeScanCard(const QString& folder) {
    std::printf("making a 1000-recording tiny card...\n");
    std::fflush(stdout);
    const QString maker = QCoreApplication::applicationDirPath() + "/orvin-make-card";
    const QString one = folder + "-one";
    if (!run(maker, {one, "--recordings", "1", "--seconds", "60", "--tiny", "--quiet"})) {
        return QString();
    }
    const QString front = firstFrontFile(one);
    QString rear = front;
    rear.replace("_1.mp4", "_2.mp4");
    if (front.isEmpty() || !QFileInfo::exists(rear) || !QDir().mkpath(folder + "/DCIM")) {
        return QString();
    }
    for (int i = 0; i < 1000; ++i) {
        const QString name = QString("%1/DCIM/NNF_240517-%2%3%4-%5")
                                 .arg(folder)
                                 .arg(10 + i / 3600, 2, 10, QChar('0'))
                                 .arg(i / 60 % 60, 2, 10, QChar('0'))
                                 .arg(i % 60, 2, 10, QChar('0'))
                                 .arg(i + 1, 6, 10, QChar('0'));
        if (!QFile::copy(front, name + "_1.mp4") || !QFile::copy(rear, name + "_2.mp4")) {
            return QString();
        }
    }
    QDir(one).removeRecursively();
    return folder;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules("*.info=false");
    QCommandLineParser parser;
    parser.addOption({"card", "Card whose first front file is used (made when absent).", "dir"});
    parser.addOption({"work", "Folder for the output and temporary files.", "dir"});
    parser.addOption({"card-fs", "Folder on another file system for the cut file (the card).",
                      "dir", "/dev/shm"});
    parser.process(app);

    const QString workRoot = parser.isSet("work") ? parser.value("work") : QDir::currentPath();
    QTemporaryDir work(workRoot + "/bench-recover-XXXXXX");
    if (!work.isValid()) {
        return fail("cannot create the work folder");
    }
    const QString card =
        parser.isSet("card") ? parser.value("card") : makeRecording(work.filePath("card"));
    const QString source = card.isEmpty() ? QString() : firstFrontFile(card);
    if (source.isEmpty()) {
        return fail("no recording to work on");
    }
    RMMp4Index index;
    if (!index.open(source) || !index.isComplete() || !index.mdat()) {
        return fail("the recording cannot be read");
    }
    const RMMp4Index::Track* video = nullptr;
    for (const RMMp4Index::Track& t : index.tracks()) {
        video = t.kind == RMMp4Index::KIND_VIDEO ? &t : video;
    }
    // The picture shown at 45 s, cut in its middle.
    quint64 ticks = 0;
    size_t frame = 0;
    while (video && frame < video->durations.size() &&
           ticks < quint64(kCutSeconds * video->timeScale)) {
        ticks += video->durations[frame++];
    }
    if (!video || frame >= video->sizes.size()) {
        return fail("the recording is shorter than the cut");
    }
    const qint64 cut = qint64(video->offsets[frame] + video->sizes[frame] / 2);
    const int whole = int(frame);

    QTemporaryDir cardFs(parser.value("card-fs") + "/bench-recover-card-XXXXXX");
    if (!cardFs.isValid()) {
        return fail("cannot create the card folder (--card-fs)");
    }
    const QString cutFolder = cardFs.filePath("cut");
    QDir().mkpath(cutFolder);
    const QString cutPath = cutFolder + "/" + QFileInfo(source).fileName();
    {
        QFile in(source);
        QFile out(cutPath);
        if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly)) {
            return fail("cannot make the cut file");
        }
        QByteArray bytes = in.read(cut);
        for (int i = 0; i < 4; ++i) {
            bytes[int(index.mdat()->pos) + i] = 0;
        }
        if (bytes.size() != cut || out.write(bytes) != cut) {
            return fail("cannot make the cut file");
        }
    }
    const double mb = cut / 1e6;
    std::printf("recording: %s, %.1f MB, cut at %.1f s (%.1f MB, %d whole pictures)\n",
                qPrintable(QFileInfo(source).fileName()), QFileInfo(source).size() / 1e6,
                kCutSeconds, mb, whole);
    run("cat", {cutPath, source, "/dev/null"});

    double dryMs = 1e12;
    double recoverSeconds = 1e12;
    double cpSeconds = 1e12;
    int frames = -1;
    qint64 written = 0;
    QElapsedTimer clock;
    for (int round = 0; round < 3; ++round) {
        RMRecovery dry;
        clock.start();
        const RMRecovery::Result d = dry.recover(cutPath, source, QString(), true);
        dryMs = qMin(dryMs, double(clock.nsecsElapsed()) / 1e6);
        if (!d.recovered) {
            return fail(qPrintable("the dry run failed: " + d.message));
        }

        const QString outFolder = work.filePath("out");
        QDir(outFolder).removeRecursively();
        run("sync", {});
        RMRecovery recovery;
        clock.restart();
        const RMRecovery::Result r = recovery.recover(cutPath, source, outFolder, false);
        recoverSeconds = qMin(recoverSeconds, double(clock.nsecsElapsed()) / 1e9);
        if (!r.recovered) {
            return fail(qPrintable("the recovery failed: " + r.message));
        }
        if (frames >= 0 && frames != r.videoFrames) {
            return fail("the rounds recovered different numbers of pictures");
        }
        frames = r.videoFrames;
        written = QFileInfo(r.output).size();
        if (round == 0) {
            std::printf("%s\n", qPrintable(r.message));
        }

        const QString cpTarget = work.filePath("cp");
        QDir(cpTarget).removeRecursively();
        QDir().mkpath(cpTarget);
        run("sync", {});
        clock.restart();
        if (!run("cp", {cutPath, cpTarget + "/"}) || !run("sync", {})) {
            return fail("cp or sync failed");
        }
        cpSeconds = qMin(cpSeconds, double(clock.nsecsElapsed()) / 1e9);
    }
    if (whole <= 0 || recoverSeconds <= 0 || cpSeconds <= 0) {
        return fail("no measurement");
    }
    // The offer's scan, on a card with nothing cut off.
    const QString scanCard = makeScanCard(work.filePath("scan"));
    if (scanCard.isEmpty()) {
        return fail("cannot make the 1000-recording card");
    }
    double scanMs = 1e12;
    for (int round = 0; round < 3; ++round) {
        clock.restart();
        const QStringList cutOff = RMRecovery::cutOffFiles(scanCard);
        scanMs = qMin(scanMs, double(clock.nsecsElapsed()) / 1e6);
        if (!cutOff.isEmpty()) {
            return fail("the scan found cut-off files on a healthy card");
        }
    }
    // Throughput of the output written, against cp and sync of the cut file.
    const double recoverRate = written / 1e6 / recoverSeconds;
    const double cpRate = mb / cpSeconds;
    std::printf(
        "recovery: %.1f MB written in %.3f s (walk, index, copy, flush, rename); "
        "cp+sync: %.3f s; dry run %.0f ms; best of 3 rounds each\n",
        written / 1e6, recoverSeconds, cpSeconds, dryMs);
    std::printf("offer scan: 1000 recordings (2000 files), best of 3, warm cache\n");
    std::printf(
        "frames_ratio=%.3f recover_mb_s=%.1f cp_mb_s=%.1f ratio=%.2f dry_run_ms=%.0f "
        "offer_scan_ms_per_1000=%.0f\n",
        double(frames) / whole, recoverRate, cpRate, recoverRate / cpRate, dryMs, scanMs);
    return 0;
}
