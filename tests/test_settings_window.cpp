// The camera settings window on a faked card: byte-exact round trips, Reset,
// Save, OK and Cancel, the vehicle-type rule, the rows of both tabs in both
// languages, failed saves, and the main window's choice of disk.
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <cerrno>
#include <cstring>

#include "app/rm_app.h"
#include "app/rm_language.h"
#include "app/rm_removable_disks.h"
#include "settings/cfg.h"
#include "settings/rm_combo_box.h"
#include "settings/rm_group_combo_box.h"
#include "settings/rm_group_radio_buttons.h"
#include "settings/rm_group_text_num.h"
#include "settings/rm_radio_buttons.h"
#include "settings/window_settings.h"
#include "test_support.h"
#include "ui/rm_frame_list.h"
#include "ui/rm_popup_select_disk.h"
#include "ui/window_main.h"
#include "widget_fixture.h"
#include "widgets/rm_button.h"
#include "widgets/rm_popup_message.h"
#include "widgets/title_widget.h"

using orvin_test::home;
using widget_fixture::answerModal;
using widget_fixture::readAll;
using widget_fixture::writeFile;

namespace {
// Cancels the next settings window and notes the disk it was opened on.
void answerSettings(QString* opened) {
    answerModal<WindowSettings>([opened](WindowSettings* settings) {
        *opened = RMSettingsWindowBase::lastSettingDisk;
        settings->rejectButton()->click();
    });
}

QByteArray record(const unsigned char* bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes), CFG::SIZE);
}

// A card's record: a truck with trailer Type3, 12.8 t, 25.6 m, and bytes
// the window never edits set apart from the defaults.
QByteArray cardRecord() {
    QByteArray bytes = record(CFG::defaults);
    const QList<QPair<int, int>> changes = {
        {16, 0xA1}, {21, 0xA2}, {22, 1}, {23, 1},  {24, 6}, {25, 0xA3}, {30, 0},
        {31, 0xA4}, {39, 3},    {42, 9}, {62, 9},  {72, 1}, {73, 0},    {74, 0x80},
        {75, 1},    {76, 0},    {77, 3}, {79, 13}, {84, 7}, {85, 0xEE}, {95, 0xEF}};
    for (const auto& change : changes) {
        bytes[change.first] = static_cast<char>(change.second);
    }
    return bytes;
}

QStringList groupTitles(QWidget* page) {
    QStringList titles;
    for (QGroupBox* box : page->findChildren<QGroupBox*>("settings")) {
        titles.append(box->title());
    }
    return titles;
}

QStringList optionTexts(QGroupBox* group) {
    QStringList texts;
    for (QRadioButton* button : group->findChildren<QRadioButton*>()) {
        texts.append(button->text());
    }
    return texts;
}

QGroupBox* groupTitled(QWidget* window, const QString& title) {
    for (QGroupBox* box : window->findChildren<QGroupBox*>("settings")) {
        if (box->title() == title) {
            return box;
        }
    }
    return nullptr;
}
}  // namespace

class TestSettingsWindow : public QObject {
    Q_OBJECT

    QString card;
    WindowMain* mainWindow = nullptr;
    QList<WindowSettings*> windows;

    QString cardFile() const { return card + "/__SYSTEM.CFG"; }

    // Each root becomes a writable volume on a removable USB disk.
    void fakeVolumes(const QStringList& roots) {
        const QString sys = home().path() + "/sys";
        QDir(sys).removeRecursively();
        QDir().mkpath(sys + "/class/block");
        QByteArray table = "/dev/sda1 / ext4 rw 0 0\n";
        for (int i = 0; i < roots.size(); ++i) {
            const QString disk = QString("sd") + QChar('b' + i);
            const QString device = sys + "/devices/usb1/block/" + disk;
            writeFile(device + "/removable", "1\n");
            writeFile(device + "/" + disk + "1/partition", "1\n");
            QFile::link(device + "/" + disk + "1", sys + "/class/block/" + disk + "1");
            QDir().mkpath(roots.at(i));
            table += "/dev/" + disk.toUtf8() + "1 " + roots.at(i).toUtf8() + " vfat rw 0 0\n";
        }
        writeFile(home().path() + "/mounts", table);
        RMRemovableDisks::setSources(home().path() + "/mounts", sys);
    }

    WindowSettings* openOn(const QString& disk) {
        RMSettingsWindowBase::lastSettingDisk = disk;
        auto* window = new WindowSettings(nullptr);
        windows.append(window);
        window->show();
        return window;
    }

private Q_SLOTS:
    void initTestCase() {
        RMApp::instance()->initialize(*qApp);
        mainWindow = new WindowMain(nullptr);
        mainWindow->show();
        QVERIFY(QTest::qWaitForWindowExposed(mainWindow));
    }

    void init() {
        RMLanguage::instance()->setLanguage(RMLanguage::LANGUAGE_ENGLISH);
        CFG::injectFault(CFG::SAVE_NONE, 0);
        card = home().path() + "/card-" + QTest::currentTestFunction();
        QDir(card).removeRecursively();
        writeFile(cardFile(), cardRecord());
    }

    // Windows left alive would answer the next test's Reset.
    void cleanup() {
        qDeleteAll(windows);
        windows.clear();
    }

    void cleanupTestCase() {
        RMRemovableDisks::setSources(QString(), QString());
        delete mainWindow;
    }

    void okWithoutEditsWritesTheCardsBytesBack_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("truck with trailer Type3") << cardRecord();
        QByteArray car = cardRecord();
        car[72] = 0;
        car[77] = 4;  // beyond OFF and ON
        QTest::newRow("car with a trailer beyond its options") << car;
        QByteArray caravan = cardRecord();
        caravan[72] = 3;
        caravan[77] = 2;  // a caravan offers no trailer at all
        QTest::newRow("caravan with a trailer value") << caravan;
        QByteArray odd = cardRecord();
        const QList<QPair<int, int>> nothingMatches = {{22, 9}, {24, 5}, {30, 7}, {39, 1}, {72, 9},
                                                       {73, 0}, {74, 3}, {78, 3}, {79, 30}};
        for (const auto& change : nothingMatches) {
            odd[change.first] = static_cast<char>(change.second);
        }
        QTest::newRow("bytes no option matches") << odd;
    }

    void okWithoutEditsWritesTheCardsBytesBack() {
        QFETCH(QByteArray, bytes);
        writeFile(cardFile(), bytes);
        WindowSettings* window = openOn(card);
        QCOMPARE(record(CFG::data), bytes);
        window->acceptButton()->click();
        QCOMPARE(window->result(), int(QDialog::Accepted));
        QCOMPARE(readAll(cardFile()), bytes);
        QCOMPARE(record(CFG::stored), bytes);
    }

    void resetShowsTheDefaultsAndOkWritesExactlyThem() {
        WindowSettings* window = openOn(card);
        window->resetButton()->click();
        QCOMPARE(record(CFG::data), record(CFG::defaults));
        QCOMPARE(window->trailerGroup()->control()->comboBox()->count(), 2);
        QCOMPARE(window->weightGroup()->lineEdit()->text(), QString("7.5"));
        QCOMPARE(readAll(cardFile()), cardRecord());
        window->acceptButton()->click();
        QCOMPARE(readAll(cardFile()), record(CFG::defaults));
    }

    void cancelAndEscapeReturnToTheCardsRecord() {
        WindowSettings* window = openOn(card);
        window->resetButton()->click();
        window->rejectButton()->click();
        QCOMPARE(window->result(), int(QDialog::Rejected));
        QCOMPARE(record(CFG::data), cardRecord());

        window = openOn(card);
        groupTitled(window, "Mic  ")->findChildren<QRadioButton*>().at(0)->click();
        QCOMPARE(int(CFG::data[23]), 0);
        QTest::keyClick(window, Qt::Key_Escape);
        QVERIFY(!window->isVisible());
        QCOMPARE(record(CFG::data), cardRecord());
        QCOMPARE(readAll(cardFile()), cardRecord());
    }

    void editsReachTheCardOnSaveAndTheWindowStays() {
        WindowSettings* window = openOn(card);
        groupTitled(window, "Mic  ")->findChildren<QRadioButton*>().at(0)->click();
        groupTitled(window, "G sensor sensitivity")->findChild<QComboBox*>()->setCurrentIndex(5);
        QLineEdit* weight = window->weightGroup()->lineEdit();
        weight->clear();
        QTest::keyClicks(weight, "25.6");
        window->saveButton()->click();
        QVERIFY(window->isVisible());
        QByteArray expected = cardRecord();
        expected[23] = 0;
        expected[24] = 10;
        expected[73] = 1;
        expected[74] = 0;
        QCOMPARE(readAll(cardFile()), expected);
        // Cancel after a save keeps what was saved.
        window->rejectButton()->click();
        QCOMPARE(record(CFG::data), expected);
    }

    void vehicleTypeSetsTheRowsAndTrailerOptions() {
        WindowSettings* window = openOn(card);
        QComboBox* type = window->vehicleTypeGroup()->control()->comboBox();
        QComboBox* trailer = window->trailerGroup()->control()->comboBox();
        // Loaded as a truck: Type3 stays chosen.
        QCOMPARE(trailer->currentText(), QString(" Type3"));

        struct Case {
            int type;
            bool trailer, weight, length;
            QStringList options;
        };
        const QList<Case> cases = {
            {2, false, true, false, {}},
            {4, true, true, true, {" OFF", " ON"}},
            {3, false, true, false, {}},
            {1, true, true, false, {" OFF", " Type1", " Type2", " Type3", " Type_Semi"}},
            {0, true, false, false, {" OFF", " ON"}},
        };
        for (const Case& c : cases) {
            type->setCurrentIndex(c.type);
            QCOMPARE(int(CFG::data[72]), c.type);
            QCOMPARE(window->trailerGroup()->isEnabled(), c.trailer);
            QCOMPARE(window->weightGroup()->isEnabled(), c.weight);
            QCOMPARE(window->lengthGroup()->isEnabled(), c.length);
            QStringList options;
            for (int i = 0; i < trailer->count(); ++i) {
                options.append(trailer->itemText(i));
            }
            QCOMPARE(options, c.options);
            QCOMPARE(int(CFG::data[77]), 0);
        }
    }

    void englishRowsAndLabels() {
        WindowSettings* window = openOn(card);
        QCOMPARE(window->modelLabel()->text(), QString("VK7300  "));
        QTabWidget* tabs = window->tabWidget();
        QCOMPARE(tabs->tabText(0), QString("Dash Cam"));
        QCOMPARE(tabs->tabText(1), QString("Drive Assist"));
        QCOMPARE(groupTitles(tabs->widget(0)),
                 QStringList({"REC. option", "G sensor sensitivity", "Volume  ", "Mic  ",
                              "Time Stamp ", "In screen view ", "LCD brightness ", "GPS speed  ",
                              "AUTO brightness ", "Display mode ", "LCD Auto off ", "LED setting ",
                              "Speed Unit ", "Language ", "Set Time ", "Daylight Saving "}));
        QCOMPARE(groupTitles(tabs->widget(1)),
                 QStringList({"Smart Mute  ", "Speed trap  ", "Mobiles trap  ", "Red light cam  ",
                              "Speed limit change  ", "User speed warning  ", "Voice  ", "Beep  ",
                              "Direction  ", "Vehicle type  ", "Vehicle type trailer  ",
                              "Vehicle type weight  ", "Vehicle type length  "}));
        QCOMPARE(optionTexts(groupTitled(window, "Mic  ")), QStringList({"ON", "OFF"}));
        // The card says 3: "Dark", the third option, is checked.
        QVERIFY(groupTitled(window, "LCD brightness ")
                    ->findChildren<QRadioButton*>()
                    .at(2)
                    ->isChecked());
        QVERIFY(!groupTitled(window, "Language ")->isEnabled());
        QGroupBox* setTime = groupTitled(window, "Set Time ");
        QVERIFY(!setTime->isEnabled());
        QComboBox* zones = setTime->findChild<QComboBox*>();
        QCOMPARE(zones->count(), 26);
        QCOMPARE(zones->currentText(), QString(" -01"));
        QCOMPARE(zones->itemText(12), QString(" +12"));
        QCOMPARE(zones->itemText(25), QString(" Auto"));
    }

    void japaneseRowsKeepTheDriveAssistTabInEnglish() {
        RMLanguage::instance()->setLanguage(RMLanguage::LANGUAGE_JAPANESE);
        WindowSettings* window = openOn(card);
        QTabWidget* tabs = window->tabWidget();
        QCOMPARE(groupTitles(tabs->widget(0)).mid(0, 9),
                 QStringList({"録画モード", "G sensor sensitivity", "音量調整  ", "音声録音  ",
                              "インポーズ記録", "別体カメラ表示", "画面明るさ", "GPS speed  ",
                              "ディマー"}));
        QCOMPARE(optionTexts(groupTitled(window, "画面明るさ")), QStringList({"4", "2", "1"}));
        QCOMPARE(groupTitles(tabs->widget(1)).first(), QString("Smart Mute  "));
        QCOMPARE(optionTexts(groupTitled(window, "Beep  ")), QStringList({"オン", "オフ"}));
        QCOMPARE(window->resetButton()->text(), QString("初期値"));
    }

    void failedSaveIsShownAndTheWindowStaysOpen() {
        WindowSettings* window = openOn(card);
        groupTitled(window, "Mic  ")->findChildren<QRadioButton*>().at(0)->click();
        QString shown;
        auto capture = [&shown](RMPopupMessage* message) {
            shown = message->findChild<QLabel*>("text_header_label")->text();
            message->accept();
        };

        CFG::injectFault(CFG::SAVE_WRITE, ENOSPC);
        answerModal<RMPopupMessage>(capture);
        window->acceptButton()->click();
        QCOMPARE(shown, QString("The settings file was not saved.\nThe SD card is full.\n"
                                "The settings file on the card is unchanged."));
        QVERIFY(window->isVisible());
        QCOMPARE(readAll(cardFile()), cardRecord());

        RMLanguage::instance()->setLanguage(RMLanguage::LANGUAGE_JAPANESE);
        CFG::injectFault(CFG::SAVE_OPEN, EROFS);
        answerModal<RMPopupMessage>(capture);
        window->saveButton()->click();
        QVERIFY(shown.contains("SDカードが書き込み禁止になっています。"));
        QVERIFY(window->isVisible());
        QCOMPARE(readAll(cardFile()), cardRecord());

        // Nothing was saved, so Cancel returns to the card's record.
        window->rejectButton()->click();
        QCOMPARE(record(CFG::data), cardRecord());
    }

    // The new file is on the card but its folder could not be flushed: the
    // message says so, and Cancel keeps what the card holds.
    void aLateFailureIsWordedOnWhatIsKnown() {
        WindowSettings* window = openOn(card);
        groupTitled(window, "Mic  ")->findChildren<QRadioButton*>().at(0)->click();
        const QByteArray edited = record(CFG::data);
        QString shown;
        answerModal<RMPopupMessage>([&shown](RMPopupMessage* message) {
            shown = message->findChild<QLabel*>("text_header_label")->text();
            message->accept();
        });
        CFG::injectFault(CFG::SAVE_FOLDER_SYNC, EIO);
        window->saveButton()->click();
        CFG::injectFault(CFG::SAVE_NONE, 0);
        QVERIFY2(shown.startsWith("The new settings are on the SD card"), qPrintable(shown));
        QCOMPARE(readAll(cardFile()), edited);
        window->rejectButton()->click();
        QCOMPARE(record(CFG::data), edited);
    }

    void aDiskWithoutTheModelNameGetsTheDefaultFile() {
        // "VK7300X": the model name runs on, so the disk is not a camera's.
        writeFile(cardFile(), "VK7300X" + cardRecord().mid(7));
        openOn(card);
        QCOMPARE(readAll(cardFile()), record(CFG::defaults));

        // A failed creation is told once the window shows.
        const QString fresh = card + "/fresh";
        QDir().mkpath(fresh);
        CFG::injectFault(CFG::SAVE_OPEN, EROFS);
        WindowSettings* window = openOn(fresh);
        QString shown;
        answerModal<RMPopupMessage>([&shown](RMPopupMessage* message) {
            shown = message->findChild<QLabel*>("text_header_label")->text();
            message->accept();
        });
        QTRY_VERIFY(shown.contains("The SD card is write-protected."));
        QVERIFY(window->isVisible());
        QVERIFY(!QFile::exists(fresh + "/__SYSTEM.CFG"));
    }

    void mainWindowAsksBeforeCreatingAFile() {
        const QString blank = card + "/blank";
        fakeVolumes({blank});
        RMSettingsWindowBase::lastSettingDisk = card;  // a camera disk, but not listed
        answerModal<RMPopupSelectDisk>([](RMPopupSelectDisk* popup) { popup->reject(); });
        mainWindow->onShowSettings();
        QCOMPARE(RMSettingsWindowBase::lastSettingDisk, card);
        QVERIFY(!QFile::exists(blank + "/__SYSTEM.CFG"));

        QString opened;
        answerModal<RMPopupSelectDisk>([&opened](RMPopupSelectDisk* popup) {
            answerSettings(&opened);
            popup->accept();
        });
        mainWindow->onShowSettings();
        QCOMPARE(opened, blank);
        QCOMPARE(readAll(blank + "/__SYSTEM.CFG"), record(CFG::defaults));
    }

    void mainWindowPrefersTheRememberedCameraDisk() {
        fakeVolumes({card});
        RMSettingsWindowBase::lastSettingDisk.clear();
        QString opened;
        answerSettings(&opened);
        mainWindow->onShowSettings();
        QCOMPARE(opened, card);

        const QString other = card + "/other";
        writeFile(other + "/__SYSTEM.CFG", cardRecord());
        fakeVolumes({card, other});
        RMSettingsWindowBase::lastSettingDisk = other;
        answerSettings(&opened);
        mainWindow->onShowSettings();
        QCOMPARE(opened, other);

        // Without a remembered disk the user picks one.
        RMSettingsWindowBase::lastSettingDisk.clear();
        answerModal<RMPopupSelectDisk>([other, &opened](RMPopupSelectDisk* popup) {
            QCOMPARE(popup->selectedDisk(), popup->diskBox()->itemText(0));
            popup->diskBox()->setCurrentIndex(1);
            answerSettings(&opened);
            popup->accept();
        });
        opened.clear();
        mainWindow->onShowSettings();
        QCOMPARE(opened, other);
    }

    // A card copied to a folder, or one the system does not call
    // removable: when the open folder belongs to it, it is offered first,
    // and alone it opens at once.
    void mainWindowOffersTheOpenFoldersCard() {
        const QString blank = card + "/blank";
        RMSettingsWindowBase::lastSettingDisk.clear();
        mainWindow->frameList()->onFolderScanned(card + "/DCIM", 1);
        fakeVolumes({});
        QString opened;
        answerSettings(&opened);
        mainWindow->onShowSettings();
        QCOMPARE(opened, card);

        fakeVolumes({blank});
        RMSettingsWindowBase::lastSettingDisk.clear();
        QStringList offered;
        answerModal<RMPopupSelectDisk>([&](RMPopupSelectDisk* popup) {
            for (int i = 0; i < popup->diskBox()->count(); ++i) {
                offered << popup->diskBox()->itemText(i);
            }
            answerSettings(&opened);
            popup->accept();
        });
        opened.clear();
        mainWindow->onShowSettings();
        QCOMPARE(offered, QStringList({card, blank}));
        QCOMPARE(opened, card);
        mainWindow->frameList()->onFolderScanned(home().path(), 1);
    }

    void closingTheSettingsFromOutsideEndsTheWindow() {
        fakeVolumes({card});
        answerModal<WindowSettings>([this](WindowSettings* settings) {
            groupTitled(settings, "Mic  ")->findChildren<QRadioButton*>().at(0)->click();
            mainWindow->onCloseSettings();
        });
        mainWindow->onShowSettings();
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        QCOMPARE(record(CFG::data), cardRecord());
    }

    // Not a check: with ORVIN_SCREENSHOT_DIR set, writes the README's
    // pictures of both tabs in both languages.
    void screenshots() {
        const QString folder = qEnvironmentVariable("ORVIN_SCREENSHOT_DIR");
        if (folder.isEmpty()) {
            QSKIP("ORVIN_SCREENSHOT_DIR not set");
        }
        for (const auto language : {RMLanguage::LANGUAGE_JAPANESE, RMLanguage::LANGUAGE_ENGLISH}) {
            RMLanguage::instance()->setLanguage(language);
            const QString suffix = language == RMLanguage::LANGUAGE_ENGLISH ? "-en" : "";
            WindowSettings* window = openOn(card);
            QVERIFY(QTest::qWaitForWindowExposed(window));
            for (int tab = 0; tab < 2; ++tab) {
                window->tabWidget()->setCurrentIndex(tab);
                QTest::qWait(100);
                const QString name = tab == 0 ? "settings-dash-cam" : "settings-drive-assist";
                QVERIFY(window->grab().save(folder + "/" + name + suffix + ".png"));
            }
            window->rejectButton()->click();
        }
    }
};

ORVIN_TEST_MAIN(TestSettingsWindow)
#include "test_settings_window.moc"
