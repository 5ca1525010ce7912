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
    const Plan p = plan(inFrames, outFrames);
    for (uint64_t c = 0; c < channels; ++c) {
        double a = y1[c], b = y2[c];
        float* out = output[c];
        auto run = [&](float value, uint64_t repeats) {
            const double x = gain * value;
            for (uint64_t k = 0; k < repeats; ++k) {
                const double y = x - c1 * a - c2 * b;
                b = a;
                a = y;
                *out++ = static_cast<float>(y * norm);
            }
        };
        run(held[c], p.carried);
        for (uint64_t i = 0; i < p.taken; ++i)
            run(input[c][i], i + 1 < p.taken ? factor : p.lastRepeats);
        if (p.taken > 0) held[c] = input[c][p.taken - 1];
        y1[c] = a;
        y2[c] = b;
    }
    finish(p);
    inFrames = p.taken;
    outFrames = p.produced;
    return p.taken;
}

void PWMProvider::reset() {
    SHProvider::reset();
    std::fill(std::begin(y1), std::end(y1), 0.0);
    std::fill(std::begin(y2), std::end(y2), 0.0);
}
