// One-pole high-pass recurrence: input minus the low-passed input.
#include "instrument/HPFilter.h"

void HPFilter::process(float* samples, int32_t count) {
    double l = state;
    for (int32_t i = 0; i < count; ++i)
        samples[i] = static_cast<float>(highPassStep<double>(samples[i], l, a, c));
    if (count > 0) state = settled(l);
}

void HPFilter::skipSilence(uint64_t count) {
    double l = state;
    // Once settled the state stays zero: the loop stops there.
    for (uint64_t i = 0; i < count && std::fabs(l) >= kSilentState; ++i) {
        const double x = 0.0;
        l = a * x - c * l;
    }
    state = settled(l);
}
