#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <memory>

#include "engine/av_error.h"
#include "engine/engine_types.h"
#include "engine/output_set.h"
#include "engine/playback_context.h"
#include "engine/video_frame.h"

class AVClock;
class AudioOutput;
class AudioThread;
class DemuxThread;
class MediaReaper;
class QTimer;
class VideoCapture;
class VideoRenderer;
class VideoThread;

// Plays one media file: loads it asynchronously, plays, pauses, seeks and
// stops, and hands the pictures to its video outputs and the sound to its
// audio output in step with its master clock.
//
// Threads: the player lives on the GUI thread and is used only from there.
// Each load starts a demux thread (open, then read); play adds a video thread
// and, when there is sound, an audio thread. They report through a mailbox that
// the player drains on the GUI thread, so every signal is emitted on the GUI
// thread. play(), pause() and stop() change state() before they return; the
// matching signals (started, paused, stopped, stateChanged) arrive later
// through the event loop, and those of a playback stopped in the meantime are
// dropped. mediaStatusChanged is emitted as the status changes. stop() aborts
// the threads, also in the middle of a load or a seek, and leaves their
// joining to another thread: it never waits for a decode or a read in
// progress. The destructor waits for all of them.
//
// Times are milliseconds. With relative time mode (the default) they count
// from the start of the media; without it they are the media's own
// timestamps.
class AVPlayer : public QObject {
    Q_OBJECT
public:
    enum State { StoppedState, PlayingState, PausedState };
    Q_ENUM(State)

    explicit AVPlayer(QObject* parent = nullptr);
    ~AVPlayer() override;

    // The file to play; a different file takes effect at the next load().
    void setFile(const QString& path);
    QString file() const { return file_; }
    // The media has been opened (and not stopped since).
    bool isLoaded() const;
    // Loaded, and the first picture is decoded (or the media has no video, or
    // its video stream ended without one): playback started now shows its
    // pictures on time.
    bool isPrerolled() const;
    MediaStatus mediaStatus() const { return status_; }

    State state() const { return state_; }
    // Playing or paused.
    bool isPlaying() const { return state_ != StoppedState; }
    bool isPaused() const { return state_ == PausedState; }

    void setRelativeTimeMode(bool relative) { relative_ = relative; }
    bool relativeTimeMode() const { return relative_; }
    qint64 duration() const;
    // The video's nominal frames per second; 0 when unknown or not loaded.
    double frameRate() const { return info_.frameRate; }
    qint64 mediaStartPosition() const;
    // Where playback ends: the start plus the media end (see setFixedDuration).
    qint64 mediaStopPosition() const;
    // The master clock's time.
    qint64 position() const;

    void setSeekType(SeekType type) { seekType_ = type; }
    SeekType seekType() const { return seekType_; }
    // 0.5 .. 4 for this viewer; any value above 0 works.
    void setSpeed(qreal speed);
    qreal speed() const;
    void setMediaEndAction(MediaEndAction action) { endAction_ = action; }
    MediaEndAction mediaEndAction() const { return endAction_; }
    // How often positionChanged is checked while playing.
    void setNotifyInterval(int msec);
    int notifyInterval() const { return notifyInterval_; }

    AVClock* masterClock() const { return clock_; }
    AudioOutput* audio() const { return audio_; }
    // The n-th audio stream from the next playback on; n < 0: no sound.
    bool setAudioStream(int n);
    int currentAudioStream() const { return audioStream_; }

    // Replaces every output by `renderer`. The renderer takes over the out
    // aspect ratio mode of the previous first output and, with copyRatio and a
    // custom ratio, the ratio too.
    void setRenderer(VideoRenderer* renderer, bool copyRatio = false);
    VideoRenderer* renderer() const;
    void addVideoRenderer(VideoRenderer* renderer);
    // After it returns the player never touches the renderer again.
    void removeVideoRenderer(VideoRenderer* renderer);
    void clearVideoRenderers();
    QList<VideoRenderer*> videoOutputs() const;
    VideoCapture* videoCapture() const { return capture_; }

    // 0 front (master), 1 rear. Only 0 sends firstFrameNotify; only 1 runs on
    // past the end of its media (setFixedDuration).
    void setPlayerID(int id);
    int playerID() const { return playerId_; }
    // Aligns the end with the front player's duration `msecs`: a rear player
    // whose media is shorter runs on for the difference (endExtension) keeping
    // its last picture, one whose media is longer is cut there. On any other
    // player it only resets the end to the media's own. Before the media is
    // loaded the value is kept and applied once its duration is known.
    void setFixedDuration(quint64 msecs);
    // Seconds the player runs on after its media ends.
    qreal endExtension() const { return double(extensionUs_) / 1e6; }
    // A seek request is queued that the demux thread has not taken up yet.
    bool seek_exist() const;
    // A seek was requested whose landing has not been reported yet.
    bool isSeeking() const { return landedSeek_ != requestedSeek_; }
    // Seeks executed since the load (requests that piled up count once).
    int executedSeekCount() const;
    // Pictures decoded since the load, including the first one, which is
    // decoded as soon as the media has loaded (a statistic).
    int decodedFrameCount() const;
    // The process-wide skip count (see VideoThread); acts on every player.
    void setSkipCount(int count);
    static int skipCount();
    // A copy of the frame displayed last; invalid before the first picture of
    // the current media.
    VideoFrame displyedFrame() const;

public slots:
    // Opens the file on the demux thread: LoadingMedia, then LoadedMedia or
    // InvalidMedia with error(). True when loading started or was done.
    bool load();
    // Starts playback; loads first when needed. Resumes when paused.
    void play();
    void pause(bool p = true);
    void togglePause();
    void stop();
    // Only the landing of the newest request is reported (seekFinished and
    // positionChanged); a rear player may seek into its end extension, where
    // it shows its last picture and its clock runs on from the target.
    void seek(qint64 msecs);
    void setPosition(qint64 msecs) { seek(msecs); }
    // Relays the video thread's first picture of a run.
    void onFirstFrameNotify(double pts);

signals:
    void loaded();
    void mediaStatusChanged(MediaStatus status);
    void stateChanged(AVPlayer::State state);
    void started();
    void stopped();
    void paused(bool p);
    void durationChanged(qint64 duration);
    void positionChanged(qint64 position);
    // After a seek, with the timestamp of the picture it landed on.
    void seekFinished(qint64 position);
    void speedChanged(qreal speed);
    void error(const AVError& e);
    // Player 0 only: the first picture after playback started, in seconds.
    void firstFrameNotify(qreal pts);

private slots:
    void onEngineEvents();
    void onNotifyTimer();
    void onNotifyTimeout();
    // Video outputs are about to be repainted: a position report that waits
    // for it goes out now.
    void onOutputsRepainting();

private:
    void handle(const PlayerEvent& event);
    void startPlayback();
    // Aborts every thread of the current media and hands them to the reaper.
    void unload();
    // Stops playback; keeps the media status unless it says loading or loaded.
    void stopPlayback(bool userStop);
    void setStatus(MediaStatus status);
    void setState(State state);
    void checkEnd();
    void applyFixedDuration(quint64 msecs);
    qint64 toPosition(double seconds) const;
    // Posts a call that emits later on the GUI thread.
    void emitLater(std::function<void()> emitter);

    // Every field belongs to the GUI thread. The engine threads share only
    // context_ (its own locks and atomics), outputs_ (its lock) and clock_
    // (its lock), and they are joined before context_ is dropped.
    QString file_;
    MediaStatus status_ = NoMedia;
    State state_ = StoppedState;
    bool relative_ = true;
    SeekType seekType_ = AccurateSeek;
    MediaEndAction endAction_ = MediaEndAction_Default;
    int notifyInterval_ = 100;
    int audioStream_ = 0;
    int playerId_ = 0;
    bool autoPlay_ = false;
    quint64 epoch_ = 0;  // counts stops; see emitLater()

    // Joins the threads of media let go of; the destructor destroys it first.
    std::unique_ptr<MediaReaper> reaper_;
    // The current media: its context and threads.
    std::shared_ptr<PlaybackContext> context_;
    std::unique_ptr<DemuxThread> demux_;
    std::unique_ptr<VideoThread> video_;
    std::unique_ptr<AudioThread> audioThread_;
    MediaInfo info_;
    bool loaded_ = false;
    bool prerolled_ = false;  // the first picture is decoded (or there is no video)
    int videoEndSerial_ = -1;
    int audioEndSerial_ = -1;
    qint64 ownDurationUs_ = 0;  // the media's own duration
    qint64 durationUs_ = 0;     // cut by setFixedDuration on a longer rear file
    qint64 mediaEndUs_ = -1;    // the end setFixedDuration set, -1: the duration
    qint64 extensionUs_ = 0;
    qint64 lastNotified_ = -1;
    qint64 pendingFixedMs_ = -1;  // setFixedDuration before the load, -1: none
    quint64 requestedSeek_ = 0;   // the newest seek request's number
    quint64 landedSeek_ = 0;      // the newest request whose landing was reported

    AVClock* clock_ = nullptr;
    AudioOutput* audio_ = nullptr;
    VideoCapture* capture_ = nullptr;
    QTimer* notifyTimer_ = nullptr;
    QElapsedTimer sinceRepaint_;    // since video outputs were last repainted
    bool reportAtRepaint_ = false;  // the position report waits for the next repaint
    OutputSet outputs_;
};

Q_DECLARE_METATYPE(AVPlayer::State)
