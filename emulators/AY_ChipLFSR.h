// ChipLFSR: a general multi-tap linear-feedback shift register used as a noise
// generator. Every scaledPeriod samples the register shifts right by one; the
// bit shifted out becomes the output, and when the parity of the tapped bits is
// 1 the feedback mask is OR-ed in.
#pragma once

#include <cstdint>
#include <memory>

class ChipLFSR {
public:
    explicit ChipLFSR(uint32_t maxFrames);
    virtual ~ChipLFSR();
    ChipLFSR(const ChipLFSR&) = delete;
    ChipLFSR& operator=(const ChipLFSR&) = delete;

    // The AY noise: a 17-bit register fed back at bit 16 with bit 0 XOR bit 2,
    // periods 1 to 31.
    void configureAYNoise(uint64_t scale);

    // Clamps `value` to [minimumPeriod, maximumPeriod] and scales it; a counter
    // at or beyond the new period restarts at 0.
    void setPeriod(uint32_t value);
    // A count lasts `whole` samples plus fraction / 2^32; a period in force
    // takes the new length at once.
    void setScale(uint64_t whole, uint32_t fraction);

    // Fills `frames` samples of output * amplitude.
    void renderBlock(uint64_t frames);
    // One sample of the same sequence: returns output * amplitude and advances.
    uint32_t step();

    uint32_t taps[32] = {};
    uint32_t amplitude = 255;
    uint64_t scaledPeriod = 0; // samples per shift; 0 = never shifts
    uint64_t counter = 0;
    uint64_t output = 1;
    uint64_t periodScale = 1;
    uint32_t scaleFraction = 0; // with a fraction, each shift takes its own whole length
    uint32_t scaleCarry = 0;
    uint32_t periodValue = 0; // the clamped period; 0 until the first write
    uint32_t shiftRegister = 0;
    uint32_t feedbackMask = 0;
    uint32_t tapCount = 0;
    uint32_t minimumPeriod = 1;
    uint32_t maximumPeriod = 2;
    std::unique_ptr<uint32_t[]> samples;

private:
    void shift();
};
