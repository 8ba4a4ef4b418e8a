#pragma once

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTimer>
#include <QWidget>
#include <QtDebug>
#include <functional>

#include "app/rm_app.h"
#include "core/rm_player.h"
#include "engine/audio_output.h"
#include "engine/av_player.h"
#include "engine/video_frame.h"
#include "engine_fixture.h"
#include "recordings/rm_video_file_list.h"
#include "ui/rm_frame_list.h"
#include "ui/rm_widget_video_list.h"
#include "ui/window_main.h"

// The real main window on sample cards, for the tests that drive the viewer
// as a user would, and a script for the modal dialogs such a test meets.
namespace viewer_fixture {

// Makes a card of short recordings with real pictures and sound.
inline bool makeCard(const QString& folder, const QStringList& options) {
    QProcess maker;
    maker.start(qEnvironmentVariable("ORVIN_BIN_DIR") + "/orvin-make-card",
                QStringList{folder, "--quiet", "--front-size", "320x180", "--rear-size", "320x180",
                            "--gop", "15"} +
                    options);
    if (!maker.waitForFinished(240000) || maker.exitCode() != 0) {
        qWarning() << "orvin-make-card failed" << maker.readAllStandardError();
        return false;
    }
    return true;
}

// A card at root/name made of some files of the card at source.
inline QString copyCard(const QString& source, const QString& root, const QString& name,
                        const QStringList& files) {
    const QString folder = root + "/" + name + "/DCIM";
    QDir().mkpath(folder);
    for (const QString& file : files) {
        QFile::copy(source + "/DCIM/" + file, folder + "/" + file);
    }
    return root + "/" + name;
}

// The main window, shown, with the null sound sink standing in for a sound
// card; null when it did not appear.
inline WindowMain* showViewer() {
    RMApp::instance()->initialize(*qApp);
    // The map draws without tiles; none are fetched here.
    QSettings(RMApp::appPath(RMApp::PATH_CONFIG), QSettings::IniFormat)
        .setValue("MAP/TILE_URL", "http://127.0.0.1:9/{z}/{x}/{y}.png");
    auto* window = new WindowMain(nullptr);
    window->show();
    if (!QTest::qWaitForWindowExposed(window)) {
        delete window;
        return nullptr;
    }
    RMPlayer::instance()->frontPlayer()->audio()->setBackends({"Null"});
    return window;
}

inline bool openCard(WindowMain* window, const QString& folder, int count) {
    window->openFolder(folder);
    return engine_fixture::waitUntil(
        [count] { return RMVideoFileList::instance()->shownItems().size() == count; });
}

// Double-clicks a row and waits until it plays with a picture; a pause
// that survived the change of recording is lifted.
inline bool playRow(WindowMain* window, int row) {
    RMPlayer* player = RMPlayer::instance();
    // Double clicks closer than the guard are one.
    engine_fixture::spin(RMWidgetVideoList::kDoubleClickGuardMs + 20);
    window->frameList()->table()->onDoubleClickItem(row, 1);
    RMVideoItem* item = RMVideoFileList::instance()->shownItems().value(row);
    if (!engine_fixture::waitUntil(
            [=] { return player->currentItem() == item && player->frontPlayer()->isPlaying(); })) {
        return false;
    }
    if (player->frontPlayer()->isPaused()) {
        player->onPlayOrPause();
    }
    return engine_fixture::waitUntil([=] {
        return player->currentItem() == item &&
               player->frontPlayer()->state() == AVPlayer::PlayingState &&
               player->frontPlayer()->displyedFrame().isValid();
    });
}

// Answers modal dialogs in order: each step gets the active modal widget
// and returns true when it dealt with it. Modal dialogs run their own event
// loops, so the script polls from a timer that keeps firing inside them.
class ModalScript : public QObject {
public:
    using Step = std::function<bool(QWidget*)>;
    explicit ModalScript(QList<Step> steps) : _steps(std::move(steps)) {
        _timer.setInterval(20);
        connect(&_timer, &QTimer::timeout, this, [this] { _poll(); });
        _timer.start();
    }
    bool done() const { return _steps.isEmpty(); }
    // The classes of the dialogs met, in order.
    QStringList seen;

private:
    void _poll() {
        QWidget* modal = QApplication::activeModalWidget();
        // A dialog just answered may still be closing; a later dialog may
        // reuse its address, so the guard only lasts a moment.
        if (modal == nullptr || _steps.isEmpty() || (modal == _last && _since.elapsed() < 300)) {
            return;
        }
        const QString name = modal->metaObject()->className();
        if (_steps.first()(modal)) {
            seen << name;
            _steps.removeFirst();
            _last = modal;
            _since.restart();
        }
    }

    QList<Step> _steps;
    QTimer _timer;
    QWidget* _last = nullptr;
    QElapsedTimer _since;
};

}  // namespace viewer_fixture
