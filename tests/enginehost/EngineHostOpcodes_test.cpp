// morvaneOpcode refuses what it cannot use: a null, stale or made-up handle,
// an unknown opcode or sub-id, and records or sizes that do not hold. Every
// refusal is a failure status, and the engine goes on working after them.
// A state save's bytes stay the caller's while other threads save. The calls
// go straight to the bundle's entry point; the live engine handle comes from
// a bridge started the usual way.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <condition_variable>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "support/EngineHostSupport.h"

using namespace vantor;
using namespace enginehosttest;

namespace {

class Opcodes : public EngineHostTest {
protected:
    void SetUp() override {
        EngineHostTest::SetUp();
        module = ::dlopen(kExecutable.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(module, nullptr) << ::dlerror();
        opcode = reinterpret_cast<MorvaneOpcodeFn>(::dlsym(module, kMorvaneOpcodeSymbol));
        ASSERT_NE(opcode, nullptr);
        engine = bridge.getEngineHandle();
        ASSERT_NE(engine, nullptr);
    }
    void TearDown() override {
        if (module) ::dlclose(module);
        EngineHostTest::TearDown();
    }
    int32_t call(void* handle, int32_t op, void* p1 = nullptr, void* p2 = nullptr,
                 void* p3 = nullptr, int32_t value = 0, float f = 0.0f, int64_t l1 = 0,
                 int64_t l2 = 0) {
        return opcode(handle, op, p1, p2, p3, value, f, l1, l2);
    }

    void* module = nullptr;
    MorvaneOpcodeFn opcode = nullptr;
    void* engine = nullptr;
};

int32_t noCallback(int32_t, void*, void*, int32_t, int32_t, int32_t, float, void*) {
    return 0;
}

TEST_F(Opcodes, HandlesOpcodesAndRecordsThatDoNotHoldAreRefused) {
    int notAnEngine = 0;
    float value = 0.0f;
    char details[128];
    ZefaCreateRecord badCreate{};
    badCreate.formatAndVersion = 2123 << 16 | 64146;
    void* created = nullptr;
    Block block;
    ZefaEngineProcessEx plain = block.record;
    plain.version = ZefaEngineProcessEx::kVersionPlain;
    ZefaEngineLatencyInfo latency{};
    ZefaEngineSettings settings{1, 0, 2, 2, 1, 0, 44100, 512};
    ZefaCurrentProduct product{};
    const ParameterInfo* info = nullptr;
    const char garbage[] = "not a state chunk at all";
    const float nan = std::numeric_limits<float>::quiet_NaN();

    const struct {
        const char* what;
        std::function<int32_t()> send;
    } cases[] = {
        {"no handle", [&] { return call(nullptr, kOpGetParameter, &value); }},
        {"a made-up handle", [&] { return call(&notAnEngine, kOpGetParameter, &value); }},
        {"an unknown opcode", [&] { return call(engine, 99); }},
        {"opcode 41", [&] { return call(engine, 41); }},
        {"an unknown sub-id",
         [&] { return call(engine, kOpEngineCommand, &product, 0, 0, 0x10002); }},
        {"details with a handle", [&] { return call(engine, kOpGetDetails, details, 0, 0, 1); }},
        {"details without a text", [&] { return call(nullptr, kOpGetDetails, 0, 0, 0, 1); }},
        {"details of another size", [&] { return call(nullptr, kOpGetDetails, details, 0, 0, 2); }},
        {"a create record without its fixed word",
         [&] { return call(nullptr, kOpCreateEngine, &badCreate, &created); }},
        {"a create record without a handle slot",
         [&] { return call(nullptr, kOpCreateEngine, &badCreate, nullptr); }},
        {"a view ticket for no engine",
         [&] { return call(nullptr, kOpCreateViewTicket, 0, &created, &notAnEngine); }},
        {"a view opcode on the engine handle",
         [&] { return call(engine, kOpGetViewSize, &value, &value); }},
        {"attaching something that is no view",
         [&] { return call(engine, kOpAddView, &notAnEngine); }},
        {"no block record", [&] { return call(engine, kOpProcess); }},
        {"a plain record for 42", [&] { return call(engine, kOpProcess, &plain); }},
        {"an extended record for 31", [&] { return call(engine, kOpProcessPlain, &block.record); }},
        {"negative frames",
         [&] {
             auto r = block.record;
             r.frames = -1;
             return call(engine, kOpProcess, &r);
         }},
        {"more frames than the block",
         [&] {
             auto r = block.record;
             r.frames = 1025;
             return call(engine, kOpProcess, &r);
         }},
        {"frames without outputs",
         [&] {
             auto r = block.record;
             r.outputs = nullptr;
             return call(engine, kOpProcess, &r);
         }},
        {"a list longer than its room",
         [&] {
             block.events->count = 2049;
             int32_t s = call(engine, kOpProcess, &block.record);
             block.events->count = 0;
             return s;
         }},
        {"a list without its word 1",
         [&] {
             block.events->word1 = 0;
             int32_t s = call(engine, kOpProcess, &block.record);
             block.events->word1 = 1;
             return s;
         }},
        {"a parameter id past the end",
         [&] { return call(engine, kOpGetParameter, &value, 0, 0, 300); }},
        {"a negative parameter id",
         [&] { return call(engine, kOpGetParameter, &value, 0, 0, -1); }},
        {"a parameter read without a slot", [&] { return call(engine, kOpGetParameter); }},
        {"a parameter with further ids",
         [&] { return call(engine, kOpGetParameter, &value, 0, 0, 3, 0, 5); }},
        {"a parameter write past the end",
         [&] { return call(engine, kOpSetParameter, 0, 0, 0, 300, 0.5f); }},
        {"a parameter write of NaN",
         [&] { return call(engine, kOpSetParameter, 0, 0, 0, 3, nan); }},
        {"a description for no engine parameter",
         [&] { return call(engine, kOpGetParameterInfo, &info, 0, 0, 239); }},
        {"a chunk without bytes", [&] { return call(engine, kOpSetChunk, nullptr, 0, 0, 10); }},
        {"a chunk of no length",
         [&] { return call(engine, kOpSetChunk, (void*)garbage, 0, 0, 0); }},
        {"a chunk that is no state",
         [&] { return call(engine, kOpSetChunk, (void*)garbage, 0, 0, sizeof garbage); }},
        {"a chunk read without slots", [&] { return call(engine, kOpGetChunk); }},
        {"a rate of 0", [&] { return call(engine, kOpSetRateAndBlock, 0, 0, 0, 0, 0.0f, 512); }},
        {"a block of 5000",
         [&] { return call(engine, kOpSetRateAndBlock, 0, 0, 0, 44100, 0.0f, 5000); }},
        {"settings of another version",
         [&] {
             auto s = settings;
             s.version = 0;
             return call(engine, kOpSetSettings, &s);
         }},
        {"settings without outputs",
         [&] {
             auto s = settings;
             s.outputChannels = 0;
             return call(engine, kOpSetSettings, &s);
         }},
        {"settings at 1000 Hz",
         [&] {
             auto s = settings;
             s.sampleRate = 1000;
             return call(engine, kOpSetSettings, &s);
         }},
        {"a latency record of another version",
         [&] { return call(engine, kOpGetLatencyInfo, &latency); }},
        {"resume without a latency record", [&] { return call(engine, kOpResume); }},
        {"random-off with another key", [&] { return call(engine, kOpSetRandomOff, 0, 0, 0, 7); }},
        {"removing a callback never added",
         [&] { return call(engine, kOpRemoveHostCallback, (void*)&noCallback, &notAnEngine); }},
        {"a callback for 32 without value 10",
         [&] { return call(engine, kOpSetHostCallback, (void*)&noCallback, 0, 0, 3); }},
        {"a product record of another version",
         [&] {
             return call(engine, kOpEngineCommand, &product, 0, 0, ENGINE_GET_CURRENT_PRODUCT);
         }},
        {"a file import into slot 3",
         [&] { return call(engine, kOpImportFile, (void*)"x.vgm", 0, 0, 3); }},
    };
    for (const auto& c : cases) EXPECT_NE(c.send(), 0) << c.what;
    EXPECT_EQ(created, nullptr);

    // Still working.
    EXPECT_EQ(call(engine, kOpGetParameter, &value, 0, 0, 3), 0);
    EXPECT_EQ(call(engine, kOpProcess, &block.record), 0);
    settings.version = 1;
    EXPECT_EQ(call(engine, kOpSetSettings, &settings), 0);
}

TEST_F(Opcodes, AnEndedEngineHandleIsRefused) {
    ZEFAWrapper second(ZEFAWrapper::kFormatVST3, kZefaInterfaceVersion, 300);
    ASSERT_TRUE(second.init(44100, 1024, &SamplerPluginConfig, false));
    void* ended = second.getEngineHandle();
    second.destroyEngine();
    float value = 0.0f;
    EXPECT_NE(call(ended, kOpGetParameter, &value, 0, 0, 3), 0);
    EXPECT_EQ(call(engine, kOpGetParameter, &value, 0, 0, 3), 0) << "the other engine lives on";
}

// A caller copies the bytes of a save after the call: another thread's save
// in the meantime must neither free nor change them.
TEST_F(Opcodes, OverlappingStateSavesKeepEachCallersBytes) {
    using Bytes = std::vector<uint8_t>;
    const auto save = [&](Bytes* copy, const void** kept = nullptr) {
        const void* chunk = nullptr;
        int32_t size = 0;
        EXPECT_EQ(call(engine, kOpGetChunk, &chunk, &size), 0);
        ASSERT_TRUE(chunk && size > 0);
        const auto* bytes = static_cast<const uint8_t*>(chunk);
        copy->assign(bytes, bytes + size);
        if (kept) *kept = chunk;
    };

    // One save held open while another thread saves a changed state.
    ASSERT_EQ(call(engine, kOpSetParameter, nullptr, nullptr, nullptr, 5, 0.25f), 0);
    Bytes first, second;
    const void* held = nullptr;
    save(&first, &held);
    ASSERT_EQ(call(engine, kOpSetParameter, nullptr, nullptr, nullptr, 5, 0.75f), 0);
    std::thread([&] { save(&second); }).join();
    ASSERT_NE(first, second) << "the two saves should differ";
    EXPECT_EQ(Bytes(static_cast<const uint8_t*>(held),
                    static_cast<const uint8_t*>(held) + first.size()),
              first);

    // Saves on several threads at once, each copying its bytes as a host does.
    std::vector<std::thread> savers;
    for (int t = 0; t < 4; ++t)
        savers.emplace_back([&] {
            Bytes copy;
            for (int i = 0; i < 50; ++i) {
                save(&copy);
                EXPECT_EQ(copy, second);
            }
        });
    for (std::thread& t : savers) t.join();
}

// More threads than a host usually has save in turn, each with the state
// changed before its save, and all copy their bytes only after the last save:
// every one still reads what it was handed.
TEST_F(Opcodes, EveryThreadKeepsItsSavedBytesWhileManyOthersSave) {
    using Bytes = std::vector<uint8_t>;
    constexpr int kThreads = 12;
    std::mutex lock;
    std::condition_variable turnChanged;
    int turn = 0;
    Bytes atSave[kThreads], atEnd[kThreads];
    std::vector<std::thread> savers;
    for (int t = 0; t < kThreads; ++t)
        savers.emplace_back([&, t] {
            std::unique_lock<std::mutex> hold(lock);
            turnChanged.wait(hold, [&] { return turn == t; });
            const void* chunk = nullptr;
            int32_t size = 0;
            // Parameter 0 at a value of its own for each thread.
            EXPECT_EQ(call(engine, kOpSetParameter, nullptr, nullptr, nullptr, 0, float(t) / 16),
                      0);
            EXPECT_EQ(call(engine, kOpGetChunk, &chunk, &size), 0);
            const auto* bytes = static_cast<const uint8_t*>(chunk);
            if (bytes && size > 0) atSave[t].assign(bytes, bytes + size);
            ++turn;
            turnChanged.notify_all();
            turnChanged.wait(hold, [&] { return turn == kThreads; });
            if (bytes && size > 0) atEnd[t].assign(bytes, bytes + size);
        });
    for (std::thread& t : savers) t.join();
    for (int t = 0; t < kThreads; ++t) {
        ASSERT_FALSE(atSave[t].empty()) << t;
        if (t > 0) EXPECT_NE(atSave[t], atSave[t - 1]) << "thread " << t << " saved the same state";
        EXPECT_EQ(atEnd[t], atSave[t]) << "thread " << t;
    }
}

} // namespace
