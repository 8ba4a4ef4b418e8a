#pragma once

class RMUtility {
public:
    // Maps value linearly from [inMin, inMax] to [outMin, outMax]. A
    // degenerate input range maps everything to outMin.
    static float range(float inMin, float inMax, float outMin, float outMax, float value);
};
