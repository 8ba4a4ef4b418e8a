// An hour of use in minutes: the real main window, driven in-process with
// QTest events on its widgets by a seeded random mix of what a user does,
// while the resident memory is sampled:
//   bench-soak [--minutes M] [--seed K] [--card DIR]
// Actions: play/pause, one-second steps (buttons), frame steps (F), next and
// previous recording, full screen and back, swap, speed, zoom (double-click
// on a pane), double-click on a list row, capture then cancel, and a held
// Right or Left key. The pause between two actions is drawn from 50 ms
// (frantic) to 4 s (idle), evenly on a log scale.
// - rss_start_mb: resident memory once the card is listed, before the first
//   action;
// - rss_end_mb: resident memory at the end;
// - slope_mb_per_min: least-squares slope of the resident memory, sampled
//   every 5 s, after a warm-up of 5 minutes (half the run when it is shorter
//   than 10 minutes);
// - stuck: the checks (every minute: the first recording is played for 2 s
//   at 1x) in which the two panes did not both paint a later picture.
// The card (made with orvin-make-card unless --card is given) holds four 30 s
// recordings, 720p front and 360p rear. Sound goes to the engine's null sink
// (the machine may have no sound card). Settings and captures go to a
// temporary home. A measurement that fails prints FAILED with the reason and
// exits with 1.
// Last line: actions=N rss_start_mb=A rss_end_mb=B slope_mb_per_min=S stuck=K
#include <malloc.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMessageBox>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <vector>

#include "app/rm_allocator.h"
#include "app/rm_app.h"
#include "app/rm_web_engine_flags.h"
#include "core/rm_key_event.h"
#include "core/rm_player.h"
#include "engine/audio_output.h"
#include "engine/av_player.h"
#include "engine/video_frame.h"
#include "engine/video_renderer.h"
#include "recordings/rm_video_file_list.h"
#include "ui/rm_frame_bottom.h"
#include "ui/rm_frame_left.h"
#include "ui/rm_frame_list.h"
#include "ui/rm_frame_play.h"
#include "ui/rm_frame_right.h"
#include "ui/rm_frame_slider.h"
#include "ui/rm_frame_video_main.h"
#include "ui/rm_frame_video_sub.h"
#include "ui/rm_popup_capture.h"
#include "ui/rm_released_slider.h"
#include "ui/rm_widget_video_list.h"
#include "ui/window_main.h"
#include "widgets/rm_button.h"
#include "widgets/title_widget.h"

namespace {

const int kSampleMs = 5000;
const int kCheckEveryMs = 60000;
const int kCheckPlayMs = 2000;
const double kWarmUpMinutes = 5.0;

// The allocator's view, to tell a leak from fragmentation: `usedMb` is what
// the program holds, `freeMb` what the allocator keeps from the system
// without handing it out (freed blocks inside its heaps).
struct HeapState {
    double usedMb = 0;
    double freeMb = 0;
};

HeapState heapState() {
    const struct mallinfo2 info = mallinfo2();
    return {double(info.uordblks + info.hblkhd) / 1048576.0, double(info.fordblks) / 1048576.0};
}

// Runs the event loop until `done` holds (checked every 5 ms) or `ms` passed.
template <typename Predicate>
bool waitFor(Predicate done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) {
            return false;
        }
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

void spin(int ms) {
    waitFor([] { return false; }, ms);
}

QString makeCard(const QString& folder) {
    if (QDir(folder + "/DCIM").exists()) {
        return folder;
    }
    std::printf("making four 30 s recordings (720p front, 360p rear) in %s...\n",
                qPrintable(folder));
    std::fflush(stdout);
    QProcess maker;
    maker.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    maker.start(QCoreApplication::applicationDirPath() + "/orvin-make-card",
                {folder, "--recordings", "4", "--seconds", "30", "--front-size", "1280x720",
                 "--rear-size", "640x360", "--quiet"});
    if (!maker.waitForFinished(-1) || maker.exitCode() != 0) {
        return QString();
    }
    return folder;
}

// Cancels the capture dialog, and closes any other modal box (a warning),
// a moment after it appears. Modal dialogs run their own event loops, so
// this polls from a timer that keeps firing inside them.
class ModalCloser : public QObject {
public:
    explicit ModalCloser(QRandomGenerator* random) : _random(random) {
        connect(&_timer, &QTimer::timeout, this, [this] { _poll(); });
        _timer.start(20);
    }
    int captures = 0;
    int others = 0;

private:
    void _poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) {
            _seen = nullptr;
            return;
        }
        if (modal != _seen) {
            _seen = modal;
            _since.start();
            _after = 100 + int(_random->bounded(1500));
            return;
        }
        if (_since.elapsed() < _after) {
            return;
        }
        _seen = nullptr;
        if (auto* capture = qobject_cast<RMPopupCapture*>(modal)) {
            ++captures;
            QTest::mouseClick(capture->cancelButtonOfPopup(), Qt::LeftButton);
        } else {
            ++others;
            const auto* box = qobject_cast<QMessageBox*>(modal);
            std::printf("closing a %s%s%s\n", modal->metaObject()->className(), box ? ": " : "",
                        box ? qPrintable(box->text()) : "");
            QMetaObject::invokeMethod(modal, "reject", Qt::QueuedConnection);
        }
    }
    QRandomGenerator* _random;
    QTimer _timer;
    QPointer<QWidget> _seen;
    QElapsedTimer _since;
    int _after = 0;
};

struct Soak {
    WindowMain* window = nullptr;
    RMPlayer* player = nullptr;
    QRandomGenerator random;
    QElapsedTimer clock;
    std::vector<std::pair<double, double>> samples;  // minutes, MB
    int actions = 0;
    int rowDoubleClicks = 0;       // sent to a list row
    int rowDoubleClicksTaken = 0;  // that reached the list as double clicks
    int checks = 0;
    int stuck = 0;
    bool failed = false;

    void fail(const QString& what) {
        failed = true;
        std::fprintf(stderr, "bench-soak: %s\n", qPrintable(what));
        std::printf("FAILED: %s\n", qPrintable(what));
    }
    double minutes() const { return clock.elapsed() / 60000.0; }
    int rows() const { return RMVideoFileList::instance()->shownItems().size(); }

    void click(QWidget* widget) {
        if (widget->isVisible() && widget->isEnabled()) {
            QTest::mouseClick(widget, Qt::LeftButton);
        }
    }
    void key(Qt::Key key, bool press) {
        // The viewer's shortcuts act only in its active window.
        if (!window->isActiveWindow()) {
            window->activateWindow();
            (void)QTest::qWaitForWindowActive(window, 1000);
        }
        if (press) {
            QTest::keyPress(window, key);
        } else {
            QTest::keyRelease(window, key);
        }
    }
    void doubleClickRow(int row) {
        RMWidgetVideoList* table = window->frameList()->table();
        const QRect cell = table->visualRect(table->model()->index(row, 1));
        if (cell.isValid() && table->isVisible()) {
            // The list takes two double clicks closer than its guard as one.
            spin(RMWidgetVideoList::kDoubleClickGuardMs + 20);
            ++rowDoubleClicks;
            doubleClick(table->viewport(), cell.center());
        }
    }
    // What the window system delivers for a double click: press, release,
    // then the second press as a double-click event, and its release.
    // QTest::mouseDClick alone sends only the double-click event, which a
    // list takes as a plain press unless its last press was on the same
    // row: most double clicks on another row were lost that way.
    static void doubleClick(QWidget* widget, QPoint at) {
        QTest::mousePress(widget, Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseRelease(widget, Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseDClick(widget, Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseRelease(widget, Qt::LeftButton, Qt::NoModifier, at);
    }
    void setSpeed(int value) {
        RMReleasedSlider* slider = window->frameLeft()->frameSlider()->speedSlider();
        if (!slider->isVisible()) {
            return;
        }
        int x = 0;
        while (x < slider->width() - 1 && slider->valueAt(x) < value) {
            ++x;
        }
        QTest::mouseClick(slider, Qt::LeftButton, Qt::NoModifier, QPoint(x, slider->height() / 2));
    }
    void toggleFullScreen() {
        if (window->isFullScreen()) {
            key(Qt::Key_Escape, true);
            key(Qt::Key_Escape, false);
        } else {
            click(window->titleWidget()->fullScreenButton());
        }
    }
    void swap() {
        RMFrameBottom* bottom = window->frameLeft()->frameBottom();
        if (window->isFullScreen()) {
            click(player->isSwapped() ? bottom->frontButton() : bottom->rearButton());
        } else {
            click(window->frameRight()->videoSub()->swapButton());
        }
    }
    void zoom() {
        QWidget* pane = random.bounded(2) == 0
                            ? static_cast<QWidget*>(window->frameLeft()->videoMain())
                            : static_cast<QWidget*>(window->frameRight()->videoSub());
        if (pane->isVisible()) {
            doubleClick(pane, QPoint(pane->width() / 2, pane->height() * 2 / 3));
        }
    }
    void holdKey() {
        const Qt::Key held = random.bounded(2) == 0 ? Qt::Key_Right : Qt::Key_Left;
        key(held, true);
        spin(300 + int(random.bounded(2700)));
        key(held, false);
    }

    void act() {
        RMFramePlay* play = window->frameLeft()->framePlay();
        switch (random.bounded(12)) {
            case 0:
            case 1:
                click(play->playPauseButton());
                break;
            case 2:
                click(random.bounded(2) == 0 ? play->forwardButton() : play->backwardButton());
                break;
            case 3:
                key(Qt::Key_F, true);
                key(Qt::Key_F, false);
                break;
            case 4:
                click(random.bounded(2) == 0 ? play->nextFileButton() : play->previousFileButton());
                break;
            case 5:
                toggleFullScreen();
                break;
            case 6:
                swap();
                break;
            case 7:
                setSpeed(int(random.bounded(4)));
                break;
            case 8:
                zoom();
                break;
            case 9:
                doubleClickRow(int(random.bounded(rows())));
                break;
            case 10:
                click(window->titleWidget()->captureButton());
                break;
            default:
                holdKey();
                break;
        }
        ++actions;
    }

    // 50 ms to 4 s, evenly on a log scale.
    int pause() { return int(50.0 * std::pow(80.0, random.generateDouble())); }

    // Plays the first recording at 1x for 2 s: both panes must paint later
    // pictures than they showed when it started.
    void check() {
        ++checks;
        if (window->isFullScreen()) {
            toggleFullScreen();
            waitFor([this] { return !window->isFullScreen(); }, 3000);
        }
        setSpeed(1);
        RMVideoItem* first = RMVideoFileList::instance()->shownItems().value(0);
        // A double click that lands while the viewer is still busy with the
        // last action may be dropped; a user would click again.
        for (int attempt = 0; attempt < 3 && player->currentItem() != first; ++attempt) {
            doubleClickRow(0);
            waitFor([&] { return player->currentItem() == first; }, 2000);
        }
        waitFor(
            [&] { return player->currentItem() == first && player->frontPlayer()->isPlaying(); },
            5000);
        if (player->frontPlayer()->isPaused()) {
            click(window->frameLeft()->framePlay()->playPauseButton());
        }
        spin(300);
        const RMVideoItem* item = player->currentItem();
        const double main0 = player->mainRenderer()->currentFrame().timestamp();
        const double sub0 = player->subRenderer()->currentFrame().timestamp();
        spin(kCheckPlayMs);
        const double main1 = player->mainRenderer()->currentFrame().timestamp();
        const double sub1 = player->subRenderer()->currentFrame().timestamp();
        // A recording that ended meanwhile hands over to the next one, which
        // then plays from its start.
        const bool handedOver = player->currentItem() != item && main1 > 0 && sub1 > 0;
        const bool advanced = (main1 > main0 && sub1 > sub0) || handedOver;
        if (!advanced) {
            ++stuck;
        }
        std::printf("check %d at %.1f min: main %.2f -> %.2f s, sub %.2f -> %.2f s%s%s\n", checks,
                    minutes(), main0, main1, sub0, sub1,
                    player->currentItem() == first ? "" : " (not the first recording)",
                    advanced ? "" : "  STUCK");
        std::fflush(stdout);
    }

    void sample() {
        const double mb = RMAllocator::residentMb();
        if (mb > 0) {
            samples.emplace_back(minutes(), mb);
        }
        if (samples.size() % 12 == 0 && !samples.empty()) {
            const HeapState heap = heapState();
            std::printf(
                "%.1f min: rss %.1f MB (heap in use %.1f MB, held free %.1f MB), %d actions\n",
                samples.back().first, samples.back().second, heap.usedMb, heap.freeMb, actions);
            std::fflush(stdout);
        }
    }
};

// Least-squares slope of MB over minutes, for samples from `from` minutes on.
bool slope(const std::vector<std::pair<double, double>>& samples, double from, double* result) {
    double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (const auto& [x, y] : samples) {
        if (x >= from) {
            n += 1;
            sx += x;
            sy += y;
            sxx += x * x;
            sxy += x * y;
        }
    }
    const double d = n * sxx - sx * sx;
    if (n < 3 || d <= 0) {
        return false;
    }
    *result = (n * sxy - sx * sy) / d;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // Settings, captures and the single-instance lock go to a home of our own.
    QTemporaryDir home;
    if (!home.isValid()) {
        std::fprintf(stderr, "bench-soak: no temporary folder\n");
        return 1;
    }
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + "/.local/share").toUtf8());
    qputenv("XDG_CACHE_HOME", (home.path() + "/.cache").toUtf8());
    QDir().mkpath(home.path() + "/Documents");
    // The viewer's own allocator set-up and web engine flags.
    RMAllocator::configure();
    RMWebEngineFlags::apply();
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({"minutes", "Length of the run (30).", "M", "30"});
    parser.addOption({"seed", "Seed of the actions (1).", "K", "1"});
    parser.addOption({"card", "Card folder (made when absent).", "dir"});
    parser.process(app);
    const double total = parser.value("minutes").toDouble();
    if (total <= 0) {
        std::fprintf(stderr, "bench-soak: --minutes must be above 0\n");
        return 1;
    }
    const QString card =
        parser.isSet("card")
            ? parser.value("card")
            : makeCard(QDir(QCoreApplication::applicationDirPath() + "/../bench-soak-card")
                           .absolutePath());
    if (card.isEmpty()) {
        std::fprintf(stderr, "bench-soak: cannot make the card\n");
        return 1;
    }
    RMApp::instance()->initialize(app);
    Soak s;
    s.random.seed(parser.value("seed").toUInt());
    s.window = new WindowMain(nullptr);
    s.window->show();
    if (!QTest::qWaitForWindowExposed(s.window)) {
        std::fprintf(stderr, "bench-soak: the main window did not appear\n");
        return 1;
    }
    s.window->activateWindow();
    s.player = RMPlayer::instance();
    s.player->frontPlayer()->audio()->setBackends({"Null"});
    s.window->openFolder(card);
    if (!waitFor([&s] { return s.rows() >= 2; }, 60000)) {
        std::fprintf(stderr, "bench-soak: the card %s lists fewer than two recordings\n",
                     qPrintable(card));
        return 1;
    }
    QObject::connect(s.window->frameList()->table(), &QTableWidget::cellDoubleClicked,
                     [&s] { ++s.rowDoubleClicksTaken; });
    ModalCloser closer(&s.random);
    s.clock.start();
    const double rssStart = RMAllocator::residentMb();
    s.sample();
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&s] { s.sample(); });
    sampler.start(kSampleMs);
    qint64 nextCheck = kCheckEveryMs;
    while (s.minutes() < total) {
        if (s.clock.elapsed() >= nextCheck) {
            s.check();
            nextCheck += kCheckEveryMs;
        }
        s.act();
        spin(s.pause());
    }
    sampler.stop();
    s.sample();
    const double rssEnd = RMAllocator::residentMb();
    std::printf(
        "%d actions, %d captures cancelled, %d other dialogs closed, %zu samples, "
        "%d of %d row double clicks reached the list\n",
        s.actions, closer.captures, closer.others, s.samples.size(), s.rowDoubleClicksTaken,
        s.rowDoubleClicks);
    const double warmUp = std::min(kWarmUpMinutes, total / 2);
    double perMinute = 0;
    if (rssStart <= 0 || rssEnd <= 0) {
        s.fail("the resident memory could not be read");
    } else if (!slope(s.samples, warmUp, &perMinute)) {
        s.fail(QString("fewer than three samples after the %1 min warm-up").arg(warmUp));
    }
    if (s.checks == 0) {
        s.fail("no check ran (the run is shorter than a minute)");
    }
    s.player->onUserStop();
    spin(200);
    const auto figure = [&s](double value, int decimals) {
        return s.failed ? QStringLiteral("fail") : QString::number(value, 'f', decimals);
    };
    std::printf("actions=%d rss_start_mb=%s rss_end_mb=%s slope_mb_per_min=%s stuck=%s\n",
                s.actions, qPrintable(figure(rssStart, 1)), qPrintable(figure(rssEnd, 1)),
                qPrintable(figure(perMinute, 3)),
                s.checks == 0 ? "fail" : qPrintable(QString::number(s.stuck)));
    std::fflush(stdout);
    // Quit as the viewer does, without waiting for the event loop.
    Q_EMIT RMApp::instance()->appEvent(RMApp::EVENT_APP_CLOSING);
    return s.failed ? 1 : 0;
}
