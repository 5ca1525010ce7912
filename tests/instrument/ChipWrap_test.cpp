// The instrument object's frame as the host reaches it through its C record:
// the information words, activation for the host's rate and block, the
// parameter map and descriptions, the output check, and every opcode that may
// arrive before the first activation.
#include "ChipWrapTestSupport.h"
#include "emulators/MD_Emu.h"
#include "instrument/ChipWrap.h"
#include "instrument/EnginePluginRecords.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <thread>
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

TEST(ChipWrap, ProcessingInformationSizesTheRenderPieces) {
    // Four blocks' worth of chip samples at the 4.8 MHz reference, at most
    // 8192: memory per instance does not grow with the block length.
    const struct {
        double rate;
        uint32_t block;
        uint32_t samples;
    } cases[] = {
        {48000.0, 16, 6416},
        {96000.0, 4, 816},
        {48000.0, 256, 8192},
        {44100.0, 8192, 8192},
    };
    for (const auto& c : cases) {
        ChipWrap w(nullptr, "MD");
        setProcessing(w, c.rate, c.block);
        EXPECT_EQ(w.maxChipSamples(), c.samples) << c.rate << " " << c.block;
    }
}

TEST(ChipWrap, UnusableProcessingInformationKeepsThePreviousValues) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        double rate;
        uint32_t block;
    } cases[] = {{0.0, 256},      {-48000.0, 256}, {nan, 256},      {7999.0, 256},
                 {400000.0, 256}, {48000.0, 0},    {48000.0, 65537}};
    for (const auto& c : cases) {
        ChipWrap w(nullptr, "MD");
        setProcessing(w, 48000.0, 128);
        setProcessing(w, c.rate, c.block); // before the first activation, too
        EXPECT_EQ(w.getProcessingInfo().sampleRate, 48000.0) << c.rate << " " << c.block;
        EXPECT_EQ(w.getProcessingInfo().maxBlockFrames, 128u) << c.rate << " " << c.block;
        EXPECT_EQ(dispatchEntry(w.getRecord(), PLUGIN_OP_ACTIVATE, nullptr, nullptr), 1);
        EXPECT_TRUE(w.isResamplerReady());
        setProcessing(w, c.rate, c.block); // and after it
        EXPECT_TRUE(w.isResamplerReady());
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

// The engine host reads the descriptions without a lock while the host
// re-activates the object at other rates: the table it was handed stays
// where it is, record for record, label for label.
TEST(ChipWrap, ReActivationLeavesTheDescriptionTableAsItWasHandedOut) {
    ChipWrap w(nullptr, "MD");
    setProcessing(w, 48000.0, 512);
    ASSERT_EQ(dispatchEntry(w.getRecord(), PLUGIN_OP_ACTIVATE, nullptr, nullptr), 1);
    uint32_t count = 0;
    vantor::ParameterInfo* table = nullptr;
    dispatchEntry(w.getRecord(), PLUGIN_OP_GET_PARAMETER_INFO, &table, &count);
    ASSERT_EQ(count, 1792u);
    struct Seen {
        float min, max;
        const char* label;
        std::string text;
    };
    std::vector<Seen> handed;
    for (uint32_t id = 0; id < count; ++id)
        handed.push_back({table[id].minValue, table[id].maxValue, table[id].label,
                          table[id].label ? table[id].label : ""});
    ASSERT_EQ(handed[768].text, "A:OP4 Level"); // a range of 0..127 that must not blink

    std::atomic<bool> done{false};
    std::atomic<int> changed{0};
    std::thread reader([&] {
        while (!done.load()) {
            for (uint32_t id = 0; id < count; ++id) {
                const vantor::ParameterInfo& r = table[id];
                if (r.minValue != handed[id].min || r.maxValue != handed[id].max ||
                    r.label != handed[id].label)
                    changed.fetch_add(1);
            }
        }
    });
    for (double rate : {44100.0, 96000.0, 48000.0, 192000.0, 48000.0}) {
        setProcessing(w, rate, 256);
        EXPECT_EQ(dispatchEntry(w.getRecord(), PLUGIN_OP_ACTIVATE, nullptr, nullptr), 1);
    }
    done = true;
    reader.join();
    EXPECT_EQ(changed.load(), 0);
    vantor::ParameterInfo* again = nullptr;
    dispatchEntry(w.getRecord(), PLUGIN_OP_GET_PARAMETER_INFO, &again, &count);
    EXPECT_EQ(again, table);
    for (uint32_t id = 0; id < count; ++id) {
        ASSERT_EQ(table[id].label, handed[id].label) << id;
        ASSERT_EQ(table[id].label ? std::string(table[id].label) : "", handed[id].text) << id;
    }
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
    auto notes = std::make_unique<EventList>();
    notes->count = 2;
    notes->events[0] = {};
    notes->events[0].status = 0x90, notes->events[0].data1 = 60, notes->events[0].data2 = 100;
    notes->events[0].valid = 1;
    notes->events[1] = notes->events[0];
    notes->events[1].kind = vantor::HDMIDIEvent::kNoteOn;
    notes->events[1].valid = 0;
    notes->events[1].id = 64;
    notes->events[1].value = 0.5f;
    w.getRecord()->process(w.getRecord(), outputs, 48, notes.get(), nullptr, nullptr);
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

namespace {

// Sends one wrapper setting as a host parameter event; returns the chip-rate
// reports (engine id 262) queued by it.
int settingReports(ChipWrap& w, uint32_t k, float value) {
    auto in = std::make_unique<EventList>();
    auto out = std::make_unique<EventList>();
    in->count = 1;
    in->events[0] = {};
    in->events[0].kind = 176;
    in->events[0].id = static_cast<int32_t>(256 + k);
    in->events[0].value = value;
    in->events[0].tuning = std::numeric_limits<float>::infinity();
    float l[8], r[8];
    float* outputs[2] = {l, r};
    PluginRecord* rec = w.getRecord();
    rec->process(rec, outputs, 8, in.get(), out.get(), nullptr); // the setting
    rec->process(rec, outputs, 8, nullptr, out.get(), nullptr);  // what it queued
    int n = 0;
    for (uint64_t i = 0; i < out->count; ++i) n += out->events[i].id == 262;
    return n;
}

TEST(ChipWrap, ClockIndexMustLieInsideTheClockList) {
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double value;
        uint64_t index;
    } cases[] = {{1.0, 1}, {3.7, 3},  {-1.0, 0},
                 {4.0, 0}, {1e30, 0}, {std::numeric_limits<double>::quiet_NaN(), 0},
                 {inf, 0}, {-inf, 0}};
    for (const auto& c : cases) {
        ChipWrap w(nullptr, "MD");
        ASSERT_EQ(dispatchEntry(w.getRecord(), PLUGIN_OP_ACTIVATE, nullptr, nullptr), 1);
        w.applyWrapperSetting(0, c.value);
        EXPECT_EQ(w.getClockIndex(), c.index) << c.value;
        EXPECT_EQ(w.getChipRate(), w.unit(0)->getInfo()->clocks[c.index]) << c.value;
    }
}

TEST(ChipWrap, ClockDetuneIsClampedAndTheChainStillRenders) {
    for (double cents : {100000.0, -100000.0}) {
        ChipWrap w(nullptr, "MD");
        ASSERT_EQ(dispatchEntry(w.getRecord(), PLUGIN_OP_ACTIVATE, nullptr, nullptr), 1);
        const double clock = w.unit(0)->getInfo()->clocks[0];
        w.applyWrapperSetting(3, cents);
        EXPECT_EQ(w.getDetuneCents(), cents > 0 ? 2400.0 : -2400.0);
        EXPECT_DOUBLE_EQ(w.getChipRate(), clock * (cents > 0 ? 4.0 : 0.25));
        EXPECT_TRUE(w.isResamplerReady());
        std::vector<float> l(8192), r(8192);
        float* outputs[2] = {l.data(), r.data()};
        w.getRecord()->process(w.getRecord(), outputs, 8192, nullptr, nullptr, nullptr);
    }
}

TEST(ChipWrap, WrapperSettings) {
    ChipWrap w(nullptr, "MD");
    ASSERT_EQ(dispatchEntry(w.getRecord(), PLUGIN_OP_ACTIVATE, nullptr, nullptr), 1);
    settingReports(w, 2, 0.0f); // drains the activation's report
    // High-pass cutoff: a value, or the default for a negative one.
    settingReports(w, 1, 30.0f);
    EXPECT_EQ(w.getHighPassCutoff(3), 30.0);
    settingReports(w, 1, -1.0f);
    for (uint32_t ch = 0; ch < 4; ++ch) EXPECT_EQ(w.getHighPassCutoff(ch), 7.5);
    // Quality: a re-rate only when it changes; values speexdsp does not
    // know are refused.
    EXPECT_EQ(settingReports(w, 5, 0.2f), 0);
    EXPECT_EQ(settingReports(w, 5, 3.0f), 1);
    EXPECT_EQ(w.getQuality(), 3);
    EXPECT_EQ(settingReports(w, 5, 11.0f), 0);
    EXPECT_EQ(w.getQuality(), 3);
    EXPECT_TRUE(w.isResamplerReady());
    // Clock: a re-rate when the frequency changes, none for the same one.
    EXPECT_EQ(settingReports(w, 0, 1.0f), 1);
    EXPECT_EQ(settingReports(w, 0, 1.0f), 0);
}

} // namespace

namespace {

TEST(ChipWrap, ChipUnitParametersAreRoutedToTheirUnits) {
    // What each unit holds after one host parameter event: parameter 30 (FM
    // chip choice), 7 (DAC curve), FM mute 1 and solo 2.
    struct Seen {
        uint64_t fmSelect;
        uint32_t dacCurveMode;
        uint8_t mute1, solo2;
        bool operator==(const Seen&) const = default;
    };
    const Seen none{0, 0, 0, 0};
    const struct {
        int32_t id;
        float value;
        Seen changed; // on the units listed
        std::vector<size_t> units;
    } cases[] = {
        {1024 + 16 * 7 + 10, 1.0f, {1, 0, 0, 0}, {0, 1, 2, 3, 4, 5, 6}}, // unit 7, 10: all, 30
        {1024 + 16 * 0 + 7, -1.0f, {0, 1, 0, 0}, {0, 1, 2, 3, 4, 5, 6}}, // global via unit 0
        {1024 + 16 * 3 + 7, -1.0f, none, {}},                            // global via unit 3
        {1024 + 16 * 3 + 6, 2.0f, none, {}},
        {1024 + 16 * 2 + 1, 1.0f, {0, 0, 1, 0}, {2}},
        {1024 + 16 * 7 + 2, 1.0f, {0, 0, 0, 1}, {6}}, // unit 7 is the media unit, + 20
        {1024 + 16 * 9 + 1, 1.0f, none, {}},          // no such unit
    };
    for (const auto& c : cases) {
        ChipWrap w(nullptr, "MD");
        ASSERT_EQ(dispatchEntry(w.getRecord(), PLUGIN_OP_ACTIVATE, nullptr, nullptr), 1);
        const int filterBefore = static_cast<MD_Emu*>(w.unit(3))->filterIndex;
        auto in = std::make_unique<EventList>();
        in->count = 1;
        in->events[0] = {};
        in->events[0].kind = 176;
        in->events[0].id = c.id;
        in->events[0].value = c.value;
        in->events[0].tuning = std::numeric_limits<float>::infinity();
        float l[4], r[4];
        float* outputs[2] = {l, r};
        w.getRecord()->process(w.getRecord(), outputs, 4, in.get(), nullptr, nullptr);
        for (size_t u = 0; u < 7; ++u) {
            auto* md = static_cast<MD_Emu*>(w.unit(u));
            const Seen seen{md->fmSelect, md->dacCurveMode, md->fmMutes[1], md->solos[2]};
            const bool listed = std::find(c.units.begin(), c.units.end(), u) != c.units.end();
            EXPECT_EQ(seen, listed ? c.changed : none) << c.id << " unit " << u;
        }
        EXPECT_EQ(static_cast<MD_Emu*>(w.unit(3))->filterIndex, filterBefore) << c.id;
    }
}

} // namespace

namespace {

TEST(ChipWrap, ParameterMapCarriesTheControllersValuesAndDescriptions) {
    ChipWrap w(nullptr, "MD", wraptest::NoteController::make);
    auto& params = static_cast<wraptest::NoteController*>(w.getController())->parameters;
    params[3] = vantor::ParameterInfo("Detune", vantor::ParameterInfo::kContinuous, -1.0f, 1.0f,
                                      0.25f, 0, 0);
    params[3].id = 3;
    params[4].id = 0xFFFF; // not offered to the host
    ASSERT_EQ(dispatchEntry(w.getRecord(), PLUGIN_OP_ACTIVATE, nullptr, nullptr), 1);
    auto map = std::make_unique<EventList>();
    dispatchEntry(w.getRecord(), PLUGIN_OP_GET_PARAMETER_MAP, map.get(), nullptr);
    EXPECT_EQ(map->events[771].value, 0.25f);
    EXPECT_EQ(map->events[256].value, 0.0f); // the initial clock index
    EXPECT_EQ(map->events[257].value, 7.5f); // high-pass cutoff
    EXPECT_EQ(map->events[258].value, 100.0f);
    uint32_t count = 0;
    vantor::ParameterInfo* table = nullptr;
    dispatchEntry(w.getRecord(), PLUGIN_OP_GET_PARAMETER_INFO, &table, &count);
    ASSERT_EQ(count, 1792u);
    EXPECT_STREQ(table[771].label, "Detune");
    EXPECT_EQ(table[771].id, 771);
    EXPECT_EQ(table[772].id, 0xFFFF);
    EXPECT_EQ(table[772].label, nullptr);
}

} // namespace
