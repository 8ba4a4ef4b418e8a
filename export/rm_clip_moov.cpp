#include "export/rm_clip_moov.h"

#include <QtEndian>
#include <limits>
#include <utility>
#include <vector>

#include "export/rm_clip_plan.h"
#include "mp4/rm_box_view.h"
#include "mp4/rm_box_writer.h"
#include "mp4/rm_mp4_index.h"

namespace {
quint32 type(const char* text) {
    return RMMp4Index::fourcc(text);
}

}  // namespace

RMClipMoov::RMClipMoov(const RMClipPlan& plan, quint64 dataStart)
    : _plan(plan), _dataStart(dataStart) {}

qint64 RMClipMoov::_edit(int track) const {
    const RMClipPlan::Track& t = _plan.tracks()[size_t(track)];
    if (t.editMediaTime >= 0) {
        return t.editMediaTime;
    }
    const RMMp4Index::Track& source = _plan.indexes().front().tracks()[size_t(track)];
    return source.hasEdit ? source.editMediaTime : 0;
}

quint64 RMClipMoov::_presentation(int track) const {
    const RMClipPlan::Track& t = _plan.tracks()[size_t(track)];
    const quint64 edit = quint64(_edit(track));
    const quint64 media = t.mediaDuration > edit ? t.mediaDuration - edit : 0;
    return t.timeScale ? media * _movieTimeScale / t.timeScale : 0;
}

QByteArray RMClipMoov::build() {
    QByteArray out;
    const RMMp4Index& first = _plan.indexes().front();
    _movieTimeScale = first.movieTimeScale();
    _track = -1;
    _copy(out, first.movieBox(), 0, first.movieBox().size());
    return out;
}

void RMClipMoov::_copy(QByteArray& out, const QByteArray& in, int pos, int end) {
    const RMBoxView v(in);
    for (const RMBoxView::Box& box : v.children(pos, end)) {
        _copyBox(out, in, box.pos, box.end(), box.type, box.header);
    }
}

void RMClipMoov::_copyBox(QByteArray& out, const QByteArray& in, int pos, int boxEnd, quint32 t,
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
    const int at = out.size();
    out.append(in.constData() + pos, boxEnd - pos);
    const bool inTrack = _track >= 0 && _track < int(_plan.tracks().size());
    if (header == 16) {
        return;  // such boxes are copied untouched
    }
    if (t == type("mvhd")) {
        RMBoxWriter::setDuration(out, at, 8, 12, 20, _presentation(_plan.videoTrack()));
    } else if (t == type("tkhd") && inTrack) {
        RMBoxWriter::setDuration(out, at, 8, 16, 24, _presentation(_track));
    } else if (t == type("mdhd") && inTrack) {
        RMBoxWriter::setDuration(out, at, 8, 12, 20, _plan.tracks()[size_t(_track)].mediaDuration);
    } else if (t == type("elst") && inTrack) {
        // The first edit that shows media shows the clip's media.
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
                    RMBoxWriter::set64(out, entry + 8, quint64(_edit(_track)));
                } else {
                    RMBoxWriter::set32(out, entry, quint32(_presentation(_track)));
                    RMBoxWriter::set32(out, entry + 4, quint32(_edit(_track)));
                }
                break;
            }
        }
    }
}

void RMClipMoov::_sampleTable(QByteArray& out, const QByteArray& in, int pos, int tableEnd) {
    const RMBoxView v(in);
    const RMBoxView::Box stsd = v.child(pos, tableEnd, type("stsd"));
    out.append(in.constData() + stsd.pos, stsd.size);
    if (_track < 0 || _track >= int(_plan.tracks().size())) {
        return;
    }
    const RMClipPlan::Track& track = _plan.tracks()[size_t(_track)];
    const std::vector<RMClipPlan::Sample>& all = _plan.samples();
    const bool sensor = track.kind == RMMp4Index::KIND_SENSOR;

    std::vector<std::pair<quint32, quint32>> runs;  // time to sample: runs of equal durations
    std::vector<quint32> sync;
    for (size_t i = 0; i < track.samples.size(); ++i) {
        const RMClipPlan::Sample& s = all[size_t(track.samples[i])];
        if (!runs.empty() && runs.back().second == s.duration) {
            ++runs.back().first;
        } else {
            runs.emplace_back(1, s.duration);
        }
        if (s.sync) {
            sync.push_back(quint32(i + 1));
        }
    }
    int at = RMBoxWriter::beginFull(out, "stts");
    RMBoxWriter::put32(out, quint32(runs.size()));
    for (const auto& run : runs) {
        RMBoxWriter::put32(out, run.first);
        RMBoxWriter::put32(out, run.second);
    }
    RMBoxWriter::end(out, at);
    if (sync.size() != track.samples.size()) {
        at = RMBoxWriter::beginFull(out, "stss");
        RMBoxWriter::put32(out, quint32(sync.size()));
        for (quint32 n : sync) {
            RMBoxWriter::put32(out, n);
        }
        RMBoxWriter::end(out, at);
    }

    // Chunks: runs of this track's samples that follow each other in the clip.
    std::vector<std::pair<quint64, quint32>> chunks;
    for (size_t i = 0; i < track.samples.size(); ++i) {
        const int index = track.samples[i];
        const bool joins = !sensor && i > 0 && track.samples[i - 1] == index - 1;
        if (joins) {
            ++chunks.back().second;
        } else {
            chunks.emplace_back(_dataStart + all[size_t(index)].offset, 1);
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
    RMBoxWriter::put32(out, quint32(track.samples.size()));
    for (int index : track.samples) {
        RMBoxWriter::put32(out, all[size_t(index)].size);
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
