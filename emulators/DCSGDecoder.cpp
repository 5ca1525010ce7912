#include "emulators/DCSGDecoder.h"

void DCSGDecoder::decode(uint8_t b) {
    if (b & 0x80) latch = (b >> 4) & 7;

    switch (latch) {
    case 0:
    case 2:
    case 4: {
        const uint32_t k = latch / 2;
        if (b & 0x80)
            tonePeriods[k] = (tonePeriods[k] & 0x3F0) | (b & 0x0F);
        else
            tonePeriods[k] = ((b & 0x3Fu) << 4) | (tonePeriods[k] & 0x0F);
        if (listener) listener->onPeriod(k, tonePeriods[k]);
        break;
    }
    case 6: {
        static constexpr uint32_t kNoiseRates[4] = {16, 32, 64, 0};
        if (listener) {
            listener->onPeriod(3, kNoiseRates[b & 3]);
            listener->onNoiseMode(3, 0, (b >> 2) & 1);
        }
        break;
    }
    default: // 1, 3, 5, 7: attenuation of channel (latch - 1) / 2
        if (listener) listener->onVolume((latch - 1) / 2, b & 0x0F);
        break;
    }
}
