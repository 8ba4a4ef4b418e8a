#include "core/rm_player.h"

#include <QAbstractSlider>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QGuiApplication>
#include <QTimer>
#include <QWidget>
#include <QtDebug>
#include <cmath>

#include "app/rm_app.h"
#include "core/rm_key_event.h"
#include "engine/av_clock.h"
#include "engine/av_player.h"
#include "engine/video_capture.h"
#include "engine/video_frame.h"
#include "engine/video_renderer.h"
#include "recordings/rm_video_file_list.h"

namespace {

constexpr int kFirstRepeatMs = 300;
constexpr int kRepeatMs = 150;
constexpr int kStepUpdateMs = 500;
constexpr int kLastUpdateMs = 300;
// One-second steps that land this close to the end go to the end.
constexpr qint64 kNearEndMs = 500;
// How long the engine may take to write the pictures.
constexpr int kCaptureWatchdogMs = 2000;
constexpr int kCaptureReadyPollMs = 500;
constexpr int kCaptureDelayMs = 100;

}  // namespace

RMPlayer* RMPlayer::instance() {
    static RMPlayer* player = new RMPlayer;
    return player;
}

RMPlayer::RMPlayer(QObject* parent) : RMPlayerZoom(parent) {
    RMKeyEvent* keys = RMKeyEvent::instance();
    connect(keys, SIGNAL(pressedF1()), this, SLOT(onSeekForwardStart()));
    connect(keys, SIGNAL(pressedB1()), this, SLOT(onSeekBackwardStart()));
    connect(keys, SIGNAL(pressedFF()), this, SLOT(onSeekFrameForwardStart()));
    connect(keys, SIGNAL(pressedFB()), this, SLOT(onSeekFrameBackwardStart()));
    connect(keys, SIGNAL(releasedFB()), this, SLOT(onSeekStepEnd()));
    connect(keys, SIGNAL(releasedF1()), this, SLOT(onSeekStepEnd()));
    connect(keys, SIGNAL(releasedB1()), this, SLOT(onSeekStepEnd()));
    connect(keys, SIGNAL(releasedFF()), this, SLOT(onSeekStepEnd()));
    connect(_front->videoCapture(), SIGNAL(failed()), this, SLOT(onCaptureFailed()));
    connect(_front, &AVPlayer::seekFinished, this, [this] {
        _onDragSeekLanded();
        _endStepWhenLanded();
    });
    connect(_rear, &AVPlayer::seekFinished, this, [this] { _endStepWhenLanded(); });
    connect(_rear->videoCapture(), SIGNAL(failed()), this, SLOT(onCaptureFailed()));
}

RMPlayer::~RMPlayer() {
    stopSeekUpdateTimer();
    _abandonCapture();
}

// ---------------------------------------------------------------- play, stop

void RMPlayer::onPlayOrPause() {
    playOrPause(false);
}

void RMPlayer::_toRest() {
    _dragTarget = -1;
    _pausedBySlider = false;
    stopSeekUpdateTimer();
    _abandonCapture();
    RMPlayerBase::_toRest();
}

void RMPlayer::onUserStop() {
    _acrossItem = nullptr;
    _acrossMode = STEP_NONE;
    stop();
    emit playEvent(PE_USER_STOP, nullptr);
}

void RMPlayer::onPlayRestart() {
    _clock->updateExternalClock(0);
    seek(_front->mediaStartPosition(), false);
}

bool RMPlayer::prepareForCapture() {
    if (!_front->isLoaded() || _front->position() < 1) {
        return false;
    }
    if (_front->isPlaying() && !_front->isPaused()) {
        stopSeekUpdateTimer();
        _stepMode = STEP_NONE;
        _pause(true, true, -1);
        emit playEvent(PE_PAUSED, _currentItem.data());
    }
    emit cancelFullScreen();
    return true;
}

void RMPlayer::onSpeedSliderMoved(int position) {
    if (qobject_cast<QAbstractSlider*>(sender()) == nullptr) {
        return;
    }
    const double speed = speedAt(position);
    if (speed > 0) {
        _selectedSpeed = speed;
    }
}

void RMPlayer::onSpeedSliderReleased() {
    auto* slider = qobject_cast<QAbstractSlider*>(sender());
    if (slider == nullptr) {
        return;
    }
    const double speed = speedAt(slider->value());
    if (speed > 0) {
        _selectedSpeed = speed;
        updateSpeed(speed);
    }
}

void RMPlayer::on_sync_timer_restarted() {
    _syncEnabled = true;
}

// ---------------------------------------------------------------- seeking

void RMPlayer::seek(qint64 pos, bool quiet) {
    const bool rearReady = !_rearLoaded() || _rear->isPlaying();
    if (!_front->isPlaying() || !rearReady) {
        return;
    }
    _dropSyncRestart();
    _syncEnabled = false;
    _quietPausedSeek = quiet;
    _front->setSeekType(AnyFrameSeek);
    _front->seek(pos);
    if (_rearLoaded()) {
        if (!_paused) {
            _rear->pause(false);
        }
        _rear->setSeekType(AnyFrameSeek);
        _rear->seek(pos);
    }
}

// ---------------------------------------------------------------- slider

void RMPlayer::onSliderPress(bool) {
    auto* slider = qobject_cast<QAbstractSlider*>(sender());
    if (slider == nullptr) {
        return;
    }
    // The clicked value first: pausing puts the playing position back into
    // the slider.
    const int value = slider->value();
    _stepMode = STEP_NONE;
    _dragging = true;
    _watchForLostMouse(slider);
    if (_front->state() == AVPlayer::PlayingState) {
        _pausedBySlider = true;
        _pause(true, true, qMax(value, 1));
    }
    onSliderMove(value);
}

void RMPlayer::onSliderMove(int value) {
    _quietPausedSeek = false;
    if (!_front->isLoaded()) {
        return;
    }
    _dragging = true;
    const qint64 p = qMax(value, 1);
    muteIfRequired(-1);
    if (_front->isPaused()) {
        // One seek at a time: a newer one would replace it before it lands,
        // and the panes would show nothing until the drag ends. The knob's
        // latest position waits for the landing instead.
        if (_front->isSeeking()) {
            _dragTarget = p;
        } else {
            _seekPausedTo(p);
        }
    } else {
        seek(p, false);
    }
    _pausedPosition = p;
}

void RMPlayer::_seekPausedTo(qint64 position) {
    _dragTarget = -1;
    _clock->updateExternalClock(position);
    _front->setPosition(position);
    if (_rearLoaded()) {
        _rear->setPosition(position);
    }
}

void RMPlayer::_onDragSeekLanded() {
    if (_dragTarget >= 0 && _front->isPaused() && !_front->isSeeking()) {
        _seekPausedTo(_dragTarget);
    }
}

void RMPlayer::_watchForLostMouse(QAbstractSlider* slider) {
    // Installing twice keeps one filter.
    if (slider->window() != nullptr) {
        slider->window()->installEventFilter(this);
    }
}

bool RMPlayer::eventFilter(QObject* watched, QEvent* event) {
    const bool lost =
        event->type() == QEvent::WindowBlocked || event->type() == QEvent::WindowDeactivate;
    if (lost && (_dragging || _pausedBySlider)) {
        // A dialog took the mouse while the knob was held: its release will
        // never come. The drag ends where it is, still paused, with sound.
        qInfo() << "RMPlayer::eventFilter" << __LINE__ << "drag ends without release"
                << event->type();
        _dragTarget = -1;
        _dragging = false;
        _pausedBySlider = false;
        if (_positionSlider) {
            _positionSlider->setSliderDown(false);
        }
        onUnMuteIfRequired();
    }
    return RMPlayerZoom::eventFilter(watched, event);
}

void RMPlayer::onSliderRelease() {
    if (_dragTarget >= 0 && _front->isPaused()) {
        _seekPausedTo(_dragTarget);
    }
    _dragTarget = -1;
    _dragging = false;
    if (_pausedBySlider) {
        _pause(false, true, -1);
        _pausedBySlider = false;
    }
    onUnMuteIfRequired();
}

// ---------------------------------------------------------------- stepping

void RMPlayer::onSeekForwardStart() {
    _startStep(STEP_FORWARD);
}

void RMPlayer::onSeekBackwardStart() {
    stopSeekUpdateTimer();
    _startStep(STEP_BACKWARD);
}

void RMPlayer::onSeekFrameForwardStart() {
    _startStep(STEP_FRAME);
}

void RMPlayer::onSeekFrameBackwardStart() {
    _startStep(STEP_FRAME_BACK);
}

void RMPlayer::_startStep(int mode) {
    if (!_front->isPlaying()) {
        return;
    }
    _stepMode = mode;
    _loadedDuringStep = false;
    _stepTicks = 0;
    if (!_front->isPaused()) {
        _pause(true, true, -1);
        emit playEvent(PE_PAUSED, _currentItem.data());
    }
    onSeekPressed();
    startSeekUpdateTimer();
}

void RMPlayer::startSeekUpdateTimer() {
    // The step that started the timers counts: the next one goes further.
    const int multiplier = _stepMultiplier;
    stopSeekUpdateTimer();
    _stepMultiplier = multiplier;
    _stepRepeatTimer = new QTimer(this);
    connect(_stepRepeatTimer, SIGNAL(timeout()), this, SLOT(onSeekPressed()));
    _stepRepeatTimer->start(kFirstRepeatMs);
    _stepUpdateTimer = new QTimer(this);
    connect(_stepUpdateTimer, SIGNAL(timeout()), this, SLOT(onSeekUpdate()));
    _stepUpdateTimer->start(kStepUpdateMs);
}

void RMPlayer::stopSeekUpdateTimer() {
    // Often called from one of these timers' own timeout.
    for (QTimer** timer : {&_stepRepeatTimer, &_stepUpdateTimer, &_lastUpdateTimer}) {
        if (*timer != nullptr) {
            (*timer)->stop();
            (*timer)->deleteLater();
            *timer = nullptr;
        }
    }
    _stepMultiplier = 1;
}

bool RMPlayer::isSeekTimerActive() const {
    return _stepRepeatTimer != nullptr || _stepUpdateTimer != nullptr ||
           _lastUpdateTimer != nullptr;
}

double RMPlayer::_frameIntervalMs() const {
    const double rate = _front->frameRate();
    return rate > 0 ? 1000.0 / rate : 1000.0 / 30;
}

qint64 RMPlayer::_frameStepPosition(qint64 value, int direction) const {
    // Pictures lie one interval apart: the next or the previous one is
    // counted from the picture the position stands on.
    const double interval = _frameIntervalMs();
    const qint64 picture = std::llround(double(value) / interval) + direction;
    return std::llround(double(picture) * interval);
}

qint64 RMPlayer::_nextStepPosition() {
    const qint64 value = _positionSlider ? _positionSlider->value() : 0;
    const qint64 duration = _frontDuration();
    qint64 target = 0;
    if (_stepMode == STEP_FRAME || _stepMode == STEP_FRAME_BACK) {
        target = _frameStepPosition(value, _stepMode == STEP_FRAME ? 1 : -1);
    } else {
        const qint64 k = _stepMode == STEP_FORWARD ? _stepMultiplier : -_stepMultiplier;
        const qint64 s = value / 1000 + k;
        target = qAbs(s * 1000 - value) < 100 ? (s + k) * 1000 : s * 1000;
        if (k > 0 && target > duration - kNearEndMs) {
            target = duration;
        }
    }
    _stepMultiplier = qMin(_stepMultiplier + 1, 3);
    return target;
}

void RMPlayer::onSeekPressed() {
    if (_loadedDuringStep || _stepMode == STEP_NONE) {
        return;
    }
    ++_stepTicks;
    if (_stepRepeatTimer != nullptr) {
        _stepRepeatTimer->setInterval(kRepeatMs);
    }
    const qint64 value = _positionSlider ? _positionSlider->value() : 0;
    const qint64 duration = _frontDuration();
    qint64 target = _nextStepPosition();
    const bool frames = _stepMode == STEP_FRAME || _stepMode == STEP_FRAME_BACK;
    if (frames) {
        // Frame steps stop at the first and the last picture.
        target = qBound<qint64>(0, target, duration);
        if (target == duration) {
            target = value;
        }
    } else if (_stepMode == STEP_FORWARD && duration - value < kNearEndMs) {
        _stepAcross(true);
        return;
    } else if (_stepMode == STEP_BACKWARD && target < 0) {
        _stepAcross(false);
        return;
    }
    if (qMin(target, duration) < 1) {
        target = 0;
    } else if (target >= duration) {
        target = duration;
    }
    _setPositionSlider(target);
    _pausedPosition = target;
    emit positionChanged(target, duration);
}

void RMPlayer::_stepAcross(bool forward) {
    stopSeekUpdateTimer();
    RMVideoFileList* list = RMVideoFileList::instance();
    if (!list->isNextPlayItemExist(forward)) {
        // Nothing beyond: the step stops at this recording's edge.
        const qint64 edge = forward ? _frontDuration() : 0;
        _setPositionSlider(edge);
        _pausedPosition = edge;
        emit positionChanged(edge, _frontDuration());
        seek(edge, false);
        return;
    }
    // The neighbour starts still, where this step left off: at its end
    // going back, at its start going forward.
    _acrossItem = list->nexItem(forward);
    _acrossMode = forward ? STEP_FORWARD : STEP_BACKWARD;
    _acrossKey = RMKeyEvent::instance()->heldKey();
    if (forward) {
        list->onPlayNextVideo(-1);
    } else {
        list->onPlayPreviousVideo(-1);
    }
}

void RMPlayer::_continueAcross() {
    // A step key still held goes on stepping in the neighbour. The key
    // handler is enabled once the start completes, hence the delay.
    const int key = _acrossKey;
    _acrossKey = -1;
    const quint64 generation = _loadGeneration;
    QTimer::singleShot(0, this, [this, key, generation] {
        RMKeyEvent* keys = RMKeyEvent::instance();
        if (generation == _loadGeneration && key != -1 && keys->downKey() == key) {
            keys->pressed(key);
        }
    });
}

void RMPlayer::onSeekUpdate() {
    if (!_loadedDuringStep && _positionSlider) {
        seek(_positionSlider->value(), false);
    }
}

void RMPlayer::onSeekStepEnd() {
    // A tap (released before the first repeat) shows its picture at once;
    // the engine merges taps that come faster than it lands them.
    const bool tap = _stepTicks <= 1;
    stopSeekUpdateTimer();
    if (tap) {
        onSeekLastUpdate();
        return;
    }
    _lastUpdateTimer = new QTimer(this);
    _lastUpdateTimer->setSingleShot(true);
    connect(_lastUpdateTimer, SIGNAL(timeout()), this, SLOT(onSeekLastUpdate()));
    _lastUpdateTimer->start(kLastUpdateMs);
}

void RMPlayer::onSeekLastUpdate() {
    if (!_loadedDuringStep && _positionSlider) {
        seek(_positionSlider->value(), false);
    }
    stopSeekUpdateTimer();
    _endStepWhenLanded();
}

void RMPlayer::_finishStep() {
    if (_lastUpdateTimer != nullptr || _stepRepeatTimer != nullptr) {
        onSeekLastUpdate();
    }
}

void RMPlayer::_endStepWhenLanded() {
    // Stepping ends once its last seek has landed: position reports move
    // the slider again, and the end of a file advances again.
    if (_stepMode == STEP_NONE || isSeekTimerActive() || RMKeyEvent::instance()->isKeyHeld()) {
        return;
    }
    if (!_front->isSeeking() && (!_rearLoaded() || !_rear->isSeeking())) {
        _stepMode = STEP_NONE;
    }
}

// ---------------------------------------------------------------- swap

void RMPlayer::blockEvents(int msec) {
    _eventsBlocked = true;
    delete _blockTimer;
    _blockTimer = new QTimer(this);
    _blockTimer->setSingleShot(true);
    connect(_blockTimer, SIGNAL(timeout()), this, SLOT(onReleaseBlockEvent()));
    _blockTimer->start(msec);
}

void RMPlayer::onReleaseBlockEvent() {
    _eventsBlocked = false;
    if (_blockTimer != nullptr) {
        _blockTimer->deleteLater();
        _blockTimer = nullptr;
    }
}

void RMPlayer::toggleSwap(bool forceEmit) {
    if (_eventsBlocked) {
        qInfo() << "BLOCK"
                << "toggleSwap"
                << "timer exist?" << (_blockTimer != nullptr);
        if (_blockTimer != nullptr) {
            _blockTimer->stop();
            _blockTimer->deleteLater();
            _blockTimer = nullptr;
        }
        _eventsBlocked = false;
        return;
    }
    for (AVPlayer* player : {_front, _rear}) {
        player->removeVideoRenderer(_mainZoomRenderer);
        player->removeVideoRenderer(_subZoomRenderer);
    }
    if (!forceEmit) {
        blockEvents(80);
    }
    _swapped = !_swapped;
    _swapOutputs();
    _attachZoomRenderers();
    emit playEvent(_swapped ? PE_SWAPPED : PE_UNSWAPPED, nullptr);
}

void RMPlayer::_swapOutputs() {
    RMVideoItem* item = _currentItem.data();
    if (item == nullptr) {
        // Nothing plays: only the pane roles change, and both panes blank.
        _mainRenderer->receive(VideoFrame());
        _subRenderer->receive(VideoFrame());
        return;
    }
    const bool oneFile = item->frontPath.isEmpty() || item->rearPath.isEmpty();
    if (frontInMain()) {
        _front->setRenderer(_mainRenderer, true);
        _mainRenderer->receive(_front->displyedFrame());
        if (oneFile) {
            _subRenderer->receive(VideoFrame());
        } else {
            _rear->setRenderer(_subRenderer, true);
            _subRenderer->receive(_rear->displyedFrame());
        }
    } else {
        _front->setRenderer(_subRenderer, true);
        _mainRenderer->receive(_rear->displyedFrame());
        if (oneFile) {
            _mainRenderer->receive(VideoFrame());
            _subRenderer->receive(_front->displyedFrame());
        } else {
            _rear->setRenderer(_mainRenderer, true);
            _subRenderer->receive(_front->displyedFrame());
        }
    }
}

// ---------------------------------------------------------------- capture

bool RMPlayer::requestVideoCapture() {
    if (_captureWatchdog != nullptr || !_front->isLoaded() || _front->position() <= 0) {
        return false;
    }
    const bool wasPaused = _front->isPaused();
    if (!wasPaused) {
        onPlayOrPause();
    }
    // A step under way ends here: its players go to its position, and the
    // pictures are taken once they have landed there.
    if (isSeekTimerActive()) {
        _finishStep();
    }
    emit cancelFullScreen();
    _dropCaptureTimers();
    ++_captureGeneration;
    _captureWatchdog = new QTimer(this);
    _captureWatchdog->setSingleShot(true);
    connect(_captureWatchdog, SIGNAL(timeout()), this, SLOT(onFailToCapture()));
    _captureWatchdog->start(kCaptureWatchdogMs);
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    if (_readyForCapture()) {
        _scheduleCaptureProcess();
        return true;
    }
    _captureReadyPoll = new QTimer(this);
    connect(_captureReadyPoll, SIGNAL(timeout()), this, SLOT(onReadyForCapture()));
    _captureReadyPoll->start(kCaptureReadyPollMs);
    return true;
}

bool RMPlayer::_readyForCapture() const {
    // Both channels still, on the position the pictures are named after.
    const bool rearReady = !_rearLoaded() || (_rear->isPaused() && !_rear->isSeeking());
    return _front->isPaused() && !_front->isSeeking() && rearReady && !isSeekTimerActive();
}

void RMPlayer::onReadyForCapture() {
    if (!_readyForCapture() || _captureReadyPoll == nullptr) {
        return;
    }
    _captureReadyPoll->deleteLater();
    _captureReadyPoll = nullptr;
    _scheduleCaptureProcess();
}

void RMPlayer::_scheduleCaptureProcess() {
    const quint64 generation = _captureGeneration;
    QTimer::singleShot(kCaptureDelayMs, this, [this, generation] {
        if (generation == _captureGeneration && _captureWatchdog != nullptr) {
            requestVideoCaptureProcess();
        }
    });
}

void RMPlayer::requestVideoCaptureProcess() {
    delete _capturedFiles;
    _capturedFiles = new QList<QString>;
    _captureFolder = RMApp::appPath(RMApp::PATH_BACKUP);
    // The folder may have been removed since start-up.
    QDir().mkpath(_captureFolder);
    RMVideoItem* item = _currentItem.data();
    const QString title = item != nullptr ? item->titleCapture(_capturePosition) : QString();
    _captureWith(_front, title + "_CH1_", SLOT(onCaptureSavedFront(QString)));
}

void RMPlayer::_captureWith(AVPlayer* player, const QString& name, const char* savedSlot) {
    VideoCapture* capture = player->videoCapture();
    // Encoding and writing run off the GUI thread; saved() still arrives
    // through the event loop.
    capture->setAsync(true);
    capture->setCaptureDir(_captureFolder);
    capture->setSaveFormat("jpg");
    capture->setCaptureName(name);
    connect(capture, SIGNAL(saved(QString)), this, savedSlot, Qt::UniqueConnection);
    capture->capture();
}

void RMPlayer::onCaptureSavedFront(QString path) {
    if (_capturedFiles == nullptr) {
        // A capture given up already: its picture is not wanted.
        QFile::remove(path);
        return;
    }
    _capturedFiles->append(path);
    if (_rearLoaded()) {
        RMVideoItem* item = _currentItem.data();
        const QString title = item != nullptr ? item->titleCapture(_capturePosition) : QString();
        _captureWith(_rear, title + "_CH2_", SLOT(onCaptureSavedRear(QString)));
        return;
    }
    _finishCapture();
}

void RMPlayer::onCaptureSavedRear(QString path) {
    if (_capturedFiles == nullptr) {
        QFile::remove(path);
        return;
    }
    _capturedFiles->append(path);
    _finishCapture();
}

void RMPlayer::_finishCapture() {
    if (_captureWatchdog != nullptr) {
        QGuiApplication::restoreOverrideCursor();
    }
    _dropCaptureTimers();
    QList<QString>* files = _capturedFiles;
    _capturedFiles = nullptr;
    emit videoCaptureDone(files);
}

void RMPlayer::onFailToCapture() {
    _failCapture("the engine did not save in time");
}

void RMPlayer::onCaptureFailed() {
    _failCapture("the engine could not save a picture");
}

void RMPlayer::_failCapture(const char* reason) {
    if (_captureWatchdog == nullptr) {
        return;
    }
    qInfo() << "capture failed:" << reason;
    _abandonCapture();
    emit videoCaptureFailed();
}

void RMPlayer::_abandonCapture() {
    if (_captureWatchdog != nullptr) {
        QGuiApplication::restoreOverrideCursor();
    }
    _dropCaptureTimers();
    ++_captureGeneration;
    if (_capturedFiles != nullptr) {
        for (const QString& path : *_capturedFiles) {
            QFile::remove(path);
        }
        delete _capturedFiles;
        _capturedFiles = nullptr;
    }
}

void RMPlayer::_dropCaptureTimers() {
    for (QTimer** timer : {&_captureWatchdog, &_captureReadyPoll}) {
        if (*timer != nullptr) {
            (*timer)->stop();
            (*timer)->deleteLater();
            *timer = nullptr;
        }
    }
}
