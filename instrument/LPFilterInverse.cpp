// Inverse one-pole recurrence; the state is the last scaled input s.
#include "instrument/LPFilterInverse.h"

void LPFilterInverse::process(float* samples, int32_t count) {
    double s1 = state;
    for (int32_t i = 0; i < count; ++i)
        samples[i] = static_cast<float>(inverseLowPassStep<double>(samples[i], s1, a, c));
    if (count > 0) state = s1;
}
