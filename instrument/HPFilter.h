// One-pole high-pass over float blocks: the input minus its one-pole low-pass
// (l = a x - c l1, output x - l). The instrument runs one per channel at the
// host rate as the last stage, at 7.5 Hz, to keep DC off the output.
#pragma once

#include "instrument/Filter.h"

class HPFilter : public Filter {
public:
    // Double-precision recurrence; outputs rounded to float, state unrounded.
    void process(float* samples, int32_t count) override;
};
