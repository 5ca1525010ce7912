// Noise channel of the SN76489 emulator: a shift register clocked every
// `limit` frames, whose bit 14 is the output. The TI family feeds back bits
// 13 ^ 14 (white) or bit 14 (periodic, 15 steps); the Sega family bits 12 ^ 15
// (white) or bit 15 (periodic, 16 steps). The rate is fixed or follows tone 2.
#pragma once

#include <cstdint>

#include "emulators/DCSGTone.h"

class DCSGNoise {
public:
    DCSGNoise(uint32_t variant, uint64_t factor, DCSGTone* tone2);
    virtual ~DCSGNoise() = default;

    // Rate from the noise control: 16, 32 or 64 counter steps per half, or 0
    // to follow tone 2.
    void setRate(uint32_t rate);
    void setMode(uint32_t white);

    // Adds n frames into `first` and `second`; either may be null (the
    // register still advances). A noise that follows tone 2 takes its rate
    // from tone 2 at the start of every call, also for n = 0.
    void run(int32_t* first, int32_t* second, uint64_t n);

    // What run does before rendering: a noise that follows tone 2 takes up
    // its rate.
    void followRate();
    // False for the variants that render no noise (the register stands still).
    bool renders() const;
    // Frames until the next shift (UINT64_MAX: never).
    uint64_t framesToShift() const { return counter < limit ? limit - counter : UINT64_MAX; }
    // The output until then.
    int32_t level() const { return outputBit ? volumeTable[attenuation & 15] : 0; }
    // Moves k frames on, k at most framesToShift(), shifting at the end.
    void step(uint64_t k);
    // A counter step lasts `whole` frames plus fraction / 2^32 (as for the
    // tones); the shift under way takes the new length at once.
    void setScale(uint64_t whole, uint32_t fraction);

    uint32_t variant;
    uint32_t attenuation = 15; // silent until software sets a level
    const int16_t* volumeTable = kDcsgVolumeTable;
    uint64_t limit = 0; // frames between two shifts; 0 = never shifts
    uint64_t counter = 0;
    uint64_t outputBit = 1;
    uint64_t factor;
    uint64_t limitSteps = 0; // counter steps between two shifts
    uint32_t stepFraction = 0;
    uint32_t stepCarry = 0;
    uint64_t lfsr = 1;
    uint8_t white = 0;
    DCSGTone* tone2; // not owned
    uint8_t followTone2 = 0;

private:
    void shift();
};
