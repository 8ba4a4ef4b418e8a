#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <functional>

#include "app/rm_play_event.h"
#include "engine/av_error.h"
#include "engine/engine_types.h"
#include "recordings/rm_video_item_2ch.h"

class AVClock;
class AVPlayer;
class QAbstractButton;
class QAbstractSlider;
class QTimer;
class QWidget;
class VideoRenderer;

// Plays one recording with its two channels in step: a front player (with
// the sound) and a rear player on one shared reference clock, drawing into
// the main and the sub renderer. It loads, starts, pauses and stops both,
// sets speed, mute and volume, keeps the players on the shared clock and
// broadcasts the playback state (playEvent) and position (positionChanged).
//
// Everything runs on the GUI thread; the engine's threads reach it through
// queued signals. It never sleeps: the short delays of its sequences (before
// the rear channel starts, at stop completion) are single-shot timers.
class RMPlayerBase : public QObject {
    Q_OBJECT
public:
    // Renderer kinds as the controller counts them.
    enum RENDERER_KIND { RENDERER_NONE = 0, RENDERER_OPENGL = 1, RENDERER_WIDGET = 2 };
    // Step modes of the stepping layer.
    enum STEP_MODE {
        STEP_NONE = 0,
        STEP_FORWARD = 1,
        STEP_BACKWARD = 2,
        STEP_FRAME = 3,
        STEP_FRAME_BACK = 4
    };

    explicit RMPlayerBase(QObject* parent = nullptr);
    ~RMPlayerBase() override;

    AVPlayer* frontPlayer() const { return _front; }
    AVPlayer* rearPlayer() const { return _rear; }
    AVClock* sharedClock() const { return _clock; }
    VideoRenderer* mainRenderer() const { return _mainRenderer; }
    VideoRenderer* subRenderer() const { return _subRenderer; }
    // The widgets the panes show: the main (large) and the sub (small) one.
    QWidget* mainVideoWidget() const;
    QWidget* subVideoWidget() const;
    int rendererId() const { return _rendererId; }
    // Sets up the panes' drawing ahead of the first picture; call once the
    // window is on screen.
    void prepareRenderers();
    int rendererKind() const { return _rendererKind; }

    RMVideoItem* currentItem() const { return _currentItem.data(); }
    bool isSwapped() const { return _swapped; }
    bool isRearAsFront() const { return _rearAsFront; }
    // The front player draws in the main pane unless swapped; it plays the
    // rear file when the front file is missing or broken (rear as front),
    // so a recording's only file shows in the large pane.
    bool frontInMain() const { return !_swapped; }
    // Whether the main (true) or the sub pane shows the front camera.
    bool paneShowsFrontCamera(bool main) const { return main == frontInMain() && !_rearAsFront; }
    // The player whose pictures the main (true) or the sub pane shows.
    AVPlayer* playerInPane(bool main) const { return main == frontInMain() ? _front : _rear; }
    bool isStopped() const { return _stopped; }
    bool isPausedState() const { return _paused; }
    int stepMode() const { return _stepMode; }
    double selectedSpeed() const { return _selectedSpeed; }
    int pendingStops() const { return _pendingStops; }
    qint64 pausedPosition() const { return _pausedPosition; }

    // Starts, pauses or resumes; afterLoad is true when a load completes.
    void playOrPause(bool afterLoad);
    void updateSpeed(double speed);
    // Holds the volume at 0; for msec >= 1 it comes back after msec, else
    // at onUnMuteIfRequired().
    void muteIfRequired(int msec);
    // The controls the controller drives: the position slider (with the
    // signals sliderPressedWithKnob(bool) and mouseReleased()), the volume
    // and speed sliders and the mute button.
    void setSliderControls(QAbstractSlider* position, QAbstractSlider* volume,
                           QAbstractSlider* speed, QAbstractButton* mute);

    // The speed slider's positions.
    static double speedAt(int index);

public Q_SLOTS:
    virtual void stop();
    virtual bool isSeekTimerActive() const { return false; }
    virtual void clearScreen(bool) {}
    virtual void seek(qint64, bool) {}
    virtual void stopSeekUpdateTimer() {}

    void onLoad(RMVideoItem* item);
    void onMute();
    void onSetVolume();
    void onUnMuteIfRequired();
    // The position slider's range follows the media; with a position, its
    // value too.
    void updateSlider();
    void updateSlider(qint64 position);
    void changeClockType();
    void onMediaChangedF(MediaStatus status);
    void onMediaChangedR(MediaStatus status);
    void onPositionChanged(qint64 position);
    void onSeekFinishedF(qint64 position);
    void onSeekFinishedR(qint64 position);
    void onStoppedF();
    void onStoppedR();
    void onFirstFrame(qreal pts);
    void onPlayerF(const AVError& error);
    void onPlayerR(const AVError& error);

Q_SIGNALS:
    void playEvent(PLAY_EVENT event, RMVideoItem* item);
    void positionChanged(qint64 current, qint64 total);

protected:
    // Every stop and every load comes through here: it clears each transient
    // flag (step mode, temporary mute, dragging) and stops each pending
    // timer, and a pending rear start of an earlier load is dropped. The
    // stepping layer adds its own.
    virtual void _toRest();
    // A step that is under way ends now: its players go to its position.
    virtual void _finishStep() {}
    // After a step crossed into this recording and it stands still there.
    virtual void _continueAcross() {}
    // Pauses (true) or resumes (false) both players and the shared clock;
    // pos is the paused position (-1: the front position).
    void _pause(bool pause, bool wait, qint64 pos);
    // Re-enables synchronisation 500 ms after the last seek has landed.
    void restart_sync_timer();
    void _dropSyncRestart();
    void _startClockTimer();
    void _killClockTimer();
    void timerEvent(QTimerEvent* event) override;
    // Points the players at the renderers for the current swap state.
    void _configureOutputs();
    // Gives each pane's zoom overview to the player now shown in that pane.
    void _attachZoomRenderers();
    bool _rearLoaded() const;
    void _setPositionSlider(qint64 value);
    qint64 _frontDuration() const;

    AVPlayer* _front = nullptr;
    AVPlayer* _rear = nullptr;
    AVClock* _clock = nullptr;
    VideoRenderer* _mainRenderer = nullptr;
    VideoRenderer* _subRenderer = nullptr;
    int _rendererId = VideoRendererId_Null;
    int _rendererKind = RENDERER_NONE;
    VideoRenderer* _mainZoomRenderer = nullptr;
    VideoRenderer* _subZoomRenderer = nullptr;
    int _clockTimerId = -1;
    bool _syncEnabled = false;
    QTimer* _syncRestartTimer = nullptr;
    qint64 _lastReportedPosition = 1;
    int _stepMode = STEP_NONE;
    bool _loadedDuringStep = false;
    bool _quietPausedSeek = false;
    qint64 _pausedPosition = 1;
    QPointer<QAbstractSlider> _positionSlider;
    QPointer<QAbstractButton> _muteButton;
    QPointer<QAbstractSlider> _volumeSlider;
    bool _stopped = false;
    bool _paused = false;
    bool _advanceAtEnd = false;
    bool _dragging = false;
    double _selectedSpeed = 1.0;
    bool _temporarilyMuted = false;
    QTimer* _unmuteTimer = nullptr;  // ends a timed temporary mute
    // The list owns the recording and may free it at any reload.
    QPointer<RMVideoItem> _currentItem;
    bool _swapped = false;
    bool _rearAsFront = false;
    int _pendingStops = 0;
    // A step ran past the edge of the previous recording into this one: it
    // starts still at its end (STEP_BACKWARD) or its start (STEP_FORWARD).
    QPointer<RMVideoItem> _acrossItem;
    int _acrossMode = STEP_NONE;
    // Counts loads and stops; a delayed start of an older one is dropped.
    quint64 _loadGeneration = 0;
    quint64 _startAfterSensors = 0;  // the load whose start waits for its sensor data
    quint64 _prerollWaitOf = 0;      // the load whose start waits for the first pictures
    QElapsedTimer _prerollWait;      // since that wait began

private:
    void _createPlayers();
    void _createRenderers();
    void _connectPlayers();
    void _startPlayback();
    void _startRear();
    void _completeStop();
    void _applyVolume();
    static QList<VideoRendererId> _rendererCandidates();
    void _onFrontInvalid();
    void _onFrontUnplayable(RMVideoItem* item);
    void _onRearInvalid();
    // Starts both channels and announces PE_STARTED, once the sensor data of
    // `item` has been read.
    void _start(RMVideoItem* item);
    // True when the start is put off until the players have their first
    // pictures (it comes back to _start), false when it may go on.
    bool _waitForPreroll();
    void _onSensorsRead();
    // Tries the repair of `path` once per recording, off the GUI thread, then
    // calls `then` with the current recording unless a stop or load came.
    void _repairThen(RMVideoItem* item, const QString& path,
                     std::function<void(RMVideoItem*, bool)> then);
    void _removeUnplayable(RMVideoItem* item);

    quint64 _stopGeneration = 0;  // counts stops; a pending completion of an older one is dropped
};
