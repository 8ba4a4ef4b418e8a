#include "mp4/mov_format.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <limits>

namespace {

constexpr quint32 fourCC(const char* type) {
    return type[0] == 0 ? 0
                        : (quint32(quint8(type[0])) << 24) | (quint32(quint8(type[1])) << 16) |
                              (quint32(quint8(type[2])) << 8) | quint32(quint8(type[3]));
}

quint32 be32(const unsigned char* p) {
    return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
}

quint64 be64(const unsigned char* p) {
    return (quint64(be32(p)) << 32) | be32(p + 4);
}

quint32 be16(const unsigned char* p) {
    return (quint32(p[0]) << 8) | quint32(p[1]);
}

// Video sample descriptions the size pass accepts: H.264 and H.265.
const char* const kVideoEntries[] = {"avc1", "hvc1", "hev1"};
// Tracks looked at when a fragment's time scale is needed.
constexpr int kMaxTracks = 32;

// Durations up to 5 s are judged by their video samples, longer ones by the
// camera's rear-video flag.
constexpr quint32 kShortClipMs = 5001;
constexpr quint32 kRearVideoSize = 1000000000;
// Entries read per chunk when a table is streamed.
constexpr quint32 kTableChunk = 4096;

}  // namespace

MOVFormat::MOVFormat(FILE* file, AVIReadMode mode, _AVIPreInfo* preInfo, const QString& undoLog,
                     const QString& fileName)
    : _mode(mode), _preInfo(preInfo), _file(file), _undoLog(undoLog), _fileName(fileName) {
    if (_preInfo) {
        _preInfo->found = false;
        _preInfo->durationMs = 0;
        _preInfo->moviFound = false;
        _preInfo->moviSize = 0;
    }
    if (!_file) {
        return;
    }
    if (fseeko(_file, 0, SEEK_END) == 0) {
        _fileSize = std::max<qint64>(0, ftello(_file));
    }
    switch (_mode) {
        case READ_SENSOR:
            _result = parse_sensor();
            break;
        case READ_DURATION:
            _result = parse_duration();
            break;
        case READ_MOVSIZE:
            _result = parse_bitrate();
            break;
        case READ_REPAIR:
            set_tags("", nullptr);
            parse(0, _fileSize, 0);
            _result = _repaired;
            break;
    }
}

bool MOVFormat::duration(FILE* file, _AVIPreInfo* preInfo) {
    MOVFormat reader(file, READ_DURATION, preInfo);
    return reader._durationFound;
}

bool MOVFormat::movSize(FILE* file, _AVIPreInfo* preInfo) {
    MOVFormat reader(file, READ_MOVSIZE, preInfo);
    return reader.result();
}

bool MOVFormat::fix(FILE* file, const QString& undoLog, const QString& fileName) {
    MOVFormat reader(file, READ_REPAIR, nullptr, undoLog, fileName);
    return reader.isRepaired();
}

const unsigned char* MOVFormat::sensorRecords() const {
    return _recordCount > 0 ? _records.data() : nullptr;
}

void MOVFormat::set_tags(const char* first, ...) {
    _tagCount = 0;
    va_list args;
    va_start(args, first);
    for (const char* tag = first; tag && _tagCount < kMaxTags; tag = va_arg(args, const char*)) {
        _tags[_tagCount++] = fourCC(tag);
    }
    va_end(args);
    _found = false;
    _occurrence = -1;
    _counter = 0;
    std::fill(std::begin(_match), std::end(_match), Box());
}

void MOVFormat::parse(qint64 start, qint64 size, int depth) {
    if (_found || depth >= _tagCount || depth >= kMaxDepth || size <= 0 || start < 0 ||
        start >= _fileSize) {
        return;
    }
    const qint64 end = start + std::min(size, _fileSize - start);
    qint64 offset = start;
    while (!_found && end - offset >= 8) {
        unsigned char header[16];
        if (_readAt(offset, header, 8) != 8) {
            return;
        }
        quint64 declared = be32(header);
        const quint32 type = be32(header + 4);
        qint64 headerSize = 8;
        // Size 0 runs to the end of the file; nothing after it can be walked,
        // and it needs no repair.
        if (declared == 0) {
            return;
        }
        const bool repairing = _mode == READ_REPAIR && depth == 0;
        if (declared == 1) {
            if (end - offset < 16 || _readAt(offset + 8, header + 8, 8) != 8) {
                if (repairing) {
                    _repairAt(offset);  // a header cut by the end of the file
                }
                return;
            }
            declared = be64(header + 8);
            headerSize = 16;
        }
        if (repairing) {
            // Only what cannot be a box is garbage; unknown but well-formed
            // boxes ("free", "udta", "moof" ...) are left alone.
            if (_isGarbage(type, declared, offset)) {
                _repairAt(offset);
                return;
            }
            _seenMoov = _seenMoov || type == fourCC("moov");
            _seenMdat = _seenMdat || type == fourCC("mdat");
        }
        // A size that cannot even hold its own header ends the walk.
        if (declared < quint64(headerSize)) {
            return;
        }
        // A box that claims more than its parent holds is cut to the parent.
        const qint64 room = end - offset;
        const qint64 boxSize = declared > quint64(room) ? room : qint64(declared);
        if (type == _tags[depth]) {
            _match[depth] = Box{offset, boxSize, headerSize};
            if (depth == _tagCount - 1) {
                if (_occurrence < 0 || _counter == _occurrence) {
                    _found = true;
                    return;
                }
                ++_counter;
            } else {
                // A sample description starts with version, flags and entry count.
                const qint64 childStart = offset + headerSize + (type == fourCC("stsd") ? 8 : 0);
                parse(childStart, offset + boxSize - childStart, depth + 1);
            }
        }
        offset += boxSize;
    }
}

MOVFormat::Box MOVFormat::_wholeFile() const {
    return Box{0, _fileSize, 0};
}

// Runs the walk set up by set_tags over `within` (a box of the first tag's
// type, or the whole file) and hands back the box that matched the last tag.
bool MOVFormat::_search(const Box& within, Box* match) {
    parse(within.pos, within.size, 0);
    if (!_found) {
        return false;
    }
    if (match) {
        *match = _match[_tagCount - 1];
    }
    return true;
}

size_t MOVFormat::_readAt(qint64 pos, void* buffer, size_t length) {
    memset(buffer, 0, length);
    if (pos < 0 || pos >= _fileSize || fseeko(_file, pos, SEEK_SET) != 0) {
        return 0;
    }
    return fread(buffer, 1, length, _file);
}

bool MOVFormat::_isGarbage(quint32 type, quint64 declared, qint64 offset) const {
    for (int shift = 0; shift < 32; shift += 8) {
        const quint32 c = (type >> shift) & 0xFF;
        if (c < 0x20 || c > 0x7E) {
            return true;
        }
    }
    return declared > quint64(_fileSize - offset);
}

// One line per repair, so the 8 bytes can be put back by hand.
bool MOVFormat::_logUndo(qint64 pos) {
    if (_undoLog.isEmpty()) {
        return true;
    }
    unsigned char original[8];
    if (_readAt(pos, original, sizeof original) != sizeof original) {
        return false;
    }
    QDir().mkpath(QFileInfo(_undoLog).path());
    QFile log(_undoLog);
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        return false;
    }
    const QByteArray line =
        QString("%1 repair file=\"%2\" offset=%3 original=%4\n")
            .arg(QDateTime::currentDateTimeUtc().toString(Qt::ISODate), _fileName)
            .arg(pos)
            .arg(QString::fromLatin1(
                QByteArray(reinterpret_cast<const char*>(original), sizeof original).toHex()))
            .toUtf8();
    return log.write(line) == line.size() && log.flush();
}

void MOVFormat::_repairAt(qint64 pos) {
    // Zeroing a header makes that box run to the end of the file; doing so
    // before the movie header or the media data would hide them from players.
    if (!_seenMoov || !_seenMdat) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "unknown box before moov and mdat at" << pos;
        return;
    }
    if (!_logUndo(pos)) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "cannot write the undo line to" << _undoLog;
        return;
    }
    static const unsigned char zeros[8] = {};
    if (fseeko(_file, pos, SEEK_SET) != 0 ||
        fwrite(zeros, 1, sizeof zeros, _file) != sizeof zeros || fflush(_file) != 0) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "cannot write at" << pos;
        return;
    }
    _repaired = true;
}

bool MOVFormat::parse_duration() {
    if (!_preInfo) {
        return false;
    }
    set_tags("moov", "mvhd", nullptr);
    Box mvhd;
    if (!_search(_wholeFile(), &mvhd)) {
        return false;
    }
    // Version 0: version and flags, creation, modification, time scale,
    // duration, all 32-bit. Version 1 widens the times and the duration.
    unsigned char fields[32];
    const bool wide =
        mvhd.bodySize() >= 1 && _readAt(mvhd.body(), fields, 1) == 1 && fields[0] == 1;
    const qint64 needed = wide ? 32 : 20;
    if (mvhd.bodySize() < needed ||
        _readAt(mvhd.body(), fields, size_t(needed)) != size_t(needed)) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "mvhd too short" << mvhd.bodySize();
        return false;
    }
    const quint32 timeScale = wide ? be32(fields + 20) : be32(fields + 12);
    const quint64 duration = wide ? be64(fields + 24) : be32(fields + 16);
    if (timeScale == 0) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "time scale 0";
        return false;
    }
    double ms = double(duration) * 1000.0 / timeScale;
    double fragmentedMs = 0;
    if (_fragmentedDurationMs(timeScale, &fragmentedMs)) {
        // Checked against the 32-bit field below, as a double.
        ms = std::max(ms, fragmentedMs);
    }
    if (!(ms < 4294967296.0)) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "duration out of range" << duration << timeScale;
        return false;
    }
    _preInfo->durationMs = quint32(ms);
    _preInfo->found = true;
    _durationFound = _preInfo->durationMs != 0;
    return true;
}

void MOVFormat::_forEachChild(qint64 start, qint64 end,
                              const std::function<bool(quint32, const Box&)>& visit) {
    end = std::min(end, _fileSize);
    for (qint64 offset = start; offset >= 0 && end - offset >= 8;) {
        unsigned char header[16];
        if (_readAt(offset, header, 8) != 8) {
            return;
        }
        quint64 declared = be32(header);
        qint64 headerSize = 8;
        if (declared == 0) {
            declared = quint64(end - offset);
        } else if (declared == 1) {
            if (end - offset < 16 || _readAt(offset + 8, header + 8, 8) != 8) {
                return;
            }
            declared = be64(header + 8);
            headerSize = 16;
        }
        if (declared < quint64(headerSize)) {
            return;
        }
        const qint64 size = std::min<quint64>(declared, quint64(end - offset));
        if (!visit(be32(header + 4), Box{offset, size, headerSize})) {
            return;
        }
        offset += size;
    }
}

// A fragmented file keeps most of its samples in "moof" boxes after the
// movie header: its length is in "mehd", or else, per track, what its media
// header covers plus the sum of its fragments; the longest track counts.
bool MOVFormat::_fragmentedDurationMs(quint32 movieScale, double* ms) {
    set_tags("moov", "mvex", nullptr);
    Box mvex;
    if (!_search(_wholeFile(), &mvex)) {
        return false;
    }
    unsigned char fields[24];
    set_tags("mvex", "mehd", nullptr);
    Box mehd;
    if (_search(mvex, &mehd) && mehd.bodySize() >= 8 && _readAt(mehd.body(), fields, 12) >= 8) {
        const bool wide = fields[0] == 1;
        if (!wide || mehd.bodySize() >= 12) {
            const quint64 length = wide ? be64(fields + 4) : be32(fields + 4);
            *ms = double(length) * 1000.0 / movieScale;
            return true;
        }
    }
    // The tracks first, then one pass over the fragments for all of them:
    // the work grows with the file, not with tracks times fragments.
    std::vector<TrackTiming> tracks;
    for (int i = 0; i < kMaxTracks; ++i) {
        TrackTiming track;
        if (!_trackTiming(i, &track)) {
            break;
        }
        if (track.scale != 0) {
            tracks.push_back(track);
        }
    }
    if (tracks.empty()) {
        return false;
    }
    _forEachChild(mvex.body(), mvex.pos + mvex.size, [&](quint32 type, const Box& trex) {
        unsigned char t[16];
        if (type == fourCC("trex") && trex.bodySize() >= 16 &&
            _readAt(trex.body(), t, sizeof t) == sizeof t) {
            if (TrackTiming* track = _trackById(&tracks, be32(t + 4))) {
                track->trexDuration = be32(t + 12);
            }
        }
        return true;
    });
    _forEachChild(0, _fileSize, [&](quint32 type, const Box& box) {
        if (type == fourCC("moof")) {
            _addFragmentTicks(box, &tracks);
        }
        return true;
    });
    double longest = 0;
    for (const TrackTiming& track : tracks) {
        longest =
            std::max(longest, (double(track.covered) + double(track.ticks)) * 1000.0 / track.scale);
    }
    if (longest <= 0) {
        return false;
    }
    *ms = longest;
    return true;
}

MOVFormat::TrackTiming* MOVFormat::_trackById(std::vector<TrackTiming>* tracks, quint32 id) {
    for (TrackTiming& track : *tracks) {
        if (track.id == id) {
            return &track;
        }
    }
    return nullptr;
}

// The ID ("tkhd"), time scale and covered duration ("mdhd") of track
// `index`; false when there is no such track.
bool MOVFormat::_trackTiming(int index, TrackTiming* track) {
    set_tags("moov", "trak", nullptr);
    _occurrence = index;
    Box trak;
    if (!_search(_wholeFile(), &trak)) {
        return false;
    }
    unsigned char fields[32];
    set_tags("trak", "tkhd", nullptr);
    Box tkhd;
    if (!_search(trak, &tkhd) || tkhd.bodySize() < 24 || _readAt(tkhd.body(), fields, 24) != 24) {
        return true;  // a track without a usable header: no timing
    }
    track->id = fields[0] == 1 ? be32(fields + 20) : be32(fields + 12);
    set_tags("trak", "mdia", "mdhd", nullptr);
    Box mdhd;
    if (!_search(trak, &mdhd) || mdhd.bodySize() < 20 || _readAt(mdhd.body(), fields, 32) < 20) {
        return true;
    }
    const bool wide = fields[0] == 1;
    if (wide && mdhd.bodySize() < 32) {
        return true;
    }
    track->scale = wide ? be32(fields + 20) : be32(fields + 12);
    track->covered = wide ? be64(fields + 24) : be32(fields + 16);
    return true;
}

void MOVFormat::_addFragmentTicks(const Box& moof, std::vector<TrackTiming>* tracks) {
    _forEachChild(moof.body(), moof.pos + moof.size, [&](quint32 type, const Box& traf) {
        if (type != fourCC("traf")) {
            return true;
        }
        TrackTiming* track = nullptr;
        quint32 defaultDuration = 0;
        _forEachChild(traf.body(), traf.pos + traf.size, [&](quint32 child, const Box& box) {
            unsigned char fields[24];
            if (child == fourCC("tfhd") && box.bodySize() >= 8) {
                const qint64 got = qint64(_readAt(box.body(), fields, 24));
                const quint32 flags = be32(fields) & 0xFFFFFF;
                track = _trackById(tracks, be32(fields + 4));
                defaultDuration = track ? track->trexDuration : 0;
                // Base data offset (8 bytes) and description index (4) come
                // before the default duration.
                const qint64 at = 8 + ((flags & 0x1) ? 8 : 0) + ((flags & 0x2) ? 4 : 0);
                if ((flags & 0x8) && at + 4 <= std::min(got, box.bodySize())) {
                    defaultDuration = be32(fields + at);
                }
            } else if (child == fourCC("trun") && track) {
                track->ticks += _runTicks(box, defaultDuration);
            }
            return true;
        });
        return true;
    });
}

quint64 MOVFormat::_runTicks(const Box& trun, quint32 defaultDuration) {
    unsigned char fields[8];
    if (trun.bodySize() < 8 || _readAt(trun.body(), fields, 8) != 8) {
        return 0;
    }
    const quint32 flags = be32(fields) & 0xFFFFFF;
    const quint32 count = be32(fields + 4);
    if (!(flags & 0x100)) {
        return quint64(count) * defaultDuration;
    }
    // Per sample: duration, size, flags, composition offset, as present.
    int entrySize = 0;
    for (quint32 bit = 0x100; bit <= 0x800; bit <<= 1) {
        entrySize += (flags & bit) ? 4 : 0;
    }
    const qint64 first = trun.body() + 8 + ((flags & 0x1) ? 4 : 0) + ((flags & 0x4) ? 4 : 0);
    const qint64 room = std::max<qint64>(0, trun.pos + trun.size - first);
    const quint32 present = quint32(std::min<qint64>(count, room / entrySize));
    quint64 ticks = 0;
    std::vector<unsigned char> raw;
    for (quint32 done = 0; done < present;) {
        const quint32 n = std::min(kTableChunk, present - done);
        raw.assign(size_t(n) * size_t(entrySize), 0);
        if (_readAt(first + qint64(done) * entrySize, raw.data(), raw.size()) != raw.size()) {
            break;
        }
        for (quint32 i = 0; i < n; ++i) {
            ticks += be32(raw.data() + size_t(i) * size_t(entrySize));
        }
        done += n;
    }
    return ticks;
}

bool MOVFormat::parse_bitrate() {
    if (!_preInfo) {
        return false;
    }
    if (!_preInfo->found) {
        parse_duration();
    }
    if (_preInfo->durationMs >= kShortClipMs) {
        set_tags("usea", nullptr);
        Box usea;
        unsigned char flag = 0;
        if (_search(_wholeFile(), &usea) && usea.bodySize() >= 1 &&
            _readAt(usea.body(), &flag, 1) == 1 && flag == 1) {
            _preInfo->moviFound = true;
            _preInfo->moviSize = kRearVideoSize;
        }
        return _preInfo->moviFound;
    }

    bool video = false;
    for (const char* entry : kVideoEntries) {
        set_tags("moov", "trak", "mdia", "minf", "stbl", "stsd", entry, nullptr);
        if (_search(_wholeFile(), nullptr)) {
            video = true;
            break;
        }
    }
    if (!video) {
        return false;
    }
    const Box stbl = _match[4];
    SampleSizes sizes;
    if (!_sampleSizes(stbl, &sizes)) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "stbl stsz search error!";
        return false;
    }
    qInfo() << Q_FUNC_INFO << __LINE__ << "samples" << sizes.count;
    if (sizes.count == 0) {
        return false;
    }
    bool ok = false;
    const quint64 total = _sumSampleSizes(sizes, &ok);
    if (!ok) {
        return false;
    }
    // The field is 32-bit; a larger sum saturates rather than wrapping to a
    // small size that would make real video look empty.
    _preInfo->moviSize = quint32(std::min<quint64>(total, std::numeric_limits<quint32>::max()));
    _preInfo->moviFound = true;
    return true;
}

bool MOVFormat::parse_sensor() {
    set_tags("moov", "trak", nullptr);
    _occurrence = 3;
    if (_search(_wholeFile(), nullptr)) {
        return _parse_sensor_type2();
    }
    return _parse_sensor_type1();
}

// One "gpmd" track whose samples are complete 64-byte records, one per chunk.
bool MOVFormat::_parse_sensor_type1() {
    set_tags("moov", "trak", "mdia", "minf", "stbl", "stsd", "gpmd", nullptr);
    if (!_search(_wholeFile(), nullptr)) {
        return false;
    }
    const Box stbl = _match[4];
    SampleSizes table;
    if (!_sampleSizes(stbl, &table)) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "stbl stsz search error!";
        return false;
    }
    if (table.count == 0 || table.count > kMaxSensorSamples) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "sample count" << table.count;
        return false;
    }
    std::vector<quint32> sizes;
    if (!_readSampleSizes(table, &sizes)) {
        return false;
    }
    std::vector<qint64> offsets;
    if (!_sampleOffsets(stbl, sizes, &offsets)) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "stbl stco search error!";
        return false;
    }
    if (offsets.size() != table.count) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "samples" << table.count << "chunks"
                << offsets.size();
    }
    // Samples of 12 bytes are placeholders without data.
    const size_t usable = offsets.size();
    quint32 used = 0;
    for (size_t i = 0; i < usable; ++i) {
        used += (sizes[i] & 0xFF) != 12 ? 1 : 0;
    }
    _records.assign(size_t(used) * kRecordSize, 0);
    quint32 next = 0;
    for (size_t i = 0; i < usable; ++i) {
        if ((sizes[i] & 0xFF) != 12) {
            _readAt(offsets[i], _record(next++), kRecordSize);
        }
    }
    _recordCount = used;
    return true;
}

// A G-sensor track (the fourth) of 14-byte samples and a GPS track (the
// third) of 32-byte samples, one GPS sample per ten G samples.
bool MOVFormat::_parse_sensor_type2() {
    set_tags("moov", "trak", nullptr);
    _occurrence = 3;
    Box trak;
    if (!_search(_wholeFile(), &trak)) {
        return false;
    }
    set_tags("trak", "mdia", "minf", "stbl", nullptr);
    Box stbl;
    SampleSizes table;
    if (!_search(trak, &stbl) || !_sampleSizes(stbl, &table)) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "stco search error!";
        return false;
    }
    if (table.count == 0 || table.count > kMaxSensorSamples) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "sample count" << table.count;
        return false;
    }
    std::vector<quint32> sizes;
    std::vector<qint64> offsets;
    if (!_readSampleSizes(table, &sizes) || !_sampleOffsets(stbl, sizes, &offsets)) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "stbl stco search error!";
        return false;
    }
    const quint32 count = quint32(offsets.size());
    _records.assign(size_t(count) * kRecordSize, 0);
    for (quint32 i = 0; i < count; ++i) {
        unsigned char g[14];
        _readAt(offsets[i], g, sizeof g);
        memcpy(_record(i) + 48, g, 13);
    }
    _recordCount = count;

    set_tags("moov", "trak", nullptr);
    _occurrence = 2;
    if (!_search(_wholeFile(), &trak)) {
        return true;
    }
    set_tags("trak", "mdia", "minf", "stbl", nullptr);
    if (!_search(trak, &stbl) || !_sampleSizes(stbl, &table)) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "stbl stsz search error!";
        return false;
    }
    // Only every tenth record carries a GPS sample.
    const quint32 gpsCount = std::min(table.count, (count + 9) / 10);
    _gpsCount = int(gpsCount);
    if (gpsCount == 0) {
        return true;
    }
    table.count = gpsCount;  // only these samples are read
    if (!_readSampleSizes(table, &sizes) || !_sampleOffsets(stbl, sizes, &offsets)) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "stbl stco search error!";
        return false;
    }
    for (size_t j = 0; j < offsets.size(); ++j) {
        unsigned char g[32];
        _readAt(offsets[j], g, sizeof g);
        unsigned char* record = _record(quint32(j * 10));
        memcpy(record + 8, g, 16);
        // The 32-bit field widens to 64 bits with its sign.
        const unsigned char fill = (g[19] & 0x80) ? 0xFF : 0x00;
        memcpy(record + 24, g + 16, 4);
        memset(record + 28, fill, 4);
        memcpy(record + 32, g + 20, 2);
        record[34] = quint8(g[22] + 156);  // years since 1900 -> since 2000
        record[35] = quint8(g[23] + 1);    // months from 0 -> from 1
        memcpy(record + 36, g + 24, 7);
    }
    return true;
}

// Finds "stsz" in `stbl` and checks that its table fits in the box.
// Finds "stsz" (or the compact "stz2") in `stbl` and checks that its table
// fits in the box.
bool MOVFormat::_sampleSizes(const Box& stbl, SampleSizes* out) {
    set_tags("stbl", "stsz", nullptr);
    Box stsz;
    bool compact = false;
    if (!_search(stbl, &stsz)) {
        set_tags("stbl", "stz2", nullptr);
        if (!_search(stbl, &stsz)) {
            return false;
        }
        compact = true;
    }
    unsigned char fields[12];
    if (stsz.bodySize() < 12 || _readAt(stsz.body(), fields, sizeof fields) != sizeof fields) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "stsz too short" << stsz.bodySize();
        return false;
    }
    // "stz2" has three reserved bytes and the field size where "stsz" has
    // its constant size.
    out->fieldBits = compact ? fields[7] : 32;
    out->constantSize = compact ? 0 : be32(fields + 4);
    out->count = be32(fields + 8);
    out->table = stsz.body() + 12;
    if (out->fieldBits != 4 && out->fieldBits != 8 && out->fieldBits != 16 &&
        out->fieldBits != 32) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "stz2 field size" << out->fieldBits;
        return false;
    }
    const quint64 room = quint64(stsz.bodySize() - 12);
    if (out->constantSize == 0 && (quint64(out->count) * out->fieldBits + 7) / 8 > room) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "stsz count" << out->count << "room" << room;
        return false;
    }
    return true;
}

bool MOVFormat::_readSampleSizes(const SampleSizes& sizes, std::vector<quint32>* out) {
    if (sizes.constantSize != 0) {
        out->assign(sizes.count, sizes.constantSize);
        return true;
    }
    std::vector<quint64> table;
    if (!_readSizeEntries(sizes, 0, sizes.count, &table)) {
        return false;
    }
    out->assign(table.begin(), table.end());
    return true;
}

// Entries [first, first + count) of a sample size table of any field size;
// first is even, so 4-bit entries start at a byte.
bool MOVFormat::_readSizeEntries(const SampleSizes& sizes, quint32 first, quint32 count,
                                 std::vector<quint64>* out) {
    if (sizes.fieldBits != 4) {
        const int entrySize = sizes.fieldBits / 8;
        return _readTable(sizes.table + qint64(first) * entrySize, count, entrySize, out);
    }
    std::vector<quint64> bytes;
    if (!_readTable(sizes.table + first / 2, (count + 1) / 2, 1, &bytes)) {
        return false;
    }
    out->resize(count);
    for (quint32 i = 0; i < count; ++i) {
        const quint64 byte = bytes[i / 2];
        (*out)[i] = (i % 2 == 0) ? byte >> 4 : byte & 0xF;
    }
    return true;
}

quint64 MOVFormat::_sumSampleSizes(const SampleSizes& sizes, bool* ok) {
    *ok = true;
    if (sizes.constantSize != 0) {
        return quint64(sizes.count) * sizes.constantSize;
    }
    // Streamed in chunks: the table may be large and is only summed.
    quint64 total = 0;
    std::vector<quint64> chunk;
    for (quint32 done = 0; done < sizes.count;) {
        const quint32 n = std::min(kTableChunk, sizes.count - done);
        if (!_readSizeEntries(sizes, done, n, &chunk)) {
            *ok = false;
            return 0;
        }
        for (quint64 size : chunk) {
            total += size;
        }
        done += n;
    }
    return total;
}

// Reads up to `wanted` chunk offsets from "stco", or from "co64" when the
// track has no "stco". Fewer come back when the table holds fewer.
bool MOVFormat::_chunkOffsets(const Box& stbl, quint32 wanted, std::vector<qint64>* out) {
    out->clear();
    int entrySize = 4;
    Box box;
    set_tags("stbl", "stco", nullptr);
    if (!_search(stbl, &box)) {
        set_tags("stbl", "co64", nullptr);
        if (!_search(stbl, &box)) {
            return false;
        }
        entrySize = 8;
    }
    unsigned char fields[8];
    if (box.bodySize() < 8 || _readAt(box.body(), fields, sizeof fields) != sizeof fields) {
        return false;
    }
    const quint32 stored = be32(fields + 4);
    if (quint64(stored) * quint64(entrySize) > quint64(box.bodySize() - 8)) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "chunk count" << stored << "room"
                << box.bodySize() - 8;
        return false;
    }
    std::vector<quint64> table;
    if (!_readTable(box.body() + 8, std::min(wanted, stored), entrySize, &table)) {
        return false;
    }
    out->reserve(table.size());
    for (quint64 offset : table) {
        // Offsets beyond the file read as zeros; keep them in range of qint64.
        out->push_back(qint64(std::min<quint64>(offset, quint64(_fileSize))));
    }
    return true;
}

// Reads `count` big-endian entries of 1, 2, 4 or 8 bytes. Callers have checked that
// the table lies inside its box, so the allocation is bounded by the file.
bool MOVFormat::_readTable(qint64 pos, quint32 count, int entrySize, std::vector<quint64>* out) {
    std::vector<unsigned char> raw(size_t(count) * size_t(entrySize));
    if (count > 0 && _readAt(pos, raw.data(), raw.size()) != raw.size()) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "short table at" << pos << count;
        return false;
    }
    out->resize(count);
    for (quint32 i = 0; i < count; ++i) {
        const unsigned char* p = raw.data() + size_t(i) * size_t(entrySize);
        switch (entrySize) {
            case 8:
                (*out)[i] = be64(p);
                break;
            case 4:
                (*out)[i] = be32(p);
                break;
            case 2:
                (*out)[i] = be16(p);
                break;
            default:
                (*out)[i] = p[0];
                break;
        }
    }
    return true;
}

bool MOVFormat::_sampleOffsets(const Box& stbl, const std::vector<quint32>& sizes,
                               std::vector<qint64>* out) {
    out->clear();
    std::vector<qint64> chunks;
    if (!_chunkOffsets(stbl, std::numeric_limits<quint32>::max(), &chunks)) {
        return false;
    }
    const size_t count = sizes.size();
    set_tags("stbl", "stsc", nullptr);
    Box stsc;
    unsigned char fields[8];
    if (!_search(stbl, &stsc) || stsc.bodySize() < 8 ||
        _readAt(stsc.body(), fields, sizeof fields) != sizeof fields) {
        // One sample per chunk.
        out->assign(chunks.begin(), chunks.begin() + qint64(std::min(count, chunks.size())));
        return true;
    }
    // Entries of first chunk (from 1), samples per chunk, description index;
    // an entry holds until the next one's first chunk.
    const quint32 stored = be32(fields + 4);
    if (stored > 0x3FFFFFFFu || quint64(stored) * 12 > quint64(stsc.bodySize() - 8)) {
        qInfo() << Q_FUNC_INFO << __LINE__ << "stsc count" << stored;
        return false;
    }
    std::vector<quint64> entries;
    if (!_readTable(stsc.body() + 8, stored * 3, 4, &entries)) {
        return false;
    }
    out->reserve(std::min(count, chunks.size()));
    // Chunks are taken in order, each at most once, whatever the entries say.
    quint64 nextChunk = 1;
    for (quint32 e = 0; e < stored && out->size() < count; ++e) {
        const quint64 firstChunk = std::max<quint64>(nextChunk, entries[e * 3]);
        const quint64 nextFirst = e + 1 < stored ? entries[(e + 1) * 3] : chunks.size() + 1;
        const quint64 perChunk = entries[e * 3 + 1];
        for (quint64 c = firstChunk; c < nextFirst && c <= chunks.size() && out->size() < count;
             ++c) {
            qint64 pos = chunks[c - 1];
            for (quint64 k = 0; k < perChunk && out->size() < count; ++k) {
                const quint32 size = sizes[out->size()];
                out->push_back(pos);
                pos = std::min<qint64>(pos + size, _fileSize);
            }
            nextChunk = c + 1;
        }
    }
    return true;
}
