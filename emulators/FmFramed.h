// Whole-chip render onto an output grid of 21 or 9 positions per chip sample,
// one value per frame in the frame's first slot.
#pragma once

#include <cstdint>

class OPNX_Emu;

// Renders `frames` chip samples; sample k is added at position
// firstOffset + frameLength x k of the left and right outputs (the YM2203
// writes only the left one). Other variants than the YM2612 run the per-sample
// chip loop with values scaled by 8; the YM2612 adds its six channels unscaled
// through the block renderers. frameLength is 21 or 9. Returns 0.
int renderFramed(OPNX_Emu& chip, int32_t* const* outputs, uint64_t frames, uint64_t firstOffset,
                 uint64_t frameLength);
