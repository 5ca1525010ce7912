// The rate provider the instrument uses: a thin owner of one speexdsp
// resampler. set-up reduces the two whole-hertz rates by their greatest common
// divisor and tunes the resampler to them; process runs it over every channel
// in turn. The resampler state is created by the first set-up, sized for a
// 192000 : 1024 conversion, and kept by later set-ups, which only change its
// quality and rates; its channel count never changes.
#pragma once

#include <cstdint>

#include "instrument/Provider.h"

struct SpeexResamplerState_;

class SpeexProvider : public Provider<float> {
public:
    SpeexProvider() = default;
    ~SpeexProvider() override;
    SpeexProvider(const SpeexProvider&) = delete;
    SpeexProvider& operator=(const SpeexProvider&) = delete;

    // Tunes the resampler to inputRate -> outputRate at `quality` (0-10);
    // skipZeros non-zero drops the filter's leading silence. A set-up that
    // fails (no channels or more than kMaxChannels, a rate of 0 or above
    // 2^32 - 1, a quality outside 0-10, another channel count than the
    // existing state's, or speexdsp refusing) returns false and leaves the
    // provider as new, without a state: it then produces nothing.
    bool setup(uint64_t channels, uint64_t inputRate, uint64_t outputRate, int32_t quality,
               int32_t skipZeros);

    // Runs every channel from the caller's two counts; the counts receive the
    // last channel's consumed and produced frames (all channels move alike).
    uint64_t process(const float* const* input, float* const* output, uint64_t& inFrames,
                     uint64_t& outFrames) override;
    // n x ratio truncated toward zero; 0 becomes 1.
    uint64_t inputNeeded(uint64_t outFrames) override;
    // Clears the resampler's history.
    void reset() override;
    int64_t inputLatency() override { return inLatency; }
    int64_t outputLatency() override { return outLatency; }

    // The resampler state, null before the first set-up and after a failed one.
    SpeexResamplerState_* resampler() const { return state; }

    static constexpr uint64_t kMaxChannels = 32;

    double ratio = 1.0; // input rate / output rate
    uint64_t reducedInputRate = 1;
    uint64_t reducedOutputRate = 1;
    uint64_t channels = 0;
    int64_t inLatency = 0;
    int64_t outLatency = 0;

private:
    void clear();

    SpeexResamplerState_* state = nullptr;
};

// Greatest common divisor by Stein's binary algorithm; gcd(a, 0) = a.
uint64_t steinGcd(uint64_t a, uint64_t b);
