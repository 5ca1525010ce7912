// The synth controller with its modulation matrix and automation slots: a
// matrix text drives routes onto parameters, voice and layer targets; a step
// sequence runs in sample time from the controller's note-on and stops
// looping at its note-off; repeated set-up keeps one queue entry per timer;
// the slots act before the modulators and the layers; voice-count changes
// re-arm the slot timers; trigger modes follow the controller's held keys.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "synth/ModAction.h"
#include "synth/ModMatrix.h"
#include "synth/SynthStub.h"
#include "synth/support/ControllerRig.h"

namespace {

using rig::Rig;
using VSX::AutomSlot;

constexpr uint16_t kVolume = 0; // 0..1, default 0.5
constexpr uint16_t kCutoff = 1; // 0..1000, default 0
constexpr uint16_t kDepth = 2;  // 0..127, one action per voice

// A rig whose controller has three parameters of its own, set up again so
// that they get their actions.
struct MatrixRig : Rig {
    explicit MatrixRig(uint32_t mode = 1) : Rig(mode) {
        auto& params = ctl.parameters;
        params.emplace_back("Volume", 0, 0.0f, 1.0f, 0.5f, 0x0F, 0);
        params.emplace_back("Cutoff", 0, 0.0f, 1000.0f, 0.0f, 0x0F, 0);
        params.emplace_back("Depth", 0, 0.0f, 127.0f, 0.0f, 0x0F, 0);
        for (uint16_t i = 0; i < params.size(); ++i) params[i].id = i;
        params[kDepth].flags |= vantor::ParameterInfo::kFlagPerVoice;
        block.assign(VSX::StepBlock::kSize, 0);
        VSX::resetStepBlock(block.data(), block.size());
        ctl.stepBlocks.push_back({block.data(), 0, 0});
        ctl.syncProvider = &sync; // 120 BPM: a sixteenth is 6000 samples
        setUp();
    }
    void setUp() { ctl.initController(ctl.parameters, &layerLog, nullptr, 0); }
    // Moves the timer queue to `until`, running every timer due on the way.
    void runUntil(uint64_t until) {
        for (int guard = 0; queue.now < until && guard < 100000; ++guard)
            queue.advance(until - queue.now);
    }
    // The values parameter `index` (voice 0) took from `from` on, with their times.
    std::vector<rig::Controller::Report> reportsOf(uint16_t index, uint64_t from = 0) const {
        std::vector<rig::Controller::Report> out;
        for (const auto& rep : ctl.reports)
            if (rep.index == index && rep.owner == 0 && rep.at >= from) out.push_back(rep);
        return out;
    }
    size_t queued(uint64_t cookie) const {
        size_t n = 0;
        for (const vantor::QuantumManager::Entry& e : queue.queue) n += e.cookie == cookie;
        return n;
    }

    testsupport::FixedSync sync;
    std::vector<uint8_t> block;
};

TEST(SynthControllerMatrix, TextDrivesRoutes) {
    struct Case {
        const char* name;
        uint32_t mode;
        const char* text;
        uint8_t channel;
        std::function<void(MatrixRig&)> check; // after CC 1 = 127 on the channel
    };
    const Case cases[] = {
        {"a parameter label, in lower case", 1, "source=cc1;destination=volume;amount=0.25", 0,
         [](MatrixRig& r) {
             const auto reps = r.reportsOf(kVolume);
             ASSERT_EQ(reps.size(), 1u);
             EXPECT_FLOAT_EQ(reps[0].value, 0.75f);
         }},
        {"voice mode 3: the channel's part moves the parameter", 3,
         "SOURCE=CC1;DESTINATION=Volume;AMOUNT=0.25", 4,
         [](MatrixRig& r) { ASSERT_EQ(r.reportsOf(kVolume).size(), 1u); }},
        {"voice mode 3: an ignored channel moves nothing", 3,
         "SOURCE=CC1;DESTINATION=Volume;AMOUNT=0.25", 12,
         [](MatrixRig& r) { EXPECT_TRUE(r.reportsOf(kVolume).empty()); }},
        {"a voice target detunes the sounding voice", 1, "SOURCE=CC1;DESTINATION=VOICE DETUNE", 0,
         [](MatrixRig& r) {
             EXPECT_NEAR(r.ctl.getVoiceFrequency(0, 0), 261.62558f * std::pow(2.0f, 1.0f / 12.0f),
                         0.01f);
         }},
        {"a layer target", 1, "SOURCE=CC1;DESTINATION=L01 DETUNE", 0,
         [](MatrixRig& r) {
             EXPECT_FLOAT_EQ(
                 r.ctl.layerManager.slots[0].values[VSX::LayerManager::kTargetDetune][0], 100.0f);
         }},
        {"an unknown destination is dropped", 1, "SOURCE=CC1;DESTINATION=LOUDNESS", 0,
         [](MatrixRig& r) { EXPECT_TRUE(r.ctl.reports.empty()); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MatrixRig r(c.mode);
        r.ctl.setModMatrixText(c.text, 0);
        r.midi(0x90 | c.channel, 60, 100);
        r.ctl.reports.clear();
        r.midi(0xB0 | c.channel, 1, 127);
        c.check(r);
    }
}

// Steps 10, 20, ... 80 on slot 0, looping over the first four while a note
// is held: the note-on restarts the sequence on the beat and the note-off
// lets it run out to the end.
TEST(SynthControllerMatrix, StepLaneFollowsTheNotes) {
    MatrixRig r;
    for (size_t i = 0; i < 8; ++i)
        r.block[VSX::StepBlock::kStepsOffset + i] = static_cast<uint8_t>(10 * (i + 1));
    r.ctl.setAutomSlotParameter(0, AutomSlot::kStepCount, 8);
    r.ctl.setAutomSlotParameter(0, AutomSlot::kLoopMode, 1);
    r.ctl.setAutomSlotParameter(0, AutomSlot::kLoopOut, 3);
    r.ctl.setModMatrixText("SOURCE=STEP0;DESTINATION=Cutoff;AMOUNT=0.001", 0);
    r.ctl.setAutomSlotParameter(0, AutomSlot::kOn, 1.0f);
    ASSERT_EQ(r.queued(0), 1u);

    const uint64_t noteOn = 50000; // off the grid of the free-running voice
    r.runUntil(noteOn);
    r.midi(0x90, 60, 100);
    r.runUntil(noteOn + 57000); // nine and a half steps
    r.midi(0x80, 60, 0);
    r.runUntil(noteOn + 16 * 6000);

    const auto reps = r.reportsOf(kCutoff, noteOn);
    ASSERT_EQ(reps.size(), 1u + 16u);
    EXPECT_EQ(reps[0].at, noteOn); // the restart
    EXPECT_EQ(reps[0].value, 0.0f);
    const float expected[16] = {10, 20, 30, 40, 10, 20, 30, 40, 10, 20, // held
                                30, 50, 60, 70, 80, 80};                // released
    for (size_t k = 0; k < 16; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(reps[1 + k].at, noteOn + k * 6000);
        EXPECT_NEAR(reps[1 + k].value, expected[k], 1e-3f);
    }
}

TEST(SynthControllerMatrix, InitControllerTenTimesWithARealMatrix) {
    MatrixRig r;
    r.ctl.setModMatrixText("SOURCE=CC1;DESTINATION=Volume;AMOUNT=0.25\r\n"
                           "SOURCE=CC1;DESTINATION=L01 AMP\n"
                           "SOURCE=STEP0;DESTINATION=Depth",
                           0);
    r.ctl.setAutomSlotParameter(0, AutomSlot::kOn, 1.0f);
    for (int i = 0; i < 10; ++i) r.setUp();

    EXPECT_EQ(r.queued(VSX::LayerManager::kTimerCookie), 1u);
    EXPECT_EQ(r.queued(0), 6u); // slot 0 of part 0: one timer per voice of Depth
    EXPECT_EQ(r.queue.queue.size(), 7u);
    ASSERT_NE(r.ctl.banks[0].modActions[0], nullptr);
    for (const auto& v : r.ctl.banks[0].modActions[0]->voices) EXPECT_EQ(v->listeners.size(), 1u);
    EXPECT_EQ(r.ctl.banks[0].cc[1]->listeners.size(), 1u + 6u); // Volume and layer 1's slots

    r.ctl.reports.clear();
    r.midi(0xB0, 1, 127);
    const auto volume = r.reportsOf(kVolume);
    ASSERT_EQ(volume.size(), 1u);
    EXPECT_FLOAT_EQ(volume[0].value, 0.75f);
    r.runUntil(r.queue.now + 3 * 6000); // the sequencer still runs, on the rebuilt actions
    EXPECT_FALSE(r.reportsOf(kDepth).empty());
}

// Where one voice event reaches a running sequencer slot, the modulators and
// the layers: the slot's step voice restarts before the note's modulators
// and layers hear of it, and its gate is closed before a layer releases.
TEST(SynthControllerMatrix, SlotsActFirst) {
    // Layer 0's log, with the gate of the watched step voice at each release.
    struct GateAtRelease : rig::LayerLog {
        explicit GateAtRelease(rig::Log& target) : rig::LayerLog(target), out(target) {}
        void onLayerVoiceRelease(uint64_t s, uint64_t l) override {
            if (l == 0 && voice) out.push_back("gate " + std::to_string(voice->gate));
            rig::LayerLog::onLayerVoiceRelease(s, l);
        }
        rig::Log& out;
        VSX::ModActionVoice* voice = nullptr;
    };
    struct Case {
        const char* name;
        uint64_t voices;
        uint8_t monoRetrigger;
        std::vector<uint8_t> before; // keys held first
        uint8_t status, key;
        rig::Log inOrder;
    };
    const Case cases[] = {
        {"note-on", 6, 0, {}, 0x90, 60, {"slots on 0 0", "STEP0", "POLYVEL", "layer start 0 0 60"}},
        {"note-off", 6, 0, {60}, 0x80, 60, {"slots off 0 0", "gate 0", "layer release 0 0"}},
        {"all notes off", 6, 0, {60}, 0xB0, 123, {"slots off 0 0", "gate 0", "layer release 0 0"}},
        {"mono retrigger",
         1,
         1,
         {60},
         0x90,
         64,
         {"slots on 0 0", "STEP0", "POLYVEL", "layer retrig 0 0 64"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MatrixRig r;
        GateAtRelease layers(r.log);
        r.ctl.layerManager.initLayers(&layers, false);
        r.ctl.setVoiceCount(c.voices);
        r.ctl.setMonoRetrigger(c.monoRetrigger);
        r.ctl.setModMatrixText("SOURCE=STEP0;DESTINATION=Depth", 0);
        r.ctl.setAutomSlotParameter(0, AutomSlot::kOn, 1.0f);
        VSX::ModAction* action = r.ctl.banks[0].modActions[0];
        ASSERT_NE(action, nullptr);
        layers.voice = action->getVoice(0);
        for (uint8_t key : c.before) r.midi(0x90, key, 100);
        rig::ModulatorLog watch[] = {{r.log, *action->getVoice(0), "STEP0"},
                                     {r.log, r.ctl.banks[0].polyVelocity[0], "POLYVEL"}};
        r.log.clear();
        r.midi(c.status, c.key, c.status == 0xB0 ? 0 : 100);
        // The expected entries appear in this order (others may come between).
        size_t next = 0;
        for (const std::string& e : r.log)
            if (next < c.inOrder.size() && e == c.inOrder[next]) ++next;
        EXPECT_EQ(next, c.inOrder.size()) << "missing or late: " << c.inOrder[next];
    }
}

// The controller's held-key count decides trigger mode 1: the first held
// note restarts every step voice of the slot, a second one only its gate.
TEST(SynthControllerMatrix, TriggerModesOnOverlappingNotes) {
    // Counts the restarts (values sent as a note start) of one step voice.
    struct Restarts : VSX::ModListener {
        void onModulatorChanged(VSX::Modulator*, bool start) override { count += start; }
        void onModulatorEvent(VSX::Modulator*, int, int) override {}
        int count = 0;
    };
    struct Case {
        int triggerMode;
        int first[2];  // restarts of voices 0 and 1 at the first note
        int second[2]; // and at the second, held over it
    };
    const Case cases[] = {
        {0, {1, 0}, {0, 1}}, // the note's own voice
        {1, {1, 1}, {0, 0}}, // all, only for the first held key
        {2, {1, 1}, {1, 1}}, // all, every time
        {4, {0, 0}, {0, 0}}, // the gate only
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.triggerMode);
        MatrixRig r;
        r.ctl.setModMatrixText("SOURCE=STEP0;DESTINATION=Depth", 0);
        r.ctl.setAutomSlotParameter(0, AutomSlot::kTriggerMode, static_cast<float>(c.triggerMode));
        r.ctl.setAutomSlotParameter(0, AutomSlot::kOn, 1.0f);
        VSX::ModAction* action = r.ctl.banks[0].modActions[0];
        ASSERT_NE(action, nullptr);
        Restarts seen[2];
        for (int v = 0; v < 2; ++v) action->getVoice(v)->addListener(&seen[v]);
        r.midi(0x90, 60, 100);
        EXPECT_EQ(seen[0].count, c.first[0]);
        EXPECT_EQ(seen[1].count, c.first[1]);
        seen[0].count = seen[1].count = 0;
        r.midi(0x90, 64, 100);
        EXPECT_EQ(seen[0].count, c.second[0]);
        EXPECT_EQ(seen[1].count, c.second[1]);
        EXPECT_EQ(action->getVoice(1)->gate, 1);
        for (int v = 0; v < 2; ++v) action->getVoice(v)->removeListener(&seen[v]);
    }
}

// A voice-count change re-arms the timers of every switched-on slot in every
// part: the first n voices of each mod action run, the others wait.
TEST(SynthControllerMatrix, VoiceCountReArmsSlotTimers) {
    MatrixRig r(3);
    r.ctl.stepBlocks.push_back({r.block.data(), 0, 0}); // slot 1 plays the same steps
    r.ctl.setModMatrixText("SOURCE=STEP0;DESTINATION=Depth\nSOURCE=STEP1;DESTINATION=Depth", 0);
    r.ctl.setAutomSlotParameter(0, AutomSlot::kOn, 1.0f); // slot 1 stays off
    for (uint64_t p = 0; p < 10; ++p) ASSERT_EQ(r.queued(p << 8), 6u);
    ASSERT_EQ(r.queued(1), 0u);

    for (uint64_t n : {3u, 1u, 0u, 6u, 7u}) {
        SCOPED_TRACE(n);
        r.ctl.setVoiceCount(n);
        const size_t expected = n > 6 ? 6 : n; // 7 is refused: the last count holds
        for (uint64_t p = 0; p < 10; ++p) {
            EXPECT_EQ(r.queued(p << 8), expected);
            EXPECT_EQ(r.queued((p << 8) | 1), 0u);
        }
    }
    // The slot switched on later starts all its voices.
    r.ctl.setAutomSlotParameter(1, AutomSlot::kOn, 1.0f);
    EXPECT_EQ(r.queued(1), 6u);
}

// The slot setter that also tells the slot listener.
TEST(SynthControllerMatrix, SlotSetterThatNotifies) {
    struct Heard : VSX::AutomSlotListener {
        void onAutomSlotModulated(uint64_t slot, uint16_t field, bool modulated) override {
            log.push_back(std::to_string(slot) + " " + std::to_string(field) + " " +
                          std::to_string(modulated));
        }
        rig::Log log;
    } heard;
    MatrixRig r;
    r.ctl.initController(r.ctl.parameters, &r.layerLog, &heard, 0);
    r.ctl.setAutomSlotParameterAndNotify(2, AutomSlot::kSpeed, 2.0f);
    r.ctl.setAutomSlotParameterAndNotify(2, AutomSlot::kOn, 1.0f);
    r.ctl.setAutomSlotParameterAndNotify(2, AutomSlot::kOn, 0.0f);
    r.ctl.setAutomSlotParameterAndNotify(15, AutomSlot::kOn, 1.0f); // no such slot
    EXPECT_EQ(heard.log, (rig::Log{"2 6 1", "2 0 1", "2 0 0"}));
    EXPECT_EQ(r.ctl.getAutomSlotParameter(2, AutomSlot::kSpeed), 2.0f);
    EXPECT_EQ(r.ctl.getAutomSlotParameter(2, AutomSlot::kOn), 0.0f);
}

} // namespace
