// One-pole low-pass over float blocks: y = a x - c y1, that is
// (1 - b) x + b y1 with b = exp(-2 pi cutoff / rate). The instrument runs one
// per channel on the chip-rate output before resampling, at 100 Hz, to lift
// the low end that the inverse filter after resampling takes back out.
#pragma once

#include "instrument/Filter.h"

class LPFilter : public Filter {
public:
    // Double-precision recurrence; outputs rounded to float, state unrounded.
    void process(float* samples, int32_t count) override;
};
