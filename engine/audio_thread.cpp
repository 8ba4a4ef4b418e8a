#include "engine/audio_thread.h"

#include <QDebug>
#include <chrono>
#include <cmath>

#include "engine/audio_output.h"
#include "engine/av_clock.h"
#include "engine/thread_name.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace {

// How far ahead of the clock sound is decoded, and the most the output
// holds.
constexpr double kLead = 0.2;
// Sound may be heard this much early or late before it is held or dropped.
constexpr double kEarly = 0.02;
constexpr double kLate = 0.1;
constexpr double kCardPoll = 0.01;
// A card that holds sound and takes none for this long has stalled.
constexpr double kStallSeconds = 0.5;
// How long the thread waits for the card to answer the open request.
constexpr int kDeviceAnswerMs = 3000;

double steadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

AudioThread::AudioThread(std::shared_ptr<PlaybackContext> context, std::unique_ptr<Decoder> decoder,
                         AVClock* clock, AudioOutput* output, bool hasVideo)
    : context_(std::move(context)),
      decoder_(std::move(decoder)),
      clock_(clock),
      output_(output),
      hasVideo_(hasVideo) {}

AudioThread::~AudioThread() {
    join();
}

void AudioThread::start() {
    thread_ = std::thread([this] { run(); });
}

void AudioThread::join() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

void AudioThread::run() {
    nameThisThread("orvin-audio");
    // The GUI thread only asked for the card; its answer is awaited here, in
    // slices, so that a stop is never held up.
    for (int waited = 0; waited < kDeviceAnswerMs && !context_->isAborted(); waited += 20) {
        if (output_->waitForDevice(20)) {
            break;
        }
    }
    frame_ = av_frame_alloc();
    if (frame_ != nullptr) {
        QueuedPacket queued;
        while (context_->audioQueue.get(&queued)) {
            if (queued.serial != serial_) {
                newSerial(queued.serial);
            }
            bool go = decode(queued.packet);
            if (go && queued.packet == nullptr) {
                finishStream();
            }
            av_packet_free(&queued.packet);
            if (!go) {
                break;
            }
        }
    }
    av_frame_free(&frame_);
    swr_free(&resampler_);
}

void AudioThread::newSerial(int serial) {
    decoder_->flush();
    serial_ = serial;
    const SeekTarget target = context_->seekTarget();
    seek_ = target.serial == serial ? target : SeekTarget();
    lastPts_ = -1;
    if (output_->isOpen()) {
        context_->whileAttached([this] { output_->clear(); });
    }
}

bool AudioThread::decode(const AVPacket* packet) {
    int ret = decoder_->send(packet);
    if (ret < 0 && ret != AVERROR_EOF) {
        qInfo() << "AudioThread::decode" << __LINE__ << context_->path
                << AVError(AVError::DecodeError, ret).ffmpegErrorString();
    }
    for (;;) {
        ret = decoder_->receive(frame_);
        if (ret < 0) {
            return true;
        }
        const bool go = handleFrame(frame_);
        av_frame_unref(frame_);
        if (!go) {
            return false;
        }
        if (context_->audioQueue.serial() != serial_) {
            return true;
        }
    }
}

bool AudioThread::handleFrame(AVFrame* frame) {
    const PlaybackContext& ctx = *context_;
    const double duration =
        frame->sample_rate > 0 ? double(frame->nb_samples) / frame->sample_rate : 0;
    int64_t ts = frame->best_effort_timestamp;
    if (ts == AV_NOPTS_VALUE) {
        ts = frame->pts;
    }
    const double pts = ts != AV_NOPTS_VALUE ? double(ts) * ctx.info.audioTimeBase
                       : lastPts_ >= 0      ? lastPts_ + lastDuration_
                                            : double(ctx.info.startUs) / 1e6;
    lastPts_ = pts;
    lastDuration_ = duration;

    if (seek_.active) {
        const double target = double(seek_.targetUs) / 1e6;
        if (pts + duration <= target) {
            return true;
        }
        if (!finishSeek(std::max(pts, target))) {
            return false;
        }
    }
    const bool audible =
        !cardStalled_ && output_->isOpen() && std::abs(clock_->speed() - 1.0) < 0.01;
    switch (audible ? waitForCard(pts) : waitUntil(pts - kLead)) {
        case StreamWait::Aborted:
            return false;
        case StreamWait::Stale:
            return true;
        case StreamWait::Due:
            break;
    }
    // Sound that would be heard too late is dropped, so the sound catches up.
    if (audible && !cardStalled_ &&
        pts + duration >= clock_->value() + output_->latency() - kLate) {
        play(frame);
    }
    return true;
}

void AudioThread::play(AVFrame* frame) {
    const int rate = output_->sampleRate();
    const int channels = output_->channels();
    if (resampler_ == nullptr) {
        AVChannelLayout outLayout;
        av_channel_layout_default(&outLayout, channels);
        const int ret =
            swr_alloc_set_opts2(&resampler_, &outLayout, AV_SAMPLE_FMT_S16, rate, &frame->ch_layout,
                                AVSampleFormat(frame->format), frame->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&outLayout);
        if (ret < 0 || swr_init(resampler_) < 0) {
            qInfo() << "AudioThread::play" << __LINE__ << "no resampler";
            swr_free(&resampler_);
            return;
        }
    }
    const int outSamples = swr_get_out_samples(resampler_, frame->nb_samples);
    if (outSamples <= 0) {
        return;
    }
    converted_.resize(size_t(outSamples) * channels * 2);
    uint8_t* out[1] = {converted_.data()};
    const int done =
        swr_convert(resampler_, out, outSamples, const_cast<const uint8_t**>(frame->extended_data),
                    frame->nb_samples);
    if (done > 0) {
        context_->whileAttached([&] {
            output_->write(reinterpret_cast<const char*>(converted_.data()),
                           qint64(done) * channels * 2);
        });
    }
}

StreamWait AudioThread::waitUntil(double seconds) {
    return context_->waitForClock(context_->audioQueue, serial_, *clock_, seconds);
}

StreamWait AudioThread::waitForCard(double pts) {
    // Sound written now is heard after the output's latency; it is written
    // once that lands on its timestamp and the output holds no more than the
    // lead. While the card plays, waiting does not change clock + latency,
    // so an early frame waits for the card to run dry (silence) first. A
    // card that stops taking sound ends the wait.
    return context_->waitUntilDue(context_->audioQueue, serial_, [this, pts] {
        if (!cardAlive()) {
            return 0.0;
        }
        const double latency = output_->latency();
        const double early = pts - (clock_->value() + latency);
        return early <= kEarly && latency <= kLead ? 0.0 : kCardPoll;
    });
}

bool AudioThread::cardAlive() {
    if (cardStalled_) {
        return false;
    }
    const double now = steadySeconds();
    const uint64_t consumed = output_->consumedBytes();
    // Time spent paused or asleep between polls does not count.
    const bool resumed = lastPoll_ < 0 || now - lastPoll_ > 5 * kCardPoll;
    lastPoll_ = now;
    if (resumed || consumed != lastConsumed_ || output_->bufferedBytes() == 0) {
        lastConsumed_ = consumed;
        consumedSince_ = now;
        return true;
    }
    if (now - consumedSince_ < kStallSeconds) {
        return true;
    }
    qInfo() << "AudioThread::cardAlive" << __LINE__ << context_->path
            << "the sound card stopped taking sound; playing on silently";
    cardStalled_ = true;
    context_->whileAttached([this] { output_->clear(); });
    return false;
}

bool AudioThread::finishSeek(double landing) {
    seek_.active = false;
    return context_->finishLanding(context_->audioQueue, serial_, seek_.requestId, landing, false,
                                   !hasVideo_, *clock_);
}

void AudioThread::finishStream() {
    double end = lastPts_ >= 0 ? lastPts_ + lastDuration_ : 0;
    if (seek_.active) {
        // The sound ends before the target: it lands at its end.
        const double target = double(seek_.targetUs) / 1e6;
        end = lastPts_ >= 0 ? std::min(end, target) : target;
        if (!finishSeek(end)) {
            return;
        }
    }
    if (waitUntil(end) != StreamWait::Due) {
        return;
    }
    PlayerEvent event;
    event.type = PlayerEvent::StreamEnded;
    event.serial = serial_;
    event.video = false;
    event.seconds = end;
    context_->post(event);
}
