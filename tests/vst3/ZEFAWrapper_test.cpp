// The engine bridge's start-up and teardown against the fake engine host: the
// order of the start-up opcodes and what they carry, each failing step with
// its message, the once-per-process log, and what teardown sends and unloads.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <memory>

#include "support/BridgeTestSupport.h"
#include "support/HexFixture.h"
#include "vst3/ZEFAWrapper.h"
#include "vst3/ZEFAWrapperHolder.h"

using namespace vantor;
using namespace bridgetest;

namespace {

int32_t acceptAll(int32_t, void*, void*, int32_t, int32_t, int32_t, float, void*) {
    return 0;
}

std::unique_ptr<ZEFAWrapper> makeBridge(uint16_t format = ZEFAWrapper::kFormatVST3) {
    auto bridge = std::make_unique<ZEFAWrapper>(format, kZefaInterfaceVersion, 300);
    bridge->setInitialHostCallback(acceptAll, bridge.get(), 112);
    return bridge;
}

using StartUp = BridgeTest;

TEST_F(StartUp, SendsTheStartOpcodesInOrderWithTheirRecords) {
    auto bridge = makeBridge();
    ASSERT_TRUE(bridge->init(44100, 1024, &SamplerPluginConfig, false));
    EXPECT_TRUE(bridge->isReady());
    EXPECT_EQ(
        engine.opcodes(),
        (std::vector<int32_t>{kOpGetDetails, kOpCreateEngine, kOpEngineCommand, ENGINE_GET_INFO,
                              kOpEngineCommand, ENGINE_ADD_HOST_CALLBACK, kOpEngineCommand,
                              ENGINE_GET_CURRENT_PRODUCT, kOpSetRateAndBlock}));
    EXPECT_TRUE(alerts().empty());

    const fakeengine::Call& details = engine.call(0);
    EXPECT_EQ(details.handle, nullptr);
    EXPECT_EQ(details.value, 1);
    EXPECT_EQ(bridge->getEngineDetails(), "Fake Morvane 1.0");

    // Words 3 and 4 of the product record, then (2123 << 16) | 64146.
    const fakeengine::Call& create = engine.call(1);
    EXPECT_EQ(create.handle, nullptr);
    EXPECT_NE(create.p2, nullptr);
    testsupport::expectBytesMatchFixture(create.record, 48,
                                         "00 00 00 00 00 00 00 00  02 00 00 00 00 00 00 00 "
                                         "92 FA 4B 08 00 00 00 00  .. .. .. .. .. .. .. .. "
                                         "55 AA 43 08 00 00 00 00  .. .. .. .. .. .. .. ..");
    EXPECT_STREQ(create.text, baseDir.c_str());
    EXPECT_EQ(bridge->getDataDirectory(), "");

    const fakeengine::Call* callback = engine.find(kOpEngineCommand, ENGINE_ADD_HOST_CALLBACK);
    ASSERT_NE(callback, nullptr);
    testsupport::expectBytesMatchFixture(callback->record, 32,
                                         "01 00 00 00 .. .. .. ..  .. .. .. .. .. .. .. .. "
                                         ".. .. .. .. .. .. .. ..  70 00 00 00 00 00 00 00");
    EXPECT_EQ(engine->callback.function, &acceptAll);
    EXPECT_EQ(engine->callback.userData, bridge.get());

    for (int32_t i = 2; i < engine.callCount(); ++i)
        EXPECT_EQ(engine.call(i).handle, engine.engineHandle()) << "call " << i;
    const fakeengine::Call& rate = engine.call(engine.callCount() - 1);
    EXPECT_EQ(rate.value, 44100);
    EXPECT_EQ(rate.l1, 1024);
    EXPECT_EQ(bridge->getCurrentProduct().productId, 42u);
}

TEST_F(StartUp, LogsWhatTheEngineReports) {
    LogTail log;
    auto bridge = makeBridge();
    ASSERT_TRUE(bridge->init(44100, 1024, &SamplerPluginConfig, false));
    EXPECT_TRUE(log.has("queried details: Fake Morvane 1.0\n")) << log.text();
    EXPECT_TRUE(log.has("7,alpha,beta\n")) << log.text();
    EXPECT_TRUE(log.has("ProductId:42(second - first) slots:16, url:https://example.invalid/\n"))
        << log.text();
}

TEST_F(StartUp, WithoutACallbackRecordRegistersItsOwnHandler) {
    ZEFAWrapper bridge(ZEFAWrapper::kFormatVST3, kZefaInterfaceVersion, 300);
    ASSERT_TRUE(bridge.init(44100, 1024, &SamplerPluginConfig, false));
    EXPECT_EQ(engine.find(kOpEngineCommand, ENGINE_ADD_HOST_CALLBACK), nullptr);
    const fakeengine::Call* call = engine.find(kOpSetHostCallback);
    ASSERT_NE(call, nullptr);
    EXPECT_EQ(call->p1, reinterpret_cast<void*>(&ZEFAWrapper::ZEFA_HostOpcode));
    EXPECT_EQ(call->p2, &bridge);
    EXPECT_EQ(call->value, 10);
}

TEST_F(StartUp, CreateRecordWordsAndVersionWord) {
    struct Case {
        bool alternate;
        uint16_t format, version;
        uint64_t word0, word1;
        int64_t formatAndVersion;
    };
    const Case cases[] = {
        {false, 64146, 2123, 0, 2, 0x084BFA92},
        {true, 64146, 2123, 0x20, 0, 0x084BFA92},
        // Computed in 32 bits, then sign-extended.
        {false, 64151, 0x8001, 0, 2, int64_t(int32_t(0x8001FA97))},
    };
    for (const Case& c : cases) {
        engine.reset();
        ZEFAWrapper bridge(c.format, c.version, 300);
        ASSERT_TRUE(bridge.init(44100, 1024, &SamplerPluginConfig, c.alternate));
        const auto* record = reinterpret_cast<const ZefaCreateRecord*>(engine.call(1).record);
        EXPECT_EQ(record->word0, c.word0) << c.alternate;
        EXPECT_EQ(record->word1, c.word1) << c.alternate;
        EXPECT_EQ(record->formatAndVersion, c.formatAndVersion) << c.version;
    }
}

TEST_F(StartUp, MissingDataFolderAlertsAndContinues) {
    clearBaseDir();
    auto bridge = makeBridge();
    EXPECT_TRUE(bridge->init(44100, 1024, &SamplerPluginConfig, false));
    ASSERT_EQ(alerts().size(), 1u);
    EXPECT_EQ(alerts()[0].title, "Vantor sondrix MD");
    EXPECT_EQ(alerts()[0].text, "Cannot find data installation, please re-install");
    EXPECT_STREQ(engine.call(1).text, "");
}

TEST_F(StartUp, EachFailingStepEndsStartUpWithItsMessage) {
    struct Case {
        const char* name;
        const char* enginePath; // null: no preference
        int32_t failOpcode, failSubId;
        std::string message;
        std::vector<std::string> logLines;
        int32_t lastOpcode; // the last opcode received before teardown; 0 none
    };
    const std::string missing = testhome::root() + "/nowhere/Morvane Engine.bundle";
    const Case cases[] = {
        {"no path",
         nullptr,
         -1,
         0,
         "Empty engine path from CFPreferences?!?!?!",
         {":Morvane Engine\n"},
         0},
        {"empty path", "", -1, 0, "Empty engine path from CFPreferences?!?!?!", {}, 0},
        {"no bundle", missing.c_str(), -1, 0, "Can't load engine bundle from : " + missing, {}, 0},
        {"no entry",
         kBrokenBundle.c_str(),
         -1,
         0,
         "CFBundleGetFunctionPointerForName failed for morvaneOpcode",
         {},
         0},
        {"details", kBundle.c_str(), kOpGetDetails, 0, "", {"engine error:7\n"}, kOpGetDetails},
        {"create", kBundle.c_str(), kOpCreateEngine, 0, "", {"engine error:7\n"}, kOpCreateEngine},
        {"callback",
         kBundle.c_str(),
         kOpEngineCommand,
         ENGINE_ADD_HOST_CALLBACK,
         "",
         {"engine error:7\n"},
         kOpEngineCommand},
        {"product",
         kBundle.c_str(),
         kOpEngineCommand,
         ENGINE_GET_CURRENT_PRODUCT,
         "",
         {"engine error:7\n", "ENGINE_GET_CURRENT_PRODUCT engine error:7\n"},
         kOpEngineCommand},
        {"rate",
         kBundle.c_str(),
         kOpSetRateAndBlock,
         0,
         "",
         {"engine error:7\n"},
         kOpSetRateAndBlock},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        engine.reset();
        alerts().clear();
        if (c.enginePath)
            setEnginePath(c.enginePath);
        else
            clearEnginePath();
        engine.fail(c.failOpcode, c.failSubId);
        LogTail log;

        auto bridge = makeBridge();
        EXPECT_FALSE(bridge->init(44100, 1024, &SamplerPluginConfig, false));
        EXPECT_FALSE(bridge->isReady());
        ASSERT_FALSE(alerts().empty());
        EXPECT_EQ(alerts().back().title, "Vantor sondrix MD");
        EXPECT_EQ(alerts().back().text, c.message);
        EXPECT_TRUE(log.has("init_internal*" + c.message + "*\n")) << log.text();
        for (const std::string& line : c.logLines) EXPECT_TRUE(log.has(line)) << log.text();
        if (!c.enginePath) {
            ASSERT_EQ(alerts().size(), 2u);
            EXPECT_EQ(alerts()[0].title, "Morvane Engine");
            EXPECT_EQ(alerts()[0].text,
                      "Can't find Morvane Engine install directory, please reinstall product");
        }
        if (c.lastOpcode == 0)
            EXPECT_EQ(engine.callCount(), 0);
        else
            EXPECT_EQ(engine.call(engine.callCount() - 1).opcode, c.lastOpcode);
    }
}

TEST_F(StartUp, FailingEngineInformationIsOnlyLogged) {
    engine.fail(kOpEngineCommand, ENGINE_GET_INFO);
    LogTail log;
    auto bridge = makeBridge();
    EXPECT_TRUE(bridge->init(44100, 1024, &SamplerPluginConfig, false));
    EXPECT_TRUE(log.has("engine error:7\n"));
    EXPECT_TRUE(alerts().empty());
}

TEST_F(StartUp, EngineTextsWithoutEndAreReadWithinTheirFields) {
    std::memset(engine->details, 'x', sizeof engine->details);
    std::memset(engine->product.firstName, 'f', sizeof engine->product.firstName);
    std::memset(engine->product.secondName, 's', sizeof engine->product.secondName);
    std::memset(engine->product.address, 'u', sizeof engine->product.address);
    std::memset(engine->info.text, 'a', sizeof engine->info.text);
    std::memset(engine->info.text2, 'b', sizeof engine->info.text2);
    LogTail log;
    auto bridge = makeBridge();
    ASSERT_TRUE(bridge->init(44100, 1024, &SamplerPluginConfig, false));
    EXPECT_EQ(bridge->getEngineDetails(), std::string(128, 'x'));
    EXPECT_TRUE(log.has("queried details: " + std::string(128, 'x') + "\n"));
    EXPECT_TRUE(log.has("7," + std::string(96, 'a') + "," + std::string(896, 'b') + "\n"));
    EXPECT_TRUE(log.has("ProductId:42(" + std::string(64, 's') + " - " + std::string(64, 'f') +
                        ") slots:16, url:" + std::string(512, 'u') + "\n"));
}

TEST_F(StartUp, SuccessWithoutEngineHandleFails) {
    engine->noEngineHandle = true;
    auto bridge = makeBridge();
    EXPECT_FALSE(bridge->init(44100, 1024, &SamplerPluginConfig, false));
    EXPECT_EQ(engine.call(engine.callCount() - 1).opcode, kOpCreateEngine);
    EXPECT_EQ(bridge->getEngineHandle(), nullptr);
}

TEST_F(StartUp, SecondInstanceWritesToTheSameLog) {
    auto first = makeBridge();
    auto second = makeBridge();
    ASSERT_TRUE(first->init(44100, 1024, &SamplerPluginConfig, false));
    ASSERT_TRUE(second->init(44100, 1024, &SamplerPluginConfig, false));
    int logs = 0;
    if (DIR* dir = ::opendir(logFolder().c_str())) {
        while (dirent* e = ::readdir(dir)) {
            const std::string name = e->d_name;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".log") == 0) ++logs;
        }
        ::closedir(dir);
    }
    EXPECT_EQ(logs, 1);
    EXPECT_EQ(logFile().rfind(logFolder() + "/sondrix MD_VST3_", 0), 0u) << logFile();
}

// Engine calls on a bridge whose start failed after the entry point was found
// but before an engine existed reach nothing.
TEST_F(StartUp, BridgeWithoutEngineCallsNothing) {
    engine.fail(kOpCreateEngine);
    auto bridge = makeBridge();
    ASSERT_FALSE(bridge->init(44100, 1024, &SamplerPluginConfig, false));
    engine.clearCalls();

    float value = 1.0f;
    const void* chunk = nullptr;
    std::shared_ptr<const void> keep;
    char name[16];
    int32_t w = 0, h = 0, count = 0;
    ZefaEngineLatencyInfo latency{kZefaInterfaceVersion, 0, 0};
    EXPECT_FALSE(bridge->setAutomatableParameterValue(0, 0.5f, true));
    EXPECT_EQ(bridge->getAutomatableParameterValue(0, true), 0.0f);
    EXPECT_FALSE(bridge->getParameter(0, 0, 0, value));
    EXPECT_EQ(bridge->getChunk(chunk, keep), 0);
    EXPECT_EQ(bridge->getChunkSizeAndCache(), 0);
    EXPECT_NE(bridge->setChunk("x", 1), 0);
    EXPECT_FALSE(bridge->getParameterName(7, 0, 0, name, sizeof name));
    EXPECT_STREQ(name, "p007");
    EXPECT_FALSE(bridge->resume(44100, 1024, false, &latency));
    EXPECT_FALSE(bridge->getLatencyInfo(latency));
    EXPECT_FALSE(bridge->createView(1, nullptr, true));
    EXPECT_FALSE(bridge->getSize(w, h));
    EXPECT_FALSE(bridge->process(nullptr));
    EXPECT_FALSE(bridge->addHostCallback(acceptAll, nullptr, 240));
    EXPECT_NE(bridge->removeHostCallback(acceptAll, nullptr), 0);
    EXPECT_EQ(bridge->getBanks(count), nullptr);
    bridge.reset();
    EXPECT_EQ(engine.callCount(), 0);
}

using Teardown = BridgeTest;

TEST_F(Teardown, EndsTheEngineAndUnloadsOnlyForTheTestFormat) {
    struct Case {
        uint16_t format;
        bool stillLoaded;
    };
    const Case cases[] = {{ZEFAWrapper::kFormatVST3, true}, {ZEFAWrapper::kFormatPTEST, false}};
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        const std::string folder = testhome::root() + "/teardown" + std::to_string(++n);
        ::mkdir(folder.c_str(), 0755);
        const std::string bundle = copyBundle(folder);
        const std::string so = bundle + "/Contents/x86_64-linux/Morvane Engine.so";
        setEnginePath(bundle);

        auto bridge = makeBridge(c.format);
        ASSERT_TRUE(bridge->init(44100, 1024, &SamplerPluginConfig, false));
        void* own = ::dlopen(so.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
        ASSERT_NE(own, nullptr);
        auto* state =
            reinterpret_cast<fakeengine::StateFn>(::dlsym(own, fakeengine::kStateSymbol))();
        void* engineHandle = &state->engineTag;
        const int32_t before = state->callCount;
        bridge.reset();
        ASSERT_EQ(state->callCount, before + 1);
        EXPECT_EQ(state->calls[before].opcode, kOpDestroyEngine);
        EXPECT_EQ(state->calls[before].handle, engineHandle);
        ::dlclose(own);

        void* probe = ::dlopen(so.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
        EXPECT_EQ(probe != nullptr, c.stillLoaded);
        if (probe) ::dlclose(probe);
    }
}

TEST_F(Teardown, FailingEndIsLoggedAndNoCallbackRemovalIsSent) {
    auto bridge = makeBridge();
    ASSERT_TRUE(bridge->init(44100, 1024, &SamplerPluginConfig, false));
    engine.fail(kOpDestroyEngine);
    LogTail log;
    engine.clearCalls();
    bridge.reset();
    EXPECT_EQ(engine.opcodes(), std::vector<int32_t>{kOpDestroyEngine});
    EXPECT_TRUE(log.has("engine error:7\n"));
}

TEST_F(Teardown, HolderEndsItsBridge) {
    auto holder = std::make_unique<ZEFAWrapperHolder>();
    holder->wrapper = makeBridge().release();
    holder->syncInfo = new SyncInfo();
    ASSERT_TRUE(holder->wrapper->init(44100, 1024, &SamplerPluginConfig, false));
    EXPECT_EQ(holder->editedParameter.load(), -1);
    engine.clearCalls();
    holder.reset();
    EXPECT_EQ(engine.opcodes(), std::vector<int32_t>{kOpDestroyEngine});
}

} // namespace
