#include "mp4_writer.h"

#include <QtEndian>
#include <limits>

#include "box_buffer.h"

namespace {

// Language code "und" packed into 15 bits.
constexpr quint32 kLanguageUndetermined = 0x55C4;

void matrix(BoxBuffer& b) {
    static const quint32 identity[9] = {0x00010000, 0, 0, 0, 0x00010000, 0, 0, 0, 0x40000000};
    for (quint32 v : identity) {
        b.u32(v);
    }
}

quint32 toMovieTime(quint64 duration, quint32 timeScale) {
    return quint32(duration * Mp4Writer::kMovieTimeScale / timeScale);
}

}  // namespace

bool Mp4Writer::open(const QString& path, quint8 rearVideoFlag, quint32 creationTime) {
    m_creationTime = creationTime;
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly)) {
        return fail(QStringLiteral("cannot create %1: %2").arg(path, m_file.errorString()));
    }
    BoxBuffer head;
    head.begin("ftyp");
    head.fourcc("isom");
    head.u32(0x200);
    for (const char* brand : {"isom", "iso2", "avc1", "mp41"}) {
        head.fourcc(brand);
    }
    head.end();
    // The camera's own top-level box; its first byte says whether a rear
    // file holds real video.
    head.begin("usea");
    head.u8(rearVideoFlag);
    head.zeros(7);
    head.end();
    m_mdatStart = head.size();
    head.u32(0);  // patched by finish()
    head.fourcc("mdat");
    return write(head.data());
}

int Mp4Writer::addTrack(const Mp4TrackSetup& setup) {
    Track track;
    track.setup = setup;
    m_tracks.push_back(track);
    return int(m_tracks.size()) - 1;
}

void Mp4Writer::setEdit(int index, quint32 mediaTime, quint32 presentationMs) {
    Mp4TrackSetup& setup = m_tracks[size_t(index)].setup;
    setup.editMediaTime = mediaTime;
    setup.presentationMs = presentationMs;
}

bool Mp4Writer::writeSample(int index, const QByteArray& data, quint32 duration, bool sync,
                            quint32 compositionOffset) {
    Track& track = m_tracks[size_t(index)];
    const bool continues =
        m_lastTrack == index && !track.chunks.empty() && !track.setup.oneSamplePerChunk;
    if (continues) {
        ++track.chunks.back().samples;
    } else {
        track.chunks.push_back(Chunk{quint64(m_position), 1});
    }
    m_lastTrack = index;
    track.sizes.push_back(quint32(data.size()));
    track.durations.push_back(duration);
    track.compositionOffsets.push_back(compositionOffset);
    track.reordered = track.reordered || compositionOffset != 0;
    track.mediaDuration += duration;
    if (sync) {
        track.syncSamples.push_back(quint32(track.sizes.size()));
    }
    return write(data);
}

bool Mp4Writer::finish(quint32 durationMs) {
    if (!m_error.isEmpty()) {
        return false;
    }
    // Chunk offsets are 32-bit; the recordings stay far below 4 GB.
    if (m_position > qint64(std::numeric_limits<quint32>::max())) {
        return fail(QStringLiteral("%1 exceeds 4 GB").arg(m_file.fileName()));
    }
    const qint64 end = m_position;
    char size[4];
    qToBigEndian(quint32(end - m_mdatStart), size);
    if (!m_file.seek(m_mdatStart) || m_file.write(size, 4) != 4 || !m_file.seek(end)) {
        return fail(
            QStringLiteral("cannot write %1: %2").arg(m_file.fileName(), m_file.errorString()));
    }
    if (!write(movieBox(durationMs))) {
        return false;
    }
    if (!m_file.commit()) {
        return fail(
            QStringLiteral("cannot write %1: %2").arg(m_file.fileName(), m_file.errorString()));
    }
    return true;
}

bool Mp4Writer::write(const QByteArray& data) {
    if (!m_error.isEmpty()) {
        return false;
    }
    if (m_file.write(data) != data.size()) {
        return fail(
            QStringLiteral("cannot write %1: %2").arg(m_file.fileName(), m_file.errorString()));
    }
    m_position += data.size();
    return true;
}

bool Mp4Writer::fail(const QString& message) {
    if (m_error.isEmpty()) {
        m_error = message;
    }
    if (m_file.isOpen()) {
        m_file.cancelWriting();
    }
    return false;
}

QByteArray Mp4Writer::movieBox(quint32 durationMs) const {
    BoxBuffer b;
    b.begin("moov");
    b.beginFull("mvhd", 0, 0);
    b.u32(m_creationTime);
    b.u32(m_creationTime);
    b.u32(kMovieTimeScale);
    b.u32(durationMs);
    b.u32(0x00010000);  // rate 1.0
    b.u16(0x0100);      // volume 1.0
    b.zeros(10);
    matrix(b);
    b.zeros(24);
    b.u32(quint32(m_tracks.size() + 1));  // next track id
    b.end();
    for (size_t i = 0; i < m_tracks.size(); ++i) {
        writeTrack(b, m_tracks[i], int(i) + 1);
    }
    b.end();
    return b.data();
}

void Mp4Writer::writeTrack(BoxBuffer& b, const Track& track, int id) const {
    const Mp4TrackSetup& s = track.setup;
    const bool edited = s.presentationMs != 0;
    const quint32 presentation =
        edited ? s.presentationMs : toMovieTime(track.mediaDuration, s.timeScale);

    b.begin("trak");
    b.beginFull("tkhd", 0, 0x3);  // enabled, in movie
    b.u32(m_creationTime);
    b.u32(m_creationTime);
    b.u32(quint32(id));
    b.u32(0);
    b.u32(presentation);
    b.zeros(8);
    b.u16(0);                                            // layer
    b.u16(0);                                            // alternate group
    b.u16(s.kind == Mp4TrackSetup::Audio ? 0x0100 : 0);  // volume
    b.u16(0);
    matrix(b);
    b.u32(quint32(s.width) << 16);
    b.u32(quint32(s.height) << 16);
    b.end();

    if (edited) {
        b.begin("edts");
        b.beginFull("elst", 0, 0);
        b.u32(1);
        b.u32(s.presentationMs);
        b.u32(s.editMediaTime);
        b.u32(0x00010000);  // rate 1.0
        b.end();
        b.end();
    }

    b.begin("mdia");
    b.beginFull("mdhd", 0, 0);
    b.u32(m_creationTime);
    b.u32(m_creationTime);
    b.u32(s.timeScale);
    b.u32(quint32(track.mediaDuration));
    b.u16(kLanguageUndetermined);
    b.u16(0);
    b.end();

    b.beginFull("hdlr", 0, 0);
    b.u32(0);
    const char* handler = s.kind == Mp4TrackSetup::Video   ? "vide"
                          : s.kind == Mp4TrackSetup::Audio ? "soun"
                                                           : "meta";
    const char* name = s.kind == Mp4TrackSetup::Video   ? "VideoHandler"
                       : s.kind == Mp4TrackSetup::Audio ? "SoundHandler"
                                                        : "SensorHandler";
    b.fourcc(handler);
    b.zeros(12);
    b.bytes(QByteArray(name) + '\0');
    b.end();

    b.begin("minf");
    if (s.kind == Mp4TrackSetup::Video) {
        b.beginFull("vmhd", 0, 1);
        b.zeros(8);  // graphics mode, colour
        b.end();
    } else if (s.kind == Mp4TrackSetup::Audio) {
        b.beginFull("smhd", 0, 0);
        b.zeros(4);  // balance, reserved
        b.end();
    } else {
        b.beginFull("nmhd", 0, 0);
        b.end();
    }
    b.begin("dinf");
    b.beginFull("dref", 0, 0);
    b.u32(1);
    b.beginFull("url ", 0, 1);  // media in this file
    b.end();
    b.end();
    b.end();
    writeSampleTable(b, track);
    b.end();  // minf
    b.end();  // mdia
    b.end();  // trak
}

void Mp4Writer::writeSampleTable(BoxBuffer& b, const Track& track) const {
    b.begin("stbl");

    b.beginFull("stsd", 0, 0);
    b.u32(1);
    b.bytes(track.setup.sampleEntry);
    b.end();

    // Time to sample: runs of equal durations.
    std::vector<std::pair<quint32, quint32>> runs;
    for (quint32 d : track.durations) {
        if (!runs.empty() && runs.back().second == d) {
            ++runs.back().first;
        } else {
            runs.emplace_back(1, d);
        }
    }
    b.beginFull("stts", 0, 0);
    b.u32(quint32(runs.size()));
    for (const auto& run : runs) {
        b.u32(run.first);
        b.u32(run.second);
    }
    b.end();

    if (track.reordered) {
        writeCompositionOffsets(b, track);
    }

    // Without a sync table every sample is a sync sample.
    if (track.syncSamples.size() != track.sizes.size()) {
        b.beginFull("stss", 0, 0);
        b.u32(quint32(track.syncSamples.size()));
        for (quint32 n : track.syncSamples) {
            b.u32(n);
        }
        b.end();
    }

    // Sample to chunk: one entry wherever the samples per chunk change.
    std::vector<std::pair<quint32, quint32>> stsc;
    for (size_t i = 0; i < track.chunks.size(); ++i) {
        if (stsc.empty() || stsc.back().second != track.chunks[i].samples) {
            stsc.emplace_back(quint32(i + 1), track.chunks[i].samples);
        }
    }
    b.beginFull("stsc", 0, 0);
    b.u32(quint32(stsc.size()));
    for (const auto& entry : stsc) {
        b.u32(entry.first);
        b.u32(entry.second);
        b.u32(1);  // sample description
    }
    b.end();

    b.beginFull("stsz", 0, 0);
    b.u32(0);  // sizes differ: one entry per sample
    b.u32(quint32(track.sizes.size()));
    for (quint32 size : track.sizes) {
        b.u32(size);
    }
    b.end();

    b.beginFull("stco", 0, 0);
    b.u32(quint32(track.chunks.size()));
    for (const Chunk& chunk : track.chunks) {
        b.u32(quint32(chunk.offset));
    }
    b.end();

    b.end();
}

// Composition offsets: runs of equal offsets.
void Mp4Writer::writeCompositionOffsets(BoxBuffer& b, const Track& track) {
    std::vector<std::pair<quint32, quint32>> runs;
    for (quint32 offset : track.compositionOffsets) {
        if (!runs.empty() && runs.back().second == offset) {
            ++runs.back().first;
        } else {
            runs.emplace_back(1, offset);
        }
    }
    b.beginFull("ctts", 0, 0);
    b.u32(quint32(runs.size()));
    for (const auto& run : runs) {
        b.u32(run.first);
        b.u32(run.second);
    }
    b.end();
}
