#include "emulators/FmSpread.h"
#include "emulators/FmSpreadRows.h"

#include <algorithm>
#include <cstring>

#include "emulators/FmChannelRender.h"
#include "emulators/OPN2_Emu.h"

namespace {

// Chip samples taken at once: every frame that starts inside a block (up to
// this many).
constexpr uint64_t kSamplesPerCall = OPN2_Emu::kMaxAhead;

// First slot of channels 1-6 in a frame of N slots, and how many slots a
// value takes.
template <int N> struct SpreadLayout;
template <> struct SpreadLayout<21> {
    static constexpr const uint8_t (&kFirst)[6] = kSpreadSlots21;
    static constexpr int kWidth = kSpreadWidth21;
};
template <> struct SpreadLayout<9> {
    static constexpr const uint8_t (&kFirst)[6] = kSpreadSlots9;
    static constexpr int kWidth = kSpreadWidth9;
};

// The filled slots of a frame in slot order, each with its record, and for
// every slot the first filled one at or after it (slots past the last point
// at `count`).
template <int N> struct SlotList {
    static constexpr int kCount = 6 * SpreadLayout<N>::kWidth;
    uint8_t slot[kCount];
    uint8_t record[kCount];
    uint8_t firstFrom[N + 1];
    constexpr SlotList() : slot{}, record{}, firstFrom{} {
        using L = SpreadLayout<N>;
        int j = 0;
        for (int q = 0; q < N; ++q)
            for (int c = 0; c < 6; ++c)
                for (int w = 0; w < L::kWidth; ++w)
                    if (L::kFirst[c] + w == q) {
                        slot[j] = static_cast<uint8_t>(q);
                        record[j] = static_cast<uint8_t>(c);
                        ++j;
                    }
        for (int q = N, k = kCount; q >= 0; --q) {
            while (k > 0 && slot[k - 1] >= q) --k;
            firstFrom[q] = static_cast<uint8_t>(k);
        }
    }
};
template <int N> constexpr SlotList<N> kSlotList{};

// Adds slots [from, to) of a frame whose channel values (channel c at c - 1)
// are `vl`, `vr`; left[0] is the position of slot `from`.
template <int N>
inline void emitSlots(const int32_t* vl, const int32_t* vr, uint64_t from, uint64_t to,
                      int32_t* left, int32_t* right) {
    const SlotList<N>& list = kSlotList<N>;
    const int end = list.firstFrom[to]; // the filled slots before `to`
    for (int j = list.firstFrom[from]; j < end; ++j) {
        const uint64_t at = list.slot[j] - from;
        const int c = list.record[j];
        left[at] += vl[c];
        right[at] += vr[c];
    }
}

using PanMasks = OPN2_Emu::PanMasks;

// A run of samples the chip computed ahead: their channel values, whether
// the DAC played through them (and its value), and how many of them are whole
// frames of the block (`whole` at most); the rest, at most one, is cut by
// the block's end.
struct SpreadRun {
    const int32_t* values;
    uint32_t got;
    bool dacOn;
    int32_t dac;
    uint64_t full;
};

inline SpreadRun takeSpreadRun(OPN2_Emu& chip, uint64_t want, uint64_t whole,
                               uint32_t outputMode, const int16_t* curve) {
    SpreadRun run{};
    run.values = chip.takeValues(static_cast<uint32_t>(want), outputMode, run.got);
    run.dacOn = chip.takenWithDac();
    run.dac = run.dacOn ? fmDacValue(outputMode, chip.dacData(), curve) : 0;
    run.full = std::min<uint64_t>(run.got, whole);
    return run;
}

// Adds `count` whole frames of unmapped channel values (record r at 6k + r)
// in output mode Mode: each value mapped, masked by its pan and added into
// its slots; with DacOn record 5 adds `dac` instead.
template <int N, uint32_t Mode, bool DacOn>
void addFrames(const int32_t* values, uint64_t count, const PanMasks& masks, int32_t dac,
               const int16_t* curve, int32_t* left, int32_t* right) {
    using L = SpreadLayout<N>;
    for (uint64_t k = 0; k < count; ++k) {
        const int32_t* in = values + 6 * k;
        int32_t* l = left + k * N;
        int32_t* r = right + k * N;
#pragma GCC unroll 6
        for (int c = 0; c < 6; ++c) {
            const int32_t v = DacOn && c == 5 ? dac : fmOutputValue<Mode>(in[c], curve);
            const int32_t vl = v & masks.left[c], vr = v & masks.right[c];
            const int s = L::kFirst[c];
            l[s] += vl;
            r[s] += vr;
            if constexpr (L::kWidth == 2) {
                l[s + 1] += vl;
                r[s + 1] += vr;
            }
        }
    }
}

// One frame of channel values mapped as addFrames maps them, each masked by
// its pan: the values a frame cut by the end of a block holds.
template <uint32_t Mode, bool DacOn>
void mapFrame(const int32_t* in, const PanMasks& masks, int32_t dac, const int16_t* curve,
              int32_t* left, int32_t* right) {
#pragma GCC unroll 6
    for (int c = 0; c < 6; ++c) {
        const int32_t v = DacOn && c == 5 ? dac : fmOutputValue<Mode>(in[c], curve);
        left[c] = v & masks.left[c];
        right[c] = v & masks.right[c];
    }
}

// One frame as addFrames adds it, its values (as mapFrame gives them) also
// held: the frame cut by the end of a block while carrying.
template <int N, uint32_t Mode, bool DacOn>
void addFrameHeld(const int32_t* in, const PanMasks& masks, int32_t dac, const int16_t* curve,
                  int32_t* left, int32_t* right, int32_t* heldLeft, int32_t* heldRight) {
    using L = SpreadLayout<N>;
#pragma GCC unroll 6
    for (int c = 0; c < 6; ++c) {
        const int32_t v = DacOn && c == 5 ? dac : fmOutputValue<Mode>(in[c], curve);
        const int32_t vl = v & masks.left[c], vr = v & masks.right[c];
        heldLeft[c] = vl;
        heldRight[c] = vr;
        const int s = L::kFirst[c];
        left[s] += vl;
        right[s] += vr;
        if constexpr (L::kWidth == 2) {
            left[s + 1] += vl;
            right[s + 1] += vr;
        }
    }
}

// A row's lanes: channels 1-4, then 5, 6 and two that stay zero.
using RowLanes = int32_t __attribute__((vector_size(16)));

inline RowLanes rowLoad(const int32_t* p) {
    RowLanes v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// The pan masks as a row's lanes.
struct RowMasks {
    RowLanes left[2], right[2];
    explicit RowMasks(const PanMasks& m)
        : left{rowLoad(m.left), RowLanes{m.left[4], m.left[5], 0, 0}},
          right{rowLoad(m.right), RowLanes{m.right[4], m.right[5], 0, 0}} {}
};

// Adds one frame's mapped values (`v`, lanes 6 and 7 zero) into its row,
// each masked by its pan.
inline void addToRow(const int32_t* v, const RowMasks& m, int32_t (*row)[8]) {
    const RowLanes lo = rowLoad(v), hi = rowLoad(v + 4);
    const RowLanes l0 = rowLoad(row[0]) + (lo & m.left[0]);
    const RowLanes l1 = rowLoad(row[0] + 4) + (hi & m.left[1]);
    const RowLanes r0 = rowLoad(row[1]) + (lo & m.right[0]);
    const RowLanes r1 = rowLoad(row[1] + 4) + (hi & m.right[1]);
    std::memcpy(row[0], &l0, sizeof l0);
    std::memcpy(row[0] + 4, &l1, sizeof l1);
    std::memcpy(row[1], &r0, sizeof r0);
    std::memcpy(row[1] + 4, &r1, sizeof r1);
}

// Maps one frame's channel values as addFrames maps them (`v`, lanes 6 and
// 7 zero).
template <uint32_t Mode, bool DacOn>
inline void mapToLanes(const int32_t* in, int32_t dac, const int16_t* curve, int32_t* v) {
#pragma GCC unroll 6
    for (int c = 0; c < 6; ++c) v[c] = DacOn && c == 5 ? dac : fmOutputValue<Mode>(in[c], curve);
}

// Adds `count` whole frames as addFrames maps them into rows (SpreadRows):
// each channel's value once a side instead of into its slots. With
// `holder`, the frame after them is the one cut by the end of the block:
// it goes whole into the next row, and the holder holds its values (as
// mapFrame gives them).
template <uint32_t Mode, bool DacOn>
void addRows(const int32_t* values, uint64_t count, const PanMasks& masks, int32_t dac,
             const int16_t* curve, int32_t (*rows)[2][8], OPN2_Emu* holder) {
    const RowMasks m(masks);
    for (uint64_t k = 0; k < count; ++k) {
        alignas(16) int32_t v[8] = {};
        mapToLanes<Mode, DacOn>(values + 6 * k, dac, curve, v);
        addToRow(v, m, rows[k]);
    }
    if (!holder) return;
    int32_t* heldLeft = holder->heldLeft;
    int32_t* heldRight = holder->heldRight;
    alignas(16) int32_t v[8] = {};
    mapToLanes<Mode, DacOn>(values + 6 * count, dac, curve, v);
    const RowLanes lo = rowLoad(v), hi = rowLoad(v + 4);
    const RowLanes l0 = lo & m.left[0], l1 = hi & m.left[1];
    const RowLanes r0 = lo & m.right[0], r1 = hi & m.right[1];
    std::memcpy(heldLeft, &l0, sizeof l0);
    std::memcpy(heldLeft + 4, &l1, 2 * sizeof(int32_t));
    std::memcpy(heldRight, &r0, sizeof r0);
    std::memcpy(heldRight + 4, &r1, 2 * sizeof(int32_t));
    addToRow(v, m, rows[count]);
}

template <int N>
using AddFramesFn = void (*)(const int32_t*, uint64_t, const PanMasks&, int32_t, const int16_t*,
                             int32_t*, int32_t*);
using MapFrameFn = void (*)(const int32_t*, const PanMasks&, int32_t, const int16_t*, int32_t*,
                            int32_t*);

// By output mode, then DAC off / on.
template <int N>
constexpr AddFramesFn<N> kAddFrames[4][2] = {{&addFrames<N, 0, false>, &addFrames<N, 0, true>},
                                             {&addFrames<N, 1, false>, &addFrames<N, 1, true>},
                                             {&addFrames<N, 2, false>, &addFrames<N, 2, true>},
                                             {&addFrames<N, 3, false>, &addFrames<N, 3, true>}};
template <int N>
using AddFrameHeldFn = void (*)(const int32_t*, const PanMasks&, int32_t, const int16_t*,
                                int32_t*, int32_t*, int32_t*, int32_t*);
template <int N>
constexpr AddFrameHeldFn<N> kAddFrameHeld[4][2] = {
    {&addFrameHeld<N, 0, false>, &addFrameHeld<N, 0, true>},
    {&addFrameHeld<N, 1, false>, &addFrameHeld<N, 1, true>},
    {&addFrameHeld<N, 2, false>, &addFrameHeld<N, 2, true>},
    {&addFrameHeld<N, 3, false>, &addFrameHeld<N, 3, true>}};
constexpr MapFrameFn kMapFrame[4][2] = {{&mapFrame<0, false>, &mapFrame<0, true>},
                                        {&mapFrame<1, false>, &mapFrame<1, true>},
                                        {&mapFrame<2, false>, &mapFrame<2, true>},
                                        {&mapFrame<3, false>, &mapFrame<3, true>}};

// Returns whether anything was added into outputs.
template <int N>
__attribute__((noinline)) bool renderSpreadN(OPN2_Emu& chip, int32_t* const* outputs,
                                             uint64_t frames, const int16_t* curve, uint32_t mode,
                                             SpreadRows* rows) {
    constexpr uint64_t n = N;
    int32_t* left = outputs[0];
    int32_t* right = outputs[1];
    // Rows are taken for the 21-slot frames while carrying.
    SpreadRows* const grid = N == 21 && chip.spreadCarry ? rows : nullptr;
    // The output mode the values are mapped in (mode 0 needs a curve).
    const uint32_t outputMode = spreadOutputMode(mode, curve);
    bool touched = false;
    // What went out past the last block and is not to be emitted now (a
    // reset dropped it, or it was cut for the other frame length).
    if (frames > 0 && (chip.retractPending() || (chip.restInCarry && chip.carryLength != N)))
        touched = chip.retractRest(outputs);
    uint64_t p = chip.spreadPhase;
    const PanMasks* masked = nullptr; // pans are read once, when a frame is first mapped

    uint64_t i = 0;
    while (i < frames) {
        if (p >= n - 1) {
            // The last slot of both schedules is empty (a phase left by the
            // other frame length counts as it).
            p = 0;
            chip.restInCarry = false;
            ++i;
            continue;
        }
        if (p != 0) {
            // The rest of the frame in progress, from the held frame (unless
            // it went out past the last block already).
            const uint64_t k = std::min(n - p, frames - i);
            if (!chip.restInCarry) {
                emitSlots<N>(chip.heldLeft, chip.heldRight, p, p + k, left + i, right + i);
                touched = true;
            }
            i += k;
            p = p + k == n ? 0 : p + k;
            if (p == 0) chip.restInCarry = false;
            continue;
        }
        // Every frame starting in the rest of the block, the last one
        // perhaps cut by its end.
        const uint64_t wholeLeft = (frames - i) / n;
        const uint64_t starts =
            std::min(wholeLeft + (frames - i != wholeLeft * n ? 1 : 0), kSamplesPerCall);
        const uint64_t whole = std::min(starts, wholeLeft);
        int32_t(*const row)[2][8] = spreadRowsAt<n>(grid, i, starts);
        touched = touched || !row;
        // Whole frames: mapped and added in one pass, a run computed ahead
        // at a time; a frame cut by the end of the block is taken in the
        // same run and held for the next call.
        for (uint64_t taken = 0; taken < starts;) {
            const auto [values, got, dacOn, dac, full] = takeSpreadRun(
                chip, starts - taken, whole - std::min(whole, taken), outputMode, curve);
            if (!masked) masked = &chip.panMasks();
            const PanMasks& masks = *masked;
            const bool cut = full < got;
            if (row && (full > 0 || cut)) {
                // Whole frames into their rows; a frame cut by the end of the
                // block goes whole into its row too, and is held.
                kSpreadAddRows[outputMode][dacOn ? 1 : 0](values, full, masks, dac, curve,
                                                          row + taken, cut ? &chip : nullptr);
            } else if (full > 0) {
                kAddFrames<N>[outputMode][dacOn ? 1 : 0](values, full, masks, dac, curve,
                                                         left + i + taken * n,
                                                         right + i + taken * n);
            }
            if (cut) {
                const uint64_t at = i + whole * n;
                p = frames - at;
                if (row) {
                    // Held, and whole into its row (above).
                    chip.restInCarry = true;
                    chip.carryLength = N;
                } else if (chip.spreadCarry) {
                    // Whole, the rest past the block; the values held too.
                    kAddFrameHeld<N>[outputMode][dacOn ? 1 : 0](
                        values + 6 * full, masks, dac, curve, left + at, right + at,
                        chip.heldLeft, chip.heldRight);
                    chip.restInCarry = true;
                    chip.carryLength = N;
                } else {
                    kMapFrame[outputMode][dacOn ? 1 : 0](values + 6 * full, masks, dac, curve,
                                                         chip.heldLeft, chip.heldRight);
                    emitSlots<N>(chip.heldLeft, chip.heldRight, 0, p, left + at, right + at);
                }
            }
            taken += got;
        }
        i = whole < starts ? frames : i + whole * n;
    }
    chip.spreadPhase = p;
    return touched;
}

} // namespace

const SpreadAddRowsFn kSpreadAddRows[4][2] = {{&addRows<0, false>, &addRows<0, true>},
                                              {&addRows<1, false>, &addRows<1, true>},
                                              {&addRows<2, false>, &addRows<2, true>},
                                              {&addRows<3, false>, &addRows<3, true>}};

void addSpreadRowsInRuns(OPN2_Emu& chip, uint64_t starts, uint64_t whole, const int16_t* curve,
                         uint32_t outputMode, int32_t (*row)[2][8]) {
    // In parts of at most kSamplesPerCall frames, as renderSpreadN takes
    // them, each in the runs the chip computed ahead; the pan masks are read
    // once, when a frame is first mapped.
    const PanMasks* masks = nullptr;
    for (uint64_t done = 0; done < starts;) {
        const uint64_t part = std::min(starts - done, kSamplesPerCall);
        const uint64_t partWhole = std::min(part, whole - std::min(whole, done));
        for (uint64_t taken = 0; taken < part;) {
            const auto [values, got, dacOn, dac, full] = takeSpreadRun(
                chip, part - taken, partWhole - std::min(partWhole, taken), outputMode, curve);
            if (!masks) masks = &chip.panMasks();
            const bool cut = full < got;
            kSpreadAddRows[outputMode][dacOn ? 1 : 0](values, full, *masks, dac, curve,
                                                      row + done + taken, cut ? &chip : nullptr);
            taken += got;
        }
        done += part;
    }
}

bool renderSpread(OPN2_Emu& chip, int32_t* const* outputs, uint64_t frames, const int16_t* curve,
                  uint32_t mode, uint32_t frameLength, SpreadRows* rows) {
    if (frameLength == 9) return renderSpreadN<9>(chip, outputs, frames, curve, mode, rows);
    if (rows && renderSpreadRowsOnly(chip, frames, curve, spreadOutputMode(mode, curve), *rows))
        return false;
    return renderSpreadN<21>(chip, outputs, frames, curve, mode, rows);
}

void retractSpreadRest(uint32_t frameLength, const int32_t* left, const int32_t* right,
                       uint64_t phase, int32_t* const* outputs) {
    int32_t negLeft[6], negRight[6];
    for (int c = 0; c < 6; ++c) {
        negLeft[c] = -left[c];
        negRight[c] = -right[c];
    }
    if (frameLength == 9) {
        if (phase < 9) emitSlots<9>(negLeft, negRight, phase, 9, outputs[0], outputs[1]);
    } else if (phase < 21) {
        emitSlots<21>(negLeft, negRight, phase, 21, outputs[0], outputs[1]);
    }
}
