#include "recovery/rm_recover_moov.h"

#include <QtEndian>
#include <limits>
#include <utility>
#include <vector>

#include "mp4/rm_box_view.h"
#include "mp4/rm_box_writer.h"
#include "mp4/rm_mp4_index.h"
#include "recovery/rm_recover_walker.h"

namespace {
quint32 type(const char* text) {
    return RMMp4Index::fourcc(text);
}

bool inTrackBox(quint32 t) {
    return t == type("tkhd") || t == type("mdhd");
}

}  // namespace

RMRecoverMoov::RMRecoverMoov(const RMMp4Index& reference, const RMRecoverWalker& walker)
    : _reference(reference), _walker(walker) {}

quint64 RMRecoverMoov::_mediaDuration(int track) const {
    quint64 sum = 0;
    const size_t n = _walker.samples(track).size();
    for (size_t i = 0; i < n; ++i) {
        sum += _walker.duration(track, i);
    }
    return sum;
}

double RMRecoverMoov::seconds(int track) const {
    const RMMp4Index::Track& t = _reference.tracks()[size_t(track)];
    quint64 media = _mediaDuration(track);
    if (t.hasEdit && t.kind == RMMp4Index::KIND_AUDIO) {
        media = media > quint64(t.editMediaTime) ? media - quint64(t.editMediaTime) : 0;
    }
    return double(media) / t.timeScale;
}

quint64 RMRecoverMoov::_presentation(int track) const {
    const RMMp4Index::Track& t = _reference.tracks()[size_t(track)];
    quint64 media = _mediaDuration(track);
    if (t.hasEdit) {
        media = media > quint64(t.editMediaTime) ? media - quint64(t.editMediaTime) : 0;
    }
    return media * _reference.movieTimeScale() / t.timeScale;
}

quint64 RMRecoverMoov::movieDuration() const {
    return _presentation(_walker.videoTrack());
}

void RMRecoverMoov::setTimes(quint64 creation, quint64 modification) {
    _creation = creation;
    _modification = modification;
    _timesSet = true;
}

// The creation and modification times of a movie, track or media header.
void RMRecoverMoov::_setTimes(QByteArray& b, int at) const {
    if (!_timesSet || at + 12 > b.size()) {
        return;
    }
    if (quint8(b[at + 8]) == 1) {
        RMBoxWriter::set64(b, at + 12, _creation);
        RMBoxWriter::set64(b, at + 20, _modification);
    } else {
        const quint64 most = std::numeric_limits<quint32>::max();
        RMBoxWriter::set32(b, at + 12, quint32(qMin(_creation, most)));
        RMBoxWriter::set32(b, at + 16, quint32(qMin(_modification, most)));
    }
}

QByteArray RMRecoverMoov::build() {
    QByteArray out;
    const QByteArray& moov = _reference.movieBox();
    _track = -1;
    _copy(out, moov, 0, moov.size());
    return out;
}

void RMRecoverMoov::_copy(QByteArray& out, const QByteArray& in, int pos, int end) {
    const RMBoxView v(in);
    for (const RMBoxView::Box& box : v.children(pos, end)) {
        _copyBox(out, in, box.pos, box.end(), box.type, box.header);
    }
}

void RMRecoverMoov::_copyBox(QByteArray& out, const QByteArray& in, int pos, int boxEnd, quint32 t,
                             int header) {
    const bool container = t == type("moov") || t == type("trak") || t == type("mdia") ||
                           t == type("minf") || t == type("edts");
    if (t == type("trak")) {
        ++_track;
    }
    if (container || t == type("stbl")) {
        const int at = out.size();
        RMBoxWriter::put32(out, 0);
        RMBoxWriter::put32(out, t);
        if (t == type("stbl")) {
            _sampleTable(out, in, pos + header, boxEnd);
        } else {
            _copy(out, in, pos + header, boxEnd);
        }
        RMBoxWriter::end(out, at);
        return;
    }
    if (t == type("udta")) {
        return;  // the reference's own notes, not this recording's
    }
    const int at = out.size();
    out.append(in.constData() + pos, boxEnd - pos);
    if (header == 16) {
        return;  // such boxes are copied untouched
    }
    if (t == type("mvhd") || (inTrackBox(t) && _track >= 0)) {
        _setTimes(out, at);
    }
    const bool inTrack = _track >= 0 && _track < _walker.trackCount();
    if (t == type("mvhd")) {
        RMBoxWriter::setDuration(out, at, 8, 12, 20, movieDuration());
    } else if (t == type("tkhd") && inTrack) {
        RMBoxWriter::setDuration(out, at, 8, 16, 24, _presentation(_track));
    } else if (t == type("mdhd") && inTrack) {
        RMBoxWriter::setDuration(out, at, 8, 12, 20, _mediaDuration(_track));
    } else if (t == type("elst") && inTrack) {
        // The first edit that shows media lasts as long as the media now does.
        const bool wide = quint8(out[at + 8]) == 1;
        const int size = wide ? 20 : 12;
        const quint32 count = qFromBigEndian<quint32>(out.constData() + at + 12);
        for (quint32 i = 0; i < count && at + 16 + int(i + 1) * size <= out.size(); ++i) {
            const int entry = at + 16 + int(i) * size;
            const qint64 mediaTime = wide ? qFromBigEndian<qint64>(out.constData() + entry + 8)
                                          : qFromBigEndian<qint32>(out.constData() + entry + 4);
            if (mediaTime >= 0) {
                if (wide) {
                    RMBoxWriter::set64(out, entry, _presentation(_track));
                } else {
                    RMBoxWriter::set32(out, entry, quint32(_presentation(_track)));
                }
                break;
            }
        }
    }
}

void RMRecoverMoov::_sampleTable(QByteArray& out, const QByteArray& in, int pos, int tableEnd) {
    const RMBoxView v(in);
    const RMBoxView::Box stsd = v.child(pos, tableEnd, type("stsd"));
    out.append(in.constData() + stsd.pos, stsd.size);
    if (_track < 0 || _track >= _walker.trackCount()) {
        return;
    }
    const int track = _track;
    const std::vector<RMRecoverWalker::Sample>& samples = _walker.samples(track);
    const bool sensor = _walker.kind(track) == RMMp4Index::KIND_SENSOR;

    // Time to sample: runs of equal durations.
    std::vector<std::pair<quint32, quint32>> runs;
    for (size_t i = 0; i < samples.size(); ++i) {
        const quint32 d = _walker.duration(track, i);
        if (!runs.empty() && runs.back().second == d) {
            ++runs.back().first;
        } else {
            runs.emplace_back(1, d);
        }
    }
    int at = RMBoxWriter::beginFull(out, "stts");
    RMBoxWriter::put32(out, quint32(runs.size()));
    for (const auto& run : runs) {
        RMBoxWriter::put32(out, run.first);
        RMBoxWriter::put32(out, run.second);
    }
    RMBoxWriter::end(out, at);

    std::vector<quint32> sync;
    for (size_t i = 0; i < samples.size(); ++i) {
        if (samples[i].key) {
            sync.push_back(quint32(i + 1));
        }
    }
    if (sync.size() != samples.size()) {
        at = RMBoxWriter::beginFull(out, "stss");
        RMBoxWriter::put32(out, quint32(sync.size()));
        for (quint32 n : sync) {
            RMBoxWriter::put32(out, n);
        }
        RMBoxWriter::end(out, at);
    }

    // Chunks: runs of samples that follow each other in the file.
    std::vector<std::pair<quint64, quint32>> chunks;
    for (size_t i = 0; i < samples.size(); ++i) {
        const bool joins =
            !sensor && i > 0 && samples[i - 1].offset + samples[i - 1].size == samples[i].offset;
        if (joins) {
            ++chunks.back().second;
        } else {
            chunks.emplace_back(quint64(samples[i].offset), 1);
        }
    }
    at = RMBoxWriter::beginFull(out, "stsc");
    const int countAt = out.size();
    RMBoxWriter::put32(out, 0);
    quint32 entries = 0;
    for (size_t i = 0; i < chunks.size(); ++i) {
        if (i == 0 || chunks[i].second != chunks[i - 1].second) {
            RMBoxWriter::put32(out, quint32(i + 1));
            RMBoxWriter::put32(out, chunks[i].second);
            RMBoxWriter::put32(out, 1);
            ++entries;
        }
    }
    RMBoxWriter::set32(out, countAt, entries);
    RMBoxWriter::end(out, at);

    at = RMBoxWriter::beginFull(out, "stsz");
    RMBoxWriter::put32(out, 0);
    RMBoxWriter::put32(out, quint32(samples.size()));
    for (const RMRecoverWalker::Sample& s : samples) {
        RMBoxWriter::put32(out, s.size);
    }
    RMBoxWriter::end(out, at);

    const bool wide = !chunks.empty() && chunks.back().first > std::numeric_limits<quint32>::max();
    at = RMBoxWriter::beginFull(out, wide ? "co64" : "stco");
    RMBoxWriter::put32(out, quint32(chunks.size()));
    for (const auto& chunk : chunks) {
        if (wide) {
            RMBoxWriter::put64(out, chunk.first);
        } else {
            RMBoxWriter::put32(out, quint32(chunk.first));
        }
    }
    RMBoxWriter::end(out, at);
}
