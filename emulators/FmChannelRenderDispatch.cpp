// Channel dispatchers of the YM2612 block path: each channel record is
// rendered over the whole block from its own copy of the shared state, in the
// order of kChannelOrder, into its slot of the output frame.
#include <cstddef>

#include "emulators/FmChannelRender.h"
#include "emulators/FmTables.h"


namespace {

struct DispatchLayout {
    FmLayout layout;
    uint8_t offsets[6]; // by position in kChannelOrder
};

// Each record's own index.
constexpr uint8_t kRecordIndex[6] = {0, 1, 2, 3, 4, 5};

// A table by record in the order of kChannelOrder.
constexpr DispatchLayout inRenderOrder(FmLayout layout, const uint8_t (&slots)[6]) {
    DispatchLayout d{layout, {}};
    for (int i = 0; i < 6; ++i) d.offsets[i] = slots[kChannelOrder[i]];
    return d;
}

// By FmDispatch.
constexpr DispatchLayout kDispatchLayouts[7] = {
    {FmLayout::A, {0, 0, 0, 0, 0, 0}},
    {FmLayout::B, {0, 0, 0, 0, 0, 0}},
    {FmLayout::C, {0, 0, 0, 0, 0, 0}},
    inRenderOrder(FmLayout::C, kSpreadSlots9),
    inRenderOrder(FmLayout::D, kSpreadSlots21),
    inRenderOrder(FmLayout::E, kRecordIndex),
    inRenderOrder(FmLayout::R, kRecordIndex),
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
    FmSharedState copies[6];
    FmBlockKind kinds[6];
    for (int k = 0; k < 6; ++k) {
        copies[k] = start;
        kinds[k] = FmBlockKind::Plain;
        if (k == 4 && dacEnabled) kinds[k] = FmBlockKind::Dac;
        if (k == 5 && (timerARunning || csmPending(start))) kinds[k] = FmBlockKind::Csm;
    }
    auto shared = [&](int k) -> FmSharedState& { return k == 5 ? channel3 : copies[k]; };
    auto channel = [&](int k) -> FmChannel& { return chip.channels[kChannelOrder[k]]; };
    // Channels are independent (each renders from its own copy of the shared
    // state into its own slots, or adds): plain channels of one algorithm go
    // in pairs, whose chunks are computed side by side.
    bool rendered[6] = {};
    for (int k = 0; k < 6; ++k) {
        if (rendered[k]) continue;
        rendered[k] = true;
        int partner = -1;
        if (kinds[k] == FmBlockKind::Plain)
            for (int m = k + 1; m < 6 && partner < 0; ++m)
                if (!rendered[m] && kinds[m] == FmBlockKind::Plain &&
                    (channel(m).algorithm & 7) == (channel(k).algorithm & 7))
                    partner = m;
        if (partner >= 0) {
            rendered[partner] = true;
            renderChannelPair(d.layout, mode, channel(k), shared(k), channel(partner),
                              shared(partner), curve, left + d.offsets[k], right + d.offsets[k],
                              left + d.offsets[partner], right + d.offsets[partner],
                              static_cast<int32_t>(frames));
            continue;
        }
        const FmBlockRenderer render = renderChannelBlock(d.layout, kinds[k], mode);
        render(channel(k), shared(k), timerARunning, chip.dacData, dacEnabled, curve,
               left + d.offsets[k], right + d.offsets[k], static_cast<int32_t>(frames));
    }
    chip.shared = channel3;
}
