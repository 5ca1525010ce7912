// The rotating-state stereo filter as a sparse filter over one line of past
// inputs per channel, and the chip-rate stage built on it.
#include "instrument/ChipWrapStereoFilter.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "emulators/FmSpread.h"
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

// Which of a chip sample's 8 sums a side each of its 21 frames takes:
// channels 1-4 (0-3), 5 and 6 (4, 5), an empty frame (6).
constexpr std::array<uint8_t, 21> slotSums() {
    std::array<uint8_t, 21> sums{};
    for (uint32_t f = 0; f < 21; ++f)
        sums[f] = kSpreadSchedule21[f] == 0 ? 6 : uint8_t(kSpreadSchedule21[f] - 1);
    return sums;
}
constexpr std::array<uint8_t, 21> kSlotSum = slotSums();

// The 8 sums a side of the newest recorded sample: rows newest[0] (the
// sample) back to newest[-15], tap 0 first.
inline void ringSums(const float (*newest)[2][8], const Lanes* cl, const Lanes* cr, Lanes sums[4]) {
    Lanes l0 = load(newest[0][0]) * cl[0], l1 = load(newest[0][0] + 4) * cl[0];
    Lanes r0 = load(newest[0][1]) * cr[0], r1 = load(newest[0][1] + 4) * cr[0];
#pragma GCC unroll 16
    for (uint32_t j = 1; j < ChipWrapStereoFilter::kTaps; ++j) {
        const float(*row)[8] = newest[-static_cast<int32_t>(j)];
        l0 += load(row[0]) * cl[j];
        l1 += load(row[0] + 4) * cl[j];
        r0 += load(row[1]) * cr[j];
        r1 += load(row[1] + 4) * cr[j];
    }
    sums[0] = l0;
    sums[1] = l1;
    sums[2] = r0;
    sums[3] = r1;
}

// A chip sample's 7 low-pass inputs from its sums (left 0-7 in sums[0],
// sums[1], right in sums[2], sums[3]): channels 1-6 and the empty frame, each
// as the pair of doubles (left, right) the frame-by-frame step converts.
inline void toInputs(const Lanes sums[4], Pair x[7]) {
    const Lanes lo = __builtin_shufflevector(sums[0], sums[2], 0, 4, 1, 5);
    const Lanes hi = __builtin_shufflevector(sums[0], sums[2], 2, 6, 3, 7);
    const Lanes rest = __builtin_shufflevector(sums[1], sums[3], 0, 4, 1, 5);
    const Lanes empty = __builtin_shufflevector(sums[1], sums[3], 2, 6, 3, 7);
    x[0] = __builtin_convertvector(__builtin_shufflevector(lo, lo, 0, 1), Pair);
    x[1] = __builtin_convertvector(__builtin_shufflevector(lo, lo, 2, 3), Pair);
    x[2] = __builtin_convertvector(__builtin_shufflevector(hi, hi, 0, 1), Pair);
    x[3] = __builtin_convertvector(__builtin_shufflevector(hi, hi, 2, 3), Pair);
    x[4] = __builtin_convertvector(__builtin_shufflevector(rest, rest, 0, 1), Pair);
    x[5] = __builtin_convertvector(__builtin_shufflevector(rest, rest, 2, 3), Pair);
    x[6] = __builtin_convertvector(__builtin_shufflevector(empty, empty, 0, 1), Pair);
}

// One frame after another of a chip sample through both low-passes: frame
// s takes input x[kSlotSum[s]]. a x is the same product for every frame of
// a slot: taken once.
struct SampleFrames {
    Pair ax[7];
    Pair c;
    Pair y;
    SampleFrames(const Pair x[7], const Pair& a, const Pair& c, const Pair& state) : c(c), y(state) {
#pragma GCC unroll 7
        for (int k = 0; k < 7; ++k) ax[k] = a * x[k];
    }
    void frame(uint32_t s, float* left, float* right) {
        y = ax[kSlotSum[s]] - c * y;
        const Lanes f = __builtin_ia32_cvtpd2ps(y); // both rounded to float (upper two zero)
        *left = f[0];
        *right = __builtin_shufflevector(f, f, 1, 1, 1, 1)[0];
    }
};

// A whole chip sample from its low-pass inputs x through both low-passes
// (state), into outLeft and outRight.
__attribute__((always_inline)) inline void emitWhole(const Pair x[7], Pair& state, const Pair& a,
                                                     const Pair& c, float* outLeft,
                                                     float* outRight) {
    SampleFrames f(x, a, c, state);
#pragma GCC unroll 21
    for (uint32_t s = 0; s < ChipWrapStereoFilter::kStates; ++s)
        f.frame(s, outLeft + s, outRight + s);
    state = f.y;
}

// Frames [from, to) of a chip sample cut by a piece's start or end: entered
// at frame `from` and, unless ToEnd (to is 21), left after frame to - 1.
template <bool ToEnd, class Step>
inline void sampleFramesFrom(uint32_t from, uint32_t to, Step step) {
    switch (from) {
#define ACME_SAMPLE_FRAME(s)                                                                       \
    case s:                                                                                        \
        step(s);                                                                                   \
        if (!ToEnd && s + 1 == to) return;                                                         \
        [[fallthrough]];
        ACME_SAMPLE_FRAME(0) ACME_SAMPLE_FRAME(1) ACME_SAMPLE_FRAME(2) ACME_SAMPLE_FRAME(3)
        ACME_SAMPLE_FRAME(4) ACME_SAMPLE_FRAME(5) ACME_SAMPLE_FRAME(6) ACME_SAMPLE_FRAME(7)
        ACME_SAMPLE_FRAME(8) ACME_SAMPLE_FRAME(9) ACME_SAMPLE_FRAME(10) ACME_SAMPLE_FRAME(11)
        ACME_SAMPLE_FRAME(12) ACME_SAMPLE_FRAME(13) ACME_SAMPLE_FRAME(14) ACME_SAMPLE_FRAME(15)
        ACME_SAMPLE_FRAME(16) ACME_SAMPLE_FRAME(17) ACME_SAMPLE_FRAME(18) ACME_SAMPLE_FRAME(19)
        ACME_SAMPLE_FRAME(20)
#undef ACME_SAMPLE_FRAME
    default:
        return;
    }
}

// Frames [from, to) of a chip sample (as emitWhole), into outLeft and
// outRight from their start.
// Returns the low-pass state after them.
Pair emitCut(const Pair x[7], uint32_t from, uint32_t to, Pair state, Pair a, Pair c,
             float* outLeft, float* outRight) {
    SampleFrames f(x, a, c, state);
    // Frame s goes to out[s - from], addressed from bases moved back by
    // `from` (as plain addresses: they may lie before the buffers).
    const uintptr_t baseLeft = reinterpret_cast<uintptr_t>(outLeft) - from * sizeof(float);
    const uintptr_t baseRight = reinterpret_cast<uintptr_t>(outRight) - from * sizeof(float);
    auto step = [&](uint32_t s) {
        f.frame(s, reinterpret_cast<float*>(baseLeft + s * sizeof(float)),
                reinterpret_cast<float*>(baseRight + s * sizeof(float)));
    };
    if (to == ChipWrapStereoFilter::kStates)
        sampleFramesFrom<true>(from, to, step);
    else
        sampleFramesFrom<false>(from, to, step);
    return f.y;
}

} // namespace

template <class Fill, class Emit, class Hold>
void ChipWrapStereoFilter::run(uint64_t frames, const float* taps, bool held, Fill fill, Emit emit,
                               Hold hold) {
    restoreLines();
    takeTaps(taps);
    const Lanes* const cl = tapLanes[0];
    const Lanes* const cr = tapLanes[1];
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
                Lanes sums[4];
                ringSums(newestRow(), cl, cr, sums);
                hold(sums, done + end - kStates);
                pending = end;
            }
            filter(pending, n);
        }
        phase = static_cast<uint32_t>((phase + n) % kStates);
        head += n; // the newest kReach inputs are the past of the next pass
        done += n;
    }
}

// Inlined: it runs once for every piece filtered from rows.
[[gnu::always_inline]] inline bool ChipWrapStereoFilter::sameBits(const float* taps,
                                                                  const float gains[2]) const {
    Bits differ = {};
#pragma GCC unroll 8
    for (uint32_t k = 0; k < 2 * kTaps; k += 4) {
        Bits now, seen;
        std::memcpy(&now, taps + k, sizeof now);
        std::memcpy(&seen, tapsSeen + k, sizeof seen);
        differ |= now ^ seen;
    }
    uint64_t halves[2], now, seen;
    std::memcpy(halves, &differ, sizeof halves);
    std::memcpy(&now, gains, sizeof now);
    std::memcpy(&seen, gainsSeen, sizeof seen);
    return (halves[0] | halves[1] | (now ^ seen)) == 0;
}

void ChipWrapStereoFilter::takeTaps(const float* taps) {
    if (std::memcmp(taps, tapsSeen, sizeof tapsSeen) == 0) return;
    std::memcpy(tapsSeen, taps, sizeof tapsSeen);
    for (uint32_t j = 0; j < kTaps; ++j) {
        tapLanes[0][j] = Lanes{} + taps[2 * j];
        tapLanes[1][j] = Lanes{} + taps[2 * j + 1];
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
    alignas(16) float row[2][8];
    std::memcpy(row[0], &al, sizeof al);
    std::memcpy(row[0] + 4, &bl, sizeof bl);
    std::memcpy(row[1], &ar, sizeof ar);
    std::memcpy(row[1] + 4, &br, sizeof br);
    record(row);
}

void ChipWrapStereoFilter::record(const float (*row)[8]) {
    // Kept twice, so that the newest 16 rows always lie in one piece.
    const uint32_t at = samples % kRing;
    std::memcpy(ring[at], row, sizeof ring[at]);
    std::memcpy(ring[at + kRing], row, sizeof ring[at]);
    ++samples;
    quiet = std::min(quiet + 1, kTaps);
}

// Inlined: it runs once for every chip sample filtered from rows.
[[gnu::always_inline]] inline void ChipWrapStereoFilter::noteRow(const int32_t (*row)[8],
                                                                 const float gains[2]) {
    // Scaled as the frames are: each integer to float, times its side's gain.
    alignas(16) float scaled[2][8];
    for (int side = 0; side < 2; ++side) {
        const Lanes g = Lanes{} + gains[side];
        Ints lo, hi;
        std::memcpy(&lo, row[side], sizeof lo);
        std::memcpy(&hi, row[side] + 4, sizeof hi);
        const Lanes a = __builtin_convertvector(lo, Lanes) * g;
        const Lanes b = __builtin_convertvector(hi, Lanes) * g;
        std::memcpy(scaled[side], &a, sizeof a);
        std::memcpy(scaled[side] + 4, &b, sizeof b);
    }
    record(scaled);
}

void ChipWrapStereoFilter::restoreLines() {
    if (!behind) return;
    behind = false;
    // The newest row is the sample in progress (its first `phase` frames)
    // or the last whole one; rows back from it give the kReach frames
    // before the next input, which then starts the lines again.
    const float(*newest)[2][8] = newestRow();
    uint32_t take = phase != 0 ? phase : kStates;
    int64_t end = kLead;
    for (int32_t j = 0; end > int64_t(kLead - kReach); ++j) {
        const float(*row)[8] = newest[-j];
        const int64_t start = end - take;
        for (uint32_t s = 0; s < take; ++s) {
            if (start + s < int64_t(kLead - kReach)) continue;
            lines[0][start + s] = row[0][kSlotSum[s]];
            lines[1][start + s] = row[1][kSlotSum[s]];
        }
        end = start;
        take = kStates;
    }
    head = 0;
    if (pendingKept) {
        // Recorded again (and checked for the layout) when it ends.
        pendingKept = false;
        --samples;
        quiet = quiet > 0 ? quiet - 1 : 0;
    }
}

void ChipWrapStereoFilter::skipped(uint64_t frames) {
    restoreLines();
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
        [](const Lanes*, uint64_t) {});
}

void ChipWrapStereoFilter::processScaled(int32_t* inLeft, int32_t* inRight,
                                         const float gains[2], float* left, float* right,
                                         uint64_t frames, const float* taps, LPFilter* lowPass,
                                         bool fast) {
    if (frames == 0) return;
    std::memcpy(gainsSeen, gains, sizeof gainsSeen);
    const Lanes gl = Lanes{} + gains[0], gr = Lanes{} + gains[1];
    // Both low-pass recurrences run side by side in one pair of doubles.
    const Pair a = {lowPass[0].a, lowPass[1].a};
    const Pair c = {lowPass[0].c, lowPass[1].c};
    Pair y = {lowPass[0].state, lowPass[1].state};
    run(
        frames, taps, fast,
        [&](float* xl, float* xr, uint64_t at, uint32_t n) {
            uint32_t i = 0;
            for (; i + 4 <= n; i += 4) {
                Ints il, ir;
                std::memcpy(&il, inLeft + at + i, sizeof il);
                std::memcpy(&ir, inRight + at + i, sizeof ir);
                std::memset(inLeft + at + i, 0, sizeof il);
                std::memset(inRight + at + i, 0, sizeof ir);
                const Lanes fl = __builtin_convertvector(il, Lanes) * gl;
                const Lanes fr = __builtin_convertvector(ir, Lanes) * gr;
                std::memcpy(xl + i, &fl, sizeof fl);
                std::memcpy(xr + i, &fr, sizeof fr);
            }
            for (; i < n; ++i) {
                xl[i] = static_cast<float>(inLeft[at + i]) * gl[0];
                xr[i] = static_cast<float>(inRight[at + i]) * gr[0];
                inLeft[at + i] = inRight[at + i] = 0;
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
        [&](const Lanes* sums, uint64_t at) {
            Pair x[7];
            toInputs(sums, x);
            emitWhole(x, y, a, c, left + at, right + at);
        });
    // A state decaying on silence would otherwise pass through the
    // denormal numbers and stall there instead of reaching zero.
    lowPass[0].state = LPFilter::settled(y[0]);
    lowPass[1].state = LPFilter::settled(y[1]);
}

bool ChipWrapStereoFilter::processRows(const int32_t (*rows)[2][8], uint64_t count,
                                       const int32_t (*pending)[8], const float gains[2],
                                       float* left, float* right, uint64_t frames,
                                       const float* taps, LPFilter* lowPass) {
    if (frames == 0) return true;
    if (!sameBits(taps, gains)) return false;
    const uint64_t first = phase == 0 ? 0 : kStates - phase;
    if (count != (frames > first ? (frames - first + kStates - 1) / kStates : 0)) return false;
    // Every sample's sums take the 15 recorded before it.
    const bool resume = phase != 0 && pendingKept;
    if (!resume && (quiet + 1 < kTaps || (phase != 0 && !pending))) return false;

    const Pair a = {lowPass[0].a, lowPass[1].a};
    const Pair c = {lowPass[0].c, lowPass[1].c};
    Pair y = {lowPass[0].state, lowPass[1].state};
    float* outLeft = left;
    float* outRight = right;
    // A sample's low-pass inputs, from its row (recorded first).
    auto inputsOf = [&](const int32_t(*row)[8], Pair x[7]) {
        noteRow(row, gains);
        Lanes sums[4];
        ringSums(newestRow(), tapLanes[0], tapLanes[1], sums);
        toInputs(sums, x);
    };
    // A sample cut by the end of the piece keeps its inputs for the next:
    // they are made in pendingInputs.
    Pair x[7];
    uint64_t done = 0;
    uint32_t to = 0; // where the last sample emitted stops
    if (phase != 0) {
        to = uint32_t(std::min<uint64_t>(kStates, phase + frames));
        Pair* const into = to < kStates ? pendingInputs : x;
        if (!resume) inputsOf(pending, into);
        y = emitCut(resume ? pendingInputs : into, phase, to, y, a, c, outLeft, outRight);
        done = to - phase;
        outLeft += done;
        outRight += done;
    }
    // Only the last row's sample can be cut.
    for (uint64_t r = 0; r + 1 < count; ++r) {
        inputsOf(rows[r], x);
        emitWhole(x, y, a, c, outLeft, outRight);
        outLeft += kStates;
        outRight += kStates;
    }
    if (count > 0) {
        to = uint32_t(frames - done - (count - 1) * kStates);
        Pair* const into = to < kStates ? pendingInputs : x;
        inputsOf(rows[count - 1], into);
        if (to == kStates)
            emitWhole(x, y, a, c, outLeft, outRight);
        else
            y = emitCut(into, 0, to, y, a, c, outLeft, outRight);
    }
    pendingKept = to < kStates;
    phase = pendingKept ? to : 0;
    behind = true;
    lowPass[0].state = LPFilter::settled(y[0]);
    lowPass[1].state = LPFilter::settled(y[1]);
    return true;
}

bool ChipWrapStereoFilter::steadyOnZero() const {
    if (behind) {
        // The newest 16 rows hold every past input a new frame reaches.
        const float(*newest)[2][8] = newestRow();
        for (int32_t j = 0; j < int32_t(kTaps); ++j)
            for (int side = 0; side < 2; ++side)
                for (float x : newest[-j][side])
                    if (x != 0.0f) return false;
        return true;
    }
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
    behind = false;
    pendingKept = false;
}

} // namespace acme
