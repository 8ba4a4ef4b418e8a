#include "seeded_random.h"

quint64 SeededRandom::next() {
    quint64 z = (m_state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

double SeededRandom::unit() {
    return double(next() >> 11) * (1.0 / 9007199254740992.0);
}

int SeededRandom::between(int low, int high) {
    if (high <= low) {
        return low;
    }
    return low + int(next() % quint64(high - low + 1));
}
