#include "emulators/FmSpread.h"

#include <algorithm>

#include "emulators/FmChannelRender.h"
#include "emulators/OPN2_Emu.h"

const uint8_t kSpreadSchedule21[21] = {1, 1, 0, 5, 5, 0, 0, 3, 3, 0, 2,
                                       2, 0, 0, 6, 6, 0, 4, 4, 0, 0};
const uint8_t kSpreadSchedule9[9] = {1, 5, 0, 3, 2, 0, 6, 4, 0};

void renderSpread(OPN2_Emu& chip, int32_t* const* outputs, uint64_t frames, const int16_t* curve,
                  uint32_t mode, uint32_t frameLength) {
    const uint64_t n = frameLength == 9 ? 9 : 21;
    const uint8_t* schedule = n == 9 ? kSpreadSchedule9 : kSpreadSchedule21;
    const FmDispatch whole = n == 9 ? FmDispatch::Spread9 : FmDispatch::Spread21;
    FmChipState& st = chip.state();
    const uint8_t timerARunning = st.shared.timerARunning;
    const uint8_t dacEnabled = st.dacEnabled;
    int32_t* left = outputs[0];
    int32_t* right = outputs[1];
    uint64_t p = chip.spreadPhase;
    constexpr uint64_t kMaxFrames = 1u << 22;

    uint64_t i = 0;
    while (i < frames) {
        if (p == 0 && frames - i >= n) {
            const uint64_t k = std::min((frames - i) / n, kMaxFrames);
            renderChannels(st, whole, timerARunning, dacEnabled, curve, mode, left + i, right + i,
                           static_cast<uint32_t>(k));
            i += k * n;
            continue;
        }
        if (p == 0) {
            std::fill(chip.heldLeft, chip.heldLeft + 6, 0);
            std::fill(chip.heldRight, chip.heldRight + 6, 0);
            renderChannels(st, FmDispatch::Held, timerARunning, dacEnabled, curve, mode,
                           chip.heldLeft, chip.heldRight, 1);
        }
        if (p >= n - 1) {
            p = 0; // the last slot of both schedules is empty
        } else {
            const uint8_t c = schedule[p];
            if (c) {
                left[i] += chip.heldLeft[c - 1];
                right[i] += chip.heldRight[c - 1];
            }
            ++p;
        }
        ++i;
    }
    chip.spreadPhase = p;
}
