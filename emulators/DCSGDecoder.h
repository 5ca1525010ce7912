// Byte decoder of the SN76489 command stream. Latch bytes (bit 7 set) select
// one of eight registers and carry its low bits; data bytes carry the upper
// six bits of a tone period, or repeat the low bits of an attenuation or of
// the noise control. Every byte ends as one or two channel events for a
// ChipDecoderListener.
#pragma once

#include <cstdint>

// Receiver of decoded SN76489 events. Channels 0-2 are the tones, 3 the noise.
class ChipDecoderListener {
public:
    // attenuation 0-15, 0 loudest.
    virtual void onVolume(uint32_t channel, uint32_t attenuation) = 0;
    // Tones: the 10-bit period. Noise: 16, 32 or 64 for the fixed rates, 0
    // when the rate follows tone 2.
    virtual void onPeriod(uint32_t channel, uint32_t period) = 0;
    // white: 1 = white noise, 0 = periodic.
    virtual void onNoiseMode(uint32_t channel, uint32_t ignored, uint32_t white) = 0;

protected:
    ~ChipDecoderListener() = default;
};

class DCSGDecoder {
public:
    explicit DCSGDecoder(uint32_t variant) : variant(variant) {}
    virtual ~DCSGDecoder() = default;

    void decode(uint8_t b);

    uint8_t converterState[8] = {};          // scratch of the converters
    ChipDecoderListener* listener = nullptr; // not owned
    uint32_t variant;
    uint8_t latch = 0; // register 0-7 named by the last latch byte
    uint32_t tonePeriods[3] = {};
};
