#include "app/rm_removable_disks.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtDebug>

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

bool RMRemovableDisks::isRemovableDevice(const QString& sysfsRoot, const QString& device) {
    if (!device.startsWith("/dev/")) {
        return false;
    }
    const QString name = QFileInfo(device).fileName();
    const QString classEntry = sysfsRoot + "/class/block/" + name;
    const QString real = QFileInfo(classEntry).canonicalFilePath();
    if (real.isEmpty()) {
        return false;
    }
    // A partition's own folder has a "partition" file; its disk is the parent.
    QString disk = real;
    if (QFileInfo::exists(real + "/partition")) {
        disk = QFileInfo(real).path();
    }
    if (readSmallFile(disk + "/removable") == "1") {
        return true;
    }
    // Card readers often report removable 0; the bus still tells.
    return disk.contains("/usb") || disk.contains("/mmc");
}

QStringList RMRemovableDisks::writableRemovableRoots() {
    const QString tablePath = _mountTable.isEmpty() ? QString(kSystemMountTable) : _mountTable;
    const QString sysfs = _sysfsRoot.isEmpty() ? QString(kSystemSysfs) : _sysfsRoot;
    QFile table(tablePath);
    if (!table.open(QIODevice::ReadOnly)) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "cannot read" << tablePath;
        return QStringList();
    }
    QStringList roots;
    for (const Mount& mount : parseMountTable(table.readAll())) {
        if (mount.readOnly || roots.contains(mount.mountPoint)) {
            continue;
        }
        if (isRemovableDevice(sysfs, mount.device)) {
            roots.append(mount.mountPoint);
        }
    }
    roots.sort();
    return roots;
}
