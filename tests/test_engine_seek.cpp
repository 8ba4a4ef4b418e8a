#include <QSignalSpy>
#include <QThread>
#include <mutex>

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

bool startPaused(AVPlayer& player, const QString& media) {
    player.setFile(media);
    player.play();
    if (!waitUntil([&] { return player.displyedFrame().isValid(); })) {
        return false;
    }
    player.pause(true);
    return player.isPaused();
}

// Seeks and waits for the report; -1 when none came.
qint64 seekAndWait(AVPlayer& player, qint64 target) {
    QSignalSpy finished(&player, &AVPlayer::seekFinished);
    player.seek(target);
    if (!waitUntil([&] { return finished.count() > 0 && !player.seek_exist(); })) {
        return -1;
    }
    return finished.last().first().toLongLong();
}

}  // namespace

class TestEngineSeek : public QObject {
    Q_OBJECT
private slots:
    void landsOnTheFrameAtTheTarget_data();
    void landsOnTheFrameAtTheTarget();
    void keyFrameSeekShowsTheKeyFrameBefore();
    void seekWhilePlayingGoesOnFromTheTarget();
    void burstOfSeeksEndsAtTheLastTarget();
    void burstDuringPlaybackShowsNoStalePicture();
    void seekAtTheEndIsNotLostToTheEnd();
    void seekPastTheEndShowsTheLastPicture();
    void seekWhileStoppedIsIgnored();
};

void TestEngineSeek::landsOnTheFrameAtTheTarget_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<MediaShape>("shape");
    QTest::addColumn<int>("type");
    QTest::addColumn<QList<qint64>>("targets");
    QTest::newRow("320x240 30 fps, GOP 30, accurate")
        << "seek_a" << MediaShape{320, 240, 30, 4.0, 30} << int(AccurateSeek)
        << QList<qint64>{1500, 1067, 2990, 40, 0, 3967};
    QTest::newRow("640x360 25 fps, GOP 50, any frame")
        << "seek_b" << MediaShape{640, 360, 25, 4.0, 50} << int(AnyFrameSeek)
        << QList<qint64>{1960, 3100, 520, 2000};
    QTest::newRow("odd size, GOP 7, any frame")
        << "seek_c" << MediaShape{210, 118, 30, 3.0, 7} << int(AnyFrameSeek)
        << QList<qint64>{2333, 1000, 1700};
    MediaShape bframes{320, 240, 30, 4.0, 30};
    bframes.bframes = 2;
    QTest::newRow("two B-frames, any frame")
        << "seek_bf" << bframes << int(AnyFrameSeek) << QList<qint64>{1500, 1067, 2990, 33, 3967};
    MediaShape hevc{320, 240, 30, 3.0, 30};
    hevc.codec = QStringLiteral("libx265");
    hevc.bframes = 2;
    QTest::newRow("HEVC with B-frames")
        << "seek_hevc" << hevc << int(AnyFrameSeek) << QList<qint64>{1500, 733, 2967, 0};
    MediaShape late{320, 240, 25, 3.0, 25};
    late.startSeconds = 5;
    QTest::newRow("timestamps from 5 s on")
        << "seek_start" << late << int(AccurateSeek) << QList<qint64>{1520, 400, 2960, 0};
    QTest::newRow("1080p") << "seek_1080" << MediaShape{1920, 1080, 30, 2.0, 30}
                           << int(AnyFrameSeek) << QList<qint64>{1500, 467, 1967};
}

void TestEngineSeek::landsOnTheFrameAtTheTarget() {
    QFETCH(QString, name);
    QFETCH(MediaShape, shape);
    QFETCH(int, type);
    QFETCH(QList<qint64>, targets);
    if (!engine_fixture::hasEncoder(shape.codec)) {
        QSKIP("this ffmpeg has no such encoder");
    }
    const QString media = makeMedia(name, shape);
    QVERIFY(!media.isEmpty());
    NullRenderer output;
    AVPlayer player;
    player.setRenderer(&output);
    player.setSeekType(SeekType(type));
    QVERIFY(startPaused(player, media));
    // Positions count from the first picture; timestamps are the file's own.
    const double start = engine_fixture::startSeconds(media);
    QCOMPARE(start > 0, shape.startSeconds > 0);
    const double interval = 1000.0 / shape.fps;
    for (qint64 target : targets) {
        const qint64 landed = seekAndWait(player, target);
        QVERIFY2(qAbs(landed - target) <= interval,
                 qPrintable(QString("%1 -> %2").arg(target).arg(landed)));
        // The picture shown, kept, and reported agree with each other.
        const VideoFrame frame = player.displyedFrame();
        QCOMPARE(std::llround((frame.timestamp() - start) * 1000), landed);
        QCOMPARE(output.currentFrame().timestamp(), frame.timestamp());
        QCOMPARE(player.position(), landed);
        // And it is the picture ffmpeg decodes there (most targets are not
        // key frames).
        const QImage expected =
            engine_fixture::ffmpegFrame(media, frame.timestamp() - start - 0.0005);
        const double db = engine_fixture::psnr(frame.toImage(), expected);
        QVERIFY2(db > 35, qPrintable(QString("%1 ms: %2 dB").arg(landed).arg(db)));
    }
    // Paused after all that: the clock stands at the last picture.
    spin(100);
    QCOMPARE(player.position(), std::llround((player.displyedFrame().timestamp() - start) * 1000));
}

void TestEngineSeek::keyFrameSeekShowsTheKeyFrameBefore() {
    const QString media = makeMedia("seek_a", MediaShape{320, 240, 30, 4.0, 30});
    AVPlayer player;
    player.setSeekType(KeyFrameSeek);
    QVERIFY(startPaused(player, media));
    QCOMPARE(seekAndWait(player, 2500), qint64(2000));
    QCOMPARE(seekAndWait(player, 999), qint64(0));
    QCOMPARE(seekAndWait(player, 3000), qint64(3000));
}

void TestEngineSeek::seekWhilePlayingGoesOnFromTheTarget() {
    const QString media = makeMedia("seek_a", MediaShape{320, 240, 30, 4.0, 30});
    QList<double> shown;
    std::mutex shownMutex;
    NullRenderer output([&](const VideoFrame& frame) {
        std::lock_guard<std::mutex> lock(shownMutex);
        shown << frame.timestamp();
    });
    AVPlayer player;
    player.setRenderer(&output);
    player.setFile(media);
    player.play();
    QVERIFY(waitUntil([&] { return output.frameCount() > 3; }));
    QSignalSpy finished(&player, &AVPlayer::seekFinished);
    {
        std::lock_guard<std::mutex> lock(shownMutex);
        shown.clear();
    }
    player.seek(2500);
    QVERIFY(waitUntil([&] { return finished.count() == 1; }));
    QVERIFY(qAbs(finished.first().first().toLongLong() - 2500) <= 34);
    QVERIFY(waitUntil([&] { return player.position() > 2700; }));
    std::lock_guard<std::mutex> lock(shownMutex);
    // After the jump the pictures run on from the target, in order.
    int from = 0;
    while (from < shown.size() && shown[from] < 2.4) {
        ++from;
    }
    QVERIFY(from < shown.size() - 3);
    for (int i = from + 1; i < shown.size(); ++i) {
        QVERIFY(shown[i] > shown[i - 1]);
        QVERIFY(shown[i] - shown[i - 1] < 0.034);
    }
}

void TestEngineSeek::burstOfSeeksEndsAtTheLastTarget() {
    const QString media = makeMedia("seek_a", MediaShape{320, 240, 30, 4.0, 30});
    AVPlayer player;
    QVERIFY(startPaused(player, media));
    const int executedBefore = player.executedSeekCount();
    QSignalSpy finished(&player, &AVPlayer::seekFinished);
    QSignalSpy positions(&player, &AVPlayer::positionChanged);
    for (int i = 0; i < 30; ++i) {
        player.seek(100 + i * 117 % 3800);
    }
    player.seek(1234);
    QVERIFY(waitUntil([&] { return finished.count() > 0; }));
    spin(300);
    // Requests that piled up were merged, and only the last one reported,
    // with the picture it asked for.
    QVERIFY2(player.executedSeekCount() - executedBefore <= 3,
             qPrintable(QString::number(player.executedSeekCount() - executedBefore)));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.first().first().toLongLong(), qint64(1233));
    QCOMPARE(positions.count(), 1);
    QVERIFY(!player.isSeeking());
    QCOMPARE(std::llround(player.displyedFrame().timestamp() * 1000), qint64(1233));
}

void TestEngineSeek::burstDuringPlaybackShowsNoStalePicture() {
    const QString media = makeMedia("seek_long", MediaShape{320, 240, 30, 8.0, 15});
    QList<double> shown;
    std::mutex shownMutex;
    NullRenderer output([&](const VideoFrame& frame) {
        std::lock_guard<std::mutex> lock(shownMutex);
        shown << frame.timestamp();
    });
    AVPlayer player;
    player.setRenderer(&output);
    player.setFile(media);
    player.play();
    QVERIFY(waitUntil([&] { return output.frameCount() > 3; }));
    // Every report is the landing of the newest request at that moment.
    qint64 newest = -1;
    int reports = 0;
    int stale = 0;
    connect(&player, &AVPlayer::seekFinished, this, [&](qint64 pos) {
        ++reports;
        stale += qAbs(pos - newest) > 34;
    });
    // Seeks a few milliseconds apart: many are executed and then replaced
    // while their landing is on its way.
    for (int i = 0; i < 25; ++i) {
        newest = 500 + (i * 1931) % 6000;
        player.seek(newest);
        spin(3);
    }
    newest = 2000;
    player.seek(newest);
    QVERIFY(waitUntil([&] { return !player.isSeeking(); }));
    spin(400);
    QVERIFY(reports > 0);
    QCOMPARE(stale, 0);
    std::lock_guard<std::mutex> lock(shownMutex);
    // From the landing on, the pictures run forward from the target: no
    // landing of a replaced seek shows up in between.
    const int landing = shown.lastIndexOf(2.0);
    QVERIFY(landing >= 0);
    for (int i = landing + 1; i < shown.size(); ++i) {
        QVERIFY2(shown[i] > shown[i - 1] && shown[i] < 2.6,
                 qPrintable(QString("%1 after %2").arg(shown[i]).arg(shown[i - 1])));
    }
    QVERIFY(shown.size() - landing > 5);
}

void TestEngineSeek::seekAtTheEndIsNotLostToTheEnd() {
    // The end of the stream is reported just as a seek back is executed:
    // the seek wins and playback goes on from its target.
    // MPEG-TS: its seeks search the file, which keeps the window open longer.
    MediaShape shape{320, 240, 30, 0.5, 15};
    shape.startSeconds = 1;
    const QString media = makeMedia("seek_short", shape);
    int tried = 0;
    for (int round = 0; round < 12; ++round) {
        AVPlayer player;
        NullRenderer output;
        player.setRenderer(&output);
        player.setFile(media);
        player.setSpeed(2.0);
        player.play();
        QVERIFY(waitUntil([&] { return output.frameCount() > 0; }));
        // Let the end come close while nothing is handed over, then seek
        // back: the end is reached while the seek executes.
        const double end = player.displyedFrame().timestamp() + 0.56;
        while (player.masterClock()->value() < end) {
            QTest::qSleep(1);
        }
        if (player.mediaStatus() == EndOfMedia) {
            continue;  // a busy machine let it end before the seek
        }
        ++tried;
        player.seek(0);
        QThread::usleep(200 * (round % 4));
        QSignalSpy finished(&player, &AVPlayer::seekFinished);
        QVERIFY2(waitUntil([&] { return finished.count() == 1; }, 5000),
                 qPrintable(QString::number(round)));
        QVERIFY2(player.mediaStatus() != EndOfMedia, qPrintable(QString::number(round)));
        QCOMPARE(player.state(), AVPlayer::PlayingState);
        QVERIFY(waitUntil([&] { return player.mediaStatus() == EndOfMedia; }, 5000));
    }
    QVERIFY(tried > 0);
}

void TestEngineSeek::seekPastTheEndShowsTheLastPicture() {
    const QString media = makeMedia("seek_a", MediaShape{320, 240, 30, 4.0, 30});
    AVPlayer player;
    QVERIFY(startPaused(player, media));
    const qint64 landed = seekAndWait(player, player.duration() + 5000);
    QCOMPARE(landed, qint64(3967));
    // Paused at the end it stays there; resumed it ends.
    spin(200);
    QVERIFY(player.isPaused());
    QSignalSpy stopped(&player, &AVPlayer::stopped);
    player.pause(false);
    QVERIFY(waitUntil([&] { return stopped.count() == 1; }));
    QCOMPARE(player.mediaStatus(), EndOfMedia);
}

void TestEngineSeek::seekWhileStoppedIsIgnored() {
    const QString media = makeMedia("seek_a", MediaShape{320, 240, 30, 4.0, 30});
    AVPlayer player;
    QSignalSpy finished(&player, &AVPlayer::seekFinished);
    player.seek(1000);
    player.setFile(media);
    player.load();
    QVERIFY(waitUntil([&] { return player.isLoaded(); }));
    player.seek(1000);
    QVERIFY(!player.seek_exist());
    spin(100);
    QCOMPARE(finished.count(), 0);
}

ORVIN_CORE_TEST_MAIN(TestEngineSeek)
#include "test_engine_seek.moc"
