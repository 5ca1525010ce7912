// Random play through two parts' voice managers and the ten layers: note-ons
// of any velocity (fractions and 0 included), note-offs, both pedals, voice
// and slot counts, layer switches and delays changing under sounding notes.
// Once every key and pedal is up and the release time has passed, no voice
// and no layer slot may still sound.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>
#include <string>

#include "engine-support/QuantumManager.h"
#include "synth/LayerManager.h"
#include "synth/VoiceManager.h"

namespace {

using VSX::LayerManager;
using VSX::VoiceManager;

// Which layer slots sound, from what the layer manager reports.
class SlotTracker : public VSX::LayerListener {
public:
    void onLayerVoicePitch(uint64_t, uint64_t) override {}
    void onLayerVoiceAmplitude(uint64_t, uint64_t) override {}
    void onLayerVoiceStart(uint64_t s, uint64_t l, uint8_t) override { set(s, l, true); }
    void onLayerVoiceRelease(uint64_t s, uint64_t l) override { set(s, l, false); }
    void onLayerVoiceVelocity(uint64_t, uint64_t) override {}
    void onLayerVoiceRetrigger(uint64_t s, uint64_t l, uint8_t) override { set(s, l, true); }
    void set(uint64_t s, uint64_t l, bool on) {
        ASSERT_LT(s, 6u);
        ASSERT_LT(l, 10u);
        sounding[l][s] = on;
    }
    std::string soundingSlots() const {
        std::string out;
        for (int l = 0; l < 10; ++l)
            for (int s = 0; s < 6; ++s)
                if (sounding[l][s]) out += "L" + std::to_string(l) + "/" + std::to_string(s) + " ";
        return out;
    }
    bool sounding[10][6] = {};
};

// The voice events of the parts, handed to the layer manager the way the
// synth controller does.
class Glue : public VSX::VoiceListener {
public:
    Glue(VoiceManager* parts, LayerManager& layers) : vms(parts), lm(layers) {}
    void onVoiceStart(uint64_t p, uint64_t v, uint8_t key, uint8_t vel) override {
        if (vms[p].getActiveVoiceCount() == 1) lm.onFirstVoice(p);
        lm.startVoice(p, v, key, vel, lastKey[p]);
        lastKey[p] = key;
    }
    void onVoiceRetrigger(uint64_t p, uint64_t v, uint8_t key, uint8_t vel, uint8_t flag) override {
        lm.retriggerVoice(p, v, key, vel, vms[p].monoRetrigger(), flag,
                          vms[p].monoVelocityUpdate());
    }
    void onVoiceRelease(uint64_t p, uint64_t v, uint8_t, uint8_t) override {
        lm.releaseVoice(p, v);
        lm.endVoice(p, v);
    }
    void onVoiceKill(uint64_t p, uint64_t v, uint8_t) override { lm.releaseVoice(p, v); }
    void onVoicePitch(uint64_t p, uint64_t v) override { lm.updateVoicePitch(p, v); }
    void onVoiceAmplitude(uint64_t p, uint64_t v) override { lm.updateVoiceAmplitude(p, v); }

    VoiceManager* vms;
    LayerManager& lm;
    uint8_t lastKey[2] = {128, 128};
};

TEST(NoHangingNotes, RandomPlay) {
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };

        VSX::LayerRecord layers[10];
        for (int l = 0; l < 10; ++l) {
            VSX::LayerRecord& r = layers[l];
            r.part = static_cast<uint64_t>(l % 2);
            r.active = pick(0, 3) > 0;
            r.keyLow = static_cast<uint8_t>(pick(40, 60));
            r.keyHigh = static_cast<uint8_t>(pick(55, 80));
            r.slotCount = static_cast<uint8_t>(pick(0, 4) == 0 ? pick(0, 6) : 6);
            r.flags = static_cast<uint8_t>(pick(0, 3));
            r.delayStart = pick(0, 2) == 0 ? static_cast<float>(pick(1, 20)) : 0.0f;
            r.glideAmount = static_cast<float>(pick(0, 100));
            r.glideMode = static_cast<uint64_t>(pick(0, 1));
            r.monoRetrig = static_cast<uint8_t>(pick(0, 1));
        }
        SlotTracker tracker;
        LayerManager lm;
        lm.attachLayers(layers);
        lm.initLayers(&tracker, pick(0, 3) == 0);
        vantor::QuantumManager qm(4);
        qm.rate = 48000.0;
        qm.schedule(&lm, LayerManager::kTimerCookie);

        VoiceManager vms[2];
        Glue glue(vms, lm);
        for (uint64_t p = 0; p < 2; ++p) {
            vms[p].listener = &glue;
            vms[p].part = p;
            vms[p].protectPolicy = static_cast<uint32_t>(pick(0, 4));
            vms[p].stealPolicy = static_cast<uint32_t>(pick(0, 3));
            vms[p].setMonoRetrigger(static_cast<uint8_t>(pick(0, 1)));
        }
        std::set<std::pair<int, int>> down; // (part, key)

        for (int step = 0; step < 1500; ++step) {
            const int p = pick(0, 1);
            VoiceManager& vm = vms[p];
            const int op = pick(0, 99);
            if (op < 35) {
                const int key = pick(45, 75);
                const float vel = pick(0, 5) == 0
                                      ? 0.0f
                                      : std::uniform_real_distribution<float>(0.0f, 127.0f)(rng);
                if (pick(0, 1))
                    vm.noteOn(static_cast<uint8_t>(key), static_cast<int>(std::floor(vel)),
                              VoiceManager::kNoId, VoiceManager::kModeMidi);
                else
                    vm.noteOnWithIdFloat(static_cast<uint8_t>(key), VoiceManager::kNoId, vel);
                down.insert({p, key});
            } else if (op < 70) {
                if (down.empty()) continue;
                auto it = down.begin();
                std::advance(it, pick(0, static_cast<int>(down.size()) - 1));
                vms[it->first].noteOffPedal(static_cast<uint8_t>(it->second), 64,
                                            VoiceManager::kNoId, VoiceManager::kModeMidi);
                down.erase(it);
            } else if (op < 78) {
                vm.controlChange(64, pick(0, 1) ? 127 : 0);
            } else if (op < 84) {
                vm.controlChange(66, pick(0, 1) ? 127 : 0);
            } else if (op < 90) {
                lm.setLayerField(static_cast<uint64_t>(pick(0, 9)), LayerManager::kSlotCount,
                                 static_cast<float>(pick(0, 8)));
            } else if (op < 93) {
                lm.setLayerField(static_cast<uint64_t>(pick(0, 9)), LayerManager::kActive,
                                 static_cast<float>(pick(0, 1)));
            } else if (op < 95) {
                lm.setLayerField(static_cast<uint64_t>(pick(0, 9)), LayerManager::kDelayStart,
                                 static_cast<float>(pick(0, 1) * pick(1, 30)));
            } else if (op < 97) {
                lm.setLayerField(static_cast<uint64_t>(pick(0, 9)), LayerManager::kKeyLow,
                                 static_cast<float>(pick(40, 60)));
            } else if (op < 98) {
                // A voice-count change kills the part's voices; keys stay down.
                vm.setVoiceCount(static_cast<uint64_t>(pick(0, 6)));
            } else {
                vm.controlChange(123, 0);
            }
            for (uint64_t left = static_cast<uint64_t>(pick(0, 400)); left > 0;)
                left -= qm.advance(left);
        }

        for (const auto& [p, key] : down)
            vms[p].noteOffPedal(static_cast<uint8_t>(key), 0, VoiceManager::kNoId, 0);
        for (VoiceManager& vm : vms) {
            vm.controlChange(64, 0);
            vm.controlChange(66, 0);
        }
        for (uint64_t left = 48000; left > 0;) left -= qm.advance(left); // one second

        for (VoiceManager& vm : vms) {
            EXPECT_EQ(vm.getActiveVoiceCount(), 0u);
            EXPECT_EQ(vm.heldKeys, 0);
        }
        EXPECT_EQ(tracker.soundingSlots(), "");
        for (const auto& ls : lm.slots)
            for (const auto& d : ls.delay) EXPECT_FALSE(d.pending);
    }
}

} // namespace
