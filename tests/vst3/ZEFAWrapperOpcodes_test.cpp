// The engine bridge's opcode methods against the fake engine host: what each
// sends, what it makes of the answer (including answers that lie), the
// parameter-value and chunk caches, views, callbacks and the program
// operations.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>

#include "support/BridgeTestSupport.h"
#include "support/HexFixture.h"
#include "vst3/ZEFAWrapper.h"

using namespace vantor;
using namespace bridgetest;

namespace {

int32_t acceptAll(int32_t, void*, void*, int32_t, int32_t, int32_t, float, void*) {
    return 0;
}

// A started bridge; the fake's record of the start-up calls is cleared.
class Opcodes : public BridgeTest {
protected:
    void SetUp() override {
        BridgeTest::SetUp();
        bridge =
            std::make_unique<ZEFAWrapper>(ZEFAWrapper::kFormatVST3, kZefaInterfaceVersion, 300);
        bridge->setInitialHostCallback(acceptAll, this, 112);
        ASSERT_TRUE(bridge->init(44100, 1024, &SamplerPluginConfig, false));
        engine.clearCalls();
    }
    void TearDown() override {
        bridge.reset();
        BridgeTest::TearDown();
    }
    const fakeengine::Call& only() {
        EXPECT_EQ(engine.callCount(), 1);
        return engine.call(0);
    }

    std::unique_ptr<ZEFAWrapper> bridge;
};

TEST_F(Opcodes, SimpleOpcodesCarryTheirArgumentsAndReportFailure) {
    static MIDIEvents events{};
    float left[4], right[4];
    float* outputs[] = {left, right};
    float value = 0.0f;
    struct Case {
        const char* name;
        std::function<bool(ZEFAWrapper&)> call;
        int32_t opcode, value;
        float f;
        int64_t l1, l2;
        void *p1, *p2;
        const char* text;
    };
    const Case cases[] = {
        {"suspend", [](ZEFAWrapper& b) { return b.suspend(); }, kOpSuspend, 0, 0, 0, 0, nullptr,
         nullptr, nullptr},
        {"random off", [](ZEFAWrapper& b) { return b.setRandomOff(); }, kOpSetRandomOff, 0x1234, 0,
         0, 0, nullptr, nullptr, nullptr},
        {"idle", [](ZEFAWrapper& b) { return b.engineIdle(); }, kOpEngineIdle, 0, 0, 0, 0, nullptr,
         nullptr, nullptr},
        {"import", [](ZEFAWrapper& b) { return b.importFile("/songs/a.vgm", 3); }, kOpImportFile, 3,
         0, 0, 0, nullptr, nullptr, "/songs/a.vgm"},
        {"set", [](ZEFAWrapper& b) { return b.setParameter(5, 6, 7, 0.25f); }, kOpSetParameter, 5,
         0.25f, 6, 7, nullptr, nullptr, nullptr},
        {"get", [&](ZEFAWrapper& b) { return b.getParameter(5, 6, 7, value); }, kOpGetParameter, 5,
         0, 6, 7, &value, nullptr, nullptr},
        {"process", [&](ZEFAWrapper& b) { return b.process(outputs, &events, 64); },
         kOpProcessEvents, 64, 0, 0, 0, &events, outputs, nullptr},
    };
    for (bool failing : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (failing ? " failing" : ""));
            engine.reset();
            if (failing) engine.fail(c.opcode);
            LogTail log;
            EXPECT_EQ(c.call(*bridge), !failing);
            const fakeengine::Call& call = only();
            EXPECT_EQ(call.opcode, c.opcode);
            EXPECT_EQ(call.handle, engine.engineHandle());
            EXPECT_EQ(call.value, c.value);
            EXPECT_EQ(call.f, c.f);
            EXPECT_EQ(call.l1, c.l1);
            EXPECT_EQ(call.l2, c.l2);
            if (c.p1) {
                EXPECT_EQ(call.p1, c.p1);
            }
            if (c.p2) {
                EXPECT_EQ(call.p2, c.p2);
            }
            if (c.text) {
                EXPECT_STREQ(call.text, c.text);
            }
            EXPECT_EQ(log.has("engine error:7\n"), failing);
        }
    }
}

TEST_F(Opcodes, ResumeSetsRateThenAsksForLatency) {
    engine->latency = 96;
    ZefaEngineLatencyInfo latency{kZefaInterfaceVersion, 0, 0};
    EXPECT_TRUE(bridge->resume(48000, 512, true, &latency));
    ASSERT_EQ(engine.opcodes(), (std::vector<int32_t>{kOpSetRateAndBlock, kOpResume}));
    EXPECT_EQ(engine.call(0).value, 48000);
    EXPECT_EQ(engine.call(0).l1, 512);
    EXPECT_EQ(engine.call(1).p1, &latency);
    EXPECT_EQ(engine.call(1).value, 1);
    EXPECT_EQ(latency.latency, 96);

    engine.reset();
    engine.fail(kOpSetRateAndBlock);
    EXPECT_FALSE(bridge->resume(48000, 512, false, &latency));
    EXPECT_EQ(engine.opcodes(), std::vector<int32_t>{kOpSetRateAndBlock});

    engine.reset();
    engine->latency = 12;
    ZefaEngineLatencyInfo query{kZefaInterfaceVersion, 0, 0};
    EXPECT_TRUE(bridge->getLatencyInfo(query));
    EXPECT_EQ(only().opcode, kOpGetLatencyInfo);
    EXPECT_EQ(query.latency, 12);
}

TEST_F(Opcodes, ProcessAndSettingsRecords) {
    static MIDIEvents events{};
    float* channels[2] = {};
    SyncInfo sync;
    ZefaEngineProcessEx record{};
    record.version = ZefaEngineProcessEx::kVersionEx;
    EXPECT_TRUE(bridge->process(&record));
    EXPECT_EQ(only().opcode, kOpProcess);
    EXPECT_EQ(engine.call(0).p1, &record);

    engine.reset();
    EXPECT_TRUE(bridge->process(channels, channels, &events, 128, &sync));
    const fakeengine::Call& plain = only();
    EXPECT_EQ(plain.opcode, kOpProcessPlain);
    testsupport::expectBytesMatchFixture(plain.record, 56,
                                         "01 00 00 00 00 00 00 00  .. .. .. .. .. .. .. .. "
                                         "00 00 00 00 00 00 00 00  .. .. .. .. .. .. .. .. "
                                         ".. .. .. .. .. .. .. ..  .. .. .. .. .. .. .. .. "
                                         "80 00 00 00 00 00 00 00");
    const auto* sent = reinterpret_cast<const ZefaEngineProcessEx*>(plain.record);
    EXPECT_EQ(sent->events, &events);
    EXPECT_EQ(sent->inputs, channels);
    EXPECT_EQ(sent->outputs, channels);
    EXPECT_EQ(sent->syncInfo, &sync);

    engine.reset();
    EXPECT_TRUE(bridge->setSettings(44100, 1024, 2, 1));
    EXPECT_EQ(only().opcode, kOpSetSettings);
    testsupport::expectBytesMatchFixture(engine.call(0).record, 48,
                                         "01 00 00 00 00 00 00 00  02 00 00 00 00 00 00 00 "
                                         "01 00 00 00 00 00 00 00  01 00 00 00 00 00 00 00 "
                                         "44 AC 00 00 00 00 00 00  00 04 00 00 00 00 00 00");
}

// Engine descriptions: 0 integer 0..127, 1 on/off (off 0, on 1), 2 continuous
// -1..1, 3 none.
class Parameters : public Opcodes {
protected:
    void SetUp() override {
        Opcodes::SetUp();
        onOff.factor = 1.0f;
        onOff.offset = 0.0f;
        engine->infos[0] = &integer;
        engine->infos[1] = &onOff;
        engine->infos[2] = &continuous;
    }
    ParameterInfo integer{"Level", ParameterInfo::kInteger, 0, 127, 0, 0, 0};
    ParameterInfo onOff{"Mute", ParameterInfo::kOnOff, 0, 1, 0, 0, 0};
    ParameterInfo continuous{"Pan", ParameterInfo::kContinuous, -1, 1, 0, 0, 0};
};

TEST_F(Parameters, SetConvertsCachesAndSendsThePlainValue) {
    struct Case {
        uint32_t id;
        float value;
        bool normalised;
        float plain;
    };
    const Case cases[] = {
        {0, 0.5f, true, 64.0f}, {0, 0.5f, false, 0.5f},  {1, 0.7f, true, 1.0f},
        {1, 0.0f, false, 0.0f}, {2, 0.25f, true, -0.5f}, {3, 0.3f, true, 0.3f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.id << " " << c.value << " " << c.normalised);
        engine.clearCalls();
        EXPECT_TRUE(bridge->setAutomatableParameterValue(c.id, c.value, c.normalised));
        ASSERT_EQ(engine.opcodes(), (std::vector<int32_t>{kOpGetParameterInfo, kOpSetParameter}));
        EXPECT_EQ(engine.call(0).value, int32_t(c.id));
        EXPECT_EQ(engine.call(1).value, int32_t(c.id));
        EXPECT_FLOAT_EQ(engine.call(1).f, c.plain);
        EXPECT_FLOAT_EQ(bridge->getCachedParameterValue(c.id), c.plain);
    }
}

TEST_F(Parameters, GetPacksTheEngineValueAndReportsChange) {
    engine->values[0] = 32.0f;
    bool changed = false;
    EXPECT_FLOAT_EQ(bridge->getAutomatableParameterValue(0, true, changed), 32.0f / 127.0f);
    EXPECT_TRUE(changed);
    EXPECT_EQ(engine.opcodes(), (std::vector<int32_t>{kOpGetParameter, kOpGetParameterInfo}));
    EXPECT_FLOAT_EQ(bridge->getAutomatableParameterValue(0, false, changed), 32.0f);
    EXPECT_FALSE(changed);
    EXPECT_FLOAT_EQ(bridge->getCachedParameterValue(0), 32.0f);

    engine->values[1] = 1.0f;
    EXPECT_FLOAT_EQ(bridge->getAutomatableParameterValue(1, false, changed), 1.0f);
    engine->values[1] = 0.0f;
    EXPECT_FLOAT_EQ(bridge->getAutomatableParameterValue(1, true, changed), 0.0f);
    EXPECT_TRUE(changed);

    engine.fail(kOpGetParameter);
    engine->values[2] = 0.5f;
    EXPECT_FLOAT_EQ(bridge->getAutomatableParameterValue(2, false, changed), 0.0f);
}

TEST_F(Parameters, IdsFromTheCountOnAreRefusedWithoutCall) {
    bool changed = true;
    EXPECT_FALSE(bridge->setAutomatableParameterValue(300, 0.5f, true));
    EXPECT_EQ(bridge->getAutomatableParameterValue(300, true, changed), 0.0f);
    EXPECT_FALSE(changed);
    EXPECT_EQ(bridge->getAutomatableParameterValue(0xFFFFFFFF, false), 0.0f);
    EXPECT_EQ(engine.callCount(), 0);
}

TEST_F(Parameters, DescriptionsAreCopiedAndCheckedForTheirTag) {
    ParameterInfo copy;
    EXPECT_TRUE(bridge->getAutomatableParameterInfo(0, copy));
    EXPECT_STREQ(copy.label, "Level");
    EXPECT_NE(copy.label, integer.label);
    EXPECT_EQ(copy.maxValue, 127.0f);
    EXPECT_FALSE(bridge->getAutomatableParameterInfo(3, copy));

    integer.magic = 0;
    EXPECT_FALSE(bridge->getAutomatableParameterInfo(0, copy));
    // Without a valid description the value passes unconverted.
    EXPECT_TRUE(bridge->setAutomatableParameterValue(0, 0.5f, true));
    EXPECT_FLOAT_EQ(bridge->getCachedParameterValue(0), 0.5f);
}

TEST_F(Parameters, NamesComeFromTheEngineOrFromTheId) {
    struct Case {
        const char* engineName;
        bool failing;
        size_t size;
        const char* text;
        bool fromEngine;
    };
    const Case cases[] = {
        {"OP1 Level", false, 32, "OP1 Level", true}, {"OP1 Level", false, 4, "OP1", true},
        {nullptr, false, 32, "p007", false},         {"", false, 32, "p007", false},
        {"OP1 Level", true, 32, "p007", false},      {nullptr, false, 3, "p0", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.engineName ? c.engineName : "null") << " " << c.size);
        engine.reset();
        engine->names[7] = c.engineName;
        if (c.failing) engine.fail(kOpGetParameterName);
        char buffer[32];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(bridge->getParameterName(7, 1, 2, buffer, c.size), c.fromEngine);
        EXPECT_STREQ(buffer, c.text);
        EXPECT_EQ(only().opcode, kOpGetParameterName);
        EXPECT_EQ(engine.call(0).value, 7);
        EXPECT_EQ(engine.call(0).l1, 1);
        EXPECT_EQ(engine.call(0).l2, 2);
    }
}

TEST_F(Parameters, LoadingAChunkRereadsEveryParameter) {
    for (int i = 0; i < 300; ++i) engine->values[i] = float(i);
    const char bytes[] = "STATE";
    EXPECT_EQ(bridge->setChunk(bytes, 5), 0);
    ASSERT_EQ(engine.callCount(), 301);
    EXPECT_EQ(engine.call(0).opcode, kOpSetChunk);
    EXPECT_EQ(engine.call(0).value, 5);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(engine->receivedChunk), 5), "STATE");
    EXPECT_EQ(engine.call(300).opcode, kOpGetParameter);
    EXPECT_EQ(bridge->getCachedParameterValue(299), 299.0f);

    engine.reset();
    engine.fail(kOpSetChunk, 0, 5);
    EXPECT_EQ(bridge->setChunk(bytes, 5), 5);
}

TEST_F(Opcodes, ChunkCacheServesRepeatedReadsUntilStateIsLoaded) {
    const char state[] = "ENGINESTATE";
    engine->chunk = state;
    engine->chunkSize = 11;
    const void* chunk = nullptr;
    std::shared_ptr<const void> keep;
    EXPECT_EQ(bridge->getChunk(chunk, keep), 11);
    EXPECT_EQ(chunk, state);
    EXPECT_EQ(only().opcode, kOpGetChunk);

    EXPECT_EQ(bridge->getChunkSizeAndCache(), 11);
    engine.clearCalls();
    EXPECT_EQ(bridge->getChunk(chunk, keep), 11);
    EXPECT_NE(chunk, state);
    EXPECT_EQ(std::memcmp(chunk, state, 11), 0);
    EXPECT_EQ(engine.callCount(), 0);

    // A loaded state makes the copy stale: the next read asks the engine.
    bridge->setChunk("NEW", 3);
    engine.clearCalls();
    EXPECT_EQ(bridge->getChunk(chunk, keep), 11);
    EXPECT_EQ(chunk, state);
    EXPECT_EQ(only().opcode, kOpGetChunk);
}

TEST_F(Opcodes, ChunkAnswersThatCannotBeUsedGiveNothing) {
    const char state[] = "X";
    struct Case {
        const char* name;
        const void* chunk;
        int32_t size;
        bool failing;
    };
    const Case cases[] = {
        {"failure", state, 1, true},
        {"negative size", state, -5, false},
        {"no bytes", nullptr, 16, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        engine.reset();
        engine->chunk = c.chunk;
        engine->chunkSize = c.size;
        if (c.failing) engine.fail(kOpGetChunk);
        const void* chunk = state;
        std::shared_ptr<const void> keep;
        EXPECT_EQ(bridge->getChunk(chunk, keep), 0);
        EXPECT_EQ(chunk, nullptr);
        EXPECT_EQ(bridge->getChunkSizeAndCache(), 0);
    }
}

TEST_F(Opcodes, KeyboardExportIsCopiedWhole) {
    static Zefa::ExportKB exported{};
    exported.keyType[60] = 2;
    std::strcpy(exported.keyName[60], "C4");
    exported.carried[sizeof exported.carried - 1] = 0x5A;
    static Zefa::ExportKB copy{};
    EXPECT_FALSE(bridge->getExportKB(copy)); // no block from the engine
    engine->exportKB = &exported;
    EXPECT_TRUE(bridge->getExportKB(copy));
    EXPECT_EQ(std::memcmp(&copy, &exported, sizeof copy), 0);
    EXPECT_EQ(engine.call(1).opcode, kOpGetExportKB);
}

TEST_F(Opcodes, ViewLifecycle) {
    int parent = 0;
    engine->viewWidth = 640;
    engine->viewHeight = 480;
    ASSERT_TRUE(bridge->createView(0xABCD, &parent, false));
    ASSERT_EQ(engine.opcodes(),
              (std::vector<int32_t>{kOpCreateViewTicket, kOpOpenView, kOpAddView}));
    const fakeengine::Call& ticket = engine.call(0);
    EXPECT_EQ(ticket.handle, nullptr);
    EXPECT_EQ(std::string(ticket.text), baseDir + "/Product.xml");
    EXPECT_EQ(ticket.p3, engine.engineHandle());
    EXPECT_EQ(engine.call(1).handle, engine.viewHandle());
    EXPECT_EQ(engine.call(1).p1, &parent);
    EXPECT_EQ(engine.call(1).l2, 8);
    EXPECT_EQ(engine.call(2).handle, engine.engineHandle());
    EXPECT_EQ(engine.call(2).p1, engine.viewHandle());
    EXPECT_EQ(bridge->getViewOwner(), 0xABCDu);

    engine.clearCalls();
    int32_t width = 0, height = 0;
    EXPECT_TRUE(bridge->getSize(width, height));
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);
    EXPECT_TRUE(bridge->idleView());
    EXPECT_TRUE(bridge->timernotify(3));
    EXPECT_TRUE(bridge->viewfdnotify(9));
    EXPECT_TRUE(bridge->createView(0xABCD, &parent, true)); // the ticket is reused
    ASSERT_EQ(engine.opcodes(),
              (std::vector<int32_t>{kOpGetViewSize, kOpIdleView, kOpViewTimerNotify,
                                    kOpViewFdNotify, kOpOpenView, kOpAddView}));
    for (int i = 0; i < 5; ++i) EXPECT_EQ(engine.call(i).handle, engine.viewHandle()) << i;
    EXPECT_EQ(engine.call(2).value, 3);
    EXPECT_EQ(engine.call(3).value, 9);
    EXPECT_EQ(engine.call(4).l2, 0);

    engine.clearCalls();
    EXPECT_TRUE(bridge->destroyView(0xABCD));
    ASSERT_EQ(engine.opcodes(), (std::vector<int32_t>{kOpRemoveView, kOpDestroyViewTicket}));
    EXPECT_EQ(engine.call(0).handle, engine.engineHandle());
    EXPECT_EQ(engine.call(0).p1, engine.viewHandle());
    EXPECT_EQ(engine.call(1).handle, engine.viewHandle());
    EXPECT_EQ(bridge->getViewHandle(), nullptr);
    EXPECT_FALSE(bridge->destroyView(0xABCD));
    EXPECT_FALSE(bridge->idleView());

    // A size the engine cannot mean is not handed on.
    engine->viewWidth = -1;
    width = height = 7;
    EXPECT_FALSE(bridge->getSize(width, height));
    EXPECT_EQ(width, 7);
}

TEST_F(Opcodes, ViewTicketRefusedLeavesNoView) {
    engine.fail(kOpCreateViewTicket);
    int32_t width = 0, height = 0;
    EXPECT_FALSE(bridge->createView(1, nullptr, true));
    EXPECT_FALSE(bridge->getSize(width, height));
    EXPECT_EQ(engine.opcodes(), (std::vector<int32_t>{kOpCreateViewTicket, kOpCreateViewTicket}));
}

TEST_F(Opcodes, HostCallbacksAreRegisteredAndRemoved) {
    int owner = 0;
    EXPECT_TRUE(bridge->addHostCallback(acceptAll, &owner, 240));
    const fakeengine::Call& add = only();
    EXPECT_EQ(add.value, ENGINE_ADD_HOST_CALLBACK);
    const auto* record = reinterpret_cast<const ZefaCallbackRecord*>(add.record);
    EXPECT_EQ(record->version, 1);
    EXPECT_EQ(record->function, &acceptAll);
    EXPECT_EQ(record->userData, &owner);
    EXPECT_EQ(record->flags, 240u);

    engine.clearCalls();
    EXPECT_EQ(bridge->removeHostCallback(acceptAll, &owner), 0);
    EXPECT_EQ(only().opcode, kOpRemoveHostCallback);
    EXPECT_EQ(engine.call(0).p1, reinterpret_cast<void*>(&acceptAll));
    EXPECT_EQ(engine.call(0).p2, &owner);
    engine.fail(kOpRemoveHostCallback, 0, 3);
    EXPECT_EQ(bridge->removeHostCallback(acceptAll, &owner), 3);
}

TEST_F(Opcodes, BridgeCallbackAnswersAndLogsById) {
    struct Case {
        int32_t id;
        const char *title, *text;
        int32_t level, result;
        const char* line; // "" for none
    };
    const Case cases[] = {
        {4096, "Boom", "disk full", 2, 0, "ENGINE ERROR: Title:Boom Content:disk full\n"},
        {4096, "Hm", "slow", 1, 0, "ENGINE WARNING: Title:Hm Content:slow\n"},
        {4096, "Hi", "ready", 0, 0, "ENGINE INFO: Title:Hi Content:ready\n"},
        {4096, nullptr, nullptr, 0, 0, "ENGINE INFO: Title: Content:\n"},
        {4097, nullptr, nullptr, 0, 0, ""},
        {4099, nullptr, nullptr, 0, 0, ""},
        {8194, nullptr, nullptr, 0, 0, ""},
        {8196, nullptr, nullptr, 0, 0, ""},
        {8198, nullptr, nullptr, 0, 0, ""},
        {8201, nullptr, nullptr, 0, 0, ""},
        {8195, nullptr, nullptr, 0, 2, "VKE_HostOpcode unknown id:8195\n"},
        {8199, nullptr, nullptr, 0, 2, "VKE_HostOpcode unknown id:8199\n"},
        {12345, nullptr, nullptr, 0, 2, "VKE_HostOpcode unknown id:12345\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        LogTail log;
        EXPECT_EQ(ZEFAWrapper::ZEFA_HostOpcode(c.id, const_cast<char*>(c.title),
                                               const_cast<char*>(c.text), c.level, 0, 0, 0.0f,
                                               bridge.get()),
                  c.result);
        if (*c.line)
            EXPECT_TRUE(log.has(c.line)) << log.text();
        else
            EXPECT_EQ(log.text(), "");
    }
    EXPECT_EQ(ZEFAWrapper::ZEFA_HostOpcode(4096, nullptr, nullptr, 0, 0, 0, 0.0f, nullptr), 2);
}

TEST_F(Opcodes, EngineReachesTheBridgeThroughItsOwnCallback) {
    ZEFAWrapper own(ZEFAWrapper::kFormatVST3, kZefaInterfaceVersion, 300);
    ASSERT_TRUE(own.init(44100, 1024, &SamplerPluginConfig, false));
    ASSERT_NE(engine->callback.function, nullptr);
    LogTail log;
    char title[] = "Engine", text[] = "hello";
    EXPECT_EQ(engine->callback.function(ZEFA_HOST_LOG, title, text, 0, 0, 0, 0.0f,
                                        engine->callback.userData),
              ZEFA_HOST_HANDLED);
    EXPECT_TRUE(log.has("ENGINE INFO: Title:Engine Content:hello\n"));
}

TEST_F(Opcodes, ProgramOperations) {
    std::string name;
    int32_t bank = 0;
    EXPECT_TRUE(bridge->slotFilledBank(2, name, bank));
    EXPECT_EQ(name, "Fake Organ");
    EXPECT_EQ(bank, 7);
    EXPECT_EQ(reinterpret_cast<const ZefaProgramCommand*>(only().record)->slot, 2);

    engine.reset();
    EXPECT_TRUE(bridge->setProgram(std::string(600, 'n'), 4));
    const auto* command = reinterpret_cast<const ZefaProgramCommand*>(only().record);
    EXPECT_EQ(command->version, 1);
    EXPECT_EQ(command->slot, 4);
    EXPECT_EQ(command->bank, -1);

    engine.reset();
    engine.fail(kOpEngineCommand, ENGINE_SET_PROGRAM_BANK);
    LogTail log;
    EXPECT_FALSE(bridge->setProgramBank(3, "Bass", 0));
    EXPECT_TRUE(log.has("Engine: error loading patch bank:3\n"));

    int32_t channel = 0;
    engine.reset();
    EXPECT_TRUE(bridge->setISlotMIDIChannel(1, 5));
    EXPECT_EQ(reinterpret_cast<const ZefaSlotMIDIChannel*>(only().record)->channel, 5);
    EXPECT_TRUE(bridge->getISlotMIDIChannel(1, channel));
    EXPECT_EQ(channel, 9);
}

TEST_F(Opcodes, ListsComeInTwoCallsAndRefuseLyingCounts) {
    engine->listCount = 3;
    int32_t count = 0;
    const ZefaBank* banks = bridge->getBanks(count);
    ASSERT_NE(banks, nullptr);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(banks[2].bank, 102);
    EXPECT_EQ(banks[2].version, 1);
    EXPECT_EQ(engine.callCount(), 2);

    const ZefaBankPrograms* programs = bridge->getBankPrograms(5);
    ASSERT_NE(programs, nullptr);
    EXPECT_EQ(programs->bank, 5);
    EXPECT_EQ(programs->count, 3);
    EXPECT_EQ(programs->entries[2].program, 2);
    engine.clearCalls();
    EXPECT_EQ(bridge->getBankPrograms(5), programs); // cached per bank
    EXPECT_EQ(engine.callCount(), 0);

    int32_t otherBank = 100;
    for (int32_t lie : {-1, ZEFAWrapper::kMaxListEntries + 1, 0x7FFFFFFF}) {
        SCOPED_TRACE(lie);
        engine.reset();
        engine->listCount = lie;
        EXPECT_EQ(bridge->getBanks(count), nullptr);
        EXPECT_EQ(count, 0);
        EXPECT_EQ(bridge->getBankPrograms(++otherBank), nullptr);
        EXPECT_EQ(engine.callCount(), 2); // one count request each
    }
}

} // namespace
