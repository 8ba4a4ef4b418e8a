#pragma once

#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <functional>
#include <vector>

#include "mp4/avi_pre_info.h"

// Reads what the viewer needs straight out of the camera's MP4 files: the
// duration, the size of the video samples or the rear-video flag, the raw
// records of the camera's sensor tracks, and a one-step repair of a top level
// that ends in garbage. Each pass is one short-lived object whose constructor
// runs it. The stream belongs to the caller and is never closed here.
//
// Recordings are untrusted: every box is clamped to its parent and to the
// file, every table must fit in the box that holds it, and nothing is
// allocated beyond what the file could fill (and never more than a few tens of
// megabytes). A damaged file gives the empty result of its pass.
class MOVFormat {
public:
    // Size of one sensor record handed to RMSensorData.
    static constexpr int kRecordSize = 64;
    // Upper bound on the samples of a sensor track (about 14 hours at 10 per
    // second); keeps the record buffer at 32 MB.
    static constexpr quint32 kMaxSensorSamples = 512 * 1024;
    static constexpr int kMaxTags = 10;
    static constexpr int kMaxDepth = 16;

    MOVFormat(FILE* file, AVIReadMode mode, _AVIPreInfo* preInfo,
              const QString& undoLog = QString(), const QString& fileName = QString());
    MOVFormat(const MOVFormat&) = delete;
    MOVFormat& operator=(const MOVFormat&) = delete;

    // True when a non-zero duration was found.
    static bool duration(FILE* file, _AVIPreInfo* preInfo);
    // The result of the size pass.
    static bool movSize(FILE* file, _AVIPreInfo* preInfo);
    // True when a repair was written; the stream must be open for update.
    // With an undo log, the file's name, the offset and the 8 original bytes
    // are appended to it as one line before anything is written, and no
    // repair is made when that line cannot be written.
    static bool fix(FILE* file, const QString& undoLog = QString(),
                    const QString& fileName = QString());

    // Walks the boxes in [start, start + size) along the search path.
    void parse(qint64 start, qint64 size, int depth);
    // Sets the search path from a null-terminated list of box types and
    // clears the search state.
    void set_tags(const char* first, ...);

    // What the constructor's pass returned.
    bool result() const { return _result; }
    bool isRepaired() const { return _repaired; }
    // The sensor records (kRecordSize bytes each); null when there are none.
    const unsigned char* sensorRecords() const;
    quint32 sensorRecordCount() const { return _recordCount; }
    // GPS samples in the two-track layout; 0 means one per ten records.
    int gpsCount() const { return _gpsCount; }

private:
    struct Box {
        qint64 pos = 0;     // first byte of the header
        qint64 size = 0;    // whole box, clamped to its parent
        qint64 header = 0;  // 8, or 16 with a 64-bit size
        qint64 body() const { return pos + header; }
        qint64 bodySize() const { return size - header; }
    };
    struct SampleSizes {
        quint32 count = 0;
        quint32 constantSize = 0;  // non-zero: every sample has this size, no table
        qint64 table = 0;          // file position of the first entry
        int fieldBits = 32;        // 4, 8 or 16 in a compact table ("stz2")
    };

    bool parse_duration();
    bool parse_bitrate();
    bool parse_sensor();
    bool _parse_sensor_type1();
    bool _parse_sensor_type2();

    bool _search(const Box& within, Box* match);
    // Calls visit for every child box in [start, end), each clamped to the
    // range, until visit returns false.
    void _forEachChild(qint64 start, qint64 end,
                       const std::function<bool(quint32 type, const Box& box)>& visit);
    // The length of a fragmented file in ms (unbounded: the caller checks).
    bool _fragmentedDurationMs(quint32 movieScale, double* ms);
    struct TrackTiming {
        quint32 id = 0;
        quint32 scale = 0;         // ticks per second ("mdhd")
        quint64 covered = 0;       // ticks the movie box holds
        quint32 trexDuration = 0;  // default sample duration of the track
        quint64 ticks = 0;         // ticks of its fragments
    };
    bool _trackTiming(int index, TrackTiming* track);
    static TrackTiming* _trackById(std::vector<TrackTiming>* tracks, quint32 id);
    void _addFragmentTicks(const Box& moof, std::vector<TrackTiming>* tracks);
    quint64 _runTicks(const Box& trun, quint32 defaultDuration);
    Box _wholeFile() const;
    bool _sampleSizes(const Box& stbl, SampleSizes* out);
    bool _readSampleSizes(const SampleSizes& sizes, std::vector<quint32>* out);
    bool _readSizeEntries(const SampleSizes& sizes, quint32 first, quint32 count,
                          std::vector<quint64>* out);
    quint64 _sumSampleSizes(const SampleSizes& sizes, bool* ok);
    bool _chunkOffsets(const Box& stbl, quint32 wanted, std::vector<qint64>* out);
    // The file position of each of the first `count` samples, from the
    // chunk offsets and the sample-to-chunk table ("stsc"); without that
    // table, one sample per chunk.
    bool _sampleOffsets(const Box& stbl, const std::vector<quint32>& sizes,
                        std::vector<qint64>* out);
    bool _isGarbage(quint32 type, quint64 declared, qint64 offset) const;
    bool _readTable(qint64 pos, quint32 count, int entrySize, std::vector<quint64>* out);
    size_t _readAt(qint64 pos, void* buffer, size_t length);
    void _repairAt(qint64 pos);
    bool _logUndo(qint64 pos);
    unsigned char* _record(quint32 index) { return _records.data() + size_t(index) * kRecordSize; }

    AVIReadMode _mode;
    _AVIPreInfo* _preInfo;
    FILE* _file;
    qint64 _fileSize = 0;
    bool _result = false;

    // Search state of the box walk.
    bool _found = false;
    int _tagCount = 0;
    quint32 _tags[kMaxTags] = {};
    int _occurrence = -1;  // wanted match of the last tag; -1 = the first
    int _counter = 0;
    Box _match[kMaxTags];

    bool _durationFound = false;
    bool _seenMoov = false;
    bool _seenMdat = false;
    bool _repaired = false;
    QString _undoLog;
    QString _fileName;

    std::vector<unsigned char> _records;
    quint32 _recordCount = 0;
    int _gpsCount = 0;
};
