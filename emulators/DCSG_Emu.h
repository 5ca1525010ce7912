// SN76489-family programmable sound generator: three square-wave tones and a
// noise channel, each with a 4-bit attenuation. Command bytes are decoded by
// the DCSGDecoder base, which calls back the listener operations below.
// Variants: 0 "SN76489", 1 "SegaPSG", 2 "SegaGG", 3 "SN94624", 4 "NCR8496",
// 5 "PSSJ", 6 "PS1". One counter step lasts `factor` output frames; the
// console runs variant 1 with factor 5 at console clock / 48.
#pragma once

#include <cstdint>
#include <memory>

#include "emulators/ChipEmu.h"
#include "emulators/DCSGDecoder.h"
#include "emulators/DCSGNoise.h"
#include "emulators/DCSGTone.h"

class DCSG_Emu : public DCSGDecoder, public ChipDecoderListener, public ChipEmu {
public:
    DCSG_Emu(uint32_t variant, uint64_t factor);
    ~DCSG_Emu() override = default;

    ChipInfo* getInfo() override { return &info; }
    bool init(uint32_t maxFrames, const char* context, uint32_t flags) override;
    // Silences all four channels (attenuation 15); periods, counters, phases
    // and the noise register stay. A new chip from init starts silent too.
    void reset() override;
    void write(uint16_t address, uint8_t data, uint64_t port) override;

    void onVolume(uint32_t channel, uint32_t attenuation) override;
    void onPeriod(uint32_t channel, uint32_t period) override;
    void onNoiseMode(uint32_t channel, uint32_t ignored, uint32_t white) override;

    // index 0-3 (tone 0-2, noise): a value above 0 mutes the channel.
    void setParameter(uint32_t index, float value) override;
    // Mono: adds `frames` samples into outputs[0].
    int render32(int32_t** outputs, uint64_t frames) override;
    // Overwrites `frames` samples of output (low 16 bits of the mono sum).
    void render16(int16_t* output, uint64_t ignored, uint64_t frames) override;
    // The mono sum of render32, added into both `left` and `right`.
    void renderBoth(int32_t* left, int32_t* right, uint64_t frames);

    // Game Gear stereo: outputs[0] left, outputs[1] right. Bits 4-6 / 0-2 of
    // `stereo` send tone 0-2 left / right; bits 7 / 3 the noise.
    void renderGameGear(int32_t** outputs, uint8_t stereo, uint64_t frames);

    // Whether renderBoth (gameGear false) or renderGameGear with `stereo`
    // would add nothing: every channel that renders to a side is at a level
    // of 0.
    bool isSilent(bool gameGear, uint8_t stereo) const;
    // What that render does to a silent chip over `frames` frames, without
    // the output: counters, phases and the noise register move on.
    void advanceSilent(uint64_t frames, bool gameGear);

    // The level curve becomes the truncated mean of the four curves.
    void setVolumeCurves(const int16_t* c0, const int16_t* c1, const int16_t* c2,
                         const int16_t* c3);

    // Clocks the chip `ratio` times faster than `factor` gives: a counter
    // step lasts factor / ratio frames, not necessarily whole ones (1.0:
    // factor exactly). The halves under way take the new length at once; the
    // ratio outlives init.
    void setClockRatio(double ratio);

    uint8_t mutes[4] = {};
    std::unique_ptr<DCSGTone> tones[3];
    int16_t volumeCurve[16] = {};
    std::unique_ptr<DCSGNoise> noise;
    uint64_t factor;
    double clockRatio = 1.0;
    ChipInfo info;
    std::unique_ptr<int32_t[]> scratch;
    uint32_t maxFrames = 0;

private:
    void applyClockRatio();
    // Adds the unmuted channels' sum into `first` and (unless null) `second`.
    void renderMono(int32_t* first, int32_t* second, uint64_t frames);
};
