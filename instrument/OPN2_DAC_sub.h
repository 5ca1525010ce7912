// Sample playback through the YM2612's DAC (channel 6 of a console unit):
// with the DAC enabled (0x2B bit 7) the chip outputs the byte last written to
// 0x2A in place of channel 6. This sub-controller is a sample-time timer on
// the controller's queue: each firing writes one sample byte and returns the
// number of output samples until the next one, so the playback rate is exact
// to the output sample and independent of block sizes.
//
// The samples come from a host sample record (little-endian, offsets from its
// start): u32 at 32 the total number of 16-bit samples, u32 at 36 their rate
// in Hz, u32 at 64 + 4i the first sample index of slot i (i < 128), a marker
// byte per slot at 576 + i (5 = a region starts here; 1 and 2 mark the start
// and end of the whole set's data), and the i16 samples from offset 704. A
// key plays the region of slot (key - base key), wrapped down by the region
// count. Every index read from the record is checked against the record's
// size, so a short or inconsistent record plays silence instead of reading
// outside it.
#pragma once

#include <cstdint>

#include "engine-support/QuantumManager.h"
#include "engine-support/QuantumTimer.h"
#include "instrument/ChipSubController.h"

class OPN2_DAC_sub : public ChipSubController, public vantor::QuantumTimer {
public:
    static constexpr uint32_t kDefaultRate = 15734; // Hz, without a usable rate
    static constexpr uint64_t kHeaderSize = 704;    // samples start here
    // Queue cookie of unit u's DAC timer: kTimerCookie + u, apart from the
    // cookies of the layer manager, the automation slots and the media streamers.
    static constexpr uint64_t kTimerCookie = 0xDAC0;
    static constexpr uint8_t kNoKey = 255; // no note played yet

    OPN2_DAC_sub(ChipSubWriter* writer, uint64_t unit, ChipSubShadow* mirror)
        : ChipSubController(writer, unit, 5, mirror) {}
    ~OPN2_DAC_sub() override;

    bool refreshAll() override { return true; }
    void setClock(float) override {}
    // Plays the stored key again (nothing before the first keyed note). The
    // controller starts DAC notes with noteOn(key, velocity).
    void noteOn(float velocity) override { noteOn(currentKey, velocity); }
    // Plays the region of `key`; ignored without a set, below the base key,
    // or when the key's region is empty or lies outside the set.
    void noteOn(uint8_t key, float velocity);
    void noteOff() override;
    void retrigger() override { noteOn(currentKey, velocity); }
    void setVelocity(float v) override { velocity = v; }
    // Playback rate in samples per second; a rate that is not a positive
    // number is ignored.
    void setFrequency(float rate) override;
    void setAmplitude(float a) override { amplitude = a; }
    // 0 jitter mode, 1 jitter amount, 2 resolution in bits, 3 gain, 4 loop
    // mode, 5 base key.
    void setParameter(uint32_t index, const int32_t* ivalue, const float* fvalue) override;

    // Writes one sample and returns the output samples until the next.
    uint64_t onQuantum(double sampleRate) override;
    void writeRegister(uint8_t reg, uint8_t value, bool port);

    // Attaches a host sample record of `size` bytes (null: detach). The
    // sample count is limited to what the record holds.
    void attachSampleSet(const uint8_t* record, uint64_t size);
    // The queue this timer runs on (the controller's); not owned.
    void setTimerQueue(vantor::QuantumManager* queue);
    // The rate of the attached samples in Hz (kDefaultRate without a set or
    // for a record that gives 0).
    uint32_t sampleRate() const;
    bool playing() const { return scheduled; }

    const uint8_t* sampleSet = nullptr;
    uint64_t sampleSetSize = 0;
    uint32_t totalSamples = 0; // usable samples of the set
    // Sample indices: the read position, the region's first and last sample,
    // and the last sample of the set's data.
    uint32_t readPos = 0, regionStart = 0, regionLast = 0, dataLast = 0;
    uint32_t loopMode = 0; // 0 region, 1 continue, 2 loop, else hold
    uint8_t baseKey = 36;
    uint8_t sampleCount = 0; // slots marked 5
    uint8_t currentKey = kNoKey;
    uint8_t shift = 0;       // low bits cleared from each byte (8 - resolution)
    uint32_t jitterMode = 0; // 0 off, 1 frame stall, 2 random
    int32_t stallLines = 0;
    float jitterAmount = 0.0f;
    double frameAccumulator = 0.0;
    float amplitude = 1.0f, velocity = 1.0f, gain = 1.0f;
    float step = 1.0f; // seconds per sample
    double phase = 0.0;
    vantor::QuantumManager* timerQueue = nullptr;

private:
    uint32_t u32At(uint64_t offset) const;
    uint8_t markerOf(int slot) const { return sampleSet[576 + slot]; }
    int16_t sampleAt(uint32_t index) const;
    void stop();
    bool scheduled = false;
};
