// The step sequencer voice: a lane played in sample time through the whole
// synth, the loop modes, start delay, ramp-in and swing, and the bounds that
// keep a voice inside its block whatever the slot's settings.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "engine-support/QuantumManager.h"
#include "synth/AutomSlot.h"
#include "synth/ModAction.h"
#include "synth/ModMatrix.h"
#include "synth/StepActionVoice.h"
#include "synth/SynthStub.h"

namespace {

using VSX::AutomSlot;

std::vector<uint8_t> stepBlock() {
    std::vector<uint8_t> b(VSX::StepBlock::kSize, 0);
    b[12] = 1;
    VSX::resetStepBlock(b.data(), b.size());
    return b;
}

// When each value reached the parameter, in samples.
class TimedLog : public VSX::ParameterActionListener {
public:
    explicit TimedLog(vantor::QuantumManager& q) : queue(q) {}
    void onParameterAction(float value, uint64_t, uint16_t, bool modulated) override {
        if (modulated) events.push_back({queue.now, value});
    }
    struct Event {
        uint64_t at;
        float value;
    };
    vantor::QuantumManager& queue;
    std::vector<Event> events;
};

TEST(StepActionVoice, LaneAt120BpmInSampleTime) {
    testsupport::SynthStub synth;
    vantor::QuantumManager queue;
    TimedLog log(queue);
    testsupport::FixedSync sync; // 120 BPM: a sixteenth lasts 125 ms
    synth.parameters.emplace_back("Cutoff", 0, 0.0f, 1000.0f, 0.0f, 0x0F, 0);
    synth.paramActions.resize(1);
    synth.paramActions[0].resize(1);
    synth.paramActions[0][0].init(0, 0, &synth.parameters[0], &log);
    for (uint64_t n = 0; n < 15; ++n) synth.automSlots[n].initAutomSlotParams(n, nullptr);
    std::vector<uint8_t> block = stepBlock();
    for (size_t i = 0; i < 32; ++i) block[VSX::StepBlock::kStepsOffset + i] = i % 2 ? 20 : 10;
    synth.stepBlocks.push_back({block.data(), 0, 0});
    synth.quantumManager = &queue;
    synth.syncProvider = &sync;
    queue.rate = 44100.0;
    synth.automSlots[0].setAutomSlotParam(AutomSlot::kLoopMode, 2);
    // Each step value v reaches the parameter as v x 0.001 x 1000.
    synth.setModMatrixText("SOURCE=STEP0;DESTINATION=Cutoff;AMOUNT=0.001", 0);
    synth.setAutomSlotActive(0, true);

    const uint64_t end = 44100 * 9; // 72 steps: past the 32-step loop twice
    for (int guard = 0; queue.now < end && guard < 10000; ++guard) queue.advance(end - queue.now);
    // Switching the slot on starts the voice at 0; its first step follows at once.
    ASSERT_GE(log.events.size(), 73u);
    EXPECT_EQ(log.events[0].at, 0u);
    EXPECT_EQ(log.events[0].value, 0.0f);
    log.events.erase(log.events.begin());
    for (size_t k = 0; k < 72; ++k) {
        SCOPED_TRACE(k);
        // 125 ms is 5512.5 samples: the carried half sample keeps the grid exact.
        EXPECT_LE(std::fabs(static_cast<double>(log.events[k].at) - k * 5512.5), 0.5);
        EXPECT_NEAR(log.events[k].value, k % 2 ? 20.0f : 10.0f, 1e-3f);
    }
}

// A slot, lane 0 with steps 1..8 and a voice of part 0 on it.
struct Rig {
    explicit Rig(uint64_t part = 0) : block(stepBlock()) {
        slot.initAutomSlotParams(0, nullptr);
        slot.setAutomSlotParam(AutomSlot::kStepCount, 8);
        for (size_t i = 0; i < 8; ++i)
            block[VSX::StepBlock::kStepsOffset + part * 8 + i] = static_cast<uint8_t>(i + 1);
        action = std::make_unique<VSX::ModAction>(&slot, &slot.lanes[part], block.data(),
                                                  block.size(), part, 1, false, &sync, nullptr);
        voice = action->getVoice(0);
    }
    // The values of `count` ticks from a start; the gate opens for the first
    // `heldTicks` of them.
    std::vector<float> play(size_t count, size_t heldTicks = 0) {
        std::vector<float> values;
        voice->gate = heldTicks > 0;
        voice->start();
        for (size_t i = 0; i < count; ++i) {
            voice->onQuantum(48000.0);
            values.push_back(voice->value);
            if (i + 1 == heldTicks) voice->gate = 0;
        }
        return values;
    }

    VSX::AutomSlot slot;
    testsupport::FixedSync sync;
    std::vector<uint8_t> block;
    std::unique_ptr<VSX::ModAction> action;
    VSX::ModActionVoice* voice = nullptr;
};

TEST(StepActionVoice, LoopModesAndDelay) {
    struct Case {
        const char* name;
        int loopMode;
        int delay;
        size_t heldTicks;
        std::vector<float> values;
    };
    const Case cases[] = {
        {"to the end", 0, 0, 0, {1, 2, 3, 4, 5, 6, 7, 8, 8, 8, 8, 8}},
        {"loop while held", 1, 0, 100, {1, 2, 3, 4, 5, 3, 4, 5, 3, 4, 5, 3}},
        {"released", 1, 0, 7, {1, 2, 3, 4, 5, 3, 4, 5, 6, 7, 8, 8}},
        {"loop always", 2, 0, 0, {1, 2, 3, 4, 5, 3, 4, 5, 3, 4, 5, 3}},
        {"hold", 3, 0, 0, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}},
        {"delayed", 0, 2, 0, {1, 1, 1, 2, 3, 4, 5, 6, 7, 8, 8, 8}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig r;
        r.slot.setAutomSlotParam(AutomSlot::kLoopMode, static_cast<float>(c.loopMode));
        r.slot.setAutomSlotParam(AutomSlot::kLoopIn, 2);
        r.slot.setAutomSlotParam(AutomSlot::kLoopOut, 4);
        r.slot.setAutomSlotParam(AutomSlot::kDelay, static_cast<float>(c.delay));
        EXPECT_EQ(r.play(12, c.heldTicks), c.values);
    }
}

TEST(StepActionVoice, RampIn) {
    Rig r;
    for (size_t i = 0; i < 8; ++i) r.block[VSX::StepBlock::kStepsOffset + i] = 10;
    r.slot.setAutomSlotParam(AutomSlot::kRamp, 2); // starts at half, full on the next step
    EXPECT_EQ(r.play(3), (std::vector<float>{5, 10, 10}));
    r.slot.setAutomSlotParam(AutomSlot::kRamp, 4);
    EXPECT_EQ(r.play(5), (std::vector<float>{2.5f, 5, 7.5f, 10, 10}));
}

TEST(StepActionVoice, SwingAndTickLengths) {
    Rig r;
    r.sync.tempo = 150.0; // a sixteenth lasts 0.1 s
    r.slot.setAutomSlotParam(AutomSlot::kSwing, 25);
    r.voice->start();
    std::vector<uint64_t> ticks;
    for (int i = 0; i < 4; ++i) ticks.push_back(r.voice->onQuantum(48000.0));
    EXPECT_EQ(ticks, (std::vector<uint64_t>{6000, 3600, 6000, 3600}));

    // Whatever the numbers, a tick lasts at least one sample.
    struct Case {
        double rate;
        double tempo;
        uint64_t atLeast;
    };
    const Case cases[] = {
        {1.0, 120, 1}, {48000, 1e12, 1}, {48000, 0, 1}, {48000, NAN, 1}, {NAN, 120, 1}};
    for (const Case& c : cases) {
        r.sync.tempo = c.tempo;
        EXPECT_GE(r.voice->onQuantum(c.rate), c.atLeast);
    }
}

TEST(StepActionVoice, StaysInsideItsLaneAndBlock) {
    // Step counts that are 0, not a power of two or too large for ten lanes.
    struct Case {
        float stepCount;
        uint64_t used;
    };
    const Case cases[] = {{0, 1}, {1, 1}, {6, 4}, {32, 32}, {5000, 1024}, {1e9f, 1024}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stepCount);
        Rig r(9);
        r.slot.setAutomSlotParam(AutomSlot::kStepCount, c.stepCount);
        auto* step = static_cast<VSX::StepActionVoice*>(r.voice);
        EXPECT_EQ(step->stepCount(), c.used);
        r.slot.setAutomSlotParam(AutomSlot::kLoopMode, 2);
        r.voice->start();
        for (int i = 0; i < 3000; ++i) {
            r.voice->onQuantum(48000.0);
            ASSERT_GE(r.voice->position, 9 * c.used);
            ASSERT_LT(r.voice->position, 10 * c.used);
        }
    }

    // A block shorter than the step layout plays silence past its end.
    std::vector<uint8_t> shortBlock(40, 0);
    shortBlock[0] = 0x5A;
    shortBlock[1] = 0x57;
    VSX::AutomSlot slot;
    slot.initAutomSlotParams(0, nullptr);
    VSX::ModAction action(&slot, &slot.lanes[0], shortBlock.data(), shortBlock.size(), 0, 1, false,
                          nullptr, nullptr);
    action.getVoice(0)->start();
    EXPECT_GE(action.getVoice(0)->onQuantum(48000.0), 1u);
    EXPECT_EQ(action.getVoice(0)->value, 0.0f);
}

TEST(StepActionVoice, RangeFromTheBlock) {
    Rig r;
    EXPECT_EQ(r.voice->getMin(), 0.0f);
    EXPECT_EQ(r.voice->getMax(), 127.0f);
    r.block[32] = 0x80; // -128
    r.block[33] = 0xFF;
    EXPECT_EQ(r.voice->getMin(), -128.0f);
}

} // namespace
