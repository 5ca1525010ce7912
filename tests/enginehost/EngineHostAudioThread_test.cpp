// What the audio thread reaches in the engine host allocates nothing: a
// parameter write with its description (17, 37) and a block of events (42).
// A state load on another thread at the same time never makes a block fail.
// Allocations are counted by replacing the global operator new for this test
// program (the bundle and "Brevado" allocate through it too).

// The replacements below pair malloc with free; the compiler, seeing free
// inlined where a new-expression's memory is released, would warn otherwise.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <thread>

#include "support/EngineHostSupport.h"

namespace {
thread_local bool t_counting = false;
thread_local int t_allocations = 0;
} // namespace

void* operator new(size_t size) {
    if (t_counting) ++t_allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}

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
    const int32_t size = bridge.getChunk(chunk);
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
