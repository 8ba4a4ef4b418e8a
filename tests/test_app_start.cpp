// Start-up of the application singleton: per-user folders, tolerance of a
// missing Documents folder, style sheet and fonts, the disk helpers, Qt's
// own translations, the folder chooser and the screen saver.
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QPushButton>

#include "app/rm_app.h"
#include "app/rm_folder_chooser.h"
#include "app/rm_language.h"
#include "app/rm_qt_translations.h"
#include "app/rm_removable_disks.h"
#include "app/rm_screen_saver_inhibitor.h"
#include "dbus_fixture.h"
#include "test_support.h"
#include "widget_fixture.h"

using widget_fixture::writeFile;

namespace {
// Stands in for the desktop's screen saver service; records the calls.
class StandInScreenSaver : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
public:
    QStringList calls;

public Q_SLOTS:
    uint Inhibit(const QString&, const QString&) {
        calls << QString("Inhibit %1").arg(++_cookie);
        return _cookie;
    }
    void UnInhibit(uint cookie) { calls << QString("UnInhibit %1").arg(cookie); }

private:
    uint _cookie = 40;
};
}  // namespace

class TestAppStart : public QObject {
    Q_OBJECT

    QString docs() const { return RMApp::documentsFolder(); }

private Q_SLOTS:
    void appPathGivesThePerUserFiles() {
        const QString root = orvin_test::home().path() + "/Documents/Orvin Video PlayerDoc";
        QCOMPARE(RMApp::appPath(RMApp::PATH_REPORT), root + "/report");
        QCOMPARE(RMApp::appPath(RMApp::PATH_CONFIG), root + "/viewersetup/conf.ini");
        QCOMPARE(RMApp::appPath(RMApp::PATH_BACKUP), root + "/backup");
        QCOMPARE(RMApp::appPath(RMApp::PATH_EXPORT), root + "/export");
        QCOMPARE(RMApp::appPath(0), QString());
        QCOMPARE(RMApp::appPath(5), QString());
    }

    void withoutDocumentsNothingIsCreated() {
        QDir(orvin_test::home().path() + "/Documents").removeRecursively();
        // No resources are linked here: no style sheet, no font. Start-up
        // still completes.
        RMApp::instance()->initialize(*qApp);
        QVERIFY(!QDir(docs()).exists());
        QVERIFY(qApp->styleSheet().isEmpty());
    }

    void createsOnlyTheMissingFolders() {
        QDir().mkpath(docs() + "/backup");
        QDir().mkpath(docs() + "/viewersetup");
        writeFile(docs() + "/backup/keep.mp4", "x");
        RMApp::instance()->initialize(*qApp);
        QVERIFY(QDir(docs() + "/report").exists());
        QVERIFY(QFile::exists(docs() + "/backup/keep.mp4"));
    }

    void theApplicationFontStaysWithoutTheSystemFamily() {
        const QFont before = QApplication::font();
        RMApp::instance()->initialize(*qApp);
        QCOMPARE(QApplication::font().family(), before.family());
    }

    void cameraDiskNeedsTheModelNameAndANul() {
        const QString card = orvin_test::home().path() + "/card";
        writeFile(card + "/__SYSTEM.CFG", QByteArray("VK7300\0rest", 11));
        QVERIFY(RMApp::isModelDisk(card));
        writeFile(card + "/__SYSTEM.CFG", "VK7300X");
        QVERIFY(!RMApp::isModelDisk(card));
        writeFile(card + "/__SYSTEM.CFG", "VK73");
        QVERIFY(!RMApp::isModelDisk(card));
        QFile::remove(card + "/__SYSTEM.CFG");
        QVERIFY(!RMApp::isModelDisk(card));
    }

    // A folder belongs to a card when it or a folder above it holds the
    // camera's settings file.
    void cardRootIsFoundAboveTheOpenFolder() {
        const QString card = orvin_test::home().path() + "/copied card";
        QDir().mkpath(card + "/DCIM/EVENT");
        QCOMPARE(RMApp::cardRootOf(card + "/DCIM/EVENT"), QString());
        writeFile(card + "/__SYSTEM.CFG", QByteArray("VK7300\0", 7));
        QCOMPARE(RMApp::cardRootOf(card + "/DCIM/EVENT"), card);
        QCOMPARE(RMApp::cardRootOf(card), card);
        QCOMPARE(RMApp::cardRootOf(QString()), QString());
    }

    // Qt's own texts follow the interface language.
    void qtTextsFollowTheLanguage() {
        RMQtTranslations::install();
        RMLanguage* language = RMLanguage::instance();
        language->setLanguage(RMLanguage::LANGUAGE_JAPANESE);
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QString("キャンセル"));
        language->setLanguage(RMLanguage::LANGUAGE_ENGLISH);
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QString("Cancel"));
    }

    // The chooser opens where it was asked to, or the nearest folder that
    // exists, and offers only places that exist, in the interface language.
    void folderChooserStartsInAnExistingPlace() {
        const QString home = orvin_test::home().path();
        const QString last = home + "/videos/2026";
        QDir().mkpath(last);
        QCOMPARE(RMFolderChooser::startFolder(last), last);
        QCOMPARE(RMFolderChooser::startFolder(last + "/gone/deeper"), last);
        QCOMPARE(RMFolderChooser::startFolder(QString()), QDir::homePath());
        QDir(home + "/Desktop").removeRecursively();
        const QList<QUrl> places = RMFolderChooser::places(last + "/gone");
        QVERIFY(places.contains(QUrl::fromLocalFile(last)));
        for (const QUrl& place : places) {
            QVERIFY2(QFileInfo(place.toLocalFile()).isDir(), qPrintable(place.toString()));
        }

        RMLanguage::instance()->setLanguage(RMLanguage::LANGUAGE_JAPANESE);
        QString shownIn;
        QStringList buttons;
        widget_fixture::answerModal<QFileDialog>([&](QFileDialog* dialog) {
            shownIn = dialog->directory().absolutePath();
            for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
                buttons << button->text();
            }
            dialog->reject();
        });
        QCOMPARE(RMApp::openFolder(last, true, "caption"), QString());
        RMLanguage::instance()->setLanguage(RMLanguage::LANGUAGE_ENGLISH);
        QCOMPARE(shownIn, last);
        QVERIFY2(buttons.contains("キャンセル"), qPrintable(buttons.join(",")));
    }

    // Playing holds the screen saver off through the session bus; pause,
    // stop, a user's stop and quitting each let it go. A reply that comes
    // after the stop is let go at once. Without the service nothing happens.
    void screenSaverIsHeldOffWhilePlaying() {
        dbus_fixture::PrivateBus bus;
        if (bus.address().isEmpty()) {
            QSKIP("dbus-daemon is not available");
        }
        auto inhibitor = std::make_unique<RMScreenSaverInhibitor>(nullptr, bus.connect("viewer"));
        inhibitor->onPlayEvent(PE_PLAYING);
        QTest::qWait(300);
        QVERIFY(!inhibitor->isInhibited());
        RMScreenSaverInhibitor detached(nullptr, QDBusConnection("not connected"));
        detached.onPlayEvent(PE_PLAYING);
        QVERIFY(!detached.isInhibited());

        StandInScreenSaver standIn;
        QDBusConnection service = bus.connect("stand-in");
        QVERIFY(service.registerObject(RMScreenSaverInhibitor::kPath, &standIn,
                                       QDBusConnection::ExportAllSlots));
        QVERIFY(service.registerService(RMScreenSaverInhibitor::kService));
        uint cookie = 40;
        for (PLAY_EVENT release : {PE_PAUSED, PE_STOPPED, PE_USER_STOP, PE_LOADING}) {
            inhibitor->onPlayEvent(PE_PLAYING);
            QTRY_VERIFY(inhibitor->isInhibited());
            inhibitor->onPlayEvent(PE_PLAYING);  // already held: no second call
            inhibitor->onPlayEvent(PE_FIRST_FRAME);
            ++cookie;
            if (release == PE_LOADING) {
                inhibitor.reset();  // the viewer quits
            } else {
                inhibitor->onPlayEvent(release);
            }
            QTRY_COMPARE(standIn.calls, QStringList({QString("Inhibit %1").arg(cookie),
                                                     QString("UnInhibit %1").arg(cookie)}));
            standIn.calls.clear();
        }
        inhibitor = std::make_unique<RMScreenSaverInhibitor>(nullptr, bus.connect("viewer2"));
        inhibitor->onPlayEvent(PE_PLAYING);
        inhibitor->onPlayEvent(PE_PAUSED);  // before the cookie came back
        QTRY_COMPARE(standIn.calls, QStringList({"Inhibit 45", "UnInhibit 45"}));
        QVERIFY(!inhibitor->isInhibited());
    }

    void removableVolumesComeFromTheMountTableAndSysfs() {
        const QString root = orvin_test::home().path() + "/fake";
        const QString sys = root + "/sys";
        // sdb is a removable USB disk with one partition; mmcblk0 a card on
        // the MMC bus that does not call itself removable; sda is internal.
        QDir().mkpath(sys + "/devices/pci0/usb1/block/sdb/sdb1");
        writeFile(sys + "/devices/pci0/usb1/block/sdb/removable", "1\n");
        writeFile(sys + "/devices/pci0/usb1/block/sdb/sdb1/partition", "1\n");
        QDir().mkpath(sys + "/devices/mmc_host/mmc0/block/mmcblk0/mmcblk0p1");
        writeFile(sys + "/devices/mmc_host/mmc0/block/mmcblk0/removable", "0\n");
        writeFile(sys + "/devices/mmc_host/mmc0/block/mmcblk0/mmcblk0p1/partition", "1\n");
        QDir().mkpath(sys + "/devices/pci0/ata1/block/sda/sda1");
        writeFile(sys + "/devices/pci0/ata1/block/sda/removable", "0\n");
        writeFile(sys + "/devices/pci0/ata1/block/sda/sda1/partition", "1\n");
        QDir().mkpath(sys + "/class/block");
        QFile::link(sys + "/devices/pci0/usb1/block/sdb/sdb1", sys + "/class/block/sdb1");
        QFile::link(sys + "/devices/mmc_host/mmc0/block/mmcblk0/mmcblk0p1",
                    sys + "/class/block/mmcblk0p1");
        QFile::link(sys + "/devices/pci0/ata1/block/sda/sda1", sys + "/class/block/sda1");

        const QString cardA = root + "/media/CARD A";
        const QString cardB = root + "/media/B";
        writeFile(root + "/mounts", ("/dev/sda1 / ext4 rw,relatime 0 0\n"
                                     "/dev/sdb1 " +
                                     root.toUtf8() +
                                     "/media/CARD\\040A vfat rw,nosuid 0 0\n"
                                     "/dev/mmcblk0p1 " +
                                     root.toUtf8() +
                                     "/media/B exfat rw 0 0\n"
                                     "/dev/mmcblk0p1 " +
                                     root.toUtf8() +
                                     "/media/ro exfat ro 0 0\n"
                                     "server:/x /net nfs rw 0 0\n"));
        RMRemovableDisks::setSources(root + "/mounts", sys);
        QCOMPARE(RMApp::getRemovableDisks(), QStringList({cardB, cardA}));

        // The info disk needs both the settings file and the version file.
        writeFile(cardB + "/__SYSTEM.CFG", QByteArray("VK7300\0", 7));
        writeFile(cardA + "/__SYSTEM.CFG", QByteArray("VK7300\0", 7));
        writeFile(cardA + "/VERSION.TXT", "FW 1.0\n");
        QCOMPARE(RMApp::searchInfoDisk(), cardA);
        QFile::remove(cardA + "/VERSION.TXT");
        QCOMPARE(RMApp::searchInfoDisk(), QString());

        RMRemovableDisks::setSources(root + "/no-such-table", sys);
        QVERIFY(RMApp::getRemovableDisks().isEmpty());
        RMRemovableDisks::setSources(QString(), QString());
    }

    // A machine that boots from an SD card and has internal eMMC storage and
    // its home on a mapped device over a USB disk: only the other card counts.
    void systemDisksAreNeverOffered() {
        const QString root = orvin_test::home().path() + "/boots-from-sd";
        const QString sys = root + "/sys";
        const QString mmc = sys + "/devices/platform/mmc_host";
        QDir().mkpath(sys + "/class/block");
        const auto disk = [&](const QString& folder, const QString& name, int parts,
                              const QByteArray& type, const QByteArray& removable) {
            const QString path = folder + "/block/" + name;
            QDir().mkpath(path);
            writeFile(path + "/removable", removable);
            if (!type.isEmpty()) {
                writeFile(path + "/device/type", type);
            }
            QFile::link(path, sys + "/class/block/" + name);
            for (int p = 1; p <= parts; ++p) {
                const QString part =
                    name + (name.startsWith("mmc") ? "p" : "") + QString::number(p);
                QDir().mkpath(path + "/" + part);
                writeFile(path + "/" + part + "/partition", QByteArray::number(p));
                QFile::link(path + "/" + part, sys + "/class/block/" + part);
            }
        };
        disk(mmc + "/mmc0", "mmcblk0", 3, "SD\n", "0\n");   // the boot card
        disk(mmc + "/mmc1", "mmcblk1", 1, "MMC\n", "0\n");  // internal eMMC
        disk(mmc + "/mmc2", "mmcblk2", 1, "SD\n", "0\n");   // the camera's card
        disk(sys + "/devices/pci0/usb2", "sdc", 2, QByteArray(), "1\n");
        QDir().mkpath(sys + "/devices/virtual/block/dm-0/slaves");
        QFile::link(sys + "/devices/virtual/block/dm-0", sys + "/class/block/dm-0");
        QFile::link(sys + "/class/block/sdc1", sys + "/devices/virtual/block/dm-0/slaves/sdc1");

        const QByteArray media = root.toUtf8() + "/media";
        writeFile(root + "/mounts",
                  "/dev/mmcblk0p2 / ext4 rw 0 0\n"
                  "/dev/mmcblk0p1 /boot vfat rw 0 0\n"
                  "/dev/mapper/home /home ext4 rw 0 0\n"
                  "/dev/dm-0 /home ext4 rw 0 0\n"
                  "/dev/mmcblk0p3 " +
                      media +
                      "/data vfat rw 0 0\n"
                      "/dev/mmcblk1p1 " +
                      media +
                      "/emmc vfat rw 0 0\n"
                      "/dev/sdc2 " +
                      media +
                      "/usb vfat rw 0 0\n"
                      "/dev/mmcblk2p1 " +
                      media + "/card exfat rw 0 0\n");
        RMRemovableDisks::setSources(root + "/mounts", sys);
        QCOMPARE(RMApp::getRemovableDisks(), QStringList({root + "/media/card"}));
        RMRemovableDisks::setSources(QString(), QString());
    }
};

ORVIN_TEST_MAIN(TestAppStart)
#include "test_app_start.moc"
