// Output stage of a console sound processor that renders at 32 kHz through
// a DAC and an analog amplifier: four second-order sections in cascade, in
// direct form I with float state. The design models the coupling capacitor
// (high-pass), a little warmth in the bass, the dulled treble of the
// interpolating sound processor (high shelf) and the output's low-pass.
// Not created by this instrument; kept with the family.
#pragma once

#include "instrument/Filter.h"

class SPCFilter : public Filter {
public:
    SPCFilter() { setup(); }
    // Runs the four sections over the block in place.
    void process(float* samples, int32_t count) override;
    // Designs the four sections for `rate` and clears their state.
    void setup() override;

    static constexpr int kSections = 4;
    BiquadSection sections[kSections];
};
