// What the audio thread reaches in the engine host allocates nothing: a
// parameter write with its description (17, 37) and a block of events (42).
// A state load on another thread at the same time never makes a block fail,
// and neither do set-ups at other rates and block lengths: a value written on
// the audio thread meanwhile reads back as written, and the names other
// threads read stay whole. (The ThreadSanitizer build runs these too.)
// Allocations are counted by replacing the global operator new for this test
// program (the bundle and "Brevado" allocate through it too).

#include "support/AllocationCounter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "enginehost/EngineStateChunk.h"
#include "enginehost/HostParameterIds.h"
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

// The host re-runs its set-up (11 with 13, or 33) at changing rates and
// block lengths while its audio thread writes parameters through their
// descriptions (37, 17), reads them back (16) and processes blocks, and a
// UI thread reads the parameter names and descriptions (35, 37). Host id 0
// ("A:OP4 Level") ranges 0..127: a description seen half written would
// clamp it to 0..1.
TEST_F(EngineHostTest, SetUpsWhileTheAudioThreadWritesKeepValuesAndNames) {
    constexpr uint32_t kMapped = 239; // ids 0-238 stand for an engine parameter
    std::vector<std::string> names(kMapped);
    std::vector<char> named(kMapped);
    for (uint32_t id = 0; id < kMapped; ++id) {
        char name[64];
        named[id] = bridge.getParameterName(id, 0, 0, name, sizeof name);
        names[id] = name;
    }
    ASSERT_EQ(names[0], "A:OP4 Level");
    ParameterInfo level;
    ASSERT_TRUE(bridge.getAutomatableParameterInfo(0, level));
    ASSERT_EQ(level.maxValue, 127.0f);

    std::atomic<bool> done{false};
    std::atomic<int> setUps{0};
    std::thread host([&] {
        const int32_t rates[] = {48000, 96000, 44100, 192000, 32000, 88200};
        const int32_t blocks[] = {512, 4096, 256, 1024};
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
        ZefaEngineLatencyInfo latency{};
        for (int i = 0; i < 60 && std::chrono::steady_clock::now() < end; ++i) {
            const int32_t rate = rates[i % 6], block = blocks[i % 4];
            latency.version = kZefaInterfaceVersion;
            EXPECT_TRUE(i % 3 == 2 ? bridge.setSettings(rate, block, 0, 2)
                                   : bridge.resume(rate, block, false, &latency))
                << rate << " Hz, " << block;
            ++setUps;
        }
        done = true;
    });
    std::atomic<int> garbled{0};
    std::thread ui([&] {
        // Names as a generic editor reads them, and whole descriptions as
        // the controller copies them.
        char name[64];
        ParameterInfo copy;
        while (!done)
            for (uint32_t id = 0; id < kMapped; ++id) {
                if (bridge.getParameterName(id, 0, 0, name, sizeof name) != bool(named[id]) ||
                    name != names[id])
                    ++garbled;
                if (named[id] && (!bridge.getAutomatableParameterInfo(id, copy) || !copy.label ||
                                  copy.label != names[id]))
                    ++garbled;
            }
    });

    // The audio thread: automation of a few parameters around each block.
    int writes = 0, wrong = 0;
    std::string firstWrong;
    while (!done || setUps < 2) {
        for (int i = 0; i < 32; ++i, ++writes) {
            const float plain = static_cast<float>(2 + writes % 126);
            EXPECT_TRUE(bridge.setAutomatableParameterValue(0, plain / 127.0f, true));
            const float read = bridge.getAutomatableParameterValue(0, false);
            if (std::fabs(read - plain) > 1e-3f && wrong++ == 0)
                firstWrong = std::to_string(plain) + " read back as " + std::to_string(read);
        }
        Block block;
        block.note(HDMIDIEvent::kNoteOn, 60, 0.5f, 0);
        EXPECT_TRUE(bridge.process(&block.record));
        // The last write outlives the block (and any set-up around it).
        const float last = static_cast<float>(2 + (writes - 1) % 126);
        const float kept = bridge.getAutomatableParameterValue(0, false);
        if (std::fabs(kept - last) > 1e-3f && wrong++ == 0)
            firstWrong = std::to_string(last) + " kept as " + std::to_string(kept);
    }
    host.join();
    ui.join();
    EXPECT_GE(setUps.load(), 2);
    EXPECT_EQ(wrong, 0) << "of " << writes << " writes; first: " << firstWrong;
    EXPECT_EQ(garbled.load(), 0);

    // What was written last is what a save keeps, before and after the
    // block that hands it to the engine.
    ASSERT_TRUE(bridge.setAutomatableParameterValue(0, 63.0f / 127.0f, true));
    const auto savedLevel = [&] {
        const void* chunk = nullptr;
        std::shared_ptr<const void> keep;
        const int32_t size =
            bridge.getChunkSizeAndCache() > 0 ? bridge.getChunk(chunk, keep) : 0;
        morvane::EngineStateChunk state;
        std::string error;
        const auto anyRecord = [](uint32_t, uint64_t) -> size_t { return size_t(1) << 20; };
        EXPECT_TRUE(state.read(static_cast<const uint8_t*>(chunk), size_t(std::max(size, 0)),
                               morvane::kEngineIdCount, anyRecord, error))
            << error;
        for (const auto& p : state.parameters)
            if (p.engineId == 768) return p.value;
        return -1.0f;
    };
    EXPECT_NEAR(savedLevel(), 63.0f, 1e-3f);
    Block block;
    ASSERT_TRUE(bridge.process(&block.record));
    EXPECT_NEAR(bridge.getAutomatableParameterValue(0, false), 63.0f, 1e-3f);
    EXPECT_NEAR(savedLevel(), 63.0f, 1e-3f);
}

} // namespace
