// Phase generation and LFO of the FM core: key codes and phase increments
// from the frequency registers (with detune, multiple and LFO pitch
// modulation), phase key input and advance, and the chip's LFO.
#pragma once

#include <cstdint>

#include "emulators/FmTypes.h"

// Pitch-modulation offset (16-bit two's complement value, sign-extended) for
// an 11-bit fnum, a channel pms and an LFO step value L.
int32_t pmOffset(uint16_t fnum, uint8_t pms, uint8_t lfoStep);

// Recomputes keyCode, phaseInc and the effective envelope rates of the
// channel's four operators. S1 uses lfoStep, S3/S2/S4 lfoPrevStep. The
// variant is read through channel.shared.
void updateFrequencies(FmChannel& channel, uint8_t lfoStep, uint8_t lfoPrevStep);

// Phase key input: a rising edge resets the phase to 0.
void pgKey(FmOperator& op, uint8_t key);

// Returns the 10-bit phase for this sample (0 when `phaseReset`) and advances
// the accumulator by phaseInc, modulo 2^21.
uint32_t pgStep(FmOperator& op, bool phaseReset);

// Advances the accumulator by n increments at once, modulo 2^21.
void pgAdvanceBy(FmOperator& op, uint32_t n);

// One LFO tick of the per-sample loops. Returns whether the channels' phase
// increments must be recomputed (lfoAm has then been updated).
bool lfoTick(FmSharedState& shared);

// Samples until the next LFO event (chunk limit of the block renderers);
// UINT32_MAX when the LFO is off and idle.
uint32_t lfoSamplesToEvent(const FmSharedState& shared);
