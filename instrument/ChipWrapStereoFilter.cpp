// The rotating-state stereo filter as a sparse filter over one line of past
// inputs per channel, and the chip-rate stage built on it.
#include "instrument/ChipWrapStereoFilter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "instrument/LPFilter.h"

namespace acme {

namespace {

using Lanes = float __attribute__((vector_size(16)));
using Pair = double __attribute__((vector_size(16)));
using Ints = int32_t __attribute__((vector_size(16)));

inline Lanes load(const float* p) {
    Lanes v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

} // namespace

template <class Fill, class Emit>
void ChipWrapStereoFilter::run(uint64_t frames, const float* taps, Fill fill, Emit emit) {
    Lanes cl[kTaps], cr[kTaps];
    for (uint32_t j = 0; j < kTaps; ++j) {
        cl[j] = Lanes{} + taps[2 * j];
        cr[j] = Lanes{} + taps[2 * j + 1];
    }
    for (uint64_t done = 0; done < frames;) {
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(frames - done, kSpan));
        if (head + n > kSpan) {
            for (float* line : lines)
                std::memmove(line + kLead - kReach, line + kLead + head - kReach,
                             kReach * sizeof(float));
            head = 0;
        }
        float* const xl = lines[0] + kLead + head;
        float* const xr = lines[1] + kLead + head;
        fill(xl, xr, done, n);
        for (uint32_t k = n; k < ((n + kGroup - 1) & ~(kGroup - 1)); ++k) xl[k] = xr[k] = 0.0f;
        // Eight frames at a time (two vectors a side, so the sums of one
        // group do not wait on each other); each frame's sum runs from tap 0
        // up, as the frame-by-frame filter adds its history newest first.
        for (uint32_t k = 0; k < n; k += kGroup) {
            Lanes l0 = load(xl + k) * cl[0], l1 = load(xl + k + 4) * cl[0];
            Lanes r0 = load(xr + k) * cr[0], r1 = load(xr + k + 4) * cr[0];
#pragma GCC unroll 16
            for (uint32_t j = 1; j < kTaps; ++j) {
                const uint32_t back = kStates * j;
                l0 += load(xl + k - back) * cl[j];
                l1 += load(xl + k + 4 - back) * cl[j];
                r0 += load(xr + k - back) * cr[j];
                r1 += load(xr + k + 4 - back) * cr[j];
            }
            alignas(16) float l[kGroup], r[kGroup];
            std::memcpy(l, &l0, sizeof l0);
            std::memcpy(l + 4, &l1, sizeof l1);
            std::memcpy(r, &r0, sizeof r0);
            std::memcpy(r + 4, &r1, sizeof r1);
            emit(l, r, done + k, std::min<uint32_t>(kGroup, n - k));
        }
        head += n; // the newest kReach inputs are the past of the next pass
        done += n;
    }
}

void ChipWrapStereoFilter::process(float* left, float* right, uint64_t frames, const float* taps) {
    run(
        frames, taps,
        [&](float* xl, float* xr, uint64_t at, uint32_t n) {
            std::memcpy(xl, left + at, n * sizeof(float));
            std::memcpy(xr, right + at, n * sizeof(float));
        },
        [&](const float* l, const float* r, uint64_t at, uint32_t n) {
            std::memcpy(left + at, l, n * sizeof(float));
            std::memcpy(right + at, r, n * sizeof(float));
        });
}

void ChipWrapStereoFilter::processScaled(const int32_t* inLeft, const int32_t* inRight,
                                         const float gains[2], float* left, float* right,
                                         uint64_t frames, const float* taps, LPFilter* lowPass) {
    if (frames == 0) return;
    const Lanes gl = Lanes{} + gains[0], gr = Lanes{} + gains[1];
    // Both low-pass recurrences run side by side in one pair of doubles.
    const Pair a = {lowPass[0].a, lowPass[1].a};
    const Pair c = {lowPass[0].c, lowPass[1].c};
    Pair y = {lowPass[0].state, lowPass[1].state};
    run(
        frames, taps,
        [&](float* xl, float* xr, uint64_t at, uint32_t n) {
            uint32_t i = 0;
            for (; i + 4 <= n; i += 4) {
                Ints il, ir;
                std::memcpy(&il, inLeft + at + i, sizeof il);
                std::memcpy(&ir, inRight + at + i, sizeof ir);
                const Lanes fl = __builtin_convertvector(il, Lanes) * gl;
                const Lanes fr = __builtin_convertvector(ir, Lanes) * gr;
                std::memcpy(xl + i, &fl, sizeof fl);
                std::memcpy(xr + i, &fr, sizeof fr);
            }
            for (; i < n; ++i) {
                xl[i] = static_cast<float>(inLeft[at + i]) * gl[0];
                xr[i] = static_cast<float>(inRight[at + i]) * gr[0];
            }
        },
        [&](const float* l, const float* r, uint64_t at, uint32_t n) {
            // Whole groups unrolled: the recurrence stays in a register.
            auto step = [&](uint32_t i) {
                const Pair x = {l[i], r[i]};
                y = a * x - c * y;
                left[at + i] = static_cast<float>(y[0]);
                right[at + i] = static_cast<float>(y[1]);
            };
            if (n == kGroup) {
#pragma GCC unroll 8
                for (uint32_t i = 0; i < kGroup; ++i) step(i);
            } else {
                for (uint32_t i = 0; i < n; ++i) step(i);
            }
        });
    // A state decaying on silence would otherwise pass through the
    // denormal numbers and stall there instead of reaching zero.
    lowPass[0].state = LPFilter::settled(y[0]);
    lowPass[1].state = LPFilter::settled(y[1]);
}

bool ChipWrapStereoFilter::steadyOnZero() const {
    for (const float* line : {lines[0], lines[1]})
        for (uint32_t k = kLead + head - kReach; k < kLead + head; ++k)
            if (line[k] != 0.0f) return false;
    return true;
}

void ChipWrapStereoFilter::clear() {
    std::fill(lines[0], lines[0] + kRoom, 0.0f);
    std::fill(lines[1], lines[1] + kRoom, 0.0f);
    head = 0;
}

} // namespace acme
