// Register-level state of one OPN-family chip: the six channel records, the
// shared state, the chip-level latches and flags, the sample voices and the
// register handler table. The chip object (OPNX_Emu) owns one; the functions
// of FmRegisters set it up, reset it and decode writes into it.
#pragma once

#include <cstdint>

#include "emulators/FmAdpcm.h"
#include "emulators/FmRhythm.h"
#include "emulators/FmTypes.h"

struct FmChipState;

// A register handler: (chip, address, data, port).
using FmWriteHandler = void (*)(FmChipState& chip, uint8_t address, uint8_t data, uint8_t port);

struct FmChipState {
    FmChipState() = default;
    // Channels link to `shared` by address: the state must not be copied.
    FmChipState(const FmChipState&) = delete;
    FmChipState& operator=(const FmChipState&) = delete;

    FmWriteHandler handlers[2][256] = {}; // [port & 1][address]
    FmRhythm rhythm;                      // YM2608
    FmChannel channels[6];
    FmSharedState shared;
    uint8_t channelCount = 0; // FM channels of the variant
    uint8_t freqLatch = 0;    // 0xA4-0xA6, shared by both ports
    uint8_t ch3FreqLatch = 0; // 0xAC-0xAE
    uint8_t modeRegister = 0; // last value written to 0x27
    uint8_t dacData = 0;      // YM2612 0x2A
    uint8_t dacEnabled = 0;   // YM2612 0x2B bit 7
    uint8_t prescalerA = 0;   // stored only
    uint8_t prescalerB = 0;
    int32_t delayedCh3 = 0; // YM2203: channel 3 value of the previous sample
    FmAdpcm adpcm;          // YM2610, YM2610B
};
