// What the processor calls on the audio thread (a parameter change with its
// description, one engine block) allocates nothing. Allocations are counted
// by replacing the global operator new for this test program.

#include "support/AllocationCounter.h"

#include <gtest/gtest.h>

#include "support/BridgeTestSupport.h"
#include "vst3/ZEFAWrapper.h"

SX_COUNTING_OPERATOR_NEW()

using testsupport::t_allocations;
using testsupport::t_counting;

using namespace vantor;
using namespace bridgetest;

namespace {

using AudioThread = BridgeTest;

TEST_F(AudioThread, ParameterChangesAndBlocksAllocateNothing) {
    ParameterInfo level("A long parameter label that no small-string buffer holds",
                        ParameterInfo::kList, 0, 3, 0, 0, 0);
    level.setList("first entry|second entry|third entry|fourth entry");
    engine->infos[0] = &level;
    ZEFAWrapper bridge(ZEFAWrapper::kFormatVST3, kZefaInterfaceVersion, 300);
    ASSERT_TRUE(bridge.init(44100, 1024, &SamplerPluginConfig, false));
    static MIDIEvents events{};
    ZefaEngineProcessEx block{};
    block.version = ZefaEngineProcessEx::kVersionEx;
    block.events = &events;
    block.frames = 64;

    t_allocations = 0;
    t_counting = true;
    const bool set = bridge.setAutomatableParameterValue(0, 1.0f, true);
    const bool processed = bridge.process(&block);
    t_counting = false;

    EXPECT_TRUE(set);
    EXPECT_TRUE(processed);
    EXPECT_EQ(bridge.getCachedParameterValue(0), 3.0f);
    EXPECT_EQ(t_allocations, 0);
}

} // namespace
