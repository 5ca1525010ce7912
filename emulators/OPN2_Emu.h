// The YM2612 form of the OPN-family chip, with the spread renders of the
// console sound system: every chip sample owns a frame of 21 (or 9) output
// positions in which each channel has its own slot or slots.
#pragma once

#include <cstdint>

#include "emulators/OPNX_Emu.h"

class OPN2_Emu : public OPNX_Emu {
public:
    OPN2_Emu();
    ~OPN2_Emu() override;

    // Also clears the spread phase and the held frame.
    void reset() override;

    // Adds `frames` output positions with each channel in its slots of the
    // 21-slot (or 9-slot) frame; `curve` (512 entries) is read in mode 0 only.
    void renderSpread21(int32_t** outputs, uint64_t frames, const int16_t* curve, uint32_t mode);
    void renderSpread9(int32_t** outputs, uint64_t frames, const int16_t* curve, uint32_t mode);

    // Spread state: the slot of the frame in progress that is emitted next,
    // and that frame's channel values (index c - 1 for channel c).
    uint64_t spreadPhase = 0;
    int32_t heldLeft[6] = {};
    int32_t heldRight[6] = {};
};
