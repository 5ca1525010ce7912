// Output stage of a home computer's sound interface device: four second-order
// sections in cascade with float state. `mode` 1 models the first chip
// revision's board (darker top, a little low-end lift), 2 the later revision's
// cleaner board; other values give a plain band limit. Every design blocks DC
// with the board's coupling capacitor. Not created by this instrument; kept
// with the family.
#pragma once

#include "instrument/Filter.h"

class SIDOutputFilter : public Filter {
public:
    SIDOutputFilter() { setup(); }
    // Runs the four sections over the block in place.
    void process(float* samples, int32_t count) override;
    // Designs the sections of `mode` at `rate` and clears their state.
    void setup() override;

    static constexpr int kSections = 4;
    BiquadSection sections[kSections];
    int32_t mode = 0;
};
