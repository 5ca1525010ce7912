// Exact inverse of an LPFilter with the same cutoff and rate: s = x / a,
// y = s + c s1, that is (x - b x1) / (1 - b). The instrument runs one per
// channel at the host rate after resampling (above 48 kHz at the base rate,
// before the upsampling stage), so the chip-rate low-pass leaves the audible
// band flat while it shaped what the resampler saw.
#pragma once

#include "instrument/Filter.h"

class LPFilterInverse : public Filter {
public:
    // Double-precision recurrence; outputs rounded to float, state unrounded.
    void process(float* samples, int32_t count) override;
};
