// The common base of the chip sub-controllers: one object per chip channel of
// one console unit that turns the musical state of a voice's layer (pitch in
// Hz, velocity, amplitude, key on and off, patch values) into register writes.
// Writes go through the owning controller's ChipSubWriter, which stores them
// in the unit's register mirror and forwards them to the emulator unit.
//
// The FM kinds (OPN2_sub, OPN2Ch3_sub, OPN2_DAC_sub) keep the unit's YM2612
// mirror; the PSG kinds (DCSG_tone_sub, DCSG_noise_sub) write the PSG port,
// which has no mirror. Every operation runs on the audio path and allocates
// nothing.
#pragma once

#include <cstdint>

#include "instrument/OPN2_shadow.h"

// Where the sub-controllers send their bytes: the console controller, which
// mirrors ports 0 and 1 and forwards every byte to emulator unit `unit`.
class ChipSubWriter {
public:
    virtual ~ChipSubWriter() = default;
    virtual void reserved3() {}
    virtual void reserved4() {}
    // One register write on `port` of emulator unit `unit`.
    virtual void writeRegister(uint64_t unit, uint8_t reg, uint8_t value, uint64_t port) = 0;
};

// Marks the sub-controllers that a sample-time timer may drive.
class ChipSubTimerListener {
public:
    virtual ~ChipSubTimerListener() = default;
};

class ChipSubController : public ChipSubTimerListener {
public:
    ChipSubController(ChipSubWriter* writer, uint64_t unit, uint8_t channel, ChipSubShadow* mirror)
        : writer(writer), unit(unit), channel(channel), mirror(mirror) {}
    ~ChipSubController() override = default;
    ChipSubController(const ChipSubController&) = delete;
    ChipSubController& operator=(const ChipSubController&) = delete;

    virtual void reserved3() {}
    virtual bool reserved4() { return true; }
    // Writes every patch-derived register of the channel.
    virtual bool refreshAll() = 0;
    // The chip's input clock in Hz, from which pitches are computed.
    virtual void setClock(float clock) = 0;
    virtual void noteOn(float velocity) = 0;
    virtual void noteOff() = 0;
    virtual void retrigger() = 0;
    virtual void setVelocity(float velocity) = 0;
    // Pitch in Hz (the DAC kind: its playback rate in samples per second).
    virtual void setFrequency(float hz) = 0;
    virtual void reserved12() {}
    virtual void setAmplitude(float amplitude) = 0;
    // A kind-specific setting; either value pointer may be null.
    virtual void setParameter(uint32_t /*index*/, const int32_t* /*ivalue*/,
                              const float* /*fvalue*/) {}
    virtual void refreshPitchAndLevel() {}
    virtual void reserved16() {}

    ChipSubWriter* writer; // not owned
    uint64_t unit;         // emulator unit, 0-5 for the voices
    uint8_t channel;       // FM 0-5, PSG 0-3
    ChipSubShadow* mirror; // the unit's register mirror (null for the PSG kinds)

protected:
    // Stores the byte in the mirror (ports 0 and 1), then sends it to the unit.
    void sendRegister(uint8_t reg, uint8_t value, uint64_t port);
    // Sends the byte only when it differs from the mirrored one.
    void sendIfChanged(uint8_t reg, uint8_t value, uint64_t port);
    // Replaces the bits of `mask` in the mirrored byte with `bits`; sends the
    // result only when it changed.
    void sendBits(uint8_t reg, uint8_t mask, uint8_t bits, uint64_t port);
    uint8_t mirrored(uint8_t reg, uint64_t port) const {
        return mirror ? mirror->get(port, reg) : 0;
    }
};
