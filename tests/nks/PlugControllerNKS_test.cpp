// The NKS side of the edit controller through the test host, with the fake
// engine host behind the built bundle: the host's property messages and the
// sizes of the buffers it hands over, the key map pushed when the engine
// reports a new keyboard, and the metadata written into the host's stream.
#include <cstring>
#include <string>
#include <vector>

#include "nks/PageTable.h"
#include "nks/support/MsgpackReader.h"
#include "support/PlugTestSupport.h"
#include "vst3base/NKSInterfaces.h"

using namespace plugtest;
using EngineInfo = vantor::ParameterInfo;
using Bytes = std::vector<uint8_t>;

namespace {

// A host context that is also an NKS host: it records every message the
// plug-in sends and refuses the one at `refuseAt`.
class NksHost : public HostApplication, public nks::INKS1Host {
public:
    struct Message {
        int32 type;
        uint64 size;
        Bytes payload;
    };
    explicit NksHost(HostRunLoop* runLoop) : HostApplication("sondrix test host", runLoop) {}

    int32 nksDispatch(int32 type, uint64 size, void* data, float) override {
        const auto* bytes = static_cast<const uint8_t*>(data);
        messages.push_back({type, size, Bytes(bytes, bytes + size)});
        return static_cast<int>(messages.size()) - 1 == refuseAt ? 0 : 1;
    }
    tresult queryInterface(const TUID iid, void** obj) override {
        if (obj && nks::INKS1Host::iid.matches(iid)) {
            addRef();
            *obj = static_cast<nks::INKS1Host*>(this);
            return kResultOk;
        }
        return HostApplication::queryInterface(iid, obj);
    }
    SX_REFCOUNT_METHODS

    std::vector<Message> messages;
    int refuseAt = -1;
};

// A host stream that refuses every write.
class RefusingStream : public MemoryStream {
public:
    tresult write(void*, int32, int32* written) override {
        if (written) *written = 0;
        return kResultFalse;
    }
};

// The test host with the bundle loaded and an NKS host (or a plain host) as
// its context; the fake engine describes a few parameters.
class NksControllerTest : public bridgetest::BridgeTest {
protected:
    void SetUp() override {
        BridgeTest::SetUp();
        engine->infos[0] = &continuous;
        engine->infos[1] = &steps;
        engine->infos[2] = &twoItems;
        engine->infos[3] = &threeItems;
        continuous.setLabel("Level");
        steps.setLabel("Mult");
        twoItems.setLabel("Noise Type");
        twoItems.setList("Long|Periodic");
        threeItems.setLabel("Patch");
        threeItems.setList("A|B|DAC");
        runLoop = new HostRunLoop;
        nksHost = new NksHost(runLoop);
        plainHost = new HostApplication("sondrix test host", runLoop);
        handler = new HostComponentHandler;
    }
    void TearDown() override {
        instance.reset();
        module.reset();
        handler->release();
        plainHost->release();
        nksHost->release();
        runLoop->release();
        BridgeTest::TearDown();
    }
    // Loads the bundle and makes one connected instance with `context`.
    IEditController* start(HostApplication* context) {
        std::string error;
        module = Vst3Module::load(kPlugBundle, static_cast<IHostApplication*>(context), error);
        EXPECT_TRUE(module) << error;
        if (!module) return nullptr;
        instance = PluginInstance::create(*module, module->findClass(kVstAudioEffectClass)->cid,
                                          context, handler, error);
        EXPECT_TRUE(instance) << error;
        return instance ? instance->controller() : nullptr;
    }
    template <class I> IPtr<I> as(IEditController* controller) {
        void* obj = nullptr;
        if (!controller || controller->queryInterface(I::iid.data(), &obj) != kResultOk)
            return IPtr<I>();
        return IPtr<I>::adopt(static_cast<I*>(obj));
    }
    // The engine's keyboard-change callback as the engine host delivers it.
    int32_t keyboardChanged() {
        const auto& record = engine->callback;
        return record.function ? record.function(vantor::ZEFA_HOST_KEYMAP_CHANGED, nullptr, nullptr,
                                                 0, 0, 0, 0.0f, record.userData)
                               : -1;
    }

    EngineInfo continuous{"", EngineInfo::kContinuous, -1, 1, 0, 0, 0};
    EngineInfo steps{"", EngineInfo::kInteger, 0, 15, 1, 0, 0};
    EngineInfo twoItems{"", EngineInfo::kList, 0, 1, 0, 0, 0};
    EngineInfo threeItems{"", EngineInfo::kList, 0, 2, 0, 0, 0};
    HostRunLoop* runLoop = nullptr;
    NksHost* nksHost = nullptr;
    HostApplication* plainHost = nullptr;
    HostComponentHandler* handler = nullptr;
    std::unique_ptr<Vst3Module> module;
    std::unique_ptr<PluginInstance> instance;
};

constexpr int32 messageType(uint32_t tag, uint32_t property) {
    return static_cast<int32>(tag << 16 | property);
}
constexpr uint32_t kGet = 0x4E49, kSet = 0x6E69, kInfo = 0x4E69;

TEST_F(NksControllerTest, AnswersBothInterfacesUnderTheirPublishedIds) {
    const struct {
        const FUID& iid;
        const char* text;
    } ids[] = {
        {nks::INKS1Plugin::iid, "4E93AF45A4904C68BF41B535443028AE"},
        {nks::INKSMetadataPlugin::iid, "5F2E167546C24B618768448753E4FD07"},
        {nks::INKS1Host::iid, "66CE0222EF124867A29B88E1F6565E61"},
    };
    for (const auto& id : ids) {
        char text[33];
        id.iid.toString(text);
        EXPECT_STREQ(text, id.text);
    }
    IEditController* controller = start(nksHost);
    ASSERT_TRUE(controller);
    EXPECT_TRUE(as<nks::INKS1Plugin>(controller));
    EXPECT_TRUE(as<nks::INKSMetadataPlugin>(controller));
    void* obj = nullptr;
    EXPECT_NE(controller->queryInterface(nks::INKS1Host::iid.data(), &obj), kResultOk);
}

// Each message gets a 16-byte buffer of 0xAA (or `in` at its start) and the
// size the case names; `out` is the whole buffer afterwards.
TEST_F(NksControllerTest, PropertyMessagesWriteOnlyWhatTheBufferHolds) {
    const Bytes untouched(16, 0xAA);
    auto filled = [&](Bytes head) {
        head.resize(16, 0xAA);
        return head;
    };
    const struct Case {
        const char* name;
        int32 type;
        uint64 size;
        bool buffer;
        Bytes in;
        int32 result;
        Bytes out;
        std::string printed;
    } cases[] = {
        {"get 12", messageType(kGet, 12), 4, true, {}, 1, filled({1, 0, 0, 0}), ""},
        {"get 12, larger buffer", messageType(kGet, 12), 16, true, {}, 1, filled({1, 0, 0, 0}), ""},
        {"get 12, 3 bytes", messageType(kGet, 12), 3, true, {}, 0, untouched, ""},
        {"get 12, no buffer", messageType(kGet, 12), 4, false, {}, 0, untouched, ""},
        {"get 13", messageType(kGet, 13), 4, true, {}, 1, filled({0, 0, 0, 0}), ""},
        {"get 13, no size", messageType(kGet, 13), 0, true, {}, 0, untouched, ""},
        {"get 32", messageType(kGet, 32), 8, true, {}, 1, filled({2, 0, 0, 0, 0, 0, 0, 0}), ""},
        {"get 32, 4 bytes", messageType(kGet, 32), 4, true, {}, 0, untouched, ""},
        {"get 28", messageType(kGet, 28), 1, true, {}, 1, untouched, ""},
        {"get 28, no buffer", messageType(kGet, 28), 0, false, {}, 1, untouched, ""},
        {"get unknown", messageType(kGet, 14), 16, true, {}, 0, untouched, ""},
        {"info 12",
         messageType(kInfo, 12),
         9,
         true,
         {},
         1,
         filled({4, 0, 0, 0, 0, 0, 0, 0, 0}),
         ""},
        {"info 13",
         messageType(kInfo, 13),
         16,
         true,
         {},
         1,
         filled({4, 0, 0, 0, 0, 0, 0, 0, 1}),
         ""},
        {"info 28",
         messageType(kInfo, 28),
         9,
         true,
         {},
         1,
         filled({1, 0, 0, 0, 0, 0, 0, 0, 0}),
         ""},
        {"info 32",
         messageType(kInfo, 32),
         9,
         true,
         {},
         1,
         filled({8, 0, 0, 0, 0, 0, 0, 0, 1}),
         ""},
        {"info 32, 8 bytes", messageType(kInfo, 32), 8, true, {}, 0, untouched, ""},
        {"info 13, no buffer", messageType(kInfo, 13), 0, false, {}, 1, untouched, ""},
        {"info unknown", messageType(kInfo, 29), 16, true, {}, 0, untouched, ""},
        {"set 13 big",
         messageType(kSet, 13),
         4,
         true,
         {1, 0, 0, 0},
         1,
         filled({1, 0, 0, 0}),
         "Set the plugin to big view\n"},
        {"set 13 compact",
         messageType(kSet, 13),
         4,
         true,
         {2, 0, 0, 0},
         1,
         filled({2, 0, 0, 0}),
         "Set the plugin to compact view\n"},
        {"set 13 other",
         messageType(kSet, 13),
         4,
         true,
         {7, 0, 0, 0},
         1,
         filled({7, 0, 0, 0}),
         "Set the plugin to not embedded view\n"},
        {"set 13, 8 bytes",
         messageType(kSet, 13),
         8,
         true,
         {1, 0, 0, 0},
         0,
         filled({1, 0, 0, 0}),
         ""},
        {"set 32",
         messageType(kSet, 32),
         8,
         true,
         {3, 0, 0, 0, 0, 0, 0, 0},
         1,
         filled({3, 0, 0, 0, 0, 0, 0, 0}),
         "Current nks version of the host is: 3\n"},
        {"set 32, 4 bytes",
         messageType(kSet, 32),
         4,
         true,
         {3, 0, 0, 0},
         0,
         filled({3, 0, 0, 0}),
         ""},
        {"set 32, no buffer", messageType(kSet, 32), 8, false, {}, 0, untouched, ""},
        {"set 12", messageType(kSet, 12), 4, true, {1, 0, 0, 0}, 0, filled({1, 0, 0, 0}), ""},
        {"key-map tag", messageType(0x4B49, 0x15), 16, true, {}, 0, untouched, ""},
    };
    auto plugin = as<nks::INKS1Plugin>(start(nksHost));
    ASSERT_TRUE(plugin);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes buffer = filled(c.in);
        testing::internal::CaptureStdout();
        const int32 result =
            plugin->nksDispatch(c.type, c.size, c.buffer ? buffer.data() : nullptr, 0.0f);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(buffer, c.out);
    }
}

// Keys 0..4 of types 0, 1, 2, 3 and 9; key 5's name fills its whole slot
// without a terminator, key 6 is named "Next".
struct Keyboard {
    Keyboard() {
        std::memset(&exported, 0, sizeof exported);
        const uint8_t types[] = {0, 1, 2, 3, 9};
        std::memcpy(exported.keyType, types, sizeof types);
        for (int k = 0; k < 128; ++k)
            std::snprintf(exported.keyName[k], sizeof exported.keyName[k], "Key %d", k);
        std::memset(exported.keyName[5], 'x', sizeof exported.keyName[5]);
        std::strcpy(exported.keyName[6], "Next");
    }
    vantor::Zefa::ExportKB exported;
};

TEST_F(NksControllerTest, KeyboardChangePushesNameColourAndControlFlagOfEveryKey) {
    Keyboard keyboard;
    engine->exportKB = &keyboard.exported;
    ASSERT_TRUE(start(nksHost));
    const int dirtyBefore = handler->dirtyCalls;
    EXPECT_EQ(keyboardChanged(), vantor::ZEFA_HOST_HANDLED);
    EXPECT_GT(handler->dirtyCalls, dirtyBefore);

    const auto& sent = nksHost->messages;
    ASSERT_EQ(sent.size(), 384u);
    for (int k = 0; k < 128; ++k) {
        SCOPED_TRACE(k);
        const auto& name = sent[size_t(3 * k)];
        EXPECT_EQ(name.type, 0x4B490015);
        ASSERT_EQ(name.size, 130u);
        EXPECT_EQ(name.payload[0], k);
        const std::string text(reinterpret_cast<const char*>(&name.payload[1]));
        const std::string expected = k == 5   ? std::string(128, 'x')
                                     : k == 6 ? "Next"
                                              : "Key " + std::to_string(k);
        EXPECT_EQ(text, expected);
        EXPECT_EQ(sent[size_t(3 * k + 1)].type, 0x4B490014);
        EXPECT_EQ(sent[size_t(3 * k + 1)].payload[0], k);
        EXPECT_EQ(sent[size_t(3 * k + 2)].type, 0x4B49001B);
        EXPECT_EQ(sent[size_t(3 * k + 2)].payload[0], k);
    }
    // Colour and control flag by key type (keys 0..4), and for an ordinary key.
    const struct {
        int key;
        uint8_t colour, control;
    } byType[] = {{0, 0x11, 0}, {1, 0x10, 0}, {2, 0x03, 1},
                  {3, 0x04, 1}, {4, 0x10, 0}, {60, 0x11, 0}};
    for (const auto& t : byType) {
        SCOPED_TRACE(t.key);
        EXPECT_EQ(sent[size_t(3 * t.key + 1)].payload, (Bytes{uint8_t(t.key), t.colour}));
        EXPECT_EQ(sent[size_t(3 * t.key + 2)].payload, (Bytes{uint8_t(t.key), t.control}));
    }
}

TEST_F(NksControllerTest, KeyMapStopsAtTheFirstRefusal) {
    Keyboard keyboard;
    engine->exportKB = &keyboard.exported;
    nksHost->refuseAt = 1; // the first colour message
    ASSERT_TRUE(start(nksHost));
    EXPECT_EQ(keyboardChanged(), vantor::ZEFA_HOST_HANDLED);
    ASSERT_EQ(nksHost->messages.size(), 2u);
    EXPECT_EQ(nksHost->messages[0].type, 0x4B490015);
    EXPECT_EQ(nksHost->messages[1].type, 0x4B490014);
}

TEST_F(NksControllerTest, KeyMapNeedsAnNksHostAndTheEnginesKeyboard) {
    // No keyboard from the engine: nothing is sent.
    ASSERT_TRUE(start(nksHost));
    EXPECT_EQ(keyboardChanged(), vantor::ZEFA_HOST_HANDLED);
    EXPECT_TRUE(nksHost->messages.empty());
    instance.reset();
    module.reset();

    // A host without the NKS interface: the engine is not even asked.
    Keyboard keyboard;
    engine->exportKB = &keyboard.exported;
    ASSERT_TRUE(start(plainHost));
    engine.clearCalls();
    EXPECT_EQ(keyboardChanged(), vantor::ZEFA_HOST_HANDLED);
    EXPECT_EQ(engine.find(vantor::kOpGetExportKB), nullptr);
}

TEST_F(NksControllerTest, MetadataDescribesTheEnginesParametersAndThePages) {
    auto metadata = as<nks::INKSMetadataPlugin>(start(nksHost));
    ASSERT_TRUE(metadata);
    MemoryStream stream;
    stream.refAdd();
    ASSERT_EQ(metadata->getNksMetadata(&stream), kResultOk);

    const Bytes bytes(stream.bytes().begin(), stream.bytes().end());
    testsupport::DecodedMessage message(bytes);
    ASSERT_TRUE(message.ok);
    const msgpack_object* version = testsupport::findKey(message.root(), "version");
    ASSERT_TRUE(version);
    EXPECT_EQ(version->via.u64, 1u);

    const msgpack_object* info = testsupport::findKey(message.root(), "parameter_descriptive_info");
    ASSERT_TRUE(info);
    ASSERT_EQ(info->type, MSGPACK_OBJECT_MAP);
    EXPECT_EQ(info->via.map.size, 4u); // only the described ids
    const struct {
        uint32_t id;
        uint64_t type, style, valueCount, displayValues;
    } expected[] = {{0, 1, 0, 0, 0}, {1, 3, 2, 16, 0}, {2, 2, 0, 0, 2}, {3, 3, 5, 0, 3}};
    for (const auto& e : expected) {
        SCOPED_TRACE(e.id);
        const msgpack_object* a = testsupport::findKey(*info, uint64_t(e.id));
        ASSERT_TRUE(a);
        EXPECT_EQ(testsupport::findKey(*a, "type")->via.u64, e.type);
        EXPECT_EQ(testsupport::findKey(*a, "style")->via.u64, e.style);
        EXPECT_EQ(testsupport::findKey(*a, "value_count")->via.u64, e.valueCount);
        EXPECT_EQ(testsupport::findKey(*a, "display_values")->via.array.size, e.displayValues);
    }

    const msgpack_object* navigation = testsupport::findKey(message.root(), "parameter_navigation");
    ASSERT_TRUE(navigation);
    const msgpack_object* groups = testsupport::findKey(*navigation, "groups");
    ASSERT_TRUE(groups);
    EXPECT_EQ(groups->via.array.size, nks::kMacroPages);
    const msgpack_object* performance = testsupport::findKey(*navigation, "performance_mode");
    ASSERT_TRUE(performance);
    EXPECT_EQ(performance->via.array.size, 1u);
}

TEST_F(NksControllerTest, MetadataRequestFailsWithoutStreamEngineOrAWorkingWrite) {
    // Before the processor's holder arrives the controller has no engine.
    std::string error;
    module = Vst3Module::load(kPlugBundle, static_cast<IHostApplication*>(nksHost), error);
    ASSERT_TRUE(module) << error;
    void* obj = nullptr;
    ASSERT_EQ(module->factory()->createInstance(
                  module->findClass(kVstComponentControllerClass)->cid.data(),
                  nks::INKSMetadataPlugin::iid.data(), &obj),
              kResultOk);
    auto lone = IPtr<nks::INKSMetadataPlugin>::adopt(static_cast<nks::INKSMetadataPlugin*>(obj));
    MemoryStream stream;
    stream.refAdd();
    EXPECT_EQ(lone->getNksMetadata(&stream), kResultFalse);
    EXPECT_EQ(stream.getSize(), 0);
    lone = IPtr<nks::INKSMetadataPlugin>();
    module.reset();

    auto metadata = as<nks::INKSMetadataPlugin>(start(nksHost));
    ASSERT_TRUE(metadata);
    EXPECT_EQ(metadata->getNksMetadata(nullptr), kResultFalse);
    // A stream that takes nothing: the request fails instead of claiming success.
    RefusingStream refusing;
    refusing.refAdd();
    EXPECT_EQ(metadata->getNksMetadata(&refusing), kResultFalse);
}

} // namespace
