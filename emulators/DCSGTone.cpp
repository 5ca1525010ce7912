#include "emulators/DCSGTone.h"

#include <algorithm>

#include "emulators/FrameScale.h"

const int16_t kDcsgVolumeTable[16] = {682, 542, 430, 342, 271, 215, 171, 136,
                                      108, 85,  68,  54,  43,  34,  27,  0};

DCSGTone::DCSGTone(uint32_t variant, uint64_t factor) : variant(variant), factor(factor) {}

void DCSGTone::setPeriod(uint32_t value) {
    periodRegister = value & 0xFFFF;
    if (periodRegister != 0) {
        period = periodRegister;
    } else if (variant == 1 || variant == 2) {
        period = 1;
    } else if (variant <= 6) {
        period = 1024;
    } // other variants keep the old period
}

void DCSGTone::run(int32_t* first, int32_t* second, uint64_t n) {
    while (n > 0) {
        // The counter toggles once it reaches `length`, and always after at
        // least one frame.
        const uint64_t k = std::min(framesToEdge(), n);
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

void DCSGTone::advance(uint64_t n) {
    // Halves of different lengths are passed one by one.
    if (stepFraction != 0) {
        while (n > 0) {
            const uint64_t k = std::min(framesToEdge(), n);
            step(k);
            n -= k;
        }
        return;
    }
    // The first two edges one by one: the half under way may still have a
    // length from before the period now in force. After them every half
    // lasts factor x period frames (taken up each time a high half ends).
    for (int edge = 0; edge < 2 && n > 0; ++edge) {
        const uint64_t k = std::min(framesToEdge(), n);
        step(k);
        n -= k;
    }
    if (n == 0) return;
    const uint64_t half = length ? length : 1; // counter is 0 here
    phase ^= (n / half) & 1;
    counter = n % half;
}

void DCSGTone::step(uint64_t k) {
    if (k < framesToEdge()) {
        counter += k;
        return;
    }
    counter = 0;
    if (phase == 1) halfPeriod = period;
    if (stepFraction != 0)
        length = scaledLength(halfPeriod, factor, stepFraction, stepCarry);
    else if (phase == 1)
        length = factor * period;
    phase = 1 - phase;
}

void DCSGTone::setScale(uint64_t whole, uint32_t fraction) {
    factor = whole;
    stepFraction = fraction;
    if (length != 0) length = scaledLength(halfPeriod, factor, stepFraction, stepCarry);
}
