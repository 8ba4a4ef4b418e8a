// The parts of RMApp that need the widget toolkit: start-up of the
// application object, the global shortcuts and the folder chooser. They live
// apart so the data layer can use RMApp without linking widgets.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QIcon>
#include <QShortcut>
#include <QStandardPaths>
#include <QtDebug>

#include "app/rm_app.h"
#include "app/rm_folder_chooser.h"
#include "app/rm_settings.h"
#include "app/version.h"

namespace {
const char kSystemFont[] = "MS PGothic";
}  // namespace

void RMApp::initialize(QApplication& app) {
    QApplication::setEffectEnabled(Qt::UI_AnimateCombo, false);
    _installFonts();
    _installStyleSheet(app);
    // The desktop pairs the window with its menu entry and icon by these.
    QGuiApplication::setDesktopFileName(ORVIN_APP_ID);
    QApplication::setWindowIcon(QIcon(":/image/app_icon.png"));
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

QString RMApp::openFolder(QString startDir, bool, QString caption) {
    if (_folderChooser()) {
        return _folderChooser()(startDir, caption);
    }
    return RMFolderChooser::choose(instance()->mainWindow(), startDir, caption);
}
