// Held up-sampling through a two-pole resonant smoothing section.
#include "instrument/PWMProvider.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numbers>

bool PWMProvider::setup(uint64_t channelCount, uint64_t inputRate, uint64_t outputRate) {
    if (!SHProvider::setup(channelCount, inputRate, outputRate)) return false;
    const double period = static_cast<double>(std::max<uint64_t>(4, 2 * factor));
    const double w = 2.0 * std::numbers::pi / period;
    const double alpha = std::sin(w) / 8.0;
    gain = 1.0 / (1.0 + alpha);
    c1 = -2.0 * std::cos(w) / (1.0 + alpha);
    c2 = (1.0 - alpha) / (1.0 + alpha);
    norm = 2.0 - 2.0 * std::cos(w);
    reset();
    return true;
}

uint64_t PWMProvider::process(const float* const* input, float* const* output, uint64_t& inFrames,
                              uint64_t& outFrames) {
    const uint64_t taken = framesToTake(inFrames, outFrames);
    for (uint64_t c = 0; c < channels; ++c) {
        double a = y1[c], b = y2[c];
        float* out = output[c];
        for (uint64_t i = 0; i < taken; ++i) {
            const double x = gain * input[c][i];
            for (uint64_t k = 0; k < factor; ++k) {
                const double y = x - c1 * a - c2 * b;
                b = a;
                a = y;
                *out++ = static_cast<float>(y * norm);
            }
        }
        y1[c] = a;
        y2[c] = b;
    }
    inFrames = taken;
    outFrames = taken * factor;
    return taken;
}

void PWMProvider::reset() {
    std::fill(std::begin(y1), std::end(y1), 0.0);
    std::fill(std::begin(y2), std::end(y2), 0.0);
}
