// Figures for the media engine on two camera-like 1080p30 H.264 recordings
// of 90 s with a 1 s GOP: High profile with CABAC at 12 Mbit/s (front) and
// 8 Mbit/s (rear) with grain in every picture, as costly to decode as real
// footage (made with `orvin-make-card --profile camera` unless given):
//   bench-engine [--card DIR | --front FILE --rear FILE] [--seconds S] [--seeks N]
// - content cost: `ffmpeg -threads 1 -an -f null` on the front file, in
//   frames per second;
// - decode: one player decoding as fast as it can (its clock kept two frames
//   ahead of the newest picture, so every frame is due at once and none is
//   far enough behind to be skipped; timed from before it opens the file)
//   against `ffmpeg -threads 2 -an -f null`; both must count the same frames;
// - dual playback: two players with null outputs on one shared clock, as the
//   controller drives them (started once both have their first pictures,
//   500 ms synchronisation, skip count 4 x speed from 2x), at 1x, 2x and
//   4x: frames shown per frame due, frames dropped, the time between the two channels presenting
//   the same timestamp (per speed, over the pairs of frames both presented; at 1x and 2x at least
//   90% of the due pairs must be matched, at 4x, where pictures between key frames may be given up,
//   the count is printed), CPU time, and at 4x the longest gap between pictures;
// - the peak resident memory (VmHWM) during dual playback;
// - seeks: random seeks of both paused players, from the request to the
//   moment both have presented the frame at the target; a seek that does not
//   land within 5 s counts as 5 s; beside them the floor: the same files and
//   targets with plain libavformat and libavcodec (seek to the key frame
//   before the target, decode up to it), both channels in two threads, as
//   many decoding threads as the engine; two rounds of each, alternated, the
//   better round of each side counts;
// - last, the lag at 4x with one decoding thread per channel and the whole
//   process held to one core: how far the presented picture is behind the
//   shared clock, in milliseconds of real time (media time / 4).
// A figure whose measurement failed prints as "fail" with the reason, and the
// benchmark exits with 1; it never fails on speed.
// Last line: decode_ratio=R shown_1x=A shown_2x=B shown_4x=C skew_p50_ms=S50
// skew_p99_ms=S99 pairs_matched=N cpu_1x=U seek_p50_ms=P seek_floor_p50_ms=F
// seek_p95_ms=Q seek_floor_p95_ms=G seek_timeouts=T rss_mb=M lag_4x_1thread_ms=L
// (skews are the worst of the three speeds, pairs_matched their sum; cpu_1x
// is in cores).
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

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
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "engine/audio_output.h"
#include "engine/av_clock.h"
#include "engine/av_player.h"
#include "engine/decoder.h"
#include "engine/null_renderer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace {

constexpr int kSeekTimeoutMs = 5000;
constexpr double kMinMatchedPairs = 0.9;

int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double seconds(const timeval& t) {
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

double cpuSeconds(int who = RUSAGE_SELF) {
    rusage usage{};
    getrusage(who, &usage);
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// A field of /proc/self/status in MB, or -1.
double statusMb(const char* field) {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field)) {
            bool ok = false;
            const double kb =
                line.mid(int(qstrlen(field))).trimmed().split(' ').first().toDouble(&ok);
            return ok ? kb / 1024.0 : -1;
        }
    }
    return -1;
}

// Starts the peak resident memory (VmHWM) afresh; false when the kernel
// refuses, and the peak then counts from the start of the process.
bool resetPeakRss() {
    QFile refs("/proc/self/clear_refs");
    return refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
}

// Holds every thread of the process to one core (the one this thread runs
// on); threads started later inherit it from the thread that starts them.
// Returns the number of threads held, or -1.
int holdProcessToOneCore() {
    const int cpu = std::max(0, sched_getcpu());
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(cpu, &one);
    int held = 0;
    for (const QString& task :
         QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (sched_setaffinity(pid_t(task.toInt()), sizeof one, &one) == 0) {
            ++held;
        }
    }
    return held > 0 ? held : -1;
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

// A figure for the last line: the number, or "fail".
QString figure(const std::optional<double>& value, int decimals) {
    return value ? QString::number(*value, 'f', decimals) : QStringLiteral("fail");
}

// Every frame an output received: its timestamp, when it arrived and, when
// a clock is watched, the clock's value at that moment.
class Track {
public:
    struct Shown {
        double pts;
        int64_t ns;
        double clock;
    };
    NullRenderer output{[this](const VideoFrame& frame) {
        if (frame.isValid()) {
            const AVClock* watched = clock_;
            const Shown shown{frame.timestamp(), nowNs(), watched ? watched->value() : 0.0};
            std::lock_guard<std::mutex> lock(mutex_);
            shown_.push_back(shown);
        }
    }};
    // Set before the player starts.
    void watchClock(const AVClock* clock) { clock_ = clock; }
    std::vector<Shown> take() {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<Shown> taken;
        taken.swap(shown_);
        return taken;
    }
    // The timestamp of the newest frame, or -1.
    double lastPts() {
        std::lock_guard<std::mutex> lock(mutex_);
        return shown_.empty() ? -1 : shown_.back().pts;
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
    const AVClock* clock_ = nullptr;
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
    return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// One timed decoding run: wall and CPU seconds, and the frames decoded.
struct DecodeRun {
    bool ok = false;
    QString error;  // when not ok
    double wall = 0;
    double cpu = 0;
    int frames = 0;
};

// ffmpeg decoding the video of `file` on `threads` threads. Its frame count
// comes from its -progress report.
DecodeRun ffmpegDecode(const QString& file, int threads) {
    DecodeRun result;
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    const double cpu0 = cpuSeconds(RUSAGE_CHILDREN);
    QElapsedTimer clock;
    clock.start();
    process.start("ffmpeg",
                  {"-nostdin", "-nostats", "-loglevel", "error", "-progress", "pipe:1", "-threads",
                   QString::number(threads), "-i", file, "-an", "-f", "null", "-"});
    if (!process.waitForStarted(-1)) {
        result.error = QStringLiteral("ffmpeg cannot be started: ") + process.errorString();
        return result;
    }
    process.waitForFinished(-1);
    result.wall = clock.nsecsElapsed() / 1e9;
    result.cpu = cpuSeconds(RUSAGE_CHILDREN) - cpu0;
    const QString errors = QString::fromUtf8(process.readAllStandardError()).trimmed();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        result.error = QStringLiteral("ffmpeg failed (exit %1): %2")
                           .arg(process.exitCode())
                           .arg(errors.left(300));
        return result;
    }
    result.frames = -1;
    for (const QByteArray& line : process.readAllStandardOutput().split('\n')) {
        if (line.startsWith("frame=")) {
            bool ok = false;
            const int frames = line.mid(6).trimmed().toInt(&ok);
            result.frames = ok ? frames : -1;
        }
    }
    if (result.frames <= 0) {
        result.error = QStringLiteral("ffmpeg reported no frame count");
        return result;
    }
    result.ok = true;
    return result;
}

// One player showing every frame of `file` with no waiting, timed from
// before it opens the file, as ffmpeg's time includes its opening. The clock
// is kept two frames ahead of the newest picture: every frame is due at once,
// but never so far behind that the engine's catch-up stops decoding frames.
DecodeRun engineDecode(const QString& file) {
    DecodeRun result;
    std::atomic<int> shown{0};
    std::atomic<AVClock*> playerClock{nullptr};
    NullRenderer output([&](const VideoFrame& frame) {
        if (!frame.isValid()) {
            return;
        }
        ++shown;
        if (AVClock* c = playerClock.load()) {
            c->updateExternalClock(std::llround((frame.timestamp() + 2.0 / 30) * 1000));
        }
    });
    const double cpu0 = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    AVPlayer player;
    player.setRenderer(&output);
    player.setAudioStream(-1);
    if (!load(player, file)) {
        result.error = QStringLiteral("the player cannot load ") + file;
        return result;
    }
    player.masterClock()->setClockAuto(false);
    player.masterClock()->setClockType(AVClock::ExternalClock);
    // Paused, so the clock moves only when a picture arrives.
    player.masterClock()->pause(true);
    playerClock = player.masterClock();
    player.play();
    player.masterClock()->pause(true);
    player.masterClock()->updateExternalClock(70);
    if (!waitUntil([&] { return player.mediaStatus() == EndOfMedia; }, 600000)) {
        result.error = QStringLiteral("the player did not reach the end within 600 s");
        return result;
    }
    result.wall = clock.nsecsElapsed() / 1e9;
    result.cpu = cpuSeconds() - cpu0;
    result.frames = shown.load();
    result.ok = true;
    return result;
}

// Decode throughput: alternate runs, best of three each; every run on both
// sides must count `frames`. Empty on failure, with the reason.
std::optional<double> decodeRatio(const QString& file, int frames, QString* error) {
    double ffmpegBest = 1e9;
    double engineBest = 1e9;
    for (int i = 0; i < 3; ++i) {
        const DecodeRun f = ffmpegDecode(file, 2);
        const DecodeRun e = f.ok ? engineDecode(file) : DecodeRun();
        for (const DecodeRun* r : {&f, &e}) {
            if (!r->ok) {
                *error = r->error;
                return std::nullopt;
            }
            if (r->frames != frames) {
                *error = QStringLiteral(
                             "frame counts differ: %1 (ffmpeg -threads 1), %2 (ffmpeg "
                             "-threads 2), %3 (engine)")
                             .arg(frames)
                             .arg(f.frames)
                             .arg(e.frames);
                return std::nullopt;
            }
        }
        ffmpegBest = std::min(ffmpegBest, f.wall);
        engineBest = std::min(engineBest, e.wall);
    }
    std::printf(
        "decode: ffmpeg -threads 2 %.2f s, engine %.2f s for %d frames (%.0f fps), "
        "ratio %.2f\n",
        ffmpegBest, engineBest, frames, frames / engineBest, ffmpegBest / engineBest);
    return ffmpegBest / engineBest;
}

struct DualResult {
    bool ok = false;
    double shown = 0;  // frames shown per frame due, both channels
    int due = 0;
    int dropped = 0;
    int pairsDue = 0;      // timestamps due in both channels
    int pairsMatched = 0;  // of those, presented by both
    double skewP50 = 0;
    double skewP99 = 0;
    double cpu = 0;       // CPU seconds
    double cpuCores = 0;  // CPU seconds per second
    double maxGapMs = 0;
    double wall = 0;
    // Lag of the presented picture behind the shared clock, in ms of real
    // time: the worst over the run, over its first and over its last 5 s.
    double lagMs = 0;
    double lagFirstMs = 0;
    double lagLastMs = 0;
    double lagWindow = 0;  // seconds of each of those two spans
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
        // As the controller does, playback starts once both have their
        // first pictures (half a second at most).
        waitUntil([&] { return front.isPrerolled() && rear.isPrerolled(); }, 500);
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
    dual.frontTrack.watchClock(&dual.shared);
    dual.rearTrack.watchClock(&dual.shared);
    const double cpu0 = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    if (!dual.start(frontFile, rearFile, speed)) {
        return result;
    }
    const int64_t started = nowNs();
    // Lag samples (ns, ms) between frames: a picture that stays on while the
    // clock runs on lags too, beyond its own frame interval.
    std::vector<std::pair<int64_t, double>> lags;
    while (wall.elapsed() < seconds * 1000) {
        waitUntil([] { return false; }, 100);
        const double clock = dual.shared.value();
        for (Track* track : {&dual.frontTrack, &dual.rearTrack}) {
            const double last = track->lastPts();
            if (last >= 0) {
                lags.emplace_back(nowNs(), (clock - last - interval) / speed * 1000);
            }
        }
    }
    const double mediaTime = dual.shared.value();
    result.wall = wall.nsecsElapsed() / 1e9;
    result.cpu = cpuSeconds() - cpu0;
    result.cpuCores = result.cpu / result.wall;
    const int64_t stopped = nowNs();
    dual.stop();

    const std::vector<Track::Shown> a = dual.frontTrack.take();
    const std::vector<Track::Shown> b = dual.rearTrack.take();
    // Due: every frame whose time the clock has reached, in each channel.
    const int duePerChannel = int(std::floor(mediaTime / interval + 1e-6)) + 1;
    result.due = 2 * duePerChannel;
    result.pairsDue = duePerChannel;
    auto shownUpTo = [&](const std::vector<Track::Shown>& shown) {
        return int(std::count_if(shown.begin(), shown.end(),
                                 [&](const Track::Shown& s) { return s.pts <= mediaTime + 1e-6; }));
    };
    const int shown = shownUpTo(a) + shownUpTo(b);
    result.shown = double(shown) / result.due;
    result.dropped = std::max(0, result.due - shown);

    std::map<int64_t, int64_t> frontAt;
    for (const Track::Shown& s : a) {
        if (s.pts <= mediaTime + 1e-6) {
            frontAt.emplace(std::llround(s.pts * 1000), s.ns);
        }
    }
    std::vector<double> skews;
    std::map<int64_t, bool> matched;
    for (const Track::Shown& s : b) {
        const int64_t ms = std::llround(s.pts * 1000);
        const auto match = frontAt.find(ms);
        if (match != frontAt.end() && !matched[ms]) {
            matched[ms] = true;
            skews.push_back(std::abs(double(match->second - s.ns)) / 1e6);
        }
    }
    result.pairsMatched = int(skews.size());
    result.skewP50 = percentile(skews, 50);
    result.skewP99 = percentile(skews, 99);
    for (const std::vector<Track::Shown>* track : {&a, &b}) {
        for (size_t i = 1; i < track->size(); ++i) {
            result.maxGapMs =
                std::max(result.maxGapMs, ((*track)[i].ns - (*track)[i - 1].ns) / 1e6);
        }
        for (const Track::Shown& s : *track) {
            lags.emplace_back(s.ns, (s.clock - s.pts) / speed * 1000);
        }
    }
    // The first and the last 5 s, or halves of a shorter run.
    const int64_t window = std::min(int64_t(5e9), (stopped - started) / 2);
    result.lagWindow = window / 1e9;
    for (const auto& [ns, lag] : lags) {
        result.lagMs = std::max(result.lagMs, lag);
        if (ns < started + window) {
            result.lagFirstMs = std::max(result.lagFirstMs, lag);
        }
        if (ns >= stopped - window) {
            result.lagLastMs = std::max(result.lagLastMs, lag);
        }
    }
    result.ok = !a.empty() && !b.empty();
    return result;
}

struct SeekResult {
    bool ok = false;                // the players could be started and paused
    std::vector<double> latencies;  // ms; a timeout counts as kSeekTimeoutMs
    int timeouts = 0;
};

// The targets of the random seeks, in ms: frame boundaries, so "the frame
// at the target" is one frame, up to a second before the end.
std::vector<qint64> seekTargets(qint64 durationMs, int count, double interval) {
    const qint64 last = durationMs - 1000;
    QRandomGenerator random(4242);
    std::vector<qint64> targets;
    for (int i = 0; i < count; ++i) {
        targets.push_back(std::llround(std::floor(random.bounded(double(last)) / 1000 / interval) *
                                       interval * 1000));
    }
    return targets;
}

// One channel for the floor of a seek: plain libavformat and libavcodec,
// opened once, with as many decoding threads as the engine uses.
class FloorChannel {
public:
    ~FloorChannel() {
        av_packet_free(&packet_);
        av_frame_free(&frame_);
        avcodec_free_context(&codec_);
        avformat_close_input(&format_);
    }
    bool open(const QString& file) {
        const QByteArray path = QFile::encodeName(file);
        if (avformat_open_input(&format_, path.constData(), nullptr, nullptr) < 0 ||
            avformat_find_stream_info(format_, nullptr) < 0) {
            return false;
        }
        const AVCodec* codec = nullptr;
        stream_ = av_find_best_stream(format_, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
        if (stream_ < 0 || codec == nullptr) {
            return false;
        }
        codec_ = avcodec_alloc_context3(codec);
        packet_ = av_packet_alloc();
        frame_ = av_frame_alloc();
        if (codec_ == nullptr || packet_ == nullptr || frame_ == nullptr ||
            avcodec_parameters_to_context(codec_, format_->streams[stream_]->codecpar) < 0) {
            return false;
        }
        codec_->thread_count = Decoder::videoThreads();
        codec_->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
        return avcodec_open2(codec_, codec, nullptr) >= 0;
    }
    // Seeks to the key frame before `seconds` and decodes up to the frame at
    // it; false when that frame never comes.
    bool seek(double seconds, double interval) {
        const AVRational base = format_->streams[stream_]->time_base;
        const int64_t ts = std::llround(seconds * base.den / base.num);
        if (av_seek_frame(format_, stream_, ts, AVSEEK_FLAG_BACKWARD) < 0) {
            return false;
        }
        avcodec_flush_buffers(codec_);
        bool draining = false;
        for (;;) {
            const int got = avcodec_receive_frame(codec_, frame_);
            if (got == 0) {
                const double pts = double(frame_->best_effort_timestamp) * base.num / base.den;
                av_frame_unref(frame_);
                if (pts >= seconds - interval / 2) {
                    return true;
                }
                continue;
            }
            if (got != AVERROR(EAGAIN) || draining) {
                return false;
            }
            if (av_read_frame(format_, packet_) < 0) {
                draining = true;
                avcodec_send_packet(codec_, nullptr);
                continue;
            }
            if (packet_->stream_index == stream_) {
                avcodec_send_packet(codec_, packet_);
            }
            av_packet_unref(packet_);
        }
    }

private:
    AVFormatContext* format_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    int stream_ = -1;
};

// The floor of an exact seek of both channels: for each target, both files
// seek to the key frame before it and decode up to it, in two threads at
// once. Empty when a file cannot be opened or a target is not reached.
std::vector<double> seekFloor(const QString& frontFile, const QString& rearFile,
                              const std::vector<qint64>& targets, double interval, QString* error) {
    FloorChannel front;
    FloorChannel rear;
    if (!front.open(frontFile) || !rear.open(rearFile)) {
        *error = QStringLiteral("libavformat/libavcodec cannot open the files");
        return {};
    }
    std::vector<double> latencies;
    for (const qint64 target : targets) {
        const double seconds = double(target) / 1000;
        std::atomic<bool> ok{true};
        const int64_t since = nowNs();
        std::thread rearThread([&] { ok = rear.seek(seconds, interval) && ok; });
        const bool frontOk = front.seek(seconds, interval);
        rearThread.join();
        if (!frontOk || !ok) {
            *error = QStringLiteral("the plain decoder did not reach %1 s").arg(seconds);
            return {};
        }
        latencies.push_back((nowNs() - since) / 1e6);
    }
    return latencies;
}

// Latencies of random seeks of both paused players.
SeekResult seekLatencies(const QString& frontFile, const QString& rearFile,
                         const std::vector<qint64>& targets, double interval) {
    SeekResult result;
    Dual dual;
    if (!dual.start(frontFile, rearFile, 1.0) ||
        !waitUntil(
            [&] {
                return dual.front.displyedFrame().isValid() && dual.rear.displyedFrame().isValid();
            },
            10000)) {
        return result;
    }
    dual.sync.stop();
    dual.shared.pause(true);
    dual.front.pause(true);
    dual.rear.pause(true);
    for (const qint64 target : targets) {
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
            kSeekTimeoutMs);
        if (landed) {
            result.latencies.push_back((std::max(frontAt, rearAt) - since) / 1e6);
        } else {
            ++result.timeouts;
            result.latencies.push_back(kSeekTimeoutMs);
        }
        waitUntil([&] { return !dual.front.seek_exist() && !dual.rear.seek_exist(); }, 1000);
        dual.frontTrack.take();
        dual.rearTrack.take();
    }
    dual.stop();
    result.ok = true;
    return result;
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

// Makes the camera-like card when the folder holds none; the front and rear
// file, or empty strings.
std::pair<QString, QString> cardFiles(QString card) {
    if (card.isEmpty()) {
        card = QDir::cleanPath(QCoreApplication::applicationDirPath() +
                               "/../bench-engine-camera-card");
    }
    QDir dcim(card + "/DCIM");
    if (dcim.entryList({"*_1.mp4"}).isEmpty()) {
        std::printf("making two camera-like 1080p30 recordings of 90 s in %s (minutes)...\n",
                    qPrintable(card));
        std::fflush(stdout);
        const QString maker = QCoreApplication::applicationDirPath() + "/orvin-make-card";
        if (!run(maker, {card, "--recordings", "1", "--seconds", "90", "--gop", "30", "--profile",
                         "camera", "--quiet", "--force"})) {
            std::fprintf(stderr, "cannot make the recordings with %s\n", qPrintable(maker));
            return {};
        }
        dcim.refresh();
    }
    const QStringList fronts = dcim.entryList({"*_1.mp4"});
    const QStringList rears = dcim.entryList({"*_2.mp4"});
    if (fronts.isEmpty() || rears.isEmpty()) {
        std::fprintf(stderr, "no recordings in %s\n", qPrintable(dcim.path()));
        return {};
    }
    return {dcim.filePath(fronts.first()), dcim.filePath(rears.first())};
}

// Reports a failed measurement on both streams.
void failed(const QString& what) {
    std::printf("FAILED: %s\n", qPrintable(what));
    std::fprintf(stderr, "bench-engine: %s\n", qPrintable(what));
    std::fflush(stdout);
}

// The figures of the last line; an empty one failed.
struct Figures {
    bool ok = true;  // every measurement succeeded
    std::optional<double> decodeRatio;
    std::map<int, std::optional<double>> shown;  // by speed
    std::optional<double> skewP50 = 0.0;
    std::optional<double> skewP99 = 0.0;
    int pairsMatched = 0;
    int pairsDue = 0;
    std::optional<double> cpu1x;
    std::optional<double> seekP50;
    std::optional<double> seekP95;
    std::optional<double> seekTimeouts;
    std::optional<double> seekFloorP50;
    std::optional<double> seekFloorP95;
    std::optional<double> rssMb;
    std::optional<double> lag4x1Thread;

    void fail(const QString& why) {
        failed(why);
        ok = false;
    }

    QString lastLine() const {
        auto at = [this](int speed) {
            const auto it = shown.find(speed);
            return it != shown.end() ? it->second : std::nullopt;
        };
        return QStringLiteral(
                   "decode_ratio=%1 shown_1x=%2 shown_2x=%3 shown_4x=%4 skew_p50_ms=%5 "
                   "skew_p99_ms=%6 pairs_matched=%7 cpu_1x=%8 seek_p50_ms=%9 "
                   "seek_floor_p50_ms=%10 seek_p95_ms=%11 seek_floor_p95_ms=%12 seek_timeouts=%13 "
                   "rss_mb=%14 lag_4x_1thread_ms=%15")
            .arg(figure(decodeRatio, 2), figure(at(1), 3), figure(at(2), 3), figure(at(4), 3),
                 figure(skewP50, 2), figure(skewP99, 2), QString::number(pairsMatched),
                 figure(cpu1x, 2), figure(seekP50, 1))
            .arg(figure(seekFloorP50, 1), figure(seekP95, 1), figure(seekFloorP95, 1),
                 figure(seekTimeouts, 0), figure(rssMb, 0), figure(lag4x1Thread, 0));
    }
};

// What the content costs on one ffmpeg thread, then the decode ratio.
void measureDecode(const QString& file, Figures* f) {
    const DecodeRun oneThread = ffmpegDecode(file, 1);
    if (!oneThread.ok) {
        f->fail(oneThread.error);
        return;
    }
    std::printf(
        "content: ffmpeg -threads 1 decodes %d frames of the front file in %.2f s "
        "(%.0f frames/s; %.0f frames per CPU second)\n",
        oneThread.frames, oneThread.wall, oneThread.frames / oneThread.wall,
        oneThread.frames / std::max(1e-9, oneThread.cpu));
    std::fflush(stdout);
    QString error;
    f->decodeRatio = decodeRatio(file, oneThread.frames, &error);
    if (!f->decodeRatio) {
        f->fail(QStringLiteral("decode: ") + error);
    }
    std::fflush(stdout);
}

void measureDual(const QString& front, const QString& rear, double seconds, double mediaSeconds,
                 double interval, Figures* f) {
    for (int speed : {1, 2, 4}) {
        // Playback stops a second before the end of the files.
        const double wall = std::min(seconds, (mediaSeconds - 1.0) / speed);
        const DualResult r = dualPlayback(front, rear, speed, wall, interval);
        if (!r.ok) {
            f->fail(QStringLiteral("dual playback at %1x showed no pictures").arg(speed));
            f->skewP50.reset();
            f->skewP99.reset();
            continue;
        }
        f->shown[speed] = r.shown;
        if (speed == 1) {
            f->cpu1x = r.cpuCores;
        }
        f->pairsMatched += r.pairsMatched;
        f->pairsDue += r.pairsDue;
        std::printf(
            "dual %dx for %.1f s: shown/due %.3f (%d due, %d dropped), pairs matched %d of %d "
            "(%.1f%%), skew p50 %.2f ms p99 %.2f ms, CPU %.2f s (%.2f cores), longest gap %.0f "
            "ms, lag up to %.0f ms\n",
            speed, r.wall, r.shown, r.due, r.dropped, r.pairsMatched, r.pairsDue,
            100.0 * r.pairsMatched / std::max(1, r.pairsDue), r.skewP50, r.skewP99, r.cpu,
            r.cpuCores, r.maxGapMs, r.lagMs);
        std::fflush(stdout);
        // At 4x pictures between key frames may be given up by design, so
        // only the count of matched pairs is printed there.
        if (speed <= 2 && r.pairsMatched < kMinMatchedPairs * r.pairsDue) {
            f->fail(QStringLiteral("skew at %1x: only %2 of %3 due frame pairs were presented "
                                   "by both channels (90% needed)")
                        .arg(speed)
                        .arg(r.pairsMatched)
                        .arg(r.pairsDue));
            f->skewP50.reset();
            f->skewP99.reset();
        } else if (f->skewP50 && r.pairsMatched > 0) {
            f->skewP50 = std::max(*f->skewP50, r.skewP50);
            f->skewP99 = std::max(*f->skewP99, r.skewP99);
        }
    }
    std::printf("pairs matched over the three speeds: %d of %d due\n", f->pairsMatched,
                f->pairsDue);
}

void measurePeakRss(bool sinceReset, Figures* f) {
    const double hwm = statusMb("VmHWM:");
    if (hwm <= 0) {
        f->fail(QStringLiteral("no VmHWM in /proc/self/status"));
        return;
    }
    f->rssMb = hwm;
    std::printf("peak RSS (VmHWM) %s: %.0f MB\n",
                sinceReset ? "during dual playback" : "since the start (could not reset it)", hwm);
}

void measureSeeks(const QString& front, const QString& rear, int count, double mediaSeconds,
                  double interval, Figures* f) {
    const std::vector<qint64> targets = seekTargets(qint64(mediaSeconds * 1000), count, interval);
    // The floor first and the engine after it, twice over, each figure the
    // better of its two rounds, so that neither side alone meets a busy
    // moment of a shared machine.
    std::vector<double> floor[2];
    SeekResult seek[2];
    for (int round = 0; round < 2; ++round) {
        QString error;
        floor[round] = seekFloor(front, rear, targets, interval, &error);
        if (floor[round].empty()) {
            f->fail(QStringLiteral("seek floor: ") + error);
            return;
        }
        seek[round] = seekLatencies(front, rear, targets, interval);
        if (!seek[round].ok || seek[round].latencies.empty()) {
            f->fail(QStringLiteral("seeks: the paused players showed no picture"));
            return;
        }
    }
    const auto better = [](const std::vector<double>& a, const std::vector<double>& b) {
        return percentile(a, 50) <= percentile(b, 50) ? a : b;
    };
    const std::vector<double> floorBest = better(floor[0], floor[1]);
    const SeekResult& best =
        percentile(seek[0].latencies, 50) <= percentile(seek[1].latencies, 50) ? seek[0] : seek[1];
    f->seekP50 = percentile(best.latencies, 50);
    f->seekP95 = percentile(best.latencies, 95);
    f->seekTimeouts = best.timeouts;
    f->seekFloorP50 = percentile(floorBest, 50);
    f->seekFloorP95 = percentile(floorBest, 95);
    std::printf(
        "seek floor (libavformat + libavcodec, %d decoding threads per channel, both channels "
        "in two threads): %zu seeks, p50 %.1f ms, p95 %.1f ms (rounds: p50 %.1f and %.1f ms)\n",
        Decoder::videoThreads(), floorBest.size(), *f->seekFloorP50, *f->seekFloorP95,
        percentile(floor[0], 50), percentile(floor[1], 50));
    std::printf(
        "seeks: %zu, %d timed out (counted as %d ms); p50 %.1f ms (%.2f x the floor), p95 %.1f "
        "ms (%.2f x), worst %.1f ms (rounds: p50 %.1f and %.1f ms)\n",
        best.latencies.size(), best.timeouts, kSeekTimeoutMs, *f->seekP50,
        *f->seekP50 / *f->seekFloorP50, *f->seekP95, *f->seekP95 / *f->seekFloorP95,
        percentile(best.latencies, 100), percentile(seek[0].latencies, 50),
        percentile(seek[1].latencies, 50));
    std::fflush(stdout);
}

// 4x with one decoding thread per channel and the whole process on one core,
// where decoding camera-like video is slower than real time. It leaves the
// process on one core, so it runs last.
void measureLag(const QString& front, const QString& rear, double seconds, double mediaSeconds,
                double interval, Figures* f) {
    Decoder::setVideoThreads(1);
    if (holdProcessToOneCore() <= 0) {
        f->fail(QStringLiteral("cannot hold the process to one core"));
        return;
    }
    const double wall = std::min(seconds, (mediaSeconds - 1.0) / 4);
    const DualResult r = dualPlayback(front, rear, 4, wall, interval);
    if (!r.ok) {
        f->fail(QStringLiteral("4x on one core showed no pictures"));
        return;
    }
    f->lag4x1Thread = r.lagMs;
    std::printf(
        "4x, one decoding thread per channel, one core, %.1f s: shown/due %.3f (%d due), lag "
        "behind the clock up to %.0f ms of real time (%.0f ms of media), first %.0f s %.0f ms, "
        "last %.0f s %.0f ms: %s\n",
        r.wall, r.shown, r.due, r.lagMs, r.lagMs * 4, r.lagWindow, r.lagFirstMs, r.lagWindow,
        r.lagLastMs, r.lagLastMs > 2 * std::max(r.lagFirstMs, 100.0) ? "grows" : "stays bounded");
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
        std::tie(frontFile, rearFile) = cardFiles(parser.value("card"));
        if (frontFile.isEmpty()) {
            return 1;
        }
    }
    const double seconds = parser.value("seconds").toDouble();
    const int seeks = parser.value("seeks").toInt();
    std::printf("front %s\nrear  %s\n", qPrintable(frontFile), qPrintable(rearFile));
    std::fflush(stdout);

    Figures figures;
    measureDecode(frontFile, &figures);
    const double interval = frameInterval(frontFile);
    AVPlayer probe;
    load(probe, frontFile);
    const double mediaSeconds = probe.duration() / 1000.0;
    probe.stop();
    if (mediaSeconds < 8) {
        failed(QStringLiteral("the front file lasts %1 s; dual playback needs more")
                   .arg(mediaSeconds));
        return 1;
    }
    const bool peakReset = resetPeakRss();
    measureDual(frontFile, rearFile, seconds, mediaSeconds, interval, &figures);
    measurePeakRss(peakReset, &figures);
    measureSeeks(frontFile, rearFile, seeks, mediaSeconds, interval, &figures);
    measureLag(frontFile, rearFile, seconds, mediaSeconds, interval, &figures);
    std::printf("%s\n", qPrintable(figures.lastLine()));
    return figures.ok ? 0 : 1;
}
