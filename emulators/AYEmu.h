// AYEmu: the AY-3-8910 / YM2149 sound generator. Three tone generators, one
// shared noise generator and one shared envelope; per channel a mixer that
// picks tone AND noise, noise, tone or a constant 1, scaled by a fixed volume
// or by the envelope. The emulator knows no clock: one count of a tone, noise
// or envelope period lasts `periodScale` output samples.
#pragma once

#include <cstdint>
#include <memory>

#include "emulators/AY_ChipLFSR.h"
#include "emulators/AY_Env.h"
#include "emulators/AY_Tone.h"
#include "emulators/ChipEmu.h"

class AYEmu : public ChipEmu {
public:
    AYEmu(uint64_t periodScale, uint8_t monoOutput, uint64_t monoOutputIndex);
    ~AYEmu() override;
    AYEmu(const AYEmu&) = delete;
    AYEmu& operator=(const AYEmu&) = delete;

    // Rebuilds every generator and buffer for blocks of up to `maxFrames`
    // samples; mixer, volumes, mutes, mirror and level-table type stay.
    bool init(uint32_t maxFrames, const char* context, uint32_t flags) override;
    void reset() override {}
    ChipInfo* getInfo() override { return &info_; }
    void write(uint16_t address, uint8_t data, uint64_t port) override;
    uint8_t readRegister(uint16_t address) override { return mirror_[address & 15]; }
    // 0..2: channel mutes (value > 0); 3: envelope and level-table type.
    void setParameter(uint32_t index, float value) override;
    int render32(int32_t** outputs, uint64_t frames) override;
    void render16(int16_t* output, uint64_t ignored, uint64_t frames) override;

    // Period scale of the tones and the noise; scaled periods follow at their
    // next period write.
    void setPeriodScale(uint64_t scale);
    // Clocks the chip `ratio` times faster than its period scale gives: a
    // count of the tones, the noise and the envelope lasts periodScale /
    // ratio samples, not necessarily whole ones (1.0: periodScale exactly).
    // The periods in force take the new length at once; the ratio outlives
    // init.
    void setClockRatio(double ratio);
    void setOutputMapping(uint8_t mono, uint64_t index);

protected:
    static constexpr int kChannels = 3;

    void writeMixer(uint8_t data);
    // Mixer source of a channel, chosen once per block.
    const uint32_t* channelSource(int channel, uint64_t frames);
    // Fixed level of a channel whose volume does not select the envelope.
    uint32_t compatFixedLevel(int channel) const;
    // Renders one piece of at most maxFrames_ samples in compatibility form:
    // the three tones in square-wave form, envelope A for every channel.
    void renderCompatPiece(int32_t** outputs, uint64_t offset, uint64_t frames);
    void renderCompatPiece16(int16_t* output, uint64_t frames);
    bool compatReady() const;
    // Hands the length of a count at the clock ratio to every generator.
    void applyClockRatio();

    // out[k] += source[k] * level, wrapping in 32 bits.
    static void addFixed(int32_t* out, const uint32_t* source, uint32_t level, uint64_t n);
    // out[k] += source[k] * levels[k], wrapping in 32 bits.
    static void addEnvelope(int32_t* out, const uint32_t* source, const uint32_t* levels,
                            uint64_t n);

    uint64_t mixerMode_[kChannels] = {}; // 0 tone+noise, 1 noise, 2 tone, 3 neither
    uint64_t volume_[kChannels] = {};
    uint64_t outputIndex_[kChannels] = {0, 1, 2};
    uint64_t mute_[kChannels] = {};
    std::unique_ptr<AY_Tone> tone_[kChannels];
    std::unique_ptr<AY_Env> envelope_[kChannels]; // B and C only in the AY8930
    std::unique_ptr<ChipLFSR> noise_;
    uint8_t mirror_[16] = {};
    uint32_t levelTableType_ = 0; // 0 = AY table for fixed volumes, else YM table
    uint64_t periodScale_;
    double clockRatio_ = 1.0;
    uint8_t monoOutput_;
    uint64_t monoOutputIndex_;
    ChipInfo info_;
    std::unique_ptr<uint32_t[]> mixing_;
    std::unique_ptr<uint32_t[]> ones_;
    uint32_t maxFrames_ = 0;
};
