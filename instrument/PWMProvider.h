// A rate provider for whole-number up-sampling that smooths the held input:
// each input frame is held for `factor` = output rate / input rate frames and
// the held signal drives, per channel, a two-pole resonant low-pass tuned to
// a period of p = max(4, 2 x factor) output frames, that is to the input's
// Nyquist frequency. With w = 2 pi / p and alpha = sin(w) / 8 the section is
// y = g x - c1 y1 - c2 y2, g = 1 / (1 + alpha), c1 = -2 cos(w) / (1 + alpha),
// c2 = (1 - alpha) / (1 + alpha); its output is scaled by 2 - 2 cos(w) so a
// constant passes at unity gain. Not created by this instrument.
#pragma once

#include <cstdint>

#include "instrument/SHProvider.h"

// The held signal, its factor, channel count and input needs are those of
// the sample-and-hold provider; this one adds the smoothing sections.
class PWMProvider : public SHProvider {
public:
    // False, leaving the provider unable to produce, when the output rate is
    // not at least the input rate or a count is out of range.
    bool setup(uint64_t channels, uint64_t inputRate, uint64_t outputRate);

    // Writes at most outFrames smoothed frames, dividing them between the
    // carried repeats and the input frames as the sample-and-hold provider
    // does; the sections run once per written frame.
    uint64_t process(const float* const* input, float* const* output, uint64_t& inFrames,
                     uint64_t& outFrames) override;
    // Zeroes the filter states and drops the carried repeats.
    void reset() override;

    double gain = 1.0, c1 = 0.0, c2 = 0.0, norm = 1.0;
    double y1[kMaxChannels] = {};
    double y2[kMaxChannels] = {};
};
