// One FM channel of a console unit's YM2612 playing one layer of a voice.
// The channel's instrument (a PatchRecord owned by the controller) becomes the
// operator and channel registers; the voice's pitch becomes block and
// F-number; velocity, amplitude and the operators' level fields become the
// four total-level registers; the layer's pan becomes the output bits of 0xB4.
//
// Addressing: channel c sits on port c / 3 at offset c mod 3; operator blocks
// 0-3 of the record sit at register offsets 0, 8, 4, 12; the key register 0x28
// takes channel code c (c < 3) or c + 1. Bit fields are changed in the
// mirrored byte and sent only when the byte changes; key, frequency and level
// writes always go out.
#pragma once

#include <cstdint>

#include "instrument/ChipSubController.h"
#include "instrument/PatchRecord.h"

// The channel-3 settings of a unit (i32 words, the order of the controller's
// parameter record): special mode 0 off, 1 per-operator frequencies, 2 the
// same keyed by timer A (CSM); then per operator block 0-3 a coarse offset in
// semitones, a fine offset in cents and a flag that fixes the pitch at middle C.
struct Ch3Settings {
    int32_t mode;
    int32_t coarse[4];
    int32_t fine[4];
    int32_t fixed[4];
};
static_assert(sizeof(Ch3Settings) == 52, "13 words");

class OPN2_sub : public ChipSubController {
public:
    OPN2_sub(ChipSubWriter* writer, uint64_t unit, uint8_t channel, ChipSubShadow* mirror)
        : ChipSubController(writer, unit, channel, mirror) {}

    bool refreshAll() override;
    // factor = 2^21 / (clock / 144): the block-0 F-number of 1 Hz.
    void setClock(float clock) override;
    void noteOn(float velocity) override;
    void noteOff() override { setKey(false, false); }
    void retrigger() override { setKey(true, true); }
    void setVelocity(float velocity) override;
    void setFrequency(float hz) override;
    void setAmplitude(float amplitude) override;
    void refreshPitchAndLevel() override;

    virtual void writeRegister(uint8_t reg, uint8_t value, bool port);
    virtual void updateFrequency();
    virtual void setKey(bool on, bool retrigger);

    // Writes what a change of field `index` (0-71, the instrument's parameter
    // index) of the bound patch affects: an operator field 1-10 its register
    // bits; feedback, vibrato and tremolo depth their bits; level, velocity,
    // key-scaling level, the spare fields and the algorithm everything.
    void updatePatchField(int index);
    // Rewrites the output bits of 0xB4 from the bound pan value.
    void updatePan();
    // Writes the four total-level registers from velocity, amplitude and patch.
    void updateLevels();

    // Attenuation of a velocity or amplitude ratio index/127 in 0.1875 dB steps.
    static const int32_t kLevelTable[128];

    const PatchRecord* patch = nullptr; // not owned
    const int32_t* pan = nullptr;       // negative left, 0 both, positive right
    const Ch3Settings* ch3 = nullptr;   // channel index 2 only
    int32_t fnumLimit = 1920;
    float factor = 1.0f;
    int32_t pitchIndex[4] = {}; // block x 1024 + F-number - 1024, at least 0
    int32_t algorithm = 0;
    float frequency = 1.0f;
    float velocity = 0.0f;
    float amplitude = 0.0f;

protected:
    uint64_t port() const { return channel >= 3 ? 1 : 0; }
    uint8_t offset() const { return uint8_t(channel % 3); }
    uint8_t keyCode() const { return uint8_t(channel < 3 ? channel : channel + 1); }
    // Operator register of block k: base + (0, 8, 4, 12)[k] + channel offset.
    uint8_t opReg(uint8_t base, int k) const;
    // Sets the bits of one operator field from the patch.
    void writeOperatorField(int k, int field);
    // Sets one channel field (algorithm, feedback, vibrato, tremolo depth).
    void writeChannelField(int word);
    // Block and F-number of `x` (a block-0 F-number); sets the pitch index.
    void fnumberOf(double x, int32_t& block, int32_t& fnum, int32_t& pitch) const;
    // Writes the 0xA4/0xA0 style pair: high register first, then the low byte.
    void writeFrequencyPair(uint8_t high, uint8_t low, int32_t block, int32_t fnum);
    int32_t patchWord(int word) const { return patch ? patch->words[word] : 0; }
    int32_t clampedWord(int word) const;
    int32_t ch3Mode() const;
};
