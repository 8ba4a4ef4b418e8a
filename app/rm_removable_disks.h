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

private:
    static QString _mountTable;
    static QString _sysfsRoot;
};
