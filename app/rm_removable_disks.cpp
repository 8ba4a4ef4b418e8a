#include "app/rm_removable_disks.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtDebug>
#include <algorithm>

QString RMRemovableDisks::_mountTable;
QString RMRemovableDisks::_sysfsRoot;

namespace {
const char kSystemMountTable[] = "/proc/self/mounts";
const char kSystemSysfs[] = "/sys";

// The mount table escapes blanks, tabs, newlines and backslashes as \ooo.
QString unescapeMountField(const QByteArray& field) {
    QByteArray out;
    out.reserve(field.size());
    for (int i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int code = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok && code >= 0 && code < 256) {
                out.append(static_cast<char>(code));
                i += 3;
                continue;
            }
        }
        out.append(field[i]);
    }
    return QString::fromLocal8Bit(out);
}

QByteArray readSmallFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return QByteArray();
    }
    return file.read(4096).trimmed();
}
}  // namespace

void RMRemovableDisks::setSources(const QString& mountTable, const QString& sysfsRoot) {
    _mountTable = mountTable;
    _sysfsRoot = sysfsRoot;
}

QList<RMRemovableDisks::Mount> RMRemovableDisks::parseMountTable(const QByteArray& table) {
    QList<Mount> mounts;
    for (const QByteArray& line : table.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 4) {
            continue;
        }
        Mount mount;
        mount.device = unescapeMountField(fields[0]);
        mount.mountPoint = unescapeMountField(fields[1]);
        mount.readOnly = fields[3].split(',').contains("ro");
        mounts.append(mount);
    }
    return mounts;
}

QStringList RMRemovableDisks::disksOf(const QString& sysfsRoot, const QString& device) {
    if (!device.startsWith("/dev/")) {
        return QStringList();
    }
    // Names like /dev/disk/by-uuid/... are links to the device node.
    const QString node = QFileInfo(device).canonicalFilePath();
    const QString name = QFileInfo(node.isEmpty() ? device : node).fileName();
    const QString real = QFileInfo(sysfsRoot + "/class/block/" + name).canonicalFilePath();
    if (real.isEmpty()) {
        return QStringList();
    }
    // A partition's own folder has a "partition" file; its disk is the parent.
    QString disk = real;
    if (QFileInfo::exists(real + "/partition")) {
        disk = QFileInfo(real).path();
    }
    // A mapped device (LVM, encryption, RAID) lists the devices below it.
    const QStringList slaves =
        QDir(real + "/slaves").entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    if (slaves.isEmpty()) {
        return QStringList(disk);
    }
    QStringList disks;
    for (const QString& slave : slaves) {
        for (const QString& below : disksOf(sysfsRoot, "/dev/" + slave)) {
            if (!disks.contains(below)) {
                disks << below;
            }
        }
    }
    return disks;
}

QStringList RMRemovableDisks::systemDisks(const QString& sysfsRoot, const QList<Mount>& mounts) {
    QStringList disks;
    for (const QString& path : {QString("/"), QString("/boot"), QString("/home")}) {
        // The file system that holds the path: the longest mount point above it.
        const Mount* holder = nullptr;
        for (const Mount& mount : mounts) {
            const QString& point = mount.mountPoint;
            const bool above = point == "/" || path == point || path.startsWith(point + "/");
            if (above && (!holder || point.size() >= holder->mountPoint.size())) {
                holder = &mount;
            }
        }
        if (!holder) {
            continue;
        }
        for (const QString& disk : disksOf(sysfsRoot, holder->device)) {
            if (!disks.contains(disk)) {
                disks << disk;
            }
        }
    }
    return disks;
}

bool RMRemovableDisks::isRemovableDevice(const QString& sysfsRoot, const QString& device) {
    const QStringList disks = disksOf(sysfsRoot, device);
    if (disks.size() != 1) {
        return false;  // unknown, or spread over several disks
    }
    const QString& disk = disks.first();
    if (readSmallFile(disk + "/removable") == "1") {
        return true;
    }
    // Card readers often report removable 0; the bus still tells. Internal
    // eMMC storage sits on the MMC bus too, but calls its card type "MMC".
    if (disk.contains("/mmc")) {
        return readSmallFile(disk + "/device/type") != "MMC";
    }
    return disk.contains("/usb");
}

QStringList RMRemovableDisks::writableRemovableRoots() {
    const QString tablePath = _mountTable.isEmpty() ? QString(kSystemMountTable) : _mountTable;
    const QString sysfs = _sysfsRoot.isEmpty() ? QString(kSystemSysfs) : _sysfsRoot;
    QFile table(tablePath);
    if (!table.open(QIODevice::ReadOnly)) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "cannot read" << tablePath;
        return QStringList();
    }
    const QList<Mount> mounts = parseMountTable(table.readAll());
    const QStringList system = systemDisks(sysfs, mounts);
    QStringList roots;
    for (const Mount& mount : mounts) {
        if (mount.readOnly || roots.contains(mount.mountPoint)) {
            continue;
        }
        const QStringList disks = disksOf(sysfs, mount.device);
        const bool onSystemDisk = std::any_of(disks.begin(), disks.end(),
                                              [&](const QString& d) { return system.contains(d); });
        if (!onSystemDisk && isRemovableDevice(sysfs, mount.device)) {
            roots.append(mount.mountPoint);
        }
    }
    roots.sort();
    return roots;
}
