#include "synth/SynthBase.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "engine-support/QuantumManager.h"
#include "synth/ModAction.h"
#include "synth/ModMatrix.h"

namespace VSX {

vantor::ParameterInfo* SynthParams::findParameter(const char* name, size_t length,
                                                  uint16_t* index) {
    if (index) *index = 0xFFFF;
    if (!name && length > 0) return nullptr;
    const size_t count = parameters.size() < 0xFFFF ? parameters.size() : 0xFFFF;
    for (size_t i = 0; i < count; ++i) {
        const char* label = parameters[i].label;
        if (!label) continue;
        // Compare up to the label's end: a shorter label never matches, and
        // nothing past its terminator is read.
        size_t k = 0;
        while (k < length && label[k] &&
               static_cast<char>(std::toupper(static_cast<unsigned char>(label[k]))) == name[k])
            ++k;
        if (k != length || label[k] != '\0') continue;
        if (index) *index = static_cast<uint16_t>(i);
        return &parameters[i];
    }
    return nullptr;
}

PartModBank::PartModBank() = default;
PartModBank::~PartModBank() = default;

SynthBase::SynthBase() {
    for (size_t p = 0; p < kParts; ++p) banks[p].part = p;
}

SynthBase::~SynthBase() {
    // Actions leave their modulators before the banks and the mod actions
    // go. The timer queue may be gone already: no unscheduling here.
    paramActions.clear();
    for (AutomSlot& slot : automSlots) slot.clearLaneRoutes();
    deleteModActions(false);
}

bool SynthBase::addModRoute(const ModMatrixEntry& entry) {
    const std::string& name = entry.destination;
    uint16_t index = 0xFFFF;
    if (vantor::ParameterInfo* record = findParameter(name.data(), name.size(), &index)) {
        if (record->mathFlags & vantor::ParameterInfo::kMathSpecial) {
            addSpecialModRoute(entry);
            return true;
        }
        onModTargetResolved(0, 0, index);
        if (index >= paramActions.size() || paramActions[index].empty()) return true;
        std::vector<ParameterAction>& actions = paramActions[index];
        const uint16_t zones =
            (record->flags & vantor::ParameterInfo::kFlagZoneRoutes) ? entry.zoneMask : 0xFFFF;
        const uint16_t mask = zones & record->layerMask;
        switch (voiceMode) {
        case 1:
        case 2:
            installModRoute(0, actions, entry);
            break;
        case 3:
        case 4:
            for (uint64_t k = 0; k < kParts; ++k)
                if (mask & (1u << k)) installModRoute(k, actions, entry);
            break;
        case 5:
            for (uint64_t k = 0; k < kParts; ++k)
                if ((mask & (1u << k)) && layerTarget[k] < kParts)
                    installModRoute(layerTarget[k], actions, entry);
            break;
        default:
            break;
        }
        return true;
    }
    if (name.compare(0, 4, "STEP") != 0) return false;
    for (uint64_t n = 0; n < kAutomSlots; ++n) {
        for (uint64_t k = 0; k < AutomSlot::kLanes; ++k) {
            std::vector<ParameterAction>* actions =
                automSlots[n].findLaneActions(k, name.data(), name.size());
            if (!actions || actions->empty()) continue;
            onModTargetResolved(1, n, actions->front().index);
            installModRoute(k, *actions, entry);
        }
    }
    return true;
}

void SynthBase::installModRoute(uint64_t part, std::vector<ParameterAction>& actions,
                                const ModMatrixEntry& entry) {
    if (part >= kParts || actions.empty() || !actions.front().record) return;
    const vantor::ParameterInfo& record = *actions.front().record;
    const bool perVoice =
        actions.size() >= 2 && (record.flags & vantor::ParameterInfo::kFlagPerVoice);
    const size_t n = perVoice ? std::min(actions.size(), PartModBank::kVoices) : 1;

    ModSourceSlots controls{};
    if (!entry.control.empty() && !resolveModSource(*this, part, entry.control, perVoice, controls))
        controls.fill(nullptr);
    auto route = [&](Modulator* source, size_t i, uint8_t retrigger) {
        ModRoute r;
        r.source = source;
        r.control = controls[i];
        r.offset = entry.offset;
        r.amount = entry.amount;
        r.min = entry.min;
        r.max = entry.max;
        r.sourceCurve = entry.sourceCurve;
        r.controlCurve = entry.controlCurve;
        r.part = part;
        r.retrigger = retrigger;
        actions[i].setMath(entry.math);
        actions[i].addRoute(r);
    };

    ModSourceSlots sources{};
    if (resolveModSource(*this, part, entry.source, perVoice, sources)) {
        for (size_t i = 0; i < n; ++i)
            if (sources[i]) route(sources[i], i, 0);
        return;
    }
    // "STEP" m plays data block m; only the fifteen slots have mod actions.
    uint64_t m = 0;
    if (!stepSourceIndex(entry.source, m) || m >= stepBlocks.size() || m >= kAutomSlots) return;
    DataBlockEntry& blockEntry = stepBlocks[m];
    blockEntry.used = 1;
    if (!blockEntry.block) return;
    ModAction*& action = banks[part].modActions[m];
    if (!action) {
        const size_t voices = std::min(actions.size(), PartModBank::kVoices);
        action = new ModAction(&automSlots[m], &automSlots[m].lanes[part],
                               static_cast<uint8_t*>(blockEntry.block),
                               blockSize(blockEntry, StepBlock::kSize), part, voices,
                               record.minValue < 0.0f, syncProvider, this);
    }
    if (action->voiceCount() == 0) return;
    for (size_t i = 0; i < n; ++i) {
        ModActionVoice* voice = action->getVoice(i);
        const bool retrigger = (record.flags & vantor::ParameterInfo::kFlagStepRetrigger) &&
                               voice->getKind() == Modulator::kRaw &&
                               entry.math != ParameterAction::kAccum;
        route(voice, i, retrigger ? 1 : 0);
    }
}

void SynthBase::setModMatrixText(const char* text, int32_t arg) {
    modMatrixText.clear();
    beforeModMatrixReset();
    if (text && *text) {
        modMatrixText = text;
        modMatrixArg = arg;
    }
    parseModMatrix();
    for (DataBlockEntry& e : stepBlocks)
        if (!e.used) resetStepBlock(static_cast<uint8_t*>(e.block), blockSize(e, StepBlock::kSize));
    for (DataBlockEntry& e : curveBlocks)
        if (!e.used)
            resetCurveBlock(static_cast<uint8_t*>(e.block), blockSize(e, CurveBlock::kSize));
}

void SynthBase::parseModMatrix() {
    clearModRoutes();
    if (modMatrixText.empty()) return;
    for (const ModMatrixEntry& entry : parseModMatrixText(modMatrixText)) addModRoute(entry);
    // Room on the timer queue for every sequencer voice, so that switching a
    // slot on while audio runs does not allocate.
    size_t timers = 0;
    for (PartModBank& b : banks)
        for (ModAction* action : b.modActions)
            if (action) timers += action->voiceCount();
    if (quantumManager) quantumManager->queue.reserve(quantumManager->queue.size() + timers);
    for (uint64_t p = 0; p < kParts; ++p) {
        for (uint64_t n = 0; n < kAutomSlots; ++n) {
            ModAction* action = banks[p].modActions[n];
            if (!action || !automSlots[n].active) continue;
            action->setActive(true);
            if (!quantumManager) continue;
            for (auto& voice : action->voices) quantumManager->schedule(voice.get(), n | (p << 8));
        }
    }
}

size_t SynthBase::blockSize(const DataBlockEntry& entry, size_t layoutSize) const {
    return entry.reserved ? entry.reserved : layoutSize;
}

void SynthBase::deleteModActions(bool unschedule) {
    for (PartModBank& b : banks) {
        for (ModAction*& action : b.modActions) {
            if (!action) continue;
            if (unschedule && quantumManager)
                for (auto& voice : action->voices) quantumManager->unschedule(voice.get());
            delete action;
            action = nullptr;
        }
    }
}

void SynthBase::setAutomSlotActive(uint64_t n, bool on) {
    if (n >= kAutomSlots) return;
    AutomSlot& slot = automSlots[n];
    if ((slot.active != 0) == on) return;
    for (uint64_t p = 0; p < kParts && quantumManager; ++p) {
        ModAction* action = banks[p].modActions[n];
        if (!action) continue;
        action->setActive(on);
        for (auto& voice : action->voices) {
            if (on)
                quantumManager->schedule(voice.get(), n | (p << 8));
            else
                quantumManager->unschedule(voice.get());
        }
    }
    slot.setActive(on ? 1 : 0);
}

void SynthBase::initAutomSlotParams(uint64_t slot, uint64_t n, AutomSlotListener* listener) {
    if (slot < kAutomSlots) automSlots[slot].initAutomSlotParams(n, listener);
}

void SynthBase::setAutomSlotParam(uint64_t n, uint16_t field, float value) {
    if (n < kAutomSlots) automSlots[n].setAutomSlotParam(field, value);
}

float SynthBase::getAutomSlotParam(uint64_t n, uint16_t field) {
    return n < kAutomSlots ? automSlots[n].getAutomSlotParam(field) : 0.0f;
}

void SynthBase::triggerAutomSlots(uint64_t part, uint64_t voice) {
    if (!quantumManager || part >= kParts) return;
    for (uint64_t n = 0; n < kAutomSlots; ++n) {
        ModAction* action = banks[part].modActions[n];
        if (!action || !automSlots[n].active) continue;
        const uint64_t cookie = n | (part << 8);
        action->setVoiceGate(voice, true);
        int32_t mode = automSlots[n].triggerMode;
        if (mode == 1) mode = getHeldKeyCount(part) == 1 ? 2 : -1;
        switch (mode) {
        case 0: {
            const uint64_t i = action->voiceCount() == 1 ? 0 : voice;
            action->restartVoice(i);
            if (ModActionVoice* v = action->getVoice(i)) quantumManager->retimeByTimer(v, 0);
            break;
        }
        case 2:
            action->restartAllVoices();
            quantumManager->retimeByCookie(cookie, 0);
            break;
        case 3:
            quantumManager->retimeByCookie(
                cookie, action->computeSyncStartDelay(quantumManager->rate, voice));
            break;
        default: // the gate only
            break;
        }
    }
}

void SynthBase::releaseAutomSlots(uint64_t part, uint64_t voice) {
    if (part >= kParts) return;
    for (uint64_t n = 0; n < kAutomSlots; ++n) {
        ModAction* action = banks[part].modActions[n];
        if (!action || !automSlots[n].active) continue;
        if (action->voiceCount() >= 2 || getActiveVoiceCount(part) == 0)
            action->setVoiceGate(voice, false);
    }
}

void SynthBase::rescheduleAutomSlots(uint64_t part, uint64_t voiceCount) {
    if (!quantumManager || part >= kParts) return;
    for (uint64_t n = 0; n < kAutomSlots; ++n) {
        ModAction* action = banks[part].modActions[n];
        if (!action || !automSlots[n].active) continue;
        for (auto& voice : action->voices) quantumManager->unschedule(voice.get());
        const size_t count = std::min<uint64_t>(voiceCount, action->voiceCount());
        for (size_t i = 0; i < count; ++i)
            quantumManager->schedule(action->voices[i].get(), n | (part << 8));
    }
}

void SynthBase::collectAutomSlotParameters(std::vector<vantor::ParameterInfo>& list) const {
    for (const AutomSlot& slot : automSlots) slot.collectAutomSlotParameters(list);
}

void SynthBase::clearModRoutes() {
    clearAllActionRoutes(paramActions);
    for (size_t p = 0; p < kParts; ++p) resetPartBank(p);
    for (AutomSlot& slot : automSlots) slot.clearLaneRoutes();
    for (DataBlockEntry& e : stepBlocks) e.used = 0;
    for (DataBlockEntry& e : curveBlocks) e.used = 0;
    deleteModActions(true);
    for (PitchBendModulator& m : mpePitchBend) m.setActive(0);
    for (MIDI7Modulator& m : mpeModulators) m.setActive(0);
}

void SynthBase::noteOnModulators(uint64_t part, uint64_t voice, uint8_t key, uint8_t velocity) {
    if (part >= kParts || voice >= PartModBank::kVoices) return;
    PartModBank& b = banks[part];
    key &= 127;
    b.altToggle ^= 1;
    const float alt = b.altToggle ? 1.0f : 0.0f;
    b.polyAlt[voice].publish(alt);
    b.polyKeyTrack[voice].setKey(key);
    b.polyVelocity[voice].publish(static_cast<float>(velocity) * kMidi7);
    b.polyKey[voice].publish(key);
    b.polyRandom[voice].reroll();
    b.monoAlt.publish(alt);
    b.monoKeyTrack.setKey(key);
    b.monoVelocity.publish(static_cast<float>(velocity) * kMidi7);
    b.monoKey.publish(key);
    b.monoRandom.reroll();
}

void SynthBase::setPitchBend(uint64_t part, float bend) {
    if (part >= kParts) return;
    PartModBank& b = banks[part];
    b.pitchBend.publish(bend);
    b.pitchBendPos.publish(bend > 0.0f ? bend : 0.0f);
    b.pitchBendNeg.publish(bend < 0.0f ? -bend : 0.0f);
}

void SynthBase::setControllerValue(uint64_t part, uint8_t controller, uint8_t value) {
    if (part >= kParts || controller > 127) return;
    MIDI7Modulator* m = banks[part].cc[controller].get();
    if (m) m->publish(static_cast<float>(value & 127) / 127.0f);
}

void SynthBase::setChannelPressure(uint64_t part, uint8_t value) {
    if (part < kParts)
        banks[part].channelPressure.publish(static_cast<float>(value & 127) * kMidi7);
}

void SynthBase::setProgram(uint64_t part, uint8_t program) {
    if (part < kParts) banks[part].programChange.publish(static_cast<float>(program & 127));
}

void SynthBase::setPolyAftertouch(uint64_t part, uint64_t voice, uint8_t value) {
    if (part >= kParts || voice >= PartModBank::kVoices) return;
    banks[part].polyAftertouch[voice].publish(static_cast<float>(value & 127) * kMidi7);
}

void SynthBase::setExpression(uint64_t part, uint64_t voice, uint32_t kind, float value) {
    if (part >= kParts || voice >= PartModBank::kVoices || kind >= PartModBank::kExpressions)
        return;
    banks[part].expression[kind][voice].publish(value);
}

PitchBendModulator* SynthBase::mpePitchBendModulator(uint64_t part, uint64_t voice) {
    if (part >= kMpeParts || voice >= kMpeVoices) return nullptr;
    return &mpePitchBend[part * kMpeVoices + voice];
}

MIDI7Modulator* SynthBase::mpePressureModulator(uint64_t part, uint64_t voice) {
    if (part >= kMpeParts || voice >= kMpeVoices) return nullptr;
    return &mpeModulators[part * kMpeVoices + voice];
}

MIDI7Modulator* SynthBase::mpeTimbreModulator(uint64_t part, uint64_t voice) {
    if (part >= kMpeParts || voice >= kMpeVoices) return nullptr;
    return &mpeModulators[kMpeParts * kMpeVoices + part * kMpeVoices + voice];
}

void SynthBase::setMpePressure(uint64_t part, uint64_t voice, uint8_t value) {
    if (MIDI7Modulator* m = mpePressureModulator(part, voice))
        m->publish(static_cast<float>(value & 127) * kMidi7);
}

void SynthBase::setMpeTimbre(uint64_t part, uint64_t voice, uint8_t value) {
    if (MIDI7Modulator* m = mpeTimbreModulator(part, voice))
        m->publish(static_cast<float>(value & 127) * kMidi7);
}

MIDI7Modulator* SynthBase::useControllerModulator(uint64_t part, uint8_t controller) {
    if (part >= kParts || controller > 127) return nullptr;
    std::unique_ptr<MIDI7Modulator>& m = banks[part].cc[controller];
    if (!m) {
        m = std::make_unique<MIDI7Modulator>();
    } else if (m->value != 0.0f) {
        m->setActive(1);
    }
    return m.get();
}

void SynthBase::resetPartBank(uint64_t part) {
    if (part >= kParts) return;
    PartModBank& b = banks[part];
    for (auto& m : b.cc)
        if (m) m->setActive(0);
    auto off = [](auto& modulators) {
        for (auto& m : modulators) m.setActive(0);
    };
    off(b.polyKeyTrack);
    off(b.polyKey);
    off(b.polyVelocity);
    off(b.polyRandom);
    off(b.polyAftertouch);
    for (auto& kind : b.expression) off(kind);
    for (Modulator* m : std::initializer_list<Modulator*>{
             &b.monoKeyTrack, &b.monoVelocity, &b.monoKey, &b.monoRandom, &b.channelPressure,
             &b.programChange, &b.pitchBend, &b.pitchBendPos, &b.pitchBendNeg})
        m->setActive(0);
}

} // namespace VSX
