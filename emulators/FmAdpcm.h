// YM2610/YM2610B sample voices: six ADPCM-A voices (port 1, 0x00-0x2D) and one
// ADPCM-B voice (port 0, 0x10-0x1C) decoding 4-bit ADPCM from host-supplied
// sample memory.
#pragma once

#include <cstdint>

// A view of caller-owned sample memory.
struct FmAdpcmMemory {
    const uint8_t* data = nullptr;
    uint64_t size = 0;
    uint64_t mask = 0; // smallest power of two not below size, minus 1
};

struct FmAdpcmVoice {
    uint8_t playing = 0;
    uint8_t ended = 0;
    uint8_t repeat = 0;
    uint8_t restartPending = 0;
    int32_t heldOutput = 0;
    int32_t holdCount = 0;       // output calls that still repeat heldOutput
    uint8_t isA = 0;             // 1 for ADPCM-A voices
    uint8_t panBits = 0;         // bit 1 = left, bit 0 = right
    uint16_t start = 0;          // in units of 256 bytes
    uint16_t end = 0;            // in units of 256 bytes
    uint8_t instrumentLevel = 0; // ADPCM-A, 5 bits
    uint8_t attenuation = 0;     // ADPCM-A: 94 - (instrumentLevel + total level)
    uint8_t volume = 0;          // ADPCM-B
    uint16_t deltaN = 0;         // ADPCM-B rate
    int32_t accumulator = 0;
    int32_t step = 0;    // ADPCM-A: step index 0-48; ADPCM-B: step size 127-24576
    int32_t current = 0; // ADPCM-B: last two decoded values and their difference
    int32_t previous = 0;
    int32_t delta = 0;
    uint16_t ratePhase = 0;
    FmAdpcmMemory memory;
    uint8_t secondNibble = 0;
    uint8_t currentByte = 0;
    uint64_t address = 0;       // byte address
    uint8_t stoppedByWrite = 0; // ADPCM-B
};

struct FmAdpcm {
    FmAdpcmVoice a[6];
    FmAdpcmVoice b;
    uint8_t totalLevel = 0; // ADPCM-A, 6 bits
    uint8_t divider = 0;    // counts 2, 1, 0; ADPCM-A is evaluated at 0
    int16_t heldLeft = 0;
    int16_t heldRight = 0;
};

extern const uint8_t kAdpcmLevelMult[8];
extern const uint16_t kAdpcmASteps[49];
extern const int8_t kAdpcmAIndexShift[16];
extern const uint8_t kAdpcmBScale[16];

// Marks the ADPCM-A voices (call once after construction).
void adpcmInit(FmAdpcm& adpcm);

// Region 0: the view shared by the six ADPCM-A voices; region 1: ADPCM-B.
// Sizes above 1 GiB and other regions are refused (false, nothing changed).
bool adpcmSetSampleMemory(FmAdpcm& adpcm, uint64_t region, const uint8_t* data, uint64_t size);

// Register writes: ADPCM-A on port 1 (0x00-0x2E), ADPCM-B on port 0 (0x10-0x1C).
void adpcmAWrite(FmAdpcm& adpcm, uint8_t address, uint8_t data);
void adpcmBWrite(FmAdpcm& adpcm, uint8_t address, uint8_t data);

// Stops every voice and clears the divider and held sums; views, addresses
// and levels stay.
void adpcmReset(FmAdpcm& adpcm);

// Per-voice steps (ADPCM-A: every third sample, output first; ADPCM-B: every
// sample, step first). adpcmOutput adds to left/right by the voice's pan.
void adpcmStep(FmAdpcmVoice& voice);
void adpcmOutput(FmAdpcmVoice& voice, int32_t& left, int32_t& right);

// One output sample of all seven voices, added to `left` and `right`.
void adpcmSample(FmAdpcm& adpcm, int32_t& left, int32_t& right);
