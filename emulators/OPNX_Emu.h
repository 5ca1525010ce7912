// The OPN-family FM chip as a ChipEmu: one class for the YM2203 (variant 0),
// YM2608 (1), YM2610 (2), YM2610B (3) and YM2612 (4). Register decoding,
// envelopes, phases, rhythm and ADPCM live in the FmChipState it owns; this
// object adds the ChipInfo, the render entries and the per-sample chip loop.
#pragma once

#include <cstdint>

#include "emulators/ChipEmu.h"
#include "emulators/FmChipState.h"

class OPNX_Emu : public ChipEmu {
public:
    explicit OPNX_Emu(uint32_t variant);
    ~OPNX_Emu() override;
    OPNX_Emu(const OPNX_Emu&) = delete;
    OPNX_Emu& operator=(const OPNX_Emu&) = delete;

    // Links the YM2608 rhythm voices to the samples found beside `context`
    // (loaded once per process). Always true.
    bool init(uint32_t maxFrames, const char* context, uint32_t flags) override;
    void reset() override;
    ChipInfo* getInfo() override;
    void write(uint16_t address, uint8_t data, uint64_t port) override;
    // Indices 0-5 mute FM channel `index` (value > 0) or unmute it.
    void setParameter(uint32_t index, float value) override;
    // Adds `frames` samples at the chip's own rate (left, right; the YM2203
    // writes only the left buffer).
    int render32(int32_t** outputs, uint64_t frames) override;
    void render16(int16_t* output, uint64_t ignored, uint64_t frames) override;
    // Plays the chip as if clocked `ratio` times faster than the rate it is
    // run at (1.0: its own clock): every phase increment is scaled, so pitch
    // follows the clock; envelope and LFO timing keep the rate. A value that
    // is not finite or not above 0 means 1.0; others are kept within
    // 1/16..16. Reset keeps it.
    void setClockRatio(double ratio);
    // Region 0: ADPCM-A memory, region 1: ADPCM-B memory (caller-owned).
    virtual bool setSampleMemory(uint64_t region, const uint8_t* data, uint64_t size);

    // Render onto an output grid of 21 (or 9) positions per chip sample:
    // `ticks` positions are covered; the chip's value lands in the first slot
    // of each frame that begins inside the block.
    int renderFramed21(int32_t** outputs, uint64_t ticks);
    int renderFramed9(int32_t** outputs, uint64_t ticks);

    // The per-sample chip loop of every variant but the YM2612: `count` chip
    // samples, sample k added (times `scale`) at position k x `stride`.
    void renderSamples(int32_t* left, int32_t* right, uint64_t count, uint64_t stride,
                       int32_t scale);

    // The YM2203's output quantisation: values outside -512..511 lose one low
    // bit more per octave, up to six.
    static int32_t quantizeYm2203(int32_t s);

    uint32_t variant() const { return chip_.shared.variant; }
    // Whether the LFO runs (set by a write only, so the same at any sample).
    bool lfoRunning() const { return chip_.shared.lfoOn != 0; }
    // The chip state at the sample the output has reached.
    FmChipState& state() {
        settle();
        return chip_;
    }
    const FmChipState& state() const {
        const_cast<OPNX_Emu*>(this)->settle(); // the state as seen from outside is unchanged
        return chip_;
    }
    uint64_t framePhase() const { return framePhase_; }

protected:
    // Brings chip_ back to the sample the output has reached, for a subclass
    // whose renders compute ahead of it. Called before anything else reads or
    // changes chip_.
    virtual void settle() {}

    ChipInfo info_;
    FmChipState chip_;
    uint64_t framePhase_ = 0; // slot position within the current 21- or 9-slot frame

private:
    int renderFramedEntry(int32_t** outputs, uint64_t ticks, uint64_t frameLength);
};
