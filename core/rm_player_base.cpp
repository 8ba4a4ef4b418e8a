#include "core/rm_player_base.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QCoreApplication>
#include <QThreadPool>
#include <QTimer>
#include <QTimerEvent>
#include <QWidget>
#include <QtDebug>
#include <cmath>

#include "app/rm_app.h"
#include "core/rm_key_event.h"
#include "core/rm_play_process.h"
#include "engine/audio_output.h"
#include "engine/av_clock.h"
#include "engine/av_player.h"
#include "engine/video_renderer.h"
#include "engine/video_renderer_factory.h"
#include "recordings/rm_video_file_list.h"

namespace {

// Delays of the play sequences (single-shot timers, never sleeps).
constexpr int kRearStartDelayMs = 100;
constexpr int kStopCompletionMs = 20;
constexpr int kClockTimerMs = 500;
constexpr int kPrepareGapMs = 50;
constexpr int kSyncRestartMs = 500;
constexpr int kPlayMuteMs = 10;
// A start waits for the players' first pictures this long at most, polling.
constexpr int kPrerollWaitMs = 500;
constexpr int kPrerollPollMs = 5;
// Recordings shorter than this do not advance from the position report.
constexpr qint64 kShortestAdvance = 1001;

const double kSpeeds[] = {0.5, 1.0, 2.0, 4.0};

}  // namespace

RMPlayerBase::RMPlayerBase(QObject* parent) : QObject(parent) {
    _createPlayers();
    _createRenderers();
    _connectPlayers();
    _swapped = false;
    // The panes' renderers die with the window; stop feeding them first.
    connect(RMApp::instance(), &RMApp::appEvent, this, [this](RMApp::Event event) {
        if (event == RMApp::EVENT_APP_CLOSING) {
            stop();
        }
    });
}

RMPlayerBase::~RMPlayerBase() {
    _front->stop();
    _rear->stop();
    _front->clearVideoRenderers();
    _rear->clearVideoRenderers();
    for (VideoRenderer* renderer : {_mainRenderer, _subRenderer}) {
        if (renderer != nullptr &&
            (renderer->widget() == nullptr || renderer->widget()->parent() == nullptr)) {
            delete renderer;
        }
    }
}

double RMPlayerBase::speedAt(int index) {
    return index >= 0 && index < 4 ? kSpeeds[index] : -1;
}

void RMPlayerBase::prepareRenderers() {
    // One pane at a time, apart: the set-up is not short.
    if (_mainRenderer != nullptr) {
        _mainRenderer->prepare();
    }
    QTimer::singleShot(kPrepareGapMs, this, [this] {
        if (_subRenderer != nullptr) {
            _subRenderer->prepare();
        }
    });
}

QWidget* RMPlayerBase::mainVideoWidget() const {
    return _mainRenderer != nullptr ? _mainRenderer->widget() : nullptr;
}

QWidget* RMPlayerBase::subVideoWidget() const {
    return _subRenderer != nullptr ? _subRenderer->widget() : nullptr;
}

// ---------------------------------------------------------------- creation

void RMPlayerBase::_createPlayers() {
    _clock = new AVClock(AVClock::ExternalClock, this);

    _front = new AVPlayer(this);
    _front->setRelativeTimeMode(false);
    _front->masterClock()->setClockAuto(true);
    _front->masterClock()->setClockType(AVClock::ExternalClock);
    _front->setPlayerID(0);
    _front->setMediaEndAction(MediaEndAction_KeepDisplay);

    _rear = new AVPlayer(this);
    _rear->audio()->setBackends(QStringList());
    _rear->audio()->setMute(true);
    _rear->setRelativeTimeMode(false);
    _rear->masterClock()->setClockAuto(false);
    _rear->masterClock()->setClockType(AVClock::ExternalClock);
    _rear->setPlayerID(1);

    _front->setSeekType(AnyFrameSeek);
    _rear->setSeekType(AnyFrameSeek);
}

QList<VideoRendererId> RMPlayerBase::_rendererCandidates() {
    using Kind = VideoRendererFactory::OpenGLKind;
    const Kind kind = RMApp::unsupportedGPU() ? Kind::None : VideoRendererFactory::openGLKind();
    // On an OpenGL drawn by the CPU, a window holding OpenGL panes is
    // composed whole on the CPU for every picture; plain widgets redraw only
    // the panes, at a fraction of the cost.
    if (kind == Kind::Hardware || (kind == Kind::Software && RMApp::forceOpenGL())) {
        return {VideoRendererId_OpenGLWidget, VideoRendererId_Widget};
    }
    if (kind == Kind::Software) {
        return {VideoRendererId_Widget, VideoRendererId_OpenGLWidget};
    }
    return {VideoRendererId_Widget};
}

void RMPlayerBase::_createRenderers() {
    const QList<VideoRendererId> candidates = _rendererCandidates();
    for (VideoRendererId id : candidates) {
        VideoRenderer* main = VideoRendererFactory::create(id);
        if (main == nullptr || !main->isAvailable() || main->widget() == nullptr) {
            delete main;
            continue;
        }
        main->setOutAspectRatioMode(VideoRenderer::VideoAspectRatio);
        _front->setRenderer(main, true);
        VideoRenderer* sub = VideoRendererFactory::create(id);
        sub->setOutAspectRatioMode(VideoRenderer::VideoAspectRatio);
        _rear->setRenderer(sub, true);
        _mainRenderer = main;
        _subRenderer = sub;
        _rendererId = id;
        // The engine numbers its renderer ids the other way round.
        _rendererKind = id == VideoRendererId_OpenGLWidget ? RENDERER_OPENGL : RENDERER_WIDGET;
        return;
    }
    qInfo() << Q_FUNC_INFO << __LINE__ << "no video renderer works here";
}

void RMPlayerBase::_connectPlayers() {
    connect(_front, SIGNAL(started()), this, SLOT(changeClockType()));
    connect(_front, SIGNAL(started()), this, SLOT(updateSlider()));
    connect(_rear, SIGNAL(started()), this, SLOT(changeClockType()));
    connect(_front, SIGNAL(positionChanged(qint64)), this, SLOT(onPositionChanged(qint64)));
    connect(_front, SIGNAL(mediaStatusChanged(MediaStatus)), this,
            SLOT(onMediaChangedF(MediaStatus)));
    connect(_rear, SIGNAL(mediaStatusChanged(MediaStatus)), this,
            SLOT(onMediaChangedR(MediaStatus)));
    connect(_front, SIGNAL(stopped()), this, SLOT(onStoppedF()));
    connect(_rear, SIGNAL(stopped()), this, SLOT(onStoppedR()));
    connect(_front, SIGNAL(seekFinished(qint64)), this, SLOT(onSeekFinishedF(qint64)));
    connect(_rear, SIGNAL(seekFinished(qint64)), this, SLOT(onSeekFinishedR(qint64)));
    connect(_front, SIGNAL(firstFrameNotify(qreal)), this, SLOT(onFirstFrame(qreal)));
    connect(_front, SIGNAL(error(AVError)), this, SLOT(onPlayerF(AVError)));
    connect(_rear, SIGNAL(error(AVError)), this, SLOT(onPlayerR(AVError)));
}

void RMPlayerBase::setSliderControls(QAbstractSlider* position, QAbstractSlider* volume,
                                     QAbstractSlider* speed, QAbstractButton* mute) {
    _positionSlider = position;
    _volumeSlider = volume;
    _muteButton = mute;
    connect(position, SIGNAL(sliderPressedWithKnob(bool)), this, SLOT(onSliderPress(bool)));
    connect(position, SIGNAL(sliderMoved(int)), this, SLOT(onSliderMove(int)));
    connect(position, SIGNAL(mouseReleased()), this, SLOT(onSliderRelease()));
    connect(_front, SIGNAL(started()), this, SLOT(updateSlider()));
    connect(volume, SIGNAL(sliderPressed()), this, SLOT(onSetVolume()));
    connect(volume, SIGNAL(valueChanged(int)), this, SLOT(onSetVolume()));
    connect(speed, SIGNAL(mouseReleased()), this, SLOT(onSpeedSliderReleased()));
    connect(speed, SIGNAL(sliderMoved(int)), this, SLOT(onSpeedSliderMoved(int)));
    onSetVolume();
}

// ---------------------------------------------------------------- loading

void RMPlayerBase::onLoad(RMVideoItem* item) {
    if (item == nullptr) {
        return;
    }
    if (_front->isPlaying()) {
        _front->stop();
    }
    _toRest();
    // Read beside the loads; playback starts once it is done (_start).
    item->loadAVIInfoInBackground();
    _currentItem = item;
    emit playEvent(PE_LOADING, item);
    _rearAsFront = false;
    item->rearAsFront = false;
    if (!item->frontPath.isEmpty()) {
        _front->setFile(item->frontPath);
    } else if (!item->rearPath.isEmpty()) {
        _front->setFile(item->rearPath);
        item->rearAsFront = true;
        _rearAsFront = true;
    }
    _rear->setFile(!item->rearPath.isEmpty() && !_rearAsFront ? item->rearPath : QString());
    _configureOutputs();
    if (item->rearPath.isEmpty() || _rearAsFront) {
        clearScreen(false);
    }
    _front->load();
}

void RMPlayerBase::_configureOutputs() {
    playerInPane(true)->setRenderer(_mainRenderer, true);
    playerInPane(false)->setRenderer(_subRenderer, true);
    _attachZoomRenderers();
}

void RMPlayerBase::_attachZoomRenderers() {
    if (_mainZoomRenderer != nullptr) {
        playerInPane(true)->addVideoRenderer(_mainZoomRenderer);
    }
    if (_subZoomRenderer != nullptr) {
        playerInPane(false)->addVideoRenderer(_subZoomRenderer);
    }
}

bool RMPlayerBase::_rearLoaded() const {
    return !_rear->file().isEmpty() && _rear->isLoaded();
}

qint64 RMPlayerBase::_frontDuration() const {
    return _front->duration();
}

void RMPlayerBase::onMediaChangedF(MediaStatus status) {
    RMVideoItem* item = _currentItem.data();
    switch (status) {
        case LoadedMedia:
            _stopped = false;
            _advanceAtEnd = false;
            _front->setFixedDuration(quint64(_frontDuration()));
            if (_rear->file().isEmpty()) {
                _loadedDuringStep = true;
                _start(item);
            } else {
                _rear->load();
            }
            break;
        case EndOfMedia:
            _advanceAtEnd = true;
            break;
        case InvalidMedia:
            _onFrontInvalid();
            break;
        default:
            break;
    }
}

void RMPlayerBase::_onFrontInvalid() {
    RMVideoItem* item = _currentItem.data();
    if (item == nullptr) {
        return;
    }
    _repairThen(item, _front->file(), [this](RMVideoItem* item, bool repaired) {
        if (repaired) {
            _front->load();
        } else {
            _onFrontUnplayable(item);
        }
    });
}

void RMPlayerBase::_onFrontUnplayable(RMVideoItem* item) {
    if (!item->rearPath.isEmpty() && !_rearAsFront) {
        // The front file is unplayable: the rear plays alone, in front.
        item->frontPath.clear();
        item->clearSensorData();
        onLoad(item);
        emit RMVideoFileList::instance()->refreshItem();
        return;
    }
    _removeUnplayable(item);
}

void RMPlayerBase::_removeUnplayable(RMVideoItem* item) {
    // Neither file plays: the recording leaves the list and the recording
    // after it plays. The "next" of a one-item list is the removed one.
    RMVideoFileList* list = RMVideoFileList::instance();
    QPointer<RMVideoItem> next = list->nexItem(true);
    if (next == item) {
        next = nullptr;
    }
    _currentItem = nullptr;
    list->removeItem(item);
    emit list->listUpdateStarted(false);
    emit list->listUpdateEnd(false);
    RMPlayProcess::bProcessing = false;
    if (next.isNull() || !list->shownItems().contains(next.data())) {
        list->setCurrentItem(nullptr);
        stop();
        return;
    }
    list->setCurrentItem(next.data());
    // The list plays the item after the index it is given (wrapping).
    const int index = list->shownItems().indexOf(next.data());
    list->onPlayNextVideo(index > 0 ? index - 1 : list->shownItems().size() - 1);
}

void RMPlayerBase::onMediaChangedR(MediaStatus status) {
    RMVideoItem* item = _currentItem.data();
    switch (status) {
        case LoadedMedia: {
            if (item == nullptr) {
                _front->stop();
                emit playEvent(PE_STARTED, nullptr);
                return;
            }
            _advanceAtEnd = false;
            _rear->setFixedDuration(quint64(_frontDuration()));
            _loadedDuringStep = true;
            const quint64 generation = _loadGeneration;
            QTimer::singleShot(kRearStartDelayMs, this, [this, generation] {
                if (generation == _loadGeneration) {
                    _startRear();
                }
            });
            break;
        }
        case InvalidMedia:
            _onRearInvalid();
            break;
        default:
            break;
    }
}

void RMPlayerBase::_startRear() {
    RMVideoItem* item = _currentItem.data();
    if (item == nullptr) {
        // The recording went (a reload) while the rear channel was waiting.
        return;
    }
    _start(item);
}

void RMPlayerBase::_start(RMVideoItem* item) {
    // The displays take the sensor data with PE_STARTED.
    if (item != nullptr && item->isLoadingAVIInfo()) {
        _startAfterSensors = _loadGeneration;
        connect(item, &RMVideoItem::loadAVIInfoEnd, this, &RMPlayerBase::_onSensorsRead,
                Qt::UniqueConnection);
        connect(item, &RMVideoItem::loadAVIInfoFail, this, &RMPlayerBase::_onSensorsRead,
                Qt::UniqueConnection);
        return;
    }
    if (_waitForPreroll()) {
        return;
    }
    playOrPause(true);
    emit playEvent(PE_STARTED, item);
}

bool RMPlayerBase::_waitForPreroll() {
    // The shared clock starts with playback: until both players have decoded
    // their first pictures it would run ahead of them, and the first ones
    // would be shown late or dropped.
    const bool ready = _front->isPrerolled() && (!_rearLoaded() || _rear->isPrerolled());
    if (ready || (_prerollWaitOf == _loadGeneration && _prerollWait.hasExpired(kPrerollWaitMs))) {
        _prerollWaitOf = 0;
        return false;
    }
    if (_prerollWaitOf != _loadGeneration) {
        _prerollWaitOf = _loadGeneration;
        _prerollWait.start();
    }
    const quint64 generation = _loadGeneration;
    QTimer::singleShot(kPrerollPollMs, this, [this, generation] {
        if (generation == _loadGeneration && _prerollWaitOf == generation) {
            _start(_currentItem.data());
        }
    });
    return true;
}

void RMPlayerBase::_onSensorsRead() {
    RMVideoItem* item = _currentItem.data();
    if (item == nullptr || sender() != item || _startAfterSensors != _loadGeneration ||
        item->isLoadingAVIInfo()) {
        return;
    }
    _startAfterSensors = 0;
    _start(item);
}

void RMPlayerBase::_repairThen(RMVideoItem* item, const QString& path,
                               std::function<void(RMVideoItem*, bool)> then) {
    if (item->repairTried) {
        then(item, false);
        return;
    }
    // The repair reads and may write the card: it runs on a worker thread,
    // and its answer counts only while the same load is still going on.
    item->repairTried = true;
    const quint64 generation = _loadGeneration;
    QPointer<RMPlayerBase> self(this);
    QThreadPool::globalInstance()->start([self, generation, path, then] {
        const bool repaired = RMVideoItem::repairFile(path);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, generation, repaired, then] {
                if (self.isNull() || generation != self->_loadGeneration) {
                    return;
                }
                if (RMVideoItem* current = self->_currentItem.data()) {
                    then(current, repaired);
                }
            },
            Qt::QueuedConnection);
    });
}

void RMPlayerBase::_onRearInvalid() {
    RMVideoItem* item = _currentItem.data();
    if (item == nullptr) {
        return;
    }
    _repairThen(item, _rear->file(), [this](RMVideoItem* item, bool repaired) {
        if (repaired) {
            _rear->load();
            return;
        }
        _rear->setFile(QString());
        item->rearPath.clear();
        emit RMVideoFileList::instance()->refreshItem();
        clearScreen(false);
        _start(item);
    });
}

// ---------------------------------------------------------------- play and pause

void RMPlayerBase::playOrPause(bool afterLoad) {
    if (!afterLoad && !_front->isLoaded()) {
        emit playEvent(PE_NOT_LOADED, nullptr);
        return;
    }
    if (_front->isPlaying()) {
        if (isSeekTimerActive()) {
            // Play right after a step: the step ends first. While its key
            // is still held, the step goes on.
            if (RMKeyEvent::instance()->isKeyHeld()) {
                return;
            }
            _finishStep();
        }
        _stepMode = STEP_NONE;
        _paused = !_front->isPaused();
        _pause(_paused, true, -1);
    } else {
        _startPlayback();
    }
    emit playEvent(_paused ? PE_PAUSED : PE_PLAYING, _currentItem.data());
    RMKeyEvent::instance()->setEnabled(true);
}

void RMPlayerBase::_startPlayback() {
    _lastReportedPosition = 0;
    _clock->reset();
    _clock->setClockAuto(false);
    _killClockTimer();
    for (AVPlayer* player : {_front, _rear}) {
        if (player->isLoaded()) {
            player->masterClock()->updateExternalClock(*_clock);
        }
    }
    updateSpeed(_selectedSpeed);
    const bool across = _acrossMode != STEP_NONE && _acrossItem == _currentItem;
    const bool atEnd = across && _acrossMode == STEP_BACKWARD;
    _acrossItem = nullptr;
    _acrossMode = STEP_NONE;
    if (across) {
        _paused = true;
    }
    muteIfRequired(kPlayMuteMs);
    if (_positionSlider) {
        _positionSlider->setMaximum(int(_front->mediaStopPosition()));
        _positionSlider->setValue(0);
    }
    _front->play();
    _pendingStops = 1;
    if (_rearLoaded()) {
        _pendingStops = 2;
        _rear->audio()->setMute(true);
        _rear->setAudioStream(-1);
        _rear->play();
        _rear->setMediaEndAction(MediaEndAction_KeepDisplay);
    }
    if (!_paused) {
        _clock->start();
        _startClockTimer();
        _syncEnabled = true;
    }
    if (!_paused) {
        return;
    }
    // Kept paused from before, or reached by a step: the recording stands
    // still on its first picture, or on its last one when a step back came
    // from the recording after it. A paused seek shows that picture, and
    // its landing moves the slider and the time.
    _front->pause(true);
    if (_rearLoaded()) {
        _rear->pause(true);
    }
    const qint64 at = atEnd ? _frontDuration() : _front->mediaStartPosition();
    _pausedPosition = at;
    _setPositionSlider(at);
    seek(at, !across);
    if (across) {
        _continueAcross();
    }
}

void RMPlayerBase::_pause(bool pause, bool wait, qint64 pos) {
    const bool rearLoaded = _rearLoaded();
    // The engine changes a player's state before pause() returns, so one
    // pass brings both into the state opposite to the request, when asked.
    const bool frontOpposite = _front->isPaused() != pause;
    const bool rearOpposite = !rearLoaded || _rear->isPaused() != pause;
    if (!frontOpposite || !rearOpposite) {
        if (!wait) {
            return;
        }
        if (!frontOpposite) {
            _front->pause(!pause);
        }
        if (!rearOpposite) {
            _rear->pause(!pause);
        }
    }
    muteIfRequired(kPlayMuteMs);
    _paused = pause;
    _front->pause(pause);
    if (rearLoaded) {
        _rear->pause(pause);
    }
    _clock->pause(pause);
    muteIfRequired(kPlayMuteMs);
    if (!pause) {
        _pausedPosition = 1;
        if (_clockTimerId == -1) {
            _startClockTimer();
        }
        updateSpeed(_selectedSpeed);
        return;
    }
    _pausedPosition = pos >= 0 ? pos : _front->position();
    updateSpeed(1.0);
    _killClockTimer();
    seek(_pausedPosition, true);
    _setPositionSlider(_pausedPosition);
}

void RMPlayerBase::_setPositionSlider(qint64 value) {
    if (_positionSlider) {
        const bool blocked = _positionSlider->blockSignals(true);
        _positionSlider->setValue(int(value));
        _positionSlider->blockSignals(blocked);
    }
}

// ---------------------------------------------------------------- clock

void RMPlayerBase::changeClockType() {
    auto* player = qobject_cast<AVPlayer*>(sender());
    if (player != nullptr) {
        player->masterClock()->setClockAuto(false);
        player->masterClock()->setClockType(AVClock::ExternalClock);
    }
}

void RMPlayerBase::_startClockTimer() {
    _killClockTimer();
    _clockTimerId = startTimer(kClockTimerMs, Qt::CoarseTimer);
}

void RMPlayerBase::_killClockTimer() {
    if (_clockTimerId != -1) {
        killTimer(_clockTimerId);
        _clockTimerId = -1;
    }
}

void RMPlayerBase::timerEvent(QTimerEvent* event) {
    if (event->timerId() != _clockTimerId) {
        QObject::timerEvent(event);
        return;
    }
    if (_syncEnabled && _clock->isActive()) {
        _front->masterClock()->updateExternalClock(*_clock);
        _rear->masterClock()->updateExternalClock(*_clock);
    }
}

void RMPlayerBase::_dropSyncRestart() {
    delete _syncRestartTimer;
    _syncRestartTimer = nullptr;
}

void RMPlayerBase::restart_sync_timer() {
    if (_syncEnabled || _front->seek_exist() || _rear->seek_exist()) {
        return;
    }
    _dropSyncRestart();
    _syncRestartTimer = new QTimer(this);
    _syncRestartTimer->setSingleShot(true);
    connect(_syncRestartTimer, SIGNAL(timeout()), this, SLOT(on_sync_timer_restarted()));
    _syncRestartTimer->start(kSyncRestartMs);
}

void RMPlayerBase::onSeekFinishedF(qint64 position) {
    _clock->updateExternalClock(position);
    _front->masterClock()->updateExternalClock(*_clock);
    _rear->masterClock()->updateExternalClock(*_clock);
    restart_sync_timer();
}

void RMPlayerBase::onSeekFinishedR(qint64 position) {
    _clock->updateExternalClock(position);
    restart_sync_timer();
}

// ---------------------------------------------------------------- speed, sound

void RMPlayerBase::updateSpeed(double speed) {
    const double previous = _front->speed();
    _front->setSpeed(speed);
    _rear->setSpeed(speed);
    _clock->setSpeed(speed);
    _front->setSkipCount(speed < 1.01 ? 0 : 4 * int(speed));
    if (speed >= 0.99 && speed <= 1.01) {
        const bool muted = (_muteButton && _muteButton->isChecked()) || _temporarilyMuted;
        if (!muted) {
            _front->audio()->setMute(false);
            _applyVolume();
        }
        if (std::abs(previous - speed) > 0.5 && _front->isLoaded()) {
            seek(_front->position(), true);
        }
        return;
    }
    _front->audio()->setMute(true);
}

void RMPlayerBase::_applyVolume() {
    const int v = _volumeSlider ? _volumeSlider->value() : 0;
    double volume = v >= 1 ? (10 + 0.9 * v) * 0.009 : 0;
    if (volume < 0.1) {
        volume = 0;
    }
    _front->audio()->setVolume(volume);
}

void RMPlayerBase::onSetVolume() {
    // A temporary mute holds the volume at 0; its end applies the new one.
    if (_temporarilyMuted) {
        return;
    }
    _applyVolume();
    const double speed = _front->speed();
    const bool muted = _muteButton && _muteButton->isChecked();
    if (!muted && speed > 0.75 && speed < 1.5) {
        _front->audio()->setMute(false);
    }
}

void RMPlayerBase::onMute() {
    if (_muteButton && _muteButton->isChecked()) {
        _front->audio()->setMute(true);
        emit playEvent(PE_MUTED, nullptr);
        return;
    }
    const double speed = _front->speed();
    if (speed > 0.75 && speed < 1.5) {
        _front->audio()->setMute(false);
        _applyVolume();
    }
    emit playEvent(PE_UNMUTED, nullptr);
}

void RMPlayerBase::muteIfRequired(int msec) {
    if (_temporarilyMuted) {
        // A mute without end (a drag) outlasts a short one under way.
        if (msec < 1 && _unmuteTimer != nullptr) {
            _unmuteTimer->stop();
        }
        return;
    }
    _temporarilyMuted = true;
    _front->audio()->setVolume(0);
    if (msec >= 1) {
        if (_unmuteTimer == nullptr) {
            _unmuteTimer = new QTimer(this);
            _unmuteTimer->setSingleShot(true);
            connect(_unmuteTimer, SIGNAL(timeout()), this, SLOT(onUnMuteIfRequired()));
        }
        _unmuteTimer->start(msec);
    }
}

void RMPlayerBase::onUnMuteIfRequired() {
    if (_unmuteTimer != nullptr) {
        _unmuteTimer->stop();
    }
    _temporarilyMuted = false;
    // A return to normal speed during the temporary mute left the sound
    // muted; at its end the sound comes back as the controls say.
    if (_selectedSpeed > 0.99 && _selectedSpeed < 1.01 &&
        !(_muteButton && _muteButton->isChecked())) {
        if (std::abs(_front->speed() - 1.0) < 0.01) {
            _front->audio()->setMute(false);
        }
        _applyVolume();
    }
}

// ---------------------------------------------------------------- position

void RMPlayerBase::updateSlider() {
    // The range only: a backward step has already put the value at the end.
    if (_positionSlider) {
        _positionSlider->setMaximum(int(_front->mediaStopPosition()));
    }
}

void RMPlayerBase::updateSlider(qint64 position) {
    updateSlider();
    _setPositionSlider(position);
}

void RMPlayerBase::onPositionChanged(qint64 position) {
    const qint64 d = _frontDuration();
    if (position >= d && !_dragging && _stepMode == STEP_NONE && d >= kShortestAdvance &&
        !_front->isPaused()) {
        if (!_stopped && !_advanceAtEnd) {
            _advanceAtEnd = true;
            _front->stop();
            if (_rearLoaded()) {
                _rear->stop();
            }
        }
        return;
    }
    const qint64 p = qMin(position, d);
    if (p != _lastReportedPosition) {
        if (_stepMode == STEP_NONE &&
            (_front->state() == AVPlayer::PlayingState || !_quietPausedSeek)) {
            _setPositionSlider(p);
            emit positionChanged(p, d);
        }
    }
    _lastReportedPosition = p;
}

// ---------------------------------------------------------------- stop

void RMPlayerBase::onStoppedF() {
    _clock->reset();
    _killClockTimer();
    if (_pendingStops > 0) {
        --_pendingStops;
    }
    if (_pendingStops == 0) {
        _completeStop();
    }
}

void RMPlayerBase::onStoppedR() {
    if (_pendingStops >= 0 && _pendingStops-- == 1) {
        _completeStop();
    }
    _pendingStops = qMax(0, _pendingStops);
}

void RMPlayerBase::_completeStop() {
    const quint64 generation = ++_stopGeneration;
    QTimer::singleShot(kStopCompletionMs, this, [this, generation] {
        if (generation != _stopGeneration) {
            return;
        }
        RMVideoFileList* list = RMVideoFileList::instance();
        RMVideoItem* next = _advanceAtEnd ? list->nexItem(true) : nullptr;
        emit playEvent(PE_STOPPED, next);
        if (_advanceAtEnd) {
            list->onPlayNextVideo(-1);
        }
    });
}

void RMPlayerBase::_toRest() {
    ++_loadGeneration;
    _stepMode = STEP_NONE;
    _dragging = false;
    _quietPausedSeek = false;
    _syncEnabled = false;
    _dropSyncRestart();
    _killClockTimer();
    if (_temporarilyMuted) {
        onUnMuteIfRequired();
    }
}

void RMPlayerBase::stop() {
    _stopped = true;
    _toRest();
    RMKeyEvent::instance()->setEnabled(false);
    _pendingStops = 0;
    for (AVPlayer* player : {_front, _rear}) {
        if (player->isLoaded() && player->isPlaying()) {
            ++_pendingStops;
            player->removeVideoRenderer(player->renderer());
            player->stop();
        }
        player->setFile(QString());
    }
    _clock->reset();
    updateSpeed(1.0);
    _killClockTimer();
    _currentItem = nullptr;
    if (_pendingStops == 0) {
        emit playEvent(PE_STOPPED, nullptr);
    }
    RMApp::disableScreenSave(true);
}

// ---------------------------------------------------------------- reports

void RMPlayerBase::onFirstFrame(qreal) {
    emit playEvent(PE_FIRST_FRAME, _currentItem.data());
}

void RMPlayerBase::onPlayerF(const AVError& error) {
    qInfo() << "onPlayerF" << __LINE__ << error.string() << error.ffmpegErrorString();
}

void RMPlayerBase::onPlayerR(const AVError& error) {
    qInfo() << "onPlayerR" << __LINE__ << error.string() << error.ffmpegErrorString();
}
