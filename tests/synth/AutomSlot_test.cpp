// The automation slots: their parameter records, their field setters and the
// lanes behind them, switching a slot on and off, and what a note-on does to
// the slot's sequencer voices in each trigger mode.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "engine-support/QuantumManager.h"
#include "synth/AutomSlot.h"
#include "synth/ModAction.h"
#include "synth/StepActionVoice.h"
#include "synth/SynthStub.h"

namespace {

using VSX::AutomSlot;

TEST(AutomSlot, RecordsAfterSetUp) {
    AutomSlot slot;
    slot.initAutomSlotParams(3, nullptr);
    struct Case {
        uint16_t k;
        const char* label; // null: an unlabelled placeholder
        float min, max, def;
        uint8_t flags, math;
        uint16_t mod;
    };
    const Case cases[] = {
        {0, nullptr, 0, 1, 0, 0, 0, 0},
        {1, "Step3 Frame", 0, 128, 0, 0x13, 3, 0x401},
        {6, "Step3 Speed", 0.25f, 8, 1, 0x13, 2, 0x401},
        {9, "Step3 LoopIn", 0, 31, 0, 0x03, 3, 0x001},
        {10, "Step3 LoopOut", 0, 31, 31, 0x03, 3, 0x001},
        {11, "Step3 Delay", 0, 255, 0, 0x03, 3, 0x401},
        {13, "Step3 Ramp", 0, 1023, 0, 0x03, 3, 0x401},
        {15, nullptr, 0, 1, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.k);
        const vantor::ParameterInfo& p = slot.params[c.k];
        EXPECT_EQ(p.id, 3 * 16 + c.k);
        EXPECT_EQ(p.layerMask, 0xFFFF);
        if (c.label)
            EXPECT_STREQ(p.label, c.label);
        else
            EXPECT_EQ(p.label, nullptr);
        EXPECT_EQ(p.minValue, c.min);
        EXPECT_EQ(p.maxValue, c.max);
        EXPECT_EQ(p.defaultValue, c.def);
        EXPECT_EQ(p.flags, c.flags);
        EXPECT_EQ(p.mathFlags, c.math);
        EXPECT_EQ(p.modFlags, c.mod);
    }
    // The lanes start from the records' defaults.
    const VSX::AutomSlotZone& lane = slot.lanes[9];
    EXPECT_FLOAT_EQ(lane.stepLength[5], 0.0625f);
    EXPECT_EQ(lane.loopOut, 31u);
    EXPECT_FLOAT_EQ(lane.rampFactor, 1.0f);

    std::vector<vantor::ParameterInfo> offered;
    slot.collectAutomSlotParameters(offered);
    ASSERT_EQ(offered.size(), 6u);
    EXPECT_STREQ(offered[5].label, "Step3 Ramp");
}

TEST(AutomSlot, FieldSetters) {
    struct Case {
        uint16_t k;
        float set;
        float readBack;
    };
    const Case cases[] = {
        {1, 12, 12},
        {2, 2.7f, 2},
        {3, 5, 0},
        {4, 1, 1},
        {5, 8, 8},
        {6, 0.1f, 0.1f},
        {7, 0.4f, 1},
        {7, 2.6f, 3},
        {8, -5, 1},
        {9, 3, 3},
        {10, 6, 6},
        {11, 2, 2},
        {12, 3, 3},
        {13, 4, 4},
        {14, 50, 0.5f},
        {16, 9, 0},
        {5, NAN, 0},
        {2, NAN, 0},
        {5, 1e30f, 4294967296.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.k << " <- " << c.set);
        AutomSlot slot;
        slot.initAutomSlotParams(0, nullptr);
        slot.setAutomSlotParam(c.k, c.set);
        EXPECT_FLOAT_EQ(slot.getAutomSlotParam(c.k), c.readBack);
    }
}

TEST(AutomSlot, LanesFollowTheFields) {
    AutomSlot slot;
    slot.initAutomSlotParams(0, nullptr);
    // Speed is held to its record's range in the lanes.
    slot.setAutomSlotParam(AutomSlot::kSpeed, 0.1f);
    EXPECT_FLOAT_EQ(slot.lanes[2].speed[4], 0.25f);
    EXPECT_FLOAT_EQ(slot.lanes[2].stepLength[4], 0.0625f / 0.25f);
    slot.setAutomSlotParam(AutomSlot::kSpeed, 2.0f);
    slot.setAutomSlotParam(AutomSlot::kRateNumerator, 3);
    slot.setAutomSlotParam(AutomSlot::kRateDenominator, 8);
    EXPECT_FLOAT_EQ(slot.lanes[7].stepLength[0], 3.0f / 8.0f / 2.0f);
    // Eight steps make both loop maxima 7; zero steps keep them.
    slot.setAutomSlotParam(AutomSlot::kStepCount, 8);
    slot.setAutomSlotParam(AutomSlot::kStepCount, 0);
    EXPECT_EQ(slot.getAutomSlotParam(AutomSlot::kStepCount), 0.0f);
    EXPECT_EQ(slot.params[AutomSlot::kLoopIn].maxValue, 7.0f);
    EXPECT_EQ(slot.params[AutomSlot::kLoopOut].maxValue, 7.0f);
    slot.setAutomSlotParam(AutomSlot::kLoopOut, 20);
    EXPECT_EQ(slot.lanes[0].loopOut, 7u);
    slot.setAutomSlotParam(AutomSlot::kRamp, 4);
    EXPECT_FLOAT_EQ(slot.lanes[0].rampFactor, 0.25f);
    slot.setAutomSlotParam(AutomSlot::kDelay, 300);
    EXPECT_EQ(slot.lanes[0].delay, 255);
    // Running the set-up again keeps working lanes.
    slot.initAutomSlotParams(0, nullptr);
    EXPECT_STREQ(slot.params[AutomSlot::kSpeed].label, "Step0 Speed");
    EXPECT_FLOAT_EQ(slot.lanes[0].speed[0], 1.0f);
}

// A part with one slot routed through a per-voice destination, on a queue.
struct Rig {
    // `text` routes step sequence 0 to a per-voice parameter ("Depth") or
    // to a single one ("Level").
    explicit Rig(const char* text = "SOURCE=STEP0;DESTINATION=Depth") {
        testsupport::addParameter(synth, "Depth", 0, 127, vantor::ParameterInfo::kFlagPerVoice);
        testsupport::addParameter(synth, "Level", 0, 127);
        testsupport::buildActions(synth, log);
        for (uint64_t n = 0; n < 15; ++n) synth.automSlots[n].initAutomSlotParams(n, nullptr);
        block.assign(VSX::StepBlock::kSize, 0);
        synth.stepBlocks.push_back({block.data(), 0, 0});
        synth.quantumManager = &queue;
        synth.syncProvider = &sync;
        queue.rate = 48000.0;
        synth.setModMatrixText(nullptr, 0); // gives the block its step layout
        synth.setModMatrixText(text, 0);
        synth.setAutomSlotActive(0, true);
        action = synth.banks[0].modActions[0];
        // Let every voice walk a few steps (6000 samples per step at 120 BPM).
        for (int i = 0; i < 100 && queue.now < 20000; ++i) queue.advance(20000 - queue.now);
    }
    std::vector<uint64_t> dueTimes() {
        std::vector<uint64_t> due(6);
        for (const auto& e : queue.queue)
            due[static_cast<VSX::ModActionVoice*>(e.timer)->index] = e.due;
        return due;
    }

    testsupport::SynthStub synth;
    testsupport::ValueLog log;
    testsupport::FixedSync sync;
    vantor::QuantumManager queue;
    std::vector<uint8_t> block;
    VSX::ModAction* action = nullptr;
};

TEST(AutomSlotTrigger, ModesRestartVoicesAndRetimeTheirTimers) {
    struct Case {
        int32_t mode;
        int32_t heldKeys;
        std::vector<bool> dueNow; // per voice
    };
    const Case cases[] = {
        {0, 1, {false, false, true, false, false, false}},
        {1, 1, {true, true, true, true, true, true}},
        {1, 2, {false, false, false, false, false, false}},
        {2, 3, {true, true, true, true, true, true}},
        {7, 1, {false, false, false, false, false, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " keys " << c.heldKeys);
        Rig r;
        ASSERT_NE(r.action, nullptr);
        ASSERT_EQ(r.queue.queue.size(), 6u);
        EXPECT_EQ(r.queue.queue[0].cookie, 0u);
        for (uint64_t due : r.dueTimes()) ASSERT_GT(due, r.queue.now);
        r.synth.automSlots[0].triggerMode = c.mode;
        r.synth.heldKeys = c.heldKeys;
        const uint64_t position = r.action->getVoice(2)->position;
        r.synth.triggerAutomSlots(0, 2);
        EXPECT_EQ(r.action->getVoice(2)->gate, 1);
        EXPECT_EQ(r.action->getVoice(1)->gate, 0);
        const std::vector<uint64_t> due = r.dueTimes();
        for (size_t v = 0; v < 6; ++v) EXPECT_EQ(due[v] == r.queue.now, c.dueNow[v]) << v;
        if (c.dueNow[2])
            EXPECT_EQ(r.action->getVoice(2)->position, 0u); // restarted
        else
            EXPECT_EQ(r.action->getVoice(2)->position, position);
    }
}

TEST(AutomSlotTrigger, SyncedStartWaitsForTheNextStep) {
    Rig r;
    r.synth.automSlots[0].triggerMode = 3;
    // 1.6 quarter notes into the bar: step 6 of sixteenths, 0.4 of a step
    // (0.05 s at 120 BPM) done; the next step starts 0.6 x 6000 samples away.
    r.sync.barStart = 4.0;
    r.sync.position = 5.6;
    r.synth.triggerAutomSlots(0, 1);
    for (uint64_t due : r.dueTimes()) EXPECT_EQ(due, r.queue.now + 3600);
    EXPECT_EQ(r.action->getVoice(1)->position, 7u); // on step 6, moved past it
    // Before the bar start the voices start at once.
    r.sync.position = 3.0;
    r.synth.triggerAutomSlots(0, 1);
    for (uint64_t due : r.dueTimes()) EXPECT_EQ(due, r.queue.now);
}

TEST(AutomSlotTrigger, SwitchingAndGates) {
    Rig r;
    // Switching to the state a slot already has changes nothing.
    const std::vector<uint64_t> before = r.dueTimes();
    r.synth.setAutomSlotActive(0, true);
    EXPECT_EQ(r.dueTimes(), before);
    r.synth.setAutomSlotActive(0, false);
    EXPECT_TRUE(r.queue.queue.empty());
    EXPECT_EQ(r.synth.automSlots[0].getAutomSlotParam(0), 0.0f);
    r.synth.setAutomSlotActive(0, false);
    r.synth.setAutomSlotActive(0, true);
    EXPECT_EQ(r.queue.queue.size(), 6u);

    // Note-off: a slot with a voice per part voice closes that voice's gate.
    r.synth.triggerAutomSlots(0, 4);
    r.synth.soundingVoices = 3;
    r.synth.releaseAutomSlots(0, 4);
    EXPECT_EQ(r.action->getVoice(4)->gate, 0);

    // A slot with one voice for the part keeps its gate open until the part
    // falls silent.
    Rig mono("SOURCE=STEP0;DESTINATION=Level");
    ASSERT_EQ(mono.action->voiceCount(), 1u);
    mono.synth.triggerAutomSlots(0, 3);
    EXPECT_EQ(mono.action->getVoice(0)->gate, 1);
    mono.synth.soundingVoices = 1;
    mono.synth.releaseAutomSlots(0, 3);
    EXPECT_EQ(mono.action->getVoice(0)->gate, 1);
    mono.synth.soundingVoices = 0;
    mono.synth.releaseAutomSlots(0, 3);
    EXPECT_EQ(mono.action->getVoice(0)->gate, 0);
}

} // namespace
