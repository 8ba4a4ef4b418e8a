#include <QSignalSpy>

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
}

void TestEngineSeek::landsOnTheFrameAtTheTarget() {
    QFETCH(QString, name);
    QFETCH(MediaShape, shape);
    QFETCH(int, type);
    QFETCH(QList<qint64>, targets);
    const QString media = makeMedia(name, shape);
    QVERIFY(!media.isEmpty());
    NullRenderer output;
    AVPlayer player;
    player.setRenderer(&output);
    player.setSeekType(SeekType(type));
    QVERIFY(startPaused(player, media));
    const double interval = 1000.0 / shape.fps;
    for (qint64 target : targets) {
        const qint64 landed = seekAndWait(player, target);
        QVERIFY2(qAbs(landed - target) <= interval,
                 qPrintable(QString("%1 -> %2").arg(target).arg(landed)));
        // The picture shown, kept, and reported agree with each other.
        const VideoFrame frame = player.displyedFrame();
        QCOMPARE(std::llround(frame.timestamp() * 1000), landed);
        QCOMPARE(output.currentFrame().timestamp(), frame.timestamp());
        QCOMPARE(player.position(), landed);
        // And it is the picture ffmpeg decodes there (most targets are not
        // key frames).
        const QImage expected = engine_fixture::ffmpegFrame(media, frame.timestamp() - 0.0005);
        const double db = engine_fixture::psnr(frame.toImage(), expected);
        QVERIFY2(db > 35, qPrintable(QString("%1 ms: %2 dB").arg(landed).arg(db)));
    }
    // Paused after all that: the clock stands at the last picture.
    spin(100);
    QCOMPARE(player.position(), std::llround(player.displyedFrame().timestamp() * 1000));
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
    QSignalSpy finished(&player, &AVPlayer::seekFinished);
    for (int i = 0; i < 30; ++i) {
        player.seek(100 + i * 117 % 3800);
    }
    player.seek(1234);
    QVERIFY(waitUntil([&] {
        return !player.seek_exist() && finished.count() > 0 &&
               finished.last().first().toLongLong() == 1233;
    }));
    spin(100);
    // Requests that piled up were merged, and the last one won.
    QVERIFY(finished.count() <= 31);
    QCOMPARE(finished.last().first().toLongLong(), qint64(1233));
    QCOMPARE(std::llround(player.displyedFrame().timestamp() * 1000), qint64(1233));
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
