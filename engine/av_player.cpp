#include "engine/av_player.h"

#include <QDebug>
#include <QTimer>
#include <cmath>

#include "engine/audio_output.h"
#include "engine/audio_thread.h"
#include "engine/av_clock.h"
#include "engine/demux_thread.h"
#include "engine/media_reaper.h"
#include "engine/repaint_batch.h"
#include "engine/video_capture.h"
#include "engine/video_renderer.h"
#include "engine/video_thread.h"

namespace {

void registerTypes() {
    static const bool registered = [] {
        qRegisterMetaType<MediaStatus>("MediaStatus");
        qRegisterMetaType<AVError>("AVError");
        qRegisterMetaType<AVPlayer::State>("AVPlayer::State");
        qRegisterMetaType<VideoFrame>("VideoFrame");
        return true;
    }();
    Q_UNUSED(registered);
}

}  // namespace

AVPlayer::AVPlayer(QObject* parent) : QObject(parent), reaper_(std::make_unique<MediaReaper>()) {
    registerTypes();
    clock_ = new AVClock(AVClock::AudioClock, this);
    clock_->setClockAuto(true);
    audio_ = new AudioOutput(this);
    capture_ = new VideoCapture(this);
    capture_->setFrameSource([this] { return outputs_.displayedFrame(); });
    notifyTimer_ = new QTimer(this);
    notifyTimer_->setInterval(notifyInterval_);
    connect(notifyTimer_, &QTimer::timeout, this, &AVPlayer::onNotifyTimeout);
    connect(RepaintBatch::instance(), &RepaintBatch::repainting, this,
            &AVPlayer::onOutputsRepainting);
}

AVPlayer::~AVPlayer() {
    autoPlay_ = false;
    unload();
    // The retired threads may still read the clock and the outputs.
    reaper_.reset();
}

// ---------------------------------------------------------------- media

void AVPlayer::setFile(const QString& path) {
    if (path == file_) {
        return;
    }
    file_ = path;
    if (state_ == StoppedState) {
        unload();
        outputs_.forgetDisplayedFrame();
        if (status_ != NoMedia) {
            setStatus(NoMedia);
        }
    }
}

bool AVPlayer::isLoaded() const {
    return context_ != nullptr && loaded_;
}

bool AVPlayer::isPrerolled() const {
    return isLoaded() && prerolled_;
}

bool AVPlayer::load() {
    if (file_.isEmpty()) {
        return false;
    }
    if (context_ != nullptr && context_->path == file_ && (status_ == LoadingMedia || loaded_)) {
        return true;
    }
    if (state_ != StoppedState) {
        stopPlayback(true);
    }
    unload();
    outputs_.forgetDisplayedFrame();
    info_ = MediaInfo();
    ownDurationUs_ = durationUs_ = 0;
    mediaEndUs_ = -1;
    extensionUs_ = 0;
    videoEndSerial_ = audioEndSerial_ = -1;
    landedSeek_ = requestedSeek_;
    context_ = std::make_shared<PlaybackContext>(file_, audioStream_, [this] {
        QMetaObject::invokeMethod(this, "onEngineEvents", Qt::QueuedConnection);
    });
    context_->playerId.store(playerId_);
    demux_ = std::make_unique<DemuxThread>(context_);
    demux_->start();
    setStatus(LoadingMedia);
    return true;
}

void AVPlayer::unload() {
    if (context_ == nullptr) {
        return;
    }
    // Once aborted the threads never write to this player again; joining
    // them (a decode or a read of the card may be in progress) is left to
    // the reaper.
    context_->abort();
    audio_->close();
    RetiredMedia media;
    media.video = std::move(video_);
    media.audio = std::move(audioThread_);
    media.demux = std::move(demux_);
    media.context = std::move(context_);
    reaper_->retire(std::move(media));
    loaded_ = false;
    prerolled_ = false;
}

// ---------------------------------------------------------------- playback

void AVPlayer::play() {
    if (state_ == PausedState) {
        pause(false);
        return;
    }
    if (state_ == PlayingState) {
        return;
    }
    if (!isLoaded()) {
        autoPlay_ = true;
        if (status_ != LoadingMedia && !load()) {
            autoPlay_ = false;
        }
        return;
    }
    startPlayback();
}

void AVPlayer::startPlayback() {
    PlaybackContext& ctx = *context_;
    const bool hasVideo = video_ != nullptr;
    const bool hasAudio = ctx.audioDecoder != nullptr && audioStream_ >= 0;
    if (!hasAudio && ctx.audioEnabled.exchange(false)) {
        // Sound was read ahead but is not wanted (no stream chosen).
        ctx.audioQueue.flush(ctx.audioQueue.serial());
    }
    const bool sound = hasAudio && audio_->open(info_.audioSampleRate, info_.audioChannels);
    if (clock_->isClockAuto()) {
        clock_->setClockType(sound ? AVClock::AudioClock : AVClock::ExternalClock);
    }
    clock_->setInitialValue(double(info_.startUs) / 1e6);
    clock_->reset();
    clock_->start();

    if (hasAudio) {
        audioThread_ = std::make_unique<AudioThread>(context_, std::move(ctx.audioDecoder), clock_,
                                                     audio_, hasVideo);
        audioThread_->start();
    }
    ctx.setPaused(false);
    ctx.start();
    setState(PlayingState);
    setStatus(BufferedMedia);
    lastNotified_ = -1;
    notifyTimer_->start();
    emitLater([this] { emit started(); });
}

void AVPlayer::pause(bool p) {
    if (state_ == StoppedState || (p == (state_ == PausedState))) {
        return;
    }
    context_->setPaused(p);
    clock_->pause(p);
    audio_->clear();
    setState(p ? PausedState : PlayingState);
    emitLater([this, p] { emit paused(p); });
    if (!p) {
        checkEnd();
    }
}

void AVPlayer::togglePause() {
    pause(state_ != PausedState);
}

void AVPlayer::stop() {
    autoPlay_ = false;
    stopPlayback(true);
}

void AVPlayer::stopPlayback(bool userStop) {
    const bool wasPlaying = state_ != StoppedState;
    ++epoch_;
    unload();
    clock_->reset();
    notifyTimer_->stop();
    if (!(endAction_ & MediaEndAction_KeepDisplay)) {
        outputs_.blank();
    }
    if (userStop && (status_ == LoadingMedia || status_ == LoadedMedia ||
                     status_ == BufferedMedia || status_ == BufferingMedia)) {
        setStatus(NoMedia);
    }
    if (wasPlaying) {
        setState(StoppedState);
        emitLater([this] { emit stopped(); });
    }
}

void AVPlayer::seek(qint64 msecs) {
    if (state_ == StoppedState || context_ == nullptr) {
        return;
    }
    const qint64 start = relative_ ? 0 : info_.startUs / 1000;
    const qint64 last = start + qMax<qint64>(0, (durationUs_ + extensionUs_) / 1000);
    msecs = qBound(start, msecs, last);
    SeekRequest request;
    request.targetUs = (relative_ ? info_.startUs : 0) + msecs * 1000;
    request.type = seekType_;
    request.id = ++requestedSeek_;
    context_->pushSeek(request);
}

bool AVPlayer::seek_exist() const {
    return context_ != nullptr && context_->hasSeekRequest();
}

int AVPlayer::executedSeekCount() const {
    return context_ != nullptr ? context_->seeksExecuted.load() : 0;
}

int AVPlayer::decodedFrameCount() const {
    return context_ != nullptr ? context_->framesDecoded.load() : 0;
}

void AVPlayer::setSpeed(qreal speed) {
    if (!(speed > 0) || qFuzzyCompare(speed, clock_->speed())) {
        return;
    }
    clock_->setSpeed(speed);
    if (context_ != nullptr) {
        context_->notifyChange();
    }
    emitLater([this, speed] { emit speedChanged(speed); });
}

qreal AVPlayer::speed() const {
    return clock_->speed();
}

void AVPlayer::setNotifyInterval(int msec) {
    notifyInterval_ = qMax(1, msec);
    notifyTimer_->setInterval(notifyInterval_);
}

bool AVPlayer::setAudioStream(int n) {
    audioStream_ = n < 0 ? -1 : n;
    return true;
}

// ---------------------------------------------------------------- times

qint64 AVPlayer::toPosition(double seconds) const {
    const double offset = relative_ ? double(info_.startUs) / 1e6 : 0;
    return std::llround((seconds - offset) * 1000);
}

qint64 AVPlayer::duration() const {
    return durationUs_ / 1000;
}

qint64 AVPlayer::mediaStartPosition() const {
    return relative_ ? 0 : info_.startUs / 1000;
}

qint64 AVPlayer::mediaStopPosition() const {
    const qint64 end = mediaEndUs_ >= 0 ? mediaEndUs_ / 1000 : durationUs_ / 1000;
    return mediaStartPosition() + end;
}

qint64 AVPlayer::position() const {
    if (!isLoaded()) {
        return 0;
    }
    const qint64 pos = toPosition(clock_->value());
    const qint64 last = mediaStopPosition() + extensionUs_ / 1000;
    return qBound(mediaStartPosition(), pos, last);
}

void AVPlayer::onNotifyTimeout() {
    // While pictures come, the report waits for the next repaint of them
    // (at most a frame interval), so that what it moves is painted with
    // them in one paint of the window instead of in one more of its own.
    constexpr qint64 kPicturesComeMs = 70;
    if (state_ == PlayingState && sinceRepaint_.isValid() &&
        sinceRepaint_.elapsed() < kPicturesComeMs) {
        reportAtRepaint_ = true;
        return;
    }
    onNotifyTimer();
}

void AVPlayer::onOutputsRepainting() {
    sinceRepaint_.start();
    if (reportAtRepaint_) {
        reportAtRepaint_ = false;
        onNotifyTimer();
    }
}

void AVPlayer::onNotifyTimer() {
    reportAtRepaint_ = false;
    const qint64 pos = position();
    if (pos != lastNotified_) {
        lastNotified_ = pos;
        emit positionChanged(pos);
    }
}

// ---------------------------------------------------------------- dual channel

void AVPlayer::setPlayerID(int id) {
    playerId_ = id;
    if (context_ != nullptr) {
        context_->playerId.store(id);
    }
}

void AVPlayer::setFixedDuration(quint64 msecs) {
    if (!isLoaded()) {
        pendingFixedMs_ = qint64(msecs);
        return;
    }
    pendingFixedMs_ = -1;
    applyFixedDuration(msecs);
}

void AVPlayer::applyFixedDuration(quint64 msecs) {
    const qint64 own = ownDurationUs_;
    const qint64 fixed = qint64(msecs) * 1000;
    extensionUs_ = 0;
    durationUs_ = own;
    mediaEndUs_ = own;
    qint64 cutUs = INT64_MAX;
    if (playerId_ == 1) {
        if (fixed > own) {
            extensionUs_ = fixed - own;
        } else if (fixed < own) {
            durationUs_ = fixed;
            mediaEndUs_ = fixed;
            cutUs = info_.startUs + fixed;
        }
    }
    mediaEndUs_ = mediaEndUs_ / 1000 * 1000;
    if (context_ != nullptr) {
        context_->extensionUs.store(extensionUs_);
        context_->endUs.store(cutUs);
    }
}

void AVPlayer::setSkipCount(int count) {
    VideoThread::setSkipCount(count);
}

int AVPlayer::skipCount() {
    return VideoThread::skipCount();
}

VideoFrame AVPlayer::displyedFrame() const {
    return outputs_.displayedFrame();
}

void AVPlayer::onFirstFrameNotify(double pts) {
    emit firstFrameNotify(pts);
}

// ---------------------------------------------------------------- outputs

void AVPlayer::setRenderer(VideoRenderer* renderer, bool copyRatio) {
    VideoRenderer* previous = this->renderer();
    if (renderer != nullptr && previous != nullptr && previous != renderer) {
        const VideoRenderer::OutAspectRatioMode mode = previous->outAspectRatioMode();
        if (mode == VideoRenderer::CustomAspectRation && copyRatio) {
            renderer->setOutAspectRatio(previous->outAspectRatio());
        } else {
            renderer->setOutAspectRatioMode(mode);
        }
    }
    outputs_.clear();
    outputs_.add(renderer);
}

VideoRenderer* AVPlayer::renderer() const {
    const QList<VideoRenderer*> outputs = outputs_.outputs();
    return outputs.isEmpty() ? nullptr : outputs.first();
}

void AVPlayer::addVideoRenderer(VideoRenderer* renderer) {
    outputs_.add(renderer);
}

void AVPlayer::removeVideoRenderer(VideoRenderer* renderer) {
    outputs_.remove(renderer);
}

void AVPlayer::clearVideoRenderers() {
    outputs_.clear();
}

QList<VideoRenderer*> AVPlayer::videoOutputs() const {
    return outputs_.outputs();
}

// ---------------------------------------------------------------- events

void AVPlayer::onEngineEvents() {
    if (context_ == nullptr) {
        return;
    }
    const std::shared_ptr<PlaybackContext> context = context_;
    for (const PlayerEvent& event : context->takeEvents()) {
        // A handler may stop or reload the player; what is left belongs to
        // the media that is gone.
        if (context_ != context) {
            return;
        }
        handle(event);
    }
}

void AVPlayer::handle(const PlayerEvent& event) {
    switch (event.type) {
        case PlayerEvent::Loaded: {
            // Each signal may be answered by a call that stops or reloads.
            const std::shared_ptr<PlaybackContext> context = context_;
            info_ = context->info;
            ownDurationUs_ = durationUs_ = info_.durationUs;
            loaded_ = true;
            if (context->videoDecoder != nullptr) {
                // Decodes the first pictures now; they show once playback starts.
                video_ = std::make_unique<VideoThread>(context, std::move(context->videoDecoder),
                                                       clock_, &outputs_);
                video_->start();
            } else {
                prerolled_ = true;
            }
            if (pendingFixedMs_ >= 0) {
                setFixedDuration(quint64(pendingFixedMs_));
            }
            emit durationChanged(duration());
            if (context_ == context) {
                setStatus(LoadedMedia);
            }
            if (context_ == context) {
                emit loaded();
            }
            if (context_ == context && autoPlay_ && state_ == StoppedState) {
                autoPlay_ = false;
                startPlayback();
            }
            break;
        }
        case PlayerEvent::Prerolled:
            prerolled_ = true;
            break;
        case PlayerEvent::LoadFailed:
            autoPlay_ = false;
            unload();
            emit error(event.error);
            setStatus(InvalidMedia);
            break;
        case PlayerEvent::FirstFrame:
            onFirstFrameNotify(double(toPosition(event.seconds)) / 1000.0);
            break;
        case PlayerEvent::SeekFinished: {
            // A landing of a request that a newer one replaced says nothing
            // about where the player will be.
            if (event.requestId != requestedSeek_) {
                break;
            }
            landedSeek_ = event.requestId;
            const qint64 pos = toPosition(event.seconds);
            lastNotified_ = pos;
            emit seekFinished(pos);
            if (context_ != nullptr) {
                emit positionChanged(pos);
            }
            checkEnd();
            break;
        }
        case PlayerEvent::StreamEnded:
            (event.video ? videoEndSerial_ : audioEndSerial_) = event.serial;
            checkEnd();
            break;
    }
}

void AVPlayer::checkEnd() {
    // A seek that is queued, executing or landing decides where the media
    // goes on; the end of the stream before it says nothing.
    if (state_ != PlayingState || context_ == nullptr || isSeeking()) {
        return;
    }
    const bool videoDone = video_ == nullptr || videoEndSerial_ == context_->videoQueue.serial();
    const bool audioDone =
        audioThread_ == nullptr || audioEndSerial_ == context_->audioQueue.serial();
    if (!videoDone || !audioDone) {
        return;
    }
    setStatus(EndOfMedia);
    if (state_ != StoppedState && status_ == EndOfMedia) {
        stopPlayback(false);
    }
}

void AVPlayer::setStatus(MediaStatus status) {
    if (status_ == status) {
        return;
    }
    status_ = status;
    emit mediaStatusChanged(status);
}

void AVPlayer::setState(State state) {
    if (state_ == state) {
        return;
    }
    state_ = state;
    emitLater([this, state] { emit stateChanged(state); });
}

void AVPlayer::emitLater(std::function<void()> emitter) {
    // Signals about a playback that has been stopped since are dropped.
    const quint64 epoch = epoch_;
    QMetaObject::invokeMethod(
        this,
        [this, epoch, emitter = std::move(emitter)] {
            if (epoch == epoch_) {
                emitter();
            }
        },
        Qt::QueuedConnection);
}
