#include "emulators/FmChannelRenderTables.h"

#include <mutex>

#include "emulators/FmTables.h"

uint16_t kFmSignedWave[1024];
int16_t kFmSignedPow[2 * kFmSignedPowOffset];

void buildFmRenderTables() {
    ensureFmTables();
    for (int p = 0; p < 1024; ++p) {
        uint32_t w = kWaveforms[p];
        kFmSignedWave[p] =
            static_cast<uint16_t>((w & 0x7FFF) + ((w & 0x8000) ? kFmSignedPowOffset : 0));
    }
    for (uint32_t l = 0; l < kFmSignedPowOffset; ++l) {
        int32_t m = static_cast<int32_t>(((kExpTable[l & 255] * 4) + 4096) >> (l >> 8));
        kFmSignedPow[l] = static_cast<int16_t>(m);
        kFmSignedPow[kFmSignedPowOffset + l] = static_cast<int16_t>(-m);
    }
}

void ensureFmRenderTables() {
    static std::once_flag once;
    std::call_once(once, buildFmRenderTables);
}
