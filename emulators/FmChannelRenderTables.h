// Lookup tables of the FM channel renderers, derived from the log-sine
// waveform and the exponent table. An operator output is one lookup in each:
// the waveform entry carries the sign as an offset of kFmSignedPowOffset, so
// the signed magnitude of (attenuation, phase) is
// kFmSignedPow[atten4 + kFmSignedWave[phase & 1023]].
#pragma once

#include <cstdint>

// Attenuations (in envelope units) at or above this value give an output of 0:
// 4 x 832 = 3328 already shifts the largest magnitude (8168) down to 0.
constexpr uint32_t kFmAttenuationCap = 832;
// Offset of the negative half-wave in kFmSignedPow.
constexpr uint32_t kFmSignedPowOffset = 8192;

// Log magnitude of the sine, plus kFmSignedPowOffset on the negative half-wave.
extern uint16_t kFmSignedWave[1024];
// Magnitude ((kExpTable[L & 255] * 4) + 4096) >> (L >> 8) for L < 8192,
// its negative at kFmSignedPowOffset + L.
extern int16_t kFmSignedPow[2 * kFmSignedPowOffset];

// Builds the FM tables when needed, then rewrites the derived tables above
// (same values every time).
void buildFmRenderTables();
// Builds them once per process (thread-safe); what chip construction calls.
void ensureFmRenderTables();

// Scaled attenuation of an envelope attenuation E: 4 x min(E, cap).
inline uint32_t fmAtten4(uint32_t e) {
    return (e < kFmAttenuationCap ? e : kFmAttenuationCap) << 2;
}

// Signed 14-bit operator output for a phase (any int, taken modulo 1024) and a
// scaled attenuation from fmAtten4.
inline int32_t fmOperatorOutput(int32_t phase, uint32_t atten4) {
    return kFmSignedPow[atten4 + kFmSignedWave[phase & 1023]];
}
