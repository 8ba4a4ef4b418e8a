#pragma once

#include <QtGlobal>
#include <array>
#include <cstdint>

// Grain like a camera sensor's: fresh noise in every picture, so that every
// frame has fine detail for the encoder to code and nothing to predict it
// from. The same seed gives the same grain.
class FrameGrain {
public:
    // `amplitude`: the largest change of a sample, 1 to 60.
    explicit FrameGrain(int amplitude);

    // Adds grain to one plane of 8-bit samples.
    void addTo(uint8_t* plane, int linesize, int width, int height, quint64 seed) const;

private:
    // Offsets by random byte: a triangular spread, most of them small.
    std::array<int, 256> m_offsets{};
};
