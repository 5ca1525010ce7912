// MIDI intake of the synth controller: routing by voice mode, the channel
// messages of a part, the MPE zones' master and member channels, and the
// registered parameters that configure the zones.
#include "synth/SynthController.h"

#include "vantor/PMIDI.h"

namespace VSX {

namespace {

constexpr double kBendScale = 0.0001220703125; // 1/8192

enum RegisteredParameter : uint16_t { kPitchBendSensitivity = 0, kMpeConfiguration = 6 };

// -1.0 .. 0.99988 from the two 7-bit bytes of a bend message.
float bendOf(uint8_t lsb, uint8_t msb) {
    return static_cast<float>((PMIDICombineBytes(lsb, msb) - 8192) * kBendScale);
}

} // namespace

void SynthController::processMidiEvent(uint8_t status, uint8_t data1, uint8_t data2) {
    switch (voiceMode) {
    case 1:
    case 2:
        handlePartMidi(0, status, data1, data2);
        break;
    case 3:
    case 4: {
        const int64_t part = channelMap[status & 15].part;
        if (part >= 0 && static_cast<uint64_t>(part) < kParts)
            handlePartMidi(static_cast<uint64_t>(part), status, data1, data2);
        break;
    }
    case 5:
        handleMpeMidi(status, data1, data2);
        break;
    default:
        break;
    }
}

void SynthController::handlePartMidi(uint64_t part, uint8_t status, uint8_t data1, uint8_t data2) {
    if (part >= kParts) return;
    VoiceManager& vm = voiceManagers[part];
    data1 &= 127;
    data2 &= 127;
    switch (status & 0xF0) {
    case 0x90:
        if (data2 > 0) {
            vm.noteOn(data1, data2, VoiceManager::kNoId, VoiceManager::kModeMidi);
            break;
        }
        [[fallthrough]]; // velocity 0 is a note-off
    case 0x80:
        vm.noteOffPedal(data1, data2, VoiceManager::kNoId, VoiceManager::kModeMidi);
        break;
    case 0xA0:
        setKeyPressure(part, data1, data2);
        break;
    case 0xB0:
        onControlChange(part, data1, data2);
        rpnDecoder.processController(status & 15, data1, data2);
        setControllerValue(part, data1, data2);
        vm.controlChange(data1, data2);
        break;
    case 0xC0:
        setProgram(part, data1);
        onProgramChange(part, data1);
        break;
    case 0xD0:
        setChannelPressure(part, data1);
        break;
    case 0xE0: {
        const float bend = bendOf(data1, data2);
        setPitchBend(part, bend);
        vm.setPitchBend(bend);
        break;
    }
    default:
        onSystemMessage(status, data1);
        break;
    }
}

void SynthController::setKeyPressure(uint64_t part, uint8_t key, uint8_t value) {
    if (part >= kParts) return;
    const int64_t voice = voiceManagers[part].findVoiceByKey(key & 127);
    if (voice >= 0) setPolyAftertouch(part, static_cast<uint64_t>(voice), value);
}

void SynthController::mpeNoteOn(uint64_t part, int64_t member, uint8_t key, uint8_t velocity) {
    VoiceManager& vm = voiceManagers[part];
    VoiceManager::MemberState& ms = vm.members[member & 15];
    // The voice manager records the voice it assigns; a note that finds no
    // voice leaves the member without one, and its waiting values reach no
    // voice.
    ms.voice = -1;
    vm.noteOn(key, velocity, static_cast<uint64_t>(member), VoiceManager::kModeMpe);
    if (ms.voice < 0 || static_cast<uint64_t>(ms.voice) >= kMaxVoices) return;
    const uint64_t voice = static_cast<uint64_t>(ms.voice);
    vm.setMemberBend(static_cast<uint64_t>(member), ms.pendingBend);
    setMpeTimbre(part, voice, ms.pendingTimbre);
    setMpePressure(part, voice, ms.pendingPressure);
}

void SynthController::handleMpeMidi(uint8_t status, uint8_t data1, uint8_t data2) {
    const uint8_t channel = status & 15;
    const uint8_t kind = status & 0xF0;
    data1 &= 127;
    data2 &= 127;
    if (kind == 0xB0) rpnDecoder.processController(channel, data1, data2);

    const ChannelRoute& route = channelMap[channel];
    if (route.part < 0 || static_cast<uint64_t>(route.part) >= kParts) return;
    const uint64_t part = static_cast<uint64_t>(route.part);
    const int64_t member = route.member;
    const bool master = route.zoneMaster != 0;
    VoiceManager& vm = voiceManagers[part];
    VoiceManager::MemberState* ms = member >= 0 ? &vm.members[member & 15] : nullptr;
    const bool memberSounds = ms && ms->voice >= 0 && static_cast<uint64_t>(ms->voice) < kMaxVoices;

    switch (kind) {
    case 0x90:
        if (data2 > 0) {
            if (member >= 0) mpeNoteOn(part, member, data1, data2);
            break;
        }
        [[fallthrough]]; // velocity 0 is a note-off
    case 0x80:
        if (!ms) break;
        vm.noteOffPedal(data1, data2, static_cast<uint64_t>(member), VoiceManager::kModeMpe);
        ms->voice = -1; // whether or not a pedal holds the note
        break;
    case 0xA0:
        break;
    case 0xB0:
        onControlChange(part, data1, data2);
        if (master) {
            setControllerValue(part, data1, data2);
            vm.controlChange(data1, data2);
        } else if (ms && data1 == 74) {
            if (memberSounds)
                setMpeTimbre(part, static_cast<uint64_t>(ms->voice), data2);
            else
                ms->pendingTimbre = data2;
        }
        break;
    case 0xC0:
        if (master) {
            setProgram(part, data1);
            onProgramChange(part, data1);
        }
        break;
    case 0xD0:
        if (master) {
            setChannelPressure(part, data1);
        } else if (ms) {
            if (memberSounds)
                setMpePressure(part, static_cast<uint64_t>(ms->voice), data1);
            else
                ms->pendingPressure = data1;
        }
        break;
    case 0xE0: {
        const float bend = bendOf(data1, data2);
        if (master) {
            setPitchBend(part, bend);
            vm.setPitchBend(bend);
        } else if (ms) {
            if (memberSounds)
                vm.setMemberBend(static_cast<uint64_t>(member), bend);
            else
                ms->pendingBend = bend;
        }
        break;
    }
    default:
        onSystemMessage(status, data1);
        break;
    }
}

void SynthController::handlePartMonoMessage(uint64_t part, uint8_t status, uint8_t data1,
                                            uint8_t data2) {
    if (part >= kParts) return;
    switch (status & 0xF0) {
    case 0xD0:
        setChannelPressure(part, data1 & 127);
        break;
    case 0xC0:
        setProgram(part, data1 & 127);
        break;
    case 0xE0:
        setPitchBend(part, bendOf(data1 & 127, data2 & 127));
        break;
    default:
        break;
    }
}

void SynthController::handleRpn(uint8_t channel, uint16_t parameter, uint8_t dataMsb,
                                uint8_t /*dataLsb*/) {
    switch (parameter) {
    case kMpeConfiguration:
        if (channel == 0) setLowerZone(dataMsb);
        if (channel == 15) setUpperZone(dataMsb);
        break;
    case kPitchBendSensitivity:
        if (currentLowerZone == 0 && currentUpperZone == 0) break;
        if (channel == 0) voiceManagers[0].perNoteBendRange = dataMsb * 100.0f;
        if (channel == 15) voiceManagers[1].perNoteBendRange = dataMsb * 100.0f;
        break;
    default:
        break;
    }
}

} // namespace VSX
