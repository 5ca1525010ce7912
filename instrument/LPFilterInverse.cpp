// Inverse one-pole recurrence; the state is the last scaled input s.
#include "instrument/LPFilterInverse.h"

void LPFilterInverse::process(float* samples, int32_t count) {
    double s1 = state;
    for (int32_t i = 0; i < count; ++i) {
        const double s = samples[i] / a;
        samples[i] = static_cast<float>(s + c * s1);
        s1 = s;
    }
    if (count > 0) state = s1;
}
