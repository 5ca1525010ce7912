// DC blocker of a six-operator FM synthesizer's output: a state-variable
// filter with damping 1 / 0.7 (Q 0.7), of which the high-pass output is kept.
// Its tuning f = 2 sin(2 pi 10 / rate) puts the corner at about 20 Hz. The bypass flag leaves the
// samples untouched. Not created by this instrument; kept with the family.
#pragma once

#include "instrument/Filter.h"

class DX7DCBlocker : public Filter {
public:
    DX7DCBlocker() { setup(); }
    // hp = x - lp - q bp; bp += f hp; lp += f bp; output hp (double state).
    void process(float* samples, int32_t count) override;
    // f = min(0.9999, 2 sin(2 pi 10 / rate)), q = 1 / 0.7; a rate that is not
    // positive and finite keeps the previous tuning.
    void setup() override;

    bool bypass = false;
    double f = 0.0;
    double q = 1.0 / 0.7;
    double lp = 0.0;
    double bp = 0.0;
};
