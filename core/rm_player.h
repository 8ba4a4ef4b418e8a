#pragma once

#include "core/rm_player_zoom.h"

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
    bool isEventsBlocked() const { return _eventsBlocked; }
    int stepMultiplier() const { return _stepMultiplier; }
    void blockEvents(int msec);
    void startSeekUpdateTimer();

public Q_SLOTS:
    void stop() override;
    bool isSeekTimerActive() const override;
    void seek(qint64 pos, bool quiet) override;
    void stopSeekUpdateTimer() override;
    void updatePausedScreenRearOnly() override;
    void updatePausedScreenFrontOnly() override;

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
    void onSeekStepEnd();
    void onSeekPressed();
    void onSeekUpdate();
    void onSeekLastUpdate();
    void toggleSwap(bool forceEmit = false);
    void onReleaseBlockEvent();

Q_SIGNALS:
    void videoCaptureDone(QList<QString>* files);
    void cancelFullScreen();

private:
    void _startStep(int mode);
    qint64 _nextStepPosition();
    void _swapOutputs();
    void _updatePausedScreen(AVPlayer* player);

    bool _eventsBlocked = false;
    QTimer* _blockTimer = nullptr;
    bool _pausedBySlider = false;
    int _stepMultiplier = 1;
    QTimer* _stepRepeatTimer = nullptr;
    QTimer* _stepUpdateTimer = nullptr;
    QTimer* _lastUpdateTimer = nullptr;
};
