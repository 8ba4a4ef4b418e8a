#include "frame_grain.h"

#include <algorithm>

#include "seeded_random.h"

FrameGrain::FrameGrain(int amplitude) {
    const int a = std::clamp(amplitude, 1, 60);
    for (int b = 0; b < 256; ++b) {
        // The sum of two uniform nibbles, centred: -15 to 15.
        m_offsets[size_t(b)] = ((b & 15) + (b >> 4) - 15) * a / 15;
    }
}

void FrameGrain::addTo(uint8_t* plane, int linesize, int width, int height, quint64 seed) const {
    SeededRandom random(seed);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = plane + qsizetype(y) * linesize;
        quint64 bits = 0;
        for (int x = 0; x < width; ++x) {
            if (x % 8 == 0) {
                bits = random.next();
            }
            const int v = row[x] + m_offsets[bits & 0xFF];
            row[x] = uint8_t(std::clamp(v, 0, 255));
            bits >>= 8;
        }
    }
}
