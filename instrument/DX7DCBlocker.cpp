// State-variable high-pass at 10 Hz.
#include "instrument/DX7DCBlocker.h"

#include <algorithm>
#include <cmath>
#include <numbers>

void DX7DCBlocker::setup() {
    if (!(std::isfinite(rate) && rate > 0.0)) return;
    f = std::min(0.9999, 2.0 * std::sin(2.0 * std::numbers::pi * 10.0 / rate));
    q = 1.0 / 0.7;
}

void DX7DCBlocker::process(float* samples, int32_t count) {
    if (bypass) return;
    double low = lp, band = bp;
    for (int32_t i = 0; i < count; ++i) {
        const double hp = samples[i] - low - q * band;
        band += f * hp;
        low += f * band;
        samples[i] = static_cast<float>(hp);
    }
    lp = low;
    bp = band;
}
