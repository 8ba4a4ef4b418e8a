// The stepping-key handler: one held key at a time, auto-repeat ignored.
#include <QSignalSpy>

#include "core/rm_key_event.h"
#include "test_support.h"

class TestKeyEvent : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void onlyOneKeyIsHeld() {
        RMKeyEvent* keys = RMKeyEvent::instance();
        QSignalSpy pressedF1(keys, SIGNAL(pressedF1()));
        QSignalSpy releasedF1(keys, SIGNAL(releasedF1()));
        QSignalSpy pressedB1(keys, SIGNAL(pressedB1()));
        QSignalSpy pressedFF(keys, SIGNAL(pressedFF()));
        QSignalSpy releasedFF(keys, SIGNAL(releasedFF()));

        keys->pressed(Qt::Key_Right);
        keys->pressed(Qt::Key_Right);  // auto-repeat does not restart stepping
        QCOMPARE(pressedF1.count(), 1);
        QVERIFY(keys->isKeyHeld());

        keys->pressed(Qt::Key_F);  // releases Right first
        QCOMPARE(releasedF1.count(), 1);
        QCOMPARE(pressedFF.count(), 1);
        QCOMPARE(keys->heldKey(), int(Qt::Key_F));

        keys->released(Qt::Key_Right);  // not held: ignored
        QCOMPARE(releasedF1.count(), 1);
        keys->pressed(Qt::Key_Space);  // not a stepping key
        QCOMPARE(keys->heldKey(), int(Qt::Key_F));
        keys->released(Qt::Key_F);
        QCOMPARE(releasedFF.count(), 1);
        QVERIFY(!keys->isKeyHeld());

        keys->onPressedB1();
        QCOMPARE(pressedB1.count(), 1);
        QCOMPARE(keys->heldKey(), int(Qt::Key_Left));
        keys->onReleasedB1();
        QVERIFY(!keys->isKeyHeld());
    }

    void disabledHandlerIgnoresKeysAndForgetsTheHeldOne() {
        RMKeyEvent* keys = RMKeyEvent::instance();
        QSignalSpy pressedF1(keys, SIGNAL(pressedF1()));
        keys->pressed(Qt::Key_Right);
        keys->setEnabled(false);
        QVERIFY(!keys->isKeyHeld());
        keys->pressed(Qt::Key_Right);
        QCOMPARE(pressedF1.count(), 1);
        keys->setEnabled(true);
        keys->pressed(Qt::Key_Right);
        QCOMPARE(pressedF1.count(), 2);
        keys->released(Qt::Key_Right);
    }
};

ORVIN_TEST_MAIN(TestKeyEvent)
#include "test_key_event.moc"
