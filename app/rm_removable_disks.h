#pragma once

#include <QString>
#include <QStringList>

// Mounted volumes that are writable and sit on a removable device (an SD
// card or a USB stick), found from the mount table and sysfs. Both sources
// can be pointed elsewhere so tests can fake volumes.
class RMRemovableDisks {
public:
    // Mount points in a stable (sorted) order.
    static QStringList writableRemovableRoots();

    // Empty strings restore the system's own files.
    static void setSources(const QString& mountTable, const QString& sysfsRoot);

    struct Mount {
        QString device;
        QString mountPoint;
        bool readOnly = false;
    };
    static QList<Mount> parseMountTable(const QByteArray& table);
    static bool isRemovableDevice(const QString& sysfsRoot, const QString& device);
    // The sysfs folders of the whole disks under a device (a partition's
    // disk; for a mapped or RAID device, the disks below it); empty when
    // sysfs does not know it.
    static QStringList disksOf(const QString& sysfsRoot, const QString& device);
    // The disks that hold "/", "/boot" or "/home": none of their volumes is
    // ever offered, whatever bus they sit on (internal eMMC, the SD card a
    // machine boots from).
    static QStringList systemDisks(const QString& sysfsRoot, const QList<Mount>& mounts);

private:
    static QString _mountTable;
    static QString _sysfsRoot;
};
