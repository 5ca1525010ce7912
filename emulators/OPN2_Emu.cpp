#include "emulators/OPN2_Emu.h"

#include <algorithm>
#include <cstdint>

#include "emulators/FmChannelRender.h"
#include "emulators/FmSpread.h"
#include "emulators/FmTypes.h"

namespace {

// Samples after the end of the last span between settles during which no
// more is computed than asked for (the spans of a steady writer vary by a
// sample or two).
constexpr uint32_t kSpanGrace = 32;

} // namespace

OPN2_Emu::OPN2_Emu() : OPNX_Emu(kFmYM2612) {}

OPN2_Emu::~OPN2_Emu() = default;

void OPN2_Emu::reset() {
    OPNX_Emu::reset();
    if (restInCarry && spreadPhase != 0) {
        // Without carrying the reset would drop the rest of the frame.
        retract_.pending = true;
        retract_.length = carryLength;
        retract_.phase = spreadPhase;
        std::copy(heldLeft, heldLeft + 6, retract_.left);
        std::copy(heldRight, heldRight + 6, retract_.right);
    }
    restInCarry = false;
    spreadPhase = 0;
    std::fill(heldLeft, heldLeft + 6, 0);
    std::fill(heldRight, heldRight + 6, 0);
}

void OPN2_Emu::write(uint16_t address, uint8_t data, uint64_t port) {
    // The DAC byte only sets chip_.dacData, which the samples computed ahead
    // do not hold.
    if ((port & 1) == 0 && (address & 0xFF) == 0x2A)
        chip_.dacData = data;
    else
        OPNX_Emu::write(address, data, port);
}

bool OPN2_Emu::renderSpread21(int32_t** outputs, uint64_t frames, const int16_t* curve,
                              uint32_t mode, SpreadRows* rows) {
    return renderSpread(*this, outputs, frames, curve, mode, 21, rows);
}

void OPN2_Emu::renderSpread9(int32_t** outputs, uint64_t frames, const int16_t* curve,
                             uint32_t mode) {
    renderSpread(*this, outputs, frames, curve, mode, 9);
}

bool OPN2_Emu::retractRest(int32_t* const* outputs) {
    bool took = false;
    if (retract_.pending) {
        retract_.pending = false;
        retractSpreadRest(retract_.length, retract_.left, retract_.right, retract_.phase,
                          outputs);
        took = true;
    }
    if (restInCarry) {
        restInCarry = false;
        if (spreadPhase != 0) {
            retractSpreadRest(carryLength, heldLeft, heldRight, spreadPhase, outputs);
            took = true;
        }
    }
    return took;
}

void OPN2_Emu::computeAhead(uint32_t need, bool truncated) {
    uint32_t n = std::min(ahead_.steadyRun, kMaxAhead);
    if (ahead_.steadyRun < ahead_.lastSpan)
        n = std::min(n, ahead_.lastSpan - ahead_.steadyRun); // up to where the last span ended
    else if (ahead_.steadyRun < ahead_.lastSpan + kSpanGrace)
        n = 0; // just past it: only what is asked for
    n = std::min(std::max(need, n), kMaxAhead);
    if (n > need) {
        // Samples beyond those asked for may have to be undone.
        std::copy(chip_.channels, chip_.channels + 6, ahead_.savedChannels);
        ahead_.savedShared = chip_.shared;
    }
    renderAhead(n, truncated);
    ahead_.count = n;
    ahead_.used = 0;
    ahead_.truncated = truncated;
    ahead_.dac = chip_.dacEnabled != 0;
}

void OPN2_Emu::renderAhead(uint32_t n, bool truncated) {
    renderChannels(chip_, FmDispatch::Raw, chip_.shared.timerARunning, chip_.dacEnabled, nullptr,
                   truncated ? 1 : 3, ahead_.values, ahead_.values, n);
}

void OPN2_Emu::settle() {
    ahead_.panMasksStale = true; // whoever settles may change the pans next
    if (ahead_.count == 0 && ahead_.steadyRun == 0) return; // nothing computed ahead
    if (ahead_.used < ahead_.count) {
        // Back to where the run began, then forward over what was taken.
        std::copy(ahead_.savedChannels, ahead_.savedChannels + 6, chip_.channels);
        chip_.shared = ahead_.savedShared;
        if (ahead_.used > 0) renderAhead(ahead_.used, ahead_.truncated);
    }
    ahead_.count = 0;
    ahead_.used = 0;
    if (ahead_.steadyRun > 0) ahead_.lastSpan = ahead_.steadyRun;
    ahead_.steadyRun = 0;
}
