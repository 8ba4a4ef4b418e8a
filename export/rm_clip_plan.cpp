#include "export/rm_clip_plan.h"

#include <QFileInfo>
#include <QtDebug>
#include <algorithm>

namespace {
// Decoding time of every sample, in track units.
std::vector<quint64> times(const RMMp4Index::Track& t) {
    std::vector<quint64> out(t.durations.size());
    quint64 at = 0;
    for (size_t i = 0; i < t.durations.size(); ++i) {
        out[i] = at;
        at += t.durations[i];
    }
    return out;
}

quint64 rescale(quint64 value, quint32 from, quint32 to) {
    return from == 0 ? 0 : quint64((unsigned __int128)value * to / from);
}
}  // namespace

bool RMClipPlan::_fail(const QString& message) {
    _error = message;
    qInfo() << Q_FUNC_INFO << __LINE__ << message;
    return false;
}

bool RMClipPlan::_sameLayout(const RMMp4Index& a, const RMMp4Index& b) {
    if (a.tracks().size() != b.tracks().size()) {
        return false;
    }
    for (size_t t = 0; t < a.tracks().size(); ++t) {
        const RMMp4Index::Track& x = a.tracks()[t];
        const RMMp4Index::Track& y = b.tracks()[t];
        if (x.kind != y.kind || x.format != y.format || x.timeScale != y.timeScale ||
            x.sampleEntry != y.sampleEntry) {
            return false;
        }
    }
    return true;
}

bool RMClipPlan::build(const QList<Span>& spans) {
    *this = RMClipPlan();
    if (spans.isEmpty()) {
        return _fail("no recording in the range");
    }
    _spans = spans;
    for (int p = 0; p < spans.size(); ++p) {
        RMMp4Index index;
        if (!index.open(spans[p].path) || !index.isComplete()) {
            return _fail(QFileInfo(spans[p].path).fileName() + ": cannot be read (" +
                         index.errorString() + ")");
        }
        if (p == 0) {
            for (const RMMp4Index::Track& t : index.tracks()) {
                if (t.kind == RMMp4Index::KIND_VIDEO && _video < 0) {
                    _video = int(_tracks.size());
                }
                if (t.compositionOffsets) {
                    return _fail("recordings with reordered pictures cannot be cut");
                }
                Track track;
                track.kind = t.kind;
                track.timeScale = t.timeScale;
                _tracks.push_back(track);
            }
            if (_video < 0) {
                return _fail(QFileInfo(spans[p].path).fileName() + ": no video");
            }
        } else if (!_sameLayout(_indexes.front(), index)) {
            return _fail(QFileInfo(spans[p].path).fileName() +
                         ": recorded with other settings than the recording before it");
        }
        _indexes.push_back(std::move(index));

        quint64 from = 0;
        quint64 to = 0;
        if (!_pickVideo(p, spans[p], &from, &to)) {
            return false;
        }
        std::vector<Sample> part;
        for (int t = 0; t < int(_tracks.size()); ++t) {
            _pick(p, t, from, to, &part);
        }
        std::stable_sort(part.begin(), part.end(),
                         [](const Sample& a, const Sample& b) { return a.source < b.source; });
        const int first = int(_samples.size());
        for (Sample& s : part) {
            s.offset = _dataSize;
            _dataSize += s.size;
            _samples.push_back(s);
        }
        // Each track lists its samples in decoding order, which is file order.
        for (int i = first; i < int(_samples.size()); ++i) {
            Track& track = _tracks[size_t(_samples[size_t(i)].track)];
            track.samples.push_back(i);
            track.mediaDuration += _samples[size_t(i)].duration;
        }
    }
    const Track& video = _tracks[size_t(_video)];
    _durationMs = qint64(rescale(video.mediaDuration, video.timeScale, 1000));
    return true;
}

bool RMClipPlan::_pickVideo(int p, const Span& span, quint64* from, quint64* to) {
    const RMMp4Index::Track& t = _indexes.back().tracks()[size_t(_video)];
    const std::vector<quint64> at = times(t);
    const size_t n = at.size();
    if (n == 0) {
        return _fail(QFileInfo(span.path).fileName() + ": no pictures");
    }
    const quint64 fromUnits = rescale(quint64(qMax<qint64>(0, span.fromMs)), 1000, t.timeScale);
    const quint64 toUnits = rescale(quint64(qMax<qint64>(0, span.toMs)), 1000, t.timeScale);
    size_t k = 0;
    if (p == 0) {
        bool found = false;
        for (size_t i = 0; i < n && at[i] <= fromUnits; ++i) {
            if (t.sync[i]) {
                k = i;
                found = true;
            }
        }
        if (!found) {
            return _fail(QFileInfo(span.path).fileName() + ": no key frame before the start");
        }
    } else if (!t.sync[0]) {
        return _fail(QFileInfo(span.path).fileName() + ": does not start with a key frame");
    }
    size_t j = k;
    while (j + 1 < n && at[j + 1] <= toUnits) {
        ++j;
    }
    *from = at[k];
    *to = at[j] + t.durations[j];
    const qint64 startMs = qint64(rescale(at[k], t.timeScale, 1000));
    if (p == 0) {
        _startMs = startMs;
        _leadMs = span.fromMs - startMs;
    }
    _partStartMs.push_back(startMs);
    return true;
}

void RMClipPlan::_pick(int p, int track, quint64 from, quint64 to, std::vector<Sample>* out) {
    const RMMp4Index::Track& v = _indexes.back().tracks()[size_t(_video)];
    const RMMp4Index::Track& t = _indexes.back().tracks()[size_t(track)];
    const std::vector<quint64> at = times(t);
    // The window in this track's units; sound in presentation time (after
    // its priming edit), sensors in whole seconds.
    quint64 lo = rescale(from, v.timeScale, t.timeScale);
    quint64 hi = rescale(to, v.timeScale, t.timeScale);
    if (t.kind == RMMp4Index::KIND_AUDIO && t.hasEdit) {
        lo += quint64(t.editMediaTime);
        hi += quint64(t.editMediaTime);
    } else if (t.kind == RMMp4Index::KIND_SENSOR) {
        // Whole seconds that the video covers to their end, as the viewer
        // counts one GPS sample per whole second of video.
        lo = (lo + t.timeScale - 1) / t.timeScale * t.timeScale;
        hi = hi / t.timeScale * t.timeScale;
    }
    bool first = true;
    for (size_t i = 0; i < at.size(); ++i) {
        const quint64 end = at[i] + t.durations[i];
        const bool take = t.kind == RMMp4Index::KIND_SENSOR ? at[i] >= lo && at[i] < hi
                          : track == _video                 ? at[i] >= lo && at[i] < hi
                                                            : end > lo && at[i] < hi;
        if (!take) {
            continue;
        }
        if (first && p == 0 && t.kind == RMMp4Index::KIND_AUDIO && t.hasEdit) {
            _tracks[size_t(track)].editMediaTime = qint64(lo - at[i]);
        }
        first = false;
        Sample s;
        s.part = p;
        s.track = track;
        s.source = t.offsets[i];
        s.size = t.sizes[i];
        s.duration = t.durations[i];
        s.sync = t.sync[i];
        out->push_back(s);
    }
}
