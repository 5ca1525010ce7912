// Re-expresses an SN76489 command stream as AY-3-8910-type PSG register
// writes (media chip type 31). The noise takes over AY channel C while it
// sounds.
#pragma once

#include <cstdint>

#include "emulators/DCSGDecoder.h"

class MediaCallback;

class DCSGtoPSG : public ChipDecoderListener, public DCSGDecoder {
public:
    static constexpr uint32_t kChipType = 31;
    static constexpr uint32_t kMaxNoisePeriod = 31; // the AY noise period is 5 bits

    // `mirror` holds the current AY register values (index = register);
    // entries 4 and 5 (tone C period) are read. Neither pointer is owned.
    DCSGtoPSG(uint32_t variant, MediaCallback* sink, const uint8_t* mirror);

    void onVolume(uint32_t channel, uint32_t attenuation) override;
    void onPeriod(uint32_t channel, uint32_t period) override;
    void onNoiseMode(uint32_t channel, uint32_t ignored, uint32_t white) override;

private:
    void out(uint32_t reg, uint32_t value);

    MediaCallback* sink;
    const uint8_t* mirror;
};
