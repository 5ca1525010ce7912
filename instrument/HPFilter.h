// One-pole high-pass over float blocks: the input minus its one-pole low-pass
// (l = a x - c l1, output x - l). The instrument runs one per channel at the
// host rate as the last stage, at 7.5 Hz, to keep DC off the output.
#pragma once

#include "instrument/Filter.h"

class HPFilter : public Filter {
public:
    // Double-precision recurrence; outputs rounded to float, state unrounded.
    void process(float* samples, int32_t count) override;
    // Advances the state as process() would over `count` zero samples,
    // without producing them (the output of a silent block that could not
    // run the filter).
    void skipSilence(uint64_t count);
};
