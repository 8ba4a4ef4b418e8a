#include <QElapsedTimer>
#include <QSignalSpy>

#include "engine/audio_output.h"
#include "engine/av_clock.h"
#include "engine/av_player.h"
#include "engine/null_renderer.h"
#include "engine_fixture.h"
#include "test_support.h"

using engine_fixture::makeMedia;
using engine_fixture::MediaShape;
using engine_fixture::waitUntil;

class TestEngineAudio : public QObject {
    Q_OBJECT
private slots:
    void playsOnWithOrWithoutSound_data();
    void playsOnWithOrWithoutSound();
    void soundOnlyMediaSeeksAndEnds();
    void noSoundIsLostAfterASeek();
    void aStalledCardStillEndsTheFile();
    void muteAndVolume();

private:
    // Plays, seeks to `target` and plays to the end; an empty string when
    // the sound from the landing on went to the card, else what went wrong.
    QString soundAfterSeek(const QString& media, qint64 target);
};

namespace {

// Seconds of sound in `bytes` of what the output took.
double soundSeconds(const AudioOutput& output, qint64 bytes) {
    const int perSecond = output.sampleRate() * output.channels() * 2;
    return perSecond > 0 ? double(bytes) / perSecond : 0;
}

}  // namespace

void TestEngineAudio::playsOnWithOrWithoutSound_data() {
    QTest::addColumn<QStringList>("backends");
    QTest::addColumn<int>("stream");
    // Whether this machine has a sound card or not, the default backend
    // must not hold the clock back.
    QTest::newRow("default backend") << AudioOutput().backends() << 0;
    QTest::newRow("null sink") << QStringList{"Null"} << 0;
    QTest::newRow("no backend") << QStringList() << 0;
    QTest::newRow("no audio stream") << AudioOutput::backendsAvailable() << -1;
}

void TestEngineAudio::playsOnWithOrWithoutSound() {
    QFETCH(QStringList, backends);
    QFETCH(int, stream);
    const QString media = makeMedia("tone", MediaShape{320, 240, 30, 2.0, 30, true});
    QVERIFY(!media.isEmpty());
    NullRenderer output;
    AVPlayer player;
    player.setRenderer(&output);
    player.audio()->setBackends(backends);
    QCOMPARE(player.audio()->backends(), backends);
    player.setAudioStream(stream);
    QCOMPARE(player.currentAudioStream(), stream);
    player.setFile(media);
    QVERIFY(player.load());
    QVERIFY(waitUntil([&] { return player.isLoaded(); }));
    QElapsedTimer wall;
    wall.start();
    player.play();
    if (backends.isEmpty() || stream < 0) {
        QVERIFY(!player.audio()->isOpen());
    }
    QVERIFY(waitUntil([&] { return player.mediaStatus() == EndOfMedia; }, 20000));
    // The clock ran in real time: two seconds of media took about two
    // seconds, and every picture was shown on the way.
    QVERIFY2(wall.elapsed() > 1800 && wall.elapsed() < 6000,
             qPrintable(QString::number(wall.elapsed())));
    QVERIFY(output.frameCount() >= 59);
    QVERIFY(!player.audio()->isOpen());  // closed again at the end
}

void TestEngineAudio::soundOnlyMediaSeeksAndEnds() {
    MediaShape shape;
    shape.video = false;
    shape.audio = true;
    shape.seconds = 2.0;
    const QString media = makeMedia("tone_only", shape);
    QVERIFY(!media.isEmpty());
    AVPlayer player;
    player.setFile(media);
    player.play();
    QVERIFY(waitUntil([&] { return player.isPlaying(); }));
    QVERIFY(!player.displyedFrame().isValid());
    player.pause(true);
    QSignalSpy finished(&player, &AVPlayer::seekFinished);
    player.seek(1500);
    QVERIFY(waitUntil([&] { return finished.count() == 1; }));
    QVERIFY(qAbs(finished.first().first().toLongLong() - 1500) < 30);
    QCOMPARE(player.position(), finished.first().first().toLongLong());
    player.pause(false);
    QVERIFY(waitUntil([&] { return player.mediaStatus() == EndOfMedia; }));
}

void TestEngineAudio::noSoundIsLostAfterASeek() {
    // Sound reaches its landing after the picture; playback must not run on
    // without it, or its first part is dropped as late.
    const QString media = makeMedia("tone4", MediaShape{320, 240, 30, 4.0, 30, true});
    for (qint64 target : {500, 2500}) {
        // A busy machine may starve the audio thread and drop sound anywhere;
        // a fault drops it every time.
        QString failure;
        for (int attempt = 0; attempt < 3; ++attempt) {
            failure = soundAfterSeek(media, target);
            if (failure.isEmpty()) {
                break;
            }
        }
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
    }
}

QString TestEngineAudio::soundAfterSeek(const QString& media, qint64 target) {
    NullRenderer output;
    AVPlayer player;
    player.setRenderer(&output);
    player.audio()->setBackends({"Null"});
    player.setFile(media);
    player.play();
    if (!waitUntil([&] { return player.position() > 2000 && player.audio()->isOpen(); })) {
        return QStringLiteral("did not play");
    }
    QSignalSpy finished(&player, &AVPlayer::seekFinished);
    player.seek(target);
    if (!waitUntil([&] { return finished.count() == 1; })) {
        return QStringLiteral("no landing");
    }
    const qint64 landing = finished.first().first().toLongLong();
    if (!waitUntil([&] { return player.mediaStatus() == EndOfMedia; }, 10000)) {
        return QStringLiteral("no end");
    }
    // Everything from the landing to the end went to the card: at most one
    // AAC frame (23 ms) less, and the frame under the landing and the
    // encoder's padding more.
    const double written = soundSeconds(*player.audio(), player.audio()->writtenSinceClear());
    const double expected = double(player.duration() - landing) / 1000.0;
    if (written > expected - 0.03 && written < expected + 0.06) {
        return QString();
    }
    return QString("%1 s after a seek to %2, expected %3").arg(written).arg(landing).arg(expected);
}

void TestEngineAudio::aStalledCardStillEndsTheFile() {
    const QString media = makeMedia("tone", MediaShape{320, 240, 30, 2.0, 30, true});
    NullRenderer output;
    AVPlayer player;
    player.setRenderer(&output);
    player.audio()->setBackends({"Null"});
    player.setFile(media);
    player.play();
    QVERIFY(waitUntil([&] { return player.audio()->isOpen(); }));
    QVERIFY(waitUntil([&] { return player.position() > 300; }));
    // The card stops taking sound, as a device that hangs.
    player.audio()->holdNullSink(true);
    const quint64 consumed = player.audio()->consumedBytes();
    QElapsedTimer wall;
    wall.start();
    QVERIFY(waitUntil([&] { return player.mediaStatus() == EndOfMedia; }, 6000));
    // The picture and the clock went on in real time meanwhile.
    QVERIFY2(wall.elapsed() < 2500, qPrintable(QString::number(wall.elapsed())));
    QVERIFY(output.frameCount() >= 55);
    QVERIFY(player.audio()->consumedBytes() - consumed < 64);
}

void TestEngineAudio::muteAndVolume() {
    AudioOutput output;
    QSignalSpy muted(&output, &AudioOutput::muteChanged);
    QSignalSpy volume(&output, &AudioOutput::volumeChanged);
    output.setMute(true);
    output.setMute(true);
    QVERIFY(output.isMute());
    QCOMPARE(muted.count(), 1);
    output.setVolume(0.4);
    output.setVolume(7);
    output.setVolume(1);
    QCOMPARE(output.volume(), 1.0);
    QCOMPARE(volume.count(), 2);
    output.setVolume(-1);
    QCOMPARE(output.volume(), 0.0);
    // Nothing to write to while closed.
    QCOMPARE(output.write("\0\0\0\0", 4), qint64(0));
    output.setBackends(QStringList());
    QVERIFY(!output.open(44100, 2));
}

ORVIN_CORE_TEST_MAIN(TestEngineAudio)
#include "test_engine_audio.moc"
