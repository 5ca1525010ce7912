#include "emulators/FmFramed.h"

#include <algorithm>

#include "emulators/FmChannelRender.h"
#include "emulators/OPNX_Emu.h"

int renderFramed(OPNX_Emu& chip, int32_t* const* outputs, uint64_t frames, uint64_t firstOffset,
                 uint64_t frameLength) {
    int32_t* left = outputs[0] + firstOffset;
    int32_t* right = outputs[1] + firstOffset;
    if (chip.variant() != kFmYM2612) {
        chip.renderSamples(left, right, frames, frameLength, 8);
        return 0;
    }
    FmChipState& st = chip.state();
    const FmDispatch dispatch = frameLength == 9 ? FmDispatch::Framed9 : FmDispatch::Framed21;
    const uint64_t step = frameLength == 9 ? 9 : 21;
    constexpr uint64_t kMaxFrames = 1u << 22;
    while (frames > 0) {
        const uint64_t n = std::min(frames, kMaxFrames);
        renderChannels(st, dispatch, st.shared.timerARunning, st.dacEnabled, nullptr, 3, left,
                       right, static_cast<uint32_t>(n));
        left += n * step;
        right += n * step;
        frames -= n;
    }
    return 0;
}
