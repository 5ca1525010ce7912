// The YM2612's spread renders: blocks of any length on a grid of 21 (or 9)
// output positions per chip sample, each channel in its own slot or slots of
// the frame. The channel values of every frame that starts in a block are
// taken from the chip at once (OPN2_Emu::takeValues) and placed in their
// slots; a frame cut by a block boundary is finished from the held frame by
// the next call.
#pragma once

#include <array>
#include <cstdint>

#include "emulators/FmSpreadLayout.h"

class OPN2_Emu;
struct SpreadRows;

// Schedules: the channel (1-6) whose value is added at each slot, 0 = none.
inline constexpr std::array<uint8_t, 21> kSpreadSchedule21 = spreadSchedule<21>();
inline constexpr std::array<uint8_t, 9> kSpreadSchedule9 = spreadSchedule<9>();

// Adds `frames` output positions into outputs[0] (left) and outputs[1]
// (right); frameLength is 21 or 9. `curve` (512 entries) is read in mode 0.
// With `rows` (frame length 21, the chip carrying), whole frames on the
// rows' grid go into their rows instead. Returns whether anything was added
// into outputs.
bool renderSpread(OPN2_Emu& chip, int32_t* const* outputs, uint64_t frames, const int16_t* curve,
                  uint32_t mode, uint32_t frameLength, SpreadRows* rows = nullptr);

// The output mode the values are mapped in for an output mode setting
// `mode` (mode 0 needs a curve): a caller may find it once and keep it.
inline uint32_t spreadOutputMode(uint32_t mode, const int16_t* curve) {
    return mode > 3 ? 3 : (mode == 0 && !curve ? 1 : mode);
}

// Subtracts slots [phase, frameLength) of a frame whose channel values are
// `left`, `right` from outputs[0] and outputs[1], the first slot at their
// start: takes back the rest of a frame added past a block.
void retractSpreadRest(uint32_t frameLength, const int32_t* left, const int32_t* right,
                       uint64_t phase, int32_t* const* outputs);
