// A rate provider for whole-number up-sampling by sample and hold: each input
// frame is repeated `factor` = output rate / input rate times. A call writes
// exactly the output frames asked for; when that cuts a held frame, the rest
// of its repeats are carried and written first by the next call. Not created
// by this instrument.
#pragma once

#include <cstdint>

#include "instrument/Provider.h"

class SHProvider : public Provider<float> {
public:
    // False, leaving the provider unable to produce, when the output rate is
    // not at least the input rate or a count is out of range.
    bool setup(uint64_t channels, uint64_t inputRate, uint64_t outputRate);

    // Writes at most outFrames frames: first the repeats carried from the
    // previous call, then `factor` repeats of each consumed input frame (the
    // last one perhaps cut, its remaining repeats carried).
    uint64_t process(const float* const* input, float* const* output, uint64_t& inFrames,
                     uint64_t& outFrames) override;
    // n / factor, at least 1.
    uint64_t inputNeeded(uint64_t outFrames) override;
    // Drops the carried repeats.
    void reset() override;
    int64_t inputLatency() override { return 0; }
    int64_t outputLatency() override { return 0; }

    static constexpr uint64_t kMaxChannels = 32;

    uint64_t factor = 1;
    uint64_t channels = 0;

protected:
    // How one call divides its output: `carried` repeats of the held frames
    // first, then `taken` input frames of which all but the last get `factor`
    // repeats and the last `lastRepeats` (1 to factor).
    struct Plan {
        uint64_t carried = 0;
        uint64_t taken = 0;
        uint64_t lastRepeats = 0;
        uint64_t produced = 0;
    };
    // The plan for a call; none before a successful set-up.
    Plan plan(uint64_t inFrames, uint64_t outFrames) const;
    // Keeps the repeats the plan leaves of its last input frame, whose value
    // per channel the caller has put in `held`.
    void finish(const Plan& p);

    uint64_t carriedRepeats = 0;   // repeats of `held` still to write
    float held[kMaxChannels] = {}; // the input frame being repeated
};
