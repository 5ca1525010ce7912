// The instrument object's frame as the host reaches it through its C record:
// the information words, activation for the host's rate and block, the
// parameter map and descriptions, the output check, and every opcode that may
// arrive before the first activation.
#include "instrument/ChipWrap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

using namespace vantor::EnginePluginSDK;
using acme::ChipWrap;

namespace {

uint32_t word(ChipWrap& w, uint32_t opcode) {
    uint32_t value = 0xEEEEEEEE;
    dispatchEntry(w.getRecord(), opcode, nullptr, &value);
    return value;
}

void setProcessing(ChipWrap& w, double rate, uint32_t block) {
    ProcessingInfo info = {};
    info.sampleRate = rate;
    info.sampleRateInt = static_cast<uint32_t>(rate);
    info.maxBlockFrames = block;
    dispatchEntry(w.getRecord(), PLUGIN_OP_SET_PROCESSING_INFO, &info, nullptr);
}

TEST(ChipWrap, InformationWordsComeFromTheConsoleUnit) {
    ChipWrap w(nullptr, "MD");
    EXPECT_EQ(w.unitCount(), 7u);
    EXPECT_EQ(word(w, 7), 4u);
    EXPECT_EQ(word(w, 3), 0u); // the console unit takes no audio input
    EXPECT_EQ(word(w, 4), 2u); // stereo
    EXPECT_EQ(word(w, 5), 1u);
    EXPECT_EQ(word(w, 6), 1u);
    LatencyRecord latency = {2123, 0xEE, 0xEE, 0xEE};
    uint32_t done = 0;
    dispatchEntry(w.getRecord(), PLUGIN_OP_GET_LATENCY, &latency, &done);
    EXPECT_EQ(done, 1u);
    EXPECT_EQ(latency.word4, 0u);
    EXPECT_EQ(latency.word8, 0u);
}

TEST(ChipWrap, OtherNamesBuildNoUnitsAndReadNone) {
    ChipWrap w(nullptr, "DUMMY");
    EXPECT_EQ(w.unitCount(), 0u);
    EXPECT_EQ(word(w, 3), 0u);
    EXPECT_EQ(word(w, 4), 1u);
    EXPECT_EQ(dispatchEntry(w.getRecord(), PLUGIN_OP_ACTIVATE, nullptr, nullptr), 1);
}

TEST(ChipWrap, ActivationSizesTheUnitsForRateAndBlock) {
    const struct {
        double rate;
        uint32_t block;
        uint32_t samples; // 0: refused
    } cases[] = {
        {48000.0, 256, 102416}, {44100.0, 256, 111472},
        {96000.0, 64, 12816},   {7999.0, 256, 0},
        {400000.0, 256, 0},     {48000.0, 0, 0},
        {48000.0, 4097, 0},     {std::numeric_limits<double>::quiet_NaN(), 256, 0},
    };
    for (const auto& c : cases) {
        ChipWrap w(nullptr, "MD");
        setProcessing(w, c.rate, c.block);
        EXPECT_EQ(w.maxChipSamples(), c.samples) << c.rate << " " << c.block;
        if (c.samples != 0) continue; // activating is tried below for the valid rates
        EXPECT_EQ(dispatchEntry(w.getRecord(), PLUGIN_OP_ACTIVATE, nullptr, nullptr), 0);
        EXPECT_FALSE(w.isActive());
    }
}

TEST(ChipWrap, ActivatesThroughBothOpcodes) {
    ChipWrap plain(nullptr, "MD");
    EXPECT_EQ(dispatchEntry(plain.getRecord(), PLUGIN_OP_ACTIVATE, nullptr, nullptr), 1);
    EXPECT_TRUE(plain.isActive());
    EXPECT_EQ(plain.getVersion(), 0u);

    // The record form hands over the model-profile file and a version.
    const std::string profiles = SX_PRODUCT_DIR "/md_profiles.riff";
    ChipWrap w(nullptr, "MD");
    ActivationRecord record = {};
    record.context = reinterpret_cast<uintptr_t>(profiles.c_str());
    record.version = 2114;
    dispatchEntry(w.getRecord(), PLUGIN_OP_ACTIVATE_RECORD, &record, nullptr);
    EXPECT_EQ(record.result, 1u);
    EXPECT_EQ(w.getVersion(), 2114u);
}

TEST(ChipWrap, ParameterMapAndDescriptionsCoverEveryEngineId) {
    ChipWrap w(nullptr, "MD");
    auto map = std::make_unique<EventList>();
    std::memset(map.get(), 0xEE, sizeof *map);
    dispatchEntry(w.getRecord(), PLUGIN_OP_GET_PARAMETER_MAP, map.get(), nullptr);
    EXPECT_EQ(map->count, 1792u);
    for (uint32_t id = 0; id < 1792; ++id) {
        ASSERT_EQ(map->events[id].kind, 176) << id;
        ASSERT_EQ(map->events[id].id, static_cast<int32_t>(id));
        ASSERT_EQ(map->events[id].frameOffset, 0);
    }
    const auto* rest = reinterpret_cast<const unsigned char*>(&map->events[1792]);
    EXPECT_TRUE(std::all_of(rest, rest + 32 * 256, [](unsigned char b) { return b == 0; }));

    uint32_t count = 0;
    vantor::ParameterInfo* table = nullptr;
    dispatchEntry(w.getRecord(), PLUGIN_OP_GET_PARAMETER_INFO, &table, &count);
    ASSERT_EQ(count, 1792u);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table[0].magic, 2121u);
    EXPECT_EQ(table[1791].magic, 2121u);
    EXPECT_EQ(table[1791].id, 0xFFFF);
}

TEST(ChipWrap, OutputConfigMustMatchTheChannelCount) {
    ChipWrap w(nullptr, "MD");
    const struct {
        bool given;
        uint32_t channels;
        uint32_t ok;
    } cases[] = {{true, 2, 1}, {true, 1, 0}, {true, 4, 0}, {false, 2, 0}};
    for (const auto& c : cases) {
        OutputConfig config = {0, c.channels};
        uint32_t ok = 0xEE;
        dispatchEntry(w.getRecord(), PLUGIN_OP_CHECK_OUTPUTS, c.given ? &config : nullptr, &ok);
        EXPECT_EQ(ok, c.ok) << c.given << " " << c.channels;
    }
    OutputConfig config = {0, 2};
    dispatchEntry(w.getRecord(), PLUGIN_OP_CHECK_OUTPUTS, &config, nullptr);
}

TEST(ChipWrap, EveryOpcodeBeforeActivationIsSafe) {
    ChipWrap w(nullptr, "MD");
    alignas(8) unsigned char slotA[128] = {}, slotB[128] = {};
    auto map = std::make_unique<EventList>();
    for (uint32_t op = 0; op <= 30; ++op) {
        if (op == PLUGIN_OP_ACTIVATE || op == PLUGIN_OP_ACTIVATE_RECORD) continue;
        dispatchEntry(w.getRecord(), op, nullptr, nullptr);
        dispatchEntry(w.getRecord(), op, nullptr, slotB);
    }
    ExtensionCommand command = {};
    int32_t result = 0;
    dispatchEntry(w.getRecord(), PLUGIN_OP_EXTENSION, &command, &result);
    dispatchEntry(w.getRecord(), PLUGIN_OP_GET_PARAMETER_MAP, map.get(), nullptr);
    dispatchEntry(w.getRecord(), PLUGIN_OP_MASTER_SETTING, slotA, nullptr);

    std::vector<float> left(64, 0.5f), right(64, 0.5f);
    float* outputs[2] = {left.data(), right.data()};
    w.getRecord()->process(w.getRecord(), outputs, 48, nullptr, nullptr, nullptr);
    EXPECT_FALSE(w.isActive());
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(left[i], i < 48 ? 0.0f : 0.5f) << i;
        EXPECT_EQ(right[i], i < 48 ? 0.0f : 0.5f) << i;
    }
}

TEST(ChipWrap, ProcessToleratesMissingBuffersAndEmptyBlocks) {
    ChipWrap w(nullptr, "MD");
    ASSERT_EQ(dispatchEntry(w.getRecord(), PLUGIN_OP_ACTIVATE, nullptr, nullptr), 1);
    std::vector<float> left(8, 0.5f);
    float* oneMissing[2] = {left.data(), nullptr};
    PluginRecord* r = w.getRecord();
    r->process(r, nullptr, 8, nullptr, nullptr, nullptr);
    r->process(r, oneMissing, 0, nullptr, nullptr, nullptr);
    r->process(r, oneMissing, -4, nullptr, nullptr, nullptr);
    EXPECT_EQ(left[0], 0.5f);
    r->process(r, oneMissing, 8, nullptr, nullptr, nullptr);
    EXPECT_EQ(left[7], 0.0f);
}

} // namespace
