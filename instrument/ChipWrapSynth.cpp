// The plug-in object's calls into the synth framework behind the console
// controller. Each is a no-op when the controller carries no synth (an
// object built for another emulator name, or a plain unit controller).
#include <algorithm>
#include <cstring>

#include "instrument/ChipWrap.h"
#include "synth/LayerManager.h"
#include "synth/SynthBase.h"
#include "synth/SynthController.h"

namespace acme {

namespace {
// Host buffers (step and curve data) the synth keeps per list.
constexpr size_t kMaxHostBuffers = 15;
} // namespace

void ChipWrap::attachSynthViews() {
    synth = dynamic_cast<VSX::SynthBase*>(controller.get());
    synthParams = synth;
    masterSettings = synth;
    synthController = dynamic_cast<VSX::SynthController*>(controller.get());
    layerManager = synthController ? &synthController->layerManager : nullptr;
}

void ChipWrap::synthMidi(uint8_t status, uint8_t data1, uint8_t data2) {
    if (synth) synth->processMidiEvent(status, data1, data2);
}

void ChipWrap::synthNoteOn(uint16_t channel, uint32_t noteId, uint8_t key, float velocity,
                           float tuning) {
    if (synthController) synthController->noteOnWithId(channel, noteId, key, velocity, tuning);
}

void ChipWrap::synthNoteOff(uint16_t channel, uint32_t noteId, uint8_t key) {
    if (synthController) synthController->noteOffPart(channel, noteId, key);
}

void ChipWrap::synthExpression(uint16_t channel, uint32_t noteId, uint32_t type, float value) {
    if (synthController) synthController->setVoiceExpression(channel, noteId, type, value);
}

void ChipWrap::synthStopVoice(uint16_t channel, uint32_t noteId, int32_t parameter, float value) {
    // The parameter and value of the record do not choose anything here.
    (void)parameter, (void)value;
    if (synthController) synthController->stopVoiceById(channel, noteId);
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
    if (synthController) synthController->setAutomSlotParameter(slot, sub, value);
}

float ChipWrap::synthAutomSlot(uint64_t slot, uint16_t sub) {
    return synthController ? synthController->getAutomSlotParameter(slot, sub) : 0.0f;
}

void ChipWrap::synthSetModMatrix(const char* text, int32_t arg) {
    if (synth) synth->setModMatrixText(text ? text : "", arg);
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
    if (synthController) synthController->receiveDataBlock(record, size, key);
}

void ChipWrap::synthSetStoredFlag(uint8_t value) {
    // The synth framework keeps no flag for this setting: nothing reads it.
    (void)value;
}

void ChipWrap::synthCollectVoiceParameters(std::vector<vantor::ParameterInfo>& out) {
    if (synthController) synthController->collectVoiceParameters(out);
}

void ChipWrap::synthCollectAutomSlotParameters(std::vector<vantor::ParameterInfo>& out) {
    if (synth) synth->collectAutomSlotParameters(out);
}

} // namespace acme
