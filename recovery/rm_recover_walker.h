#pragma once

#include <QString>
#include <QtGlobal>
#include <functional>
#include <memory>
#include <vector>

#include "mp4/rm_mp4_index.h"
#include "mp4/rm_nal_scanner.h"

class RMAacSizer;
class RMFileWindow;

// Walks the media data of a recording that lost its index and tells its
// samples apart with what a healthy recording of the same camera and
// channel (the reference) shows: the tracks, their sample descriptions,
// which track's chunk may follow which, and the sizes and durations of the
// sensor samples. Video pictures are found by their NAL units, AAC frames by
// the decoder, sensor records by their fixed sizes and contents. A sample is
// accepted only when the bytes after it start a valid sample of a track
// allowed to follow, or the file (or its data, before a tail of zeros) ends
// there. At every interleave cycle the video, sound and sensor times must
// agree as closely as they do in the reference.
class RMRecoverWalker {
public:
    struct Sample {
        qint64 offset = 0;
        quint32 size = 0;
        bool key = true;
    };
    enum Stop {
        STOP_END_OF_FILE,   // the data ran to the end of the file
        STOP_INCOMPLETE,    // the last sample was cut off
        STOP_UNRECOGNISED,  // bytes that start no valid sample
        STOP_INTERLEAVE,    // the tracks' times drifted apart
        STOP_CANCELLED,
    };
    // Return false to cancel; called with the walk position now and then.
    using Progress = std::function<bool(qint64 position)>;

    RMRecoverWalker();
    ~RMRecoverWalker();
    RMRecoverWalker(const RMRecoverWalker&) = delete;
    RMRecoverWalker& operator=(const RMRecoverWalker&) = delete;

    // Learns the layout from a complete recording; false with a message
    // when the reference cannot serve.
    bool setReference(const RMMp4Index& reference, QString* error);
    // Walks [start, end), or to the end of the file when `end` is negative.
    void walk(RMFileWindow& file, qint64 start, qint64 end = -1,
              const Progress& progress = Progress());
    // Walks from a key picture inside the media data, as a guess at the
    // samples that follow it: the walk opens with that picture and, not
    // knowing how far into the recording it starts, does not hold the
    // tracks' times together.
    void walkFromKeyPicture(RMFileWindow& file, qint64 start, qint64 end,
                            const Progress& progress = Progress());

    int trackCount() const;
    const std::vector<Sample>& samples(int track) const;
    // Duration of a track's n-th sample in its time scale.
    quint32 duration(int track, size_t n) const;
    RMMp4Index::Kind kind(int track) const;
    // End of the last accepted sample.
    qint64 dataEnd() const { return _dataEnd; }
    Stop stop() const { return _stop; }
    int videoTrack() const;
    // Drops every sample from `offset` on.
    void truncate(qint64 offset);

private:
    struct Track;
    struct Candidate {
        int track = -1;
        qint64 pos = -1;
        qint64 size = 0;
        bool key = true;
        RMNalScanner::Picture picture;
        bool incomplete = false;  // a sample starts here but is cut off
        bool found() const { return track >= 0; }
    };

    bool _learnSensor(Track& track, const RMMp4Index::Track& reference);
    void _learnOrder(const RMMp4Index& reference);
    double _deviation(const std::vector<size_t>& counts) const;
    Candidate _next(RMFileWindow& file, qint64 pos, int previous);
    // The walk's state at a sample, to come back to.
    struct Snapshot {
        qint64 pos = 0;
        int previous = -1;
        qint64 dataEnd = 0;
        std::vector<size_t> sizes;
        std::vector<size_t> inCycle;
        std::vector<RMNalScanner::State> states;
        std::vector<size_t> boundary;  // sample counts at the last good cycle start
        qint64 boundaryEnd = 0;
    };
    struct Choice {
        Snapshot at;
        size_t next = 0;  // the option to try there
    };
    struct Best {
        bool valid = false;
        Snapshot at;
        Stop stop = STOP_UNRECOGNISED;
        std::vector<std::vector<Sample>> tails;  // samples after _base
    };

    Candidate _accepted(RMFileWindow& file, qint64 pos, int previous, size_t* option,
                        bool* zerosFollow);
    Snapshot _snapshot(qint64 pos, int previous) const;
    void _restore(const Snapshot& snapshot);
    void _keepBest(Best* best, qint64 pos, int previous, Stop stop) const;
    void _restoreBest(const Best& best);
    // With `startOnly`, only whether a sample starts at `pos`.
    bool _try(RMFileWindow& file, qint64 pos, int t, Candidate* c, bool startOnly = false);
    void _commit(const Candidate& c);
    bool _cycleCheck(int track, int previous);
    // The track whose sample opens the walk.
    int _openingTrack() const { return _fromKeyPicture ? videoTrack() : _firstTrack; }

    std::vector<Track> _tracks;
    std::vector<int> _order;  // tracks by how much their check says, strongest first
    int _firstTrack = 0;      // the track that opens the media data and every cycle
    double _tolerance = 0;    // seconds the tracks may differ at a cycle start
    qint64 _end = 0;
    qint64 _zeros = 0;  // start of the zeros that end the file
    qint64 _dataEnd = 0;
    Stop _stop = STOP_UNRECOGNISED;
    std::vector<size_t> _boundary;  // sample counts at the last good cycle start
    qint64 _boundaryEnd = 0;
    std::vector<size_t> _base;  // sample counts the walk never backs out of
    int _cycles = 0;
    bool _fromKeyPicture = false;  // see walkFromKeyPicture()
};
