#include <QImageReader>
#include <QSignalSpy>

#include "engine/av_player.h"
#include "engine/video_capture.h"
#include "engine_fixture.h"
#include "test_support.h"

using engine_fixture::makeMedia;
using engine_fixture::MediaShape;
using engine_fixture::waitUntil;

class TestEngineCapture : public QObject {
    Q_OBJECT
private slots:
    void capturesTheDisplayedFrame_data();
    void capturesTheDisplayedFrame();
    void nothingDisplayedFails();
};

void TestEngineCapture::capturesTheDisplayedFrame_data() {
    QTest::addColumn<bool>("async");
    QTest::addColumn<MediaShape>("shape");
    QTest::addColumn<QString>("name");
    QTest::addColumn<qint64>("at");
    QTest::addColumn<QString>("file");
    QTest::newRow("sync") << false << MediaShape{640, 360, 30, 3.0, 30} << "240517_083000_CH1_"
                          << qint64(1500) << "240517_083000_CH1_1500.jpg";
    QTest::newRow("async, odd size")
        << true << MediaShape{426, 240, 25, 3.0, 25} << "shot" << qint64(2040) << "shot_2040.jpg";
}

void TestEngineCapture::capturesTheDisplayedFrame() {
    QFETCH(bool, async);
    QFETCH(MediaShape, shape);
    QFETCH(QString, name);
    QFETCH(qint64, at);
    QFETCH(QString, file);
    const QString media = makeMedia(QStringLiteral("capture_%1").arg(shape.width), shape);
    QVERIFY(!media.isEmpty());
    AVPlayer player;
    player.setFile(media);
    player.play();
    QVERIFY(waitUntil([&] { return player.displyedFrame().isValid(); }));
    player.pause(true);
    QSignalSpy finished(&player, &AVPlayer::seekFinished);
    player.seek(at);  // not a key frame
    QVERIFY(waitUntil([&] { return finished.count() == 1; }));

    const QString dir = orvin_test::home().filePath("captures/new folder");
    VideoCapture* capture = player.videoCapture();
    capture->setAsync(async);
    capture->setCaptureDir(dir);
    capture->setSaveFormat("jpg");
    capture->setCaptureName(name);
    QSignalSpy saved(capture, &VideoCapture::saved);
    QSignalSpy failed(capture, &VideoCapture::failed);
    capture->capture();
    // The answer always comes through the event loop.
    QCOMPARE(saved.count(), 0);
    QVERIFY(waitUntil([&] { return saved.count() == 1; }));
    QCOMPARE(failed.count(), 0);
    const QString path = saved.first().first().toString();
    QCOMPARE(path, QDir::cleanPath(dir + "/" + file));
    QImageReader reader(path);
    QCOMPARE(reader.format(), QByteArray("jpeg"));
    const QImage written = reader.read();
    QCOMPARE(written.size(), QSize(shape.width, shape.height));
    // Both pictures are turned into RGB by ffmpeg: the JPEG keeps the frame's
    // 4:2:0 chroma, and two decoders' chroma filters would differ more on
    // the sharp colour edges of the test picture than the capture does.
    const QImage expected = engine_fixture::ffmpegFrame(media, at / 1000.0 - 0.0005);
    const double db = engine_fixture::psnr(engine_fixture::ffmpegDecode(path), expected);
    QVERIFY2(db > 35, qPrintable(QString::number(db)));
}

void TestEngineCapture::nothingDisplayedFails() {
    AVPlayer player;
    player.setFile(makeMedia("capture_640", MediaShape{640, 360, 30, 3.0, 30}));
    QVERIFY(player.load());
    VideoCapture* capture = player.videoCapture();
    capture->setCaptureDir(orvin_test::home().filePath("captures"));
    QSignalSpy saved(capture, &VideoCapture::saved);
    QSignalSpy failed(capture, &VideoCapture::failed);
    capture->capture();
    QVERIFY(waitUntil([&] { return failed.count() == 1; }));
    QCOMPARE(saved.count(), 0);
}

ORVIN_CORE_TEST_MAIN(TestEngineCapture)
#include "test_engine_capture.moc"
