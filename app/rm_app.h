#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class QApplication;
class QShortcut;
class QWidget;

// Application-wide singleton: the main window, the broadcast of window
// events, the per-user folders and the camera-disk helpers.
class RMApp : public QObject {
    Q_OBJECT
public:
    enum Event {
        EVENT_FULLSCREEN_ENTERING = 1,
        EVENT_FULLSCREEN_ENTERED = 2,
        EVENT_FULLSCREEN_LEAVING = 3,
        EVENT_FULLSCREEN_LEFT = 4,
        EVENT_APP_CLOSING = 5,
    };
    Q_ENUM(Event)

    enum Path {
        PATH_REPORT = 1,
        PATH_CONFIG = 2,
        PATH_BACKUP = 3,
        PATH_EXPORT = 4,  // default folder of exported clips
    };

    using FolderChooser = std::function<QString(const QString& startDir, const QString& caption)>;

    static RMApp* instance();

    void initialize(QApplication& app);
    void installGlobalShortcuts();

    QWidget* mainWindow() const { return _mainWindow; }
    void setMainWindow(QWidget* window) { _mainWindow = window; }
    QShortcut* pipLocationShortcut() const { return _pipLocationShortcut; }
    QShortcut* pipShowHideShortcut() const { return _pipShowHideShortcut; }

    static QString documentsFolder();
    static QString appPath(int path);

    static QString openFolder(QString startDir, bool, QString caption);
    // Replaces the platform folder chooser (tests answer it themselves);
    // an empty function restores the platform chooser.
    static void setFolderChooser(FolderChooser chooser);

    static QStringList getRemovableDisks();
    static bool isModelDisk(QString root, char* = nullptr);
    static QString searchInfoDisk();
    // The root of the camera card that folder belongs to: folder itself or
    // the nearest folder above it that holds the camera's settings file;
    // empty when none does.
    static QString cardRootOf(const QString& folder);

    static void disableScreenSave(bool) {}
    static bool checkGPU() { return false; }
    // The video panes must not draw with OpenGL. The platform hook above
    // reports on hardware decoding only, which says nothing against OpenGL
    // drawing here; the environment variable ORVIN_WIDGET_RENDERER=1 forces
    // the plain widget renderer (for machines whose OpenGL misbehaves).
    static bool unsupportedGPU();
    // ORVIN_OPENGL_RENDERER=1 keeps the OpenGL renderer on an OpenGL drawn
    // by the CPU, where the plain widget renderer is chosen otherwise.
    static bool forceOpenGL();

    // Speed unit shared by the speed display and the map: true = mph.
    static bool isMPH;

Q_SIGNALS:
    void appEvent(RMApp::Event event);

private:
    RMApp();
    static FolderChooser& _folderChooser();
    static void _initDocumentFolder();
    static void _installFonts();
    static void _installStyleSheet(QApplication& app);

    QWidget* _mainWindow = nullptr;
    QShortcut* _pipLocationShortcut = nullptr;
    QShortcut* _pipShowHideShortcut = nullptr;
};
