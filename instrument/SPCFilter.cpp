// Section table and cascade of the 32 kHz console output stage.
#include "instrument/SPCFilter.h"

namespace {

const BiquadDesign kSpcDesign[SPCFilter::kSections] = {
    {BiquadShape::HighPass, 20.0, 0.707, 0.0},     // output coupling capacitor
    {BiquadShape::LowShelf, 250.0, 0.707, 1.5},    // amplifier warmth
    {BiquadShape::HighShelf, 4000.0, 0.707, -4.0}, // interpolation dulls the top
    {BiquadShape::LowPass, 14000.0, 0.6, 0.0},     // analog reconstruction
};

} // namespace

void SPCFilter::setup() {
    for (int k = 0; k < kSections; ++k) {
        designBiquad(sections[k], kSpcDesign[k], rate);
        sections[k].clear();
    }
}

void SPCFilter::process(float* samples, int32_t count) {
    for (BiquadSection& s : sections)
        for (int32_t i = 0; i < count; ++i) samples[i] = s.run(samples[i]);
}
