// Figures for playback in the real main window: controller, OpenGL panes and
// list, under whatever X server DISPLAY names (Xvfb with Mesa here), on two
// camera-like 60 s recordings (1080p30, High profile, 12 and 8 Mbit/s; made
// with `orvin-make-card --profile camera` unless --card is given):
//   bench-playback [--card DIR]
// - painted_1x: distinct pictures painted per frame due over 20 s at 1x, for
//   the weaker of the two panes; painted_2x and painted_4x the same over 10 s
//   at 2x and at 4x (at 4x only key frames may be shown, by design);
// - skew_p99_ms: at each paint of the large pane, its picture's timestamp
//   against the one the small pane shows with it (painted last, in the same
//   paint of the window or before), divided by the speed; the worse of 1x
//   and 4x;
// - cpu_1x: process CPU during the 20 s at 1x, painting included, in cores;
// - max_gui_stall_ms: the longest gap of a 5 ms GUI-thread timer beyond its
//   interval, over the whole run; the three longest are printed with what
//   the GUI thread was doing: the longest event it handled in that gap (its
//   type, receiver and time, and the longest event handled inside it) and
//   the part of the benchmark running; a gap much longer than its longest
//   event was spent outside the event loop's work (the process was not
//   scheduled, or the benchmark itself ran);
// - open_p50_ms: from a double-click on a recording to the first picture of
//   it painted in both panes, over 20 selections;
// - step_p50_ms: from a one-second step key press (and release) to both panes
//   painted at the new position, over 10 steps;
// - advance_gap_ms: at the end of a recording, from its last picture painted
//   to the first painted picture of the next;
// - advance_max_gui_stall_ms: the longest gap of the 5 ms GUI-thread timer
//   beyond its interval between those two paints (target <= 50);
// - map_calls_per_gps_s: during the 20 s at 1x, the map page calls
//   (setLatLag) per GPS second played that has a valid fix (target <= 1);
// - drag_max_gui_stall_ms: the longest gap of the 5 ms GUI-thread timer
//   beyond its interval while the position slider's knob is dragged from
//   the start to the end of a recording (mouse moves every 16 ms), with the
//   map window open and the graph shown (target <= 50).
// A figure whose measurement failed prints "fail" with the reason, and the
// benchmark exits with 1; it never fails on speed.
// Last line: painted_1x=A painted_2x=B painted_4x=C skew_p99_ms=S cpu_1x=U max_gui_stall_ms=G
// open_p50_ms=O step_p50_ms=T advance_gap_ms=V advance_max_gui_stall_ms=W
// map_calls_per_gps_s=M drag_max_gui_stall_ms=D
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QMetaEnum>
#include <QMouseEvent>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <optional>
#include <vector>

#include "app/rm_app.h"
#include "core/rm_key_event.h"
#include "core/rm_player.h"
#include "engine/av_player.h"
#include "engine/video_frame.h"
#include "engine/video_renderer.h"
#include "recordings/rm_sensor_data.h"
#include "recordings/rm_video_file_list.h"
#include "ui/rm_dialog_map.h"
#include "ui/rm_frame_left.h"
#include "ui/rm_frame_list.h"
#include "ui/rm_frame_slider.h"
#include "ui/rm_slider.h"
#include "ui/rm_widget_map.h"
#include "ui/rm_widget_video_list.h"
#include "ui/window_main.h"

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// CPU seconds of every thread of the process, by thread id, with its name.
struct ThreadCpu {
    QString name;
    double seconds;
};
std::map<int, ThreadCpu> threadCpu() {
    std::map<int, ThreadCpu> threads;
    const double tick = double(sysconf(_SC_CLK_TCK));
    for (const QString& task :
         QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat("/proc/self/task/" + task + "/stat");
        QFile comm("/proc/self/task/" + task + "/comm");
        if (!stat.open(QIODevice::ReadOnly) || !comm.open(QIODevice::ReadOnly)) {
            continue;
        }
        // The fields after the name in parentheses; utime and stime are the
        // 14th and 15th of the line.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 12) {
            threads[task.toInt()] = {QString::fromUtf8(comm.readAll()).trimmed(),
                                     (fields[11].toDouble() + fields[12].toDouble()) / tick};
        }
    }
    return threads;
}

// Where the CPU time between two snapshots went, in cores over `wall` s:
// decoding (the demux and video threads and FFmpeg's decoding threads they
// start), the presenting threads (scaling frames to the panes, handing them
// over), the
// GUI thread (uploading and drawing, and the rest of the window), Mesa's
// rasteriser threads (drawing), and everything else.
QString cpuSplit(const std::map<int, ThreadCpu>& before, const std::map<int, ThreadCpu>& after,
                 double totalSeconds, double wall) {
    std::map<QString, double> by;
    double named = 0;
    for (const auto& [tid, cpu] : after) {
        const auto it = before.find(tid);
        const double used = cpu.seconds - (it != before.end() ? it->second.seconds : 0);
        const QString group = tid == getpid()                   ? "gui"
                              : cpu.name == "orvin-demux"       ? "decode"
                              : cpu.name == "orvin-video"       ? "decode"
                              : cpu.name == "orvin-present"     ? "video"
                              : cpu.name.startsWith("llvmpipe") ? "llvmpipe"
                                                                : "";
        if (!group.isEmpty()) {
            by[group] += used;
            named += used;
        }
    }
    return QString(
               "decoding %1, video threads (scaling) %2, GUI thread (upload, draw, window) %3, "
               "rasteriser threads (draw) %4, the rest %5 cores")
        .arg(by["decode"] / wall, 0, 'f', 2)
        .arg(by["video"] / wall, 0, 'f', 2)
        .arg(by["gui"] / wall, 0, 'f', 2)
        .arg(by["llvmpipe"] / wall, 0, 'f', 2)
        .arg(std::max(0.0, totalSeconds - named) / wall, 0, 'f', 2);
}

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const size_t i = std::min(values.size() - 1, size_t(std::ceil(p / 100 * values.size())) - 1);
    return values[i];
}

// One paint of a pane: when, the timestamp of the picture it showed, and the
// paint of the window it was part of.
struct Paint {
    qint64 ms;
    double pts;
    qint64 pass;
};

// Counts the paints of the window: every UpdateRequest paints the dirty
// widgets and composes them into one picture on screen, so the panes painted
// in one pass appear together, whichever of them was painted first.
class PassCounter : public QObject {
public:
    explicit PassCounter(QWidget* window) { window->installEventFilter(this); }
    qint64 pass = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::UpdateRequest) {
            ++pass;
        }
        return false;
    }
};

// Records the paints of one pane's video widget.
class PaintLog : public QObject {
public:
    PaintLog(QWidget* widget, VideoRenderer* renderer, const QElapsedTimer* clock,
             const PassCounter* passes)
        : _renderer(renderer), _clock(clock), _passes(passes) {
        widget->installEventFilter(this);
    }
    std::vector<Paint> paints;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            const VideoFrame frame = _renderer->currentFrame();
            if (frame.isValid()) {
                paints.push_back({_clock->elapsed(), frame.timestamp(), _passes->pass});
            }
        }
        return false;
    }
    // The first paint at or after `from` whose picture satisfies `match`.
    template <typename Match>
    std::optional<Paint> first(qint64 from, Match match) const {
        for (const Paint& p : paints) {
            if (p.ms >= from && match(p.pts)) {
                return p;
            }
        }
        return std::nullopt;
    }

private:
    VideoRenderer* _renderer;
    const QElapsedTimer* _clock;
    const PassCounter* _passes;
};

// The application, timing every event the GUI thread handles from its event
// loop, so that a stall can be put down to the event that filled it.
class TimedApplication : public QApplication {
public:
    using QApplication::QApplication;
    // The longest event handled since the last call, as "Type to Class 'name'
    // N ms", and forgets it.
    QString takeLongest() {
        const QString what = _longestWhat;
        _longest = -1;
        _longestWhat = QStringLiteral("no event");
        return what;
    }
    QString phase = QStringLiteral("start");  // the part of the benchmark running

    bool notify(QObject* receiver, QEvent* event) override {
        // Taken before: handling the event may delete the receiver.
        const int type = event->type();
        const char* className = receiver->metaObject()->className();
        const QString objectName = receiver->objectName();
        const int depth = _depth++;
        if (depth == 0) {
            _inner = -1;
            _innerWhat.clear();
        }
        QElapsedTimer timer;
        timer.start();
        const bool result = QApplication::notify(receiver, event);
        const qint64 ms = timer.elapsed();
        --_depth;
        if (depth == 1 && ms > _inner) {
            // The longest event handled inside the outer one (a widget's
            // paint inside the window's update, say).
            _inner = ms;
            _innerWhat = describe(className, objectName, type, ms);
        } else if (depth == 0 && ms > _longest) {
            _longest = ms;
            _longestWhat = describe(className, objectName, type, ms);
            if (!_innerWhat.isEmpty()) {
                _longestWhat += QStringLiteral(", inside it ") + _innerWhat;
            }
        }
        return result;
    }

private:
    static QString describe(const char* className, const QString& objectName, int type, qint64 ms) {
        const char* name = QMetaEnum::fromType<QEvent::Type>().valueToKey(type);
        return QString("%1 to %2 '%3' %4 ms")
            .arg(name ? QString(name) : QString::number(type))
            .arg(className)
            .arg(objectName)
            .arg(ms);
    }

    int _depth = 0;
    qint64 _longest = -1;
    QString _longestWhat = QStringLiteral("no event");
    qint64 _inner = -1;  // the longest event inside the running outer one
    QString _innerWhat;
};

TimedApplication* timedApp() {
    return static_cast<TimedApplication*>(QCoreApplication::instance());
}

// The longest gaps of a 5 ms timer beyond its interval, with what filled
// each of them.
class StallMeter : public QObject {
public:
    struct Stall {
        qint64 ms;
        qint64 at;
        QString what;
    };
    explicit StallMeter(const QElapsedTimer* clock) : _clock(clock) {
        _last = clock->elapsed();
        timedApp()->takeLongest();
        startTimer(5, Qt::PreciseTimer);
    }
    qint64 worst = 0;
    qint64 ticks = 0;
    std::vector<Stall> longest;  // the three longest, longest first

    void print(const char* title) const {
        std::printf("%s:\n", title);
        for (const Stall& stall : longest) {
            std::printf("  %lld ms at %.1f s: %s\n", static_cast<long long>(stall.ms),
                        stall.at / 1000.0, qPrintable(stall.what));
        }
    }

    // The longest gap beyond the interval that overlaps [from, to]; -1 when
    // no tick came after `to` (the measurement is not complete).
    qint64 worstBetween(qint64 from, qint64 to) const {
        qint64 result = -1;
        for (size_t i = 1; i < _times.size(); ++i) {
            if (_times[i] > from && _times[i - 1] < to) {
                result = std::max(result, _times[i] - _times[i - 1] - 5);
            }
        }
        return !_times.empty() && _times.back() >= to ? std::max<qint64>(result, 0) : -1;
    }

protected:
    void timerEvent(QTimerEvent*) override {
        const qint64 now = _clock->elapsed();
        const qint64 gap = now - _last - 5;
        const QString what = timedApp()->takeLongest();
        worst = std::max(worst, gap);
        if (longest.size() < 3 || gap > longest.back().ms) {
            longest.push_back({gap, _last, QString("%1 (%2)").arg(what, timedApp()->phase)});
            std::sort(longest.begin(), longest.end(),
                      [](const Stall& a, const Stall& b) { return a.ms > b.ms; });
            longest.resize(std::min<size_t>(longest.size(), 3));
        }
        _last = now;
        _times.push_back(now);
        ++ticks;
    }

private:
    const QElapsedTimer* _clock;
    qint64 _last;
    std::vector<qint64> _times;  // every tick, for stalls within a span
};

// Runs the event loop until `done` holds (checked every 2 ms) or `ms` passed.
// The loop sleeps between events, so the waiting itself costs no CPU and
// leaves the cores to the viewer whose CPU time is measured.
template <typename Predicate>
bool waitFor(Predicate done, int ms) {
    if (done()) {
        return true;
    }
    QElapsedTimer clock;
    clock.start();
    bool met = false;
    QEventLoop loop;
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        met = done();
        if (met || clock.elapsed() > ms) {
            loop.quit();
        }
    });
    poll.start(2);
    loop.exec();
    return met;
}

void spin(int ms) {
    waitFor([] { return false; }, ms);
}

QString makeCard(const QString& folder) {
    if (QDir(folder + "/DCIM").exists()) {
        return folder;
    }
    std::printf("making two camera-like 60 s recordings in %s (several minutes)...\n",
                qPrintable(folder));
    std::fflush(stdout);
    QProcess maker;
    maker.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    maker.start(QCoreApplication::applicationDirPath() + "/orvin-make-card",
                {folder, "--profile", "camera", "--recordings", "2", "--seconds", "60", "--quiet"});
    if (!maker.waitForFinished(-1) || maker.exitCode() != 0) {
        return QString();
    }
    return folder;
}

struct Bench {
    QElapsedTimer clock;
    int mapCalls = 0;  // setLatLag calls the map window made
    WindowMain* window = nullptr;
    RMPlayer* player = nullptr;
    PaintLog* main = nullptr;
    PaintLog* sub = nullptr;
    bool failed = false;

    void fail(const QString& what) {
        failed = true;
        std::fprintf(stderr, "bench-playback: %s\n", qPrintable(what));
        std::printf("FAILED: %s\n", qPrintable(what));
    }
    RMVideoItem* item(int row) const {
        return RMVideoFileList::instance()->shownItems().value(row);
    }
    void select(int row) {
        spin(RMWidgetVideoList::kDoubleClickGuardMs + 20);
        window->frameList()->table()->onDoubleClickItem(row, 1);
    }
    bool playing(int row) const {
        return player->currentItem() == item(row) &&
               player->frontPlayer()->state() == AVPlayer::PlayingState;
    }
    // When both panes had painted a picture matching `match` since `from`.
    template <typename Match>
    std::optional<qint64> bothPainted(qint64 from, Match match) const {
        const auto a = main->first(from, match);
        const auto b = sub->first(from, match);
        if (!a || !b) {
            return std::nullopt;
        }
        return std::max(a->ms, b->ms) - from;
    }
};

std::optional<double> measureOpen(Bench& b) {
    timedApp()->phase = QStringLiteral("opening recordings");
    std::vector<double> samples;
    for (int i = 0; i < 20; ++i) {
        const int row = i % 2;
        spin(RMWidgetVideoList::kDoubleClickGuardMs + 200);
        const qint64 from = b.clock.elapsed();
        b.window->frameList()->table()->onDoubleClickItem(row, 1);
        std::optional<qint64> took;
        waitFor(
            [&] {
                return (took = b.bothPainted(from, [](double pts) { return pts < 0.5; }))
                    .has_value();
            },
            10000);
        if (!took) {
            b.fail(QString("selection %1 painted nothing within 10 s").arg(i));
            return std::nullopt;
        }
        samples.push_back(double(*took));
    }
    std::printf("open: %zu selections, p50 %.1f ms, worst %.1f ms\n", samples.size(),
                percentile(samples, 50), percentile(samples, 100));
    return percentile(samples, 50);
}

// Distinct pictures painted per frame due, and the skews at each paint.
struct Run {
    double painted = 0;
    std::vector<double> skews;
    std::vector<double> skewsByTime;  // the small pane's paint matched by time alone
    double cores = 0;
    QString split;  // where the CPU time went
    int mapCalls = 0;
    int fixSeconds = 0;  // GPS samples with a valid fix the run went through
};

// GPS samples with a valid fix between two positions of the playing recording.
int fixSecondsBetween(const Bench& b, qint64 from, qint64 to) {
    const RMVideoItem* item = b.player->currentItem();
    const RMSensorData* data = item ? item->sensorData : nullptr;
    const qint64 duration = b.player->frontPlayer()->duration();
    if (!data || !data->hasGPS || !data->gps) {
        return 0;
    }
    const qint64 first = RMSensorData::sampleIndex(from, duration, data->gpsCount);
    const qint64 last = RMSensorData::sampleIndex(to, duration, data->gpsCount);
    int n = 0;
    for (qint64 i = std::max<qint64>(first, 0); i <= last; ++i) {
        n += data->gps[i].hasFix() ? 1 : 0;
    }
    return n;
}

// At each paint of the large pane, the difference to the picture the small
// pane shows with it: the one it painted last in the same window paint or
// before (`byPass`), or, by time alone, the one it painted last in the same
// millisecond or before.
std::vector<double> skews(const Bench& b, size_t mainFrom, size_t subFrom, double speed,
                          bool byPass) {
    std::vector<double> result;
    const std::vector<Paint>& sub = b.sub->paints;
    auto shownWith = [byPass](const Paint& s, const Paint& m) {
        return byPass ? s.pass <= m.pass : s.ms <= m.ms;
    };
    size_t j = subFrom;
    for (size_t i = mainFrom; i < b.main->paints.size(); ++i) {
        const Paint& m = b.main->paints[i];
        while (j + 1 < sub.size() && shownWith(sub[j + 1], m)) {
            ++j;
        }
        if (j < sub.size() && shownWith(sub[j], m)) {
            result.push_back(std::abs(m.pts - sub[j].pts) * 1000 / speed);
        }
    }
    return result;
}

Run measureRun(Bench& b, double speed, int seconds) {
    Run run;
    timedApp()->phase = QString("playing at %1x").arg(speed);
    b.player->updateSpeed(speed);
    spin(500);
    const size_t mainFrom = b.main->paints.size();
    const size_t subFrom = b.sub->paints.size();
    const std::map<int, ThreadCpu> threads0 = threadCpu();
    const double cpu0 = cpuSeconds();
    const qint64 t0 = b.clock.elapsed();
    const int calls0 = b.mapCalls;
    const RMVideoItem* item = b.player->currentItem();
    const qint64 position0 = b.player->frontPlayer()->position();
    spin(seconds * 1000);
    const double wall = (b.clock.elapsed() - t0) / 1000.0;
    const double cpu = cpuSeconds() - cpu0;
    run.cores = cpu / wall;
    run.split = cpuSplit(threads0, threadCpu(), cpu, wall);
    if (b.player->currentItem() == item) {
        run.mapCalls = b.mapCalls - calls0;
        run.fixSeconds = fixSecondsBetween(b, position0, b.player->frontPlayer()->position());
    }
    auto distinct = [](const std::vector<Paint>& paints, size_t from) {
        int n = 0;
        double last = -1;
        for (size_t i = from; i < paints.size(); ++i) {
            n += paints[i].pts != last;
            last = paints[i].pts;
        }
        return n;
    };
    const double due = wall * 30 * speed;
    run.painted =
        std::min(distinct(b.main->paints, mainFrom), distinct(b.sub->paints, subFrom)) / due;
    run.skews = skews(b, mainFrom, subFrom, speed, true);
    run.skewsByTime = skews(b, mainFrom, subFrom, speed, false);
    b.player->updateSpeed(1.0);
    auto summary = [](const std::vector<double>& values) {
        return values.empty() ? QStringLiteral("none")
                              : QString("%1 samples, p50 %2 ms, p99 %3 ms")
                                    .arg(values.size())
                                    .arg(percentile(values, 50), 0, 'f', 1)
                                    .arg(percentile(values, 99), 0, 'f', 1);
    };
    std::printf(
        "%.0fx for %.1f s: painted %.3f of the frames due (weaker pane), skew (%s; matched by "
        "paint time alone: %s), CPU %.2f cores, %d map calls over %d GPS seconds with a fix\n",
        speed, wall, run.painted, qPrintable(summary(run.skews)),
        qPrintable(summary(run.skewsByTime)), run.cores, run.mapCalls, run.fixSeconds);
    std::printf("%.0fx CPU: %s\n", speed, qPrintable(run.split));
    return run;
}

std::optional<double> measureSteps(Bench& b) {
    timedApp()->phase = QStringLiteral("stepping");
    b.player->onPlayOrPause();  // paused: steps start from a still picture
    spin(500);
    std::vector<double> samples;
    for (int i = 0; i < 10; ++i) {
        const qint64 from = b.clock.elapsed();
        RMKeyEvent::instance()->pressed(Qt::Key_Right);
        RMKeyEvent::instance()->released(Qt::Key_Right);
        const double target = b.player->pausedPosition() / 1000.0;
        std::optional<qint64> took;
        waitFor(
            [&] {
                return (took = b.bothPainted(
                            from, [target](double pts) { return std::abs(pts - target) < 0.04; }))
                    .has_value();
            },
            5000);
        if (!took) {
            b.fail(QString("step %1 to %2 s was not painted within 5 s").arg(i).arg(target));
            return std::nullopt;
        }
        samples.push_back(double(*took));
        spin(400);
    }
    std::printf("steps: %zu, p50 %.1f ms, worst %.1f ms\n", samples.size(), percentile(samples, 50),
                percentile(samples, 100));
    return percentile(samples, 50);
}

struct Advance {
    std::optional<double> gap;
    std::optional<double> stall;
};

Advance measureAdvance(Bench& b) {
    timedApp()->phase = QStringLiteral("advancing");
    StallMeter stalls(&b.clock);
    b.player->onPlayOrPause();  // playing again
    const qint64 duration = b.player->frontPlayer()->duration();
    b.player->seek(duration - 2000, false);
    const qint64 from = b.clock.elapsed();
    if (!waitFor([&] { return b.playing(1); }, 15000)) {
        b.fail("the next recording did not start after the end");
        return {};
    }
    // The first picture of the next recording painted after a late picture
    // of this one: the gap between those two paints.
    std::optional<qint64> gap;
    qint64 lastAt = 0;
    qint64 firstAt = 0;
    waitFor(
        [&] {
            const std::vector<Paint>& p = b.main->paints;
            for (size_t i = 1; i < p.size(); ++i) {
                if (p[i].ms >= from && p[i].pts < 0.5 && p[i - 1].pts > duration / 1000.0 - 3) {
                    lastAt = p[i - 1].ms;
                    firstAt = p[i].ms;
                    gap = firstAt - lastAt;
                    return true;
                }
            }
            return false;
        },
        5000);
    if (!gap) {
        b.fail("no last picture of the first recording followed by the first of the next");
        return {};
    }
    // A tick after the first picture closes the span.
    spin(50);
    const qint64 stall = stalls.worstBetween(lastAt, firstAt);
    std::printf(
        "advance: %lld ms from the last picture to the first of the next, longest GUI "
        "stall meanwhile %lld ms (%zu timer ticks in all)\n",
        static_cast<long long>(*gap), static_cast<long long>(stall),
        static_cast<size_t>(stalls.ticks));
    Advance result;
    result.gap = double(*gap);
    if (stall < 0) {
        b.fail("the GUI timer did not run past the advance");
    } else {
        result.stall = double(stall);
    }
    return result;
}

// Drags the position slider's knob from the start of the playing recording
// to its end with the map window open; the longest GUI stall meanwhile.
std::optional<double> measureDrag(Bench& b) {
    timedApp()->phase = QStringLiteral("dragging");
    RMDialogMap* map = RMDialogMap::instance();
    if (map->isHiddenReal()) {
        map->show();
    }
    b.player->seek(1, false);
    spin(1500);
    RMSlider* slider = b.window->frameLeft()->frameSlider()->positionSlider();
    // The knob sits where the style maps the slider's value.
    int knobX = 0;
    while (knobX < slider->width() && slider->valueAt(knobX) < slider->value()) {
        ++knobX;
    }
    const QPoint knob(knobX, slider->height() / 2);
    const auto send = [slider](QEvent::Type type, QPoint at, Qt::MouseButton button,
                               Qt::MouseButtons held) {
        QMouseEvent event(type, at, slider->mapToGlobal(at), button, held, Qt::NoModifier);
        QApplication::sendEvent(slider, &event);
    };
    const int calls0 = b.mapCalls;
    int positions = 0;
    const QMetaObject::Connection counter = QObject::connect(
        b.player, &RMPlayer::positionChanged, [&positions](qint64, qint64) { ++positions; });
    StallMeter stalls(&b.clock);
    send(QEvent::MouseButtonPress, knob, Qt::LeftButton, Qt::LeftButton);
    if (!slider->isSliderDown()) {
        b.fail("the slider's knob was not taken by the press");
        return std::nullopt;
    }
    int moves = 0;
    for (int x = knob.x(); x <= slider->width() + 4; x += 2, ++moves) {
        send(QEvent::MouseMove, QPoint(x, knob.y()), Qt::NoButton, Qt::LeftButton);
        spin(16);
    }
    const int value = slider->value();
    send(QEvent::MouseButtonRelease, QPoint(slider->width() + 4, knob.y()), Qt::LeftButton,
         Qt::NoButton);
    spin(500);
    QObject::disconnect(counter);
    std::printf(
        "drag: %d moves to %d of %d ms, %d positions reported, %d map calls, %lld timer ticks, "
        "longest stall %lld ms\n",
        moves, value, slider->maximum(), positions, b.mapCalls - calls0,
        static_cast<long long>(stalls.ticks), static_cast<long long>(stalls.worst));
    stalls.print("drag: longest GUI stalls");
    if (value < slider->maximum() * 9 / 10) {
        b.fail(QString("the drag ended at %1 of %2 ms").arg(value).arg(slider->maximum()));
        return std::nullopt;
    }
    if (stalls.ticks < 100) {
        b.fail("the GUI timer hardly ran during the drag");
        return std::nullopt;
    }
    map->onClose();
    return double(stalls.worst);
}

QString figure(const std::optional<double>& value, int decimals) {
    return value ? QString::number(*value, 'f', decimals) : QStringLiteral("fail");
}

}  // namespace

int main(int argc, char** argv) {
    // The map's web engine draws in software; as root it needs its sandbox off.
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS",
            geteuid() == 0 ? "--disable-gpu --no-sandbox" : "--disable-gpu");
    TimedApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({"card", "Card folder with two recordings (made when absent).", "dir"});
    parser.process(app);
    const QString card =
        parser.isSet("card")
            ? parser.value("card")
            : makeCard(QDir(QCoreApplication::applicationDirPath() + "/../bench-playback-card")
                           .absolutePath());
    if (card.isEmpty()) {
        std::fprintf(stderr, "bench-playback: cannot make the card\n");
        return 1;
    }
    RMApp::instance()->initialize(app);
    Bench b;
    b.clock.start();
    b.window = new WindowMain(nullptr);
    b.window->show();
    b.player = RMPlayer::instance();
    const PassCounter* passes = new PassCounter(b.window);
    b.main = new PaintLog(b.player->mainVideoWidget(), b.player->mainRenderer(), &b.clock, passes);
    b.sub = new PaintLog(b.player->subVideoWidget(), b.player->subRenderer(), &b.clock, passes);
    StallMeter stalls(&b.clock);
    // Open the map (its page loads then) so its calls are counted.
    RMDialogMap::instance()->show();
    if (!waitFor([] { return RMDialogMap::instance()->mapWidget() != nullptr; }, 10000)) {
        std::fprintf(stderr, "bench-playback: the map window made no map view\n");
        return 1;
    }
    QObject::connect(
        RMDialogMap::instance()->mapWidget(), &RMWidgetMap::scriptRun,
        [&b](const QString& script) { b.mapCalls += script.startsWith("setLatLag(") ? 1 : 0; });
    b.window->openFolder(card);
    if (!waitFor([] { return RMVideoFileList::instance()->shownItems().size() >= 2; }, 60000)) {
        std::fprintf(stderr, "bench-playback: the card %s lists fewer than two recordings\n",
                     qPrintable(card));
        return 1;
    }

    const std::optional<double> open = measureOpen(b);
    b.select(0);
    std::optional<double> painted;
    std::optional<double> painted2x;
    std::optional<double> painted4x;
    std::optional<double> skew;
    std::optional<double> cpu;
    std::optional<double> mapCalls;
    if (!waitFor([] { return RMDialogMap::instance()->isPageLoaded(); }, 20000)) {
        b.fail("the map page did not load");
    }
    if (waitFor([&] { return b.playing(0); }, 10000)) {
        const Run at1 = measureRun(b, 1.0, 20);
        // 10 s at 2x and at 4x play 20 and 40 s of the 60 s recording: each
        // starts early enough that the end (and the next recording) stays out.
        b.player->seek(1000, false);
        const Run at2 = measureRun(b, 2.0, 10);
        b.player->seek(1000, false);
        const Run at4 = measureRun(b, 4.0, 10);
        if (at1.skews.empty() || at2.skews.empty() || at4.skews.empty()) {
            b.fail("no paint of both panes to compare");
        } else {
            painted = at1.painted;
            painted2x = at2.painted;
            painted4x = at4.painted;
            cpu = at1.cores;
            skew = std::max(percentile(at1.skews, 99), percentile(at4.skews, 99));
        }
        if (at1.fixSeconds < 5) {
            b.fail(QString("only %1 GPS seconds with a fix at 1x").arg(at1.fixSeconds));
        } else if (RMDialogMap::instance()->isPageLoaded()) {
            mapCalls = double(at1.mapCalls) / at1.fixSeconds;
        }
    } else {
        b.fail("the first recording does not play");
    }
    const std::optional<double> step = measureSteps(b);
    const Advance advance = measureAdvance(b);
    const std::optional<double> drag = measureDrag(b);
    b.player->onUserStop();
    spin(200);
    // As the main window does when it closes: the web view goes first.
    Q_EMIT RMApp::instance()->appEvent(RMApp::EVENT_APP_CLOSING);
    std::printf("GUI timer: %lld ticks, longest stall %lld ms\n",
                static_cast<long long>(stalls.ticks), static_cast<long long>(stalls.worst));
    stalls.print("longest GUI stalls");
    const std::optional<double> stall =
        stalls.ticks > 100 ? std::optional<double>(double(stalls.worst)) : std::nullopt;
    if (!stall) {
        b.fail("the GUI timer hardly ran");
    }
    std::printf(
        "painted_1x=%s painted_2x=%s painted_4x=%s skew_p99_ms=%s cpu_1x=%s max_gui_stall_ms=%s "
        "open_p50_ms=%s step_p50_ms=%s advance_gap_ms=%s advance_max_gui_stall_ms=%s "
        "map_calls_per_gps_s=%s drag_max_gui_stall_ms=%s\n",
        qPrintable(figure(painted, 3)), qPrintable(figure(painted2x, 3)),
        qPrintable(figure(painted4x, 3)), qPrintable(figure(skew, 1)), qPrintable(figure(cpu, 2)),
        qPrintable(figure(stall, 0)), qPrintable(figure(open, 1)), qPrintable(figure(step, 1)),
        qPrintable(figure(advance.gap, 0)), qPrintable(figure(advance.stall, 0)),
        qPrintable(figure(mapCalls, 2)), qPrintable(figure(drag, 0)));
    return b.failed ? 1 : 0;
}
