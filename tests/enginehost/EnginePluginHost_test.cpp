// The engine host's engine side: loading an engine plug-in file (and refusing
// files that are not one), driving the built "Brevado" through every opcode
// and a processed block, and the host callbacks the plug-in may make.
#include "enginehost/EnginePluginInstance.h"
#include "enginehost/EnginePluginLibrary.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace vantor::EnginePluginSDK;
using morvane::EnginePluginInstance;
using morvane::EnginePluginLibrary;

namespace {

const std::string kProductDir = SX_PRODUCT_DIR;

// The file a loaded shared library was read from.
std::string libraryPathOf(void* symbol) {
    Dl_info info{};
    return ::dladdr(symbol, &info) != 0 && info.dli_fname ? info.dli_fname : "";
}

TEST(EnginePluginLibrary, RefusesFilesThatAreNotEnginePlugins) {
    const std::string notElf = ::testing::TempDir() + "not-a-plugin.so";
    std::FILE* f = std::fopen(notElf.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("text\n", f);
    std::fclose(f);
    const struct {
        std::string path;
        const char* error;
    } cases[] = {
        {kProductDir + "/missing.so", "cannot load the engine plug-in"},
        {notElf, "cannot load the engine plug-in"},
        {libraryPathOf(reinterpret_cast<void*>(&::cos)), "does not export getNumZefaPlugins"},
        // A name without a folder is a file in the current folder, never a
        // name for the loader's library search.
        {"libm.so.6", "libm.so.6: no such file"},
        {::testing::TempDir(), "a folder, not a file"},
    };
    for (const auto& c : cases) {
        EnginePluginLibrary library;
        std::string error;
        EXPECT_FALSE(library.open(c.path, error)) << c.path;
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        EXPECT_FALSE(library.isOpen());
        EXPECT_EQ(library.pluginCount(), 0);
        PluginInfo info;
        EXPECT_FALSE(library.readInfo(0, info));
        EXPECT_EQ(library.newInstance("com.Vantor.Emulator.MD", nullptr), nullptr);
    }
    std::remove(notElf.c_str());
}

class Brevado : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(library.open(kProductDir + "/Brevado.so", error)) << error;
    }
    EnginePluginLibrary library;
};

TEST_F(Brevado, DescribesAndCreatesItsPlugin) {
    EXPECT_EQ(library.pluginCount(), 1);
    PluginInfo info;
    ASSERT_TRUE(library.readInfo(0, info));
    EXPECT_STREQ(info.identifier, "com.Vantor.Emulator.MD");
    PluginInfo second;
    EXPECT_FALSE(library.readInfo(1, second));

    EnginePluginInstance instance(library);
    EXPECT_FALSE(instance.create("com.Vantor.Emulator.XX"));
    EXPECT_EQ(instance.record(), nullptr);
    EXPECT_EQ(instance.dispatch(7), 0); // no object: nothing to ask
    ASSERT_TRUE(instance.create(info.identifier));
    EXPECT_EQ(instance.firstInfoWord(), 4u);
    EXPECT_EQ(instance.inputCount(), 0u);
    EXPECT_EQ(instance.outputCount(), 2u);
}

TEST_F(Brevado, DrivesEveryOpcodeAndABlock) {
    EnginePluginInstance instance(library);
    ASSERT_TRUE(instance.create("com.Vantor.Emulator.MD"));
    alignas(8) unsigned char slotA[256] = {}, slotB[256] = {};
    auto map = std::make_unique<EventList>();
    // Before the first activation nothing may reach state only activation makes.
    for (uint32_t op = 0; op <= 30; ++op) {
        if (op == PLUGIN_OP_ACTIVATE || op == PLUGIN_OP_ACTIVATE_RECORD) continue;
        instance.dispatch(op);
        instance.dispatch(op, nullptr, slotB);
    }
    instance.dispatch(PLUGIN_OP_GET_PARAMETER_MAP, map.get());
    EXPECT_EQ(map->count, 1792u);

    instance.setProcessing(48000.0, 128);
    const std::string profiles = kProductDir + "/md_profiles.riff";
    ASSERT_EQ(instance.activate(profiles.c_str(), 0), 1u);
    for (uint32_t op = 1; op <= 30; ++op) {
        if (op == PLUGIN_OP_ACTIVATE_RECORD || op == PLUGIN_OP_GET_PARAMETER_MAP ||
            op == PLUGIN_OP_SET_PROCESSING_INFO || op == PLUGIN_OP_SET_PROCESSING_INFO_2)
            continue;
        // Every opcode gets zeroed slots: what one writes (the latency pair,
        // say) is no record for the next.
        std::memset(slotA, 0, sizeof slotA);
        std::memset(slotB, 0, sizeof slotB);
        instance.dispatch(op, slotA, slotB);
    }

    std::vector<float> left(128, 1.0f), right(128, 1.0f);
    float* outputs[2] = {left.data(), right.data()};
    auto in = std::make_unique<EventList>();
    auto out = std::make_unique<EventList>();
    in->count = 1;
    in->events[0] = {};
    in->events[0].kind = 912;
    in->events[0].id = 60;
    in->events[0].value = 0.8f;
    out->count = 0;
    TimeRecord time = {0.0, 48000.0, 0.0, 0.0, 120.0, 0.0};
    instance.process(outputs, 128, in.get(), out.get(), &time);
    for (int i = 0; i < 128; ++i) {
        ASSERT_TRUE(std::isfinite(left[i]) && std::isfinite(right[i])) << i;
    }
    instance.destroy();
    EXPECT_EQ(instance.record(), nullptr);
}

// ---- The host's answers to the plug-in -----------------------------------------------

intptr_t call(EnginePluginInstance& instance, int32_t opcode, int64_t a, void* b) {
    HostRecord* host = instance.hostRecord();
    return host->callback(host, opcode, a, b);
}

TEST_F(Brevado, AnswersVersionAndTuning) {
    EnginePluginInstance instance(library);
    int32_t version = 0;
    call(instance, HOST_OP_QUERY_VERSION, 0, &version);
    EXPECT_EQ(version, 2123);

    const struct {
        double master;
        int64_t key;
        double expected; // -1: slot left as preset
    } cases[] = {
        {440.0, 69, 440.0}, {440.0, 57, 220.0}, {432.0, 81, 864.0},
        {440.0, -1, -1},    {440.0, 128, -1},
    };
    for (const auto& c : cases) {
        instance.setMasterTuning(c.master);
        double hz = -1;
        call(instance, HOST_OP_NOTE_TUNING, c.key, &hz);
        EXPECT_DOUBLE_EQ(hz, c.expected) << c.master << " " << c.key;
    }
    call(instance, HOST_OP_NOTE_TUNING, 60, nullptr);

    // Opcode 14 serves an 8-byte slot and a 1-byte slot: the host writes neither.
    unsigned char slot[8];
    std::memset(slot, 0x5A, sizeof slot);
    call(instance, HOST_OP_NOTE_TUNING_2, 60, slot);
    for (unsigned char b : slot) EXPECT_EQ(b, 0x5A);
    EXPECT_TRUE(instance.notifications().empty());
}

TEST_F(Brevado, RecordsNotifications) {
    EnginePluginInstance instance(library);
    ExtensionHeader record = {};
    ParameterRange range = {771, 773};
    InfoBlockMessage block = {};
    block.version = 2123;
    block.block[127] = 9;
    int request = 0;
    call(instance, HOST_OP_EXT_CHANGED, 1, &record);
    call(instance, HOST_OP_PARAMS_CHANGED, 0, &range);
    call(instance, HOST_OP_INFO_BLOCK, 33028, &block);
    call(instance, HOST_OP_REQUEST, 48, &request);
    call(instance, HOST_OP_PARAMS_CHANGED, 0, nullptr);
    call(instance, 99, 0, &request); // unknown: ignored

    const auto& seen = instance.notifications();
    ASSERT_EQ(seen.size(), 5u);
    const int32_t opcodes[] = {8, 10, 11, 12, 10};
    const int64_t as[] = {1, 0, 33028, 48, 0};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(seen[i].opcode, opcodes[i]);
        EXPECT_EQ(seen[i].a, as[i]);
    }
    EXPECT_EQ(seen[0].b, &record);
    EXPECT_EQ(seen[3].b, &request);
    ASSERT_EQ(seen[1].payloadSize, sizeof range);
    EXPECT_EQ(std::memcmp(seen[1].payload, &range, sizeof range), 0);
    ASSERT_EQ(seen[2].payloadSize, sizeof block);
    EXPECT_EQ(std::memcmp(seen[2].payload, &block, sizeof block), 0);
    EXPECT_EQ(seen[4].payloadSize, 0u);

    // The record is bounded; later notifications are only counted.
    for (size_t i = 0; i < EnginePluginInstance::kNotificationCapacity; ++i)
        call(instance, HOST_OP_REQUEST, 48, nullptr);
    EXPECT_EQ(seen.size(), EnginePluginInstance::kNotificationCapacity);
    EXPECT_EQ(instance.droppedNotifications(), 5u);
    instance.clearNotifications();
    EXPECT_TRUE(seen.empty());

    EXPECT_EQ(EnginePluginInstance::hostCallback(nullptr, HOST_OP_QUERY_VERSION, 0, &request), 0);
}

} // namespace
