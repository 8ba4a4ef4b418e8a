#include "app/rm_app.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QtDebug>
#include <cstdio>
#include <cstring>

#include "app/rm_removable_disks.h"

bool RMApp::isMPH = false;

namespace {
const char kDocumentsFolderName[] = "Orvin Video PlayerDoc";
const char kModelName[] = "VK7300";

// A path given with the camera's backslash separators, in local form.
QString localPath(const QString& path) {
    QString clean = QDir::cleanPath(path);
    clean.replace('\\', QDir::separator());
    return QDir::cleanPath(clean);
}
}  // namespace

RMApp* RMApp::instance() {
    static RMApp* app = new RMApp();
    return app;
}

RMApp::RMApp() {
    // Listeners may sit in other threads and tests spy on the signal.
    qRegisterMetaType<RMApp::Event>("RMApp::Event");
}

QString RMApp::documentsFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + QDir::separator() +
           kDocumentsFolderName;
}

QString RMApp::appPath(int path) {
    const QString sep = QDir::separator();
    switch (path) {
        case PATH_REPORT:
            return QDir::cleanPath(documentsFolder() + sep + "report");
        case PATH_CONFIG:
            return QDir::cleanPath(documentsFolder() + sep + "viewersetup" + sep + "conf.ini");
        case PATH_BACKUP:
            return QDir::cleanPath(documentsFolder() + sep + "backup");
        case PATH_EXPORT:
            return QDir::cleanPath(documentsFolder() + sep + "export");
        default:
            return QString();
    }
}

RMApp::FolderChooser& RMApp::_folderChooser() {
    static FolderChooser chooser;
    return chooser;
}

void RMApp::setFolderChooser(FolderChooser chooser) {
    _folderChooser() = std::move(chooser);
}

QStringList RMApp::getRemovableDisks() {
    return RMRemovableDisks::writableRemovableRoots();
}

bool RMApp::unsupportedGPU() {
    return qEnvironmentVariableIntValue("ORVIN_WIDGET_RENDERER") == 1;
}

bool RMApp::forceOpenGL() {
    return qEnvironmentVariableIntValue("ORVIN_OPENGL_RENDERER") == 1;
}

bool RMApp::isModelDisk(QString root, char*) {
    const QString path = localPath(root + "\\__SYSTEM.CFG");
    if (!QFileInfo::exists(path)) {
        return false;
    }
    // Read-only: a write-protected card is still a camera disk.
    FILE* file = std::fopen(QFile::encodeName(path).constData(), "rb");
    if (!file) {
        return false;
    }
    char head[16] = {};
    const size_t got = std::fread(head, 1, sizeof(head), file);
    std::fclose(file);
    return got >= sizeof(kModelName) && std::memcmp(head, kModelName, sizeof(kModelName)) == 0;
}

QString RMApp::cardRootOf(const QString& folder) {
    QString path = folder.isEmpty() ? QString() : QDir::cleanPath(folder);
    while (!path.isEmpty()) {
        if (isModelDisk(path)) {
            return path;
        }
        const QString parent = QFileInfo(path).path();
        path = parent == path ? QString() : parent;
    }
    return QString();
}

QString RMApp::searchInfoDisk() {
    for (const QString& root : getRemovableDisks()) {
        const QString config = localPath(root + "\\__SYSTEM.CFG");
        const QString version = localPath(root + "//VERSION.TXT");
        if (QFileInfo::exists(config) && QFileInfo::exists(version)) {
            return root;
        }
    }
    return QString();
}
