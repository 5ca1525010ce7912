// FM channel 3 of a console unit, which the YM2612 can run in a special mode:
// register 0x27 bits 6-7 = 01 give each operator its own block and F-number
// (registers 0xA9/0xAD, 0xAA/0xAE, 0xA8/0xAC for operators 1-3 and the
// channel's own 0xA2/0xA6 for operator 4), and bits 10 (CSM) additionally key
// the channel's operators at every overflow of timer A. The channel-3 settings
// give each operator block a coarse and fine offset from the played pitch or
// a fixed pitch at middle C; in CSM mode timer A runs at the played pitch.
#pragma once

#include "instrument/OPN2_sub.h"

class OPN2Ch3_sub : public OPN2_sub {
public:
    OPN2Ch3_sub(ChipSubWriter* writer, uint64_t unit, ChipSubShadow* mirror)
        : OPN2_sub(writer, unit, 2, mirror) {}

    void updateFrequency() override;
    void setKey(bool on, bool retrigger) override;

    // Frequency of a fixed-pitch operator: middle C.
    static constexpr double kFixedHz = 261.6255653005986;

    float cachedCents = 0.0f;
    double cachedRatio = 1.0;

private:
    double ratioOf(float cents);
    // Sets or clears bit 0 of 0x27 (timer A running), sent only when it changes.
    void setTimerARunning(bool running);
};
