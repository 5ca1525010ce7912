// One tone generator of the AY family. Time is counted in output samples: the
// 0/1 level flips whenever the counter reaches its toggle points. Each block is
// rendered into the generator's own sample buffer.
#pragma once

#include <cstdint>
#include <memory>

class AY_Tone {
public:
    explicit AY_Tone(uint32_t maxFrames);
    virtual ~AY_Tone();
    AY_Tone(const AY_Tone&) = delete;
    AY_Tone& operator=(const AY_Tone&) = delete;

    // Replaces the low byte of the period register and rescales.
    void writeFine(uint8_t data);
    // Replaces the high byte of the period register with `data & mask` and rescales.
    void writeCoarse(uint8_t data, uint8_t mask);
    // scaledPeriod = max(1, periodRegister) * periodScale (plus its share of
    // scaleFraction); a counter at or beyond the new period restarts at 0.
    void rescale();

    // Square wave with equal halves of scaledPeriod samples; with a scale
    // fraction each half takes its own whole number of samples, averaging the
    // exact length.
    void renderBlock(uint64_t frames);
    // AY8930 expanded mode: a cycle of 2 * scaledPeriod samples whose first
    // level lasts dutyTogglePoint() samples.
    void renderDutyBlock(uint64_t frames);
    uint64_t dutyTogglePoint() const;

    uint64_t scaledPeriod = 0; // samples per half cycle; 0 until the first period write
    uint64_t counter = 0;      // samples counted in the current half cycle
    uint64_t output = 0;       // current level, 0 or 1
    uint16_t periodRegister = 1;
    uint64_t periodScale = 1;
    uint32_t scaleFraction = 0; // a count lasts periodScale + scaleFraction / 2^32 samples
    uint32_t scaleCarry = 0;    // the part of a sample the halves so far left over
    uint64_t dutySelector = 0;  // 0..15, expanded mode only
    std::unique_ptr<uint32_t[]> samples;
};
