// Channel dispatchers of the YM2612 block path: each channel record is
// rendered over the whole block from its own copy of the shared state, in the
// order of kChannelOrder, into its slot of the output frame.
#include <cstddef>

#include "emulators/FmChannelRender.h"
#include "emulators/FmTables.h"

const uint8_t kChannelOrder[6] = {0, 1, 3, 4, 5, 2};
const uint8_t kSpreadSlots21[6] = {0, 10, 7, 17, 3, 14};
const uint8_t kSpreadSlots9[6] = {0, 4, 3, 7, 1, 6};

namespace {

struct DispatchLayout {
    FmLayout layout;
    uint8_t offsets[6]; // by position in kChannelOrder
};

// By FmDispatch.
const DispatchLayout kDispatchLayouts[7] = {
    {FmLayout::A, {0, 0, 0, 0, 0, 0}},    {FmLayout::B, {0, 0, 0, 0, 0, 0}},
    {FmLayout::C, {0, 0, 0, 0, 0, 0}},    {FmLayout::C, {0, 4, 7, 1, 6, 3}},
    {FmLayout::D, {0, 10, 17, 3, 14, 7}}, {FmLayout::E, {0, 1, 3, 4, 5, 2}},
    {FmLayout::R, {0, 1, 3, 4, 5, 2}},
};

bool csmPending(const FmSharedState& st) {
    return st.timerAOverflow || st.csmKeyOnPending || st.csmS1KeyOffPending || st.csmKeyOnActive;
}

} // namespace

void renderChannels(FmChipState& chip, FmDispatch dispatch, uint8_t timerARunning,
                    uint8_t dacEnabled, const int16_t* curve, uint32_t mode, int32_t* left,
                    int32_t* right, uint32_t frames) {
    if (mode > 3) mode = 3;
    if (mode == 0 && !curve) mode = 1;
    const DispatchLayout& d = kDispatchLayouts[static_cast<int>(dispatch)];
    const FmSharedState start = chip.shared;
    FmSharedState channel3 = start;
    for (int k = 0; k < 6; ++k) {
        FmBlockKind kind = FmBlockKind::Plain;
        if (k == 4 && dacEnabled) kind = FmBlockKind::Dac;
        if (k == 5 && (timerARunning || csmPending(start))) kind = FmBlockKind::Csm;
        FmSharedState copy = start;
        FmSharedState& shared = k == 5 ? channel3 : copy;
        const FmBlockRenderer render = renderChannelBlock(d.layout, kind, mode);
        render(chip.channels[kChannelOrder[k]], shared, timerARunning, chip.dacData, dacEnabled,
               curve, left + d.offsets[k], right + d.offsets[k], static_cast<int32_t>(frames));
    }
    chip.shared = channel3;
}
