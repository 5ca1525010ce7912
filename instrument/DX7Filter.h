// Output voicing of a six-operator FM synthesizer family: up to six
// second-order sections in cascade (coefficients and direct-form-I state, nine
// floats each). `mode` picks one of seven model designs (0-6); other values
// give the default design, which only blocks DC. Each design rolls off the
// DAC's images with the model's analog low-pass and shapes the tone with
// shelves and a presence peak. The bypass flag leaves the samples untouched;
// unless `hold` is set, the block's last input sample is remembered in
// `lastInput`. Not created by this instrument; kept with the family.
#pragma once

#include "instrument/Filter.h"

class DX7Filter : public Filter {
public:
    DX7Filter() { setup(); }
    // Runs the active sections over the block in place.
    void process(float* samples, int32_t count) override;
    // Builds the six sections of design `mode` at `rate`, clears their state
    // and the bypass flag.
    void setup() override;

    static constexpr int kSections = 6;
    BiquadSection sections[kSections];
    int32_t activeSections = 0; // leading sections in use; flat ones are skipped
    bool bypass = false;
    bool hold = false;
    float lastInput = 0.0f;
    int32_t mode = 0;
};
