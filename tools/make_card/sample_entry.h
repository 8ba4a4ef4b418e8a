#pragma once

#include <QByteArray>
#include <QtGlobal>

// Builds the sample description entries ("stsd" children) of the tracks the
// card's recordings carry.
class SampleEntry {
public:
    // H.264 video with its decoder configuration ("avcC") made from one
    // sequence and one picture parameter set (NAL units without start codes).
    static QByteArray avc1(int width, int height, const QByteArray& sps, const QByteArray& pps);
    // AAC audio; `audioConfig` is the encoder's global header.
    static QByteArray mp4a(int sampleRate, int channels, quint32 bitRate,
                           const QByteArray& audioConfig);
    // A private data format: a bare entry of the given type.
    static QByteArray data(const char* type);
};
