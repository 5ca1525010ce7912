// The engine plug-in base classes as a host meets them: the dispatcher's
// opcode table (what each opcode calls and writes through a, b and the record,
// null pointers included), the process entry, the object layout behind the C
// record, and the host callbacks with and without a host record.
#include "instrument/EnginePluginSDK.h"
#include "vantor/DenormalScope.h"
#include "support/HexFixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

using namespace vantor::EnginePluginSDK;
using testsupport::expectBytesMatchFixture;

namespace {

// An instrument that writes down every operation the dispatcher calls.
class Probe : public InstrumentPlugin {
public:
    explicit Probe(HostRecord* host = nullptr) : InstrumentPlugin(host) {
        for (int i = 0; i < 7; ++i) infoWords[i] = 100 + i;
    }
    void setInfoWord(int i, uint32_t v) { infoWords[i] = v; }

    uint32_t activate(uint64_t context, uint64_t reserved, uint32_t version) override {
        log("activate(" + std::to_string(context) + "," + std::to_string(reserved) + "," +
            std::to_string(version) + ")");
        return 0x80000001u;
    }
    int32_t queryReady(uint32_t opcode, void* a) override {
        log("queryReady(" + std::to_string(opcode) + "," + std::to_string(bits(a)) + ")");
        return 7;
    }
    void releaseAll(uint64_t x, uint64_t y) override {
        log("releaseAll(" + std::to_string(x) + "," + std::to_string(y) + ")");
    }
    void setProcessingInfo(const ProcessingInfo* info) override {
        log("setProcessingInfo");
        EffectPlugin::setProcessingInfo(info);
    }
    vantor::ParameterInfo* getParameterInfo(uint32_t* count) override {
        if (table.empty()) return EffectPlugin::getParameterInfo(count);
        *count = static_cast<uint32_t>(table.size());
        return table.data();
    }
    void checkOutputConfig(const OutputConfig* c, uint32_t* ok) override {
        log("checkOutputConfig");
        EffectPlugin::checkOutputConfig(c, ok);
    }
    void getLatencyInfo(LatencyRecord* r, uint32_t* done) override {
        log("getLatencyInfo");
        EffectPlugin::getLatencyInfo(r, done);
    }
    void getParameterMap(EventList*) override { log("getParameterMap"); }
    void process(float** outputs, int32_t frames, EventList* in, EventList* out,
                 TimeRecord* time) override {
        log("process(" + std::to_string(frames) + ")");
        seen = {outputs, in, out, time};
        controlWordInProcess = vantor::DenormalScope::read();
    }
    int32_t handleExtension(ExtensionCommand*) override {
        log("handleExtension");
        return -5;
    }
    void sendMidi(const MidiMessage*) override { log("sendMidi"); }
    void forwardOpcode27(uint32_t op, void* a) override {
        log("forward27(" + std::to_string(op) + "," + std::to_string(bits(a)) + ")");
    }
    void forwardOpcode28(uint32_t op, void* a) override {
        log("forward28(" + std::to_string(op) + "," + std::to_string(bits(a)) + ")");
    }
    void setName(const char*) override { log("setName"); }
    int32_t importPatch(int32_t index, const char*) override {
        log("importPatch(" + std::to_string(index) + ")");
        return 26;
    }
    int32_t exportPatch(int32_t index, const char*) override {
        log("exportPatch(" + std::to_string(index) + ")");
        return 25;
    }
    void applyMasterSetting(MasterSetting*) override { log("applyMasterSetting"); }

    static uint64_t bits(const void* p) { return reinterpret_cast<uintptr_t>(p); }
    void log(const std::string& call) { calls += (calls.empty() ? "" : " ") + call; }

    std::string calls;
    std::vector<vantor::ParameterInfo> table;
    std::vector<void*> seen;
    uint64_t controlWordInProcess = 0;
};

// ---- The dispatcher table ---------------------------------------------------------

enum Arg { Null, Slot, Five, Three };

struct DispatchCase {
    uint32_t opcode;
    Arg a, b;
    const char* calls;
    intptr_t result;
    const char* aAfter; // the slot's first 40 bytes after the call
    const char* bAfter; // the slot's first 8 bytes after the call
};

// The a slot holds an activation record {-, -, 5, 6, 2114 + 2^32}; the b slot
// holds the patch index 3.
const char* const kA = "EE EE EE EE EE EE EE EE  EE EE EE EE EE EE EE EE  05 00 00 00 00 00 00 00 "
                       "06 00 00 00 00 00 00 00  42 08 00 00 01 00 00 00";
const char* const kB = "03 00 00 00 EE EE EE EE";

const DispatchCase kDispatchCases[] = {
    {0, Five, Three, "activate(5,3,0)", 0x80000001, kA, kB},
    {1, Slot, Slot, "", 0, kA, kB},
    {2, Slot, Null, "setProcessingInfo", 0, kA, kB},
    {2, Null, Null, "", 0, kA, kB},
    {3, Null, Slot, "", 0, kA, "65 00 00 00 EE EE EE EE"},
    {3, Null, Null, "", 0, kA, kB},
    {4, Null, Slot, "", 0, kA, "66 00 00 00 EE EE EE EE"},
    {4, Null, Null, "", 0, kA, kB},
    {5, Null, Slot, "", 0, kA, "67 00 00 00 EE EE EE EE"},
    {5, Null, Null, "", 0, kA, kB},
    {6, Null, Slot, "", 0, kA, "68 00 00 00 EE EE EE EE"},
    {6, Null, Null, "", 0, kA, kB},
    {7, Null, Slot, "", 0, kA, "64 00 00 00 EE EE EE EE"},
    {7, Null, Null, "", 0, kA, kB},
    {8, Five, Slot, "queryReady(8,5)", 7, kA, kB},
    {9, Five, Slot, "releaseAll(9,5)", 0, kA, kB},
    {10, Slot, Null, "getParameterMap", 0, kA, kB},
    {10, Null, Null, "", 0, kA, kB},
    {11, Five, Three, "releaseAll(5,3)", 0, kA, kB},
    {12, Slot, Null, "setProcessingInfo", 0, kA, kB},
    {13, Slot, Slot, "", 0, kA, kB},
    {14, Slot, Slot, "", 0, kA, kB},
    {15, Slot, Slot, "", 0, kA, "00 00 00 00 EE EE EE EE"}, // no table: count 0, a untouched
    {15, Slot, Null, "", 0, kA, kB},
    {16, Slot, Slot, "", 0, kA, kB},
    {17, Slot, Slot, "checkOutputConfig", 0, kA, "00 00 00 00 EE EE EE EE"},
    {17, Null, Null, "checkOutputConfig", 0, kA, kB},
    {18, Slot, Slot, "getLatencyInfo", 0,
     "EE EE EE EE 6A 00 00 00  69 00 00 00 EE EE EE EE  05 00 00 00 00 00 00 00 "
     "06 00 00 00 00 00 00 00  42 08 00 00 01 00 00 00",
     "01 00 00 00 EE EE EE EE"},
    {18, Null, Null, "getLatencyInfo", 0, kA, kB},
    {19, Slot, Slot, "activate(5,6,2114)", 0x80000001,
     "EE EE EE EE EE EE EE EE  01 00 00 80 00 00 00 00  05 00 00 00 00 00 00 00 "
     "06 00 00 00 00 00 00 00  42 08 00 00 01 00 00 00",
     kB},
    {19, Null, Slot, "", 0, kA, kB},
    {20, Slot, Slot, "handleExtension", -5, kA, "FB FF FF FF EE EE EE EE"},
    {20, Slot, Null, "handleExtension", -5, kA, kB},
    {21, Slot, Null, "applyMasterSetting", 0, kA, kB},
    {21, Null, Null, "", 0, kA, kB},
    {22, Slot, Slot, "", 0, kA, kB},
    {23, Slot, Null, "sendMidi", 0, kA, kB},
    {23, Null, Null, "", 0, kA, kB},
    {24, Slot, Null, "setName", 0, kA, kB},
    {25, Slot, Slot, "exportPatch(3)", 25, kA, kB},
    {25, Slot, Null, "", 0, kA, kB},
    {26, Slot, Slot, "importPatch(3)", 26, kA, kB},
    {26, Slot, Null, "", 0, kA, kB},
    {27, Five, Slot, "forward27(27,5)", 0, kA, kB},
    {28, Five, Slot, "forward28(28,5)", 0, kA, kB},
    {29, Slot, Slot, "", 0, kA, kB},
    {0xFFFFFFFF, Slot, Slot, "", 0, kA, kB},
};

struct Slots {
    alignas(8) unsigned char a[64];
    alignas(8) unsigned char b[64];
    Slots() {
        std::memset(a, 0xEE, sizeof a);
        const uint64_t words[3] = {5, 6, 0x100000842ull};
        std::memcpy(a + 16, words, sizeof words);
        std::memset(b, 0xEE, sizeof b);
        const uint32_t index = 3;
        std::memcpy(b, &index, sizeof index);
    }
    void* pick(Arg arg, unsigned char* slot) {
        switch (arg) {
        case Slot:
            return slot;
        case Five:
            return reinterpret_cast<void*>(uintptr_t{5});
        case Three:
            return reinterpret_cast<void*>(uintptr_t{3});
        default:
            return nullptr;
        }
    }
};

TEST(EnginePluginSDK, DispatcherTable) {
    for (const DispatchCase& c : kDispatchCases) {
        SCOPED_TRACE("opcode " + std::to_string(c.opcode) + " a " + std::to_string(c.a) + " b " +
                     std::to_string(c.b));
        Probe probe;
        Slots s;
        PluginRecord* record = probe.getRecord();
        const intptr_t result =
            record->dispatcher(record, c.opcode, s.pick(c.a, s.a), s.pick(c.b, s.b));
        EXPECT_EQ(probe.calls, c.calls);
        EXPECT_EQ(result, c.result);
        expectBytesMatchFixture(s.a, 40, c.aAfter);
        expectBytesMatchFixture(s.b, 8, c.bAfter);
    }
}

TEST(EnginePluginSDK, ParameterInfoOpcodeHandsOutTheTable) {
    Probe probe;
    probe.table.resize(3);
    uint32_t count = 99;
    vantor::ParameterInfo* table = nullptr;
    dispatchEntry(probe.getRecord(), PLUGIN_OP_GET_PARAMETER_INFO, &table, &count);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(table, probe.table.data());

    count = 99; // a host that gives no slot for the pointer still learns the count
    dispatchEntry(probe.getRecord(), PLUGIN_OP_GET_PARAMETER_INFO, nullptr, &count);
    EXPECT_EQ(count, 3u);
}

TEST(EnginePluginSDK, ProcessingInformationIsCopiedFieldByField) {
    Probe probe;
    const ProcessingInfo& defaults = probe.getProcessingInfo();
    EXPECT_EQ(defaults.sampleRate, 44100.0);
    EXPECT_EQ(defaults.sampleRateInt, 44100u);
    EXPECT_EQ(defaults.samplePeriod, 1.0 / 44100.0);
    EXPECT_EQ(defaults.maxBlockFrames, 256u);
    EXPECT_EQ(defaults.blockSeconds, 256.0 / 44100.0);
    EXPECT_EQ(defaults.blockReciprocal, 1.0 / 256.0);

    ProcessingInfo info = {48000.0, 48000,           0,           1.0 / 48000.0,   512,
                           0,       512.0 / 48000.0, 1.0 / 512.0, {1, 2, 3, 4, 5}, {}};
    dispatchEntry(probe.getRecord(), PLUGIN_OP_SET_PROCESSING_INFO_2, &info, nullptr);
    EXPECT_EQ(std::memcmp(&probe.getProcessingInfo(), &info, 53), 0);
}

TEST(EnginePluginSDK, NullRecordOrObjectDoesNothing) {
    EXPECT_EQ(dispatchEntry(nullptr, 7, nullptr, nullptr), 0);
    processEntry(nullptr, nullptr, 16, nullptr, nullptr, nullptr);

    Probe probe;
    PluginRecord copy = *probe.getRecord();
    copy.object = nullptr;
    uint32_t word = 0xEEEEEEEE;
    EXPECT_EQ(dispatchEntry(&copy, 7, nullptr, &word), 0);
    processEntry(&copy, nullptr, 16, nullptr, nullptr, nullptr);
    EXPECT_EQ(word, 0xEEEEEEEEu);
    EXPECT_EQ(probe.calls, "");
}

TEST(EnginePluginSDK, ProcessEntryPassesEverythingOn) {
    Probe probe;
    float* channels[2] = {};
    EventList* in = reinterpret_cast<EventList*>(uintptr_t{0x100});
    EventList* out = reinterpret_cast<EventList*>(uintptr_t{0x200});
    TimeRecord* time = reinterpret_cast<TimeRecord*>(uintptr_t{0x300});
    PluginRecord* record = probe.getRecord();
    record->process(record, channels, 64, in, out, time);
    EXPECT_EQ(probe.calls, "process(64)");
    EXPECT_EQ(probe.seen, (std::vector<void*>{channels, in, out, time}));
}

// The host's floating-point mode does not reach the block: denormals are
// flushed while the object processes, and the host's word is back after.
TEST(EnginePluginSDK, ProcessEntryFlushesDenormalsForTheBlockOnly) {
    using vantor::DenormalScope;
    Probe probe;
    PluginRecord* record = probe.getRecord();
    const auto original = DenormalScope::read();
    DenormalScope::write(original & ~DenormalScope::kBits);
    const auto host = DenormalScope::read();
    record->process(record, nullptr, 16, nullptr, nullptr, nullptr);
    const auto after = DenormalScope::read();
    DenormalScope::write(original);
    EXPECT_EQ(probe.controlWordInProcess & DenormalScope::kBits, uint64_t(DenormalScope::kBits));
    EXPECT_EQ(after, host);
}

TEST(EnginePluginSDK, ObjectLayoutBehindTheRecord) {
    int hostWord = 0;
    HostRecord* host = reinterpret_cast<HostRecord*>(&hostWord);
    Probe probe(host);
    const auto* base = reinterpret_cast<const unsigned char*>(static_cast<Plugin*>(&probe));
    const PluginRecord* record = probe.getRecord();

    EXPECT_EQ(reinterpret_cast<const unsigned char*>(record) - base, 16);
    HostRecord* stored = nullptr;
    std::memcpy(&stored, base + 8, sizeof stored);
    EXPECT_EQ(stored, host);
    EXPECT_EQ(record->version, 2123u);
    EXPECT_EQ(record->dispatcher, &dispatchEntry);
    EXPECT_EQ(record->process, &processEntry);
    EXPECT_EQ(record->reserved, 0u);
    EXPECT_EQ(record->object, static_cast<Plugin*>(&probe));

    // The processing copy follows the record, then the seven information words.
    double rate = 0;
    std::memcpy(&rate, base + 56, sizeof rate);
    EXPECT_EQ(rate, 44100.0);
    uint32_t words[7];
    std::memcpy(words, base + 112, sizeof words);
    for (uint32_t i = 0; i < 7; ++i) EXPECT_EQ(words[i], 100 + i);
}

// ---- Host callbacks ------------------------------------------------------------------

// A host that answers from fixed values and writes down every call.
struct TestHost {
    HostRecord record{&TestHost::callback};
    bool writeVersion = true;
    bool writeTuning = true;
    double tuning = 0.0;
    bool writeSlot = false;
    struct Call {
        int32_t opcode;
        int64_t a;
    };
    std::vector<Call> calls;

    static intptr_t callback(HostRecord* r, int32_t opcode, int64_t a, void* b) {
        auto* host = reinterpret_cast<TestHost*>(r);
        host->calls.push_back({opcode, a});
        if (opcode == HOST_OP_QUERY_VERSION && host->writeVersion) *static_cast<int32_t*>(b) = 1234;
        if (opcode == HOST_OP_NOTE_TUNING && host->writeTuning)
            *static_cast<double*>(b) = host->tuning;
        if (opcode == HOST_OP_NOTE_TUNING_2 && host->writeSlot) *static_cast<uint8_t*>(b) = 0;
        return 0;
    }
};

TEST(EnginePluginSDK, WithoutAHostEveryCallbackIsSkipped) {
    HostRecord noCallback{nullptr};
    Probe withoutRecord(nullptr), withoutCallback(&noCallback);
    for (Probe* p : {&withoutRecord, &withoutCallback}) {
        EXPECT_EQ(p->queryHostVersion(), 2123);
        EXPECT_EQ(p->hostCallback(HOST_OP_REQUEST, 48, nullptr), 0);
        EXPECT_DOUBLE_EQ(p->getNoteFrequency(69), 440.0);
        EXPECT_NEAR(p->getNoteFrequency(60), 261.6256, 1e-4);
        EXPECT_EQ(p->getNoteValue(60), 0.0);
        EXPECT_TRUE(p->getNoteFlag(60));
    }
}

TEST(EnginePluginSDK, VersionQueryTakesTheHostsAnswerOrThePreset) {
    TestHost host;
    Probe probe(&host.record);
    EXPECT_EQ(probe.queryHostVersion(), 1234);
    host.writeVersion = false;
    EXPECT_EQ(probe.queryHostVersion(), 0);
    ASSERT_EQ(host.calls.size(), 2u);
    EXPECT_EQ(host.calls[0].opcode, 5);
    EXPECT_EQ(host.calls[0].a, 0);
}

TEST(EnginePluginSDK, NoteFrequencyFallsBackToEqualTemperament) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        bool answers;
        double tuning;
        double expected; // for key 81
    } cases[] = {
        {true, 1000.0, 1000.0}, {false, 0.0, 880.0}, {true, 0.0, 880.0},
        {true, -5.0, 880.0},    {true, nan, 880.0},  {true, inf, 880.0},
    };
    for (const auto& c : cases) {
        TestHost host;
        host.writeTuning = c.answers;
        host.tuning = c.tuning;
        Probe probe(&host.record);
        EXPECT_DOUBLE_EQ(probe.getNoteFrequency(81), c.expected) << c.answers << " " << c.tuning;
        ASSERT_EQ(host.calls.size(), 1u);
        EXPECT_EQ(host.calls[0].opcode, 13);
        EXPECT_EQ(host.calls[0].a, 81);
    }
}

TEST(EnginePluginSDK, NoteValueAndFlagKeepTheirPresetsUnlessTheHostWrites) {
    TestHost host;
    host.writeSlot = false;
    Probe probe(&host.record);
    EXPECT_EQ(probe.getNoteValue(10), 0.0);
    EXPECT_TRUE(probe.getNoteFlag(11));
    host.writeSlot = true; // one byte written: the flag turns false
    EXPECT_FALSE(probe.getNoteFlag(12));
    ASSERT_EQ(host.calls.size(), 3u);
    for (const auto& call : host.calls) EXPECT_EQ(call.opcode, 14);
    EXPECT_EQ(host.calls[2].a, 12);
}

} // namespace
