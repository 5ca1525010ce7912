// Pitch of a rendered tone, measured the way the sound tests measure it: from
// the first and last rising zero crossings, each placed between its two
// samples by linear interpolation, so that the result does not snap to whole
// sample periods.
#pragma once

#include <cstddef>
#include <vector>

namespace testsupport {

// Frequency of a periodic signal sampled at `rate`, from sample `from` on;
// 0 with fewer than two rising crossings.
template <class Sample>
double pitchByZeroCrossings(const std::vector<Sample>& x, double rate, size_t from = 0) {
    double first = -1.0, last = -1.0;
    int crossings = 0;
    for (size_t i = from + 1; i < x.size(); ++i) {
        if (x[i - 1] < 0 && x[i] >= 0) {
            const double t = double(i - 1) + double(x[i - 1]) / double(x[i - 1] - x[i]);
            if (first < 0.0) first = t;
            last = t;
            ++crossings;
        }
    }
    if (crossings < 2) return 0.0;
    return (crossings - 1) * rate / (last - first);
}

} // namespace testsupport
