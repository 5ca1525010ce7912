// Tables of the OPN-family FM core. The computed tables (log-sine, exponent,
// waveform) are process-wide and filled by buildFmTables(); ensureFmTables()
// builds them once per process and is what chip construction calls.
#pragma once

#include <cstdint>

// Attenuation of a quarter sine wave in 1/256 octave (intermediate table).
extern uint32_t kLogSin[256];
// Fractional part of the exponent, descending. A log value L becomes the
// magnitude ((kExpTable[L & 255] * 4) + 4096) >> (L >> 8).
extern uint32_t kExpTable[256];
// One full sine period indexed by the 10-bit phase: bit 15 = sign (negative
// half-wave), the low 15 bits the log magnitude.
extern uint16_t kWaveforms[1024];

// Rewrites the three computed tables (same values every time).
void buildFmTables();
// Builds the computed tables once per process (thread-safe).
void ensureFmTables();

// Samples per LFO step for LFO rate 0-7.
extern const uint8_t kLfoPeriods[8];
// Pitch-modulation step selector [pms][i].
extern const uint8_t kLfoPmSteps[8][8];
// Twice the frequency multiple (multiple 0 = one half).
extern const uint16_t kMultiples[16];
// Low 2 bits of the key code, by fnum >> 7.
extern const uint16_t kKeyCodeNotes[16];
// Phase-increment offset [detune][keyCode].
extern const int8_t kDetune[8][32];
// Envelope steps for rates below 48 [rate & 3][cycle bits].
extern const uint8_t kEgPatternLow[4][8];
// Double increments for rates 48 and above [rate & 3][cycle & 3].
extern const uint8_t kEgPatternHigh[4][4];
// Channel-3 special frequency entry by address - 0xA8 (0xA8 = S3, 0xA9 = S1, 0xAA = S2).
extern const uint8_t kSpecialFnumSlot[3];

// Channel records by variant. These three maps are the single source of truth
// for which of the six FmChannel records a variant uses: the register handlers,
// key-on, reset, mute, LFO updates and the per-sample mix all go through them.
// The YM2610 (variant 2) uses records 1, 2, 4 and 5 everywhere (record 2 is
// channel 3 for special mode and CSM), so its four channels keep their own pans.
//
// Register 0x28 (key on/off): channel record by [variant][data & 7], -1 = none.
extern const int8_t kKeyOnChannelMap[5][8];
// Operator/channel registers: channel record by [variant][port][address & 3], -1 = none.
extern const int8_t kPortChannelMap[5][2][4];

struct FmChannelRecords {
    uint8_t count;      // FM channels of the variant
    uint8_t records[6]; // their records, in channel order (last = "channel 6" mix)
};
// Channels of a variant; an unknown variant has none.
const FmChannelRecords& fmChannelRecords(uint32_t variant);

// The record of channel 3 (special mode, CSM) in every variant.
constexpr int kFmChannel3Record = 2;
