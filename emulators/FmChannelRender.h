// FM channel renderers: the per-sample channel renderers of the per-sample
// chip loops, the block renderers of the YM2612 (one instance per output
// layout, block kind and output mode) and the channel dispatchers that run the
// six YM2612 channels over a block.
#pragma once

#include <cstdint>

#include "emulators/FmChipState.h"
#include "emulators/FmSpreadLayout.h"
#include "emulators/FmTypes.h"

// How a channel value s becomes what is added to the accumulators.
enum class FmOutputMode : uint32_t {
    Curve = 0,     // DAC curve entry curve[(s >> 4) + 256], 9-bit output stage
    Truncated = 1, // (4 x s) with the six low bits cleared, 9-bit output stage
    Scaled = 2,    // 4 x s
    Direct = 3,    // s
};

// What a block renderer does besides the channel arithmetic.
enum class FmBlockKind : uint8_t {
    Plain, // the channel alone
    Dac,   // channel 6 with the DAC enabled: the DAC sample replaces the channel value
    Csm,   // channel 3 while timer A runs or a CSM event is pending: also timer A and CSM
};

// Output layouts: slots per chip sample (stride) and slots written per value.
enum class FmLayout : uint8_t {
    A, // stride 1
    B, // stride 21
    C, // stride 9
    D, // stride 21, two adjacent slots per value
    E, // stride 6
    R, // stride 6, the channel value itself whatever the pan and mode (DAC: nothing)
};
constexpr int kFmLayoutCount = 6;

// Channel dispatchers: the layout of their block renderers and where each
// channel's values land within a chip sample's frame.
enum class FmDispatch : uint8_t {
    Direct,   // layout A, consecutive samples
    Framed21, // layout B, every channel in slot 0 of a 21-slot frame
    Framed9,  // layout C, every channel in slot 0 of a 9-slot frame
    Spread9,  // layout C, each channel in its slot of kSpreadSlots9
    Spread21, // layout D, each channel in its two slots of kSpreadSlots21
    Held,     // layout E, channel c in slot c - 1 of a 6-slot frame
    Raw,      // layout R, channel c in slot c - 1 of a 6-slot frame
};

// The order in which the dispatchers render the channel records (channel 3 last).
inline constexpr uint8_t kChannelOrder[6] = {0, 1, 3, 4, 5, 2};

// Block renderer of one channel: channel, the dispatcher's copy of the shared
// state, timerARunning, dacData, dacEnabled, DAC curve (512 entries; read in
// mode 0 only), left, right, frame count.
using FmBlockRenderer = void (*)(FmChannel& channel, FmSharedState& shared, uint8_t timerARunning,
                                 uint8_t dacData, uint8_t dacEnabled, const int16_t* curve,
                                 int32_t* left, int32_t* right, int32_t frames);

// The instance for a layout, kind and output mode (modes above 3 act as 3).
FmBlockRenderer renderChannelBlock(FmLayout layout, FmBlockKind kind, uint32_t mode);

// Two channels without DAC or CSM duty over a block, each from its own copy
// of the shared state: the same as the Plain block renderers of `layout` and
// `mode` rendering one after the other, with chunks of the two computed side
// by side.
void renderChannelPair(FmLayout layout, uint32_t mode, FmChannel& a, FmSharedState& sharedA,
                       FmChannel& b, FmSharedState& sharedB, const int16_t* curve, int32_t* leftA,
                       int32_t* rightA, int32_t* leftB, int32_t* rightB, int32_t frames);

// What a channel value s adds in output mode Mode (see FmOutputMode).
template <uint32_t Mode> inline int32_t fmOutputValue(int32_t s, const int16_t* curve) {
    if constexpr (Mode == 0) return curve[(s >> 4) + 256];
    if constexpr (Mode == 1) return static_cast<int32_t>(static_cast<uint32_t>(s) * 4u & ~63u);
    if constexpr (Mode == 2) return s * 4;
    return s;
}

// What the DAC sample adds in output mode 0-3.
int32_t fmDacValue(uint32_t mode, uint8_t dacData, const int16_t* curve);

// Renders the six channels of a YM2612-variant chip over `frames` chip
// samples and adds them into the accumulators (the Raw dispatcher stores the
// channel values instead); afterwards the chip's shared state is the one
// channel 3's renderer reached. A null curve in mode 0 acts as the linear
// curve (mode 1).
void renderChannels(FmChipState& chip, FmDispatch dispatch, uint8_t timerARunning,
                    uint8_t dacEnabled, const int16_t* curve, uint32_t mode, int32_t* left,
                    int32_t* right, uint32_t frames);

// Whether every channel outputs 0 until its next key-on: all operators
// released at full attenuation, no SSG-EG, no output history.
bool fmChannelsSilent(const FmChipState& chip);
// What renderChannels does to a chip whose channels are all silent (and
// that has no DAC or CSM duty) over `samples` samples, without the output:
// the phases, the EG counter and the LFO move.
void advanceSilentChannels(FmChipState& chip, uint32_t samples);

// Per-sample channel renderers: step the channel's envelopes and phases once
// (reading egCounter, lfoAm and lfoPrevAm through channel.shared) and return
// the channel value.
// Carriers halved and added; algorithm 7 uses this sample's S1.
int32_t renderChannelSample(FmChannel& channel);
// The same, but algorithm 7 uses S1 of the previous sample.
int32_t renderChannelSampleCh6(FmChannel& channel);
// Carriers at full scale; algorithm 7 uses this sample's S1.
int32_t renderChannelSampleCh3(FmChannel& channel);
// Full-scale carriers without AM, taking S1, S2 and S4 of the previous sample
// and S3 of this one (the 3-channel chip's channels 1 and 2).
int32_t renderChannelSampleMono(FmChannel& channel);
