// What the layer manager tells the instrument about the slots of its ten
// layers: a slot is one chip voice of a layer (slot s plays on console unit
// s), so every start, release, re-pitch and level change of a part voice
// arrives here once per layer that plays it.
#pragma once

#include <cstdint>

namespace VSX {

class LayerListener {
public:
    virtual ~LayerListener() = default;
    virtual void onLayerVoicePitch(uint64_t slot, uint64_t layer) = 0;
    virtual void onLayerVoiceAmplitude(uint64_t slot, uint64_t layer) = 0;
    // The slot starts sounding `key`.
    virtual void onLayerVoiceStart(uint64_t slot, uint64_t layer, uint8_t key) = 0;
    // Note-off on the slot.
    virtual void onLayerVoiceRelease(uint64_t slot, uint64_t layer) = 0;
    // The velocity of a re-used voice is to be applied again.
    virtual void onLayerVoiceVelocity(uint64_t slot, uint64_t layer) = 0;
    // A re-used voice restarts on the slot with `key`.
    virtual void onLayerVoiceRetrigger(uint64_t slot, uint64_t layer, uint8_t key) = 0;
    // Keys that an active layer plays (128 bytes, 1 = covered).
    virtual void onKeyCoverage(const uint8_t* /*map*/) {}
    // A (possibly delayed) start is due: pitch, amplitude, then start.
    virtual void startDelayedVoice(uint64_t slot, uint64_t layer, uint8_t key) {
        onLayerVoicePitch(slot, layer);
        onLayerVoiceAmplitude(slot, layer);
        onLayerVoiceStart(slot, layer, key);
    }
    virtual void onLayerActive(uint64_t /*layer*/, bool /*on*/) {}
    // Which slot modulation targets the layer offers (bits 1, 2, 4, 8, 16).
    virtual uint32_t getLayerTargets(uint64_t /*layer*/) { return 0xFFFFFFFFu; }
    // A slot action reported a modulated value of target `kind`.
    virtual void onLayerParameterModulated(uint64_t /*layer*/, uint16_t /*kind*/, int /*on*/) {}
};

} // namespace VSX
