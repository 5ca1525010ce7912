// Envelope generator of one FM operator: rate derivation, key input, the
// per-sample step with SSG-EG, and the chip-wide envelope counter.
#pragma once

#include <cstdint>

#include "emulators/FmTypes.h"

// Effective rate of a 5-bit attack/decay/sustain rate register with key-scale
// offset ks: 0 for a register of 0, else min(2 * reg + ks, 62).
uint8_t egRate(uint8_t reg, uint8_t ks);
// Effective release rate: min(4 * reg + 2 + ks, 62).
uint8_t egReleaseRate(uint8_t reg, uint8_t ks);
// Key-scale offset of an operator: keyCode >> (3 - keyScale).
uint8_t egKeyScaleOffset(const FmOperator& op);
// Sustain level in attenuation units: 992 for 15, else 32 * sustainLevel.
uint16_t egSustainLevel10(uint8_t sustainLevel);

// Recomputes all four effective rates and the sustain level of an operator.
void egRates(FmOperator& op);

// Key input: a rising edge starts the key-on delay; a key-off ends the key
// (folding SSG-EG inversion into the level). The state is not changed on
// key-off: the release starts at the next rate step.
void egKey(FmEnvelope& eg, uint8_t key, uint8_t totalLevel);

// Per-sample step. Returns the 10-bit envelope output; sets `phaseReset` when
// an SSG-EG mode restarts the operator's phase (never clears it).
uint32_t egStep(FmEnvelope& eg, uint16_t egCounter, bool& phaseReset);

// One envelope-counter tick: c + 1, or c + 2 when (c + 1) & 3 == 3; 16384
// becomes 4. The counter cycles through 12285 values from 4 to 16382.
uint16_t egAdvanceCounter(uint16_t counter);
// n ticks at once, in closed form (equal to n single ticks for every counter).
uint16_t egAdvanceCounterBy(uint16_t counter, uint32_t n);
