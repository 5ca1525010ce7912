// One-pole low-pass recurrence.
#include "instrument/LPFilter.h"

void LPFilter::process(float* samples, int32_t count) {
    double y = state;
    for (int32_t i = 0; i < count; ++i) {
        y = a * samples[i] - c * y;
        samples[i] = static_cast<float>(y);
    }
    if (count > 0) state = settled(y);
}
