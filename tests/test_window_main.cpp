// The main window: full-screen switching and its events, keys, the
// information popup, the language popup, what it tells in notices, and a
// recording that cannot be read.
#include <QComboBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
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
#include "ui/rm_frame_list.h"
#include "ui/rm_popup_capture.h"
#include "ui/rm_widget_video_list.h"
#include "ui/window_main.h"
#include "viewer_fixture.h"
#include "widget_fixture.h"
#include "widgets/rm_button.h"
#include "widgets/rm_notice.h"
#include "widgets/rm_popup.h"
#include "widgets/rm_popup_info.h"
#include "widgets/title_widget.h"

using widget_fixture::answerModal;
using widget_fixture::writeFile;

namespace {
QList<int> events(const QSignalSpy& spy) {
    QList<int> out;
    for (const QList<QVariant>& args : spy) {
        out.append(args.at(0).value<RMApp::Event>());
    }
    return out;
}

// The notice showing in the window, empty when none shows.
QString noticeText(QWidget* window) {
    RMNotice* notice = RMNotice::of(window);
    return notice && notice->isVisible() ? notice->text() : QString();
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
        RMNotice::holdMs = 60000;
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

    // Return in a dialog's text field belongs to the dialog: the window
    // behind it stays as it is.
    void returnInADialogStaysInTheDialog() {
        QSignalSpy spy(RMApp::instance(), SIGNAL(appEvent(RMApp::Event)));
        QDialog dialog(window);
        auto* field = new QLineEdit(&dialog);
        QSignalSpy returns(field, &QLineEdit::returnPressed);
        dialog.show();
        // Without a window manager the focus of the last switch arrives late.
        QTest::qWait(300);
        dialog.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), &dialog);
        field->setFocus();
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(returns.count(), 1);
        QCOMPARE(spy.count(), 0);
        QVERIFY(!window->isFullScreen());
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

    // A card copied to a folder, or one the system does not call removable:
    // the open folder's card comes first.
    void infoLooksAtTheOpenFoldersCard() {
        const QString card = orvin_test::home().path() + "/copied";
        writeFile(card + "/__SYSTEM.CFG", QByteArray("VK7300\0", 7));
        writeFile(card + "/VERSION.TXT", "FW 4.2\n");
        writeFile(card + "/DCIM/x.txt", "");
        const QString other = orvin_test::home().path() + "/card";
        RMSettingsWindowBase::lastSettingDisk = other;
        window->frameList()->onFolderScanned(card + "/DCIM", 1);
        QCOMPARE(window->openCardRoot(), card);
        QCOMPARE(shownFirmware(), QString("    FW 4.2"));
        window->frameList()->onFolderScanned(orvin_test::home().path(), 1);
        QVERIFY(window->openCardRoot().isEmpty());
    }

    // A folder that is not there, given on the command line, is named.
    void aMissingFolderIsNamed() {
        const QString missing = orvin_test::home().path() + "/no/such/card";
        window->openFolder(missing);
        QCOMPARE(noticeText(window), "Folder not found:\n" + missing);
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
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

    // Saved stills are named in a notice.
    void savedStillsAreNamed() {
        RMLanguage::instance()->setLanguage(RMLanguage::LANGUAGE_ENGLISH);
        const QString work = orvin_test::home().path() + "/work";
        const QString file = work + "/NNF_240517-083000_CH1.jpg";
        writeFile(file, "jpeg");
        const QString target = orvin_test::home().path() + "/stills";
        QDir().mkpath(target);
        QString folder = target;
        RMSettings::instance()->setLastBackupPath(folder);
        answerModal<RMPopupCapture>([](RMPopupCapture* popup) { popup->saveButton()->click(); });
        window->onRequestVideoCaptureDone(new QList<QString>{file});
        QCOMPARE(noticeText(window), "Saved:\n" + target + "/NNF_240517-083000_Front.jpg");
        QVERIFY(QFile::exists(target + "/NNF_240517-083000_Front.jpg"));
    }

    // A front file that cannot be read is named with the reason; the rear
    // plays in its place, and the list says so.
    void anUnreadableFrontFileIsNamed() {
        RMLanguage::instance()->setLanguage(RMLanguage::LANGUAGE_ENGLISH);
        const QString card = orvin_test::home().path() + "/played";
        QVERIFY(viewer_fixture::makeCard(card, {"--recordings", "2", "--seconds", "3"}));
        RMPlayer::instance()->frontPlayer()->audio()->setBackends({"Null"});
        QVERIFY(viewer_fixture::openCard(window, card, 2));
        RMVideoItem* item = RMVideoFileList::instance()->shownItems().at(1);
        QCOMPARE(item->titleFrontRear(), QString("F/R"));
        const QString front = item->frontPath;
        // Root reads any file: there a folder in its place cannot be read.
        QVERIFY(QFile::rename(front, front + ".kept"));
        if (geteuid() == 0) {
            QVERIFY(QDir().mkdir(front));
        } else {
            QVERIFY(QFile::copy(front + ".kept", front));
            QVERIFY(QFile::setPermissions(front, QFileDevice::WriteOwner));
        }
        const QString reason = geteuid() == 0 ? "directory" : "Permission denied";
        engine_fixture::spin(RMWidgetVideoList::kDoubleClickGuardMs + 20);
        window->frameList()->table()->onDoubleClickItem(1, 1);
        QVERIFY(noticeText(window).startsWith("Cannot read:\n" + front + "\n"));
        QVERIFY2(noticeText(window).contains(reason), qPrintable(noticeText(window)));
        RMPlayer* player = RMPlayer::instance();
        QVERIFY(engine_fixture::waitUntil(
            [&] { return player->currentItem() == item && player->isRearAsFront(); }));
        QCOMPARE(item->titleFrontRear(), QString("R"));
        player->onUserStop();
        QDir().rmdir(front);
        QFile::remove(front);
        QFile::rename(front + ".kept", front);
    }

    void settingsWithoutACardWarns() {
        window->frameList()->onFolderScanned(orvin_test::home().path(), 1);
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
