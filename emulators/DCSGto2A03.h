// Re-expresses an SN76489 command stream as NES 2A03 APU register writes
// (media chip type 44): tones 0 and 1 on the pulse channels, tone 2 on the
// triangle, the noise on the noise channel.
#pragma once

#include <cstdint>

#include "emulators/DCSGDecoder.h"

class MediaCallback;

class DCSGto2A03 : public ChipDecoderListener, public DCSGDecoder {
public:
    static constexpr uint32_t kChipType = 44;

    // Writes the APU's start-up registers to the sink (not owned).
    DCSGto2A03(uint32_t variant, MediaCallback* sink);

    void onVolume(uint32_t channel, uint32_t attenuation) override;
    void onPeriod(uint32_t channel, uint32_t period) override;
    void onNoiseMode(uint32_t channel, uint32_t ignored, uint32_t white) override;

private:
    // converterState bytes: 0 and 1 the last high period bits of pulse 1
    // and pulse 2, 3 the noise register.
    void pulsePeriod(uint32_t period, uint32_t lowReg, uint8_t& highCache);
    void out(uint32_t reg, uint32_t value);

    MediaCallback* sink;
};
