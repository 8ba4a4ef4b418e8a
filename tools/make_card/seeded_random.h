#pragma once

#include <QtGlobal>

// A small deterministic generator (SplitMix64): the same seed gives the same
// sequence on every platform, unlike the standard distributions.
class SeededRandom {
public:
    explicit SeededRandom(quint64 seed) : m_state(seed) {}

    quint64 next();
    // Uniform in [0, 1).
    double unit();
    // Uniform in [low, high).
    double range(double low, double high) { return low + (high - low) * unit(); }
    // Uniform integer in [low, high].
    int between(int low, int high);
    bool chance(double probability) { return unit() < probability; }

private:
    quint64 m_state;
};
