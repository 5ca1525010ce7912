// A rate provider by polynomial interpolation, meant for reducing a high chip
// rate: input frames are queued behind a lead of six silent frames, and each
// output frame is the chosen interpolator evaluated at positions 2.0,
// 2.0 + ratio, 2.0 + 2 ratio, ... into the queue (ratio = input rate /
// output rate); the frames passed over are then dropped. The fraction of the
// next position is carried to the next call so the pitch stays exact. Not
// created by this instrument.
//
// Interpolators: 0 the frame at floor(t); 1 the nearest frame; 2 linear;
// 3 four-point third-order (Catmull-Rom); 4 four-point fifth-order (quintic
// Hermite on central-difference slopes and curvatures); 5 six-point
// fifth-order (Lagrange).
#pragma once

#include <cstdint>

#include "instrument/Provider.h"
#include "instrument/SampleQueue.h"

class DecimationProvider : public Provider<float> {
public:
    // Sizes the queue for `capacityFrames` input frames. False, leaving the
    // provider unable to produce, for a rate of 0, an interpolator outside
    // 0-5 or a queue that cannot be set up.
    bool setup(uint64_t channels, uint64_t inputRate, uint64_t outputRate, int32_t interpolator,
               uint64_t capacityFrames);

    // Queues the input (when it does not fit, the queue is cleared first and
    // only what fits is taken), then produces up to outFrames frames, fewer
    // when the queue runs out.
    uint64_t process(const float* const* input, float* const* output, uint64_t& inFrames,
                     uint64_t& outFrames) override;
    // n x ratio truncated toward zero; 0 becomes 1.
    uint64_t inputNeeded(uint64_t outFrames) override;
    // Clears the queue back to its silent lead.
    void reset() override;
    int64_t inputLatency() override { return 6; }
    int64_t outputLatency() override { return 0; }

    static constexpr uint64_t kLead = 6;

    double ratio = 1.0;
    uint64_t channels = 0;
    int32_t interpolator = 0;
    double phase = 0.0; // fraction of the next position past 2.0
    SampleQueue<float> queue;
};
