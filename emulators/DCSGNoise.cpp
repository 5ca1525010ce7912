#include "emulators/DCSGNoise.h"

#include <algorithm>

namespace {
enum class Family { TI, Sega, None };

Family familyOf(uint32_t variant) {
    if (variant == 1 || variant == 2) return Family::Sega;
    if (variant <= 6) return Family::TI;
    return Family::None;
}
} // namespace

DCSGNoise::DCSGNoise(uint32_t variant, uint64_t factor, DCSGTone* tone2, uint32_t maxFrames)
    : variant(variant), factor(factor), tone2(tone2), buffer(new int32_t[maxFrames]()) {}

void DCSGNoise::setRate(uint32_t rate) {
    if (rate == 0) {
        followTone2 = 1;
        return;
    }
    followTone2 = 0;
    limit = uint64_t(std::min(rate, 1024u)) * factor * 2;
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

void DCSGNoise::render(int32_t* out, uint64_t n, bool add) {
    const int32_t vol = volumeTable[attenuation & 15];
    // The rate of a noise that follows tone 2 is refreshed on every call,
    // also for n = 0.
    if (followTone2 && tone2) {
        limit = (tone2->period & 0xFFFF) * factor * 2;
        if (counter >= limit) counter = 0;
    }
    if (familyOf(variant) == Family::None) {
        if (!add) std::fill(out, out + n, 0);
        return;
    }
    while (n > 0) {
        // The register shifts when the counter reaches `limit` exactly; a
        // counter already past it (limit 0) never shifts.
        const uint64_t toShift = counter < limit ? limit - counter : UINT64_MAX;
        const uint64_t k = std::min(toShift, n);
        const int32_t level = outputBit ? vol : 0;
        if (add) {
            if (level != 0)
                for (uint64_t i = 0; i < k; ++i) out[i] += level;
        } else {
            std::fill(out, out + k, level);
        }
        out += k;
        n -= k;
        if (k < toShift) {
            counter += k;
            break;
        }
        counter = 0;
        shift();
    }
}
