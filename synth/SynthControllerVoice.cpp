// The controller's voice paths: what a part voice's start, re-use, release
// and end do to the automation slots, the part's modulators and the layers
// (in that order), the host's note-id and note-expression events, and the
// pitch and level the instrument asks for each layer slot.
#include "synth/SynthController.h"

#include <cmath>

namespace VSX {

void SynthController::noteOn(uint64_t part, uint64_t voice, uint8_t key, uint8_t velocity) {
    if (part >= kParts) return;
    PartNote& note = partNotes[part];
    if (getActiveVoiceCount(part) == 1) {
        // The part's first sounding note glides from nowhere.
        layerManager.onFirstVoice(part);
        note.lastKey = key;
    }
    triggerAutomSlots(part, voice);
    noteOnModulators(part, voice, key, velocity);
    note.lastVoice = voice;
    layerManager.startVoice(part, voice, key, velocity, note.lastKey);
    note.lastKey = key;
}

void SynthController::retriggerNote(uint64_t part, uint64_t voice, uint8_t key, uint8_t velocity,
                                    uint8_t legato) {
    if (part >= kParts) return;
    const VoiceManager& vm = voiceManagers[part];
    if (legato && !(legacyFlag & 1) && vm.monoRetrigger()) triggerAutomSlots(part, voice);
    noteOnModulators(part, voice, key, velocity);
    layerManager.retriggerVoice(part, voice, key, velocity, vm.monoRetrigger(), legato,
                                vm.monoVelocityUpdate());
}

// The layer side releases the slot the voice took, which is slot 0 for a
// voice beyond a layer's slot count.
void SynthController::noteOff(uint64_t part, uint64_t voice, uint8_t /*velocity*/) {
    if (part >= kParts) return;
    releaseAutomSlots(part, voice);
    layerManager.releaseVoice(part, voice);
}

void SynthController::stopVoice(uint64_t part, uint64_t voice, uint8_t /*key*/, uint8_t velocity) {
    if (part >= kParts) return;
    noteOff(part, voice, velocity);
    voiceManagers[part].freeVoice(voice);
    layerManager.endVoice(part, voice);
}

void SynthController::onVoiceKill(uint64_t part, uint64_t voice, uint8_t /*key*/) {
    if (part >= kParts) return;
    releaseAutomSlots(part, voice);
    layerManager.releaseVoice(part, voice);
    // A member channel whose note was silenced no longer plays that voice:
    // its later bends and pressure must not reach the voice's next note.
    for (VoiceManager::MemberState& m : voiceManagers[part].members)
        if (m.voice == static_cast<int64_t>(voice)) m.voice = -1;
}

void SynthController::onVoicePitchChanged(uint64_t part, uint64_t voice) {
    layerManager.updateVoicePitch(part, voice);
}

void SynthController::onVoiceAmplitudeChanged(uint64_t part, uint64_t voice) {
    layerManager.updateVoiceAmplitude(part, voice);
}

// Only voice mode 3 takes the part from the event; its channel may be any
// 16-bit number, and only 0-9 name parts.
uint64_t SynthController::expressionPart(uint64_t part) const {
    if (voiceMode != 3) return 0;
    return part < kParts ? part : kParts;
}

void SynthController::noteOnWithId(uint64_t part, uint64_t id, uint8_t key, float velocity,
                                   float cents) {
    const uint64_t p = expressionPart(part);
    if (p >= kParts) return;
    VoiceManager& vm = voiceManagers[p];
    vm.noteOnWithIdFloat(key & 127, id, velocity);
    if (cents != 0.0f) vm.setVoiceExpression(2, id, cents);
}

void SynthController::noteOffPart(uint64_t part, uint64_t id, uint8_t key) {
    const uint64_t p = expressionPart(part);
    if (p < kParts) voiceManagers[p].noteOffWithId(key & 127, id, 0.0f);
}

void SynthController::stopVoiceById(uint64_t part, uint64_t id) {
    const uint64_t p = expressionPart(part);
    if (p < kParts) voiceManagers[p].stopVoiceById(id);
}

void SynthController::setVoiceExpression(uint64_t part, uint64_t id, uint32_t kind, float value) {
    // Hosts pass expression types of their own through unchanged; only the
    // eight known ones have modulators.
    if (kind >= PartModBank::kExpressions) return;
    const uint64_t p = expressionPart(part);
    if (p >= kParts) return;
    const int64_t voice = voiceManagers[p].setVoiceExpression(kind, id, value);
    if (voice >= 0 && std::isfinite(value))
        setExpression(p, static_cast<uint64_t>(voice), kind, value);
}

VoiceManager* SynthController::layerVoiceManager(uint64_t layer) {
    if (!layerManager.layers || layer >= kLayers) return nullptr;
    return voiceManager(layerManager.layers[layer].part);
}

uint64_t SynthController::voiceOfSlot(uint64_t layer, uint64_t slot) const {
    const std::vector<int8_t>& owner = layerManager.slots[layer].owner;
    if (slot < owner.size() && owner[slot] >= 0) return static_cast<uint64_t>(owner[slot]);
    return slot;
}

bool SynthController::updateLayerVoicePitch(uint64_t slot, uint64_t layer, float& out) {
    if (slot >= kMaxVoices) return false;
    VoiceManager* vm = layerVoiceManager(layer);
    if (!vm) return false;
    const float f = layerManager.isFixedFreq(layer, slot)
                        ? vm->getKeyFrequency(fixedPitchKey)
                        : vm->getVoiceFrequency(voiceOfSlot(layer, slot));
    if (!(f > 0.0f)) return false;
    out = layerManager.getSlotFrequency(layer, slot, f);
    float& cached = layerPitchCache[slot][layer];
    if (out == cached && !std::isnan(out)) return false;
    cached = out;
    return true;
}

bool SynthController::applyVoiceAmplitude(uint64_t slot, uint64_t layer, float& gain) {
    VoiceManager* vm = layerVoiceManager(layer);
    if (vm && slot < kMaxVoices) gain *= vm->getVoiceAmplitude(voiceOfSlot(layer, slot));
    return true;
}

} // namespace VSX
