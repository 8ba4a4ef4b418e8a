#pragma once

#include <QPoint>

#include "widgets/rm_window_base.h"

class QDialog;
class QHBoxLayout;
class QShortcut;
class QTimer;
class RMFrameLeft;
class RMFrameList;
class RMFrameRight;
class RMScreenSaverInhibitor;
class WindowSettings;

// The viewer's one main window: fixed 1030 x 716, frameless, switching to
// full screen and back, routing keys to the stepping handler.
class WindowMain : public RMWindowBase {
    Q_OBJECT
public:
    explicit WindowMain(QWidget* parent);

    static const int kWidth = 1030;
    static const int kHeight = 716;

    // Opens a folder as the Open button does (the command line's folder).
    void openFolder(const QString& folder);

    RMFrameList* frameList() const;
    RMFrameLeft* frameLeft() const { return _left; }
    RMFrameRight* frameRight() const { return _right; }

    QShortcut* escapeShortcut() const { return _escapeShortcut; }
    QHBoxLayout* contentLayout() const { return _contentLayout; }

    // The first line of a firmware version file, empty when it cannot be read.
    static QString readFirmwareVersion(const QString& path);
    // The firmware version file of the camera disk in use, empty when none:
    // the card of the open folder first, then the disk last set up, then
    // the removable disks.
    static QString findVersionFile(const QString& openCard);
    // The root of the card the open folder belongs to, empty when none.
    QString openCardRoot() const;
    // The disks offered for the camera settings: the open folder's card
    // first, then the removable disks.
    QStringList settingsDisks() const;
    RMScreenSaverInhibitor* screenSaver() const { return _screenSaver; }

public Q_SLOTS:
    void onCloseApplication();
    void onCloseSettings();
    void onShowSettings();
    void onShowInfo();
    void onMinimize();
    void onFullScreen();
    void onLoadingListStart(bool bLoading);
    void onLoadingListEnd(bool bLoading);
    void onStartCapture();
    void onRequestVideoCaptureDone(QList<QString>* fileList);
    void onVideoCaptureFailed();
    void onMakeFocusOSX();
    // The player leaves full screen before a modal dialog.
    void onCancelFullScreen();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QShortcut* _addFullScreenShortcut(int key);
    void _connectMap();
    void _connectScreenSaver();
    void _focusLater();
    void _setNormalGeometry();
    // The disk whose settings to edit, empty when the user cancelled.
    QString _chooseSettingsDisk(const QStringList& disks);

    WindowSettings* _settings = nullptr;
    QHBoxLayout* _contentLayout;
    RMFrameLeft* _left;
    RMFrameRight* _right;
    QShortcut* _escapeShortcut;
    QShortcut* _returnShortcut;
    QShortcut* _enterShortcut;
    bool fullScreenBusy = false;
    QTimer* focusTimer = nullptr;
    QDialog* focusDialog = nullptr;
    bool _closing = false;
    bool _fullScreenRequested = false;  // the viewer itself went full screen
    QPoint _normalPosition;             // where the window was before full screen
    bool _hasNormalPosition = false;
    bool _renderersPrepared = false;
    RMScreenSaverInhibitor* _screenSaver = nullptr;
};
