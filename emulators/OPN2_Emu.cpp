#include "emulators/OPN2_Emu.h"

#include <algorithm>

#include "emulators/FmSpread.h"
#include "emulators/FmTypes.h"

OPN2_Emu::OPN2_Emu() : OPNX_Emu(kFmYM2612) {}

OPN2_Emu::~OPN2_Emu() = default;

void OPN2_Emu::reset() {
    OPNX_Emu::reset();
    spreadPhase = 0;
    std::fill(heldLeft, heldLeft + 6, 0);
    std::fill(heldRight, heldRight + 6, 0);
}

void OPN2_Emu::renderSpread21(int32_t** outputs, uint64_t frames, const int16_t* curve,
                              uint32_t mode) {
    renderSpread(*this, outputs, frames, curve, mode, 21);
}

void OPN2_Emu::renderSpread9(int32_t** outputs, uint64_t frames, const int16_t* curve,
                             uint32_t mode) {
    renderSpread(*this, outputs, frames, curve, mode, 9);
}
