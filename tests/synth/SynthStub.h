// A synth base with the controller's operations stubbed, for tests of the
// modulation matrix and the automation slots. It records what the matrix
// tells it, and a listener records every value its actions report.
#pragma once

#include <cstdint>
#include <tuple>
#include <vector>

#include "synth/SyncProvider.h"
#include "synth/SynthBase.h"

namespace testsupport {

class SynthStub : public VSX::SynthBase {
public:
    void setParameter(uint16_t, float) override {}
    void processMidiEvent(uint8_t, uint8_t, uint8_t) override {}
    int32_t getHeldKeyCount(uint64_t) override { return heldKeys; }
    uint64_t getVoiceCount(uint64_t) override { return 6; }
    uint64_t getActiveVoiceCount(uint64_t) override { return soundingVoices; }
    float getVoiceFrequency(uint64_t, uint64_t) override { return voiceFrequency; }
    void setPitchBendRange(float) override {}
    void setGlobalCents(float) override {}
    void setVoiceCount(uint64_t) override {}
    void setMonoRetrigger(uint8_t) override {}
    void setVelocitySensitivity(float) override {}
    void setNoteTuningSource(VSX::NoteTuningSource*) override {}
    void setVoiceMode(uint32_t) override {}
    void setFixedPitchKey(uint8_t) override {}
    void setMonoVelocityUpdate(uint8_t) override {}
    bool addSpecialModRoute(const VSX::ModMatrixEntry&) override {
        ++specialRoutes;
        return false;
    }
    void onModTargetResolved(uint32_t kind, uint64_t index, uint16_t parameter) override {
        resolved.emplace_back(kind, index, parameter);
    }

    int32_t heldKeys = 1;
    uint64_t soundingVoices = 1;
    float voiceFrequency = 440.0f;
    int specialRoutes = 0;
    std::vector<std::tuple<uint32_t, uint64_t, uint16_t>> resolved;
};

// Keeps the last value of each (owner, index) an action reported.
class ValueLog : public VSX::ParameterActionListener {
public:
    void onParameterAction(float value, uint64_t owner, uint16_t, bool modulated) override {
        if (owner < 8) {
            last[owner] = value;
            wasModulated[owner] = modulated;
        }
        ++reports;
    }
    float last[8] = {};
    bool wasModulated[8] = {};
    int reports = 0;
};

// Host tempo and position as fixed numbers.
class FixedSync : public VSX::SyncProvider {
public:
    double getFreeTempo() override { return freeTempo; }
    double getHostTempo() override { return tempo; }
    double getHostPosition() override { return position; }
    double getHostBarStart() override { return barStart; }

    double freeTempo = 125.0;
    double tempo = 120.0;
    double position = 0.0;
    double barStart = 0.0;
};

// Adds a parameter record; buildActions gives it its actions.
inline uint16_t addParameter(SynthStub& synth, const char* label, float min, float max,
                             uint8_t flags = 0, uint8_t mathMask = 0x0F) {
    const uint16_t index = static_cast<uint16_t>(synth.parameters.size());
    synth.parameters.emplace_back(label, 0, min, max, min, mathMask, 0);
    synth.parameters.back().flags = flags;
    synth.parameters.back().id = index;
    return index;
}

// Builds the action table once every parameter is in (records must not move).
inline void buildActions(SynthStub& synth, ValueLog& log) {
    synth.paramActions.clear();
    synth.paramActions.resize(synth.parameters.size());
    for (size_t i = 0; i < synth.parameters.size(); ++i) {
        vantor::ParameterInfo& p = synth.parameters[i];
        const size_t n = (p.flags & vantor::ParameterInfo::kFlagPerVoice) ? 6 : 1;
        synth.paramActions[i].resize(n);
        for (size_t v = 0; v < n; ++v)
            synth.paramActions[i][v].init(v, static_cast<uint16_t>(i), &p, &log);
    }
}

} // namespace testsupport
