// The per-event work of the synth framework allocates nothing: note-ons and
// note-offs through a part and ten layers, pedals, bends, modulator values
// running through routes, and the layer timer's delayed starts and glides.
// Set-up (layer slots, actions, routes) may allocate; it happens first.
#include "support/AllocationCounter.h"

#include <gtest/gtest.h>

#include "engine-support/QuantumManager.h"
#include "synth/LayerManager.h"
#include "synth/SynthStub.h"
#include "synth/VoiceManager.h"

SX_COUNTING_OPERATOR_NEW()

using testsupport::g_allocations;
using testsupport::g_counting;

namespace {

class Quiet : public VSX::LayerListener {
public:
    void onLayerVoicePitch(uint64_t, uint64_t) override {}
    void onLayerVoiceAmplitude(uint64_t, uint64_t) override {}
    void onLayerVoiceStart(uint64_t, uint64_t, uint8_t) override {}
    void onLayerVoiceRelease(uint64_t, uint64_t) override {}
    void onLayerVoiceVelocity(uint64_t, uint64_t) override {}
    void onLayerVoiceRetrigger(uint64_t, uint64_t, uint8_t) override {}
};

class Glue : public VSX::VoiceListener {
public:
    explicit Glue(VSX::LayerManager& layers) : lm(layers) {}
    void onVoiceStart(uint64_t p, uint64_t v, uint8_t key, uint8_t vel) override {
        lm.startVoice(p, v, key, vel, 60);
    }
    void onVoiceRetrigger(uint64_t p, uint64_t v, uint8_t key, uint8_t vel, uint8_t f) override {
        lm.retriggerVoice(p, v, key, vel, true, f, true);
    }
    void onVoiceRelease(uint64_t p, uint64_t v, uint8_t, uint8_t) override {
        lm.releaseVoice(p, v);
    }
    void onVoiceKill(uint64_t p, uint64_t v, uint8_t) override { lm.releaseVoice(p, v); }
    void onVoicePitch(uint64_t p, uint64_t v) override { lm.updateVoicePitch(p, v); }
    VSX::LayerManager& lm;
};

TEST(AudioPath, NoAllocationPerEvent) {
    testsupport::SynthStub synth; // the modulators outlive the actions routed to them
    VSX::LayerRecord layers[10];
    for (VSX::LayerRecord& r : layers) {
        r.active = 1;
        r.glideAmount = 80.0f;
    }
    layers[3].delayStart = 5.0f;
    layers[4].slotCount = 1;
    Quiet quiet;
    VSX::LayerManager lm;
    lm.attachLayers(layers);
    lm.initLayers(&quiet, false);
    VSX::VoiceManager vm;
    Glue glue(lm);
    vm.listener = &glue;
    vm.initParameters(&glue, 7);
    vantor::QuantumManager qm(32);
    qm.rate = 48000.0;
    qm.schedule(&lm, VSX::LayerManager::kTimerCookie);

    VSX::ModRoute route;
    route.source = &synth.banks[0].polyVelocity[0];
    (*vm.findVoiceParameter("VOICE DETUNE"))[0].addRoute(route);
    route.source = &synth.banks[0].pitchBend;
    for (VSX::ParameterAction& a : *lm.findLayerTarget("L01 TRANSPOSE", nullptr)) a.addRoute(route);

    g_counting = true;
    for (int round = 0; round < 20; ++round) {
        const uint8_t key = static_cast<uint8_t>(50 + round);
        synth.noteOnModulators(0, 0, key, 100);
        vm.noteOn(key, 100, VSX::VoiceManager::kNoId, 0);
        vm.noteOn(key + 3, 90, VSX::VoiceManager::kNoId, 0);
        vm.controlChange(64, 127);
        synth.setPitchBend(0, 0.25f);
        vm.setPitchBend(0.25f);
        vm.noteOffPedal(key, 0, VSX::VoiceManager::kNoId, 0);
        for (uint64_t left = 2000; left > 0;) left -= qm.advance(left);
        vm.controlChange(64, 0);
        vm.noteOffPedal(key + 3, 0, VSX::VoiceManager::kNoId, 0);
        lm.setLayerField(4, VSX::LayerManager::kSlotCount, static_cast<float>(round % 2));
    }
    vm.controlChange(123, 0);
    g_counting = false;
    EXPECT_EQ(g_allocations.load(), 0);
}

} // namespace
