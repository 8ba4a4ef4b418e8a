#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QtGlobal>

class RMFileWindow;

// Finds whole pictures of H.264 or HEVC video stored as length-prefixed NAL
// units, as an MP4 sample holds them, with the parameter sets of a sample
// description. Each NAL unit is checked for a plausible length, type and
// header bits (and, for H.264 slices, a known picture parameter set and a
// frame number that follows the previous reference picture). A picture
// starts at a slice with first_mb_in_slice 0 (H.264) or
// first_slice_segment_in_pic_flag (HEVC), or at a non-VCL unit that opens an
// access unit; it must start that way.
class RMNalScanner {
public:
    enum Codec { CODEC_H264, CODEC_HEVC };
    enum Result { RESULT_PICTURE, RESULT_INVALID, RESULT_INCOMPLETE };
    struct Picture {
        qint64 size = 0;
        bool key = false;
        // H.264: the frame number of the first slice and whether the picture
        // is a reference picture.
        int frameNum = -1;
        bool reference = false;
    };
    // What the next picture must agree with.
    struct State {
        int prevRefFrameNum = -1;  // -1: not known yet
    };

    // From the sample description ("avc1"/"avc3" with "avcC",
    // "hvc1"/"hev1" with "hvcC"); false for anything else.
    bool configure(const QByteArray& sampleEntry);
    Codec codec() const { return _codec; }
    // The configuration record, as a decoder takes it for extradata.
    QByteArray configRecord() const { return _config; }
    // The parameter sets (VPS, SPS, PPS) of the configuration record, and
    // those a sample carries in its own NAL units (as "avc3" and "hev1"
    // streams do), each a whole NAL unit.
    QList<QByteArray> configParameterSets() const;
    QList<QByteArray> sampleParameterSets(const QByteArray& sample) const;

    // The picture that starts at `pos`; the file ends at `end`, and its
    // data at `dataEnd` (where a tail of zeros begins): a unit that runs
    // past either was cut off.
    // With `startOnly`, a picture whose first slice header is sound counts
    // as found, however its slices end (their size is then not known).
    Result picture(RMFileWindow& file, qint64 pos, qint64 end, qint64 dataEnd, const State& state,
                   Picture* out, bool startOnly = false) const;
    static void advance(const Picture& picture, State* state);
    // Where the last key picture (an H.264 IDR or HEVC IRAP picture) whose
    // first slice begins in [floor, before) and lies whole in the file
    // starts, looking back from `before`: the first of the units that open
    // it (parameter sets, SEI) or its first slice. -1 when there is none. A
    // guess, to be confirmed by a walk: slice data may look like a key
    // slice's header.
    qint64 keyPictureBefore(RMFileWindow& file, qint64 before, qint64 floor) const;

private:
    struct Nal {
        bool valid = false;
        bool vcl = false;
        bool firstSlice = false;  // starts a picture
        bool opensUnit = false;   // a non-VCL unit that opens an access unit
        bool key = false;
        int frameNum = -1;
        bool reference = false;
        int type = 0;
        // Whether this slice can belong to the same picture as `first`.
        bool samePicture(const Nal& first) const {
            return type == first.type && frameNum == first.frameNum && reference == first.reference;
        }
    };
    Nal _h264(const QByteArray& head, const State& state) const;
    Nal _hevc(const QByteArray& head) const;
    Nal _unit(const QByteArray& head) const;
    qint64 _keySliceAt(const uchar* unit, qint64 available) const;
    qint64 _openingUnitsBefore(RMFileWindow& file, qint64 start, qint64 floor) const;
    bool _addSps(const QByteArray& nal);
    bool _addPps(const QByteArray& nal);

    struct Sps {
        int log2MaxFrameNum = 4;
        bool separateColourPlane = false;
    };

    Codec _codec = CODEC_H264;
    int _lengthSize = 4;
    QByteArray _config;
    QMap<quint32, Sps> _sps;
    QMap<quint32, quint32> _ppsToSps;
};
