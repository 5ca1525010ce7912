#include "emulators/FmSpread.h"

#include <algorithm>

#include "emulators/FmChannelRender.h"
#include "emulators/OPN2_Emu.h"

const uint8_t kSpreadSchedule21[21] = {1, 1, 0, 5, 5, 0, 0, 3, 3, 0, 2,
                                       2, 0, 0, 6, 6, 0, 4, 4, 0, 0};
const uint8_t kSpreadSchedule9[9] = {1, 5, 0, 3, 2, 0, 6, 4, 0};

namespace {

// Chip samples taken at once: every frame that starts inside a block (up to
// this many).
constexpr uint64_t kSamplesPerCall = OPN2_Emu::kMaxAhead;

// First slot of channels 1-6 in a frame of N slots, and how many slots a
// value takes.
template <int N> struct SpreadLayout;
template <> struct SpreadLayout<21> {
    static constexpr int kFirst[6] = {0, 10, 7, 17, 3, 14};
    static constexpr int kWidth = 2;
};
template <> struct SpreadLayout<9> {
    static constexpr int kFirst[6] = {0, 4, 3, 7, 1, 6};
    static constexpr int kWidth = 1;
};

// Adds a whole frame: channel c into its slot (and the next one when a value
// is two slots wide).
template <int N>
inline void emitFrame(const int32_t* vl, const int32_t* vr, int32_t* left, int32_t* right) {
    using L = SpreadLayout<N>;
#pragma GCC unroll 6
    for (int c = 0; c < 6; ++c) {
        const int s = L::kFirst[c];
        left[s] += vl[c];
        right[s] += vr[c];
        if constexpr (L::kWidth == 2) {
            left[s + 1] += vl[c];
            right[s + 1] += vr[c];
        }
    }
}

// Adds slots [from, to) of a frame whose channel values (channel c at c - 1)
// are `vl`, `vr`; left[0] is the position of slot `from`.
template <int N>
inline void emitSlots(const int32_t* vl, const int32_t* vr, uint64_t from, uint64_t to,
                      int32_t* left, int32_t* right) {
    using L = SpreadLayout<N>;
#pragma GCC unroll 6
    for (int c = 0; c < 6; ++c) {
        for (int w = 0; w < L::kWidth; ++w) {
            const uint64_t q = static_cast<uint64_t>(L::kFirst[c] + w);
            if (q >= from && q < to) {
                left[q - from] += vl[c];
                right[q - from] += vr[c];
            }
        }
    }
}

template <int N>
void renderSpreadN(OPN2_Emu& chip, int32_t* const* outputs, uint64_t frames, const int16_t* curve,
                   uint32_t mode) {
    constexpr uint64_t n = N;
    int32_t* left = outputs[0];
    int32_t* right = outputs[1];
    uint64_t p = chip.spreadPhase;
    // Channel values of the frames taken at once, six per frame.
    int32_t valuesLeft[6 * kSamplesPerCall];
    int32_t valuesRight[6 * kSamplesPerCall];

    uint64_t i = 0;
    while (i < frames) {
        if (p >= n - 1) {
            // The last slot of both schedules is empty (a phase left by the
            // other frame length counts as it).
            p = 0;
            ++i;
            continue;
        }
        if (p != 0) {
            // The rest of the frame in progress, from the held frame.
            const uint64_t k = std::min(n - p, frames - i);
            emitSlots<N>(chip.heldLeft, chip.heldRight, p, p + k, left + i, right + i);
            i += k;
            p = p + k == n ? 0 : p + k;
            continue;
        }
        // Every frame starting in the rest of the block, the last one
        // perhaps cut by its end.
        const uint64_t starts = std::min((frames - i + n - 1) / n, kSamplesPerCall);
        chip.takeFrames(static_cast<uint32_t>(starts), curve, mode, valuesLeft, valuesRight);
        const uint64_t whole = std::min(starts, (frames - i) / n);
        for (uint64_t s = 0; s < whole; ++s)
            emitFrame<N>(valuesLeft + 6 * s, valuesRight + 6 * s, left + i + s * n,
                         right + i + s * n);
        i += whole * n;
        if (whole < starts) {
            // Cut by the end of the block: held for the next call.
            const int32_t* vl = valuesLeft + 6 * whole;
            const int32_t* vr = valuesRight + 6 * whole;
            std::copy(vl, vl + 6, chip.heldLeft);
            std::copy(vr, vr + 6, chip.heldRight);
            p = frames - i;
            emitSlots<N>(vl, vr, 0, p, left + i, right + i);
            i = frames;
        }
    }
    chip.spreadPhase = p;
}

} // namespace

void renderSpread(OPN2_Emu& chip, int32_t* const* outputs, uint64_t frames, const int16_t* curve,
                  uint32_t mode, uint32_t frameLength) {
    if (frameLength == 9)
        renderSpreadN<9>(chip, outputs, frames, curve, mode);
    else
        renderSpreadN<21>(chip, outputs, frames, curve, mode);
}
