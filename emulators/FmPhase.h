// Phase generation and LFO of the FM core: key codes and phase increments
// from the frequency registers (with detune, multiple and LFO pitch
// modulation), phase key input and advance, and the chip's LFO.
#pragma once

#include <cstdint>

#include "emulators/FmTypes.h"

// The LFO's phase, as on the chip: at step 0 (where it starts when switched
// on) the tremolo is at its largest attenuation and the vibrato raises the
// pitch through the first half cycle, steps 0-63; in the second half the
// tremolo has let go (0 at step 64) and the pitch falls.

// Pitch-modulation offset (16-bit two's complement value, sign-extended) for
// an 11-bit fnum, a channel pms and an LFO step value L: positive for steps
// 0-63 of each 128, negative for steps 64-127.
int32_t pmOffset(uint16_t fnum, uint8_t pms, uint8_t lfoStep);

// Amplitude-modulation value 0-63 of a running LFO at step value L: a
// triangle over 128 steps from 63 at step 0 down to 0 at step 64 and back.
inline uint32_t lfoAmOf(uint8_t lfoStep) {
    return (lfoStep & 64u) ? (lfoStep & 63u) : 63u - (lfoStep & 63u);
}

// Recomputes keyCode, phaseInc and the effective envelope rates of the
// channel's four operators. S1 uses lfoStep, S3/S2/S4 lfoPrevStep. The
// variant and the pitch scale are read through channel.shared.
void updateFrequencies(FmChannel& channel, uint8_t lfoStep, uint8_t lfoPrevStep);

// Phase key input: a rising edge resets the phase to 0.
void pgKey(FmOperator& op, uint8_t key);

// Returns the 10-bit phase for this sample (0 when `phaseReset`) and advances
// the accumulator by phaseInc, modulo 2^21.
uint32_t pgStep(FmOperator& op, bool phaseReset);

// Advances the accumulator by n increments at once, modulo 2^21.
void pgAdvanceBy(FmOperator& op, uint32_t n);

// One LFO tick of the per-sample loops: lfoAm follows the step while the LFO
// runs and is 0 while it is off. Returns whether the channels' phase
// increments must be recomputed.
bool lfoTick(FmSharedState& shared);

// Samples until the next LFO event (chunk limit of the block renderers):
// 1 while the step, the previous step or the AM value still has to catch up
// (the AM value right after the LFO is switched on); UINT32_MAX when the LFO
// is off and idle.
uint32_t lfoSamplesToEvent(const FmSharedState& shared);
