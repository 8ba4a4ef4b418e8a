// The main window: full-screen switching and its events, keys, the
// information popup and the language popup.
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QResizeEvent>
#include <QShortcut>
#include <QSignalSpy>
#include <QTimer>

#include "app/rm_app.h"
#include "app/rm_language.h"
#include "app/rm_removable_disks.h"
#include "app/rm_settings.h"
#include "core/rm_key_event.h"
#include "settings/rm_settings_window_base.h"
#include "test_support.h"
#include "ui/window_main.h"
#include "widgets/rm_button.h"
#include "widgets/rm_popup.h"
#include "widgets/rm_popup_info.h"
#include "widgets/title_widget.h"

namespace {
QList<int> events(const QSignalSpy& spy) {
    QList<int> out;
    for (const QList<QVariant>& args : spy) {
        out.append(args.at(0).value<RMApp::Event>());
    }
    return out;
}

// Runs action on the next modal dialog that opens while trigger runs.
template <typename Action>
void answerModal(Action action) {
    QTimer::singleShot(0, [action]() {
        QTRY_VERIFY(QApplication::activeModalWidget() != nullptr);
        action(QApplication::activeModalWidget());
    });
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}
}  // namespace

class TestWindowMain : public QObject {
    Q_OBJECT

    WindowMain* window = nullptr;

    RMButton* fullScreenButton() const { return window->titleWidget()->fullScreenButton(); }

    QString shownFirmware() {
        QString shown;
        answerModal([&shown](QWidget* modal) {
            auto* info = qobject_cast<RMPopupInfo*>(modal);
            QVERIFY(info);
            shown = info->firmwareLabel()->text();
            info->accept();
        });
        window->onShowInfo();
        return shown;
    }

private Q_SLOTS:
    void initTestCase() {
        RMApp::instance()->initialize(*qApp);
        window = new WindowMain(nullptr);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(window->size(), QSize(1030, 716));
        QCOMPARE(RMApp::instance()->mainWindow(), window);
    }

    void fullScreenRoundTripAnnouncesEachStep() {
        QSignalSpy spy(RMApp::instance(), SIGNAL(appEvent(RMApp::Event)));
        QVERIFY(!window->escapeShortcut()->isEnabled());
        fullScreenButton()->click();
        QCOMPARE(events(spy), QList<int>({1, 2}));
        QTRY_VERIFY(window->isFullScreen());
        QVERIFY(window->escapeShortcut()->isEnabled());
        QVERIFY(!window->titleWidget()->minimizeButton()->isEnabled());
        QCOMPARE(fullScreenButton()->property("restore").toBool(), true);
        QCOMPARE(fullScreenButton()->toolTip(), QString("Normal"));
        QCOMPARE(window->contentLayout()->contentsMargins(), QMargins(0, 0, 0, 0));
        // The window is usable again once the switch has settled.
        QTRY_VERIFY(window->isEnabled());

        spy.clear();
        fullScreenButton()->click();
        QCOMPARE(events(spy), QList<int>({3, 4}));
        QTRY_VERIFY(!window->isFullScreen());
        QTRY_COMPARE(window->size(), QSize(1030, 716));
        QVERIFY(!window->escapeShortcut()->isEnabled());
        QVERIFY(window->titleWidget()->minimizeButton()->isEnabled());
        QCOMPARE(fullScreenButton()->toolTip(), QString("Full Screen"));
        QCOMPARE(window->contentLayout()->contentsMargins(), QMargins(9, 12, 9, 26));
    }

    void keysToggleFullScreen() {
        QSignalSpy spy(RMApp::instance(), SIGNAL(appEvent(RMApp::Event)));
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        // Escape does nothing in normal size.
        QTest::keyClick(window, Qt::Key_Escape);
        QCOMPARE(spy.count(), 0);
        QTest::keyClick(window, Qt::Key_Return);
        QCOMPARE(events(spy), QList<int>({1, 2}));
        QTRY_VERIFY(window->isEnabled());
        QVERIFY(QTest::qWaitForWindowActive(window));
        QTest::keyClick(window, Qt::Key_Escape);
        QCOMPARE(events(spy), QList<int>({1, 2, 3, 4}));
        QVERIFY(QTest::qWaitForWindowActive(window));
        QTest::keyClick(window, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(spy.count(), 6);
        QTRY_VERIFY(window->isEnabled());
        QVERIFY(QTest::qWaitForWindowActive(window));
        QTest::keyClick(window, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(events(spy).mid(6), QList<int>({3, 4}));
        QTRY_VERIFY(!window->isFullScreen());
    }

    void heldSteppingKeyBlocksFullScreen() {
        QSignalSpy spy(RMApp::instance(), SIGNAL(appEvent(RMApp::Event)));
        RMKeyEvent::instance()->pressed(Qt::Key_Right);
        fullScreenButton()->click();
        QCOMPARE(spy.count(), 0);
        QVERIFY(!window->isFullScreen());
        RMKeyEvent::instance()->released(Qt::Key_Right);
        fullScreenButton()->click();
        QCOMPARE(events(spy), QList<int>({1, 2}));
        QTRY_VERIFY(window->isEnabled());
        fullScreenButton()->click();
        QCOMPARE(spy.count(), 4);
        QTRY_VERIFY(!window->isFullScreen());
    }

    void fullScreenForcedByThePlatformIsUndone() {
        QSignalSpy spy(RMApp::instance(), SIGNAL(appEvent(RMApp::Event)));
        // What a window manager does: change the state, then the size.
        window->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        window->setWindowState(Qt::WindowFullScreen);
        QResizeEvent resize(QSize(1600, 900), QSize(1030, 716));
        QApplication::sendEvent(window, &resize);
        QTRY_COMPARE(events(spy), QList<int>({3, 4}));
        QTRY_VERIFY(!window->isFullScreen());
        QTRY_COMPARE(window->size(), QSize(1030, 716));
    }

    void captureStaysDisabledUntilPlaybackStarts() {
        TitleWidget* title = window->titleWidget();
        QVERIFY(!title->captureButton()->isEnabled());
        QVERIFY(!title->captureShortcut()->isEnabled());
    }

    void infoShowsTheFirstLineOfTheVersionFile() {
        const QString card = orvin_test::home().path() + "/card";
        RMSettingsWindowBase::lastSettingDisk = card;
        writeFile(card + "/VERSION.TXT", QByteArray("\r\nFW 2.0.1 (2026)\r\nsecond line\n"));
        QCOMPARE(shownFirmware(), QString("    FW 2.0.1 (2026)"));

        // Only the first 1024 bytes and the text before a NUL count.
        writeFile(card + "/VERSION.TXT", QByteArray("V9\0hidden\n", 10));
        QCOMPARE(shownFirmware(), QString("    V9"));
        writeFile(card + "/VERSION.TXT", QByteArray(1030, 'A') + "\nB");
        QCOMPARE(shownFirmware(), "    " + QString(1024, 'A'));
    }

    void infoReadsAWriteProtectedCard() {
        const QString card = orvin_test::home().path() + "/locked";
        RMSettingsWindowBase::lastSettingDisk = card;
        writeFile(card + "/VERSION.TXT", "FW 3.1\n");
        QFile::setPermissions(card + "/VERSION.TXT",
                              QFileDevice::ReadOwner | QFileDevice::ReadGroup);
        QFile::setPermissions(card, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        QCOMPARE(shownFirmware(), QString("    FW 3.1"));
        QFile::setPermissions(
            card, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    void infoWithoutVersionFileSaysSo() {
        RMSettingsWindowBase::lastSettingDisk = orvin_test::home().path() + "/nothing-here";
        QCOMPARE(shownFirmware(), QString("    Settings file not exist"));
    }

    void languagePopupAppliesTheChosenRow() {
        RMLanguage* language = RMLanguage::instance();
        QSignalSpy changes(language, SIGNAL(languageChange(RMLanguage::LANGUAGE_TYPE)));
        auto choose = [](int row) {
            answerModal([row](QWidget* modal) {
                auto* popup = qobject_cast<RMPopup*>(modal);
                QVERIFY(popup);
                QCOMPARE(popup->size(), QSize(320, 170));
                popup->findChild<QComboBox*>("settings")->setCurrentIndex(row);
                popup->okButton()->click();
            });
        };
        choose(1);
        window->titleWidget()->languageButton()->click();
        QCOMPARE(language->language(), RMLanguage::LANGUAGE_JAPANESE);
        QVERIFY(!RMLanguage::isAuto);
        QVERIFY(!RMSettings::instance()->autoLanguage());
        QCOMPARE(changes.count(), 1);
        QCOMPARE(fullScreenButton()->toolTip(), QString("最大化"));

        choose(2);
        window->titleWidget()->languageButton()->click();
        QCOMPARE(language->language(), RMLanguage::LANGUAGE_ENGLISH);
        QCOMPARE(changes.count(), 2);
        QCOMPARE(fullScreenButton()->toolTip(), QString("Full Screen"));

        // Auto on an English system while English is shown: stored, no change.
        choose(0);
        window->titleWidget()->languageButton()->click();
        QVERIFY(RMLanguage::isAuto);
        QVERIFY(RMSettings::instance()->autoLanguage());
        QCOMPARE(changes.count(), 2);

        // Cancel keeps everything.
        answerModal([](QWidget* modal) {
            auto* popup = qobject_cast<RMPopup*>(modal);
            popup->findChild<QComboBox*>("settings")->setCurrentIndex(1);
            popup->cancelButton()->click();
        });
        window->titleWidget()->languageButton()->click();
        QCOMPARE(language->language(), RMLanguage::LANGUAGE_ENGLISH);
        QCOMPARE(changes.count(), 2);
    }

    void settingsWithoutACardWarns() {
        const QString table = orvin_test::home().path() + "/no-disks";
        writeFile(table, "/dev/sda1 / ext4 rw 0 0\n");
        RMRemovableDisks::setSources(table, orvin_test::home().path() + "/nosys");
        QString text;
        answerModal([&text](QWidget* modal) {
            text = modal->findChild<QLabel*>("text_header_label")->text();
            static_cast<QDialog*>(modal)->accept();
        });
        window->onShowSettings();
        RMRemovableDisks::setSources(QString(), QString());
        QCOMPARE(text, QString("Configuration file(SD Card) not found!"));
    }
};

ORVIN_TEST_MAIN(TestWindowMain)
#include "test_window_main.moc"
