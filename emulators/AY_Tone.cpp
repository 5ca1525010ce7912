#include "emulators/AY_Tone.h"

#include "emulators/AY_BlockOps.h"
#include "emulators/FrameScale.h"

AY_Tone::AY_Tone(uint32_t maxFrames) : samples(new uint32_t[maxFrames]()) {}

AY_Tone::~AY_Tone() = default;

void AY_Tone::writeFine(uint8_t data) {
    periodRegister = uint16_t((periodRegister & 0xFF00) | data);
    rescale();
}

void AY_Tone::writeCoarse(uint8_t data, uint8_t mask) {
    periodRegister = uint16_t(((data & mask) << 8) | (periodRegister & 0xFF));
    rescale();
}

void AY_Tone::rescale() {
    scaledPeriod =
        scaledLength(periodRegister ? periodRegister : 1, periodScale, scaleFraction, scaleCarry);
    if (counter >= scaledPeriod) counter = 0;
}

// The counter is compared for equality only, so the distance to the next flip
// is taken modulo 2^64: a distance of 0 (a period of 0, or a counter already
// past the period) means the flip never comes.
void AY_Tone::renderBlock(uint64_t frames) {
    uint32_t* dst = samples.get();
    while (frames > 0) {
        const uint64_t untilFlip = scaledPeriod - counter;
        if (untilFlip == 0 || untilFlip > frames) {
            ay_ops::fill(dst, frames, uint32_t(output));
            counter += frames;
            return;
        }
        ay_ops::fill(dst, untilFlip, uint32_t(output));
        dst += untilFlip;
        frames -= untilFlip;
        counter = 0;
        output ^= 1;
        if (scaleFraction) rescale();
    }
}

uint64_t AY_Tone::dutyTogglePoint() const {
    const uint64_t p = scaledPeriod;
    uint64_t t;
    switch (dutySelector) {
    case 0:
        t = p >> 4;
        break;
    case 1:
        t = p >> 3;
        break;
    case 2:
        t = p >> 2;
        break;
    case 3:
        t = p >> 1;
        break;
    case 4:
        t = p;
        break;
    case 5:
        t = 2 * p - (p >> 1);
        break;
    case 6:
        t = 2 * p - (p >> 2);
        break;
    case 7:
        t = 2 * p - (p >> 3);
        break;
    default:
        t = 2 * p - (p >> 4);
        break;
    }
    if (t == 0) t = 1;
    if (t == 2 * p) t = 2 * p - 1;
    return t;
}

void AY_Tone::renderDutyBlock(uint64_t frames) {
    const uint64_t toggle = dutyTogglePoint();
    const uint64_t cycle = 2 * scaledPeriod;
    uint32_t* dst = samples.get();
    while (frames > 0) {
        // Samples until the counter equals each mark; 0 = never (modulo 2^64).
        const uint64_t untilToggle = toggle - counter;
        const uint64_t untilWrap = cycle - counter;
        uint64_t next = untilToggle;
        if (next == 0 || (untilWrap != 0 && untilWrap < next)) next = untilWrap;
        if (next == 0 || next > frames) {
            ay_ops::fill(dst, frames, uint32_t(output));
            counter += frames;
            return;
        }
        ay_ops::fill(dst, next, uint32_t(output));
        dst += next;
        frames -= next;
        counter += next;
        if (counter != toggle) counter = 0; // reached the end of the cycle
        output ^= 1;
    }
}
