// The plug-in object's calls into the synth framework behind the console
// controller. Each is a no-op when the controller carries no synth (an
// object built for another emulator name, or a plain unit controller).
#include <algorithm>
#include <cstring>

#include "instrument/ChipWrap.h"
#include "synth/LayerManager.h"
#include "synth/SynthBase.h"

namespace acme {

namespace {
// Host buffers (step and curve data) the synth keeps per list.
constexpr size_t kMaxHostBuffers = 15;
} // namespace

void ChipWrap::attachSynthViews() {
    synth = dynamic_cast<VSX::SynthBase*>(controller.get());
    synthParams = synth;
    masterSettings = synth;
    layerManager = nullptr;
}

void ChipWrap::synthMidi(uint8_t status, uint8_t data1, uint8_t data2) {
    if (synth) synth->processMidiEvent(status, data1, data2);
}

void ChipWrap::synthNoteOn(uint16_t channel, uint32_t noteId, uint8_t key, float velocity,
                           float tuning) {
    (void)channel, (void)noteId, (void)key, (void)velocity, (void)tuning;
}

void ChipWrap::synthNoteOff(uint16_t channel, uint32_t noteId, uint8_t key) {
    (void)channel, (void)noteId, (void)key;
}

void ChipWrap::synthExpression(uint16_t channel, uint32_t noteId, uint32_t type, float value) {
    (void)channel, (void)noteId, (void)type, (void)value;
}

void ChipWrap::synthStopVoice(uint16_t channel, uint32_t noteId, int32_t parameter, float value) {
    (void)channel, (void)noteId, (void)parameter, (void)value;
}

void ChipWrap::synthSetLayerField(uint64_t layer, uint16_t field, float value) {
    if (layerManager) layerManager->setLayerField(layer, field, value);
}

float ChipWrap::synthLayerField(uint64_t layer, uint16_t field) {
    return layerManager ? layerManager->getLayerField(layer, field) : 0.0f;
}

void ChipWrap::synthSetParameter(uint32_t index, float value) {
    if (synth && index < synth->parameters.size())
        synth->setParameter(static_cast<uint16_t>(index), value);
}

void ChipWrap::synthSetAutomSlot(uint64_t slot, uint16_t sub, float value) {
    (void)slot, (void)sub, (void)value;
}

float ChipWrap::synthAutomSlot(uint64_t, uint16_t) {
    return 0.0f;
}

void ChipWrap::synthSetModMatrix(const char* text, int32_t arg) {
    if (!synth) return;
    synth->modMatrixText = text ? text : "";
    synth->modMatrixArg = arg;
}

void ChipWrap::synthAddHostBuffer(bool first, void* record, uint64_t size) {
    if (!synth || !record) return;
    std::vector<VSX::DataBlockEntry>& list = first ? synth->stepBlocks : synth->curveBlocks;
    // A record sent again is kept once; the list holds at most 15.
    for (VSX::DataBlockEntry& e : list)
        if (e.block == record) {
            e.reserved = static_cast<uint32_t>(std::min<uint64_t>(size, UINT32_MAX));
            return;
        }
    if (list.size() >= kMaxHostBuffers) return;
    VSX::DataBlockEntry entry;
    entry.block = record;
    entry.reserved = static_cast<uint32_t>(std::min<uint64_t>(size, UINT32_MAX));
    list.push_back(entry);
}

void ChipWrap::synthReceiveDataBlock(void* record, uint64_t size, uint64_t key) {
    (void)record, (void)size, (void)key;
}

void ChipWrap::synthSetStoredFlag(uint8_t value) {
    (void)value;
}

void ChipWrap::synthCollectVoiceParameters(std::vector<vantor::ParameterInfo>& out) {
    (void)out;
}

void ChipWrap::synthCollectAutomSlotParameters(std::vector<vantor::ParameterInfo>& out) {
    (void)out;
}

} // namespace acme
