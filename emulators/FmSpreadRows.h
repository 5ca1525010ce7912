// The usual call of a spread render that hands whole chip samples over as
// rows (SpreadRows): a unit that carries, in 21-slot frames, with no rest of
// a frame to emit and every frame that starts in the block on the rows'
// grid. It is inline so that a unit's span reaches its rows in one call; the
// values are mapped and added by the row adders of FmSpread.cpp.
#pragma once

#include <cstdint>

#include "emulators/ChipEmu.h"
#include "emulators/FmChannelRender.h"
#include "emulators/OPN2_Emu.h"

// The rows of the `starts` frames that start at frame i of a render, if
// they all lie on the grid of `grid` (frames of N slots); else null.
template <uint64_t N>
inline int32_t (*spreadRowsAt(const SpreadRows* grid, uint64_t i, uint64_t starts))[2][8] {
    if (!grid) return nullptr;
    const uint64_t at = grid->offset + i;
    if (at < grid->first) return nullptr;
    const uint64_t r = at == grid->first ? 0 : (at - grid->first) / N;
    if (r * N != at - grid->first || r + starts > grid->count || !grid->rows) return nullptr;
    return grid->rows + r;
}

// Adds `count` whole frames of unmapped channel values (record r at 6k + r)
// into `rows`, each value mapped, masked by its pan and added once a side;
// with a DAC, record 5 adds `dac` instead. With `holder`, the frame after
// them is the one cut by the end of the block: it goes whole into the next
// row, and the holder holds its values. By output mode, then DAC off / on.
using SpreadAddRowsFn = void (*)(const int32_t* values, uint64_t count,
                                 const OPN2_Emu::PanMasks& masks, int32_t dac,
                                 const int16_t* curve, int32_t (*rows)[2][8], OPN2_Emu* holder);
extern const SpreadAddRowsFn kSpreadAddRows[4][2];

// The `starts` frames of a rows call (`whole` of them whole, one cut by the
// end after them) into their rows, in the runs the chip computes ahead.
void addSpreadRowsInRuns(OPN2_Emu& chip, uint64_t starts, uint64_t whole, const int16_t* curve,
                         uint32_t outputMode, int32_t (*row)[2][8]);

// As renderSpread renders a call with rows for a chip that carries, with
// nothing added into the frames, for output mode `outputMode` (as
// spreadOutputMode gives it); false, with nothing changed, for any call
// that is not the usual one.
[[gnu::always_inline]] inline bool renderSpreadRowsOnly(OPN2_Emu& chip, uint64_t frames,
                                                       const int16_t* curve, uint32_t outputMode,
                                                       SpreadRows& grid) {
    constexpr uint64_t n = 21;
    const uint64_t p = chip.spreadPhase;
    if (!chip.spreadCarry || frames == 0 || chip.retractPending() || p >= n) return false;
    // No rest to emit or to take back: none in progress, it went out past
    // the last block, or only the empty last slot is left.
    if (chip.restInCarry ? p == 0 || chip.carryLength != n : p != 0 && p != n - 1) return false;
    const uint64_t i = p == 0 ? 0 : n - p; // past the frame in progress
    if (frames <= i) {
        // The block ends in the frame in progress.
        if (p + frames == n) {
            chip.spreadPhase = 0;
            chip.restInCarry = false;
        } else {
            chip.spreadPhase = p + frames;
        }
        return true;
    }
    const uint64_t whole = (frames - i) / n;
    const uint64_t cutPhase = frames - i - whole * n; // of a frame cut by the end
    const uint64_t starts = whole + (cutPhase != 0 ? 1 : 0);
    // The rows of those frames: they must start on the grid, all of them.
    int32_t(*const row)[2][8] = spreadRowsAt<n>(&grid, i, starts);
    if (!row) return false;

    chip.restInCarry = false;
    // Usually the run computed ahead holds every frame that starts in the
    // block: one pass, as addSpreadRowsInRuns would make it.
    const int32_t* values = starts <= OPN2_Emu::kMaxAhead
                                ? chip.takeReady(static_cast<uint32_t>(starts), outputMode < 2)
                                : nullptr;
    if (values) {
        const bool dacOn = chip.takenWithDac();
        const int32_t dac = dacOn ? fmDacValue(outputMode, chip.dacData(), curve) : 0;
        kSpreadAddRows[outputMode][dacOn ? 1 : 0](values, whole, chip.panMasks(), dac, curve,
                                                  row, cutPhase != 0 ? &chip : nullptr);
    } else {
        addSpreadRowsInRuns(chip, starts, whole, curve, outputMode, row);
    }
    chip.spreadPhase = cutPhase;
    if (cutPhase != 0) {
        // The frame cut by the end went whole into its row: its rest is out.
        chip.restInCarry = true;
        chip.carryLength = n;
    }
    return true;
}
