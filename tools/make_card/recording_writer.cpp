#include "recording_writer.h"

#include <algorithm>

#include "audio_encoder.h"
#include "mp4_writer.h"
#include "sample_entry.h"
#include "sensor_records.h"
#include "test_picture.h"
#include "video_encoder.h"

namespace {

// Seconds from 1904-01-01 (MP4's epoch) to 1970-01-01.
constexpr qint64 kMp4EpochOffset = 2082844800;
// A tiny video sample: a filler NAL unit, which decoders skip.
const char kFillerSample[] = {0, 0, 0, 4, 0x0C, char(0xFF), char(0xFF), char(0x80)};

// Grain of the camera profile: visible, yet the running time and the frame
// number stay easy to read.
constexpr int kCameraGrain = 12;

quint32 videoTimeScale(int fps) {
    return 90000 % fps == 0 ? 90000 : quint32(fps) * 1000;
}

}  // namespace

RecordingWriter::RecordingWriter(const CardOptions& options) : m_options(options) {}

RecordingWriter::~RecordingWriter() = default;

bool RecordingWriter::fail(const QString& message) {
    if (m_error.isEmpty()) {
        m_error = message;
    }
    return false;
}

bool RecordingWriter::write(const RecordingJob& job) {
    m_error.clear();
    m_fileSize = 0;
    m_tinyAudioNext = 0;
    Headers headers;
    if (!(m_options.tiny ? tinyHeaders(job.rear, &headers) : openEncoders(job, &headers))) {
        return false;
    }
    Mp4Writer mp4;
    const quint32 created = quint32(job.localStart.toSecsSinceEpoch() + kMp4EpochOffset);
    if (!mp4.open(job.path, job.rear ? 1 : 0, created)) {
        return fail(mp4.errorString());
    }
    const Tracks tracks = addTracks(mp4, job, headers);
    m_editTrack = tracks.video;
    const bool ok = writeMedia(mp4, job, tracks);
    m_video.reset();
    m_audio.reset();
    m_picture.reset();
    if (!ok) {
        return false;
    }
    if (!mp4.finish(quint32(m_options.seconds) * Mp4Writer::kMovieTimeScale)) {
        return fail(mp4.errorString());
    }
    m_fileSize = mp4.bytesWritten();
    return true;
}

VideoSettings RecordingWriter::videoSettings(bool rear) const {
    const QSize size = rear ? m_options.rearSize : m_options.frontSize;
    VideoSettings v;
    v.width = size.width();
    v.height = size.height();
    v.fps = m_options.fps;
    v.gop = m_options.gop;
    v.crf = m_options.crf;
    v.kbps = rear ? m_options.rearKbps : m_options.frontKbps;
    v.bframes = m_options.bframes;
    if (m_options.profile == CardOptions::Profile::Camera) {
        v.high = true;
        v.grain = kCameraGrain;
        // Each channel its own grain, as each camera its own sensor.
        v.grainSeed = m_options.seed * 2 + (rear ? 1 : 0);
    }
    return v;
}

bool RecordingWriter::openEncoders(const RecordingJob& job, Headers* headers) {
    m_video = std::make_unique<VideoEncoder>();
    if (!m_video->open(videoSettings(job.rear))) {
        return fail(m_video->errorString());
    }
    headers->sps = m_video->sps();
    headers->pps = m_video->pps();
    const QSize size = job.rear ? m_options.rearSize : m_options.frontSize;
    m_picture = std::make_unique<TestPicture>(
        size, m_options.fps, job.rear ? QStringLiteral("REAR") : QStringLiteral("FRONT"), job.title,
        job.rear);
    if (!job.rear) {
        m_audio = std::make_unique<AudioEncoder>();
        if (!m_audio->open()) {
            return fail(m_audio->errorString());
        }
    }
    return true;
}

// One second at a time: its video, its audio, then its sensor samples, each
// sensor sample in a chunk of its own.
bool RecordingWriter::writeMedia(Mp4Writer& mp4, const RecordingJob& job, const Tracks& tracks) {
    const std::vector<DriveSample>& ticks = *job.ticks;
    const std::vector<SensorSample> single =
        tracks.sensor >= 0 ? SensorRecords::singleTrack(ticks) : std::vector<SensorSample>();
    const std::vector<SensorSample> gps =
        tracks.gps >= 0 ? SensorRecords::gpsTrack(ticks) : std::vector<SensorSample>();
    const std::vector<SensorSample> accel =
        tracks.accel >= 0 ? SensorRecords::accelTrack(ticks) : std::vector<SensorSample>();
    size_t nextSingle = 0;
    size_t nextGps = 0;
    size_t nextAccel = 0;
    // Video packets count frames; the track counts in its time scale.
    const quint32 frameTicks = videoTimeScale(m_options.fps) / quint32(m_options.fps);
    std::vector<MediaPacket> packets;
    for (int second = 0; second < m_options.seconds; ++second) {
        const bool last = second == m_options.seconds - 1;
        if (!videoPackets(job, second, last, &packets) ||
            !writeSamples(mp4, tracks.video, frameTicks, &packets)) {
            return false;
        }
        if (tracks.audio >= 0 && (!audioPackets(second, last, &packets) ||
                                  !writeSamples(mp4, tracks.audio, 1, &packets))) {
            return false;
        }
        if (!writeSensor(mp4, tracks.sensor, single, &nextSingle, second) ||
            !writeSensor(mp4, tracks.gps, gps, &nextGps, second) ||
            !writeSensor(mp4, tracks.accel, accel, &nextAccel, second)) {
            return false;
        }
    }
    return true;
}

RecordingWriter::Tracks RecordingWriter::addTracks(Mp4Writer& mp4, const RecordingJob& job,
                                                   const Headers& video) {
    Tracks tracks;
    const QSize size = job.rear ? m_options.rearSize : m_options.frontSize;
    Mp4TrackSetup v;
    v.kind = Mp4TrackSetup::Video;
    v.timeScale = videoTimeScale(m_options.fps);
    v.width = size.width();
    v.height = size.height();
    v.sampleEntry = SampleEntry::avc1(size.width(), size.height(), video.sps, video.pps);
    tracks.video = mp4.addTrack(v);

    if (!job.rear) {
        const QByteArray config = m_options.tiny ? m_audioConfig : m_audio->config();
        const int priming = m_options.tiny ? m_audioPriming : m_audio->priming();
        Mp4TrackSetup a;
        a.kind = Mp4TrackSetup::Audio;
        a.timeScale = AudioEncoder::kSampleRate;
        a.sampleEntry = SampleEntry::mp4a(AudioEncoder::kSampleRate, AudioEncoder::kChannels,
                                          AudioEncoder::kBitRate, config);
        // Presentation skips the encoder's priming samples.
        a.editMediaTime = quint32(priming);
        a.presentationMs = quint32(m_options.seconds) * Mp4Writer::kMovieTimeScale;
        tracks.audio = mp4.addTrack(a);
    }

    Mp4TrackSetup s;
    s.kind = Mp4TrackSetup::Data;
    s.timeScale = SensorRecords::kTimeScale;
    s.oneSamplePerChunk = true;
    if (m_options.sensor == CardOptions::Sensor::SingleTrack) {
        s.sampleEntry = SampleEntry::data("gpmd");
        tracks.sensor = mp4.addTrack(s);
    } else if (!job.rear) {
        s.sampleEntry = SampleEntry::data("gpsr");
        tracks.gps = mp4.addTrack(s);
        s.sampleEntry = SampleEntry::data("accr");
        tracks.accel = mp4.addTrack(s);
    }
    return tracks;
}

bool RecordingWriter::writeSamples(Mp4Writer& mp4, int track, quint32 unit,
                                   std::vector<MediaPacket>* packets) {
    for (const MediaPacket& p : *packets) {
        if (!mp4.writeSample(track, p.data, p.duration * unit, p.keyFrame,
                             p.compositionOffset * unit)) {
            return fail(mp4.errorString());
        }
        // With B-frames the first picture is presented after a delay; an
        // edit list starts the presentation there, so the video starts at 0
        // as the audio does.
        if (track == m_editTrack) {
            if (p.compositionOffset > 0) {
                mp4.setEdit(track, p.compositionOffset * unit,
                            quint32(m_options.seconds) * Mp4Writer::kMovieTimeScale);
            }
            m_editTrack = -1;
        }
    }
    packets->clear();
    return true;
}

bool RecordingWriter::writeSensor(Mp4Writer& mp4, int track,
                                  const std::vector<SensorSample>& samples, size_t* next,
                                  int second) {
    if (track < 0) {
        return true;
    }
    for (; *next < samples.size() && samples[*next].second <= second; ++*next) {
        const SensorSample& s = samples[*next];
        if (!mp4.writeSample(track, s.data, s.duration, true)) {
            return fail(mp4.errorString());
        }
    }
    return true;
}

bool RecordingWriter::videoPackets(const RecordingJob& job, int second, bool last,
                                   std::vector<MediaPacket>* out) {
    const int fps = m_options.fps;
    for (qint64 frame = qint64(second) * fps; frame < qint64(second + 1) * fps; ++frame) {
        if (m_options.tiny) {
            MediaPacket p;
            p.data = QByteArray(kFillerSample, sizeof kFillerSample);
            p.pts = frame;
            p.duration = 1;
            p.keyFrame = frame % m_options.gop == 0;
            out->push_back(p);
            continue;
        }
        const QImage& picture = m_picture->draw(frame, status(job, frame));
        if (!m_video->encode(picture, frame, m_picture->changingRows(), out)) {
            return fail(m_video->errorString());
        }
    }
    if (last && !m_options.tiny && !m_video->flush(out)) {
        return fail(m_video->errorString());
    }
    return true;
}

bool RecordingWriter::audioPackets(int second, bool last, std::vector<MediaPacket>* out) {
    const qint64 rate = AudioEncoder::kSampleRate;
    const qint64 end = (second + 1) * rate;
    if (!m_options.tiny) {
        const bool ok = last ? m_audio->flush(end, out) : m_audio->encodeUntil(end, out);
        return ok || fail(m_audio->errorString());
    }
    // The same packets the encoder would give: whole frames over the priming
    // and the sound, the last one short.
    const qint64 frame = m_audioFrameSize;
    const qint64 total = qint64(m_options.seconds) * rate + m_audioPriming;
    const qint64 until = last ? total : end + m_audioPriming;
    while (m_tinyAudioNext < total && (m_tinyAudioNext + frame <= until || last)) {
        MediaPacket p;
        p.data = m_silentFrame;
        p.pts = m_tinyAudioNext;
        p.duration = quint32(std::min(frame, total - m_tinyAudioNext));
        p.keyFrame = true;
        out->push_back(p);
        m_tinyAudioNext += p.duration;
    }
    return true;
}

// Parameter sets and audio configuration from real encoders, once per card.
bool RecordingWriter::tinyHeaders(bool rear, Headers* headers) {
    Headers& cached = rear ? m_tinyRear : m_tinyFront;
    if (cached.sps.isEmpty()) {
        VideoEncoder video;
        if (!video.open(videoSettings(rear))) {
            return fail(video.errorString());
        }
        cached.sps = video.sps();
        cached.pps = video.pps();
    }
    if (!rear && m_audioConfig.isEmpty()) {
        AudioEncoder audio;
        std::vector<MediaPacket> packets;
        // The frames well after the first beep are plain silence.
        if (!audio.open() || !audio.encodeUntil(AudioEncoder::kSampleRate / 2, &packets)) {
            return fail(audio.errorString());
        }
        if (packets.empty()) {
            return fail(QStringLiteral("the AAC encoder gave no packets"));
        }
        m_audioConfig = audio.config();
        m_audioPriming = audio.priming();
        m_audioFrameSize = audio.frameSize();
        m_silentFrame = packets.back().data;
    }
    *headers = cached;
    return true;
}

QString RecordingWriter::status(const RecordingJob& job, qint64 frame) const {
    const qint64 ms = frame * 1000 / m_options.fps;
    const QString clock =
        job.localStart.addMSecs(ms).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const std::vector<DriveSample>& ticks = *job.ticks;
    const size_t index =
        std::min(ticks.size() - 1, size_t(ms * DriveModel::kTicksPerSecond / 1000));
    const DriveSample& s = ticks[index];
    if (!s.fix) {
        return clock + QStringLiteral("   GPS: no fix");
    }
    return clock + QStringLiteral("   %1 km/h   %2 N  %3 E")
                       .arg(qRound(s.speedKmh), 3)
                       .arg(s.latitude, 0, 'f', 5)
                       .arg(s.longitude, 0, 'f', 5);
}
