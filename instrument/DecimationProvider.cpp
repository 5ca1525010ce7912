// Queue-and-interpolate rate conversion with six interpolators.
#include "instrument/DecimationProvider.h"

#include <algorithm>
#include <cmath>

namespace {

// Frames each interpolator reads past floor(t).
constexpr uint64_t kLookAhead[6] = {0, 1, 1, 2, 2, 3};

float interpolate(int32_t kind, const float* x, double t) {
    const auto i = static_cast<uint64_t>(t);
    const double f = t - static_cast<double>(i);
    switch (kind) {
    case 0:
        return x[i];
    case 1:
        return x[static_cast<uint64_t>(t + 0.5)];
    case 2:
        return static_cast<float>(x[i] + f * (x[i + 1] - x[i]));
    case 3: { // Catmull-Rom through x[i-1] .. x[i+2]
        const double xm1 = x[i - 1], x0 = x[i], x1 = x[i + 1], x2 = x[i + 2];
        return static_cast<float>(x0 + 0.5 * f *
                                           (x1 - xm1 +
                                            f * (2.0 * xm1 - 5.0 * x0 + 4.0 * x1 - x2 +
                                                 f * (3.0 * (x0 - x1) + x2 - xm1))));
    }
    case 4: { // quintic Hermite: values, slopes and curvatures at both ends
        const double xm1 = x[i - 1], x0 = x[i], x1 = x[i + 1], x2 = x[i + 2];
        const double d0 = 0.5 * (x1 - xm1), d1 = 0.5 * (x2 - x0);
        const double s0 = x1 - 2.0 * x0 + xm1, s1 = x2 - 2.0 * x1 + x0;
        const double f2 = f * f, f3 = f2 * f, f4 = f3 * f, f5 = f4 * f;
        return static_cast<float>(
            (1.0 - 10.0 * f3 + 15.0 * f4 - 6.0 * f5) * x0 +
            (f - 6.0 * f3 + 8.0 * f4 - 3.0 * f5) * d0 +
            (0.5 * f2 - 1.5 * f3 + 1.5 * f4 - 0.5 * f5) * s0 + (0.5 * f3 - f4 + 0.5 * f5) * s1 +
            (-4.0 * f3 + 7.0 * f4 - 3.0 * f5) * d1 + (10.0 * f3 - 15.0 * f4 + 6.0 * f5) * x1);
    }
    default: { // Lagrange through the six frames x[i-2] .. x[i+3]
        double sum = 0.0;
        for (int k = -2; k <= 3; ++k) {
            double w = 1.0;
            for (int j = -2; j <= 3; ++j)
                if (j != k) w *= (f - j) / double(k - j);
            sum += w * x[static_cast<int64_t>(i) + k];
        }
        return static_cast<float>(sum);
    }
    }
}

} // namespace

bool DecimationProvider::setup(uint64_t channelCount, uint64_t inputRate, uint64_t outputRate,
                               int32_t interpolatorIndex, uint64_t capacityFrames) {
    channels = 0;
    phase = 0.0;
    if (inputRate == 0 || outputRate == 0 || interpolatorIndex < 0 || interpolatorIndex > 5 ||
        capacityFrames == 0 || !queue.setup(channelCount, capacityFrames + kLead, kLead))
        return false;
    channels = channelCount;
    ratio = static_cast<double>(inputRate) / static_cast<double>(outputRate);
    interpolator = interpolatorIndex;
    return true;
}

uint64_t DecimationProvider::process(const float* const* input, float* const* output,
                                     uint64_t& inFrames, uint64_t& outFrames) {
    if (channels == 0) {
        inFrames = outFrames = 0;
        return 0;
    }
    uint64_t taken = inFrames;
    if (taken > queue.capacity - queue.fill) {
        queue.clear();
        taken = std::min(taken, queue.capacity - queue.fill);
    }
    queue.append(input, taken);

    // Positions start at 2.0 plus the carried fraction; stop before one would
    // read past the queued frames.
    const double start = 2.0 + phase;
    const uint64_t look = kLookAhead[interpolator];
    uint64_t produced = 0;
    while (produced < outFrames) {
        const double t = start + static_cast<double>(produced) * ratio;
        if (static_cast<uint64_t>(t) + look >= queue.fill) break;
        ++produced;
    }
    for (uint64_t c = 0; c < channels; ++c) {
        const float* x = queue.channel(c);
        float* out = output[c];
        for (uint64_t j = 0; j < produced; ++j)
            out[j] = interpolate(interpolator, x, start + static_cast<double>(j) * ratio);
    }

    const double next = start + static_cast<double>(produced) * ratio;
    const double whole = std::floor(next);
    phase = next - whole;
    queue.drop(static_cast<uint64_t>(whole) - 2);

    inFrames = taken;
    outFrames = produced;
    return taken;
}

uint64_t DecimationProvider::inputNeeded(uint64_t outFrames) {
    return inputFramesForRatio(outFrames, ratio);
}

void DecimationProvider::reset() {
    queue.clear();
    phase = 0.0;
}
