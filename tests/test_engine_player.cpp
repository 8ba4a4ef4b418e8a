#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QMap>
#include <QMutex>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <thread>

#include "engine/audio_output.h"
#include "engine/av_clock.h"
#include "engine/av_player.h"
#include "engine/null_renderer.h"
#include "engine/video_thread.h"
#include "engine_fixture.h"
#include "test_support.h"

using engine_fixture::makeMedia;
using engine_fixture::MediaShape;
using engine_fixture::spin;
using engine_fixture::waitUntil;

namespace {

// Everything a player announces, in order, as short words.
class PlayerLog : public QObject {
public:
    explicit PlayerLog(AVPlayer* player) {
        connect(player, &AVPlayer::mediaStatusChanged, this,
                [this](MediaStatus status) { events << statusName(status); });
        connect(player, &AVPlayer::started, this, [this] { events << "started"; });
        connect(player, &AVPlayer::stopped, this, [this] { events << "stopped"; });
        connect(player, &AVPlayer::paused, this,
                [this](bool p) { events << (p ? "paused" : "resumed"); });
        connect(player, &AVPlayer::error, this, [this](const AVError& e) {
            events << "error";
            errors << e;
        });
        connect(player, &AVPlayer::firstFrameNotify, this,
                [this](qreal pts) { firstFrames << pts; });
        connect(player, &AVPlayer::positionChanged, this, [this](qint64 pos) { positions << pos; });
    }
    static QString statusName(MediaStatus status) {
        switch (status) {
            case LoadingMedia:
                return "Loading";
            case LoadedMedia:
                return "Loaded";
            case BufferedMedia:
                return "Buffered";
            case EndOfMedia:
                return "End";
            case InvalidMedia:
                return "Invalid";
            case NoMedia:
                return "NoMedia";
            default:
                return "other";
        }
    }
    bool has(const QString& event) const { return events.contains(event); }

    QStringList events;
    QList<AVError> errors;
    QList<qreal> firstFrames;
    QList<qint64> positions;
};

bool loadAndWait(AVPlayer& player, const QString& media) {
    player.setFile(media);
    return player.load() && waitUntil([&] { return player.mediaStatus() != LoadingMedia; }) &&
           player.mediaStatus() == LoadedMedia;
}

}  // namespace

class TestEnginePlayer : public QObject {
    Q_OBJECT
private slots:
    void loadPlayPauseStop();
    void playWithoutLoadLoadsFirst();
    void firstPictureIsDecodedAtLoadAndShownAtPlay_data();
    void firstPictureIsDecodedAtLoadAndShownAtPlay();
    void playsToTheEnd_data();
    void playsToTheEnd();
    void badFilesAreInvalidMedia_data();
    void badFilesAreInvalidMedia();
    void damagedPartWayPlaysUpToTheDamage();
    void firstFrameOncePerStart();
    void displayedFrame();
    void outputs();
    void renderersMayAskThePlayer();
    void removedRendererIsNeverTouchedAgain();
    void callsFromInsideSignals();
    void stopAndDestroyNeverHang();
    void stopNeverWaitsForAStuckRead();
    void deblockingSkippedOnlyAboveNormalSpeed();
};

void TestEnginePlayer::loadPlayPauseStop() {
    const QString media = makeMedia("basic", MediaShape{320, 240, 30, 2.0, 30});
    QVERIFY(!media.isEmpty());
    NullRenderer output;
    AVPlayer player;
    player.setRenderer(&output);
    PlayerLog log(&player);

    QVERIFY(!player.load());  // no file yet
    player.setFile(media);
    QVERIFY(player.load());
    QCOMPARE(player.mediaStatus(), LoadingMedia);
    QVERIFY(player.load());  // loading already
    QVERIFY(waitUntil([&] { return player.mediaStatus() == LoadedMedia; }));
    QVERIFY(player.isLoaded());
    QVERIFY(!player.isPlaying());
    QVERIFY(qAbs(player.duration() - 2000) <= 40);
    QCOMPARE(player.mediaStopPosition(), player.duration());

    player.play();
    QCOMPARE(player.state(), AVPlayer::PlayingState);
    QVERIFY(player.isPlaying());
    QVERIFY(!player.isPaused());
    QVERIFY(waitUntil([&] { return output.frameCount() >= 5; }));

    // Paused counts as playing; the pictures and the position stand still.
    player.pause(true);
    QVERIFY(player.isPaused());
    QVERIFY(player.isPlaying());
    spin(60);
    const int frames = output.frameCount();
    const qint64 position = player.position();
    spin(200);
    QCOMPARE(output.frameCount(), frames);
    QCOMPARE(player.position(), position);

    player.pause(false);
    QVERIFY(!player.isPaused());
    QVERIFY(waitUntil([&] { return output.frameCount() > frames; }));
    QVERIFY(player.position() > position);

    player.stop();
    QCOMPARE(player.state(), AVPlayer::StoppedState);
    QVERIFY(!player.isLoaded());
    QVERIFY(waitUntil([&] { return log.has("stopped"); }));
    spin(50);
    QCOMPARE(log.events, (QStringList{"Loading", "Loaded", "Buffered", "started", "paused",
                                      "resumed", "NoMedia", "stopped"}));
    // The default end action blanks the outputs.
    QVERIFY(!output.currentFrame().isValid());

    // A second stop does nothing.
    player.stop();
    spin(50);
    QCOMPARE(log.events.count("stopped"), 1);
}

void TestEnginePlayer::playWithoutLoadLoadsFirst() {
    const QString media = makeMedia("basic", MediaShape{320, 240, 30, 2.0, 30});
    NullRenderer output;
    AVPlayer player;
    player.addVideoRenderer(&output);
    PlayerLog log(&player);
    player.setFile(media);
    player.play();
    // The picture may reach the output before the signal is delivered.
    QVERIFY(waitUntil([&] { return output.frameCount() > 0 && log.has("started"); }));
    QCOMPARE(log.events.mid(0, 4), (QStringList{"Loading", "Loaded", "Buffered", "started"}));
}

void TestEnginePlayer::firstPictureIsDecodedAtLoadAndShownAtPlay_data() {
    QTest::addColumn<bool>("sound");
    QTest::newRow("with sound") << true;
    // Sound read ahead before play is dropped when play comes without it.
    QTest::newRow("sound turned off before play") << false;
}

void TestEnginePlayer::firstPictureIsDecodedAtLoadAndShownAtPlay() {
    QFETCH(bool, sound);
    const QString media = makeMedia("preroll", MediaShape{320, 240, 30, 2.0, 30, true});
    NullRenderer output;
    AVPlayer player;
    player.audio()->setBackends(QStringList());
    player.setRenderer(&output);
    player.setNotifyInterval(20);
    PlayerLog log(&player);
    QVERIFY(loadAndWait(player, media));
    // Decoded while the player waits to be started, but not shown, and the
    // next pictures decoded ahead of their time.
    QVERIFY(waitUntil([&] { return player.isPrerolled(); }));
    QVERIFY(player.decodedFrameCount() >= 1);
    QVERIFY(
        waitUntil([&] { return player.decodedFrameCount() >= 1 + VideoThread::kQueuedPictures; }));
    spin(100);
    QCOMPARE(output.frameCount(), 0);
    QVERIFY(!player.displyedFrame().isValid());
    QVERIFY(log.firstFrames.isEmpty());

    if (!sound) {
        player.setAudioStream(-1);
    }
    player.play();
    QVERIFY(waitUntil([&] { return output.frameCount() >= 1; }));
    QVERIFY(qAbs(player.displyedFrame().timestamp()) < 0.002);
    // It plays on through the end, with or without its sound.
    QVERIFY(waitUntil([&] { return log.has("stopped"); }, 10000));
    QVERIFY2(output.frameCount() >= 59, qPrintable(QString::number(output.frameCount())));
    QCOMPARE(player.mediaStatus(), EndOfMedia);
}

void TestEnginePlayer::playsToTheEnd_data() {
    QTest::addColumn<bool>("keepDisplay");
    QTest::addColumn<QString>("name");
    QTest::addColumn<MediaShape>("shape");
    QTest::newRow("keep display") << true << "end_a" << MediaShape{320, 240, 30, 2.0, 30};
    QTest::newRow("blank, 25 fps, odd size")
        << false << "end_b" << MediaShape{318, 178, 25, 1.6, 10};
    QTest::newRow("with sound") << true << "end_c" << MediaShape{320, 240, 30, 2.0, 15, true};
}

void TestEnginePlayer::playsToTheEnd() {
    QFETCH(bool, keepDisplay);
    QFETCH(QString, name);
    QFETCH(MediaShape, shape);
    const QString media = makeMedia(name, shape);
    QVERIFY(!media.isEmpty());
    NullRenderer output;
    AVPlayer player;
    player.audio()->setBackends(QStringList());
    player.setRenderer(&output);
    player.setMediaEndAction(keepDisplay ? MediaEndAction_KeepDisplay : MediaEndAction_Default);
    player.setNotifyInterval(20);
    PlayerLog log(&player);
    QVERIFY(loadAndWait(player, media));
    player.setSpeed(2.0);
    player.play();
    QVERIFY(waitUntil([&] { return log.has("stopped"); }, 20000));
    // The end is announced before the stop, and every frame was shown.
    QCOMPARE(log.events.mid(log.events.size() - 2), (QStringList{"End", "stopped"}));
    QVERIFY(!log.has("error"));
    const int expected = qRound(shape.seconds * shape.fps);
    QVERIFY2(output.frameCount() >= expected - 1, qPrintable(QString::number(output.frameCount())));
    QVERIFY(!log.positions.isEmpty());
    QVERIFY2(log.positions.last() >= player.duration() - 150,
             qPrintable(QString::number(log.positions.last())));
    QCOMPARE(player.state(), AVPlayer::StoppedState);
    QCOMPARE(player.mediaStatus(), EndOfMedia);
    if (keepDisplay) {
        const VideoFrame last = output.currentFrame();
        QVERIFY(last.isValid());
        QVERIFY(qAbs(last.timestamp() - (shape.seconds - 1.0 / shape.fps)) < 0.002);
    } else {
        QVERIFY(!output.currentFrame().isValid());
    }
}

void TestEnginePlayer::badFilesAreInvalidMedia_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("code");
    QTest::newRow("missing") << "missing" << int(AVError::OpenError);
    QTest::newRow("empty") << "empty" << int(AVError::OpenError);
    QTest::newRow("garbage") << "garbage" << int(AVError::OpenError);
    QTest::newRow("index cut off") << "cut" << int(AVError::OpenError);
}

void TestEnginePlayer::badFilesAreInvalidMedia() {
    QFETCH(QString, kind);
    QFETCH(int, code);
    const QString path = engine_fixture::mediaDir().filePath("bad_" + kind + ".mp4");
    if (kind != "missing") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        if (kind == "garbage") {
            QByteArray bytes(100000, '\0');
            for (int i = 0; i < bytes.size(); ++i) {
                bytes[i] = char((i * 7919) >> 3);
            }
            file.write(bytes);
        } else if (kind == "cut") {
            // The index comes last in this file; without it nothing plays.
            QFile whole(makeMedia("basic", MediaShape{320, 240, 30, 2.0, 30}));
            QVERIFY(whole.open(QIODevice::ReadOnly));
            file.write(whole.read(whole.size() / 2));
        }
    }
    NullRenderer output;
    AVPlayer player;
    player.setRenderer(&output);
    PlayerLog log(&player);
    player.setFile(path);
    player.play();
    QVERIFY(waitUntil([&] { return log.has("Invalid"); }));
    QCOMPARE(log.events, (QStringList{"Loading", "error", "Invalid"}));
    QCOMPARE(int(log.errors.first().error()), code);
    QVERIFY(!log.errors.first().string().isEmpty());
    QVERIFY(!log.errors.first().ffmpegErrorString().isEmpty());
    QVERIFY(!player.isLoaded());
    QVERIFY(!player.isPlaying());
    player.stop();
    spin(30);
    QVERIFY(!log.has("stopped"));
    QCOMPARE(output.frameCount(), 0);
}

void TestEnginePlayer::damagedPartWayPlaysUpToTheDamage() {
    MediaShape shape{320, 240, 30, 4.0, 30};
    shape.faststart = true;
    const QString whole = makeMedia("faststart", shape);
    const QString path = engine_fixture::mediaDir().filePath("damaged.mp4");
    {
        QFile in(whole);
        QFile out(path);
        QVERIFY(in.open(QIODevice::ReadOnly) && out.open(QIODevice::WriteOnly));
        out.write(in.read(in.size() / 2));
    }
    NullRenderer output;
    AVPlayer player;
    player.setMediaEndAction(MediaEndAction_KeepDisplay);
    player.setRenderer(&output);
    PlayerLog log(&player);
    QVERIFY(loadAndWait(player, path));
    player.setSpeed(4.0);
    player.play();
    QVERIFY(waitUntil([&] { return log.has("stopped"); }, 20000));
    QVERIFY(log.has("End"));
    const VideoFrame last = output.currentFrame();
    QVERIFY(last.isValid());
    QVERIFY2(last.timestamp() > 0.5 && last.timestamp() < 3.5,
             qPrintable(QString::number(last.timestamp())));
}

void TestEnginePlayer::firstFrameOncePerStart() {
    const QString media = makeMedia("basic", MediaShape{320, 240, 30, 2.0, 30});
    NullRenderer a;
    NullRenderer b;
    AVPlayer front;
    AVPlayer rear;
    rear.setPlayerID(1);
    QCOMPARE(front.playerID(), 0);
    front.setRenderer(&a);
    rear.setRenderer(&b);
    PlayerLog frontLog(&front);
    PlayerLog rearLog(&rear);
    QVERIFY(loadAndWait(front, media));
    QVERIFY(loadAndWait(rear, media));
    front.play();
    rear.play();
    QVERIFY(waitUntil([&] { return a.frameCount() > 10 && b.frameCount() > 10; }));
    // Seeks and pauses within one run do not count.
    front.pause(true);
    front.seek(1000);
    QVERIFY(waitUntil([&] { return qAbs(front.displyedFrame().timestamp() - 1.0) < 0.001; }));
    front.pause(false);
    spin(100);
    QCOMPARE(frontLog.firstFrames.size(), 1);
    QCOMPARE(frontLog.firstFrames.first(), 0.0);
    QVERIFY(rearLog.firstFrames.isEmpty());

    front.stop();
    QVERIFY(loadAndWait(front, media));
    front.play();
    QVERIFY(waitUntil([&] { return frontLog.firstFrames.size() == 2; }));
    spin(100);
    QCOMPARE(frontLog.firstFrames.size(), 2);
    QVERIFY(rearLog.firstFrames.isEmpty());
}

void TestEnginePlayer::displayedFrame() {
    const QString media = makeMedia("basic", MediaShape{320, 240, 30, 2.0, 30});
    AVPlayer player;
    QVERIFY(!player.displyedFrame().isValid());
    QVERIFY(loadAndWait(player, media));
    QVERIFY(!player.displyedFrame().isValid());  // loaded, nothing shown yet
    // Without outputs the player still keeps what it displayed.
    player.play();
    QVERIFY(waitUntil([&] { return player.displyedFrame().isValid(); }));
    const VideoFrame frame = player.displyedFrame();
    QCOMPARE(frame.size(), QSize(320, 240));
    player.stop();
    player.setFile(makeMedia("end_a", MediaShape{320, 240, 30, 2.0, 30}));
    QVERIFY(!player.displyedFrame().isValid());
    QVERIFY(frame.isValid());  // a copy outlives the player's own
}

void TestEnginePlayer::outputs() {
    AVPlayer player;
    NullRenderer first;
    NullRenderer second;
    NullRenderer third;
    player.setRenderer(&first);
    player.addVideoRenderer(&second);
    player.addVideoRenderer(&second);
    QCOMPARE(player.videoOutputs(), (QList<VideoRenderer*>{&first, &second}));
    QCOMPARE(player.renderer(), &first);
    player.removeVideoRenderer(&first);
    QCOMPARE(player.videoOutputs(), (QList<VideoRenderer*>{&second}));

    // A replacement takes over the mode, and the custom ratio only when asked.
    second.setOutAspectRatio(16.0 / 9);
    player.setRenderer(&third, false);
    QCOMPARE(player.videoOutputs(), (QList<VideoRenderer*>{&third}));
    QCOMPARE(third.outAspectRatioMode(), VideoRenderer::CustomAspectRation);
    QCOMPARE(third.outAspectRatio(), 0.0);
    player.setRenderer(&second, false);
    player.setRenderer(&third, true);
    QCOMPARE(third.outAspectRatio(), 16.0 / 9);
    player.setRenderer(&first, true);
    first.setOutAspectRatioMode(VideoRenderer::RendererAspectRatio);
    player.setRenderer(&second, true);
    QCOMPARE(second.outAspectRatioMode(), VideoRenderer::RendererAspectRatio);

    player.clearVideoRenderers();
    QVERIFY(player.videoOutputs().isEmpty());
    QCOMPARE(player.renderer(), nullptr);
}

void TestEnginePlayer::renderersMayAskThePlayer() {
    // A renderer that asks its player for its outputs and the displayed
    // frame from inside receive() (on the video thread).
    AVPlayer player;
    std::atomic<int> asked{0};
    NullRenderer output([&](const VideoFrame&) {
        if (player.videoOutputs().size() == 1 && player.displyedFrame().isValid()) {
            ++asked;
        }
    });
    player.setRenderer(&output);
    player.setFile(makeMedia("end_a", MediaShape{320, 240, 30, 2.0, 30}));
    player.play();
    QVERIFY(waitUntil([&] { return asked.load() > 10; }, 5000));
    player.stop();
}

void TestEnginePlayer::removedRendererIsNeverTouchedAgain() {
    AVPlayer player;
    std::atomic<bool> inside{false};
    std::atomic<bool> removed{false};
    std::atomic<int> afterRemoval{0};
    auto slow = std::make_unique<NullRenderer>([&](const VideoFrame&) {
        inside = true;
        afterRemoval += removed.load() ? 1 : 0;
        QThread::msleep(15);
        inside = false;
    });
    NullRenderer other;
    player.setRenderer(slow.get());
    player.addVideoRenderer(&other);
    player.setFile(makeMedia("end_a", MediaShape{320, 240, 30, 2.0, 30}));
    player.play();
    // Remove it while the video thread is inside it.
    QVERIFY(waitUntil([&] { return inside.load(); }, 5000));
    player.removeVideoRenderer(slow.get());
    removed = true;
    QVERIFY(!inside.load());
    slow.reset();
    const int before = other.frameCount();
    QVERIFY(waitUntil([&] { return other.frameCount() > before + 5; }, 5000));
    QCOMPARE(afterRemoval.load(), 0);
}

void TestEnginePlayer::callsFromInsideSignals() {
    // A controller answers status changes at once: reload after a failure,
    // play when loaded, stop at the end.
    const QString media = makeMedia("basic", MediaShape{320, 240, 30, 2.0, 30});
    NullRenderer output;
    AVPlayer player;
    player.setRenderer(&output);
    PlayerLog log(&player);
    connect(&player, &AVPlayer::mediaStatusChanged, this, [&](MediaStatus status) {
        if (status == InvalidMedia) {
            player.setFile(media);
            player.load();
        } else if (status == LoadedMedia) {
            player.play();
        } else if (status == EndOfMedia) {
            player.stop();
        }
    });
    connect(&player, &AVPlayer::started, this, [&] { player.setSpeed(4.0); });
    player.setFile(engine_fixture::mediaDir().filePath("nothing here.mp4"));
    player.load();
    QVERIFY(waitUntil([&] { return log.has("stopped"); }, 20000));
    spin(50);
    QCOMPARE(log.events, (QStringList{"Loading", "error", "Invalid", "NoMedia", "Loading", "Loaded",
                                      "Buffered", "started", "End", "stopped"}));
    QVERIFY(output.frameCount() >= 59);
}

void TestEnginePlayer::stopAndDestroyNeverHang() {
    const QString media = makeMedia("basic", MediaShape{320, 240, 30, 2.0, 30});
    // Stop or destroy at every stage: while loading, right after play, in the
    // middle of a burst of seeks, while paused.
    for (int round = 0; round < 12; ++round) {
        auto player = std::make_unique<AVPlayer>();
        NullRenderer output;
        player->setRenderer(&output);
        PlayerLog log(player.get());
        player->setFile(media);
        player->play();
        if (round % 4 >= 1) {
            QVERIFY(waitUntil([&] { return player->isPlaying(); }));
        }
        if (round % 4 >= 2) {
            player->pause(round % 2 == 0);
            for (int i = 0; i < 20; ++i) {
                player->seek(i * 97 % 2000);
            }
        }
        if (round % 4 == 3) {
            spin(round * 3);
        }
        if (round < 6) {
            player->stop();
            QVERIFY(!player->isPlaying());
            const int events = log.events.size();
            spin(30);
            // Nothing of the stopped media arrives later except stopped().
            for (const QString& event : log.events.mid(events)) {
                QCOMPARE(event, QString("stopped"));
            }
        }
        player.reset();
        // The renderer outlives the player; nothing may reach it any more.
        const int frames = output.frameCount();
        spin(20);
        QCOMPARE(output.frameCount(), frames);
    }
}

void TestEnginePlayer::stopNeverWaitsForAStuckRead() {
    // A card that stops answering: reading a pipe that a writer holds open
    // blocks until the writer goes, here 2 s after the stop.
    QTemporaryDir dir;
    const QByteArray fifo = QFile::encodeName(dir.filePath("stuck.mp4"));
    QVERIFY(mkfifo(fifo.constData(), 0600) == 0);
    const int writer = ::open(fifo.constData(), O_RDWR);
    QVERIFY(writer >= 0);
    NullRenderer output;
    auto player = std::make_unique<AVPlayer>();
    player->setRenderer(&output);
    player->setFile(QFile::decodeName(fifo));
    QVERIFY(player->load());
    spin(100);
    std::thread release([writer] {
        std::this_thread::sleep_for(std::chrono::seconds(2));
        ::close(writer);
    });
    QElapsedTimer stopping;
    stopping.start();
    player->stop();
    const qint64 stopMs = stopping.elapsed();
    // The next file loads and plays while the stuck read is still pending.
    player->setFile(makeMedia("basic", MediaShape{320, 240, 30, 2.0, 30}));
    player->play();
    QVERIFY(waitUntil([&] { return output.frameCount() > 0; }, 1900));
    QVERIFY2(stopMs < 1000, qPrintable(QString("stop() took %1 ms").arg(stopMs)));
    player.reset();  // waits for the read to end
    release.join();
}

namespace {

// The pictures a player showed while playing `media` at `speed`, by
// timestamp in ms.
QMap<qint64, VideoFrame> playedAt(const QString& media, double speed) {
    QMap<qint64, VideoFrame> frames;
    QMutex mutex;
    NullRenderer output([&](const VideoFrame& frame) {
        QMutexLocker lock(&mutex);
        frames.insert(std::llround(frame.timestamp() * 1000), frame);
    });
    AVPlayer player;
    player.setRenderer(&output);
    player.setFile(media);
    player.setSpeed(speed);
    player.play();
    waitUntil([&] { return player.mediaStatus() == EndOfMedia; }, 10000);
    player.stop();
    QMutexLocker lock(&mutex);
    return frames;
}

bool samePixels(const VideoFrame& a, const VideoFrame& b) {
    for (int y = 0; y < a.height(); ++y) {
        if (std::memcmp(a.constBits(0) + y * a.bytesPerLine(0),
                        b.constBits(0) + y * b.bytesPerLine(0), size_t(a.width())) != 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

void TestEnginePlayer::deblockingSkippedOnlyAboveNormalSpeed() {
    // At 2x the decoder leaves out the deblocking filter, so pictures after
    // the key frame differ from those at 1x; at 1x they are the very
    // pictures a paused seek lands on.
    MediaShape shape{320, 240, 30, 1.5, 60};
    shape.bframes = 1;  // a preset that deblocks
    const QString media = makeMedia("deblock", shape);
    const QMap<qint64, VideoFrame> normal = playedAt(media, 1.0);
    const QMap<qint64, VideoFrame> fast = playedAt(media, 2.0);
    QVERIFY(normal.size() > 40);
    int compared = 0;
    int differ = 0;
    for (auto it = fast.begin(); it != fast.end(); ++it) {
        if (it.key() >= 200 && normal.contains(it.key())) {
            ++compared;
            differ += samePixels(it.value(), normal.value(it.key())) ? 0 : 1;
        }
    }
    QVERIFY2(compared >= 10 && differ >= compared / 2,
             qPrintable(QString("%1 of %2").arg(differ).arg(compared)));

    NullRenderer output;
    AVPlayer player;
    player.setRenderer(&output);
    player.setFile(media);
    player.setSpeed(2.0);
    QVERIFY(player.load());
    QVERIFY(waitUntil([&] { return player.isLoaded(); }));
    player.play();
    player.pause(true);
    QSignalSpy landed(&player, &AVPlayer::seekFinished);
    player.seek(qint64(1000));
    QVERIFY(waitUntil([&] { return landed.count() == 1; }));
    const VideoFrame still = player.displyedFrame();
    QVERIFY(normal.contains(1000));
    QVERIFY(samePixels(still, normal.value(1000)));
    player.stop();
}

ORVIN_CORE_TEST_MAIN(TestEnginePlayer)
#include "test_engine_player.moc"
