#include "synth/SynthBase.h"

#include <cctype>
#include <cstring>

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
    // Actions leave their modulators before the banks go.
    paramActions.clear();
}

bool SynthBase::addModRoute(const ModMatrixEntry& /*entry*/) {
    return false;
}

void SynthBase::clearModRoutes() {
    clearAllActionRoutes(paramActions);
    for (size_t p = 0; p < kParts; ++p) resetPartBank(p);
    for (DataBlockEntry& e : stepBlocks) e.used = 0;
    for (DataBlockEntry& e : curveBlocks) e.used = 0;
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
