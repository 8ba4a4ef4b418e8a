// Start-up of the application singleton: per-user folders, tolerance of a
// missing Documents folder, style sheet and fonts, and the disk helpers.
#include "app/rm_app.h"
#include "app/rm_removable_disks.h"
#include "test_support.h"

class TestAppStart : public QObject {
    Q_OBJECT

    QString docs() const { return RMApp::documentsFolder(); }

    static void writeFile(const QString& path, const QByteArray& bytes) {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

private Q_SLOTS:
    void appPathGivesThePerUserFiles() {
        const QString root = orvin_test::home().path() + "/Documents/Orvin Video PlayerDoc";
        QCOMPARE(RMApp::appPath(RMApp::PATH_REPORT), root + "/report");
        QCOMPARE(RMApp::appPath(RMApp::PATH_CONFIG), root + "/viewersetup/conf.ini");
        QCOMPARE(RMApp::appPath(RMApp::PATH_BACKUP), root + "/backup");
        QCOMPARE(RMApp::appPath(0), QString());
        QCOMPARE(RMApp::appPath(4), QString());
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
