#include "core/rm_player.h"

#include <QAbstractSlider>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTimer>
#include <QtDebug>

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
// A frame step: one frame at 30 frames per second, rounded up.
constexpr qint64 kFrameStepMs = 34;
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
    connect(keys, SIGNAL(releasedF1()), this, SLOT(onSeekStepEnd()));
    connect(keys, SIGNAL(releasedB1()), this, SLOT(onSeekStepEnd()));
    connect(keys, SIGNAL(releasedFF()), this, SLOT(onSeekStepEnd()));
    connect(_front->videoCapture(), SIGNAL(failed()), this, SLOT(onCaptureFailed()));
    connect(_front, &AVPlayer::seekFinished, this, [this] { _onDragSeekLanded(); });
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

void RMPlayer::stop() {
    _dragTarget = -1;
    stopSeekUpdateTimer();
    _abandonCapture();
    RMPlayerBase::stop();
}

void RMPlayer::onUserStop() {
    _stepMode = STEP_NONE;
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

void RMPlayer::updatePausedScreenFrontOnly() {
    _updatePausedScreen(_front);
}

void RMPlayer::updatePausedScreenRearOnly() {
    _updatePausedScreen(_rear);
}

void RMPlayer::_updatePausedScreen(AVPlayer* player) {
    _pausedPosition = qMax<qint64>(_pausedPosition, 1);
    if (player->isPaused() && player->isLoaded()) {
        _quietPausedSeek = true;
        player->seek(_pausedPosition);
    }
}

// ---------------------------------------------------------------- slider

void RMPlayer::onSliderPress(bool) {
    auto* slider = qobject_cast<QAbstractSlider*>(sender());
    if (slider == nullptr) {
        return;
    }
    _stepMode = STEP_NONE;
    _dragging = true;
    if (_front->state() == AVPlayer::PlayingState) {
        _pausedBySlider = true;
        _pause(true, true, -1);
    }
    onSliderMove(slider->value());
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

void RMPlayer::_startStep(int mode) {
    _stepMode = mode;
    _loadedDuringStep = false;
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

qint64 RMPlayer::_nextStepPosition() {
    const qint64 value = _positionSlider ? _positionSlider->value() : 0;
    const qint64 duration = _frontDuration();
    qint64 target = 0;
    if (_stepMode == STEP_FRAME) {
        target = value + kFrameStepMs < duration ? value + kFrameStepMs : duration;
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
    if (_loadedDuringStep) {
        return;
    }
    if (_stepRepeatTimer != nullptr) {
        _stepRepeatTimer->setInterval(kRepeatMs);
    }
    const qint64 value = _positionSlider ? _positionSlider->value() : 0;
    const qint64 duration = _frontDuration();
    qint64 target = _nextStepPosition();
    const qint64 remaining = duration - value;
    RMVideoFileList* list = RMVideoFileList::instance();
    if (_stepMode != STEP_BACKWARD &&
        (_stepMode == STEP_FRAME ? remaining <= 0 : remaining < kNearEndMs)) {
        stopSeekUpdateTimer();
        if (list->isNextPlayItemExist(true)) {
            _advanceAtEnd = true;
            list->onPlayNextVideo(-1);
        }
        return;
    }
    if (target < 0 && _stepMode == STEP_BACKWARD) {
        stopSeekUpdateTimer();
        if (list->isNextPlayItemExist(false)) {
            _advanceAtEnd = true;
            list->onPlayPreviousVideo(-1);
        }
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

void RMPlayer::onSeekUpdate() {
    if (!_loadedDuringStep && _positionSlider) {
        seek(_positionSlider->value(), false);
    }
}

void RMPlayer::onSeekStepEnd() {
    stopSeekUpdateTimer();
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
    emit cancelFullScreen();
    _dropCaptureTimers();
    ++_captureGeneration;
    _captureWatchdog = new QTimer(this);
    _captureWatchdog->setSingleShot(true);
    connect(_captureWatchdog, SIGNAL(timeout()), this, SLOT(onFailToCapture()));
    _captureWatchdog->start(kCaptureWatchdogMs);
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    if (wasPaused) {
        _scheduleCaptureProcess();
        return true;
    }
    _captureReadyPoll = new QTimer(this);
    connect(_captureReadyPoll, SIGNAL(timeout()), this, SLOT(onReadyForCapture()));
    _captureReadyPoll->start(kCaptureReadyPollMs);
    return true;
}

void RMPlayer::onReadyForCapture() {
    const bool rearReady = !_rearLoaded() || _rear->isPaused();
    if (!_front->isPaused() || !rearReady || _captureReadyPoll == nullptr) {
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
        const QString title = item != nullptr ? item->titleCapture(_front->position()) : QString();
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
