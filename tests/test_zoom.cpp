#include <QApplication>
#include <QMouseEvent>
#include <QTemporaryDir>

#include "app/rm_app.h"
#include "core/rm_player.h"
#include "engine/audio_output.h"
#include "engine/av_player.h"
#include "engine/video_frame.h"
#include "engine/video_renderer.h"
#include "engine_fixture.h"
#include "recordings/rm_video_file_list.h"
#include "test_support.h"
#include "ui/rm_frame_left.h"
#include "ui/rm_frame_list.h"
#include "ui/rm_frame_right.h"
#include "ui/rm_frame_video_main.h"
#include "ui/rm_frame_video_sub.h"
#include "ui/rm_widget_video_list.h"
#include "ui/rm_widget_zoom_pos.h"
#include "ui/window_main.h"
#include "viewer_fixture.h"
#include "widgets/rm_button.h"
#include "widgets/title_widget.h"

using engine_fixture::spin;
using engine_fixture::waitUntil;

namespace {

void sendMouse(QWidget* target, QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
    QMouseEvent event(type, at, target->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

// Presses at `from`, moves to `to` and lets the pending update land.
void drag(QWidget* pane, QPoint from, QPoint to) {
    sendMouse(pane, QEvent::MouseButtonPress, from, Qt::LeftButton);
    sendMouse(pane, QEvent::MouseMove, to, Qt::LeftButton);
    spin(120);
    sendMouse(pane, QEvent::MouseButtonRelease, to, Qt::NoButton);
    spin(80);
}

}  // namespace

class TestZoom : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void noOutputNoOverview();
    void doubleClickZoomsAndTheDragMovesTheRegion();
    void stoppingRestoresTheWholePicture();
    void overviewFollowsThePaneAcrossASwap();
    void pausedZoomGetsAPictureAndFullScreenEndsIt();
    void insetKeys();
    void screenshot();
    void cleanupTestCase();

private:
    bool play(int row);
    RMFrameVideoMain* mainPane() const { return _window->frameLeft()->videoMain(); }
    QPoint videoPoint(QWidget* pane) const {
        return QPoint(pane->width() / 2, pane->height() / 2 + 20);
    }
    // On the picture: the video widget passes the click on to its pane.
    void toggleByDoubleClick(RMFrameVideoBase* pane) {
        QWidget* video = pane->videoWidget();
        if (video->isVisible()) {
            sendMouse(video, QEvent::MouseButtonDblClick, video->mapFrom(pane, videoPoint(pane)),
                      Qt::LeftButton);
        } else {
            sendMouse(pane, QEvent::MouseButtonDblClick, videoPoint(pane), Qt::LeftButton);
        }
    }

    QTemporaryDir _dir;
    WindowMain* _window = nullptr;
    RMPlayer* _player = nullptr;
};

void TestZoom::initTestCase() {
    qRegisterMetaType<PLAY_EVENT>("PLAY_EVENT");
    QVERIFY(
        viewer_fixture::makeCard(_dir.path() + "/card", {"--recordings", "2", "--seconds", "6"}));
    _window = viewer_fixture::showViewer();
    QVERIFY(_window != nullptr);
    _player = RMPlayer::instance();
    QVERIFY(viewer_fixture::openCard(_window, _dir.path() + "/card", 2));
}

void TestZoom::init() {
    for (RMFrameVideoBase* pane :
         {static_cast<RMFrameVideoBase*>(mainPane()),
          static_cast<RMFrameVideoBase*>(_window->frameRight()->videoSub())}) {
        if (pane->isZoomOn()) {
            pane->onToggleZoom();
        }
    }
    _player->onUserStop();
    QVERIFY(waitUntil([this] { return !_player->frontPlayer()->isPlaying(); }));
    if (_player->isSwapped()) {
        _player->toggleSwap(true);
    }
}

void TestZoom::cleanupTestCase() {
    if (_player != nullptr) {
        _player->onUserStop();
        spin(100);
    }
    delete _window;
}

bool TestZoom::play(int row) {
    return viewer_fixture::playRow(_window, row) &&
           waitUntil([this] { return mainPane()->isVideoOn(); });
}

void TestZoom::noOutputNoOverview() {
    QVERIFY(play(0));
    _player->onUserStop();
    QVERIFY(waitUntil([this] { return !_player->frontPlayer()->isPlaying(); }));
    // A stopped player has handed back its output.
    QVERIFY(_player->frontPlayer()->videoOutputs().isEmpty());
    QVERIFY(_player->startZoom(true) == nullptr);
    QVERIFY(!_player->isZoomed(true));
    QVERIFY(_player->zoomRenderer(true) == nullptr);
    QVERIFY(_player->mainRenderer()->regionOfInterest().isEmpty());
    QVERIFY(!_player->updateZoom(0.1f, 0.1f, true));
    // Without a loaded recording a double click does nothing either.
    toggleByDoubleClick(mainPane());
    QVERIFY(!mainPane()->isZoomOn());
}

void TestZoom::doubleClickZoomsAndTheDragMovesTheRegion() {
    QVERIFY(play(0));
    RMFrameVideoMain* pane = mainPane();
    // A double click on the title bar is not on the picture.
    sendMouse(pane, QEvent::MouseButtonDblClick, QPoint(50, 10), Qt::LeftButton);
    QVERIFY(!pane->isZoomOn());
    toggleByDoubleClick(pane);
    QVERIFY(pane->isZoomOn());
    QVERIFY(pane->inset()->isVisible());
    QVERIFY(pane->zoomView() == _player->zoomRenderer(true)->widget());
    QCOMPARE(_player->mainRenderer()->regionOfInterest(), QRectF(0.25, 0.25, 0.5, 0.5));
    // The overview is an extra output of the player in the main pane and
    // shows the whole picture.
    QVERIFY(_player->frontPlayer()->videoOutputs().contains(_player->zoomRenderer(true)));
    QVERIFY(waitUntil([this] { return _player->zoomRenderer(true)->currentFrame().isValid(); }));
    QVERIFY(_player->zoomRenderer(true)->regionOfInterest().isEmpty());

    // Dragging a quarter of the pane to the left moves the window right by
    // an eighth of the picture.
    const QPoint centre = videoPoint(pane);
    drag(pane, centre, centre - QPoint(pane->width() / 4, 0));
    QVERIFY2(qAbs(pane->zoomPos()->posX() - 0.375f) < 0.01f,
             qPrintable(QString::number(pane->zoomPos()->posX())));
    QCOMPARE(pane->zoomPos()->posY(), 0.25f);
    const QRectF roi = _player->mainRenderer()->regionOfInterest();
    QVERIFY2(qAbs(roi.x() - 0.37) < 0.011 && roi.width() == 0.5,
             qPrintable(QString::number(roi.x())));

    // Far past the edges it stops at them.
    drag(pane, centre, centre + QPoint(pane->width() * 3, pane->height() * 3));
    QCOMPARE(pane->zoomPos()->posX(), 0.0f);
    QCOMPARE(pane->zoomPos()->posY(), 0.0f);
    QCOMPARE(_player->mainRenderer()->regionOfInterest(), QRectF(0, 0, 0.5, 0.5));
    drag(pane, centre, centre - QPoint(pane->width() * 3, pane->height() * 3));
    QCOMPARE(pane->zoomPos()->posX(), 0.5f);
    QCOMPARE(_player->mainRenderer()->regionOfInterest(), QRectF(0.5, 0.5, 0.5, 0.5));
    // The red frame sits in the overview's lower right quarter.
    RMWidgetZoomPos* frame = pane->zoomPos();
    QCOMPARE(frame->frameRect().topLeft(), QPoint(frame->width() / 2, frame->height() / 2));
}

void TestZoom::stoppingRestoresTheWholePicture() {
    QVERIFY(play(0));
    RMFrameVideoMain* pane = mainPane();
    toggleByDoubleClick(pane);
    QVERIFY(pane->isZoomOn());
    const QPointer<QWidget> view = pane->zoomView();
    spin(300);
    // Turning zoom off while the video thread feeds the overview: the
    // controller detaches it before freeing it, and frees it once.
    toggleByDoubleClick(pane);
    QVERIFY(!pane->isZoomOn());
    QVERIFY(view.isNull());
    QVERIFY(pane->zoomPos() == nullptr);
    QVERIFY(!pane->inset()->isVisible());
    QVERIFY(_player->mainRenderer()->regionOfInterest().isEmpty());
    QCOMPARE(_player->frontPlayer()->videoOutputs(),
             QList<VideoRenderer*>{_player->mainRenderer()});
    spin(300);
    QVERIFY(_player->frontPlayer()->isPlaying());
    // And again, many times over, while it plays.
    for (int i = 0; i < 10; ++i) {
        toggleByDoubleClick(pane);
        spin(30);
    }
    QVERIFY(!pane->isZoomOn());
}

void TestZoom::overviewFollowsThePaneAcrossASwap() {
    QVERIFY(play(0));
    RMFrameVideoMain* pane = mainPane();
    toggleByDoubleClick(pane);
    VideoRenderer* overview = _player->zoomRenderer(true);
    QVERIFY(overview != nullptr);
    _player->toggleSwap(true);
    // The rear channel is in the main pane now, and so is the overview.
    QVERIFY(_player->rearPlayer()->videoOutputs().contains(overview));
    QVERIFY(!_player->frontPlayer()->videoOutputs().contains(overview));
    QVERIFY(pane->isZoomOn());
    QCOMPARE(_player->mainRenderer()->regionOfInterest(), QRectF(0.25, 0.25, 0.5, 0.5));
    const double before = overview->currentFrame().timestamp();
    QVERIFY(waitUntil([&] { return overview->currentFrame().timestamp() > before + 0.2; }));
    _player->toggleSwap(true);
    QVERIFY(_player->frontPlayer()->videoOutputs().contains(overview));
    QVERIFY(!_player->rearPlayer()->videoOutputs().contains(overview));
}

void TestZoom::pausedZoomGetsAPictureAndFullScreenEndsIt() {
    QVERIFY(play(0));
    _player->onPlayOrPause();
    QVERIFY(_player->frontPlayer()->isPaused());
    RMFrameVideoSub* sub = _window->frameRight()->videoSub();
    toggleByDoubleClick(sub);
    QVERIFY(sub->isZoomOn());
    // A paused player is moved to where it stands so the overview gets a
    // picture.
    QVERIFY(waitUntil([this] { return _player->zoomRenderer(false)->currentFrame().isValid(); }));
    QVERIFY(_player->rearPlayer()->videoOutputs().contains(_player->zoomRenderer(false)));
    QCOMPARE(_player->subRenderer()->regionOfInterest(), QRectF(0.25, 0.25, 0.5, 0.5));

    _window->titleWidget()->fullScreenButton()->click();
    QVERIFY(_window->isFullScreen());
    QVERIFY(!sub->isZoomOn());
    QVERIFY(_player->zoomRenderer(false) == nullptr);
    QVERIFY(_player->subRenderer()->regionOfInterest().isEmpty());
    QVERIFY(waitUntil([this] { return _window->isEnabled(); }, 3000));
    _window->titleWidget()->fullScreenButton()->click();
    QVERIFY(waitUntil([this] { return !_window->isFullScreen(); }));
}

void TestZoom::insetKeys() {
    QVERIFY(play(0));
    RMFrameVideoMain* pane = mainPane();
    // Without zoom the visibility key does nothing.
    pane->onToggleShowHidePIP();
    QVERIFY(!pane->inset()->isVisible());
    toggleByDoubleClick(pane);
    pane->onToggleShowHidePIP();
    QVERIFY(!pane->inset()->isVisible());
    pane->onToggleShowHidePIP();
    QVERIFY(pane->inset()->isVisible());
    // The position key moves the inset to the other corner.
    const bool right = pane->isInsetRight();
    pane->onTogglePIPLocation();
    spin(50);
    QCOMPARE(pane->isInsetRight(), !right);
    QVERIFY(pane->inset()->geometry().center().x() < pane->width() / 2);
    pane->onTogglePIPLocation();
}

void TestZoom::screenshot() {
    // Not a check: with ORVIN_SCREENSHOT_DIR set, writes the README's
    // picture of a zoomed pane with its overview.
    const QString folder = qEnvironmentVariable("ORVIN_SCREENSHOT_DIR");
    if (folder.isEmpty()) {
        QSKIP("ORVIN_SCREENSHOT_DIR not set");
    }
    QVERIFY(play(0));
    RMFrameVideoMain* pane = mainPane();
    toggleByDoubleClick(pane);
    const QPoint centre = videoPoint(pane);
    drag(pane, centre, centre - QPoint(pane->width() / 5, pane->height() / 6));
    spin(1500);
    QVERIFY(pane->grab().save(folder + "/zoomed-pane.png"));
}

ORVIN_TEST_MAIN(TestZoom)
#include "test_zoom.moc"
