#include "engine/demux_thread.h"

#include <QDebug>
#include <QFile>
#include <algorithm>
#include <cstring>

#include "engine/thread_name.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace {

// FFmpeg polls this during blocking calls; a stop or unload aborts them.
int interrupted(void* opaque) {
    return static_cast<const PlaybackContext*>(opaque)->isAborted() ? 1 : 0;
}

constexpr auto kIdleWait = std::chrono::milliseconds(500);
constexpr auto kFullWait = std::chrono::milliseconds(10);
// How often a seek steps back (1, 2, 4 ... s) when the container landed
// after the key frame, and how many packets it reads looking for one.
constexpr int kSeekBacksteps = 5;
constexpr int kLeadPackets = 2000;

}  // namespace

DemuxThread::DemuxThread(std::shared_ptr<PlaybackContext> context) : context_(std::move(context)) {}

DemuxThread::~DemuxThread() {
    join();
}

void DemuxThread::start() {
    thread_ = std::thread([this] { run(); });
}

void DemuxThread::join() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

void DemuxThread::run() {
    nameThisThread("orvin-demux");
    if (open()) {
        read();
    }
    av_packet_free(&packet_);
    avformat_close_input(&format_);
}

bool DemuxThread::open() {
    PlaybackContext& ctx = *context_;
    auto fail = [&](AVError::ErrorCode code, int ret) {
        qInfo() << "DemuxThread::open" << __LINE__ << ctx.path << AVError(code, ret).string()
                << AVError(code, ret).ffmpegErrorString();
        PlayerEvent event;
        event.type = PlayerEvent::LoadFailed;
        event.error = AVError(code, ret);
        ctx.post(event);
        return false;
    };

    format_ = avformat_alloc_context();
    if (format_ == nullptr) {
        return fail(AVError::OpenError, AVERROR(ENOMEM));
    }
    format_->interrupt_callback.callback = interrupted;
    format_->interrupt_callback.opaque = context_.get();
    const QByteArray path = QFile::encodeName(ctx.path);
    int ret = avformat_open_input(&format_, path.constData(), nullptr, nullptr);
    if (ret < 0) {
        return fail(AVError::OpenError, ret);
    }
    if (!headerComplete()) {
        ret = avformat_find_stream_info(format_, nullptr);
        if (ret < 0) {
            return fail(AVError::FindStreamInfoError, ret);
        }
    }

    MediaInfo info;
    info.videoStream = av_find_best_stream(format_, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (ctx.audioStreamWanted >= 0) {
        int nth = 0;
        for (unsigned i = 0; i < format_->nb_streams; ++i) {
            if (format_->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO &&
                nth++ == ctx.audioStreamWanted) {
                info.audioStream = int(i);
            }
        }
        if (info.audioStream < 0) {
            info.audioStream =
                av_find_best_stream(format_, AVMEDIA_TYPE_AUDIO, -1, info.videoStream, nullptr, 0);
        }
    }
    if (info.videoStream < 0) {
        info.videoStream = -1;
    }
    if (info.audioStream < 0) {
        info.audioStream = -1;
    }

    AVError error;
    if (info.videoStream >= 0) {
        auto decoder = std::make_unique<Decoder>();
        if (decoder->open(format_->streams[info.videoStream], Decoder::videoThreads(), &error)) {
            ctx.videoDecoder = std::move(decoder);
        } else {
            qInfo() << "DemuxThread::open" << __LINE__ << "no video decoder"
                    << error.ffmpegErrorString();
            info.videoStream = -1;
        }
    }
    if (info.audioStream >= 0) {
        auto decoder = std::make_unique<Decoder>();
        if (decoder->open(format_->streams[info.audioStream], 1, &error)) {
            ctx.audioDecoder = std::move(decoder);
        } else {
            qInfo() << "DemuxThread::open" << __LINE__ << "no audio decoder"
                    << error.ffmpegErrorString();
            info.audioStream = -1;
        }
    }
    if (info.videoStream < 0 && info.audioStream < 0) {
        return fail(error.isError() ? error.error() : AVError::StreamNotFound,
                    error.ffmpegErrorCode());
    }

    for (unsigned i = 0; i < format_->nb_streams; ++i) {
        if (int(i) != info.videoStream && int(i) != info.audioStream) {
            format_->streams[i]->discard = AVDISCARD_ALL;
        }
    }
    info.startUs = startTime(info);
    info.durationUs = format_->duration != AV_NOPTS_VALUE ? format_->duration : 0;
    if (info.videoStream >= 0) {
        AVStream* stream = format_->streams[info.videoStream];
        info.videoTimeBase = av_q2d(stream->time_base);
        const AVRational rate = av_guess_frame_rate(format_, stream, nullptr);
        info.frameRate = rate.num > 0 && rate.den > 0 ? av_q2d(rate) : 0;
        info.frameSize = QSize(stream->codecpar->width, stream->codecpar->height);
    }
    ctx.audioEnabled.store(info.audioStream >= 0);
    if (info.audioStream >= 0) {
        AVStream* stream = format_->streams[info.audioStream];
        info.audioTimeBase = av_q2d(stream->time_base);
        info.audioSampleRate = stream->codecpar->sample_rate;
        info.audioChannels = stream->codecpar->ch_layout.nb_channels;
    }
    ctx.info = info;

    PlayerEvent event;
    event.type = PlayerEvent::Loaded;
    ctx.post(event);
    return true;
}

bool DemuxThread::headerComplete() const {
    // Only the MP4 family is trusted: its header describes every sample.
    if (std::strcmp(format_->iformat->name, "mov,mp4,m4a,3gp,3g2,mj2") != 0 ||
        format_->duration == AV_NOPTS_VALUE || format_->duration <= 0) {
        return false;
    }
    for (unsigned i = 0; i < format_->nb_streams; ++i) {
        const AVStream* stream = format_->streams[i];
        const AVCodecParameters* par = stream->codecpar;
        if (par->codec_type != AVMEDIA_TYPE_VIDEO && par->codec_type != AVMEDIA_TYPE_AUDIO) {
            continue;
        }
        if (par->codec_id == AV_CODEC_ID_NONE || stream->start_time == AV_NOPTS_VALUE) {
            return false;
        }
        const bool described = par->codec_type == AVMEDIA_TYPE_VIDEO
                                   ? par->width > 0 && par->height > 0 &&
                                         stream->avg_frame_rate.num > 0 &&
                                         stream->avg_frame_rate.den > 0
                                   : par->sample_rate > 0 && par->ch_layout.nb_channels > 0;
        if (!described) {
            return false;
        }
    }
    return true;
}

int64_t DemuxThread::startTime(const MediaInfo& info) const {
    if (format_->start_time != AV_NOPTS_VALUE) {
        return format_->start_time;
    }
    // Not probed: the earliest start of the streams that play.
    int64_t start = INT64_MAX;
    for (int index : {info.videoStream, info.audioStream}) {
        const AVStream* stream = index >= 0 ? format_->streams[index] : nullptr;
        if (stream != nullptr && stream->start_time != AV_NOPTS_VALUE) {
            start = std::min(start,
                             av_rescale_q(stream->start_time, stream->time_base, AV_TIME_BASE_Q));
        }
    }
    return start != INT64_MAX ? start : 0;
}

void DemuxThread::read() {
    // Reading starts at once (the queues are bounded), so that the first
    // pictures are decoded while the player waits to be started.
    PlaybackContext& ctx = *context_;
    packet_ = av_packet_alloc();
    if (packet_ == nullptr) {
        return;
    }
    bool ended = false;
    while (!ctx.isAborted()) {
        const uint64_t seen = ctx.changes();
        SeekRequest request;
        if (ctx.takeSeek(&request)) {
            executeSeek(request);
            ended = false;
            continue;
        }
        if (ended || queuesFull()) {
            ctx.waitForChange(seen, ended ? kIdleWait : kFullWait);
            continue;
        }
        const int ret = av_read_frame(format_, packet_);
        if (ret == AVERROR(EAGAIN)) {
            ctx.waitForChange(seen, kFullWait);
            continue;
        }
        if (ret < 0) {
            if (ctx.isAborted()) {
                break;
            }
            if (ret != AVERROR_EOF) {
                qInfo() << "DemuxThread::read" << __LINE__ << ctx.path
                        << AVError(AVError::ReadError, ret).ffmpegErrorString();
            }
            endStreams();
            ended = true;
            continue;
        }
        queuePacket(packet_, &ended);
    }
}

void DemuxThread::queuePacket(AVPacket* packet, bool* ended) {
    PlaybackContext& ctx = *context_;
    const MediaInfo& info = ctx.info;
    const bool video = packet->stream_index == info.videoStream;
    const bool audio = packet->stream_index == info.audioStream && ctx.audioEnabled.load();
    const int64_t end = ctx.endUs.load();
    if (!video && !audio) {
        av_packet_unref(packet);
        return;
    }
    if (end != INT64_MAX && packetTimeUs(packet) >= end) {
        // The media is cut here: the video ends, later audio is dropped.
        av_packet_unref(packet);
        if (video) {
            endStreams();
            *ended = true;
        }
        return;
    }
    AVPacket* queued = av_packet_alloc();
    if (queued == nullptr) {
        av_packet_unref(packet);
        return;
    }
    av_packet_move_ref(queued, packet);
    (video ? ctx.videoQueue : ctx.audioQueue).put(queued);
}

bool DemuxThread::queuesFull() const {
    const PlaybackContext& ctx = *context_;
    const bool hasVideo = ctx.info.videoStream >= 0;
    const bool hasAudio = ctx.info.audioStream >= 0 && ctx.audioEnabled.load();
    if (ctx.videoQueue.bytes() + ctx.audioQueue.bytes() > kMaxBytes) {
        return true;
    }
    return (!hasVideo || ctx.videoQueue.count() >= kVideoPackets) &&
           (!hasAudio || ctx.audioQueue.count() >= kAudioPackets);
}

void DemuxThread::executeSeek(const SeekRequest& request) {
    PlaybackContext& ctx = *context_;
    std::vector<AVPacket*> lead;
    seekToKeyFrame(request.targetUs, &lead);
    SeekTarget target;
    target.serial = ctx.nextSerial();
    target.active = true;
    target.targetUs = request.targetUs;
    target.type = request.type;
    target.requestId = request.id;
    ctx.setSeekTarget(target);
    const int streams = (ctx.info.videoStream >= 0 ? 1 : 0) +
                        (ctx.info.audioStream >= 0 && ctx.audioEnabled.load() ? 1 : 0);
    ctx.armRestart(target.serial, streams);
    ctx.seeksExecuted.fetch_add(1);
    ctx.videoQueue.flush(target.serial);
    ctx.audioQueue.flush(target.serial);
    bool ended = false;
    for (AVPacket* packet : lead) {
        if (!ended) {
            queuePacket(packet, &ended);
        }
        av_packet_free(&packet);
    }
    ctx.notifyChange();
}

void DemuxThread::seekToKeyFrame(int64_t targetUs, std::vector<AVPacket*>* lead) {
    const int64_t start = context_->info.startUs;
    int64_t at = targetUs;
    for (int attempt = 0;; ++attempt) {
        // The key frame at or before the target; the decoders go on from there.
        int ret = avformat_seek_file(format_, -1, INT64_MIN, at, at, 0);
        if (ret < 0) {
            ret = avformat_seek_file(format_, -1, INT64_MIN, at, INT64_MAX, 0);
        }
        if (ret < 0) {
            qInfo() << "DemuxThread::seekToKeyFrame" << __LINE__ << at
                    << AVError(AVError::SeekError, ret).ffmpegErrorString();
        }
        if (context_->info.videoStream < 0) {
            return;
        }
        // No key frame before the end of the file counts as landing too late.
        bool endOfFile = false;
        const int64_t key = readToKeyFrame(lead, &endOfFile);
        const bool late = endOfFile || (key != INT64_MIN && key > targetUs);
        if (!late || at <= start || attempt == kSeekBacksteps || context_->isAborted()) {
            return;
        }
        for (AVPacket* packet : *lead) {
            av_packet_free(&packet);
        }
        lead->clear();
        at = std::max(start, targetUs - (int64_t(AV_TIME_BASE) << attempt));
    }
}

int64_t DemuxThread::readToKeyFrame(std::vector<AVPacket*>* lead, bool* endOfFile) {
    const int videoStream = context_->info.videoStream;
    int64_t bytes = 0;
    while (int(lead->size()) < kLeadPackets && bytes < kMaxBytes && !context_->isAborted()) {
        AVPacket* packet = av_packet_alloc();
        if (packet == nullptr || av_read_frame(format_, packet) < 0) {
            *endOfFile = packet != nullptr;
            av_packet_free(&packet);
            return INT64_MIN;
        }
        lead->push_back(packet);
        bytes += packet->size;
        if (packet->stream_index == videoStream && (packet->flags & AV_PKT_FLAG_KEY) != 0) {
            return packetTimeUs(packet);
        }
    }
    return INT64_MIN;
}

void DemuxThread::endStreams() {
    PlaybackContext& ctx = *context_;
    if (ctx.info.videoStream >= 0) {
        ctx.videoQueue.put(nullptr);
    }
    if (ctx.info.audioStream >= 0 && ctx.audioEnabled.load()) {
        ctx.audioQueue.put(nullptr);
    }
}

int64_t DemuxThread::packetTimeUs(const AVPacket* packet) const {
    const int64_t ts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    if (ts == AV_NOPTS_VALUE) {
        return INT64_MIN;
    }
    return av_rescale_q(ts, format_->streams[packet->stream_index]->time_base, AV_TIME_BASE_Q);
}
