// The band-limited way to host rates above 48 kHz. The chips' output holds
// images around every multiple of their own sample rate (about 53 kHz for the
// FM chip): a resampler straight to 96 kHz or more would pass them, since its
// cut-off follows the output's Nyquist frequency, and the inverse low-pass
// there would lift them further. So above 48 kHz the chain is voiced at a
// base rate (44.1 kHz for multiples of it, 48 kHz otherwise): the main
// resampler converts the chip rate to the base rate, the inverse low-pass
// runs there, exactly as at that host rate, and this stage upsamples the
// result to the host rate with a resampler whose cut-off stays below the base
// rate's Nyquist frequency. A high host rate then plays the base-rate sound
// with nothing above the audio band. Up to 48 kHz the stage is not used.
//
// The stage is the source of its own re-blocking stage: it pulls base-rate
// frames from the main re-blocking stage and runs the inverse low-pass on
// them. Buffers are allocated by setUp only; pull allocates nothing.
#pragma once

#include <cstdint>

#include "instrument/LPFilterInverse.h"
#include "instrument/Repackager.h"
#include "instrument/SpeexProvider.h"

class UpsamplingStage : public SRCSubRenderer<float> {
public:
    // Host rates up to this are served directly by the main resampler.
    static constexpr uint32_t kDirectRateLimit = 48000;
    // speexdsp quality of the upsampler: its images of the base rate stay
    // some 100 dB below the signal.
    static constexpr int32_t kQuality = 5;
    // Base-rate frames the stage's buffers hold per channel.
    static constexpr uint64_t kCapacity = 1024;

    // The rate the chain is voiced at for a host rate: the host rate itself
    // up to kDirectRateLimit; above it 44100 for multiples of 44100, else
    // 48000.
    static uint32_t baseRateFor(uint32_t hostRate);

    // Allocates the buffers for `channels` channels (1 to 4). False when
    // the count is out of range.
    bool setUp(uint64_t channels);
    // Tunes the upsampler to baseRate -> hostRate and takes its source: the
    // main re-blocking stage (base-rate frames) and one inverse low-pass per
    // channel. Kept frames and history are cleared. False (and pull gives
    // silence) when the upsampler cannot be set up.
    bool tune(uint32_t baseRate, uint32_t hostRate, Repackager<float>* baseFrames,
              LPFilterInverse* inverse);
    // Writes `frames` host-rate frames into outputs[0..channels).
    bool pull(float* const* outputs, uint64_t frames) { return repackager.pull(outputs, frames); }
    // Base-rate frames the host frames pulled since the tune take in (the
    // newest input of the next host frame, counted from the first). A pull
    // renders no more than that; renderToReach renders up to it, so that
    // what happens next lands on a base frame set by the host frames alone.
    uint64_t reach() const;
    void renderToReach();
    // The upsampler's lookahead in base frames (its output is centred on
    // its input: it adds no delay of its own).
    uint64_t lookahead() const { return static_cast<uint64_t>(upsampler.inLatency); }
    // Base frames per host frame, as the reduced fraction the upsampler uses.
    void inputRatio(uint64_t& numerator, uint64_t& denominator) const {
        numerator = upsampler.reducedInputRate;
        denominator = upsampler.reducedOutputRate;
    }

    // ---- SRCSubRenderer<float>: `frames` base-rate frames, inverse
    // low-pass applied.
    void renderSub(float** buffers, uint64_t frames) override;

private:
    SpeexProvider upsampler;
    Repackager<float> repackager;
    Repackager<float>* source = nullptr;
    LPFilterInverse* filters = nullptr;
    uint64_t channels = 0;
};
