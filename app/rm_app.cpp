#include "app/rm_app.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QShortcut>
#include <QStandardPaths>
#include <QtDebug>
#include <cstdio>
#include <cstring>

#include "app/rm_removable_disks.h"
#include "app/rm_settings.h"

bool RMApp::isMPH = false;

namespace {
const char kDocumentsFolderName[] = "Orvin Video PlayerDoc";
const char kSystemFont[] = "MS PGothic";
const char kModelName[] = "VK7300";

RMApp::FolderChooser& folderChooser() {
    static RMApp::FolderChooser chooser;
    return chooser;
}

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

void RMApp::initialize(QApplication& app) {
    QApplication::setEffectEnabled(Qt::UI_AnimateCombo, false);
    _installFonts();
    _installStyleSheet(app);
    _initDocumentFolder();
    RMSettings::instance()->load();
}

void RMApp::_installFonts() {
    if (QFontDatabase::addApplicationFont(":/font/alarmclock2.ttf") < 0) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "speed font not available";
    }
    if (!QFontDatabase().families().contains(kSystemFont, Qt::CaseSensitive)) {
        return;
    }
    QFont font(kSystemFont);
    font.setStyleHint(QFont::System, QFont::PreferDefault);
    font.setStyleStrategy(QFont::PreferAntialias);
    QApplication::setFont(font);
}

void RMApp::_installStyleSheet(QApplication& app) {
    QFile file(":/stylesheet/style.qss");
    if (!file.open(QIODevice::ReadOnly)) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "no style sheet";
        return;
    }
    const QByteArray bytes = file.readAll();
    // Latin-1 up to the first NUL byte, as the sheet is stored.
    app.setStyleSheet(
        QString::fromLatin1(bytes.constData(), qstrnlen(bytes.constData(), bytes.size())));
}

void RMApp::_initDocumentFolder() {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty() || !QDir(documents).exists()) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "no Documents folder";
        return;
    }
    QDir dir;
    const QString root = documentsFolder();
    if (!dir.exists(root)) {
        dir.mkdir(root);
    }
    for (const char* name : {"backup", "viewersetup", "report"}) {
        const QString sub = root + QDir::separator() + name;
        if (!dir.exists(sub)) {
            dir.mkdir(sub);
        }
    }
}

void RMApp::installGlobalShortcuts() {
    _pipLocationShortcut = new QShortcut(QKeySequence(Qt::Key_F9), _mainWindow);
    _pipLocationShortcut->setContext(Qt::ApplicationShortcut);
    _pipShowHideShortcut = new QShortcut(QKeySequence(Qt::Key_F10), _mainWindow);
    _pipShowHideShortcut->setContext(Qt::ApplicationShortcut);
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
        default:
            return QString();
    }
}

QString RMApp::openFolder(QString startDir, bool, QString caption) {
    if (folderChooser()) {
        return folderChooser()(startDir, caption);
    }
    return QFileDialog::getExistingDirectory(nullptr, caption, startDir, QFileDialog::ShowDirsOnly);
}

void RMApp::setFolderChooser(FolderChooser chooser) {
    folderChooser() = std::move(chooser);
}

QStringList RMApp::getRemovableDisks() {
    return RMRemovableDisks::writableRemovableRoots();
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
