#include "engine/video_thread.h"

#include <QDebug>
#include <chrono>
#include <cmath>

#include "engine/av_clock.h"
#include "engine/output_set.h"
#include "engine/thread_name.h"
#include "engine/video_frame.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace {

// Catch-up thresholds, in frame intervals of media time behind the clock.
constexpr double kNonRefBehind = 4;
constexpr double kKeyOnlyBehind = 10;
// Above normal speed a thread further behind than kKeyOnlyBehind gives up
// when it falls kFurtherBehind more behind (it is slower than the clock), or
// when it has not caught up within kGiveUpAfter.
constexpr double kFurtherBehind = 5;
constexpr auto kGiveUpAfter = std::chrono::milliseconds(500);
enum CatchUp { kDecodeAll = 0, kSkipNonRef = 1, kKeyOnly = 2 };

// Speeds in thousandths; up to this one no speed is given up on.
constexpr int kNormalSpeed = 1010;

}  // namespace

std::atomic<int> VideoThread::skipCount_{0};
std::atomic<int> VideoThread::keyOnlySpeed_{0};

bool VideoThread::keyFramesOnly(int speed) {
    int since = keyOnlySpeed_.load();
    if (since == 0) {
        return false;
    }
    if (speed < since) {
        // Slower than where decoding fell behind: every picture again.
        keyOnlySpeed_.compare_exchange_strong(since, 0);
        return false;
    }
    return true;
}

void VideoThread::setSkipCount(int count) {
    skipCount_.store(count > 0 ? count : 0);
}

int VideoThread::skipCount() {
    return skipCount_.load();
}

VideoThread::VideoThread(std::shared_ptr<PlaybackContext> context, std::unique_ptr<Decoder> decoder,
                         AVClock* clock, OutputSet* outputs)
    : context_(std::move(context)),
      decoder_(std::move(decoder)),
      clock_(clock),
      outputs_(outputs) {}

VideoThread::~VideoThread() {
    join();
}

void VideoThread::start() {
    thread_ = std::thread([this] { run(); });
    presenter_ = std::thread([this] { presentLoop(); });
}

void VideoThread::join() {
    for (std::thread* thread : {&thread_, &presenter_}) {
        if (thread->joinable()) {
            thread->join();
        }
    }
}

double VideoThread::frameDuration() const {
    const double rate = context_->info.frameRate;
    return rate > 0 ? 1.0 / rate : 1.0 / 30;
}

void VideoThread::run() {
    nameThisThread("orvin-video");
    keyOnlySpeed_.store(0);  // a new playback tries every picture first
    frame_ = av_frame_alloc();
    seekCandidate_ = av_frame_alloc();
    if (frame_ != nullptr && seekCandidate_ != nullptr) {
        QueuedPacket queued;
        while (context_->videoQueue.get(&queued)) {
            if (queued.serial != serial_) {
                newSerial(queued.serial);
            }
            catchUp(queued.packet);
            chooseLoopFilter(queued.packet);
            bool go = decode(queued.packet);
            if (go && queued.packet == nullptr) {
                go = finishDecoding();
            }
            av_packet_free(&queued.packet);
            if (!go) {
                break;
            }
        }
    }
    av_frame_free(&frame_);
    av_frame_free(&seekCandidate_);
    frames_.abort();  // the presenting side ends too
}

void VideoThread::newSerial(int serial) {
    decoder_->flush();
    serial_ = serial;
    const SeekTarget target = context_->seekTarget();
    seek_ = target.serial == serial ? target : SeekTarget();
    av_frame_unref(seekCandidate_);
    hasCandidate_ = false;
    lastDecodedPts_ = -1;
    farBehind_ = false;
    setCatchUp(kDecodeAll);
}

void VideoThread::setCatchUp(int mode) {
    if (mode == catchUp_) {
        return;
    }
    catchUp_ = mode;
    static const AVDiscard discard[] = {AVDISCARD_DEFAULT, AVDISCARD_NONREF, AVDISCARD_NONKEY};
    decoder_->context()->skip_frame = discard[mode];
}

void VideoThread::catchUp(const AVPacket* packet) {
    // Before playback starts, and until the presenting side has moved the
    // clock to a seek's landing, the clock says nothing about this media.
    if (seek_.active || landingSerial_.load() == serial_ || packet == nullptr ||
        !context_->isStarted()) {
        setCatchUp(kDecodeAll);
        return;
    }
    const double interval = frameDuration();
    const bool key = (packet->flags & AV_PKT_FLAG_KEY) != 0;
    double pts = lastDecodedPts_;
    if (catchUp_ == kKeyOnly) {
        // Nothing is decoded between key frames: judge by the key packet.
        if (!key || packet->pts == AV_NOPTS_VALUE) {
            return;
        }
        pts = double(packet->pts) * context_->info.videoTimeBase;
    }
    if (pts < 0) {
        return;
    }
    const double behind = (clock_->value() - pts) / interval;
    const int speed = int(std::lround(clock_->speed() * 1000));
    const bool keyOnly = keyFramesOnly(speed);
    if (catchUp_ == kKeyOnly) {
        if (behind <= kNonRefBehind && !keyOnly) {
            // Judge the next packets from this key frame on, not from the
            // last picture decoded before the skipping (the decoder may
            // hand the key frame out a few packets later).
            lastDecodedPts_ = pts;
            setCatchUp(kDecodeAll);
        }
    } else if (speed > kNormalSpeed) {
        if (cannotCatchUp(behind)) {
            // Faster than normal, a thread that cannot get close gives up.
            keyOnlySpeed_.store(speed);
            setCatchUp(kKeyOnly);
        } else if (keyOnly) {
            setCatchUp(kKeyOnly);
        } else {
            // A short hold-up (a busy moment of the machine) is caught up
            // by decoding on, which is faster than the clock here.
            setCatchUp(kDecodeAll);
        }
    } else if (keyOnly || behind > kKeyOnlyBehind) {
        setCatchUp(kKeyOnly);
    } else if (behind > kNonRefBehind) {
        setCatchUp(kSkipNonRef);
    } else if (behind < 1) {
        setCatchUp(kDecodeAll);
    }
}

bool VideoThread::cannotCatchUp(double behind) {
    if (behind <= kKeyOnlyBehind) {
        farBehind_ = false;
        return false;
    }
    const auto now = std::chrono::steady_clock::now();
    if (!farBehind_) {
        farBehind_ = true;
        farBehindSince_ = now;
        farBehindBy_ = behind;
    }
    return behind > farBehindBy_ + kFurtherBehind || now - farBehindSince_ > kGiveUpAfter;
}

void VideoThread::chooseLoopFilter(const AVPacket* packet) {
    // Pictures that may be looked at for a while (a seek's landing, anything
    // while paused or before the start) and every picture at normal speed
    // keep the filter.
    const bool skip = packet != nullptr && !seek_.active && context_->isStarted() &&
                      !clock_->isPaused() &&
                      int(std::lround(clock_->speed() * 1000)) > kNormalSpeed;
    if (skip != skipLoopFilter_) {
        skipLoopFilter_ = skip;
        decoder_->context()->skip_loop_filter = skip ? AVDISCARD_ALL : AVDISCARD_DEFAULT;
    }
}

bool VideoThread::decode(const AVPacket* packet) {
    int ret = decoder_->send(packet);
    if (ret < 0 && ret != AVERROR_EOF) {
        // A damaged packet: skip it and go on with the next one.
        qInfo() << "VideoThread::decode" << __LINE__ << context_->path
                << AVError(AVError::DecodeError, ret).ffmpegErrorString();
    }
    for (;;) {
        ret = decoder_->receive(frame_);
        if (ret < 0) {
            if (ret != AVERROR(EAGAIN) && ret != AVERROR_EOF) {
                qInfo() << "VideoThread::decode" << __LINE__ << context_->path
                        << AVError(AVError::DecodeError, ret).ffmpegErrorString();
            }
            return true;
        }
        context_->framesDecoded.fetch_add(1, std::memory_order_relaxed);
        const bool go = handleFrame(frame_);
        av_frame_unref(frame_);
        if (!go) {
            return false;
        }
        if (context_->videoQueue.serial() != serial_) {
            return true;  // a seek came in: the rest of these frames is stale
        }
    }
}

bool VideoThread::handleFrame(AVFrame* frame) {
    const PlaybackContext& ctx = *context_;
    int64_t ts = frame->best_effort_timestamp;
    if (ts == AV_NOPTS_VALUE) {
        ts = frame->pts;
    }
    const double pts = ts != AV_NOPTS_VALUE   ? double(ts) * ctx.info.videoTimeBase
                       : lastDecodedPts_ >= 0 ? lastDecodedPts_ + frameDuration()
                                              : double(ctx.info.startUs) / 1e6;
    lastDecodedPts_ = pts;
    const int64_t end = ctx.endUs.load();
    if (end != INT64_MAX && std::llround(pts * 1e6) >= end) {
        return true;  // beyond the cut end of the media
    }

    if (seek_.active) {
        const double target = double(seek_.targetUs) / 1e6;
        if (seek_.type != KeyFrameSeek && pts < target - frameDuration() / 2) {
            av_frame_unref(seekCandidate_);
            av_frame_move_ref(seekCandidate_, frame);
            hasCandidate_ = true;
            candidatePts_ = pts;
            return true;
        }
        return queueLanding(frame, pts, pts);
    }

    QueuedFrame item;
    item.pts = pts;
    item.serial = serial_;
    return queue(item, frame);
}

bool VideoThread::queue(QueuedFrame item, AVFrame* frame) {
    if (frame != nullptr) {
        item.frame = av_frame_alloc();
        if (item.frame == nullptr) {
            return true;  // out of memory: this picture is not shown
        }
        av_frame_move_ref(item.frame, frame);
    }
    // While paused one picture after the one shown is enough: a step or a
    // seek would throw the others away, and decoding them would slow down
    // the other player's seek.
    const int capacity = context_->isPaused() ? 1 : kQueuedPictures;
    if (!frames_.push(&item, capacity)) {
        av_frame_free(&item.frame);
        return false;
    }
    if (!prerolled_) {
        prerolled_ = true;
        PlayerEvent event;
        event.type = PlayerEvent::Prerolled;
        context_->post(event);
    }
    return true;
}

bool VideoThread::finishDecoding() {
    if (seek_.active) {
        // The target lies beyond the last picture: that picture stays. A
        // player that runs on past its media goes on from the target itself;
        // any other lands on its last picture.
        const double target = double(seek_.targetUs) / 1e6;
        const double shown = lastShownPts_.load();
        const double last = hasCandidate_ ? candidatePts_ : shown >= 0 ? shown : target;
        const double landing = context_->extensionUs.load() > 0 ? std::max(last, target) : last;
        if (!queueLanding(hasCandidate_ ? seekCandidate_ : nullptr, candidatePts_, landing)) {
            return false;
        }
    }
    QueuedFrame item;
    item.kind = QueuedFrame::End;
    item.serial = serial_;
    item.lastDecoded = lastDecodedPts_;
    return queue(item, nullptr);
}

bool VideoThread::queueLanding(AVFrame* frame, double pts, double landing) {
    seek_.active = false;
    QueuedFrame item;
    item.kind = QueuedFrame::Landing;
    item.pts = pts;
    item.serial = serial_;
    item.requestId = seek_.requestId;
    item.landing = landing;
    landingSerial_.store(serial_);
    const bool go = queue(item, frame);
    av_frame_unref(seekCandidate_);
    hasCandidate_ = false;
    return go;
}

// ---------------------------------------------------------------- presenting

void VideoThread::presentLoop() {
    nameThisThread("orvin-present");
    QueuedFrame item;
    while (frames_.pop(&item)) {
        const bool go = handleQueued(item);
        av_frame_free(&item.frame);
        if (!go) {
            break;
        }
    }
    frames_.abort();  // the decoding side ends too
}

bool VideoThread::handleQueued(QueuedFrame& item) {
    if (context_->isAborted()) {
        return false;
    }
    if (item.serial != context_->videoQueue.serial()) {
        return true;  // a newer seek came in
    }
    switch (item.kind) {
        case QueuedFrame::Picture:
            return showWhenDue(item.frame, item.pts, item.serial);
        case QueuedFrame::Landing:
            return land(item);
        case QueuedFrame::End:
            finishStream(item);
            return true;
    }
    return true;
}

bool VideoThread::showWhenDue(AVFrame* frame, double pts, int serial) {
    const int skip = skipCount_.load(std::memory_order_relaxed);
    if (firstDecoded_) {
        frameCounter_ = skip > 0 ? (frameCounter_ + 1) % skip : 0;
    }
    firstDecoded_ = true;
    // A picture decoded before playback started waits for the start. One
    // that is late is still shown while its time lasts (until the next
    // picture is due): a picture a few milliseconds late is worth more than
    // a gap.
    const double now = clock_->value();
    const bool started = context_->isStarted();
    const bool late = started && pts < now;
    const bool overdue = started && pts + frameDuration() <= now;
    if (overdue && skip > 0 && frameCounter_ != 0) {
        return true;
    }
    if (!late) {
        switch (waitUntil(pts, serial)) {
            case StreamWait::Aborted:
                return false;
            case StreamWait::Stale:
                return true;
            case StreamWait::Due:
                break;
        }
    }
    present(frame, pts, serial);
    return true;
}

bool VideoThread::present(AVFrame* frame, double pts, int serial) {
    // The last moment to notice a seek that came in while this frame was
    // decoded or waited for its time.
    if (context_->videoQueue.serial() != serial) {
        return false;
    }
    const VideoFrame picture(frame, pts);
    if (!context_->whileAttached([&] { outputs_->deliver(picture); })) {
        return false;
    }
    lastShownPts_ = pts;
    if (!firstFrameNotified_) {
        firstFrameNotified_ = true;
        if (context_->playerId.load() == 0) {
            PlayerEvent event;
            event.type = PlayerEvent::FirstFrame;
            event.serial = serial;
            event.seconds = pts;
            context_->post(event);
        }
    }
    return true;
}

bool VideoThread::land(const QueuedFrame& item) {
    const bool go = showLanding(item);
    int serial = item.serial;
    landingSerial_.compare_exchange_strong(serial, -1);
    return go;
}

bool VideoThread::showLanding(const QueuedFrame& item) {
    PlaybackContext& ctx = *context_;
    const bool shown = item.frame == nullptr ? ctx.videoQueue.serial() == item.serial
                                             : present(item.frame, item.pts, item.serial);
    if (!shown) {
        return true;  // superseded: the newer seek reports
    }
    // The clock goes on from the picture the seek landed on.
    return ctx.finishLanding(ctx.videoQueue, item.serial, item.requestId, item.landing, true, true,
                             *clock_);
}

void VideoThread::finishStream(const QueuedFrame& item) {
    PlaybackContext& ctx = *context_;
    const int64_t extension = ctx.extensionUs.load();
    const int64_t mediaEnd = std::min(ctx.endUs.load(), ctx.info.startUs + ctx.info.durationUs);
    // The stream has played out when its last picture has had its time; a
    // player with an end extension also waits for its extended end.
    const double last = std::max(item.lastDecoded, lastShownPts_.load());
    double end = last >= 0 ? last + frameDuration() : double(ctx.info.startUs) / 1e6;
    if (extension > 0) {
        end = std::max(end, double(mediaEnd + extension) / 1e6);
    }
    if (waitUntil(end, item.serial) != StreamWait::Due) {
        return;
    }
    PlayerEvent event;
    event.type = PlayerEvent::StreamEnded;
    event.serial = item.serial;
    event.video = true;
    event.seconds = last;
    ctx.post(event);
}

StreamWait VideoThread::waitUntil(double seconds, int serial) {
    return context_->waitForClock(context_->videoQueue, serial, *clock_, seconds);
}
