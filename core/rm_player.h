#pragma once

#include "core/rm_player_zoom.h"

class QAbstractSlider;
class QTimer;

// The dual-channel player controller, one per process. On top of loading
// and playing it moves both channels together: seeking with the position
// slider, stepping by one second or one frame with auto-repeat (into the
// neighbouring recordings past either end), and swapping the channels
// between the large and the small pane.
class RMPlayer : public RMPlayerZoom {
    Q_OBJECT
public:
    static RMPlayer* instance();
    // For tests; the application uses instance().
    explicit RMPlayer(QObject* parent = nullptr);
    ~RMPlayer() override;

    // Before a modal dialog: false when nothing is loaded or the position is
    // below 1 ms; otherwise pauses, leaves full screen and returns true.
    bool prepareForCapture();
    // Pauses, then saves the pictures both channels show as JPEG files in
    // the working folder and reports them with videoCaptureDone. False when
    // a capture runs already, nothing is loaded or the position is 0.
    bool requestVideoCapture();
    // The position shown to the user, scaled to the recording's own length;
    // the captured files are named after it.
    void setCapturePosition(qint64 ms) { _capturePosition = ms; }
    qint64 capturePosition() const { return _capturePosition; }
    bool isCapturing() const { return _captureWatchdog != nullptr; }
    bool isEventsBlocked() const { return _eventsBlocked; }
    int stepMultiplier() const { return _stepMultiplier; }
    void blockEvents(int msec);
    void startSeekUpdateTimer();

public Q_SLOTS:
    bool isSeekTimerActive() const override;
    void seek(qint64 pos, bool quiet) override;
    void stopSeekUpdateTimer() override;

    void onPlayOrPause();
    void onUserStop();
    void onSpeedSliderMoved(int position);
    void onSpeedSliderReleased();
    void on_sync_timer_restarted();
    void onPlayRestart();

    void onSliderPress(bool bKnob);
    void onSliderMove(int value);
    void onSliderRelease();
    void onSeekForwardStart();
    void onSeekBackwardStart();
    void onSeekFrameForwardStart();
    void onSeekFrameBackwardStart();
    void onSeekStepEnd();
    void onSeekPressed();
    void onSeekUpdate();
    void onSeekLastUpdate();
    void toggleSwap(bool forceEmit = false);
    void onReleaseBlockEvent();

    void requestVideoCaptureProcess();
    void onReadyForCapture();
    void onFailToCapture();
    void onCaptureSavedFront(QString path);
    void onCaptureSavedRear(QString path);
    void onCaptureFailed();

Q_SIGNALS:
    // The receiver owns the list and the files in it.
    void videoCaptureDone(QList<QString>* files);
    // A capture that produced no pictures: the engine could not write one,
    // or it did not answer in time.
    void videoCaptureFailed();
    void cancelFullScreen();

protected:
    void _toRest() override;
    // Ends a drag whose release a dialog took away.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void _watchForLostMouse(QAbstractSlider* slider);
    void _startStep(int mode);
    qint64 _nextStepPosition();
    double _frameIntervalMs() const;
    // The picture `direction` pictures away from the one at `value`.
    qint64 _frameStepPosition(qint64 value, int direction) const;
    // A one-second step past the recording's edge: the neighbour plays.
    void _stepAcross(bool forward);
    void _continueAcross() override;
    void _finishStep() override;
    void _endStepWhenLanded();
    void _swapOutputs();
    // Seeks both paused players to the position the slider shows.
    void _seekPausedTo(qint64 position);
    void _onDragSeekLanded();
    // Starts taking the pictures after a short delay, unless the capture is
    // given up meanwhile.
    void _scheduleCaptureProcess();
    bool _readyForCapture() const;
    void _captureWith(AVPlayer* player, const QString& name, const char* savedSlot);
    void _finishCapture();
    void _failCapture(const char* reason);
    // Drops the timers and the pictures of a capture that will not complete.
    void _abandonCapture();
    void _dropCaptureTimers();

    bool _eventsBlocked = false;
    QTimer* _blockTimer = nullptr;
    bool _pausedBySlider = false;
    // The knob's position that waits for the seek in flight to land; -1: none.
    qint64 _dragTarget = -1;
    int _stepMultiplier = 1;
    int _stepTicks = 0;   // steps since the key went down
    int _acrossKey = -1;  // the key held when a step crossed into a neighbour
    QTimer* _stepRepeatTimer = nullptr;
    QTimer* _stepUpdateTimer = nullptr;
    QTimer* _lastUpdateTimer = nullptr;

    qint64 _capturePosition = 0;
    QString _captureFolder;
    // The pictures of the running capture; handed over with videoCaptureDone.
    QList<QString>* _capturedFiles = nullptr;
    QTimer* _captureWatchdog = nullptr;
    QTimer* _captureReadyPoll = nullptr;
    // Counts captures; a delayed start of an abandoned one is dropped.
    quint64 _captureGeneration = 0;
};
