// The rotating-state stereo filter as a sparse filter over one line of past
// inputs per channel, and the chip-rate stage built on it.
#include "instrument/ChipWrapStereoFilter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "emulators/FastPaths.h"
#include "instrument/LPFilter.h"

namespace acme {

namespace {

using Lanes = float __attribute__((vector_size(16)));
using Pair = double __attribute__((vector_size(16)));
using Ints = int32_t __attribute__((vector_size(16)));
using Bits = uint32_t __attribute__((vector_size(16)));
using Two = float __attribute__((vector_size(8)));

inline Lanes load(const float* p) {
    Lanes v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

} // namespace

template <class Fill, class Emit, class Hold>
void ChipWrapStereoFilter::run(uint64_t frames, const float* taps, bool held, Fill fill, Emit emit,
                               Hold hold) {
    takeTaps(taps);
    Lanes cl[kTaps], cr[kTaps];
    std::memcpy(cl, tapLanes[0], sizeof cl);
    std::memcpy(cr, tapLanes[1], sizeof cr);
    if (!held) quiet = 0; // the ring is not kept up meanwhile
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
        // Frames [from, to) frame by frame, eight at a time (two vectors a
        // side, so the sums of one group do not wait on each other); each
        // frame's sum runs from tap 0 up, as the frame-by-frame filter adds
        // its history newest first.
        auto filter = [&](uint32_t from, uint32_t to) {
            for (uint32_t k = from; k < to; k += kGroup) {
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
                emit(l, r, done + k, std::min<uint32_t>(kGroup, to - k));
            }
        };
        if (!held) {
            filter(0, n);
        } else {
            // Every chip sample ending in the pass is checked for the layout.
            // One whose 16 samples back to tap 15 all held it gives each of
            // its frames the same sums as the frame's channel: the same
            // inputs, taps and order as frame by frame.
            uint32_t pending = 0;
            for (uint32_t end = kStates - phase; end <= n; end += kStates) {
                noteSample(xl + end - kStates, xr + end - kStates);
                if (end < kStates || quiet < kTaps) continue;
                filter(pending, end - kStates);
                // The newest recorded sample (this one) and the 15 before it.
                const float(*newest)[2][8] = ring + (samples - 1) % kRing + kRing;
                Lanes l0 = load(newest[0][0]) * cl[0], l1 = load(newest[0][0] + 4) * cl[0];
                Lanes r0 = load(newest[0][1]) * cr[0], r1 = load(newest[0][1] + 4) * cr[0];
#pragma GCC unroll 16
                for (uint32_t j = 1; j < kTaps; ++j) {
                    const float(*row)[8] = newest[-static_cast<int32_t>(j)];
                    l0 += load(row[0]) * cl[j];
                    l1 += load(row[0] + 4) * cl[j];
                    r0 += load(row[1]) * cr[j];
                    r1 += load(row[1] + 4) * cr[j];
                }
                hold(l0, l1, r0, r1, done + end - kStates);
                pending = end;
            }
            filter(pending, n);
        }
        phase = static_cast<uint32_t>((phase + n) % kStates);
        head += n; // the newest kReach inputs are the past of the next pass
        done += n;
    }
}

void ChipWrapStereoFilter::takeTaps(const float* taps) {
    if (std::memcmp(taps, tapsSeen, sizeof tapsSeen) == 0) return;
    std::memcpy(tapsSeen, taps, sizeof tapsSeen);
    for (uint32_t j = 0; j < kTaps; ++j)
        for (uint32_t k = 0; k < 4; ++k) {
            tapLanes[0][j][k] = taps[2 * j];
            tapLanes[1][j][k] = taps[2 * j + 1];
        }
}

namespace {

// A side's channels 1-4 (a) and channels 5 and 6 and an empty frame twice
// (b) from the chip sample's 21 frames at w; returns the bits in which the
// frames differ from the layout those values give.
inline Bits layoutDifference(const float* w, Lanes& a, Lanes& b) {
    a = Lanes{w[0], w[10], w[7], w[17]};
    b = Lanes{w[3], w[14], w[2], w[2]};
    Bits ua, ub, g0, g1, g2, g3, g4;
    std::memcpy(&ua, &a, sizeof ua);
    std::memcpy(&ub, &b, sizeof ub);
    std::memcpy(&g0, w, sizeof g0);
    std::memcpy(&g1, w + 4, sizeof g1);
    std::memcpy(&g2, w + 8, sizeof g2);
    std::memcpy(&g3, w + 12, sizeof g3);
    std::memcpy(&g4, w + 16, sizeof g4);
    Bits d = (g0 ^ __builtin_shufflevector(ua, ub, 0, 0, 6, 4)) |
             (g1 ^ __builtin_shufflevector(ua, ub, 4, 6, 6, 2)) |
             (g2 ^ __builtin_shufflevector(ua, ub, 2, 6, 1, 1)) |
             (g3 ^ __builtin_shufflevector(ua, ub, 6, 6, 5, 5)) |
             (g4 ^ __builtin_shufflevector(ua, ub, 6, 3, 3, 6));
    // Frame 20 (empty) against frame 2 (empty).
    Bits g5 = Bits{};
    std::memcpy(&g5, w + 20, sizeof(float));
    return d | (g5 ^ __builtin_shufflevector(ub, Bits{}, 2, 4, 4, 4));
}

} // namespace

void ChipWrapStereoFilter::noteSample(const float* wl, const float* wr) {
    Lanes al, bl, ar, br;
    const Bits differ = layoutDifference(wl, al, bl) | layoutDifference(wr, ar, br);
    uint64_t halves[2];
    std::memcpy(halves, &differ, sizeof halves);
    if ((halves[0] | halves[1]) != 0) {
        quiet = 0;
        return;
    }
    // Kept twice, so that the newest 16 rows always lie in one piece.
    const uint32_t at = samples % kRing;
    for (float(*row)[8] : {ring[at], ring[at + kRing]}) {
        std::memcpy(row[0], &al, sizeof al);
        std::memcpy(row[0] + 4, &bl, sizeof bl);
        std::memcpy(row[1], &ar, sizeof ar);
        std::memcpy(row[1] + 4, &br, sizeof br);
    }
    ++samples;
    quiet = std::min(quiet + 1, kTaps);
}

void ChipWrapStereoFilter::skipped(uint64_t frames) {
    phase = static_cast<uint32_t>((phase + frames) % kStates);
    quiet = 0;
}

void ChipWrapStereoFilter::process(float* left, float* right, uint64_t frames, const float* taps) {
    run(
        frames, taps, false,
        [&](float* xl, float* xr, uint64_t at, uint32_t n) {
            std::memcpy(xl, left + at, n * sizeof(float));
            std::memcpy(xr, right + at, n * sizeof(float));
        },
        [&](const float* l, const float* r, uint64_t at, uint32_t n) {
            std::memcpy(left + at, l, n * sizeof(float));
            std::memcpy(right + at, r, n * sizeof(float));
        },
        [](Lanes, Lanes, Lanes, Lanes, uint64_t) {});
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
        frames, taps, FastPaths::enabled(),
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
        },
        [&](Lanes l0, Lanes l1, Lanes r0, Lanes r1, uint64_t at) {
            // A chip sample's 21 frames from its channels' sums: each sum
            // as the pair of doubles the frame-by-frame step converts.
            const Lanes lo = __builtin_shufflevector(l0, r0, 0, 4, 1, 5);
            const Lanes hi = __builtin_shufflevector(l0, r0, 2, 6, 3, 7);
            const Lanes rest = __builtin_shufflevector(l1, r1, 0, 4, 1, 5);
            const Lanes empty = __builtin_shufflevector(l1, r1, 2, 6, 3, 7);
            const Pair c1 = __builtin_convertvector(__builtin_shufflevector(lo, lo, 0, 1), Pair);
            const Pair c2 = __builtin_convertvector(__builtin_shufflevector(lo, lo, 2, 3), Pair);
            const Pair c3 = __builtin_convertvector(__builtin_shufflevector(hi, hi, 0, 1), Pair);
            const Pair c4 = __builtin_convertvector(__builtin_shufflevector(hi, hi, 2, 3), Pair);
            const Pair c5 =
                __builtin_convertvector(__builtin_shufflevector(rest, rest, 0, 1), Pair);
            const Pair c6 =
                __builtin_convertvector(__builtin_shufflevector(rest, rest, 2, 3), Pair);
            const Pair e =
                __builtin_convertvector(__builtin_shufflevector(empty, empty, 0, 1), Pair);
            float* outLeft = left + at;
            float* outRight = right + at;
            auto step = [&](const Pair& x) {
                y = a * x - c * y;
                const Two f = __builtin_convertvector(y, Two);
                *outLeft++ = f[0];
                *outRight++ = f[1];
            };
            // Frames 0-20: channel 1 at 0-1, 5 at 3-4, 3 at 7-8, 2 at 10-11,
            // 6 at 14-15, 4 at 17-18, the rest empty.
            step(c1);
            step(c1);
            step(e);
            step(c5);
            step(c5);
            step(e);
            step(e);
            step(c3);
            step(c3);
            step(e);
            step(c2);
            step(c2);
            step(e);
            step(e);
            step(c6);
            step(c6);
            step(e);
            step(c4);
            step(c4);
            step(e);
            step(e);
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
    phase = 0;
    quiet = 0;
}

} // namespace acme
