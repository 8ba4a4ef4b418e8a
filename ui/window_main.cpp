#include "ui/window_main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QRegularExpression>
#include <QShortcut>
#include <QTimer>
#include <QtDebug>

#include "app/rm_allocator.h"
#include "app/rm_app.h"
#include "app/rm_language.h"
#include "app/rm_qt_translations.h"
#include "app/rm_screen_saver_inhibitor.h"
#include "core/rm_key_event.h"
#include "core/rm_play_process.h"
#include "core/rm_player.h"
#include "engine/av_player.h"
#include "recordings/rm_video_file_list.h"
#include "settings/rm_settings_window_base.h"
#include "settings/window_settings.h"
#include "ui/rm_dialog_map.h"
#include "ui/rm_export_controller.h"
#include "ui/rm_frame_graph.h"
#include "ui/rm_frame_left.h"
#include "ui/rm_frame_list.h"
#include "ui/rm_frame_play.h"
#include "ui/rm_frame_right.h"
#include "ui/rm_frame_slider.h"
#include "ui/rm_play_slider.h"
#include "ui/rm_popup_capture.h"
#include "ui/rm_popup_select_disk.h"
#include "ui/rm_recover_offer.h"
#include "ui/rm_slider.h"
#include "ui/rm_slider_marks.h"
#include "ui/rm_speed_label.h"
#include "ui/rm_widget_video_list.h"
#include "widgets/rm_button.h"
#include "widgets/rm_dialog_progress.h"
#include "widgets/rm_notice.h"
#include "widgets/rm_popup.h"
#include "widgets/rm_popup_info.h"
#include "widgets/rm_popup_message.h"
#include "widgets/rm_widget_check_box.h"
#include "widgets/title_widget.h"

namespace {
const int kFocusDelayMs = 10;
const int kPrepareDelayMs = 150;
const int kFullScreenFocusMs = 250;
const int kVersionReadLimit = 1024;

void setNormalMargins(QHBoxLayout* layout) {
    layout->setContentsMargins(9, 12, 9, 26);
}
}  // namespace

WindowMain::WindowMain(QWidget* parent)
    : RMWindowBase(parent, QString(), "title_logo_vk7300.png", false) {
    RMApp::instance()->setMainWindow(this);
    RMApp::instance()->installGlobalShortcuts();
    // Qt's own dialogs (the folder chooser) speak the interface language.
    RMQtTranslations::install();

    setWindowTitle("VK7300 Viewer");
    setMaximumSize(kWidth, kHeight);
    resize(kWidth, kHeight);

    TitleWidget* title = titleWidget();
    connect(title->closeButton(), SIGNAL(clicked()), this, SLOT(onCloseApplication()));
    connect(title->minimizeButton(), SIGNAL(clicked()), this, SLOT(onMinimize()));
    connect(title->fullScreenButton(), SIGNAL(clicked()), this, SLOT(onFullScreen()));
    connect(title->infoButton(), SIGNAL(clicked()), this, SLOT(onShowInfo()));
    connect(title->infoShortcut(), SIGNAL(activated()), this, SLOT(onShowInfo()));
    connect(title->settingsButton(), SIGNAL(clicked()), this, SLOT(onShowSettings()));
    connect(title->settingsShortcut(), SIGNAL(activated()), this, SLOT(onShowSettings()));
    connect(title, &TitleWidget::languageRequested, this,
            [this] { RMPopup::chooseLanguage(this); });

    _escapeShortcut = _addFullScreenShortcut(Qt::Key_Escape);
    _escapeShortcut->setEnabled(false);
    _returnShortcut = _addFullScreenShortcut(Qt::Key_Return);
    _enterShortcut = _addFullScreenShortcut(Qt::Key_Enter);

    _contentLayout = new QHBoxLayout(contentWidget());
    _contentLayout->setSpacing(7);
    setNormalMargins(_contentLayout);
    _left = new RMFrameLeft(contentWidget());
    _contentLayout->addWidget(_left);
    _right = new RMFrameRight(contentWidget());
    _contentLayout->addWidget(_right);

    RMVideoFileList* list = RMVideoFileList::instance();
    connect(list, SIGNAL(listUpdateStarted(bool)), this, SLOT(onLoadingListStart(bool)));
    connect(list, SIGNAL(listUpdateEnd(bool)), this, SLOT(onLoadingListEnd(bool)));
    // Offers to recover the recordings of an opened card that a power loss cut off.
    new RMRecoverOffer(this, [this](const QString& folder) { openFolder(folder); });

    // The list waits for the player; selections reach it through the hand-over.
    RMPlayer* player = RMPlayer::instance();
    RMWidgetVideoList* table = frameList()->table();
    RMWidgetVideoList::setPlaybackHooks([player] { return player->frontPlayer()->isPlaying(); },
                                        [player] { player->stopSeekUpdateTimer(); });
    connect(player, SIGNAL(playEvent(PLAY_EVENT, RMVideoItem*)), table,
            SLOT(onPlayEvent(PLAY_EVENT, RMVideoItem*)));
    RMPlayProcess::instance()->connectEvents(table);
    RMWidgetCheckBox::setKeyHandler([](const QKeyEvent* event, bool pressed) {
        RMKeyEvent* keys = RMKeyEvent::instance();
        if (pressed) {
            keys->pressed(RMKeyEvent::keyOf(event));
        } else {
            keys->released(RMKeyEvent::keyOf(event));
        }
    });
    _connectMap();

    // A change of recording frees the old one's packets and decoder state
    // at many places in the allocator's heaps: their pages go back.
    connect(player, &RMPlayer::playEvent, this, [](PLAY_EVENT event, RMVideoItem*) {
        if (event == PE_STARTED) {
            RMAllocator::releaseFreePages();
        }
    });

    connect(title->captureButton(), SIGNAL(clicked()), this, SLOT(onStartCapture()));
    connect(title->captureShortcut(), SIGNAL(activated()), this, SLOT(onStartCapture()));
    connect(player, SIGNAL(cancelFullScreen()), this, SLOT(onCancelFullScreen()));
    connect(player, SIGNAL(videoCaptureDone(QList<QString>*)), this,
            SLOT(onRequestVideoCaptureDone(QList<QString>*)));
    connect(player, SIGNAL(videoCaptureFailed()), this, SLOT(onVideoCaptureFailed()));
    // Capture is offered while a recording is loaded.
    title->setSwitchingCheck([] { return RMPlayProcess::instance()->pendingItem() != nullptr; });
    connect(player, SIGNAL(playEvent(PLAY_EVENT, RMVideoItem*)), title,
            SLOT(onPlayEvent(PLAY_EVENT, RMVideoItem*)));

    new RMExportController(this, title);
    new RMSliderMarks(_left->frameSlider()->playSlider()->slider());
    _connectScreenSaver();

    RMFramePlay* bar = _left->framePlay();
    connect(bar->nextFileButton(), SIGNAL(clicked()), table, SLOT(onNext()));
    connect(bar->previousFileButton(), SIGNAL(clicked()), table, SLOT(onPrevious()));
}

// The screen saver stays off while a recording plays, and comes back on
// pause, stop and quit.
void WindowMain::_connectScreenSaver() {
    _screenSaver = new RMScreenSaverInhibitor(this);
    connect(RMPlayer::instance(), &RMPlayer::playEvent, _screenSaver,
            [this](PLAY_EVENT event, RMVideoItem*) { _screenSaver->onPlayEvent(event); });
    connect(RMApp::instance(), &RMApp::appEvent, _screenSaver, [this](RMApp::Event event) {
        if (event == RMApp::EVENT_APP_CLOSING) {
            _screenSaver->setPlaying(false);
        }
    });
}

void WindowMain::_connectMap() {
    // The map's web engine starts here, before the window shows; its page
    // loads when the user first opens the map.
    RMDialogMap* map = RMDialogMap::instance(this);
    RMSpeedLabel* speed = _left->frameGraph()->speedLabel();
    connect(speed, SIGNAL(speedUnitChange()), map, SLOT(onSpeedUnitChange()));
    map->onSpeedUnitChange();
}

void WindowMain::onCancelFullScreen() {
    if (isFullScreen()) {
        onFullScreen();
    }
}

void WindowMain::changeEvent(QEvent* event) {
    // A popup opened while a stepping key is held takes its release: let go
    // of the key now, or stepping would run on and block full screen.
    if (event->type() == QEvent::ActivationChange && !isActiveWindow()) {
        RMKeyEvent* keys = RMKeyEvent::instance();
        if (keys->isKeyHeld()) {
            keys->released(keys->heldKey());
        }
    }
    RMWindowBase::changeEvent(event);
}

RMFrameList* WindowMain::frameList() const {
    return _right->frameList();
}

void WindowMain::openFolder(const QString& folder) {
    if (folder.isEmpty()) {
        return;
    }
    if (!QFileInfo(folder).isDir()) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "no such folder" << folder;
        RMNotice::post(
            this, RMLanguage::instance()->text("フォルダーが見つかりません:", "Folder not found:") +
                      "\n" + QDir::toNativeSeparators(folder));
        return;
    }
    frameList()->openFolder(folder);
}

QShortcut* WindowMain::_addFullScreenShortcut(int key) {
    auto* shortcut = new QShortcut(QKeySequence(key), this);
    // Only while this window is active: Return in a dialog's text field
    // belongs to the dialog, not to full screen behind it.
    shortcut->setContext(Qt::WindowShortcut);
    connect(shortcut, SIGNAL(activated()), this, SLOT(onFullScreen()));
    return shortcut;
}

void WindowMain::showEvent(QShowEvent* event) {
    if (!RMLanguage::instance()->isJapanese()) {
        RMLanguage::instance()->refresh();
    }
    RMWindowBase::showEvent(event);
    // The first picture would otherwise wait for the panes' drawing set-up;
    // it comes a moment after the window's own first paint.
    if (!_renderersPrepared) {
        _renderersPrepared = true;
        QTimer::singleShot(kPrepareDelayMs, this, [] { RMPlayer::instance()->prepareRenderers(); });
    }
}

void WindowMain::keyPressEvent(QKeyEvent* event) {
    if (!event->isAutoRepeat()) {
        RMKeyEvent::instance()->pressed(RMKeyEvent::keyOf(event));
    }
    RMWindowBase::keyPressEvent(event);
}

void WindowMain::keyReleaseEvent(QKeyEvent* event) {
    if (!event->isAutoRepeat()) {
        RMKeyEvent::instance()->released(RMKeyEvent::keyOf(event));
    }
    RMWindowBase::keyReleaseEvent(event);
}

void WindowMain::resizeEvent(QResizeEvent* event) {
    RMWindowBase::resizeEvent(event);
    // The platform made the window full screen by itself: take it back. A
    // late resize of a full screen the viewer asked for (X11 delivers it
    // after the switch) is not that.
    if (event->oldSize().isValid() && isFullScreen() && !fullScreenBusy && !_fullScreenRequested) {
        onFullScreen();
    }
}

void WindowMain::closeEvent(QCloseEvent* event) {
    event->accept();
    // Closing through the window system quits like the quit button.
    if (!_closing) {
        onCloseApplication();
    }
}

void WindowMain::_focusLater() {
    QTimer::singleShot(kFocusDelayMs, this, [this]() {
        activateWindow();
        setFocus(Qt::OtherFocusReason);
    });
}

void WindowMain::_setNormalGeometry() {
    setMinimumSize(kWidth, kHeight);
    setMaximumSize(kWidth, kHeight);
    resize(kWidth, kHeight);
}

void WindowMain::onFullScreen() {
    if (fullScreenBusy) {
        qInfo() << "SKIP_PROCESSING "
                << "onFullScreen";
        return;
    }
    fullScreenBusy = true;
    if (RMKeyEvent::instance()->isKeyHeld()) {
        fullScreenBusy = false;
        return;
    }
    const bool wasFullScreen = isFullScreen();
    const bool viaSignal = sender() != nullptr;
    const bool toNormal = !viaSignal || wasFullScreen;
    _fullScreenRequested = !toNormal;
    if (toNormal) {
        hide();
    } else {
        _normalPosition = pos();
        _hasNormalPosition = true;
        // The window stays mapped on its way to full screen: the request
        // then reaches the window manager as a message it acts on, while a
        // state set on an unmapped window was lost on the first switch.
        // Holding the updates spares the user the frames rearranging.
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        setUpdatesEnabled(false);
    }
    RMApp* app = RMApp::instance();
    Q_EMIT app->appEvent(toNormal ? RMApp::EVENT_FULLSCREEN_LEAVING
                                  : RMApp::EVENT_FULLSCREEN_ENTERING);

    RMButton* fullScreenButton = titleWidget()->fullScreenButton();
    RMLanguage* language = RMLanguage::instance();
    if (toNormal) {
        setNormalMargins(_contentLayout);
        // Also when the platform made the window full screen by itself:
        // left in that state, the window would keep the full-screen frame.
        if (viaSignal || wasFullScreen) {
            showNormal();
        }
        _escapeShortcut->setEnabled(false);
        _focusLater();
        fullScreenButton->setStyleStatus("restore", false);
        fullScreenButton->setToolTip(language->text("最大化", "Full Screen"));
    } else {
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        _contentLayout->setContentsMargins(0, 0, 0, 0);
        showFullScreen();
        _escapeShortcut->setEnabled(true);
        _focusLater();
        fullScreenButton->setStyleStatus("restore", true);
        fullScreenButton->setToolTip(language->text("以前画面に戻る", "Normal"));
    }
    // Keep the registered tooltips in step so a language switch shows the
    // tooltip of the current window state.
    language->append(RMLanguage::LANGUAGE_JAPANESE, RMLanguage::TEXT_TOOLTIP, fullScreenButton,
                     toNormal ? "最大化" : "以前画面に戻る");
    language->append(RMLanguage::LANGUAGE_ENGLISH, RMLanguage::TEXT_TOOLTIP, fullScreenButton,
                     toNormal ? "Full Screen" : "Normal");

    Q_EMIT app->appEvent(toNormal ? RMApp::EVENT_FULLSCREEN_LEFT : RMApp::EVENT_FULLSCREEN_ENTERED);

    if (toNormal) {
        _setNormalGeometry();
        titleWidget()->minimizeButton()->setEnabled(true);
    } else {
        titleWidget()->minimizeButton()->setEnabled(false);
        if (focusTimer) {
            focusTimer->stop();
            focusTimer->deleteLater();
        }
        focusTimer = new QTimer(this);
        focusTimer->setSingleShot(true);
        connect(focusTimer, SIGNAL(timeout()), this, SLOT(onMakeFocusOSX()), Qt::QueuedConnection);
        focusTimer->start(kFullScreenFocusMs);
        setEnabled(false);
    }
    fullScreenBusy = false;
    setUpdatesEnabled(true);
    show();
    if (toNormal && _hasNormalPosition) {
        // Shown again, the window would land where the window system puts
        // new windows; it goes back where it was.
        move(_normalPosition);
    }
}

void WindowMain::onMakeFocusOSX() {
    // No window manager trick is needed here: the window takes the focus and
    // is usable again once the switch has settled.
    if (focusDialog) {
        delete focusDialog;
        focusDialog = nullptr;
    }
    activateWindow();
    setFocus(Qt::OtherFocusReason);
    setEnabled(true);
    if (focusTimer) {
        focusTimer->stop();
        focusTimer->deleteLater();
        focusTimer = nullptr;
    }
}

void WindowMain::onMinimize() {
    showMinimized();
}

void WindowMain::onCloseApplication() {
    if (_closing) {
        return;
    }
    _closing = true;
    Q_EMIT RMApp::instance()->appEvent(RMApp::EVENT_APP_CLOSING);
    QApplication::closeAllWindows();
    QCoreApplication::quit();
}

void WindowMain::onCloseSettings() {
    if (!_settings) {
        return;
    }
    _settings->disconnect(this);
    _settings->close();
    delete _settings;
    _settings = nullptr;
}

QString WindowMain::_chooseSettingsDisk(const QStringList& disks) {
    if (disks.size() == 1 && RMApp::isModelDisk(disks.first())) {
        return disks.first();
    }
    // A remembered disk counts only while it is still listed as writable.
    const QString last = RMSettingsWindowBase::lastSettingDisk;
    if (!last.isEmpty() && disks.contains(last) && RMApp::isModelDisk(last)) {
        return last;
    }
    RMPopupSelectDisk popup(this, disks);
    if (popup.exec() != QDialog::Accepted) {
        return QString();
    }
    return popup.selectedDisk();
}

QString WindowMain::openCardRoot() const {
    return RMApp::cardRootOf(frameList()->openedFolder());
}

QStringList WindowMain::settingsDisks() const {
    QStringList disks;
    const QString card = openCardRoot();
    if (!card.isEmpty()) {
        disks << card;
    }
    for (const QString& disk : RMApp::getRemovableDisks()) {
        if (!disks.contains(QDir::cleanPath(disk))) {
            disks << disk;
        }
    }
    return disks;
}

void WindowMain::onShowSettings() {
    setFocus();
    RMPlayer::instance()->prepareForCapture();
    const QStringList disks = settingsDisks();
    qInfo() << Q_FUNC_INFO << __LINE__ << disks;
    if (disks.isEmpty()) {
        RMLanguage* language = RMLanguage::instance();
        RMPopupMessage message(
            this, language->text("注意", "Warning"),
            language->text("設定ファイルがありません。", "Configuration file(SD Card) not found!"));
        message.hideCloseButton();
        message.exec();
        return;
    }
    const QString disk = _chooseSettingsDisk(disks);
    if (disk.isEmpty()) {
        return;
    }
    RMSettingsWindowBase::lastSettingDisk = disk;
    _settings = new WindowSettings(this);
    _settings->move(x() + (width() - _settings->width()) / 2,
                    y() + (height() - _settings->height()) / 2);
    _settings->exec();
    // onCloseSettings may have ended the window already.
    delete _settings;
    _settings = nullptr;
}

QString WindowMain::findVersionFile(const QString& openCard) {
    for (const QString& disk : {openCard, RMSettingsWindowBase::lastSettingDisk}) {
        if (!disk.isEmpty() && QFileInfo::exists(disk)) {
            const QString path = QDir::cleanPath(disk + "/VERSION.TXT");
            if (QFileInfo::exists(path)) {
                return path;
            }
        }
    }
    const QString infoDisk = RMApp::searchInfoDisk();
    if (!infoDisk.isEmpty()) {
        return QDir::cleanPath(infoDisk + "//VERSION.TXT");
    }
    return QString();
}

QString WindowMain::readFirmwareVersion(const QString& path) {
    if (path.isEmpty()) {
        return QString();
    }
    // Read-only: a write-protected card must still show its version.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "cannot open" << path;
        return QString();
    }
    const QByteArray head = file.read(kVersionReadLimit);
    const QString text =
        QString::fromLatin1(head.constData(), qstrnlen(head.constData(), head.size()));
    const QStringList lines = text.split(QRegularExpression("[\r\n]"), Qt::SkipEmptyParts);
    return lines.isEmpty() ? QString() : lines.first();
}

void WindowMain::onShowInfo() {
    RMPlayer::instance()->prepareForCapture();
    RMPopupInfo info(this, readFirmwareVersion(findVersionFile(openCardRoot())), QString());
    info.exec();
}

void WindowMain::onLoadingListStart(bool bLoading) {
    RMPlayer::instance()->onUserStop();
    if (bLoading) {
        RMDialogProgress* progress = RMDialogProgress::start(
            RMLanguage::instance()->text("ファイルOPEN", "Open files..."), false);
        connect(RMVideoFileList::instance(), SIGNAL(updateProgress(int)), progress,
                SLOT(onUpdateValue(int)));
    }
}

void WindowMain::onLoadingListEnd(bool bLoading) {
    if (bLoading) {
        RMDialogProgress::stop();
    }
    setFocus();
}

void WindowMain::onStartCapture() {
    if (RMKeyEvent::instance()->isKeyHeld()) {
        return;
    }
    RMPlayer::instance()->requestVideoCapture();
}

void WindowMain::onRequestVideoCaptureDone(QList<QString>* fileList) {
    if (fileList == nullptr) {
        return;
    }
    auto* popup = new RMPopupCapture(this, fileList);
    if (popup->exec() == QDialog::Accepted) {
        popup->saveFiles();
        const QStringList saved = popup->savedFiles();
        if (!saved.isEmpty()) {
            RMNotice::post(this, RMLanguage::instance()->text("保存しました:", "Saved:") + "\n" +
                                     QDir::toNativeSeparators(saved.join("\n")));
        }
    } else {
        for (const QString& file : *fileList) {
            RMPopupCapture::removeWorkingFile(file);
        }
    }
    delete popup;
    delete fileList;
}

void WindowMain::onVideoCaptureFailed() {
    RMPopupCapture::showSaveFailed(this);
}
