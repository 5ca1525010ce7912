// Set-up, settings, resets and the controller's own modulation targets.
#include "synth/SynthController.h"

#include <cstring>

#include "engine-support/QuantumManager.h"

namespace VSX {

SynthController::SynthController() : rpnDecoder(this) {
    for (uint64_t p = 0; p < kParts; ++p) {
        voiceManagers[p].listener = this;
        voiceManagers[p].part = p;
    }
}

// The layer timer is not taken off the queue here: the queue belongs to the
// instrument, which ends it before this base goes.
SynthController::~SynthController() = default;

bool SynthController::initController(std::vector<vantor::ParameterInfo>& records,
                                     LayerListener* layerListener, AutomSlotListener* slotListener,
                                     uint32_t legacy) {
    // Routes point into the actions rebuilt below, and the modulators point
    // back at them: drop every route first.
    clearModRoutes();
    legacyFlag = legacy;

    // The instrument is the listener of its parameters' actions.
    ParameterActionListener* actionListener = dynamic_cast<ParameterActionListener*>(this);
    paramActions.clear();
    paramActions.resize(records.size());
    for (size_t i = 0; i < records.size() && i < 0xFFFF; ++i) {
        vantor::ParameterInfo& r = records[i];
        if (r.id == 0xFFFF) continue;
        const size_t n = (r.flags & vantor::ParameterInfo::kFlagPerVoice) ? kMaxVoices : 1;
        paramActions[i] = std::vector<ParameterAction>(n);
        for (size_t v = 0; v < n; ++v)
            paramActions[i][v].init(v, static_cast<uint16_t>(i), &r, actionListener);
    }

    automSlotListener = slotListener;
    for (uint64_t n = 0; n < kAutomSlots; ++n) initAutomSlotParams(n, n, slotListener);
    layerManager.initLayers(layerListener, legacy != 0);
    resetController(false);

    // One queue entry for the layer timer, however often this runs.
    if (timerQueue) timerQueue->unschedule(&layerManager);
    timerQueue = quantumManager;
    if (timerQueue) timerQueue->schedule(&layerManager, LayerManager::kTimerCookie);

    parseModMatrix();
    return true;
}

void SynthController::setLayerPart(uint64_t layer, uint64_t part) {
    if (layerManager.layers && layer < kLayers) layerManager.layers[layer].part = part;
}

void SynthController::resetController(bool reparse) {
    for (VoiceManager& vm : voiceManagers) vm.reset();
    partNotes.fill(PartNote{});
    channelMap.fill(ChannelRoute{});

    switch (voiceMode) {
    case 1:
    case 2:
        for (uint64_t i = 0; i < kParts; ++i) {
            setLayerPart(i, 0);
            banks[i].part = 0;
            voiceManagers[i].part = 0;
        }
        break;
    case 3:
    case 4:
        for (uint64_t i = 0; i < kParts; ++i) {
            setLayerPart(i, i);
            channelMap[i].part = static_cast<int64_t>(i);
            banks[i].part = i;
            voiceManagers[i].part = i;
        }
        break;
    case 5:
        for (uint64_t i = 0; i < kMpeParts; ++i) {
            banks[i].part = i;
            voiceManagers[i].part = i;
        }
        applyMpeLayout();
        break;
    default:
        break; // every channel stays ignored
    }
    if (reparse) parseModMatrix();
}

void SynthController::applyMpeLayout() {
    for (uint64_t i = 0; i < kLayers; ++i) setLayerPart(i, layerTarget[i]);
    setLowerZone(requestedLowerZone);
    setUpperZone(requestedUpperZone);
}

void SynthController::setLayerTarget(uint64_t layer, uint64_t part) {
    if (layer < kLayers) layerTarget[layer] = part;
}

void SynthController::setMpeZoneSize(uint64_t zone, uint64_t count) {
    if (count > kMaxZoneMembers) count = kMaxZoneMembers;
    if (zone == 0) requestedLowerZone = count;
    if (zone == 1) requestedUpperZone = count;
}

// The lower zone: master channel 0, members on channels 1, 2, ... of part 0.
// A zone's channels take over entries of the other zone they overlap; the
// master channel is no member of either zone.
void SynthController::setLowerZone(uint64_t count) {
    if (count > kMaxZoneMembers) count = kMaxZoneMembers;
    const uint64_t old = currentLowerZone;
    currentLowerZone = requestedLowerZone = count;
    if (count > 0) channelMap[0] = ChannelRoute{0, -1, 1};
    channelMap[0].zoneMaster = count > 0;
    for (uint64_t c = 1; c <= old; ++c) channelMap[c] = ChannelRoute{};
    for (uint64_t m = 0; m < count; ++m)
        channelMap[1 + m] = ChannelRoute{0, static_cast<int64_t>(m), 0};
}

// The upper zone: master channel 15, members on channels 14, 13, ... of part 1.
void SynthController::setUpperZone(uint64_t count) {
    if (count > kMaxZoneMembers) count = kMaxZoneMembers;
    const uint64_t old = currentUpperZone;
    currentUpperZone = requestedUpperZone = count;
    if (count > 0) channelMap[15] = ChannelRoute{1, -1, 1};
    channelMap[15].zoneMaster = count > 0;
    for (uint64_t k = 1; k <= old; ++k) channelMap[15 - k] = ChannelRoute{};
    for (uint64_t m = 0; m < count; ++m)
        channelMap[14 - m] = ChannelRoute{1, static_cast<int64_t>(m), 0};
}

void SynthController::setAutomSlotParameter(uint64_t slot, uint16_t field, float value) {
    if (slot >= kAutomSlots) return;
    if (field == 0)
        setAutomSlotActive(slot, value > 0.0f);
    else
        setAutomSlotParam(slot, field, value);
}

float SynthController::getAutomSlotParameter(uint64_t slot, uint16_t field) {
    return slot < kAutomSlots ? getAutomSlotParam(slot, field) : 0.0f;
}

bool SynthController::releaseAllParts() {
    for (VoiceManager& vm : voiceManagers) vm.releaseAllVoices();
    return true;
}

void SynthController::collectVoiceParameters(std::vector<vantor::ParameterInfo>& out) const {
    voiceManagers[0].collectParameters(out);
}

void SynthController::setPitchBendRange(float cents) {
    for (VoiceManager& vm : voiceManagers) vm.setPitchBendRange(cents);
}

void SynthController::setGlobalCents(float cents) {
    for (VoiceManager& vm : voiceManagers) vm.setGlobalCents(cents);
}

void SynthController::setVoiceCount(uint64_t n) {
    for (uint64_t p = 0; p < kParts; ++p) {
        const uint64_t before = voiceManagers[p].voiceCount;
        voiceManagers[p].setVoiceCount(n);
        refreshVoiceMask(p);
        if (voiceManagers[p].voiceCount != before && quantumManager) rescheduleAutomSlots(p, n);
    }
}

void SynthController::setMonoRetrigger(uint8_t on) {
    for (VoiceManager& vm : voiceManagers) vm.setMonoRetrigger(on);
}

void SynthController::setMonoVelocityUpdate(uint8_t on) {
    for (VoiceManager& vm : voiceManagers) vm.setMonoVelocityUpdate(on);
}

void SynthController::setVelocitySensitivity(float sensitivity) {
    for (VoiceManager& vm : voiceManagers) vm.setVelocitySensitivity(sensitivity);
}

void SynthController::setNoteTuningSource(NoteTuningSource* source) {
    for (VoiceManager& vm : voiceManagers) vm.setTuningSource(source);
}

void SynthController::setVoiceMode(uint32_t mode) {
    const bool changed = static_cast<uint32_t>(voiceMode) != mode;
    voiceMode = static_cast<int32_t>(mode);
    resetController(changed);
}

int32_t SynthController::getHeldKeyCount(uint64_t part) {
    if (part >= kParts) return 0;
    const int32_t held = voiceManagers[part].heldKeys;
    return held > 0 ? held : 0;
}

uint64_t SynthController::getVoiceCount(uint64_t part) {
    return part < kParts ? voiceManagers[part].voiceCount : 0;
}

uint64_t SynthController::getActiveVoiceCount(uint64_t part) {
    return part < kParts ? voiceManagers[part].getActiveVoiceCount() : 0;
}

float SynthController::getVoiceFrequency(uint64_t part, uint64_t voice) {
    return part < kParts ? voiceManagers[part].getVoiceFrequency(voice) : 0.0f;
}

bool SynthController::addModRoute(const ModMatrixEntry& entry) {
    if (SynthBase::addModRoute(entry)) return true;
    const std::string& name = entry.destination;

    if (name.compare(0, 5, "VOICE") == 0) {
        // Voice modes 1-2 play on voice manager 0 only.
        const uint64_t managers = (voiceMode == 1 || voiceMode == 2) ? 1 : kParts;
        for (uint64_t k = 0; k < managers; ++k) {
            VoiceManager& vm = voiceManagers[k];
            if (std::vector<ParameterAction>* actions = vm.findVoiceParameter(name.c_str()))
                if (vm.part < kParts) installModRoute(vm.part, *actions, entry);
        }
        return true;
    }

    uint64_t layer = 0;
    std::vector<ParameterAction>* actions = layerManager.findLayerTarget(name.c_str(), &layer);
    if (!actions || layer >= kLayers) return false;
    // The layer field the target follows; its number is the target's kind.
    const size_t target = static_cast<size_t>(actions - layerManager.slots[layer].actions.data());
    onModTargetResolved(3, layer, LayerManager::kTargetKinds[target]);
    uint64_t part = kParts;
    switch (voiceMode) {
    case 1:
    case 2:
        part = 0;
        break;
    case 3:
    case 4:
        part = layer;
        break;
    case 5:
        part = layerTarget[layer];
        break;
    default:
        break;
    }
    if (part < kParts) installModRoute(part, *actions, entry);
    return true;
}

void SynthController::clearModRoutes() {
    layerManager.clearModulation();
    for (VoiceManager& vm : voiceManagers)
        for (std::vector<ParameterAction>& actions : vm.voiceActions) clearActionRoutes(actions);
    SynthBase::clearModRoutes();
}

} // namespace VSX
