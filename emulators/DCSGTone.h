// One square-wave tone channel of the SN76489 emulator. Time is counted in
// output frames; one period step lasts `factor` frames, so each half of a
// cycle lasts factor x period frames. A chip clocked at a rate the frames do
// not divide adds a fraction of a frame per step: each half then lasts its
// own whole number of frames, averaging the exact length. The wave is
// unipolar: 0 or the level of the current attenuation.
#pragma once

#include <cstdint>

// Output level per attenuation 0-15 (about 2 dB per step); 15 is silent.
extern const int16_t kDcsgVolumeTable[16];

class DCSGTone {
public:
    DCSGTone(uint32_t variant, uint64_t factor);
    virtual ~DCSGTone() = default;

    // Stores a written period register; 0 means the variant's zero period.
    void setPeriod(uint32_t value);

    // Adds n frames of the wave into `first` and `second`; either may be null
    // (a channel routed nowhere still advances). A new period takes effect
    // when a high half ends.
    void run(int32_t* first, int32_t* second, uint64_t n);

    // Moves n frames on without output, as run with no outputs does, in a
    // few steps however many edges pass.
    void advance(uint64_t n);

    // Frames until the current half ends (at least 1).
    uint64_t framesToEdge() const { return counter < length ? length - counter : 1; }
    // The output during the current half.
    int32_t level() const { return phase == 1 ? volumeTable[attenuation & 15] : 0; }
    // Moves k frames on, k at most framesToEdge(): at the edge the wave
    // toggles and a high half ending takes up the period.
    void step(uint64_t k);
    // A step lasts `whole` frames plus fraction / 2^32; the half under way
    // takes the new length at once.
    void setScale(uint64_t whole, uint32_t fraction);

    uint32_t variant;
    uint64_t length = 0; // frames in the current half cycle
    uint64_t factor;
    uint64_t periodRegister = 1;
    uint64_t period = 1;     // effective period
    uint64_t halfPeriod = 0; // the period the current half was taken from
    uint32_t stepFraction = 0;
    uint32_t stepCarry = 0; // the part of a frame the halves so far left over
    uint64_t counter = 0;
    uint64_t phase = 0; // 1 = high half
    uint64_t attenuation = 15;
    const int16_t* volumeTable = kDcsgVolumeTable;
};
