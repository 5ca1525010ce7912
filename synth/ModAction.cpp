#include "synth/ModAction.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "synth/AutomSlot.h"
#include "synth/CurveActionVoice.h"
#include "synth/StepActionVoice.h"
#include "synth/SyncProvider.h"
#include "synth/SynthBase.h"

namespace VSX {

namespace {
// Far enough ahead to count as never, with room for the queue's own sums.
constexpr double kParked = 4611686018427387904.0; // 2^62

// Tempi at or below 0 (or not numbers) would make a step endless.
double usableTempo(double bpm) {
    return bpm >= 1.0 ? bpm : 1.0;
}
} // namespace

uint32_t readBlockU32(const uint8_t* block, size_t offset) {
    const uint8_t* p = block + offset;
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

int16_t readBlockI16(const uint8_t* block, size_t offset) {
    const uint8_t* p = block + offset;
    return static_cast<int16_t>(static_cast<uint16_t>(p[0] | p[1] << 8));
}

float readBlockF32(const uint8_t* block, size_t offset) {
    const uint32_t bits = readBlockU32(block, offset);
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

uint64_t samplesWithCarry(double samples, float& carry) {
    const double x = samples + static_cast<double>(carry);
    if (!(x < kParked)) { // huge, infinite or NaN
        carry = 0.0f;
        return x == x ? static_cast<uint64_t>(kParked) : 1;
    }
    const double n = std::floor(x + 0.5);
    if (n < 1.0) {
        carry = 0.0f;
        return 1;
    }
    carry = static_cast<float>(x - n);
    return static_cast<uint64_t>(n);
}

ModActionVoice::ModActionVoice(ModAction* ownerAction, uint64_t voiceIndex, uint8_t polar)
    : owner(ownerAction), index(voiceIndex), polarity(polar) {}

void ModActionVoice::setActive(int on) {
    active = on;
    for (size_t i = 0; i < listeners.size(); ++i) listeners[i]->onModulatorEvent(this, on, 1);
}

void ModActionVoice::update(float v, bool startFlag) {
    value = v;
    for (size_t i = 0; i < listeners.size(); ++i) listeners[i]->onModulatorChanged(this, startFlag);
}

ModAction::ModAction(AutomSlot* automSlot, AutomSlotZone* automLane, uint8_t* data, size_t size,
                     uint64_t partNumber, size_t count, bool bipolar, SyncProvider* sync,
                     PitchProvider* pitch)
    : lane(automLane), slot(automSlot), block(data), blockSize(size), part(partNumber),
      syncProvider(sync), pitchProvider(pitch) {
    if (!block || blockSize < 4) return;
    const uint32_t kind = readBlockU32(block, 0);
    for (size_t i = 0; i < count; ++i) {
        if (kind == StepBlock::kId)
            voices.push_back(std::make_unique<StepActionVoice>(this, i, bipolar ? 1 : 0));
        else if (kind == CurveBlock::kId)
            voices.push_back(std::make_unique<CurveActionVoice>(this, i, bipolar ? 1 : 0));
    }
}

ModAction::~ModAction() = default;

void ModAction::setActive(bool on) {
    for (auto& v : voices) {
        v->setActive(on ? 1 : 0);
        v->start();
    }
}

void ModAction::restartVoice(uint64_t i) {
    if (ModActionVoice* v = getVoice(i)) v->start();
}

void ModAction::restartAllVoices() {
    for (auto& v : voices) v->start();
}

void ModAction::setVoiceGate(uint64_t i, bool on) {
    if (ModActionVoice* v = getVoice(i)) v->gate = on ? 1 : 0;
}

ModActionVoice* ModAction::getVoice(uint64_t i) {
    if (voices.empty()) return nullptr;
    return voices[i < voices.size() ? i : 0].get();
}

double ModAction::getStepDuration(uint64_t i) {
    if (i >= AutomSlotZone::kVoices) i = 0;
    const double length = lane->stepLength[i];
    switch (slot->syncMode) {
    case 2: {
        // A step lasts 128 periods of the voice's pitch.
        const double f = pitchProvider ? pitchProvider->getVoiceFrequency(part, i) : 0.0;
        return length * 128.0 / std::max(1.0, f);
    }
    case 0:
        return length * 240.0 / usableTempo(syncProvider ? syncProvider->getHostTempo() : 120.0);
    default:
        return length * 240.0 / usableTempo(syncProvider ? syncProvider->getFreeTempo() : 120.0);
    }
}

uint64_t ModAction::computeSyncStartDelay(double sampleRate, uint64_t i) {
    if (!syncProvider) return 0;
    const double d = syncProvider->getHostPosition() - syncProvider->getHostBarStart();
    if (!(d >= 0.0)) return 0;
    const double q = lane->stepLength[i < AutomSlotZone::kVoices ? i : 0] * 4.0;
    if (!(q > 0.0)) return 0;
    const double s = d / q;
    if (!(s < kParked)) return 0;
    const double whole = std::floor(s);
    if (ModActionVoice* v = getVoice(i)) v->startAt(static_cast<uint64_t>(whole));
    const double tempo = usableTempo(syncProvider->getHostTempo());
    const double samples = std::floor(q * 60.0 / tempo * (whole - s + 1.0) * sampleRate + 0.5);
    if (!(samples > 0.0)) return 0;
    return samples < kParked ? static_cast<uint64_t>(samples) : static_cast<uint64_t>(kParked);
}

} // namespace VSX
