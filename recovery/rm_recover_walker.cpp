#include "recovery/rm_recover_walker.h"

#include <QDebug>
#include <algorithm>
#include <cmath>
#include <map>

#include "mp4/rm_aac_sizer.h"
#include "mp4/rm_file_window.h"
#include "recovery/rm_sensor_record_check.h"

namespace {
// Seconds the tracks may drift apart beyond what the reference shows.
constexpr double kExtraTolerance = 0.25;
// Samples between two progress reports.
constexpr int kProgressEvery = 256;
// Longest sensor sample taken.
constexpr quint32 kMaxSensorSample = 4096;
// Comparisons spent looking for the period of a sensor track's sizes.
constexpr qint64 kPeriodSearchBudget = 20000000;
// Dead ends the walk may back out of, and choices it remembers per cycle.
constexpr int kMaxRetries = 20000;
constexpr int kMaxRetriesPerCycle = 256;
constexpr size_t kMaxChoices = 4096;
// Fewest zeros that make a tail of zeros.
constexpr qint64 kShortestTail = 64;
// Bytes that tell any sample's start.
constexpr qint64 kShortestHeader = 8;
}  // namespace

struct RMRecoverWalker::Track {
    RMMp4Index::Kind kind = RMMp4Index::KIND_SENSOR;
    quint32 format = 0;
    quint32 timeScale = 0;
    int priority = 0;
    std::vector<bool> next;  // tracks whose sample may follow one of this track

    RMNalScanner nal;
    RMNalScanner::State state;
    quint32 frameDuration = 0;

    std::unique_ptr<RMAacSizer> aac;
    quint32 frameTicks = 0;

    std::vector<quint32> sizes;
    std::vector<quint32> durations;
    std::vector<quint64> durationSums;  // of the first n reference samples
    size_t period = 1;
    size_t maxPerCycle = 0;  // sensor samples in one cycle at most; 0: no limit
    size_t inCycle = 0;

    std::vector<Sample> out;

    // A sensor sample's size or duration: the reference's, repeated with its
    // period beyond its length.
    size_t patternIndex(size_t i) const {
        const size_t n = sizes.size();
        return i < n ? i : n - period + (i - (n - period)) % period;
    }
    // The durations of the first n sensor samples, added up.
    quint64 sensorTicks(size_t n) const {
        const size_t length = sizes.size();
        if (n <= length) {
            return durationSums[n];
        }
        const size_t start = length - period;
        const size_t extra = n - length;
        const quint64 perPeriod = durationSums[length] - durationSums[start];
        const quint64 partial = durationSums[start + extra % period] - durationSums[start];
        return durationSums[length] + quint64(extra / period) * perPeriod + partial;
    }
};

RMRecoverWalker::RMRecoverWalker() = default;
RMRecoverWalker::~RMRecoverWalker() = default;

void RMRecoverWalker::truncate(qint64 offset) {
    qint64 end = 0;
    for (Track& t : _tracks) {
        while (!t.out.empty() && t.out.back().offset >= offset) {
            t.out.pop_back();
        }
        if (!t.out.empty()) {
            end = qMax(end, t.out.back().offset + qint64(t.out.back().size));
        }
    }
    _dataEnd = qMin(_dataEnd, qMax(end, offset));
}

int RMRecoverWalker::trackCount() const {
    return int(_tracks.size());
}

const std::vector<RMRecoverWalker::Sample>& RMRecoverWalker::samples(int track) const {
    return _tracks[size_t(track)].out;
}

RMMp4Index::Kind RMRecoverWalker::kind(int track) const {
    return _tracks[size_t(track)].kind;
}

int RMRecoverWalker::videoTrack() const {
    for (size_t i = 0; i < _tracks.size(); ++i) {
        if (_tracks[i].kind == RMMp4Index::KIND_VIDEO) {
            return int(i);
        }
    }
    return -1;
}

quint32 RMRecoverWalker::duration(int track, size_t n) const {
    const Track& t = _tracks[size_t(track)];
    switch (t.kind) {
        case RMMp4Index::KIND_VIDEO:
            return t.frameDuration;
        case RMMp4Index::KIND_AUDIO:
            return t.frameTicks;
        default:
            return t.durations[t.patternIndex(n)];
    }
}

bool RMRecoverWalker::_learnSensor(Track& track, const RMMp4Index::Track& reference) {
    track.sizes = reference.sizes;
    track.durations = reference.durations;
    const size_t n = track.sizes.size();
    if (n == 0) {
        return false;
    }
    for (quint32 size : track.sizes) {
        if (size == 0 || size > kMaxSensorSample) {
            return false;
        }
    }
    track.durationSums.assign(1, 0);
    for (quint32 d : track.durations) {
        track.durationSums.push_back(track.durationSums.back() + d);
    }
    // The shortest period with which sizes and durations repeat; a damaged
    // reference gets a bounded search.
    track.period = n;
    qint64 budget = kPeriodSearchBudget;
    for (size_t p = 1; p < n && p <= 4096 && budget > 0; ++p) {
        bool repeats = true;
        for (size_t i = p; i < n && repeats && --budget > 0; ++i) {
            repeats = track.sizes[i] == track.sizes[i - p] &&
                      track.durations[i] == track.durations[i - p];
        }
        repeats = repeats && budget > 0;
        if (repeats) {
            track.period = p;
            break;
        }
    }
    return true;
}

bool RMRecoverWalker::setReference(const RMMp4Index& reference, QString* error) {
    _tracks.clear();
    int video = 0;
    for (const RMMp4Index::Track& r : reference.tracks()) {
        Track t;
        t.kind = r.kind;
        t.format = r.format;
        t.timeScale = r.timeScale;
        if (r.sizes.empty()) {
            *error = "the reference has an empty track";
            return false;
        }
        if (r.kind == RMMp4Index::KIND_VIDEO) {
            ++video;
            if (r.compositionOffsets) {
                *error =
                    "the reference reorders its pictures (B-frames); such recordings "
                    "cannot be recovered yet";
                return false;
            }
            if (!t.nal.configure(r.sampleEntry)) {
                *error = "the reference's video is neither H.264 nor HEVC";
                return false;
            }
            std::map<quint32, size_t> counts;
            for (quint32 d : r.durations) {
                ++counts[d];
            }
            t.frameDuration =
                std::max_element(counts.begin(), counts.end(), [](const auto& a, const auto& b) {
                    return a.second < b.second;
                })->first;
            t.priority = 0;
        } else if (r.kind == RMMp4Index::KIND_AUDIO) {
            t.aac = std::make_unique<RMAacSizer>();
            if (r.format != RMMp4Index::fourcc("mp4a") || !t.aac->open(r.sampleEntry)) {
                *error = "the reference's sound is not AAC";
                return false;
            }
            t.frameTicks =
                quint32(qint64(RMAacSizer::kSamplesPerFrame) * r.timeScale / t.aac->sampleRate());
            t.priority = 2;
        } else {
            if (!_learnSensor(t, r)) {
                *error = "the reference has a sensor track that cannot be learnt";
                return false;
            }
            t.priority = RMSensorRecordCheck::strong(r.format, int(r.sizes.front())) ? 1 : 3;
        }
        _tracks.push_back(std::move(t));
    }
    if (video != 1) {
        *error = "the reference does not hold exactly one video track";
        return false;
    }
    _learnOrder(reference);
    _order.clear();
    for (size_t i = 0; i < _tracks.size(); ++i) {
        _order.push_back(int(i));
    }
    std::stable_sort(_order.begin(), _order.end(), [this](int a, int b) {
        return _tracks[size_t(a)].priority < _tracks[size_t(b)].priority;
    });
    return true;
}

// Which track follows which, the track that opens every cycle, the sensor
// samples of one cycle at most and how far the tracks' times drift apart
// at the start of a cycle, all from the order of the reference's samples.
void RMRecoverWalker::_learnOrder(const RMMp4Index& reference) {
    struct Placed {
        quint64 offset;
        int track;
    };
    std::vector<Placed> placed;
    const auto& tracks = reference.tracks();
    for (size_t t = 0; t < tracks.size(); ++t) {
        for (quint64 offset : tracks[t].offsets) {
            placed.push_back({offset, int(t)});
        }
        _tracks[t].next.assign(tracks.size(), false);
    }
    std::stable_sort(placed.begin(), placed.end(),
                     [](const Placed& a, const Placed& b) { return a.offset < b.offset; });
    _firstTrack = placed.front().track;
    std::vector<size_t> counts(_tracks.size(), 0);
    std::vector<size_t> inCycle(_tracks.size(), 0);
    double deviation = 0;
    for (size_t i = 0; i < placed.size(); ++i) {
        const int t = placed[i].track;
        if (i > 0) {
            const int previous = placed[i - 1].track;
            _tracks[size_t(previous)].next[size_t(t)] = true;
            if (t == _firstTrack && previous != _firstTrack) {
                deviation = std::max(deviation, _deviation(counts));
                for (size_t k = 0; k < _tracks.size(); ++k) {
                    _tracks[k].maxPerCycle = std::max(_tracks[k].maxPerCycle, inCycle[k]);
                    inCycle[k] = 0;
                }
            }
        }
        ++counts[size_t(t)];
        ++inCycle[size_t(t)];
    }
    for (size_t k = 0; k < _tracks.size(); ++k) {
        _tracks[k].maxPerCycle = std::max(_tracks[k].maxPerCycle, inCycle[k]);
        if (_tracks[k].kind != RMMp4Index::KIND_SENSOR) {
            _tracks[k].maxPerCycle = 0;
        }
    }
    _tolerance = deviation + kExtraTolerance;
}

// How far apart in seconds the tracks are after `counts` samples each.
double RMRecoverWalker::_deviation(const std::vector<size_t>& counts) const {
    double video = -1;
    std::vector<double> times;
    for (size_t t = 0; t < _tracks.size(); ++t) {
        const double ticks = _tracks[t].kind == RMMp4Index::KIND_SENSOR
                                 ? double(_tracks[t].sensorTicks(counts[t]))
                                 : double(counts[t]) * duration(int(t), 0);
        const double seconds = ticks / _tracks[t].timeScale;
        if (_tracks[t].kind == RMMp4Index::KIND_VIDEO) {
            video = seconds;
        } else {
            times.push_back(seconds);
        }
    }
    double worst = 0;
    for (double seconds : times) {
        worst = std::max(worst, std::fabs(seconds - video));
    }
    return worst;
}

bool RMRecoverWalker::_try(RMFileWindow& file, qint64 pos, int index, Candidate* c,
                           bool startOnly) {
    Track& t = _tracks[size_t(index)];
    c->pos = pos;
    if (t.kind == RMMp4Index::KIND_VIDEO) {
        const RMNalScanner::Result r =
            t.nal.picture(file, pos, _end, _zeros, t.state, &c->picture, startOnly);
        if (r == RMNalScanner::RESULT_INCOMPLETE) {
            c->incomplete = true;
        }
        if (r != RMNalScanner::RESULT_PICTURE || (t.out.empty() && !c->picture.key)) {
            return false;
        }
        c->size = c->picture.size;
        c->key = c->picture.key;
    } else if (t.kind == RMMp4Index::KIND_AUDIO) {
        const RMAacSizer::Result r = t.aac->frame(file, pos, _end, _zeros, &c->size);
        if (r == RMAacSizer::RESULT_INCOMPLETE) {
            c->incomplete = true;
        }
        if (r != RMAacSizer::RESULT_FRAME) {
            return false;
        }
    } else {
        if (t.maxPerCycle != 0 && t.inCycle >= t.maxPerCycle) {
            return false;
        }
        const quint32 size = t.sizes[t.patternIndex(t.out.size())];
        if (pos + size > _end || (pos < _zeros && pos + size > _zeros)) {
            c->incomplete = true;  // it runs past the end or into the zeros
            return false;
        }
        const uchar* data = file.at(pos, size);
        if (!data || !RMSensorRecordCheck::plausible(t.format, data, int(size))) {
            return false;
        }
        c->size = size;
    }
    c->track = index;
    return true;
}

RMRecoverWalker::Candidate RMRecoverWalker::_next(RMFileWindow& file, qint64 pos, int previous) {
    Candidate c;
    bool incomplete = false;
    // Only ever asked about the bytes after a sample: whether one starts.
    for (int t : _order) {
        const bool allowed =
            previous < 0 ? t == _openingTrack() : bool(_tracks[size_t(previous)].next[size_t(t)]);
        if (!allowed) {
            continue;
        }
        Candidate attempt;
        if (_try(file, pos, t, &attempt, true)) {
            return attempt;
        }
        incomplete = incomplete || attempt.incomplete;
    }
    c.pos = pos;
    // A file that ends within a few bytes may end inside the next header.
    c.incomplete = incomplete || _end - pos < kShortestHeader;
    return c;
}

void RMRecoverWalker::_commit(const Candidate& c) {
    Track& t = _tracks[size_t(c.track)];
    t.out.push_back(Sample{c.pos, quint32(c.size), c.key});
    ++t.inCycle;
    if (t.kind == RMMp4Index::KIND_VIDEO) {
        RMNalScanner::advance(c.picture, &t.state);
    }
    _dataEnd = c.pos + c.size;
}

// At the start of a cycle: the times must agree; the counts of this good
// cycle start are kept to fall back on.
bool RMRecoverWalker::_cycleCheck(int track, int previous) {
    if (track != _firstTrack || previous < 0 || previous == _firstTrack) {
        return true;
    }
    std::vector<size_t> counts;
    for (const Track& t : _tracks) {
        counts.push_back(t.out.size());
    }
    if (!_fromKeyPicture && _deviation(counts) > _tolerance) {
        return false;
    }
    _boundary = counts;
    _boundaryEnd = _dataEnd;
    ++_cycles;
    for (Track& t : _tracks) {
        t.inCycle = 0;
    }
    return true;
}

// The first sample at `pos`, trying the tracks from `*option` on in the
// order of their checks' strength, that the acceptance rule takes: the
// bytes after it start a valid sample of a track allowed to follow (or are
// cut off), or the file ends there, or (for pictures and AAC frames, which
// never end with a zero byte) only zeros follow. `*option` becomes the
// option taken.
RMRecoverWalker::Candidate RMRecoverWalker::_accepted(RMFileWindow& file, qint64 pos, int previous,
                                                      size_t* option, bool* zerosFollow) {
    Candidate none;
    none.pos = pos;
    none.incomplete = _end - pos < kShortestHeader;
    for (; *option < _order.size(); ++*option) {
        const int index = _order[*option];
        const bool allowed = previous < 0 ? index == _openingTrack()
                                          : bool(_tracks[size_t(previous)].next[size_t(index)]);
        Candidate c;
        if (!allowed || !_try(file, pos, index, &c)) {
            none.incomplete = none.incomplete || c.incomplete;
            if (c.incomplete && _tracks[size_t(index)].kind == RMMp4Index::KIND_VIDEO) {
                return none;  // a picture whose headers check out is cut off here
            }
            continue;
        }
        const qint64 end = c.pos + c.size;
        if (end >= _end) {
            return c;
        }
        // Look ahead with this sample taken, then undo.
        Track& t = _tracks[size_t(index)];
        const RMNalScanner::State saved = t.state;
        if (t.kind == RMMp4Index::KIND_VIDEO) {
            RMNalScanner::advance(c.picture, &t.state);
        }
        t.out.push_back(Sample{c.pos, quint32(c.size), c.key});
        ++t.inCycle;
        const Candidate after = _next(file, end, index);
        --t.inCycle;
        t.out.pop_back();
        t.state = saved;
        if (after.found() || after.incomplete) {
            return c;
        }
        if (end >= _zeros && t.kind != RMMp4Index::KIND_SENSOR) {
            *zerosFollow = true;
            return c;
        }
    }
    return none;
}

RMRecoverWalker::Snapshot RMRecoverWalker::_snapshot(qint64 pos, int previous) const {
    Snapshot s;
    s.pos = pos;
    s.previous = previous;
    s.dataEnd = _dataEnd;
    s.boundary = _boundary;
    s.boundaryEnd = _boundaryEnd;
    for (const Track& t : _tracks) {
        s.sizes.push_back(t.out.size());
        s.inCycle.push_back(t.inCycle);
        s.states.push_back(t.state);
    }
    return s;
}

void RMRecoverWalker::_restore(const Snapshot& s) {
    for (size_t i = 0; i < _tracks.size(); ++i) {
        _tracks[i].out.resize(qMin(_tracks[i].out.size(), s.sizes[i]));
        _tracks[i].inCycle = s.inCycle[i];
        _tracks[i].state = s.states[i];
    }
    _dataEnd = s.dataEnd;
    _boundary = s.boundary;
    _boundaryEnd = s.boundaryEnd;
}

// Keeps the path that got furthest since the walk last committed.
void RMRecoverWalker::_keepBest(Best* best, qint64 pos, int previous, Stop stop) const {
    if (best->valid && _dataEnd <= best->at.dataEnd) {
        return;
    }
    best->valid = true;
    best->at = _snapshot(pos, previous);
    best->stop = stop;
    best->tails.clear();
    for (size_t i = 0; i < _tracks.size(); ++i) {
        const auto& out = _tracks[i].out;
        best->tails.emplace_back(out.begin() + qint64(qMin(_base[i], out.size())), out.end());
    }
}

void RMRecoverWalker::_restoreBest(const Best& best) {
    for (size_t i = 0; i < _tracks.size(); ++i) {
        auto& out = _tracks[i].out;
        out.resize(qMin(_base[i], out.size()));
        out.insert(out.end(), best.tails[i].begin(), best.tails[i].end());
    }
    _restore(best.at);
    _stop = best.stop;
}

void RMRecoverWalker::walkFromKeyPicture(RMFileWindow& file, qint64 start, qint64 end,
                                         const Progress& progress) {
    _fromKeyPicture = true;
    walk(file, start, end, progress);
    _fromKeyPicture = false;
}

void RMRecoverWalker::walk(RMFileWindow& file, qint64 start, qint64 end, const Progress& progress) {
    for (Track& t : _tracks) {
        t.out.clear();
        t.state = RMNalScanner::State();
        t.inCycle = 0;
    }
    _cycles = 0;
    _end = end < 0 ? file.size() : qMin(end, file.size());
    // Zeros that end the file are a tail (a cluster the camera never wrote)
    // only when there are more of them than a record holds.
    _zeros = end < 0 ? file.trailingZerosStart() : _end;
    if (_end - _zeros < kShortestTail) {
        _zeros = _end;
    }
    _dataEnd = start;
    _boundary.assign(_tracks.size(), 0);
    _base = _boundary;
    _boundaryEnd = start;
    qint64 pos = start;
    int previous = -1;
    // Where another sample could have been taken, since the last cycle start.
    std::vector<Choice> choices;
    Best best;
    int retries = 0;
    int retriesInCycle = 0;
    size_t option = 0;
    for (int n = 0;; ++n) {
        if (progress && n % kProgressEvery == 0 && !progress(pos)) {
            _stop = STOP_CANCELLED;
            return;
        }
        Stop failure = STOP_END_OF_FILE;
        bool zerosFollow = false;
        Candidate c;
        if (pos < _end) {
            c = _accepted(file, pos, previous, &option, &zerosFollow);
            failure = c.incomplete ? STOP_INCOMPLETE : STOP_UNRECOGNISED;
        }
        if (c.found() && !_cycleCheck(c.track, previous)) {
            c = Candidate();
            failure = STOP_INTERLEAVE;
        } else if (c.found() && c.track == _firstTrack && previous != _firstTrack &&
                   (!best.valid || pos >= best.at.dataEnd)) {
            // A new cycle on a path at least as long as any tried: commit.
            choices.clear();
            best = Best();
            retriesInCycle = 0;
            for (size_t t = 0; t < _tracks.size(); ++t) {
                _base[t] = _tracks[t].out.size();
            }
        }
        if (!c.found()) {
            // A dead end: try what else could have been taken.
            _keepBest(&best, pos, previous, failure);
            const bool spent = ++retries > kMaxRetries || ++retriesInCycle > kMaxRetriesPerCycle;
            if (choices.empty() || spent || failure == STOP_END_OF_FILE) {
                _restoreBest(best);
                if (_stop == STOP_INTERLEAVE) {
                    for (size_t t = 0; t < _tracks.size(); ++t) {
                        _tracks[t].out.resize(_boundary[t]);
                    }
                    _dataEnd = _boundaryEnd;
                }
                return;
            }
            const Choice choice = choices.back();
            choices.pop_back();
            _restore(choice.at);
            pos = choice.at.pos;
            previous = choice.at.previous;
            option = choice.next;
            continue;
        }
        if (option + 1 < _order.size() && choices.size() < kMaxChoices) {
            choices.push_back(Choice{_snapshot(pos, previous), option + 1});
        }
        _commit(c);
        previous = c.track;
        pos = c.pos + c.size;
        option = 0;
        if (zerosFollow) {
            _keepBest(&best, pos, previous, STOP_END_OF_FILE);
            _restoreBest(best);
            return;
        }
    }
}
