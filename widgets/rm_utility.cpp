#include "widgets/rm_utility.h"

float RMUtility::range(float inMin, float inMax, float outMin, float outMax, float value) {
    if (inMax == inMin) {
        return outMin;
    }
    return (value - inMin) * (outMax - outMin) / (inMax - inMin) + outMin;
}
