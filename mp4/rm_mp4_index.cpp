#include "mp4/rm_mp4_index.h"

#include <QDebug>
#include <algorithm>

#include "mp4/rm_box_view.h"
#include "mp4/rm_file_window.h"

namespace {
const quint32 kMoov = RMMp4Index::fourcc("moov");
const quint32 kMdat = RMMp4Index::fourcc("mdat");

quint64 bigEndian(const uchar* p, int n) {
    quint64 v = 0;
    for (int i = 0; i < n; ++i) {
        v = (v << 8) | p[i];
    }
    return v;
}

// Body of a full box: after its version and flags.
int fullBody(const RMBoxView::Box& box) {
    return box.body() + 4;
}

// Whether `count` entries of `entrySize` bytes fit after `pos` in the box.
bool fits(const RMBoxView::Box& box, int pos, quint32 count, int entrySize) {
    return pos >= box.body() && qint64(count) * entrySize <= qint64(box.end()) - pos;
}
}  // namespace

quint32 RMMp4Index::fourcc(const char* text) {
    return (quint32(quint8(text[0])) << 24) | (quint32(quint8(text[1])) << 16) |
           (quint32(quint8(text[2])) << 8) | quint32(quint8(text[3]));
}

QString RMMp4Index::fourccText(quint32 type) {
    QString text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = char((type >> shift) & 0xFF);
        text += (c >= 32 && c < 127) ? QChar(c) : QChar('?');
    }
    return text;
}

bool RMMp4Index::_fail(const QString& message) {
    _error = message;
    qInfo() << "RMMp4Index" << __LINE__ << message;
    return false;
}

const RMMp4Index::Box* RMMp4Index::mdat() const {
    for (auto box = _top.rbegin(); box != _top.rend(); ++box) {
        if (box->type == kMdat) {
            return &*box;
        }
    }
    return nullptr;
}

bool RMMp4Index::isCutOff(const QString& path) {
    RMMp4Index index;
    return index.open(path, false) && index.isCutOff();
}

bool RMMp4Index::open(const QString& path, bool tracks) {
    *this = RMMp4Index();
    RMFileWindow file;
    if (!file.open(path)) {
        return _fail(path + ": " + file.errorString());
    }
    // The top level is a few headers far apart.
    file.setWindow(4096);
    _fileSize = file.size();
    if (!_readTopLevel(file) || !tracks) {
        return _error.isEmpty();
    }
    for (const Box& box : _top) {
        if (box.type != kMoov) {
            continue;
        }
        if (box.size > kMaxMovieBox) {
            return _fail("the movie box is too large");
        }
        _moov = file.read(box.pos, box.size);
        if (_moov.size() != box.size) {
            return _fail("the movie box cannot be read");
        }
        return _readTracks();
    }
    return true;
}

// Walks the top-level headers and keeps only the boxes that are used, so a
// file of millions of tiny boxes costs no memory.
bool RMMp4Index::_readTopLevel(RMFileWindow& file) {
    Box moov;
    Box media;
    Box beforeMedia;
    Box previous;
    bool hasMoov = false;
    bool hasMedia = false;
    bool hasBefore = false;
    qint64 pos = 0;
    while (pos + 8 <= _fileSize) {
        const uchar* p = file.at(pos, qMin<qint64>(16, _fileSize - pos));
        if (!p) {
            return _fail("the file cannot be read");
        }
        Box box;
        box.pos = pos;
        box.type = quint32(bigEndian(p + 4, 4));
        quint64 size = bigEndian(p, 4);
        if (size == 1) {
            if (pos + 16 > _fileSize) {
                break;
            }
            size = bigEndian(p + 8, 8);
            box.header = 16;  // a 64-bit size left at zero runs to the end as well
        }
        const bool toEnd = size == 0 || qint64(size) > _fileSize - pos || size > quint64(1) << 62;
        if (!toEnd && qint64(size) < box.header) {
            break;
        }
        box.size = toEnd ? 0 : qint64(size);
        if (box.type == kMoov && toEnd) {
            _moovCutShort = true;
        } else if (box.type == kMoov && !hasMoov) {
            moov = box;
            hasMoov = true;
        } else if (box.type == kMdat) {
            media = box;
            hasMedia = true;
            beforeMedia = previous;
            hasBefore = pos > 0;
        }
        previous = box;
        if (toEnd) {
            break;
        }
        pos += box.size;
    }
    if (hasBefore) {
        _top.push_back(beforeMedia);
    }
    if (hasMedia) {
        _top.push_back(media);
    }
    if (hasMoov && !(hasBefore && beforeMedia.pos == moov.pos)) {
        _top.push_back(moov);
        std::stable_sort(_top.begin(), _top.end(),
                         [](const Box& a, const Box& b) { return a.pos < b.pos; });
    }
    _cutOff = hasMedia && !hasMoov;
    return true;
}

bool RMMp4Index::_readTracks() {
    const RMBoxView view(_moov);
    const RMBoxView::Box mvhd =
        view.child(RMBoxView::Box{kMoov, 0, _moov.size(), 8}, fourcc("mvhd"));
    if (mvhd.size == 0) {
        return _fail("no movie header");
    }
    _movieTimeScale = view.u32(fullBody(mvhd) + (view.u8(mvhd.body()) == 1 ? 16 : 8));
    for (const RMBoxView::Box& box : view.children(8, _moov.size())) {
        if (box.type != fourcc("trak")) {
            continue;
        }
        Track track;
        if (!_readTrack(view.bytes(box), &track)) {
            _tracks.clear();
            return false;
        }
        _tracks.push_back(track);
    }
    return _tracks.empty() ? _fail("no tracks") : true;
}

namespace {
struct Tables {
    RMBoxView::Box stsd, stts, ctts, stss, stsc, stsz, stco, co64;
};

// Samples the other tables have room for: those "stts" gives times to, and
// those the chunks of "stsc" and "stco" (or "co64") hold; 0 when a table
// is damaged.
quint64 sampleRoom(const RMBoxView& v, const Tables& t) {
    const int sttsBody = fullBody(t.stts);
    const quint32 timed = v.u32(sttsBody);
    if (!fits(t.stts, sttsBody + 4, timed, 8)) {
        return 0;
    }
    quint64 times = 0;
    for (quint32 i = 0; i < timed; ++i) {
        times += v.u32(sttsBody + 4 + int(i) * 8);
    }
    const bool wide = t.co64.size != 0;
    const RMBoxView::Box& table = wide ? t.co64 : t.stco;
    const quint32 chunks = v.u32(fullBody(table));
    const int stscBody = fullBody(t.stsc);
    const quint32 entries = v.u32(stscBody);
    if (!fits(table, fullBody(table) + 4, chunks, wide ? 8 : 4) ||
        !fits(t.stsc, stscBody + 4, entries, 12)) {
        return 0;
    }
    quint64 held = 0;
    for (quint32 i = 0; i < entries; ++i) {
        const quint32 first = v.u32(stscBody + 4 + int(i) * 12);
        const quint32 perChunk = v.u32(stscBody + 8 + int(i) * 12);
        const quint32 next = i + 1 < entries ? v.u32(stscBody + 4 + int(i + 1) * 12) : chunks + 1;
        if (first >= 1 && next > first && first <= chunks) {
            held += quint64(qMin(next, chunks + 1) - first) * perChunk;
        }
    }
    return qMin(times, held);
}

bool expandSizes(const RMBoxView& v, const Tables& t, qint64 fileSize,
                 std::vector<quint32>* sizes) {
    const RMBoxView::Box& stsz = t.stsz;
    const int body = fullBody(stsz);
    const quint32 constant = v.u32(body);
    const quint32 count = v.u32(body + 4);
    // Refused before anything is allocated for them: more samples than the
    // other tables place, or than any recording holds.
    if (count > RMMp4Index::kMaxSamples || count > sampleRoom(v, t)) {
        return false;
    }
    if (constant != 0) {
        // No table: the samples must fit in the file.
        if (count > quint64(fileSize) / constant) {
            return false;
        }
        sizes->assign(count, constant);
        return true;
    }
    if (!fits(stsz, body + 8, count, 4)) {
        return false;
    }
    sizes->resize(count);
    for (quint32 i = 0; i < count; ++i) {
        (*sizes)[i] = v.u32(body + 8 + int(i) * 4);
    }
    return true;
}

bool expandDurations(const RMBoxView& v, const RMBoxView::Box& stts, size_t samples,
                     std::vector<quint32>* durations) {
    const int body = fullBody(stts);
    const quint32 entries = v.u32(body);
    if (!fits(stts, body + 4, entries, 8)) {
        return false;
    }
    durations->reserve(samples);
    for (quint32 i = 0; i < entries && durations->size() < samples; ++i) {
        const quint32 count = v.u32(body + 4 + int(i) * 8);
        const quint32 delta = v.u32(body + 8 + int(i) * 8);
        const size_t n = qMin<size_t>(count, samples - durations->size());
        durations->insert(durations->end(), n, delta);
    }
    return durations->size() == samples;
}

bool expandOffsets(const RMBoxView& v, const Tables& t, const std::vector<quint32>& sizes,
                   std::vector<quint64>* offsets) {
    const bool wide = t.co64.size != 0;
    const RMBoxView::Box& table = wide ? t.co64 : t.stco;
    const quint32 chunks = v.u32(fullBody(table));
    if (!fits(table, fullBody(table) + 4, chunks, wide ? 8 : 4)) {
        return false;
    }
    const int stscBody = fullBody(t.stsc);
    const quint32 entries = v.u32(stscBody);
    if (!fits(t.stsc, stscBody + 4, entries, 12)) {
        return false;
    }
    offsets->reserve(sizes.size());
    quint32 entry = 0;
    for (quint32 chunk = 1; chunk <= chunks && offsets->size() < sizes.size(); ++chunk) {
        while (entry + 1 < entries && v.u32(stscBody + 4 + int(entry + 1) * 12) <= chunk) {
            ++entry;
        }
        if (entries == 0) {
            return false;
        }
        const quint32 perChunk = v.u32(stscBody + 8 + int(entry) * 12);
        const int at = fullBody(table) + 4 + int(chunk - 1) * (wide ? 8 : 4);
        quint64 offset = wide ? v.u64(at) : v.u32(at);
        for (quint32 i = 0; i < perChunk && offsets->size() < sizes.size(); ++i) {
            offsets->push_back(offset);
            offset += sizes[offsets->size() - 1];
        }
    }
    return offsets->size() == sizes.size();
}

bool expandSync(const RMBoxView& v, const RMBoxView::Box& stss, size_t samples,
                std::vector<bool>* sync) {
    if (stss.size == 0) {
        sync->assign(samples, true);
        return true;
    }
    sync->assign(samples, false);
    const int body = fullBody(stss);
    const quint32 count = v.u32(body);
    if (!fits(stss, body + 4, count, 4)) {
        return false;
    }
    for (quint32 i = 0; i < count; ++i) {
        const quint32 n = v.u32(body + 4 + int(i) * 4);
        if (n >= 1 && n <= samples) {
            (*sync)[n - 1] = true;
        }
    }
    return true;
}
}  // namespace

bool RMMp4Index::_readTrack(const QByteArray& trak, Track* track) {
    const RMBoxView v(trak);
    const RMBoxView::Box root{fourcc("trak"), 0, trak.size(), 8};
    const RMBoxView::Box mdia = v.child(root, fourcc("mdia"));
    const RMBoxView::Box mdhd = v.child(mdia, fourcc("mdhd"));
    const RMBoxView::Box hdlr = v.child(mdia, fourcc("hdlr"));
    const RMBoxView::Box minf = v.child(mdia, fourcc("minf"));
    const RMBoxView::Box stbl = v.child(minf, fourcc("stbl"));
    if (mdia.size == 0 || mdhd.size == 0 || hdlr.size == 0 || stbl.size == 0) {
        return _fail("a track without media tables");
    }
    track->timeScale = v.u32(fullBody(mdhd) + (v.u8(mdhd.body()) == 1 ? 16 : 8));
    track->handler = v.u32(fullBody(hdlr) + 4);
    Tables t;
    t.stsd = v.child(stbl, fourcc("stsd"));
    t.stts = v.child(stbl, fourcc("stts"));
    t.ctts = v.child(stbl, fourcc("ctts"));
    t.stss = v.child(stbl, fourcc("stss"));
    t.stsc = v.child(stbl, fourcc("stsc"));
    t.stsz = v.child(stbl, fourcc("stsz"));
    t.stco = v.child(stbl, fourcc("stco"));
    t.co64 = v.child(stbl, fourcc("co64"));
    if (t.stsd.size == 0 || t.stts.size == 0 || t.stsc.size == 0 || t.stsz.size == 0 ||
        (t.stco.size == 0 && t.co64.size == 0) || track->timeScale == 0) {
        return _fail("a track with incomplete sample tables");
    }
    const std::vector<RMBoxView::Box> entries = v.children(fullBody(t.stsd) + 4, t.stsd.end());
    if (entries.empty()) {
        return _fail("a track without sample description");
    }
    track->format = entries.front().type;
    track->sampleEntry = v.bytes(entries.front());
    track->compositionOffsets = t.ctts.size != 0;
    if (!expandSizes(v, t, _fileSize, &track->sizes) ||
        !expandDurations(v, t.stts, track->sizes.size(), &track->durations) ||
        !expandOffsets(v, t, track->sizes, &track->offsets) ||
        !expandSync(v, t.stss, track->sizes.size(), &track->sync)) {
        return _fail("damaged sample tables in track " + fourccText(track->format));
    }
    const RMBoxView::Box elst = v.child(v.child(root, fourcc("edts")), fourcc("elst"));
    if (elst.size != 0) {
        const bool wide = v.u8(elst.body()) == 1;
        const quint32 count = v.u32(fullBody(elst));
        const int size = wide ? 20 : 12;
        for (quint32 i = 0; i < count && fits(elst, fullBody(elst) + 4, i + 1, size); ++i) {
            const int at = fullBody(elst) + 4 + int(i) * size + (wide ? 8 : 4);
            const qint64 mediaTime = wide ? qint64(v.u64(at)) : qint32(v.u32(at));
            if (mediaTime >= 0) {
                track->hasEdit = true;
                track->editMediaTime = mediaTime;
                break;
            }
        }
    }
    const bool video = track->handler == fourcc("vide");
    const bool audio = track->handler == fourcc("soun");
    track->kind = video ? KIND_VIDEO : audio ? KIND_AUDIO : KIND_SENSOR;
    return true;
}
