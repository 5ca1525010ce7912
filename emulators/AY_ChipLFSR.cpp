#include "emulators/AY_ChipLFSR.h"

#include "emulators/AY_BlockOps.h"
#include "emulators/FrameScale.h"

ChipLFSR::ChipLFSR(uint32_t maxFrames) : samples(new uint32_t[maxFrames]()) {}

ChipLFSR::~ChipLFSR() = default;

void ChipLFSR::configureAYNoise(uint64_t scale) {
    tapCount = 2;
    taps[0] = 0x1;
    taps[1] = 0x4;
    shiftRegister = 0x10000;
    feedbackMask = 0x10000;
    minimumPeriod = 1;
    maximumPeriod = 31;
    amplitude = 1;
    periodScale = scale;
}

void ChipLFSR::setPeriod(uint32_t value) {
    if (value < minimumPeriod)
        value = minimumPeriod;
    else if (value > maximumPeriod)
        value = maximumPeriod;
    periodValue = value;
    scaledPeriod = scaledLength(value, periodScale, scaleFraction, scaleCarry);
    if (counter >= scaledPeriod) counter = 0;
}

void ChipLFSR::setScale(uint64_t whole, uint32_t fraction) {
    periodScale = whole;
    scaleFraction = fraction;
    if (periodValue != 0) setPeriod(periodValue);
}

void ChipLFSR::shift() {
    uint32_t parity = 0;
    const uint32_t n = tapCount < 32 ? tapCount : 32;
    for (uint32_t i = 0; i < n; ++i) parity ^= (shiftRegister & taps[i]) != 0 ? 1u : 0u;
    output = shiftRegister & 1;
    shiftRegister >>= 1;
    if (parity) shiftRegister |= feedbackMask;
    counter = 0;
    if (scaleFraction)
        scaledPeriod = scaledLength(periodValue, periodScale, scaleFraction, scaleCarry);
}

uint32_t ChipLFSR::step() {
    const uint32_t sample = uint32_t(output) * amplitude;
    if (++counter == scaledPeriod) shift();
    return sample;
}

// The sample on which the counter reaches the period still carries the old
// output; the distance is taken modulo 2^64, so 0 means the shift never comes.
void ChipLFSR::renderBlock(uint64_t frames) {
    uint32_t* dst = samples.get();
    while (frames > 0) {
        const uint64_t untilShift = scaledPeriod - counter;
        const uint32_t sample = uint32_t(output) * amplitude;
        if (untilShift == 0 || untilShift > frames) {
            ay_ops::fill(dst, frames, sample);
            counter += frames;
            return;
        }
        ay_ops::fill(dst, untilShift, sample);
        dst += untilShift;
        frames -= untilShift;
        shift();
    }
}
