// The YM2612 while it is silent: the test for silence and the advance that
// replaces the spread renders, which would only add zeros.
#include <algorithm>

#include "emulators/FmChannelRender.h"
#include "emulators/OPN2_Emu.h"

bool OPN2_Emu::isSilent(const int16_t* curve, uint32_t mode) {
    const uint32_t outputMode = mode > 3 ? 3 : (mode == 0 && !curve ? 1 : mode);
    if (outputMode == 0 && curve[256] != 0) return false;
    const FmSharedState& st = chip_.shared;
    if (chip_.dacEnabled || st.timerARunning || st.timerAOverflow || st.csmKeyOnPending ||
        st.csmS1KeyOffPending || st.csmKeyOnActive)
        return false;
    // What went out past the last block may have to be taken back.
    if (retract_.pending) return false;
    if (spreadPhase != 0 && !restInCarry)
        for (int c = 0; c < 6; ++c)
            if (heldLeft[c] != 0 || heldRight[c] != 0) return false;
    // The state after the samples computed ahead says nothing of the state
    // the output has reached when it is silent and that one is not (an
    // envelope that reaches full attenuation inside the run): a sounding
    // state answers at once, a silent one only once the chip has settled
    // back to where the output is.
    if (!fmChannelsSilent(chip_)) return false;
    if (ahead_.used < ahead_.count) {
        // A value still to be taken that is not zero sounds: no need to
        // settle to know it.
        const int32_t* v = ahead_.values + 6 * ahead_.used;
        for (const int32_t* end = ahead_.values + 6 * ahead_.count; v < end; ++v)
            if (*v != 0) return false;
        settle();
        if (!fmChannelsSilent(chip_)) return false;
    }
    return true;
}

void OPN2_Emu::advanceSilent(uint64_t frames, uint32_t frameLength) {
    settle();
    // The chip samples the spread render would compute: one per frame that
    // starts inside the block (counted as renderSpread counts them).
    const uint64_t n = frameLength == 9 ? 9 : 21;
    uint64_t p = spreadPhase;
    uint64_t samples = 0;
    bool cut = false;
    for (uint64_t i = 0; i < frames;) {
        if (p >= n - 1) {
            p = 0;
            restInCarry = false;
            ++i;
        } else if (p != 0) {
            const uint64_t k = std::min(n - p, frames - i);
            i += k;
            p = p + k == n ? 0 : p + k;
            if (p == 0) restInCarry = false;
        } else {
            const uint64_t whole = (frames - i) / n;
            samples += whole;
            i += whole * n;
            if (i < frames) {
                ++samples;
                cut = true;
                p = frames - i;
                i = frames;
            }
        }
    }
    while (samples > 0) {
        const uint32_t k = static_cast<uint32_t>(std::min<uint64_t>(samples, 1u << 30));
        advanceSilentChannels(chip_, k);
        samples -= k;
    }
    // A frame cut by the end holds the values of silent channels: zeros.
    if (cut) {
        std::fill(heldLeft, heldLeft + 6, 0);
        std::fill(heldRight, heldRight + 6, 0);
        restInCarry = false;
    }
    spreadPhase = p;
}
