#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QJsonArray>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>

#include "app/rm_allocator.h"
#include "app/rm_app.h"
#include "core/rm_key_event.h"
#include "core/rm_play_process.h"
#include "core/rm_player.h"
#include "engine/audio_output.h"
#include "engine/av_player.h"
#include "engine/video_frame.h"
#include "engine/video_renderer.h"
#include "engine_fixture.h"
#include "map_fixture.h"
#include "recordings/rm_sensor_data.h"
#include "recordings/rm_video_file_list.h"
#include "test_support.h"
#include "ui/rm_dialog_map.h"
#include "ui/rm_frame_bottom.h"
#include "ui/rm_frame_graph.h"
#include "ui/rm_frame_left.h"
#include "ui/rm_frame_list.h"
#include "ui/rm_frame_play.h"
#include "ui/rm_frame_right.h"
#include "ui/rm_frame_slider.h"
#include "ui/rm_frame_video_main.h"
#include "ui/rm_frame_video_sub.h"
#include "ui/rm_graph_widget.h"
#include "ui/rm_play_slider.h"
#include "ui/rm_released_slider.h"
#include "ui/rm_slider.h"
#include "ui/rm_speed_label.h"
#include "ui/rm_widget_map.h"
#include "ui/rm_widget_video_list.h"
#include "ui/window_main.h"
#include "viewer_fixture.h"
#include "widgets/rm_button.h"
#include "widgets/rm_widget_check_box.h"
#include "widgets/title_widget.h"

Q_DECLARE_METATYPE(PLAY_EVENT)

namespace {

using engine_fixture::spin;
using engine_fixture::waitUntil;
using viewer_fixture::makeCard;

// The events the player announced, in order.
class EventLog : public QObject {
public:
    explicit EventLog(RMPlayer* player) {
        connect(player, &RMPlayer::playEvent, this,
                [this](PLAY_EVENT event, RMVideoItem* item) { events << qMakePair(event, item); });
    }
    QList<PLAY_EVENT> kinds() const {
        QList<PLAY_EVENT> out;
        for (const auto& e : events) {
            out << e.first;
        }
        return out;
    }
    bool has(PLAY_EVENT event) const { return kinds().contains(event); }
    int count(PLAY_EVENT event) const { return kinds().count(event); }
    void clear() { events.clear(); }
    QList<QPair<PLAY_EVENT, RMVideoItem*>> events;
};

bool showsANumber(const QLabel* label) {
    bool ok = false;
    label->text().toInt(&ok);
    return ok;
}

QString toString(const QList<qint64>& values) {
    QStringList out;
    for (qint64 v : values) {
        out << QString::number(v);
    }
    return out.join(',');
}

QString toString(const QList<PLAY_EVENT>& events) {
    QStringList out;
    for (PLAY_EVENT e : events) {
        out << QString::number(int(e));
    }
    return out.join(',');
}

}  // namespace

class TestPlayer : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void loadPlayPauseStop();
    void displaysFollowPlayback();
    void selectingWhilePlayingSwitches();
    void endPlaysTheNextAndTheLastWrapsToTheFirst();
    void steppingRepeatsAndPlayersFollow();
    void steppingCrossesIntoTheNeighbours();
    void steppingStopsAtTheFirstRecordingsStart();
    void tapsShowTheirPictureAndPlayFollows();
    void aCaptureAfterAStepTakesTheStepsPictures();
    void frameStepsAreExactBothWays_data();
    void frameStepsAreExactBothWays();
    void unevenChannelsPlayInStep_data();
    void unevenChannelsPlayInStep();
    void twoSwapsWithin80msMakeOne();
    void swapWithoutARecordingSwapsOnlyThePanes();
    void sliderClickOffTheHandleJumps();
    void draggingShowsPicturesOnTheWay();
    void soundFollowsSpeedMuteAndVolume();
    void stopDuringALoadLeavesNextWorking();
    void nothingStartsAfterAStopDuringTheRearDelay_data();
    void nothingStartsAfterAStopDuringTheRearDelay();
    void aDialogDuringADragGivesTheSoundBack();
    void checkBoxKeysReachThePlayerOnlyOutsideDialogs();
    void deactivationReleasesTheHeldKey();
    void fullScreenMovesTheBarsAndKeepsTheChannelsInStep();
    void screenshots();
    void reloadWhilePlayingLeavesNoDanglingItem();
    void oneChannelAndDamagedRecordings();
    void unplayableWithoutRearIsReplacedByTheNext();
    void cleanupTestCase();

private:
    // A card of one 3 s recording whose front and rear files ffmpeg made
    // with the given codecs (an empty rear codec: no rear file).
    bool makeShapedCard(const QString& name, int fps, int bframes, const QString& frontCodec,
                        const QString& rearCodec, double seconds = 3, double rearSeconds = 3);
    // A card folder made of files of the main card, some damaged.
    QString makeVariant(const QString& name, const QStringList& files, const QStringList& damaged);
    bool openCard(const QString& folder, int count);
    RMVideoItem* item(int row) const {
        return RMVideoFileList::instance()->shownItems().value(row);
    }
    bool play(int row);
    bool playing() const;
    qint64 sliderValue() const;
    // The time of the picture the main (true) or sub pane was given, in ms.
    qint64 shownMs(bool main) const;
    // Pauses and stands both players still at `ms`.
    bool pauseAt(qint64 ms);
    // One press and release of a stepping key; waits until both players
    // have landed.
    bool tap(int key);
    bool landed() const;

    QTemporaryDir _cards;
    WindowMain* _window = nullptr;
    RMPlayer* _player = nullptr;
};

void TestPlayer::initTestCase() {
    qRegisterMetaType<PLAY_EVENT>("PLAY_EVENT");
    QVERIFY(makeCard(_cards.path() + "/card", {"--recordings", "3", "--seconds", "8"}));
    _window = viewer_fixture::showViewer();
    QVERIFY(_window != nullptr);
    _player = RMPlayer::instance();
    QVERIFY(openCard(_cards.path() + "/card", 3));
}

void TestPlayer::init() {
    _player->onUserStop();
    QVERIFY(waitUntil([this] { return !_player->frontPlayer()->isPlaying(); }));
    spin(50);
    if (_player->isSwapped()) {
        _player->toggleSwap(true);
    }
    _player->updateSpeed(1.0);
}

void TestPlayer::cleanupTestCase() {
    if (_player == nullptr) {
        return;
    }
    _player->onUserStop();
    spin(100);
    delete _window;
}

bool TestPlayer::play(int row) {
    return viewer_fixture::playRow(_window, row);
}

bool TestPlayer::playing() const {
    return _player->frontPlayer()->state() == AVPlayer::PlayingState;
}

qint64 TestPlayer::sliderValue() const {
    return _window->frameLeft()->frameSlider()->positionSlider()->value();
}

qint64 TestPlayer::shownMs(bool main) const {
    const VideoRenderer* renderer = main ? _player->mainRenderer() : _player->subRenderer();
    const VideoFrame frame = renderer->currentFrame();
    return frame.isValid() ? qRound64(frame.timestamp() * 1000) : -1;
}

bool TestPlayer::landed() const {
    AVPlayer* rear = _player->rearPlayer();
    return !_player->frontPlayer()->isSeeking() && (!rear->isLoaded() || !rear->isSeeking());
}

bool TestPlayer::pauseAt(qint64 ms) {
    if (!_player->frontPlayer()->isPaused()) {
        _player->onPlayOrPause();
    }
    _player->seek(ms, false);
    return waitUntil([&] { return landed() && qAbs(shownMs(true) - ms) < 40; });
}

bool TestPlayer::tap(int key) {
    RMKeyEvent::instance()->pressed(key);
    RMKeyEvent::instance()->released(key);
    return waitUntil([this] { return landed() && _player->stepMode() == RMPlayerBase::STEP_NONE; });
}

void TestPlayer::loadPlayPauseStop() {
    EventLog log(_player);
    QVERIFY(play(0));
    QVERIFY(waitUntil([&] { return log.has(PE_FIRST_FRAME); }));
    // The hand-over stops first, then the load, the start and the first
    // picture of the front channel.
    const QList<PLAY_EVENT> start{PE_STOPPED, PE_LOADING, PE_PLAYING, PE_STARTED, PE_FIRST_FRAME};
    QVERIFY2(log.kinds().mid(0, 5) == start, qPrintable(toString(log.kinds())));
    QCOMPARE(log.events.at(1).second, item(0));
    // Both panes show pictures of the same moment.
    RMFrameVideoMain* main = _window->frameLeft()->videoMain();
    RMFrameVideoSub* sub = _window->frameRight()->videoSub();
    QVERIFY(waitUntil([&] { return main->isVideoOn() && sub->isVideoOn(); }));
    QVERIFY(waitUntil([&] { return _player->rearPlayer()->displyedFrame().isValid(); }));
    spin(400);
    const double front = _player->frontPlayer()->displyedFrame().timestamp();
    const double rear = _player->rearPlayer()->displyedFrame().timestamp();
    QVERIFY2(qAbs(front - rear) < 0.07, qPrintable(QString("%1 %2").arg(front).arg(rear)));
    QVERIFY(sliderValue() > 0);
    QVERIFY(_window->frameLeft()->framePlay()->stopButton()->isEnabled());

    log.clear();
    _player->onPlayOrPause();
    QCOMPARE(log.kinds(), QList<PLAY_EVENT>{PE_PAUSED});
    QVERIFY(_player->frontPlayer()->isPaused());
    QVERIFY(_player->rearPlayer()->isPaused());
    const qint64 still = _player->frontPlayer()->position();
    spin(300);
    QVERIFY(qAbs(_player->frontPlayer()->position() - still) < 40);
    _player->onPlayOrPause();
    QCOMPARE(log.kinds().last(), PE_PLAYING);
    QVERIFY(playing());

    log.clear();
    _player->onUserStop();
    QVERIFY(waitUntil([&] { return log.has(PE_STOPPED); }));
    QVERIFY(log.has(PE_USER_STOP));
    QVERIFY(_player->currentItem() == nullptr);
    QVERIFY(!_window->frameLeft()->framePlay()->stopButton()->isEnabled());
    QVERIFY(waitUntil([&] { return !main->isVideoOn(); }));
}

void TestPlayer::selectingWhilePlayingSwitches() {
    QVERIFY(play(0));
    EventLog log(_player);
    QElapsedTimer since;
    since.start();
    qint64 stoppedAt = -1;
    qint64 loadingAt = -1;
    QObject context;
    connect(_player, &RMPlayer::playEvent, &context, [&](PLAY_EVENT event, RMVideoItem*) {
        if (event == PE_STOPPED && stoppedAt < 0) {
            stoppedAt = since.elapsed();
        } else if (event == PE_LOADING && loadingAt < 0) {
            loadingAt = since.elapsed();
        }
    });
    const int releases = RMAllocator::releasesDone();
    QVERIFY(play(1));
    // The old recording's freed memory goes back to the system.
    QTRY_VERIFY(RMAllocator::releasesDone() > releases);
    QVERIFY(stoppedAt >= 0 && loadingAt >= 0);
    // The new recording loads once the old one has stopped, 20 ms later.
    QVERIFY2(loadingAt - stoppedAt >= 19, qPrintable(QString::number(loadingAt - stoppedAt)));
    QCOMPARE(log.events.at(log.kinds().indexOf(PE_LOADING)).second, item(1));
    QVERIFY(!RMPlayProcess::bProcessing);
}

void TestPlayer::endPlaysTheNextAndTheLastWrapsToTheFirst() {
    // At four times the speed, as the speed slider sets it.
    RMReleasedSlider* speed = _window->frameLeft()->frameSlider()->speedSlider();
    speed->setValue(3);
    emit speed->mouseReleased();
    QCOMPARE(_player->selectedSpeed(), 4.0);
    QVERIFY(play(1));
    QVERIFY(waitUntil([this] { return _player->currentItem() == item(2) && playing(); }, 15000));
    QVERIFY(waitUntil([this] { return _player->currentItem() == item(0) && playing(); }, 15000));
    speed->setValue(1);
    emit speed->mouseReleased();
    QCOMPARE(_player->selectedSpeed(), 1.0);
}

void TestPlayer::steppingRepeatsAndPlayersFollow() {
    QVERIFY(play(0));
    QList<qint64> targets;
    QList<qint64> times;
    QElapsedTimer since;
    QObject context;
    connect(_player, &RMPlayer::positionChanged, &context, [&](qint64 pos, qint64) {
        if (_player->stepMode() != RMPlayerBase::STEP_NONE) {
            targets << pos;
            times << since.elapsed();
        }
    });
    qint64 landedAt = -1;
    qint64 landedOn = -1;
    connect(_player->frontPlayer(), &AVPlayer::seekFinished, &context, [&](qint64 pos) {
        landedAt = since.elapsed();
        landedOn = pos;
    });
    // Stand still at 0 first: the steps are counted from there.
    _player->onPlayOrPause();
    _player->seek(0, true);
    QVERIFY(waitUntil([this] { return !_player->frontPlayer()->isSeeking(); }));
    _window->frameLeft()->frameSlider()->positionSlider()->setValue(0);
    since.start();
    RMKeyEvent::instance()->pressed(Qt::Key_Right);
    // Keyboard auto-repeat does not restart stepping.
    RMKeyEvent::instance()->pressed(Qt::Key_Right);
    QVERIFY(waitUntil([&] { return targets.size() >= 3; }, 2000));
    RMKeyEvent::instance()->released(Qt::Key_Right);
    const qint64 released = since.elapsed();
    // 1 s, 2 s and 3 s further; 300 ms after the first, then 150 ms.
    QCOMPARE(targets.mid(0, 3), (QList<qint64>{1000, 3000, 6000}));
    QVERIFY2(times.at(1) - times.at(0) >= 280 && times.at(1) - times.at(0) < 400,
             qPrintable(QString::number(times.at(1) - times.at(0))));
    QVERIFY2(times.at(2) - times.at(1) >= 130 && times.at(2) - times.at(1) < 250,
             qPrintable(QString::number(times.at(2) - times.at(1))));
    // The players follow once more 300 ms after the release: the last
    // landing (one during the hold may land about the release) comes then.
    QVERIFY(waitUntil(
        [&] {
            return landedOn == 6000 && !_player->isSeekTimerActive() &&
                   !_player->frontPlayer()->isSeeking();
        },
        3000));
    // (A coarse timer may fire up to 5% early.)
    QVERIFY2(landedAt - released >= 280, qPrintable(QString::number(landedAt - released)));
    QVERIFY(_player->frontPlayer()->isPaused());
}

void TestPlayer::steppingCrossesIntoTheNeighbours() {
    // Back from below one second: the previous recording stands still on
    // its last picture, in both panes, with the slider and the time there.
    QVERIFY(play(1));
    QVERIFY(pauseAt(200));
    RMKeyEvent::instance()->pressed(Qt::Key_Left);
    RMKeyEvent::instance()->released(Qt::Key_Left);
    const qint64 end = item(0)->durationMs;
    QVERIFY(waitUntil([&] {
        return _player->currentItem() == item(0) && landed() && shownMs(true) > end - 100 &&
               shownMs(false) > end - 100;
    }));
    QVERIFY(_player->frontPlayer()->isPaused());
    QVERIFY(waitUntil([&] { return qAbs(sliderValue() - shownMs(true)) <= 1; }));
    QCOMPARE(_window->frameLeft()->frameSlider()->playSlider()->currentLabel()->text(),
             QString("00:07"));
    // The step is over: Play plays on from there, into the next recording.
    QCOMPARE(_player->stepMode(), int(RMPlayerBase::STEP_NONE));
    _player->onPlayOrPause();
    QVERIFY(waitUntil([this] { return _player->currentItem() == item(1) && playing(); }));

    // A held key goes on stepping in the neighbour, past its end.
    QVERIFY(pauseAt(1200));
    RMKeyEvent::instance()->pressed(Qt::Key_Left);
    QVERIFY(waitUntil([&] {
        return _player->currentItem() == item(0) && _player->frontPlayer()->isLoaded() &&
               sliderValue() > 0 && sliderValue() < end - 1500;
    }));
    RMKeyEvent::instance()->released(Qt::Key_Left);
    QVERIFY(waitUntil([this] { return !_player->isSeekTimerActive(); }));
}

void TestPlayer::steppingStopsAtTheFirstRecordingsStart() {
    // No recording before the first: a step back below one second shows
    // this recording's first picture, and stepping ends.
    QVERIFY(play(0));
    QVERIFY(pauseAt(300));
    QVERIFY(tap(Qt::Key_Left));
    QCOMPARE(_player->currentItem(), item(0));
    QVERIFY2(shownMs(true) < 40 && shownMs(false) < 40,
             qPrintable(QString("%1 %2").arg(shownMs(true)).arg(shownMs(false))));
    QCOMPARE(sliderValue(), qint64(0));
    QVERIFY(!_player->isSeekTimerActive());
}

void TestPlayer::tapsShowTheirPictureAndPlayFollows() {
    QVERIFY(play(0));
    QVERIFY(pauseAt(1000));
    // A tap sends its seek at the release.
    RMKeyEvent::instance()->pressed(Qt::Key_Right);
    RMKeyEvent::instance()->released(Qt::Key_Right);
    QVERIFY(_player->frontPlayer()->isSeeking());
    QVERIFY(waitUntil([this] { return landed() && shownMs(true) == 2000; }));
    // Rapid taps: the picture catches up with the last one's time.
    for (int i = 0; i < 4; ++i) {
        RMKeyEvent::instance()->pressed(Qt::Key_Right);
        RMKeyEvent::instance()->released(Qt::Key_Right);
        spin(30);
    }
    QCOMPARE(sliderValue(), qint64(6000));
    QVERIFY(waitUntil([this] { return landed() && shownMs(true) == 6000; }));
    QCOMPARE(shownMs(false), qint64(6000));
    // Play at once after a held step plays, from the step's position.
    QSignalSpy steps(_player, &RMPlayer::positionChanged);
    RMKeyEvent::instance()->pressed(Qt::Key_Left);
    QVERIFY(waitUntil([&] { return steps.count() == 2; }));
    RMKeyEvent::instance()->released(Qt::Key_Left);
    QCOMPARE(sliderValue(), qint64(3000));
    _player->onPlayOrPause();
    QVERIFY(playing());
    QVERIFY(waitUntil([this] { return shownMs(true) > 3050 && shownMs(true) < 3600; }));
}

void TestPlayer::aCaptureAfterAStepTakesTheStepsPictures() {
    // Captured right after a held step's release, before the players have
    // followed: both stills are the step's pictures, named after it.
    QVERIFY(play(0));
    QVERIFY(pauseAt(1000));
    QStringList files;
    QObject context;
    disconnect(_player, SIGNAL(videoCaptureDone(QList<QString>*)), _window, nullptr);
    connect(_player, &RMPlayer::videoCaptureDone, &context, [&](QList<QString>* list) {
        files = *list;
        for (const QString& file : *list) {
            QFile::remove(file);
        }
        delete list;
    });
    QSignalSpy steps(_player, &RMPlayer::positionChanged);
    RMKeyEvent::instance()->pressed(Qt::Key_Right);
    QVERIFY(waitUntil([&] { return steps.count() == 2; }));
    RMKeyEvent::instance()->released(Qt::Key_Right);
    QVERIFY(_player->requestVideoCapture());
    QVERIFY(waitUntil([&] { return files.size() == 2; }, 3000));
    connect(_player, SIGNAL(videoCaptureDone(QList<QString>*)), _window,
            SLOT(onRequestVideoCaptureDone(QList<QString>*)));
    const QString name = item(0)->titleCapture(4000);
    QVERIFY2(QFileInfo(files.at(0)).fileName() == name + "_CH1_4000.jpg" &&
                 QFileInfo(files.at(1)).fileName() == name + "_CH2_4000.jpg",
             qPrintable(files.join(' ')));
}

void TestPlayer::frameStepsAreExactBothWays_data() {
    QTest::addColumn<int>("fps");
    QTest::addColumn<int>("bframes");
    QTest::addColumn<QString>("codec");
    QTest::newRow("25") << 25 << 0 << "libx264";
    QTest::newRow("30") << 30 << 0 << "libx264";
    QTest::newRow("60") << 60 << 0 << "libx264";
    QTest::newRow("b-frames") << 30 << 2 << "libx264";
    QTest::newRow("hevc") << 30 << 0 << "libx265";
}

void TestPlayer::frameStepsAreExactBothWays() {
    QFETCH(int, fps);
    QFETCH(int, bframes);
    QFETCH(QString, codec);
    if (!engine_fixture::hasEncoder(codec)) {
        QSKIP("no encoder");
    }
    const QString name = QString("frames-%1-%2-%3").arg(fps).arg(bframes).arg(codec);
    QVERIFY(makeShapedCard(name, fps, bframes, codec, codec));
    QVERIFY(play(0));
    const double interval = 1000.0 / fps;
    QVERIFY(pauseAt(qRound64(20 * interval)));
    const qint64 start = shownMs(true);
    QList<qint64> forward{start};
    for (int i = 0; i < 10; ++i) {
        QVERIFY(tap(Qt::Key_F));
        forward << shownMs(true);
        // The position is the shown picture's time.
        QVERIFY(waitUntil([&] { return qAbs(sliderValue() - forward.last()) <= 1; }));
    }
    QList<qint64> back{forward.last()};
    for (int i = 0; i < 10; ++i) {
        QVERIFY(tap(RMKeyEvent::kFrameBackKey));
        back << shownMs(true);
    }
    for (int i = 1; i <= 10; ++i) {
        QVERIFY2(qAbs(forward.at(i) - forward.at(i - 1) - interval) < 2 &&
                     qAbs(back.at(i - 1) - back.at(i) - interval) < 2,
                 qPrintable(QString("forward %1, back %2").arg(toString(forward), toString(back))));
    }
    QCOMPARE(back.last(), start);
    // At the first picture a step back stays there.
    QVERIFY(pauseAt(0));
    QVERIFY(tap(RMKeyEvent::kFrameBackKey));
    QCOMPARE(shownMs(true), qint64(0));
    QVERIFY(openCard(_cards.path() + "/card", 3));
}

void TestPlayer::unevenChannelsPlayInStep_data() {
    QTest::addColumn<QString>("frontCodec");
    QTest::addColumn<QString>("rearCodec");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<double>("rearSeconds");
    QTest::newRow("hevc front, h264 rear") << "libx265"
                                           << "libx264" << 3.0 << 3.0;
    QTest::newRow("rear shorter") << "libx264"
                                  << "libx264" << 3.0 << 2.0;
    QTest::newRow("under a second") << "libx264"
                                    << "libx264" << 0.8 << 0.8;
}

void TestPlayer::unevenChannelsPlayInStep() {
    // Both panes show the same moment while both channels have pictures;
    // past the end of a shorter rear, the rear keeps its last picture while
    // the front goes on; at the end the (only) recording plays again.
    QFETCH(QString, frontCodec);
    QFETCH(QString, rearCodec);
    QFETCH(double, seconds);
    QFETCH(double, rearSeconds);
    if (!engine_fixture::hasEncoder(frontCodec)) {
        QSKIP("no encoder");
    }
    QVERIFY(makeShapedCard(QTest::currentDataTag(), 30, 0, frontCodec, rearCodec, seconds,
                           rearSeconds));
    QVERIFY(play(0));
    const qint64 middle = qRound64(rearSeconds * 500);
    QVERIFY(pauseAt(middle));
    QVERIFY2(qAbs(shownMs(false) - shownMs(true)) <= 34,
             qPrintable(QString("%1 %2").arg(shownMs(true)).arg(shownMs(false))));
    if (rearSeconds < seconds) {
        const qint64 beyond = qRound64((rearSeconds + seconds) * 500);
        QVERIFY(pauseAt(beyond));
        QVERIFY(waitUntil([&] { return shownMs(false) > rearSeconds * 1000 - 100; }));
        QVERIFY(shownMs(false) < rearSeconds * 1000);
    }
    EventLog log(_player);
    _player->onPlayOrPause();
    QVERIFY(waitUntil([&] { return log.count(PE_STARTED) == 1 && playing(); }, 8000));
    QVERIFY(waitUntil([&] { return shownMs(true) >= 0 && shownMs(false) >= 0; }));
    QVERIFY(openCard(_cards.path() + "/card", 3));
}

void TestPlayer::twoSwapsWithin80msMakeOne() {
    QVERIFY(play(0));
    QSignalSpy events(_player, &RMPlayer::playEvent);
    _window->frameRight()->videoSub()->swapButton()->click();
    _window->frameRight()->videoSub()->swapButton()->click();
    QVERIFY(_player->isSwapped());
    QVERIFY(waitUntil([this] { return !_player->isEventsBlocked(); }));
    _window->frameRight()->videoSub()->swapButton()->click();
    QVERIFY(!_player->isSwapped());
    // The large pane shows the rear camera's renderer while swapped, and
    // the panes' titles follow.
    QVERIFY(waitUntil([this] { return !_player->isEventsBlocked(); }));
    _player->toggleSwap(true);
    QVERIFY(_player->isSwapped());
    QCOMPARE(_player->rearPlayer()->renderer(), _player->mainRenderer());
    QVERIFY(!_window->frameLeft()->videoMain()->showsFront());
    _player->toggleSwap(true);
    QCOMPARE(_player->frontPlayer()->renderer(), _player->mainRenderer());
    // Blanking the rear channel while swapped blanks the large pane and its
    // zoom overview.
    _player->toggleSwap(true);
    _player->onPlayOrPause();
    QVERIFY(_player->startZoom(true) != nullptr);
    VideoRenderer* overview = _player->zoomRenderer(true);
    QVERIFY(waitUntil([&] { return overview->currentFrame().isValid(); }));
    _player->clearScreen(false);
    QVERIFY(!overview->currentFrame().isValid());
    QVERIFY(!_player->mainRenderer()->currentFrame().isValid());
    _player->stopZoom(true);
}

void TestPlayer::swapWithoutARecordingSwapsOnlyThePanes() {
    QVERIFY(_player->currentItem() == nullptr);
    _player->mainRenderer()->receive(VideoFrame());
    _player->toggleSwap(true);
    QVERIFY(_player->isSwapped());
    QVERIFY(!_player->mainRenderer()->currentFrame().isValid());
    QVERIFY(!_player->subRenderer()->currentFrame().isValid());
    _player->toggleSwap(true);
}

void TestPlayer::sliderClickOffTheHandleJumps() {
    QVERIFY(play(0));
    RMSlider* slider = _window->frameLeft()->frameSlider()->positionSlider();
    QVERIFY(waitUntil([&] { return slider->isEnabled() && sliderValue() > 300; }));
    QSignalSpy knob(slider, &RMSlider::sliderPressedWithKnob);
    const QPoint point(slider->width() * 3 / 4, slider->height() / 2);
    const qint64 target = slider->valueAt(point.x());
    QVERIFY(target > 5000);
    QTest::mouseClick(slider, Qt::LeftButton, Qt::NoModifier, point);
    QCOMPARE(knob.count(), 1);
    QCOMPARE(knob.first().first().toBool(), false);
    // Both panes jump there at once (normal playback would take five
    // seconds to get there), and playback goes on from there.
    QVERIFY(waitUntil(
        [&] { return qAbs(shownMs(true) - target) <= 34 && qAbs(shownMs(false) - target) <= 34; },
        2000));
    QVERIFY(playing());
    QVERIFY(waitUntil([&] { return shownMs(true) > target + 200; }));
}

void TestPlayer::draggingShowsPicturesOnTheWay() {
    // Camera-like pictures, whose seeks take longer than a drag step.
    const QString card = _cards.path() + "/hd";
    QVERIFY(makeCard(card, {"--recordings", "1", "--seconds", "6", "--front-size", "1280x720",
                            "--rear-size", "1280x720", "--gop", "30", "--profile", "camera"}));
    QVERIFY(openCard(card, 1));
    QVERIFY(play(0));
    RMSlider* slider = _window->frameLeft()->frameSlider()->positionSlider();
    QVERIFY(waitUntil([&] { return slider->isEnabled(); }));
    _player->onPlayOrPause();
    // A hand drags the knob across the recording, a step every 16 ms: the
    // panes and the position follow on the way, not only at the release.
    QSignalSpy reports(_player, &RMPlayer::positionChanged);
    QSet<qint64> shown;
    slider->setSliderDown(true);
    for (int value = 300; value <= 5400; value += 40) {
        slider->setSliderPosition(value);
        spin(16);
        shown.insert(qint64(_player->frontPlayer()->displyedFrame().timestamp() * 1000));
    }
    QVERIFY2(shown.size() >= 8 && reports.count() >= 8,
             qPrintable(QString("%1 pictures, %2 reports").arg(shown.size()).arg(reports.count())));
    // The release lands exactly where the knob was let go.
    slider->setSliderDown(false);
    _player->onSliderRelease();
    QVERIFY(waitUntil([this] { return qAbs(_player->frontPlayer()->position() - 5400) < 100; }));
    QVERIFY(openCard(_cards.path() + "/card", 3));
}

void TestPlayer::soundFollowsSpeedMuteAndVolume() {
    QVERIFY(play(0));
    AudioOutput* audio = _player->frontPlayer()->audio();
    RMFrameSlider* bar = _window->frameLeft()->frameSlider();
    const auto volumeOf = [](int v) { return (10 + 0.9 * v) * 0.009; };
    const auto soundAt = [&](int v) {
        return waitUntil(
            [&] { return !audio->isMute() && qAbs(audio->volume() - volumeOf(v)) < 1e-6; }, 500);
    };
    const int v = bar->volumeSlider()->value();
    _player->updateSpeed(0.5);
    QVERIFY(audio->isMute());
    // Back to normal speed within a short mute (as at play and pause): the
    // sound returns when the mute ends, at the volume set.
    _player->muteIfRequired(100);
    _player->updateSpeed(1.0);
    QCOMPARE(audio->volume(), 0.0);
    QVERIFY(soundAt(v));
    // And after a pause, a seek and a drag.
    _player->onPlayOrPause();
    _player->onPlayOrPause();
    QVERIFY(soundAt(v));
    _player->seek(2000, false);
    QVERIFY(soundAt(v));
    RMSlider* slider = bar->positionSlider();
    emit slider->sliderPressedWithKnob(true);
    _player->onSliderMove(4000);
    QCOMPARE(audio->volume(), 0.0);
    _player->onSliderRelease();
    QVERIFY(soundAt(v));
    // The mute button holds the sound off while the volume changes.
    bar->muteButton()->click();
    QVERIFY(audio->isMute());
    bar->volumeSlider()->setValue(60);
    QVERIFY(audio->isMute());
    bar->muteButton()->click();
    QVERIFY(soundAt(60));
    bar->volumeSlider()->setValue(v);

    _player->updateSpeed(4.0);
    QCOMPARE(AVPlayer::skipCount(), 16);
    QSignalSpy landed(_player->frontPlayer(), &AVPlayer::seekFinished);
    _player->updateSpeed(1.0);
    QCOMPARE(AVPlayer::skipCount(), 0);
    QVERIFY(landed.wait(3000));
    // Back from 0.5 there is no seek.
    _player->updateSpeed(0.5);
    landed.clear();
    _player->updateSpeed(1.0);
    spin(300);
    QCOMPARE(landed.count(), 0);
}

void TestPlayer::stopDuringALoadLeavesNextWorking() {
    QVERIFY(play(0));
    // Select, and stop before the load completes: nothing is switched in
    // any more, so next, previous and auto-advance must not wait.
    spin(RMWidgetVideoList::kDoubleClickGuardMs + 50);
    _window->frameList()->table()->onDoubleClickItem(1, 1);
    QVERIFY(RMPlayProcess::bProcessing);
    _player->onUserStop();
    spin(200);
    QVERIFY(!RMPlayProcess::bProcessing);
    QVERIFY(_player->currentItem() == nullptr);
    // Playing again, next goes on to the following recording.
    QVERIFY(play(0));
    _window->frameList()->table()->onNext();
    QVERIFY(waitUntil([this] { return _player->currentItem() == item(1) && playing(); }));
}

void TestPlayer::nothingStartsAfterAStopDuringTheRearDelay_data() {
    QTest::addColumn<bool>("reload");
    QTest::newRow("stop") << false;
    QTest::newRow("reload") << true;
}

void TestPlayer::nothingStartsAfterAStopDuringTheRearDelay() {
    // The rear channel starts a moment after it has loaded; a stop or a
    // folder reload in that moment must leave everything stopped.
    QFETCH(bool, reload);
    QVERIFY(play(0));
    _player->onUserStop();
    QVERIFY(waitUntil([this] { return !_player->frontPlayer()->isPlaying(); }));
    QObject context;
    bool stoppedInTheGap = false;
    connect(_player->rearPlayer(), &AVPlayer::mediaStatusChanged, &context,
            [&](MediaStatus status) {
                if (status == LoadedMedia && !stoppedInTheGap) {
                    stoppedInTheGap = true;
                    if (reload) {
                        _window->openFolder(_cards.path() + "/card");
                    } else {
                        _player->onUserStop();
                    }
                }
            });
    EventLog log(_player);
    spin(RMWidgetVideoList::kDoubleClickGuardMs + 20);
    _window->frameList()->table()->onDoubleClickItem(1, 1);
    QVERIFY(waitUntil([&] { return stoppedInTheGap; }));
    spin(400);
    QVERIFY2(!log.has(PE_STARTED), qPrintable(toString(log.kinds())));
    QVERIFY(!_player->frontPlayer()->isPlaying());
    QVERIFY(!RMKeyEvent::instance()->isEnabled());
    QVERIFY(!_window->frameLeft()->framePlay()->stopButton()->isEnabled());
    QVERIFY(openCard(_cards.path() + "/card", 3));
}

void TestPlayer::aDialogDuringADragGivesTheSoundBack() {
    // A dialog opens while the knob is held (F5), and its release never
    // comes: the drag ends there, and the sound comes back.
    QVERIFY(play(0));
    RMSlider* slider = _window->frameLeft()->frameSlider()->positionSlider();
    QVERIFY(waitUntil([&] { return slider->isEnabled(); }));
    slider->setSliderDown(true);
    emit slider->sliderPressedWithKnob(true);
    slider->setSliderPosition(3000);
    QCOMPARE(_player->frontPlayer()->audio()->volume(), 0.0);
    QDialog dialog(_window);
    viewer_fixture::ModalScript script({[](QWidget* modal) {
        static_cast<QDialog*>(modal)->reject();
        return true;
    }});
    dialog.exec();
    QVERIFY(script.done());
    QVERIFY(_player->frontPlayer()->audio()->volume() > 0);
    // And across the next recording too.
    QVERIFY(play(1));
    QVERIFY(waitUntil([this] { return _player->frontPlayer()->audio()->volume() > 0; }, 500));
}

void TestPlayer::checkBoxKeysReachThePlayerOnlyOutsideDialogs() {
    QVERIFY(play(0));
    RMKeyEvent* keys = RMKeyEvent::instance();
    // In the list: a press and its release step once.
    QWidget page;
    auto* box = new RMWidgetCheckBox(&page);
    page.show();
    QTest::keyPress(box, Qt::Key_Right);
    QVERIFY(keys->isKeyHeld());
    QTest::keyRelease(box, Qt::Key_Right);
    QVERIFY(!keys->isKeyHeld());
    // In a modal dialog, the keys are the dialog's.
    QDialog dialog(_window);
    auto* inDialog = new RMWidgetCheckBox(&dialog);
    dialog.setModal(true);
    dialog.show();
    QTest::keyPress(inDialog, Qt::Key_Right);
    QVERIFY(!keys->isKeyHeld());
    QTest::keyRelease(inDialog, Qt::Key_Right);
    dialog.hide();
}

void TestPlayer::deactivationReleasesTheHeldKey() {
    QVERIFY(play(0));
    // The focus moves as the window system would move it; a shared X server
    // without a window manager does not reliably move it on request.
    QApplication::setActiveWindow(_window);
    QVERIFY(_window->isActiveWindow());
    QSignalSpy released(RMKeyEvent::instance(), &RMKeyEvent::releasedF1);
    RMKeyEvent::instance()->pressed(Qt::Key_Right);
    QVERIFY(RMKeyEvent::instance()->isKeyHeld());
    // A popup takes the focus while the key is down, and its release goes
    // to the popup.
    QWidget popup;
    popup.show();
    QApplication::setActiveWindow(&popup);
    QVERIFY(waitUntil([&] { return released.count() == 1; }, 500));
    QVERIFY(!RMKeyEvent::instance()->isKeyHeld());
    // Stepping ends as after a release: the players follow once more and
    // full screen is no longer blocked.
    QVERIFY(waitUntil([this] { return !_player->isSeekTimerActive(); }, 1000));
}

void TestPlayer::fullScreenMovesTheBarsAndKeepsTheChannelsInStep() {
    QVERIFY(play(0));
    RMFrameLeft* left = _window->frameLeft();
    RMFrameBottom* bottom = left->frameBottom();
    QVERIFY(bottom->isHidden());
    _window->titleWidget()->fullScreenButton()->click();
    QVERIFY(_window->isFullScreen());
    // (The window takes input again once it has the focus back.)
    QVERIFY(waitUntil([this] { return _window->isEnabled(); }, 3000));
    // The bars join the camera-choice bar; the small pane and list leave.
    QVERIFY(bottom->isVisible());
    QCOMPARE(left->frameSlider()->parentWidget(), static_cast<QWidget*>(bottom));
    QCOMPARE(left->framePlay()->parentWidget(), static_cast<QWidget*>(bottom));
    QVERIFY(_window->frameRight()->isHidden());
    QVERIFY(left->frameGraph()->isHidden());
    QVERIFY(!bottom->frontButton()->isEnabled());
    QVERIFY(bottom->rearButton()->isEnabled());
    // Both channels still play in step.
    spin(500);
    const double front = _player->frontPlayer()->displyedFrame().timestamp();
    const double rear = _player->rearPlayer()->displyedFrame().timestamp();
    QVERIFY2(qAbs(front - rear) < 0.07, qPrintable(QString("%1 %2").arg(front).arg(rear)));
    // The rear camera in the large pane, from the bar.
    bottom->rearButton()->click();
    QVERIFY(_player->isSwapped());
    QVERIFY(bottom->frontButton()->isEnabled());
    QVERIFY(waitUntil([this] { return !_player->isEventsBlocked(); }));
    bottom->frontButton()->click();
    QVERIFY(!_player->isSwapped());
    // Back at normal size everything returns to its place. (Called without
    // a sender it always goes back; an X server without a window manager
    // may already have dropped the full-screen state by itself.)
    QMetaObject::invokeMethod(_window, "onFullScreen");
    QVERIFY(waitUntil([this] { return !_window->isFullScreen(); }, 3000));
    QVERIFY(bottom->isHidden());
    QCOMPARE(left->frameSlider()->parentWidget(), static_cast<QWidget*>(left));
    QCOMPARE(left->framePlay()->parentWidget(), static_cast<QWidget*>(left));
    QVERIFY(_window->frameRight()->isVisible());
    QVERIFY(left->frameGraph()->isVisible());
    QCOMPARE(_window->size(), QSize(WindowMain::kWidth, WindowMain::kHeight));
}

void TestPlayer::displaysFollowPlayback() {
    RMDialogMap* map = RMDialogMap::instance();
    map->show();  // the page loads when the window first opens
    QVERIFY(waitUntil([map] { return map->isPageLoaded(); }));
    QStringList calls;
    const QMetaObject::Connection spy =
        connect(map->mapWidget(), &RMWidgetMap::scriptRun, [&](const QString& script) {
            if (script.startsWith("setLatLag(")) {
                calls << script;
            }
        });
    // The second recording has a fix throughout (the first starts without).
    QVERIFY(play(1));
    RMFrameGraph* strip = _window->frameLeft()->frameGraph();
    QVERIFY(waitUntil([&] { return showsANumber(strip->speedLabel()->lcd()); }));
    QCOMPARE(strip->graph()->line(0).size(), int(item(1)->sensorData->sensorCount));
    QVERIFY(waitUntil([&] { return strip->graph()->cursorX() > 0; }));
    QVERIFY(waitUntil([&] { return calls.size() >= 3; }));
    QJsonObject page;
    QVERIFY(waitUntil([&] {
        page = map_fixture::pageState(map->mapWidget()->page());
        return !page["lines"].toArray().isEmpty();
    }));
    QCOMPARE(page["markers"].toArray().size(), 1);
    disconnect(spy);
    map->onClose();

    // The small pane's map button opens the window and closes it again.
    RMButton* button = _window->frameRight()->videoSub()->mapButton();
    QVERIFY(button->isEnabled());
    button->click();
    QVERIFY(map->isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(map));
    button->click();
    QVERIFY(map->isHidden());
}

void TestPlayer::screenshots() {
    // Not a check: with ORVIN_SCREENSHOT_DIR set, writes the README's
    // pictures: the main window during playback, and the map window with
    // the track of the drive so far, drawn without tiles (none can be
    // fetched here), broken where the receiver lost its fix.
    const QString folder = qEnvironmentVariable("ORVIN_SCREENSHOT_DIR");
    if (folder.isEmpty()) {
        QSKIP("ORVIN_SCREENSHOT_DIR not set");
    }
    const QString shots = _cards.path() + "/shots";
    // A drive up to 130 km/h and down again, through a tunnel at speed.
    QVERIFY(makeCard(
        shots, {"--recordings", "2", "--seconds", "60", "--seed", "4", "--fix-gap", "52:12"}));
    QVERIFY(openCard(shots, 2));
    QVERIFY(play(0));
    RMButton* mapButton = _window->frameRight()->videoSub()->mapButton();
    mapButton->click();
    RMDialogMap* map = RMDialogMap::instance();
    map->move(_window->geometry().right() - map->width() - 20, _window->y() + 60);
    _player->updateSpeed(4.0);
    QVERIFY(waitUntil(
        [this] {
            return _player->currentItem() == item(1) && _player->frontPlayer()->position() > 26000;
        },
        60000));
    _player->updateSpeed(1.0);
    spin(1000);
    // The whole drive so far in view, as the user would zoom out to see it.
    bool fitted = false;
    map->mapWidget()->page()->runJavaScript(
        "var b = L.latLngBounds([]);"
        "map.eachLayer(function (l) { if (l instanceof L.Polyline) b.extend(l.getBounds()); });"
        "map.fitBounds(b, {padding: [24, 24], animate: false}); true;",
        [&](const QVariant&) { fitted = true; });
    QVERIFY(waitUntil([&] { return fitted; }));
    spin(1000);
    QVERIFY(_window->grab().save(folder + "/main-window-playing.png"));
    QVERIFY(map->grab().save(folder + "/map-window.png"));
    mapButton->click();
    QVERIFY(openCard(_cards.path() + "/card", 3));
}

QString TestPlayer::makeVariant(const QString& name, const QStringList& files,
                                const QStringList& damaged) {
    const QString folder = _cards.path() + "/" + name + "/DCIM";
    QDir().mkpath(folder);
    const QString source = _cards.path() + "/card/DCIM/";
    for (const QString& file : files + damaged) {
        QFile::copy(source + file, folder + "/" + file);
    }
    // No decoder takes the sample entries any more: the file opens but
    // cannot play.
    for (const QString& file : damaged) {
        QFile f(folder + "/" + file);
        f.open(QIODevice::ReadWrite);
        QByteArray bytes = f.readAll();
        bytes.replace("avc1", "zzz1").replace("mp4a", "zzz2").replace("esds", "zzz3");
        f.seek(0);
        f.write(bytes);
    }
    return _cards.path() + "/" + name;
}

bool TestPlayer::makeShapedCard(const QString& name, int fps, int bframes,
                                const QString& frontCodec, const QString& rearCodec, double seconds,
                                double rearSeconds) {
    const QString folder = _cards.path() + "/" + name + "/DCIM";
    QDir().mkpath(folder);
    const QString base = folder + "/NNF_240517-083000-000001_";
    engine_fixture::MediaShape shape;
    shape.fps = fps;
    shape.bframes = bframes;
    shape.gop = fps;
    shape.audio = true;
    shape.codec = frontCodec;
    shape.seconds = seconds;
    if (!QFile::copy(engine_fixture::makeMedia(name + "-front", shape), base + "1.mp4")) {
        return false;
    }
    if (!rearCodec.isEmpty()) {
        shape.audio = false;
        shape.codec = rearCodec;
        shape.seconds = rearSeconds;
        if (!QFile::copy(engine_fixture::makeMedia(name + "-rear", shape), base + "2.mp4")) {
            return false;
        }
    }
    return openCard(_cards.path() + "/" + name, 1);
}

bool TestPlayer::openCard(const QString& folder, int count) {
    return viewer_fixture::openCard(_window, folder, count);
}

void TestPlayer::reloadWhilePlayingLeavesNoDanglingItem() {
    QVERIFY(play(0));
    QPointer<RMVideoItem> playing = item(0);
    // Opening a folder frees every recording of the old list.
    QVERIFY(openCard(_cards.path() + "/card", 3));
    QVERIFY(waitUntil([&] { return playing.isNull() && !_player->frontPlayer()->isLoaded(); }));
    spin(100);
    QVERIFY(_player->currentItem() == nullptr);
    QVERIFY(RMPlayProcess::instance()->pendingItem() == nullptr);
    // Nothing plays: play says so, a swap only exchanges the blank panes,
    // and the stepping keys do nothing; then a recording plays as before.
    EventLog log(_player);
    _player->onPlayOrPause();
    QVERIFY2(log.has(PE_NOT_LOADED) && !log.has(PE_PLAYING) && !log.has(PE_PAUSED),
             qPrintable(toString(log.kinds())));
    _player->toggleSwap(true);
    QVERIFY(_player->isSwapped());
    QVERIFY(!_player->mainRenderer()->currentFrame().isValid());
    _player->toggleSwap(true);
    RMKeyEvent::instance()->pressed(Qt::Key_Right);
    QVERIFY(!RMKeyEvent::instance()->isKeyHeld());
    QVERIFY(!_player->isSeekTimerActive());
    RMKeyEvent::instance()->released(Qt::Key_Right);
    QVERIFY(play(1));
}

void TestPlayer::oneChannelAndDamagedRecordings() {
    const QString card =
        makeVariant("variants",
                    {"NNF_240517-083000-000001_1.mp4", "NEF_240517-083008-000002_2.mp4",
                     "NNF_240517-083016-000003_2.mp4"},
                    {"NNF_240517-083016-000003_1.mp4"});
    QVERIFY(openCard(card, 3));
    RMFrameVideoSub* sub = _window->frameRight()->videoSub();

    // Front only: the small pane keeps its logo, and there is nothing to swap.
    // Playback starts once the player has its first picture, so that the
    // clock does not run ahead of it.
    int startedPrerolled = -1;
    const QMetaObject::Connection started =
        connect(_player, &RMPlayerBase::playEvent, this, [&](PLAY_EVENT event, RMVideoItem*) {
            if (event == PE_STARTED) {
                startedPrerolled = _player->frontPlayer()->isPrerolled() ? 1 : 0;
            }
        });
    QVERIFY(play(0));
    disconnect(started);
    QCOMPARE(startedPrerolled, 1);
    QVERIFY(waitUntil([&] { return _window->frameLeft()->videoMain()->isVideoOn(); }));
    QVERIFY(!sub->isVideoOn());
    QVERIFY(!sub->swapButton()->isEnabled());
    QVERIFY(!_player->isRearAsFront());

    // Rear only, and a front file that cannot play: the rear file plays in
    // the front player, with its sound, in the large pane as the rear
    // camera, at normal size and in full screen; swap moves it to the small
    // pane and back.
    RMFrameVideoMain* main = _window->frameLeft()->videoMain();
    RMFrameBottom* bottom = _window->frameLeft()->frameBottom();
    const auto playsIn = [this](bool mainPane) {
        const qint64 first = shownMs(mainPane);
        return waitUntil([=] { return shownMs(mainPane) > first && first >= 0; }) &&
               shownMs(!mainPane) < 0;
    };
    for (int row : {1, 2}) {
        QVERIFY(play(row));
        QVERIFY(_player->isRearAsFront());
        QVERIFY(item(row)->frontPath.isEmpty() || row == 1);
        QCOMPARE(_player->frontPlayer()->file(), item(row)->rearPath);
        QVERIFY(playsIn(true));
        QVERIFY(!main->showsFront() && main->isVideoOn());
        QVERIFY(sub->swapButton()->isEnabled());
        sub->swapButton()->click();
        QVERIFY(playsIn(false));
        QVERIFY(waitUntil([this] { return !_player->isEventsBlocked(); }));
        sub->swapButton()->click();
        QVERIFY(playsIn(true));
        _window->titleWidget()->fullScreenButton()->click();
        QVERIFY(waitUntil([this] { return _window->isEnabled(); }, 3000));
        QVERIFY(playsIn(true));
        // The camera buttons say the rear camera shows, and there is no
        // other to choose.
        QVERIFY(!bottom->frontButton()->isEnabled() && !bottom->rearButton()->isEnabled());
        QMetaObject::invokeMethod(_window, "onFullScreen");
        QVERIFY(waitUntil([this] { return !_window->isFullScreen(); }, 3000));
    }
    QVERIFY(item(2)->frontPath.isEmpty());
    QVERIFY(openCard(_cards.path() + "/card", 3));
}

void TestPlayer::unplayableWithoutRearIsReplacedByTheNext() {
    // The unplayable recording leaves the list and the one remembered as its
    // next plays, also when the unplayable one is the first.
    const QString two = makeVariant("unplayable", {"NEF_240517-083008-000002_1.mp4"},
                                    {"NNF_240517-083000-000001_1.mp4"});
    QVERIFY(openCard(two, 2));
    item(0)->repairTried = true;
    RMVideoItem* survivor = item(1);
    spin(RMWidgetVideoList::kDoubleClickGuardMs + 20);
    _window->frameList()->table()->onDoubleClickItem(0, 1);
    QVERIFY(waitUntil([&] {
        return RMVideoFileList::instance()->shownItems().size() == 1 &&
               _player->currentItem() == survivor && _player->frontPlayer()->isPlaying();
    }));
    // Alone in its list, it leaves nothing to play, and the player stops.
    const QString one = makeVariant("alone", {}, {"NNF_240517-083016-000003_1.mp4"});
    QVERIFY(openCard(one, 1));
    // (No repair of the damaged copy: it would only zero boxes.)
    item(0)->repairTried = true;
    spin(RMWidgetVideoList::kDoubleClickGuardMs + 20);
    _window->frameList()->table()->onDoubleClickItem(0, 1);
    QVERIFY(waitUntil([] { return RMVideoFileList::instance()->shownItems().isEmpty(); }));
    spin(300);
    QVERIFY(_player->currentItem() == nullptr);
    QVERIFY(!_player->frontPlayer()->isPlaying());
    QVERIFY(!RMPlayProcess::bProcessing);
    QVERIFY(openCard(_cards.path() + "/card", 3));
}

ORVIN_TEST_MAIN(TestPlayer)
#include "test_player.moc"
