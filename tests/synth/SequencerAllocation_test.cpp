// The per-event work of the automation slots allocates nothing: sequencer
// ticks through routes, note-on triggers in every mode, note-off gates,
// slot switches and field changes, and modulated lane fields. Building the
// routes from the matrix text may allocate; it happens first.
#include "support/AllocationCounter.h"

#include <gtest/gtest.h>

#include <vector>

#include "engine-support/QuantumManager.h"
#include "synth/ModAction.h"
#include "synth/ModMatrix.h"
#include "synth/SynthStub.h"

SX_COUNTING_OPERATOR_NEW()

using testsupport::g_allocations;
using testsupport::g_counting;

namespace {

TEST(SequencerAllocation, AudioPathAllocatesNothing) {
    testsupport::SynthStub synth;
    testsupport::ValueLog log;
    testsupport::FixedSync sync;
    vantor::QuantumManager queue;
    testsupport::addParameter(synth, "Depth", -1, 1, vantor::ParameterInfo::kFlagPerVoice);
    testsupport::addParameter(synth, "Cutoff", 0, 1);
    testsupport::buildActions(synth, log);
    for (uint64_t n = 0; n < 15; ++n) synth.automSlots[n].initAutomSlotParams(n, nullptr);
    std::vector<uint8_t> steps(VSX::StepBlock::kSize, 0), curve(VSX::CurveBlock::kSize, 0);
    curve[12] = 1;
    VSX::resetCurveBlock(curve.data(), curve.size());
    synth.stepBlocks = {{steps.data(), 0, 0},
                        {curve.data(), static_cast<uint32_t>(curve.size()), 0}};
    synth.quantumManager = &queue;
    synth.syncProvider = &sync;
    queue.rate = 48000.0;
    synth.setModMatrixText(nullptr, 0);
    for (size_t i = 0; i < 32; ++i) steps[64 + i] = static_cast<uint8_t>(i * 3);
    synth.setModMatrixText("SOURCE=STEP0;DESTINATION=Depth\nSOURCE=STEP1;DESTINATION=Cutoff\n"
                           "SOURCE=CC1;DESTINATION=Step0 Speed\nSOURCE=CC2;DESTINATION=Step1 Ramp",
                           0);
    ASSERT_NE(synth.banks[0].modActions[0], nullptr);
    ASSERT_NE(synth.banks[0].modActions[1], nullptr);

    g_allocations = 0;
    g_counting = true;
    synth.setAutomSlotActive(0, true);
    synth.setAutomSlotActive(1, true);
    for (int mode = 0; mode < 5; ++mode) {
        synth.automSlots[0].setAutomSlotParam(VSX::AutomSlot::kTriggerMode, mode);
        synth.automSlots[1].setAutomSlotParam(VSX::AutomSlot::kTriggerMode, mode);
        synth.automSlots[0].setAutomSlotParam(VSX::AutomSlot::kLoopMode, mode % 3);
        synth.automSlots[1].setAutomSlotParam(VSX::AutomSlot::kLoopMode, mode % 3);
        synth.triggerAutomSlots(0, mode % 6);
        synth.setControllerValue(0, 1, static_cast<uint8_t>(mode * 30));
        synth.setControllerValue(0, 2, static_cast<uint8_t>(mode * 20));
        const uint64_t end = queue.now + 24000;
        for (int guard = 0; queue.now < end && guard < 10000; ++guard)
            queue.advance(end - queue.now);
        synth.releaseAutomSlots(0, mode % 6);
        synth.automSlots[0].setAutomSlotParam(VSX::AutomSlot::kSpeed, 1.0f + mode);
        synth.automSlots[0].setAutomSlotParam(VSX::AutomSlot::kRateDenominator, 8.0f);
        synth.setAutomSlotActive(1, false);
        synth.setAutomSlotActive(1, true);
    }
    g_counting = false;
    EXPECT_EQ(g_allocations, 0);
    EXPECT_GT(log.reports, 100);
}

} // namespace
