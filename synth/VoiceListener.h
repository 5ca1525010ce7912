// What a voice manager tells its owner (the synth controller) about the
// voices of one part: starts, re-used voices, releases, kills, pitch and
// amplitude changes, and when the part falls silent.
#pragma once

#include <cstdint>

namespace VSX {

class VoiceListener {
public:
    virtual ~VoiceListener() = default;
    // A free voice starts a note.
    virtual void onVoiceStart(uint64_t /*part*/, uint64_t /*voice*/, uint8_t /*key*/,
                              uint8_t /*velocity*/) {}
    // A sounding voice is re-used for a key; flag 0 is a mono part returning
    // to a key still held.
    virtual void onVoiceRetrigger(uint64_t /*part*/, uint64_t /*voice*/, uint8_t /*key*/,
                                  uint8_t /*velocity*/, uint8_t /*flag*/) {}
    // Note-off: the voice starts its release and is free again.
    virtual void onVoiceRelease(uint64_t /*part*/, uint64_t /*voice*/, uint8_t /*key*/,
                                uint8_t /*velocity*/) {}
    // The voice is silenced at once (all notes off, voice-count change, reset).
    virtual void onVoiceKill(uint64_t /*part*/, uint64_t /*voice*/, uint8_t /*key*/) {}
    virtual void onVoicePitch(uint64_t /*part*/, uint64_t /*voice*/) {}
    virtual void onVoiceAmplitude(uint64_t /*part*/, uint64_t /*voice*/) {}
    // No voice of the part is busy any more.
    virtual void onVoicesIdle(uint64_t /*part*/) {}
    virtual void onVoiceExpression(uint64_t /*part*/, uint64_t /*voice*/, uint32_t /*kind*/) {}
};

} // namespace VSX
