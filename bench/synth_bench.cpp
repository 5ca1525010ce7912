// Cost of one note through the synth framework: a note-on and its note-off
// in a six-voice part, handed to a layer manager whose ten layers all belong
// to the part and all cover the key (the instrument's widest case: every
// layer slot starts and releases). The layer listener only counts reports.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "synth/LayerManager.h"
#include "synth/VoiceManager.h"

namespace {

class CountingLayers : public VSX::LayerListener {
public:
    void onLayerVoicePitch(uint64_t, uint64_t) override { ++reports; }
    void onLayerVoiceAmplitude(uint64_t, uint64_t) override { ++reports; }
    void onLayerVoiceStart(uint64_t, uint64_t, uint8_t) override { ++reports; }
    void onLayerVoiceRelease(uint64_t, uint64_t) override { ++reports; }
    void onLayerVoiceVelocity(uint64_t, uint64_t) override { ++reports; }
    void onLayerVoiceRetrigger(uint64_t, uint64_t, uint8_t) override { ++reports; }
    uint64_t reports = 0;
};

// Voice events to layer events, as the synth controller passes them on.
class Glue : public VSX::VoiceListener {
public:
    Glue(VSX::VoiceManager& part, VSX::LayerManager& layers) : vm(part), lm(layers) {}
    void onVoiceStart(uint64_t p, uint64_t v, uint8_t key, uint8_t vel) override {
        if (vm.getActiveVoiceCount() == 1) lm.onFirstVoice(p);
        lm.startVoice(p, v, key, vel, lastKey);
        lastKey = key;
    }
    void onVoiceRetrigger(uint64_t p, uint64_t v, uint8_t key, uint8_t vel, uint8_t flag) override {
        lm.retriggerVoice(p, v, key, vel, vm.monoRetrigger(), flag, vm.monoVelocityUpdate());
    }
    void onVoiceRelease(uint64_t p, uint64_t v, uint8_t, uint8_t) override {
        lm.releaseVoice(p, v);
        lm.endVoice(p, v);
    }
    VSX::VoiceManager& vm;
    VSX::LayerManager& lm;
    uint8_t lastKey = 128;
};

void BM_NoteOnOffTenLayers(benchmark::State& state) {
    VSX::LayerRecord layers[10];
    for (VSX::LayerRecord& r : layers) r.active = 1;
    CountingLayers listener;
    VSX::LayerManager lm;
    lm.attachLayers(layers);
    lm.initLayers(&listener, false);
    VSX::VoiceManager vm;
    Glue glue(vm, lm);
    vm.listener = &glue;
    uint8_t key = 48;
    for (auto _ : state) {
        vm.noteOn(key, 100, VSX::VoiceManager::kNoId, VSX::VoiceManager::kModeMidi);
        vm.noteOffPedal(key, 0, VSX::VoiceManager::kNoId, VSX::VoiceManager::kModeMidi);
        key = static_cast<uint8_t>(key == 72 ? 48 : key + 1);
    }
    benchmark::DoNotOptimize(listener.reports);
    state.counters["layer_reports"] = benchmark::Counter(static_cast<double>(listener.reports),
                                                         benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_NoteOnOffTenLayers);

} // namespace
