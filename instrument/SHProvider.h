// A rate provider for whole-number up-sampling by sample and hold: each input
// frame is repeated `factor` = output rate / input rate times. It keeps no
// history. Not created by this instrument.
#pragma once

#include <cstdint>

#include "instrument/Provider.h"

class SHProvider : public Provider<float> {
public:
    // False, leaving the provider unable to produce, when the output rate is
    // not at least the input rate or a count is out of range.
    bool setup(uint64_t channels, uint64_t inputRate, uint64_t outputRate);

    // Holds every consumed input frame for `factor` output frames. Consumes at
    // most ceil(outFrames / factor) frames, so a held frame is never cut: the
    // output buffers must hold outFrames rounded up to a multiple of the
    // factor, and the caller keeps the frames beyond outFrames.
    uint64_t process(const float* const* input, float* const* output, uint64_t& inFrames,
                     uint64_t& outFrames) override;
    // n / factor, at least 1.
    uint64_t inputNeeded(uint64_t outFrames) override;
    void reset() override {}
    int64_t inputLatency() override { return 0; }
    int64_t outputLatency() override { return 0; }

    static constexpr uint64_t kMaxChannels = 32;

    uint64_t factor = 1;
    uint64_t channels = 0;

protected:
    // The input frames a call takes: all it has, up to ceil(outFrames /
    // factor); none before a successful set-up.
    uint64_t framesToTake(uint64_t inFrames, uint64_t outFrames) const;
};
