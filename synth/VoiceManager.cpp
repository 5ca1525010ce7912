#include "synth/VoiceManager.h"

#include <cmath>
#include <cstring>

#include "synth/GenericParam.h"
#include "synth/PedalMachine.h"
#include "vantor/PMIDI.h"

namespace VSX {

namespace {

constexpr float kCentsToOctaves = 0.00083333335f; // 1/1200 as a float

// 12-tone equal temperament, A4 (key 69) = 440 Hz.
const std::array<float, 128>& equalTemperament() {
    static const std::array<float, 128> table = [] {
        std::array<float, 128> t{};
        for (int k = 0; k < 128; ++k) t[k] = static_cast<float>(440.0 * std::exp2((k - 69) / 12.0));
        return t;
    }();
    return table;
}

// The velocity a note-on is counted with: 1..127. A velocity below 1 would
// store "not held" for a key that is down, and its note could never be
// released; one above 127 would wrap to 0 when masked to 7 bits.
uint8_t noteOnVelocity(int velocity) {
    if (velocity < 1) return 1;
    if (velocity > 127) return 127;
    return static_cast<uint8_t>(velocity);
}

// floor(velocity) as an int; NaN and out-of-range values end up outside 1..127.
int floorVelocity(float velocity) {
    if (!(velocity >= 0.0f)) return 0;
    if (velocity >= 1000.0f) return 1000;
    return static_cast<int>(std::floor(velocity));
}

} // namespace

VoiceManager::VoiceManager() {
    for (uint64_t v = 0; v < kMaxVoices; ++v) resetVoice(v);
}

float VoiceManager::getKeyFrequency(uint8_t key) const {
    key &= 127;
    if (tuningSource) return static_cast<float>(tuningSource->getNoteFrequency(key));
    return equalTemperament()[key];
}

void VoiceManager::updateFrequency(uint64_t v) {
    if (v >= kMaxVoices) return;
    Voice& voice = voices[v];
    const float cents = getVoicePitchCents(v);
    voice.frequency =
        cents == 0.0f ? voice.baseFrequency : voice.baseFrequency * exp2f(cents * kCentsToOctaves);
}

float VoiceManager::getVoicePitchCents(uint64_t v) const {
    if (v >= kMaxVoices) return 0.0f;
    const Voice& voice = voices[v];
    return voice.transpose * 100.0f + (globalCents + bendCents + voice.voiceBend + voice.detune);
}

void VoiceManager::reportPitch(uint64_t v) {
    updateFrequency(v);
    if (listener) listener->onVoicePitch(part, v);
}

void VoiceManager::resetVoice(uint64_t v) {
    if (v < kMaxVoices) voices[v] = Voice{};
}

void VoiceManager::freeVoice(uint64_t v) {
    if (v >= kMaxVoices) return;
    Voice& voice = voices[v];
    if (!voice.free && busyCount > 0) --busyCount;
    voice.free = 1;
    voice.isProtected = 0;
}

void VoiceManager::assignVoice(uint64_t v, uint8_t key, uint8_t velocity, uint64_t id, int mode) {
    Voice& voice = voices[v];
    if (mode == kModeMpe || mode == kModeNoteId) {
        voice.id = id;
        voice.voiceBend = 0.0f;
        voice.amplitude = 1.0f;
        if (mode == kModeMpe) members[id & 15].voice = static_cast<int64_t>(v);
    }
    voice.baseFrequency = getKeyFrequency(key);
    voice.key = key & 127;
    voice.velocity = velocity & 127;
    voice.stamp = noteOnCounter;
    if (voice.free) {
        ++busyCount;
        voice.free = 0;
    }
    updateFrequency(v);
    lastVoice = static_cast<int64_t>(v);
}

void VoiceManager::protectVoices() {
    switch (protectPolicy) {
    case 0:
        for (uint64_t v = 0; v < voiceCount; ++v) voices[v].isProtected = 0;
        break;
    case 2:
    case 3: {
        int64_t chosen = -1;
        for (uint64_t v = 0; v < voiceCount; ++v) {
            voices[v].isProtected = 0;
            if (chosen < 0) {
                chosen = static_cast<int64_t>(v);
                continue;
            }
            const uint8_t best = voices[chosen].key;
            if (protectPolicy == 2 ? voices[v].key < best : voices[v].key > best)
                chosen = static_cast<int64_t>(v);
        }
        if (chosen >= 0) voices[chosen].isProtected = 1;
        break;
    }
    default:
        break;
    }
}

int64_t VoiceManager::chooseStolenVoice() const {
    int64_t chosen = -1;
    for (uint64_t v = 0; v < voiceCount; ++v) {
        const Voice& voice = voices[v];
        if (voice.isProtected) continue;
        switch (stealPolicy) {
        case 0:
            return static_cast<int64_t>(v);
        case 2:
            if (chosen < 0 || voice.stamp < voices[chosen].stamp) chosen = static_cast<int64_t>(v);
            break;
        case 3:
            if (voice.stamp > 0 && (chosen < 0 || voice.stamp > voices[chosen].stamp))
                chosen = static_cast<int64_t>(v);
            break;
        default:
            return -1;
        }
    }
    return chosen;
}

void VoiceManager::noteOn(uint8_t key, int velocityIn, uint64_t id, int mode) {
    key &= 127;
    const uint8_t velocity = noteOnVelocity(velocityIn);
    KeyState& ks = keys[key];
    pedalStep(ks.pedalState, kKeyDown);
    if (ks.velocity == 0) ++heldKeys;
    ++noteOnCounter;
    ks.velocity = velocity;
    ks.pressStamp = noteOnCounter;

    if (mode == kModeNoteId && id != kNoId) {
        for (uint64_t v = 0; v < voiceCount; ++v) {
            if (voices[v].id != id) continue;
            assignVoice(v, key, velocity, id, mode);
            if (listener) listener->onVoiceStart(part, v, key, velocity);
            return;
        }
    }
    if (voiceCount == 0) return; // nothing to assign, whatever the policies

    int64_t freeVoice = -1;
    for (uint64_t v = 0; v < voiceCount; ++v) {
        if (voices[v].free && (freeVoice < 0 || voices[v].stamp < voices[freeVoice].stamp))
            freeVoice = static_cast<int64_t>(v);
    }
    if (freeVoice >= 0) {
        assignVoice(static_cast<uint64_t>(freeVoice), key, velocity, id, mode);
        if (listener) listener->onVoiceStart(part, static_cast<uint64_t>(freeVoice), key, velocity);
        return;
    }

    if (voiceCount == 1) {
        voices[0].isProtected = 0;
    } else {
        for (uint64_t v = 0; v < voiceCount; ++v) {
            if (voices[v].key != key) continue;
            assignVoice(v, key, velocity, id, mode);
            if (listener) listener->onVoiceRetrigger(part, v, key, velocity, 1);
            return;
        }
        if (protectPolicy == 1) return; // refused; the key stays held
        protectVoices();
    }

    const int64_t stolen = chooseStolenVoice();
    if (stolen < 0) return;
    Voice& victim = voices[stolen];
    if (mode == kModeMpe && victim.id != kNoId) members[victim.id & 15] = MemberState{};
    assignVoice(static_cast<uint64_t>(stolen), key, velocity, id, mode);
    if (listener) listener->onVoiceRetrigger(part, static_cast<uint64_t>(stolen), key, velocity, 1);
}

void VoiceManager::noteOnWithIdFloat(uint8_t key, uint64_t id, float velocity) {
    noteOn(key & 127, floorVelocity(velocity), id, kModeNoteId);
}

void VoiceManager::noteOff(uint8_t key, int velocityIn, uint64_t id, int mode) {
    key &= 127;
    const uint8_t velocity = static_cast<uint8_t>(velocityIn & 127);
    KeyState& ks = keys[key];
    if (ks.velocity != 0 && heldKeys > 0) --heldKeys;
    ks.velocity = 0;
    ++noteOffCounter;

    if (voiceCount == 1 && heldKeys > 0) {
        // A one-voice part returns to the latest key still down.
        int held = -1;
        for (int k = 127; k >= 0; --k) {
            if (keys[k].velocity == 0) continue;
            if (held < 0 || keys[k].pressStamp > keys[held].pressStamp) held = k;
        }
        if (held >= 0) {
            const uint8_t heldVelocity = keys[held].velocity;
            assignVoice(0, static_cast<uint8_t>(held), heldVelocity, id, mode);
            if (listener)
                listener->onVoiceRetrigger(part, 0, static_cast<uint8_t>(held), heldVelocity & 127,
                                           0);
            return;
        }
        // The count said a key was held but none is: release as usual
        // instead of leaving the note hanging.
        heldKeys = 0;
    }
    releaseKey(key, velocity);
}

void VoiceManager::releaseKey(uint8_t key, uint8_t velocity) {
    for (uint64_t v = 0; v < voiceCount; ++v) {
        Voice& voice = voices[v];
        if (voice.key != key) continue;
        if (!voice.free) {
            if (busyCount > 0) --busyCount;
            voice.free = 1;
        }
        voice.stamp = noteOffCounter;
        if (listener) listener->onVoiceRelease(part, v, key, velocity);
    }
    if (busyCount == 0 && listener) listener->onVoicesIdle(part);
}

void VoiceManager::noteOffPedal(uint8_t key, int velocity, uint64_t id, int mode) {
    key &= 127;
    if (pedalStep(keys[key].pedalState, kKeyUp) == kPedalRelease) noteOff(key, velocity, id, mode);
}

void VoiceManager::noteOffWithId(uint8_t key, uint64_t id, float velocity) {
    noteOffPedal(key & 127, floorVelocity(velocity), id, kModeNoteId);
}

void VoiceManager::applyPedal(uint8_t input) {
    for (int k = 0; k < 128; ++k) {
        if (pedalStep(keys[k].pedalState, input) == kPedalRelease)
            noteOff(static_cast<uint8_t>(k), 0, kNoId, kModeMidi);
    }
}

void VoiceManager::setSustain(bool down) {
    applyPedal(down ? kSustainDown : kSustainUp);
}

void VoiceManager::setSostenuto(bool down) {
    applyPedal(down ? kSostenutoDown : kSostenutoUp);
}

void VoiceManager::controlChange(uint8_t controller, uint8_t value) {
    switch (controller) {
    case 120:
    case 123:
        releaseAllVoices();
        break;
    case 64:
        setSustain(value != 0);
        break;
    case 66:
        setSostenuto(value != 0);
        break;
    default:
        break;
    }
}

void VoiceManager::releaseAllVoices() {
    for (uint64_t v = 0; v < kMaxVoices; ++v) {
        Voice& voice = voices[v];
        if (listener) listener->onVoiceKill(part, v, voice.key);
        voice.key = kNoKey;
        voice.isProtected = 0;
        voice.free = 1;
    }
    for (KeyState& ks : keys) {
        ks.pedalState = 0;
        ks.velocity = 0;
    }
    busyCount = 0;
    lastVoice = -1;
    heldKeys = 0;
}

void VoiceManager::reset() {
    releaseAllVoices();
    for (uint64_t v = 0; v < kMaxVoices; ++v) resetVoice(v);
}

void VoiceManager::setVoiceCount(uint64_t n) {
    if (n > kMaxVoices || n == voiceCount) return;
    releaseAllVoices();
    for (uint64_t v = 0; v < kMaxVoices; ++v) resetVoice(v);
    voiceCount = n;
}

void VoiceManager::setPitchBend(float bend) {
    const float cents = bend * pitchBendRange;
    if (!std::isfinite(cents) || cents == bendCents) return;
    bendCents = cents;
    for (uint64_t v = 0; v < voiceCount; ++v) reportPitch(v);
}

void VoiceManager::setPitchBend14(uint8_t lsb, uint8_t msb) {
    setPitchBend(static_cast<float>(PMIDICombineBytes(lsb & 127, msb & 127) - 8192) / 8192.0f);
}

void VoiceManager::setGlobalCents(float cents) {
    if (!std::isfinite(cents)) return;
    globalCents = cents;
    for (uint64_t v = 0; v < voiceCount; ++v) reportPitch(v);
}

void VoiceManager::setMemberBend(uint64_t member, float bend) {
    const float cents = bend * perNoteBendRange;
    if (!std::isfinite(cents)) return;
    MemberState& m = members[member & 15];
    m.pendingBend = bend;
    if (m.voice < 0 || static_cast<uint64_t>(m.voice) >= kMaxVoices) return;
    Voice& voice = voices[m.voice];
    if (voice.voiceBend == cents) return;
    voice.voiceBend = cents;
    reportPitch(static_cast<uint64_t>(m.voice));
}

int64_t VoiceManager::setVoiceExpression(uint32_t kind, uint64_t id, float value) {
    const int64_t found = findVoiceById(id);
    if (found < 0) return -1;
    const uint64_t v = static_cast<uint64_t>(found);
    if ((kind == 0 || kind == 2) && !std::isfinite(value)) return found;
    switch (kind) {
    case 0:
        voices[v].amplitude = value;
        if (listener) listener->onVoiceAmplitude(part, v);
        break;
    case 1:
        if (listener) listener->onVoiceExpression(part, v, 1);
        break;
    case 2:
        voices[v].voiceBend = value;
        reportPitch(v);
        break;
    default:
        break;
    }
    return found;
}

int64_t VoiceManager::findVoiceByKey(uint8_t key) const {
    for (uint64_t v = 0; v < voiceCount; ++v)
        if (voices[v].key == key) return static_cast<int64_t>(v);
    return -1;
}

int64_t VoiceManager::findVoiceById(uint64_t id) const {
    if (id == kNoId) return -1;
    for (uint64_t v = 0; v < voiceCount; ++v)
        if (voices[v].id == id) return static_cast<int64_t>(v);
    return -1;
}

float VoiceManager::getVoiceFrequency(uint64_t v) const {
    return v < kMaxVoices ? voices[v].frequency : 0.0f;
}

float VoiceManager::getVoiceAmplitude(uint64_t v) const {
    return v < kMaxVoices ? voices[v].gainFactor * voices[v].amplitude : 0.0f;
}

float VoiceManager::getVelocityGain(uint64_t v) const {
    if (v >= kMaxVoices) return 0.0f;
    const double gain = (voices[v].velocity & 127) * 0.007874015748031496 * velocitySensitivity;
    return static_cast<float>(gain + (1.0f - velocitySensitivity));
}

void VoiceManager::onParameterAction(float value, uint64_t v, uint16_t id, bool /*modulated*/) {
    if (v >= kMaxVoices) return;
    Voice& voice = voices[v];
    switch (id) {
    case kAmp7Bit:
    case kAmp4Bit:
        voice.gainFactor = value * (id == kAmp7Bit ? 1.0f / 127.0f : 0.06666667f);
        if (listener) listener->onVoiceAmplitude(part, v);
        break;
    case kDetuneId:
    case kTransposeId:
        (id == kDetuneId ? voice.detune : voice.transpose) = value;
        updateFrequency(v);
        if (listener) listener->onVoicePitch(part, v);
        break;
    default:
        break;
    }
}

void VoiceManager::initParameters(VoiceListener* target, uint32_t amplitudeBits) {
    listener = target;
    GenericParam& generic = GenericParam::getInstance();
    const bool fourBit = amplitudeBits == 4;
    struct Target {
        vantor::ParameterInfo* record;
        uint16_t id;
        const char* label;
    };
    const Target targets[3] = {
        {&generic[fourBit ? GenericParam::kAmplitude4Bit : GenericParam::kAmplitude7Bit],
         static_cast<uint16_t>(fourBit ? kAmp4Bit : kAmp7Bit), "Voice Amplitude"},
        {&generic[GenericParam::kDetune], kDetuneId, "Voice Detune"},
        {&generic[GenericParam::kTranspose], kTransposeId, "Voice Transpose"},
    };
    for (size_t t = 0; t < 3; ++t) {
        voiceActions[t] = std::vector<ParameterAction>(voiceCount);
        for (uint64_t v = 0; v < voiceCount; ++v)
            voiceActions[t][v].init(v, targets[t].id, targets[t].record, this);
        voiceParams[t] = *targets[t].record;
        voiceParams[t].flags |=
            vantor::ParameterInfo::kFlagHost1 | vantor::ParameterInfo::kFlagHost2;
        voiceParams[t].setLabel(targets[t].label);
    }
}

std::vector<ParameterAction>* VoiceManager::findVoiceParameter(const char* name) {
    if (!name) return nullptr;
    if (!std::strcmp(name, "VOICE AMPLITUDE")) return &voiceActions[kAmplitudeList];
    if (!std::strcmp(name, "VOICE DETUNE")) return &voiceActions[kDetuneList];
    if (!std::strcmp(name, "VOICE TRANSPOSE")) return &voiceActions[kTransposeList];
    return nullptr;
}

void VoiceManager::collectParameters(std::vector<vantor::ParameterInfo>& out) const {
    for (const vantor::ParameterInfo& p : voiceParams) out.push_back(p);
}

} // namespace VSX
