// Board output designs per chip revision, and their cascade.
#include "instrument/SIDOutputFilter.h"

namespace {

using S = BiquadShape;
constexpr BiquadDesign kFlat = {S::Flat, 1000.0, 0.707, 0.0};

const BiquadDesign kFirstRevision[SIDOutputFilter::kSections] = {
    {S::HighPass, 16.0, 0.707, 0.0},
    {S::LowShelf, 120.0, 0.707, 1.0},
    {S::HighShelf, 5000.0, 0.707, -3.0},
    {S::LowPass, 16000.0, 0.707, 0.0},
};
const BiquadDesign kLaterRevision[SIDOutputFilter::kSections] = {
    {S::HighPass, 16.0, 0.707, 0.0},
    {S::HighShelf, 8000.0, 0.707, -1.0},
    {S::LowPass, 18000.0, 0.707, 0.0},
    kFlat,
};
const BiquadDesign kPlain[SIDOutputFilter::kSections] = {
    {S::HighPass, 16.0, 0.707, 0.0},
    {S::LowPass, 16000.0, 0.707, 0.0},
    kFlat,
    kFlat,
};

} // namespace

void SIDOutputFilter::setup() {
    const BiquadDesign* design = mode == 1 ? kFirstRevision : mode == 2 ? kLaterRevision : kPlain;
    for (int k = 0; k < kSections; ++k) {
        designBiquad(sections[k], design[k], rate);
        sections[k].clear();
    }
}

void SIDOutputFilter::process(float* samples, int32_t count) {
    for (BiquadSection& s : sections)
        for (int32_t i = 0; i < count; ++i) samples[i] = s.run(samples[i]);
}
