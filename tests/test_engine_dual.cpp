#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTimer>
#include <mutex>

#include "engine/audio_output.h"
#include "engine/av_clock.h"
#include "engine/av_player.h"
#include "engine/null_renderer.h"
#include "engine_fixture.h"
#include "test_support.h"

using engine_fixture::makeMedia;
using engine_fixture::MediaShape;
using engine_fixture::spin;
using engine_fixture::waitUntil;

namespace {

bool loadAndWait(AVPlayer& player, const QString& media) {
    player.setFile(media);
    return player.load() && waitUntil([&] { return player.mediaStatus() != LoadingMedia; }) &&
           player.isLoaded();
}

// Timestamps a renderer received, from any thread.
class Recorder {
public:
    NullRenderer output{[this](const VideoFrame& frame) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (frame.isValid()) {
            shown_ << frame.timestamp();
        }
    }};
    QList<double> shown() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return shown_;
    }
    int countBetween(double from, double to) const {
        int n = 0;
        for (double t : shown()) {
            n += t >= from && t < to;
        }
        return n;
    }

private:
    mutable std::mutex mutex_;
    QList<double> shown_;  // guarded by mutex_
};

}  // namespace

class TestEngineDual : public QObject {
    Q_OBJECT
private slots:
    void fixedDurationOnTheFrontNeverExtends();
    void shorterRearRunsOnToTheFrontsEnd();
    void longerRearEndsWithTheFront();
    void skipCount_data();
    void skipCount();
    void twoPlayersOnOneClockStayInStep();
};

void TestEngineDual::fixedDurationOnTheFrontNeverExtends() {
    AVPlayer front;
    QVERIFY(loadAndWait(front, makeMedia("front3", MediaShape{320, 240, 30, 3.0, 30})));
    const qint64 own = front.duration();
    front.setFixedDuration(5000);
    QCOMPARE(front.endExtension(), 0.0);
    QCOMPARE(front.mediaStopPosition(), own);
    QCOMPARE(front.duration(), own);
    front.setFixedDuration(1000);
    QCOMPARE(front.duration(), own);
    QCOMPARE(front.mediaStopPosition(), own);
}

void TestEngineDual::shorterRearRunsOnToTheFrontsEnd() {
    const QString frontMedia = makeMedia("front5", MediaShape{320, 240, 30, 5.0, 30});
    const QString rearMedia = makeMedia("rear2", MediaShape{320, 180, 30, 2.0, 30});
    Recorder frontShown;
    Recorder rearShown;
    AVPlayer front;
    AVPlayer rear;
    rear.setPlayerID(1);
    front.setMediaEndAction(MediaEndAction_KeepDisplay);
    rear.setMediaEndAction(MediaEndAction_KeepDisplay);
    front.setRenderer(&frontShown.output);
    rear.setRenderer(&rearShown.output);
    QVERIFY(loadAndWait(front, frontMedia));
    QVERIFY(loadAndWait(rear, rearMedia));
    const qint64 rearOwn = rear.duration();
    front.setFixedDuration(front.duration());
    rear.setFixedDuration(front.duration());
    QVERIFY(qAbs(rear.endExtension() - 3.0) < 0.05);
    QCOMPARE(rear.mediaStopPosition(), rearOwn);
    QCOMPARE(rear.duration(), rearOwn);

    QElapsedTimer since;
    since.start();
    qint64 frontEnd = -1;
    qint64 rearEnd = -1;
    connect(&front, &AVPlayer::mediaStatusChanged, this,
            [&](MediaStatus s) { frontEnd = s == EndOfMedia ? since.elapsed() : frontEnd; });
    connect(&rear, &AVPlayer::mediaStatusChanged, this,
            [&](MediaStatus s) { rearEnd = s == EndOfMedia ? since.elapsed() : rearEnd; });
    front.setSpeed(4.0);
    rear.setSpeed(4.0);
    front.play();
    rear.play();
    QVERIFY(waitUntil([&] { return frontEnd >= 0 && rearEnd >= 0; }, 20000));
    // The rear channel does not end before the front one (without the
    // extension it would end 750 ms earlier), and keeps its last picture on
    // screen meanwhile.
    QVERIFY2(rearEnd >= frontEnd - 250, qPrintable(QString("%1 %2").arg(rearEnd).arg(frontEnd)));
    QVERIFY(qAbs(rearShown.output.currentFrame().timestamp() - (2.0 - 1.0 / 30)) < 0.002);
    QVERIFY(qAbs(frontShown.output.currentFrame().timestamp() - (5.0 - 1.0 / 30)) < 0.002);
}

void TestEngineDual::longerRearEndsWithTheFront() {
    const QString frontMedia = makeMedia("front3", MediaShape{320, 240, 30, 3.0, 30});
    const QString rearMedia = makeMedia("rear5", MediaShape{320, 180, 30, 5.0, 30, true});
    Recorder rearShown;
    AVPlayer front;
    AVPlayer rear;
    rear.setPlayerID(1);
    rear.setAudioStream(-1);
    rear.setMediaEndAction(MediaEndAction_KeepDisplay);
    rear.setRenderer(&rearShown.output);
    QVERIFY(loadAndWait(front, frontMedia));
    QVERIFY(loadAndWait(rear, rearMedia));
    rear.setFixedDuration(front.duration());
    QCOMPARE(rear.endExtension(), 0.0);
    QCOMPARE(rear.duration(), front.duration());
    QCOMPARE(rear.mediaStopPosition(), front.duration());

    QElapsedTimer since;
    since.start();
    qint64 frontEnd = -1;
    qint64 rearEnd = -1;
    connect(&front, &AVPlayer::mediaStatusChanged, this,
            [&](MediaStatus s) { frontEnd = s == EndOfMedia ? since.elapsed() : frontEnd; });
    connect(&rear, &AVPlayer::mediaStatusChanged, this,
            [&](MediaStatus s) { rearEnd = s == EndOfMedia ? since.elapsed() : rearEnd; });
    front.setSpeed(4.0);
    rear.setSpeed(4.0);
    front.play();
    rear.play();
    QVERIFY(waitUntil([&] { return frontEnd >= 0 && rearEnd >= 0; }, 20000));
    // Uncut it would end 500 ms later.
    QVERIFY2(qAbs(rearEnd - frontEnd) < 250,
             qPrintable(QString("%1 %2").arg(rearEnd).arg(frontEnd)));
    const QList<double> shown = rearShown.shown();
    QVERIFY(!shown.isEmpty());
    QVERIFY(shown.last() < 3.0);
    QVERIFY(shown.last() > 2.9);
}

void TestEngineDual::skipCount_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("lateShownMin");
    QTest::addColumn<int>("lateShownMax");
    // 60 frames fall behind the clock at once; one in `count` of them is
    // shown (plus the first of the run); with 0 all of them.
    QTest::newRow("0") << 0 << 60 << 60;
    QTest::newRow("8") << 8 << 6 << 10;
    QTest::newRow("16") << 16 << 3 << 6;
    QTest::newRow("0 again") << 0 << 60 << 60;
}

void TestEngineDual::skipCount() {
    QFETCH(int, count);
    QFETCH(int, lateShownMin);
    QFETCH(int, lateShownMax);
    const QString media = makeMedia("skip", MediaShape{320, 240, 30, 4.0, 30});
    Recorder shown;
    AVPlayer front;
    AVPlayer rear;
    rear.setPlayerID(1);
    rear.setRenderer(&shown.output);
    // Set on the front player, it acts on every player.
    front.setSkipCount(count);
    QCOMPARE(AVPlayer::skipCount(), count);
    QVERIFY(loadAndWait(rear, media));
    rear.masterClock()->setClockAuto(false);
    rear.masterClock()->setClockType(AVClock::ExternalClock);
    rear.setSpeed(2.0);
    rear.play();
    rear.masterClock()->updateExternalClock(2000);
    QVERIFY(waitUntil([&] { return rear.mediaStatus() == EndOfMedia; }, 20000));
    const int late = shown.countBetween(0, 1.99);
    QVERIFY2(late >= lateShownMin && late <= lateShownMax, qPrintable(QString::number(late)));
    // Frames on time are always shown (a busy machine may make a few late).
    QVERIFY(shown.countBetween(2.1, 5.0) >= 50);
    front.setSkipCount(0);
}

void TestEngineDual::twoPlayersOnOneClockStayInStep() {
    const QString frontMedia = makeMedia("front5", MediaShape{320, 240, 30, 5.0, 30});
    const QString rearMedia = makeMedia("rear5", MediaShape{320, 180, 30, 5.0, 30, true});
    NullRenderer a;
    NullRenderer b;
    AVClock shared(AVClock::ExternalClock);
    AVPlayer front;
    AVPlayer rear;
    rear.setPlayerID(1);
    rear.audio()->setBackends(QStringList());
    front.setRenderer(&a);
    rear.setRenderer(&b);
    QVERIFY(loadAndWait(front, frontMedia));
    QVERIFY(loadAndWait(rear, rearMedia));
    for (AVPlayer* player : {&front, &rear}) {
        player->masterClock()->setClockAuto(false);
        player->masterClock()->setClockType(AVClock::ExternalClock);
    }
    // As the controller does: one reference clock, both players corrected
    // from it every 500 ms.
    shared.reset();
    front.play();
    rear.play();
    shared.start();
    QTimer sync;
    connect(&sync, &QTimer::timeout, this, [&] {
        front.masterClock()->updateExternalClock(shared);
        rear.masterClock()->updateExternalClock(shared);
    });
    sync.start(500);

    double worst = 0;
    int samples = 0;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 2500) {
        spin(7);
        const VideoFrame x = front.displyedFrame();
        const VideoFrame y = rear.displyedFrame();
        if (x.isValid() && y.isValid()) {
            worst = qMax(worst, qAbs(x.timestamp() - y.timestamp()));
            ++samples;
        }
        if (samples == 150) {
            // A seek of both while playing lands them together again.
            front.seek(3000);
            rear.seek(3000);
        }
    }
    QVERIFY(samples > 100);
    QVERIFY2(worst <= 1.0 / 30 + 0.001, qPrintable(QString::number(worst)));
}

ORVIN_CORE_TEST_MAIN(TestEngineDual)
#include "test_engine_dual.moc"
