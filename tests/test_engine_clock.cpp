#include <QSignalSpy>
#include <atomic>
#include <thread>

#include "engine/av_clock.h"
#include "test_support.h"

class TestEngineClock : public QObject {
    Q_OBJECT
private slots:
    void standsUntilStartedAndWhilePaused();
    void externalUpdatesKeepRunningOrStanding();
    void speedScalesTheRun();
    void resetKeepsTypeAutoAndSpeed();
    void resumeOfAnUnstartedClockStartsIt();
    void readersOnOtherThreads();
};

void TestEngineClock::standsUntilStartedAndWhilePaused() {
    AVClock clock(AVClock::ExternalClock);
    QVERIFY(!clock.isActive());
    QTest::qSleep(30);
    QCOMPARE(clock.value(), 0.0);

    QSignalSpy started(&clock, &AVClock::started);
    clock.start();
    QCOMPARE(started.count(), 1);
    QVERIFY(clock.isActive());
    QTest::qSleep(50);
    const double running = clock.value();
    QVERIFY2(running >= 0.04 && running < 2, qPrintable(QString::number(running)));

    QSignalSpy paused(&clock, QOverload<bool>::of(&AVClock::paused));
    clock.pause(true);
    clock.pause(true);
    QCOMPARE(paused.count(), 1);
    QVERIFY(clock.isPaused());
    QVERIFY(!clock.isActive());
    const double still = clock.value();
    QTest::qSleep(30);
    QCOMPARE(clock.value(), still);

    QSignalSpy resumed(&clock, &AVClock::resumed);
    clock.pause(false);
    QCOMPARE(resumed.count(), 1);
    QVERIFY(clock.isActive());
    QTest::qSleep(30);
    // Resumes from where it stood, not from the wall clock.
    QVERIFY(clock.value() > still && clock.value() < still + 1);
}

void TestEngineClock::externalUpdatesKeepRunningOrStanding() {
    AVClock clock(AVClock::ExternalClock);
    clock.updateExternalClock(5000);
    QCOMPARE(clock.value(), 5.0);  // not started: stands at the new value

    clock.start();
    clock.pause(true);
    clock.updateExternalClock(12345);
    QTest::qSleep(20);
    QCOMPARE(clock.value(), 12.345);

    clock.pause(false);
    AVClock other(AVClock::ExternalClock);
    other.updateExternalClock(40000);
    clock.updateExternalClock(other);
    QTest::qSleep(20);
    QVERIFY(clock.value() > 40.0 && clock.value() < 41.0);
    clock.updateExternalClock(clock);  // itself: nothing happens
    QVERIFY(clock.value() > 40.0);

    // An audio clock takes the timestamps heard; other clocks ignore them.
    clock.updateValue(3.0);
    QVERIFY(clock.value() > 40.0);
    clock.setClockType(AVClock::AudioClock);
    clock.updateValue(3.0);
    QVERIFY(clock.value() >= 3.0 && clock.value() < 4.0);
}

void TestEngineClock::speedScalesTheRun() {
    AVClock normal(AVClock::ExternalClock);
    AVClock fast(AVClock::ExternalClock);
    fast.setSpeed(4.0);
    fast.setSpeed(0);  // refused
    QCOMPARE(fast.speed(), 4.0);
    normal.start();
    fast.start();
    QTest::qSleep(100);
    const double ratio = fast.value() / normal.value();
    QVERIFY2(ratio > 3.5 && ratio < 4.5, qPrintable(QString::number(ratio)));

    // Changing the speed keeps the value reached so far.
    const double before = fast.value();
    fast.setSpeed(1.0);
    QVERIFY(fast.value() >= before && fast.value() < before + 0.05);
}

void TestEngineClock::resetKeepsTypeAutoAndSpeed() {
    AVClock clock(AVClock::ExternalClock);
    clock.setClockAuto(true);
    clock.setSpeed(2.0);
    clock.setInitialValue(1.5);
    clock.start();
    QTest::qSleep(20);
    QSignalSpy resetted(&clock, &AVClock::resetted);
    clock.reset();
    QCOMPARE(resetted.count(), 1);
    QVERIFY(!clock.isActive());
    QVERIFY(!clock.isPaused());
    QCOMPARE(clock.value(), 1.5);
    QCOMPARE(clock.speed(), 2.0);
    QVERIFY(clock.isClockAuto());
    QCOMPARE(clock.clockType(), AVClock::ExternalClock);
}

void TestEngineClock::resumeOfAnUnstartedClockStartsIt() {
    AVClock clock(AVClock::ExternalClock);
    QSignalSpy started(&clock, &AVClock::started);
    clock.pause(false);
    QCOMPARE(started.count(), 1);
    QVERIFY(clock.isActive());
}

void TestEngineClock::readersOnOtherThreads() {
    // The video threads read the clock while the GUI thread moves it. The
    // writer only moves it forward, a whole second at a time, so every value
    // a reader sees lies within what was set and never goes back.
    AVClock clock(AVClock::ExternalClock);
    clock.start();
    std::atomic<bool> done{false};
    std::atomic<int> reads{0};
    std::atomic<int> backwards{0};
    std::atomic<int> outside{0};
    std::thread reader([&] {
        double previous = 0;
        while (!done.load()) {
            const double v = clock.value();
            backwards += v < previous;
            outside += v < 0 || v > 2001;
            previous = v;
            ++reads;
        }
    });
    while (reads.load() == 0) {
        std::this_thread::yield();
    }
    // From 1 s on: the clock has already run a little past 0.
    for (int i = 1; i < 2000; ++i) {
        clock.updateExternalClock(qint64(i) * 1000);
        clock.setSpeed(i % 2 ? 2.0 : 1.0);
        clock.pause(i % 3 == 0);
    }
    done = true;
    reader.join();
    QVERIFY(reads.load() > 1);
    QCOMPARE(backwards.load(), 0);
    QCOMPARE(outside.load(), 0);
}

ORVIN_CORE_TEST_MAIN(TestEngineClock)
#include "test_engine_clock.moc"
