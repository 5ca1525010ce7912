// What the audio thread reaches in the engine host allocates nothing: a
// parameter write with its description (17, 37) and a block of events (42).
// A state load on another thread at the same time never makes a block fail.
// Allocations are counted by replacing the global operator new for this test
// program (the bundle and "Brevado" allocate through it too).

#include "support/AllocationCounter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "support/EngineHostSupport.h"

SX_COUNTING_OPERATOR_NEW()

using testsupport::t_allocations;
using testsupport::t_counting;

using namespace vantor;
using namespace enginehosttest;

namespace {

TEST_F(EngineHostTest, ParameterWritesAndBlocksAllocateNothing) {
    Block block;
    ASSERT_TRUE(bridge.process(&block.record)); // first block out of the way
    block.note(HDMIDIEvent::kNoteOn, 60, 0.7f, 0);
    block.note(HDMIDIEvent::kNoteOff, 60, 0.1f, 100);

    t_allocations = 0;
    t_counting = true;
    const bool set = bridge.setAutomatableParameterValue(5, 0.5f, true) &&
                     bridge.setAutomatableParameterValue(200, 1.0f, true);
    const bool processed = bridge.process(&block.record);
    t_counting = false;

    EXPECT_TRUE(set);
    EXPECT_TRUE(processed);
    EXPECT_EQ(t_allocations, 0);
}

TEST_F(EngineHostTest, BlocksGoOnWhileAStateLoads) {
    ASSERT_GT(bridge.getChunkSizeAndCache(), 0);
    const void* chunk = nullptr;
    std::shared_ptr<const void> keep;
    const int32_t size = bridge.getChunk(chunk, keep);
    const std::vector<uint8_t> saved(static_cast<const uint8_t*>(chunk),
                                     static_cast<const uint8_t*>(chunk) + size);
    std::atomic<bool> done{false};
    std::thread loader([&] {
        for (int i = 0; i < 20; ++i) EXPECT_EQ(bridge.setChunk(saved.data(), saved.size()), 0);
        done = true;
    });
    int blocks = 0;
    while (!done || blocks < 20) {
        Block block;
        block.note(HDMIDIEvent::kNoteOn, 48 + blocks % 24, 0.5f, 0);
        EXPECT_TRUE(bridge.process(&block.record));
        for (float s : block.samples)
            EXPECT_TRUE(std::isfinite(s) && s != 1.0f); // written over the fill
        ++blocks;
    }
    loader.join();
}

} // namespace
