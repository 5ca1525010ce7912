// The sustain and sostenuto pedals as seen by one MIDI key: an eleven-state
// machine that says, for every key and pedal movement, whether a silent key
// starts sounding or the key's note must be released now.
//
// States: 0 idle; 1 key down; 2 key up, sustain down, silent; 3 key up,
// sostenuto down, silent; 4 key up, both pedals down, silent; 5 key up, held
// by sostenuto; 6 key down, sostenuto down; 7 key down, both pedals down;
// 8 key down, sustain down; 9 key up, held by both pedals; 10 key up, held
// by sustain.
#pragma once

#include <cstdint>

namespace VSX {

enum PedalInput : uint8_t {
    kKeyDown = 0,
    kKeyUp,
    kSustainUp,
    kSustainDown,
    kSostenutoUp,
    kSostenutoDown,
    kPedalInputCount
};

enum PedalResult : uint8_t { kPedalNothing = 0, kPedalSounds = 1, kPedalRelease = 2 };

constexpr uint8_t kPedalStateCount = 11;

// Moves `state` by `input` and returns what the key's note must do. A state
// or input outside the table leaves the state alone and does nothing.
PedalResult pedalStep(uint8_t& state, uint8_t input);

} // namespace VSX
