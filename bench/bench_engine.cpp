// Figures for the media engine on two 1080p30 H.264 recordings of 60 s with
// a 1 s GOP (made with orvin-make-card unless given):
//   bench-engine [--card DIR | --front FILE --rear FILE] [--seconds S] [--seeks N]
// - decode: one player decoding as fast as it can (its clock set far ahead,
//   so every frame is due at once) against `ffmpeg -threads 2 -an -f null`;
// - dual playback: two players with null outputs on one shared clock, as the
//   controller drives them (500 ms synchronisation, skip count 4 x speed from
//   2x), at 1x, 2x and 4x: frames shown per frame due, frames dropped, the
//   time between the two channels presenting the same timestamp, CPU time,
//   and at 4x the longest gap between pictures;
// - seeks: random seeks of both paused players, from the request to the
//   moment both have presented the frame at the target;
// - the peak resident memory during dual playback.
// Last line: decode_ratio=R shown_1x=A shown_2x=B shown_4x=C skew_p50_ms=S50
// skew_p99_ms=S99 cpu_1x=U seek_p50_ms=P seek_p95_ms=Q rss_mb=M
// (skews are the worst of the three speeds; cpu_1x is in cores).
#include <sys/resource.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <mutex>
#include <vector>

#include "engine/audio_output.h"
#include "engine/av_clock.h"
#include "engine/av_player.h"
#include "engine/null_renderer.h"

namespace {

int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double rssMb() {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
        }
    }
    return 0;
}

template <typename Predicate>
bool waitUntil(Predicate done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        QThread::usleep(500);
    }
    return true;
}

double percentile(std::vector<double> values, double p) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, size_t(p / 100.0 * (values.size() - 1) + 0.5));
    return values[index];
}

// Every frame an output received: its timestamp and when it arrived.
class Track {
public:
    struct Shown {
        double pts;
        int64_t ns;
    };
    NullRenderer output{[this](const VideoFrame& frame) {
        if (frame.isValid()) {
            const Shown shown{frame.timestamp(), nowNs()};
            std::lock_guard<std::mutex> lock(mutex_);
            shown_.push_back(shown);
        }
    }};
    std::vector<Shown> take() {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<Shown> taken;
        taken.swap(shown_);
        return taken;
    }
    // When a frame with this timestamp arrived after `since`, or -1.
    int64_t arrival(double pts, double tolerance, int64_t since) {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const Shown& shown : shown_) {
            if (shown.ns >= since && std::abs(shown.pts - pts) <= tolerance) {
                return shown.ns;
            }
        }
        return -1;
    }

private:
    std::mutex mutex_;
    std::vector<Shown> shown_;  // guarded by mutex_
};

bool load(AVPlayer& player, const QString& file) {
    player.setFile(file);
    return player.load() &&
           waitUntil([&] { return player.mediaStatus() != LoadingMedia; }, 30000) &&
           player.isLoaded();
}

bool run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    return process.waitForFinished(-1) && process.exitCode() == 0;
}

// Seconds for ffmpeg to decode the video of `file` with two threads.
double ffmpegDecodeSeconds(const QString& file) {
    QElapsedTimer clock;
    clock.start();
    if (!run("ffmpeg", {"-nostdin", "-loglevel", "error", "-threads", "2", "-i", file, "-an", "-f",
                        "null", "-"})) {
        return -1;
    }
    return clock.nsecsElapsed() / 1e9;
}

// Seconds for one player to show every frame of `file` with no waiting.
double engineDecodeSeconds(const QString& file, int* frames) {
    Track track;
    AVPlayer player;
    player.setRenderer(&track.output);
    player.setAudioStream(-1);
    if (!load(player, file)) {
        return -1;
    }
    player.masterClock()->setClockAuto(false);
    player.masterClock()->setClockType(AVClock::ExternalClock);
    QElapsedTimer clock;
    clock.start();
    player.play();
    player.masterClock()->updateExternalClock(1000LL * 1000 * 1000);
    if (!waitUntil([&] { return player.mediaStatus() == EndOfMedia; }, 600000)) {
        return -1;
    }
    const double seconds = clock.nsecsElapsed() / 1e9;
    *frames = int(track.take().size());
    return seconds;
}

struct DualResult {
    double shown = 0;  // frames shown per frame due, both channels
    int due = 0;
    int dropped = 0;
    double skewP50 = 0;
    double skewP99 = 0;
    double cpu = 0;       // CPU seconds
    double cpuCores = 0;  // CPU seconds per second
    double maxGapMs = 0;
    double wall = 0;
    double peakRssMb = 0;
};

// Two players on one clock as the controller drives them.
class Dual {
public:
    Dual() {
        rear.setPlayerID(1);
        rear.audio()->setBackends(QStringList());
        rear.audio()->setMute(true);
        front.setMediaEndAction(MediaEndAction_KeepDisplay);
        rear.setMediaEndAction(MediaEndAction_KeepDisplay);
        front.setSeekType(AnyFrameSeek);
        rear.setSeekType(AnyFrameSeek);
        front.setRenderer(&frontTrack.output);
        rear.setRenderer(&rearTrack.output);
        shared.setClockType(AVClock::ExternalClock);
        QObject::connect(&sync, &QTimer::timeout, [this] {
            if (shared.isActive()) {
                front.masterClock()->updateExternalClock(shared);
                rear.masterClock()->updateExternalClock(shared);
            }
        });
    }

    bool start(const QString& frontFile, const QString& rearFile, double speed) {
        if (!load(front, frontFile) || !load(rear, rearFile)) {
            return false;
        }
        front.setFixedDuration(quint64(front.duration()));
        rear.setFixedDuration(quint64(front.duration()));
        rear.setAudioStream(-1);
        shared.reset();
        for (AVPlayer* player : {&front, &rear}) {
            player->masterClock()->setClockAuto(false);
            player->masterClock()->setClockType(AVClock::ExternalClock);
            player->masterClock()->updateExternalClock(shared);
            player->setSpeed(speed);
        }
        shared.setSpeed(speed);
        front.setSkipCount(speed >= 1.01 ? 4 * int(speed) : 0);
        front.play();
        rear.play();
        shared.start();
        sync.start(500);
        return true;
    }

    void stop() {
        sync.stop();
        front.stop();
        rear.stop();
        shared.reset();
        front.setSkipCount(0);
    }

    Track frontTrack;
    Track rearTrack;
    AVClock shared;
    AVPlayer front;
    AVPlayer rear;
    QTimer sync;
};

DualResult dualPlayback(const QString& frontFile, const QString& rearFile, double speed,
                        double seconds, double interval) {
    DualResult result;
    Dual dual;
    const double cpu0 = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    if (!dual.start(frontFile, rearFile, speed)) {
        return result;
    }
    while (wall.elapsed() < seconds * 1000) {
        waitUntil([] { return false; }, 100);
        result.peakRssMb = std::max(result.peakRssMb, rssMb());
    }
    const double mediaTime = dual.shared.value();
    result.wall = wall.nsecsElapsed() / 1e9;
    result.cpu = cpuSeconds() - cpu0;
    result.cpuCores = result.cpu / result.wall;
    dual.stop();

    const std::vector<Track::Shown> a = dual.frontTrack.take();
    const std::vector<Track::Shown> b = dual.rearTrack.take();
    // Due: every frame whose time the clock has reached, in each channel.
    const int duePerChannel = int(std::floor(mediaTime / interval + 1e-6)) + 1;
    result.due = 2 * duePerChannel;
    auto shownUpTo = [&](const std::vector<Track::Shown>& shown) {
        return int(std::count_if(shown.begin(), shown.end(),
                                 [&](const Track::Shown& s) { return s.pts <= mediaTime + 1e-6; }));
    };
    const int shown = shownUpTo(a) + shownUpTo(b);
    result.shown = double(shown) / result.due;
    result.dropped = std::max(0, result.due - shown);

    std::map<int64_t, int64_t> frontAt;
    for (const Track::Shown& s : a) {
        frontAt[std::llround(s.pts * 1000)] = s.ns;
    }
    std::vector<double> skews;
    for (const Track::Shown& s : b) {
        const auto match = frontAt.find(std::llround(s.pts * 1000));
        if (match != frontAt.end()) {
            skews.push_back(std::abs(double(match->second - s.ns)) / 1e6);
        }
    }
    result.skewP50 = percentile(skews, 50);
    result.skewP99 = percentile(skews, 99);
    for (const std::vector<Track::Shown>* track : {&a, &b}) {
        for (size_t i = 1; i < track->size(); ++i) {
            result.maxGapMs =
                std::max(result.maxGapMs, ((*track)[i].ns - (*track)[i - 1].ns) / 1e6);
        }
    }
    return result;
}

// Latencies (ms) of random seeks of both paused players.
std::vector<double> seekLatencies(const QString& frontFile, const QString& rearFile, int count,
                                  double interval, int* failures) {
    std::vector<double> latencies;
    Dual dual;
    if (!dual.start(frontFile, rearFile, 1.0)) {
        return latencies;
    }
    waitUntil(
        [&] { return dual.front.displyedFrame().isValid() && dual.rear.displyedFrame().isValid(); },
        10000);
    dual.sync.stop();
    dual.shared.pause(true);
    dual.front.pause(true);
    dual.rear.pause(true);
    const qint64 last = dual.front.duration() - 1000;
    QRandomGenerator random(4242);
    for (int i = 0; i < count; ++i) {
        // A frame boundary, so "the frame at the target" is one frame.
        const qint64 target = std::llround(
            std::floor(random.bounded(double(last)) / 1000 / interval) * interval * 1000);
        const double pts = double(target) / 1000;
        const int64_t since = nowNs();
        dual.front.seek(target);
        dual.rear.seek(target);
        int64_t frontAt = -1;
        int64_t rearAt = -1;
        const bool landed = waitUntil(
            [&] {
                frontAt = dual.frontTrack.arrival(pts, interval / 2, since);
                rearAt = dual.rearTrack.arrival(pts, interval / 2, since);
                return frontAt >= 0 && rearAt >= 0;
            },
            5000);
        if (!landed) {
            ++*failures;
            continue;
        }
        latencies.push_back((std::max(frontAt, rearAt) - since) / 1e6);
        waitUntil([&] { return !dual.front.seek_exist() && !dual.rear.seek_exist(); }, 1000);
        dual.frontTrack.take();
        dual.rearTrack.take();
    }
    dual.stop();
    return latencies;
}

// The frame interval of a file, from the timestamps a short playback shows.
double frameInterval(const QString& file) {
    Track track;
    AVPlayer player;
    player.setRenderer(&track.output);
    player.setAudioStream(-1);
    if (!load(player, file)) {
        return 1.0 / 30;
    }
    player.play();
    player.masterClock()->updateExternalClock(1000);
    waitUntil([&] { return track.output.frameCount() > 20; }, 10000);
    player.stop();
    std::vector<double> deltas;
    const std::vector<Track::Shown> shown = track.take();
    for (size_t i = 1; i < shown.size(); ++i) {
        if (shown[i].pts > shown[i - 1].pts) {
            deltas.push_back(shown[i].pts - shown[i - 1].pts);
        }
    }
    return deltas.empty() ? 1.0 / 30 : percentile(deltas, 50);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({"card", "Card folder made with orvin-make-card (made when absent).", "dir"});
    parser.addOption({"front", "Front recording (instead of a card).", "file"});
    parser.addOption({"rear", "Rear recording (instead of a card).", "file"});
    parser.addOption({"seconds", "Seconds of dual playback per speed (default 20).", "s", "20"});
    parser.addOption({"seeks", "Number of random seeks (default 50).", "n", "50"});
    parser.process(app);

    QString frontFile = parser.value("front");
    QString rearFile = parser.value("rear");
    if (frontFile.isEmpty() || rearFile.isEmpty()) {
        QString card = parser.value("card");
        if (card.isEmpty()) {
            card =
                QDir::cleanPath(QCoreApplication::applicationDirPath() + "/../bench-engine-card");
        }
        QDir dcim(card + "/DCIM");
        if (dcim.entryList({"*_1.mp4"}).isEmpty()) {
            std::printf("making two 1080p30 recordings of 60 s in %s...\n", qPrintable(card));
            std::fflush(stdout);
            const QString maker = QCoreApplication::applicationDirPath() + "/orvin-make-card";
            if (!run(maker,
                     {card, "--recordings", "1", "--seconds", "60", "--gop", "30", "--front-size",
                      "1920x1080", "--rear-size", "1920x1080", "--quiet", "--force"})) {
                std::fprintf(stderr, "cannot make the recordings with %s\n", qPrintable(maker));
                return 1;
            }
            dcim.refresh();
        }
        const QStringList fronts = dcim.entryList({"*_1.mp4"});
        const QStringList rears = dcim.entryList({"*_2.mp4"});
        if (fronts.isEmpty() || rears.isEmpty()) {
            std::fprintf(stderr, "no recordings in %s\n", qPrintable(dcim.path()));
            return 1;
        }
        frontFile = dcim.filePath(fronts.first());
        rearFile = dcim.filePath(rears.first());
    }
    const double seconds = parser.value("seconds").toDouble();
    const int seeks = parser.value("seeks").toInt();
    std::printf("front %s\nrear  %s\n", qPrintable(frontFile), qPrintable(rearFile));

    // Decode throughput: alternate runs, best of three each.
    double ffmpegBest = 1e9;
    double engineBest = 1e9;
    int frames = 0;
    for (int i = 0; i < 3; ++i) {
        const double f = ffmpegDecodeSeconds(frontFile);
        const double e = engineDecodeSeconds(frontFile, &frames);
        if (f > 0) {
            ffmpegBest = std::min(ffmpegBest, f);
        }
        if (e > 0) {
            engineBest = std::min(engineBest, e);
        }
    }
    const double decodeRatio = ffmpegBest / engineBest;
    std::printf("decode: ffmpeg %.2f s, engine %.2f s for %d frames (%.0f fps), ratio %.2f\n",
                ffmpegBest, engineBest, frames, frames / engineBest, decodeRatio);

    const double interval = frameInterval(frontFile);
    AVPlayer probe;
    load(probe, frontFile);
    const double mediaSeconds = probe.duration() / 1000.0;
    probe.stop();

    std::map<int, DualResult> results;
    double worstP50 = 0;
    double worstP99 = 0;
    double peakRss = 0;
    for (int speed : {1, 2, 4}) {
        // The files last 60 s: at 4x that is 15 s of playback, not 20.
        const double wall = std::min(seconds, (mediaSeconds - 1.0) / speed);
        const DualResult r = dualPlayback(frontFile, rearFile, speed, wall, interval);
        results[speed] = r;
        worstP50 = std::max(worstP50, r.skewP50);
        worstP99 = std::max(worstP99, r.skewP99);
        peakRss = std::max(peakRss, r.peakRssMb);
        std::printf(
            "dual %dx for %.1f s: shown/due %.3f (%d due, %d dropped), skew p50 %.2f ms p99 %.2f "
            "ms, CPU %.2f s (%.2f cores), longest gap %.0f ms, peak RSS %.0f MB\n",
            speed, r.wall, r.shown, r.due, r.dropped, r.skewP50, r.skewP99, r.cpu, r.cpuCores,
            r.maxGapMs, r.peakRssMb);
        std::fflush(stdout);
    }

    int failures = 0;
    const std::vector<double> latencies =
        seekLatencies(frontFile, rearFile, seeks, interval, &failures);
    const double seekP50 = percentile(latencies, 50);
    const double seekP95 = percentile(latencies, 95);
    std::printf("seeks: %zu landed, %d did not; p50 %.1f ms, p95 %.1f ms, worst %.1f ms\n",
                latencies.size(), failures, seekP50, seekP95, percentile(latencies, 100));

    std::printf(
        "decode_ratio=%.2f shown_1x=%.3f shown_2x=%.3f shown_4x=%.3f skew_p50_ms=%.2f "
        "skew_p99_ms=%.2f cpu_1x=%.2f seek_p50_ms=%.1f seek_p95_ms=%.1f rss_mb=%.0f\n",
        decodeRatio, results[1].shown, results[2].shown, results[4].shown, worstP50, worstP99,
        results[1].cpuCores, seekP50, seekP95, peakRss);
    return 0;
}
