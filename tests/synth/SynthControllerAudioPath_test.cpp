// MIDI through the synth controller allocates nothing, in every voice mode:
// notes, pedals, controllers with registered parameters, bends, pressure,
// programs, MPE member messages, note ids and expression, the layer timer,
// the automation slots' step sequences with their triggers and gates, and
// the instrument's layer-slot pitch queries. Set-up may allocate; it
// happens before counting starts.
#include "support/AllocationCounter.h"

#include <gtest/gtest.h>

#include "synth/ModAction.h"
#include "synth/ModMatrix.h"
#include "synth/SynthStub.h"
#include "synth/support/ControllerRig.h"

SX_COUNTING_OPERATOR_NEW()

using testsupport::g_allocations;
using testsupport::g_counting;

namespace {

TEST(SynthControllerAudioPath, NoAllocationPerMessage) {
    for (uint32_t mode = 1; mode <= 5; ++mode) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        rig::Rig r(mode);
        r.layerLog.enabled = false;
        r.ctl.logging = false;
        r.ctl.useControllerModulator(0, 7);
        for (VSX::LayerRecord& l : r.layers) {
            l.active = 1;
            l.glideAmount = 50.0f;
        }
        r.layers[2].delayStart = 3.0f;
        r.layers[3].slotCount = 1;
        // Two step sequences on a per-voice parameter, one scaled by CC 7.
        r.ctl.parameters.emplace_back("Depth", 0, 0.0f, 127.0f, 0.0f, 0x0F, 0);
        r.ctl.parameters.back().id = 0;
        r.ctl.parameters.back().flags |= vantor::ParameterInfo::kFlagPerVoice;
        std::vector<uint8_t> block(VSX::StepBlock::kSize, 0);
        VSX::resetStepBlock(block.data(), block.size());
        for (size_t i = 0; i < 32; ++i) block[VSX::StepBlock::kStepsOffset + i] = uint8_t(i * 3);
        r.ctl.stepBlocks.assign(2, {block.data(), 0, 0});
        testsupport::FixedSync sync;
        r.ctl.syncProvider = &sync;
        r.ctl.initController(r.ctl.parameters, &r.layerLog, nullptr, 0);
        r.ctl.setVoiceMode(mode);
        r.ctl.setModMatrixText("SOURCE=STEP0;DESTINATION=Depth\n"
                               "SOURCE=STEP1;DESTINATION=Depth;CONTROL=CC7",
                               0);
        for (uint64_t slot = 0; slot < 2; ++slot) {
            r.ctl.setAutomSlotParameter(slot, VSX::AutomSlot::kTriggerMode, float(mode % 4));
            r.ctl.setAutomSlotParameter(slot, VSX::AutomSlot::kLoopMode, float(slot + 1));
            r.ctl.setAutomSlotParameter(slot, VSX::AutomSlot::kOn, 1.0f);
        }
        ASSERT_NE(r.ctl.banks[0].modActions[1], nullptr);

        g_allocations = 0;
        g_counting = true;
        for (int round = 0; round < 8; ++round) {
            const uint8_t key = static_cast<uint8_t>(48 + round);
            for (uint8_t ch = 0; ch < 16; ch += 5) {
                r.midi(0xE0 | ch, 0, static_cast<uint8_t>(0x30 + round));
                r.midi(0xD0 | ch, 40);
                r.midi(0xB0 | ch, 74, 90);
                r.midi(0x90 | ch, key, 100);
                r.midi(0x90 | ch, key + 4, 90);
                r.midi(0xA0 | ch, key, 60);
                r.midi(0xB0 | ch, 64, 127);
                r.midi(0xB0 | ch, 7, 100);
                r.midi(0xC0 | ch, 3);
                r.midi(0x80 | ch, key, 0);
                r.midi(0xB0 | ch, 64, 0);
                r.midi(0x80 | ch, key + 4, 0);
            }
            r.rpn(0, 6, static_cast<uint8_t>(round * 2));
            r.rpn(15, 0, 3);
            r.ctl.noteOnWithId(round, 500 + round, key, 99.5f, 12.0f);
            r.ctl.setVoiceExpression(round, 500 + round, round % 8, 0.25f);
            float hz = 0.0f;
            for (uint64_t layer = 0; layer < 10; ++layer)
                for (uint64_t slot = 0; slot < 6; ++slot) {
                    r.ctl.updateLayerVoicePitch(slot, layer, hz);
                    r.ctl.applyVoiceAmplitude(slot, layer, hz);
                }
            for (uint64_t left = 4000; left > 0;) left -= r.queue.advance(left);
            r.ctl.noteOffPart(round, 500 + round, key);
            r.midi(0xB0, 123, 0);
        }
        g_counting = false;
        EXPECT_EQ(g_allocations.load(), 0);
    }
}

} // namespace
