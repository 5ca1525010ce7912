// The AY8930's noise generator: the AY noise register with the chip's two noise
// mask registers. The masks are stored for the register interface; the noise
// sequence itself is the plain AY one.
#pragma once

#include "emulators/AY_ChipLFSR.h"

class AY8930Noise : public ChipLFSR {
public:
    explicit AY8930Noise(uint32_t maxFrames) : ChipLFSR(maxFrames) {}
    ~AY8930Noise() override = default;

    uint8_t andMask = 0;
    uint8_t orMask = 0;
};
