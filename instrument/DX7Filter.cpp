// The seven model voicings and the default, and the cascade that runs them.
#include "instrument/DX7Filter.h"

namespace {

using S = BiquadShape;
constexpr BiquadDesign kFlat = {S::Flat, 1000.0, 0.707, 0.0};

const BiquadDesign kDesigns[8][DX7Filter::kSections] = {
    // 0: first-generation keyboard: dark 12 kHz output, slight low-mid bump
    {{S::HighPass, 20.0, 0.707, 0.0},
     {S::LowPass, 12000.0, 0.707, 0.0},
     {S::Peaking, 200.0, 1.0, 1.5},
     {S::HighShelf, 6000.0, 0.707, -2.0},
     kFlat,
     kFlat},
    // 1: second generation: cleaner converter, wider band
    {{S::HighPass, 15.0, 0.707, 0.0},
     {S::LowPass, 16000.0, 0.707, 0.0},
     {S::Peaking, 150.0, 1.0, 1.0},
     {S::HighShelf, 8000.0, 0.707, -1.0},
     kFlat,
     kFlat},
    // 2: rack module: nearly flat to 18 kHz
    {{S::HighPass, 15.0, 0.707, 0.0},
     {S::LowPass, 18000.0, 0.707, 0.0},
     kFlat,
     kFlat,
     kFlat,
     kFlat},
    // 3: four-operator rack: steep 9-11 kHz low-pass, forward mids
    {{S::HighPass, 25.0, 0.707, 0.0},
     {S::LowPass, 9000.0, 0.707, 0.0},
     {S::LowPass, 11000.0, 0.707, 0.0},
     {S::Peaking, 400.0, 0.8, 2.0},
     {S::HighShelf, 3000.0, 0.707, -3.0},
     kFlat},
    // 4: small home keyboard: thin bass, presence peak, narrow band
    {{S::HighPass, 60.0, 0.707, 0.0},
     {S::Peaking, 1200.0, 0.7, 3.0},
     {S::LowPass, 7000.0, 0.707, 0.0},
     {S::LowPass, 8000.0, 0.707, 0.0},
     {S::HighShelf, 2500.0, 0.707, -4.0},
     kFlat},
    // 5: compact four-operator keyboard
    {{S::HighPass, 30.0, 0.707, 0.0},
     {S::LowPass, 10000.0, 0.707, 0.0},
     {S::Peaking, 300.0, 1.0, 1.5},
     {S::HighShelf, 4000.0, 0.707, -2.5},
     kFlat,
     kFlat},
    // 6: bright later model
    {{S::HighPass, 20.0, 0.707, 0.0},
     {S::HighShelf, 5000.0, 0.707, 3.0},
     {S::LowShelf, 120.0, 0.707, -1.0},
     {S::LowPass, 19000.0, 0.707, 0.0},
     kFlat,
     kFlat},
    // default: DC blocking only
    {{S::HighPass, 10.0, 0.707, 0.0}, kFlat, kFlat, kFlat, kFlat, kFlat},
};

} // namespace

void DX7Filter::setup() {
    const BiquadDesign* design = kDesigns[(mode >= 0 && mode <= 6) ? mode : 7];
    activeSections = 0;
    for (int k = 0; k < kSections; ++k) {
        designBiquad(sections[k], design[k], rate);
        sections[k].clear();
        if (design[k].shape != BiquadShape::Flat) activeSections = k + 1;
    }
    bypass = false;
}

void DX7Filter::process(float* samples, int32_t count) {
    if (count <= 0) return;
    if (!hold) lastInput = samples[count - 1];
    if (bypass) return;
    for (int32_t k = 0; k < activeSections; ++k) {
        BiquadSection& s = sections[k];
        for (int32_t i = 0; i < count; ++i) samples[i] = s.run(samples[i]);
    }
}
