// A tone channel of a console unit's PSG (the SN76489-type "DCSG" on port 2
// of the unit): pitch becomes the 10-bit period of the channel's square wave
// (clock / 32 / frequency), velocity squared times amplitude becomes the
// 4-bit attenuation (2 dB steps). Every byte goes to the writer as a PSG
// command byte (address 0, port 2); the PSG has no register mirror.
#pragma once

#include <cstdint>

#include "instrument/ChipSubController.h"

class DCSG_tone_sub : public ChipSubController {
public:
    DCSG_tone_sub(ChipSubWriter* writer, uint32_t value, uint64_t unit, uint8_t channel)
        : ChipSubController(writer, unit, channel, nullptr), value(value) {}

    bool refreshAll() override { return true; }
    // divided clock = clock / 32 (the PSG's tone counter rate).
    void setClock(float clock) override;
    void noteOn(float velocity) override;
    void noteOff() override {}
    void retrigger() override {}
    void setVelocity(float velocity) override { noteOn(velocity); }
    // Frequencies below 1 Hz write nothing; periods above 1023 drop by octaves.
    void setFrequency(float hz) override;
    void setAmplitude(float a) override;

    // Sends the attenuation byte from the stored velocity and amplitude.
    void rewrite() { writeAttenuationOf(velocitySquared * amplitude); }
    // Sends attenuation `value` (0 loudest, 15 silent) directly.
    void writeAttenuation(uint8_t value);
    // 4-bit attenuation of a linear level 0..1: 2 dB per step.
    static uint8_t attenuationOf(float level);

    uint32_t value; // from the group builder; not read here
    float velocitySquared = 0.0f;
    float amplitude = 1.0f;
    double dividedClock = 3579545.0 / 32.0;

protected:
    void writeAttenuationOf(float level) { writeAttenuation(attenuationOf(level)); }
    void writePsg(uint8_t byte);
};
