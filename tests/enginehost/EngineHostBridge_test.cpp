// The VST3 side's engine bridge driving the real engine host bundle and the
// real "Brevado" from the build tree, found through the preferences the
// install step writes: start-up, parameters by VST3 id, blocks of events,
// the state chunk reloaded into a fresh instance, the keyboard export and the
// view.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "support/EngineHostSupport.h"

using namespace vantor;
using namespace enginehosttest;

namespace {

TEST_F(EngineHostTest, StartsFromThePreferencesWithoutAnyAlert) {
    EXPECT_TRUE(alerts().empty()) << alerts().front().text;
    EXPECT_TRUE(bridge.isReady());
    EXPECT_EQ(bridge.getEngineDetails().rfind("Morvane Engine", 0), 0u);
    EXPECT_EQ(bridge.getBaseDirectory(), kProductDir);
    EXPECT_EQ(bridge.getCurrentProduct().productId, 64146u);
    EXPECT_STREQ(bridge.getCurrentProduct().firstName, "sondrix MD");
    EXPECT_EQ(bridge.getEngineInfo().number, 2123u);
    EXPECT_EQ(std::string(bridge.getEngineInfo().text2), kProductDir + "/Brevado.so");
}

TEST_F(EngineHostTest, ParametersAreReadAndWrittenByVst3Id) {
    const struct {
        uint32_t id;
        float written;
        float read; // plain values within 0..1; described ids read within their range
        bool described;
    } cases[] = {
        {0, 0.75f, 0.75f, true},  {100, 0.5f, 0.5f, true}, {190, 0.25f, 0.25f, true},
        {191, 1.0f, 1.0f, true},  {215, 0.5f, 0.5f, true}, {238, 0.125f, 0.125f, true},
        {1, 5.0f, 1.0f, true},    {2, -3.0f, 0.0f, true},  {239, 0.5f, 0.0f, false},
        {299, 1.0f, 0.0f, false},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(bridge.setAutomatableParameterValue(c.id, c.written, false)) << c.id;
        ParameterInfo info;
        EXPECT_EQ(bridge.getAutomatableParameterInfo(c.id, info), c.described) << c.id;
        float read = c.read;
        if (c.described) {
            read = c.written;
            info.pack(read);
        }
        EXPECT_EQ(bridge.getAutomatableParameterValue(c.id, false), read) << c.id;
    }
    EXPECT_FALSE(bridge.setAutomatableParameterValue(300, 0.5f, false));
    char name[16];
    ParameterInfo seventh;
    ASSERT_TRUE(bridge.getAutomatableParameterInfo(7, seventh));
    EXPECT_TRUE(bridge.getParameterName(7, 0, 0, name, sizeof name)); // Brevado's own label
    EXPECT_STREQ(name, seventh.label);
}

TEST_F(EngineHostTest, BlocksOfEventsReachTheEngineInEveryProcessForm) {
    Block block;
    block.note(HDMIDIEvent::kNoteOn, 60, 0.8f, 0);
    block.note(HDMIDIEvent::kNoteOn, 64, 0.0f, 10);
    block.note(HDMIDIEvent::kNoteOff, 60, 0.5f, 200);
    HDMIDIEvent& cc = block.events->events[block.events->count++];
    cc = HDMIDIEvent{};
    cc.status = 0xB0, cc.data1 = 7, cc.data2 = 100, cc.valid = 1, cc.frameOffset = 100;
    ASSERT_TRUE(bridge.process(&block.record));
    // The engine writes every frame (the buffers held 1.0).
    for (float s : block.samples) ASSERT_TRUE(std::isfinite(s) && s != 1.0f) << s;

    block.record.frames = 0; // the events alone
    block.record.outputs = nullptr;
    EXPECT_TRUE(bridge.process(&block.record));
    std::fill(block.samples.begin(), block.samples.end(), 1.0f);
    EXPECT_TRUE(bridge.process(block.channels, block.events.get(), Block::kFrames));
    EXPECT_NE(block.samples[Block::kFrames - 1], 1.0f);
    std::fill(block.samples.begin(), block.samples.end(), 1.0f);
    EXPECT_TRUE(
        bridge.process(nullptr, block.channels, block.events.get(), Block::kFrames, nullptr));
    EXPECT_NE(block.samples[2 * Block::kFrames - 1], 1.0f);
}

TEST_F(EngineHostTest, AMonoHostGetsOneChannelFromTheStereoEngine) {
    ASSERT_TRUE(bridge.setSettings(48000, 128, 0, 1));
    std::vector<float> mono(128, 1.0f);
    float* channels[1] = {mono.data()}; // the engine has two: only one may be written
    Block block;
    block.note(HDMIDIEvent::kNoteOn, 60, 0.5f, 0);
    block.record.outputs = channels;
    block.record.frames = 128;
    ASSERT_TRUE(bridge.process(&block.record));
    for (float s : mono) ASSERT_TRUE(std::isfinite(s) && s != 1.0f); // written over the fill
    block.record.frames = 129; // longer than the block length now set
    EXPECT_FALSE(bridge.process(&block.record));
}

// The same blocks into an engine: the output, every block after the other.
std::vector<float> render(ZEFAWrapper& bridge) {
    std::vector<float> all;
    for (int i = 0; i < 8; ++i) {
        Block block;
        if (i == 0) block.note(HDMIDIEvent::kNoteOn, 57, 0.9f, 3);
        if (i == 6) block.note(HDMIDIEvent::kNoteOff, 57, 0.2f, 40);
        EXPECT_TRUE(bridge.process(&block.record));
        all.insert(all.end(), block.samples.begin(), block.samples.end());
    }
    return all;
}

TEST_F(EngineHostTest, AStateChunkReloadsIntoAFreshInstanceWithTheSameSound) {
    for (uint32_t id = 0; id < 239; id += 7)
        bridge.setAutomatableParameterValue(id, static_cast<float>(id % 10) / 10.0f, false);
    Block settle; // the writes reach the engine with the next block
    ASSERT_TRUE(bridge.process(&settle.record));
    const int32_t size = bridge.getChunkSizeAndCache();
    ASSERT_GT(size, 0);
    const void* chunk = nullptr;
    std::shared_ptr<const void> keep;
    ASSERT_EQ(bridge.getChunk(chunk, keep), size);
    const std::vector<uint8_t> saved(static_cast<const uint8_t*>(chunk),
                                     static_cast<const uint8_t*>(chunk) + size);
    bridge.cacheAutomationParams();

    ZEFAWrapper fresh(ZEFAWrapper::kFormatVST3, kZefaInterfaceVersion, 300);
    ASSERT_TRUE(fresh.init(44100, 1024, &SamplerPluginConfig, false));
    ASSERT_EQ(fresh.setChunk(saved.data(), saved.size()), 0);
    Block freshSettle; // the same history as the first engine's
    ASSERT_TRUE(fresh.process(&freshSettle.record));
    for (uint32_t id = 0; id < 300; ++id)
        EXPECT_EQ(fresh.getCachedParameterValue(id), bridge.getCachedParameterValue(id)) << id;
    EXPECT_EQ(render(fresh), render(bridge));

    // A chunk the fresh engine cannot read changes nothing.
    std::vector<uint8_t> cut(saved.begin(), saved.end() - 3);
    EXPECT_NE(fresh.setChunk(cut.data(), cut.size()), 0);
    EXPECT_EQ(fresh.getCachedParameterValue(7), bridge.getCachedParameterValue(7));
}

// Threads that cache and read the state while another loads it: a reader's
// bytes stay whole until it lets them go, and every save it reads is the one
// state there is.
TEST_F(EngineHostTest, ACachedStateOutlivesLoadsOnOtherThreads) {
    ASSERT_GT(bridge.getChunkSizeAndCache(), 0);
    const void* chunk = nullptr;
    std::shared_ptr<const void> keep;
    const int32_t size = bridge.getChunk(chunk, keep);
    ASSERT_GT(size, 0);
    const std::vector<uint8_t> saved(static_cast<const uint8_t*>(chunk),
                                     static_cast<const uint8_t*>(chunk) + size);
    keep.reset();

    std::atomic<bool> done{false};
    std::thread loader([&] {
        for (int i = 0; i < 200; ++i) EXPECT_EQ(bridge.setChunk(saved.data(), saved.size()), 0);
        done = true;
    });
    std::vector<std::thread> readers;
    std::atomic<int> different{0};
    for (int t = 0; t < 10; ++t)
        readers.emplace_back([&] {
            while (!done) {
                bridge.getChunkSizeAndCache();
                const void* bytes = nullptr;
                std::shared_ptr<const void> held;
                const int32_t n = bridge.getChunk(bytes, held);
                std::this_thread::yield();
                const auto* b = static_cast<const uint8_t*>(bytes);
                if (n != size || !std::equal(b, b + n, saved.begin())) ++different;
            }
        });
    loader.join();
    for (std::thread& t : readers) t.join();
    EXPECT_EQ(different.load(), 0);
}

TEST_F(EngineHostTest, TheKeyboardExportNamesEveryKey) {
    auto exported = std::make_unique<Zefa::ExportKB>();
    ASSERT_TRUE(bridge.getExportKB(*exported));
    const struct {
        int key;
        const char* name;
    } cases[] = {{0, "C-1"}, {60, "C4"}, {61, "C#4"}, {127, "G9"}};
    for (const auto& c : cases) EXPECT_STREQ(exported->keyName[c.key], c.name);
    for (int key = 0; key < 128; ++key) EXPECT_EQ(exported->keyType[key], 0) << key;
}

TEST_F(EngineHostTest, TheViewAnswersWithItsHandleAndSize) {
    int32_t width = 0, height = 0;
    ASSERT_TRUE(bridge.getSize(width, height));
    EXPECT_GT(width, 0);
    EXPECT_GT(height, 0);
    EXPECT_NE(bridge.getViewHandle(), nullptr);
    EXPECT_TRUE(bridge.createView(0x1234, nullptr, true));
    EXPECT_TRUE(bridge.idleView());
    EXPECT_TRUE(bridge.viewfdnotify(5));
    EXPECT_TRUE(bridge.timernotify(2));
    EXPECT_TRUE(bridge.destroyView(0x1234));
    EXPECT_EQ(bridge.getViewHandle(), nullptr);
}

} // namespace
