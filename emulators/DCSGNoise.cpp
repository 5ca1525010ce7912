#include "emulators/DCSGNoise.h"

#include <algorithm>

#include "emulators/FrameScale.h"

namespace {
enum class Family { TI, Sega, None };

Family familyOf(uint32_t variant) {
    if (variant == 1 || variant == 2) return Family::Sega;
    if (variant <= 6) return Family::TI;
    return Family::None;
}
} // namespace

DCSGNoise::DCSGNoise(uint32_t variant, uint64_t factor, DCSGTone* tone2)
    : variant(variant), factor(factor), tone2(tone2) {}

void DCSGNoise::setRate(uint32_t rate) {
    if (rate == 0) {
        followTone2 = 1;
        return;
    }
    followTone2 = 0;
    limitSteps = uint64_t(std::min(rate, 1024u)) * 2;
    limit = scaledLength(limitSteps, factor, stepFraction, stepCarry);
    if (counter >= limit) counter = 0;
}

void DCSGNoise::setScale(uint64_t whole, uint32_t fraction) {
    factor = whole;
    stepFraction = fraction;
    if (limit != 0) limit = scaledLength(limitSteps, factor, stepFraction, stepCarry);
    if (counter >= limit) counter = 0;
}

void DCSGNoise::setMode(uint32_t w) {
    w &= 1;
    if ((variant == 4 || variant == 5) && w == white) return;
    lfsr = 1;
    white = uint8_t(w);
}

void DCSGNoise::shift() {
    const uint64_t newBit = (lfsr >> 14) & 1;
    uint64_t feedback;
    if (variant == 1 || variant == 2)
        feedback = white ? ((lfsr >> 12) ^ (lfsr >> 15)) & 1 : (lfsr >> 15) & 1;
    else
        feedback = white ? ((lfsr >> 13) ^ (lfsr >> 14)) & 1 : (lfsr >> 14) & 1;
    lfsr = (lfsr << 1) | feedback;
    outputBit = newBit;
}

void DCSGNoise::followRate() {
    if (followTone2 && tone2) {
        const uint64_t steps = (tone2->period & 0xFFFF) * 2;
        // With a fraction the length in force was taken at the last shift.
        if (stepFraction == 0 || steps != limitSteps)
            limit = scaledLength(steps, factor, stepFraction, stepCarry);
        limitSteps = steps;
        if (counter >= limit) counter = 0;
    }
}

bool DCSGNoise::renders() const {
    return familyOf(variant) != Family::None;
}

void DCSGNoise::run(int32_t* first, int32_t* second, uint64_t n) {
    followRate();
    if (!renders()) return;
    while (n > 0) {
        // The register shifts when the counter reaches `limit` exactly; a
        // counter already past it (limit 0) never shifts.
        const uint64_t k = std::min(framesToShift(), n);
        const int32_t out = level();
        if (out != 0) {
            if (first)
                for (uint64_t i = 0; i < k; ++i) first[i] += out;
            if (second)
                for (uint64_t i = 0; i < k; ++i) second[i] += out;
        }
        if (first) first += k;
        if (second) second += k;
        n -= k;
        step(k);
    }
}

void DCSGNoise::step(uint64_t k) {
    if (k < framesToShift()) {
        counter += k;
        return;
    }
    counter = 0;
    if (stepFraction != 0) limit = scaledLength(limitSteps, factor, stepFraction, stepCarry);
    shift();
}
