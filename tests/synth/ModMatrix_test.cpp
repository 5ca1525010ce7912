// The modulation matrix: reading the text into entries, turning entries into
// routes on parameter actions, lanes and "STEP" sequencers, the nominal
// source ranges, and the default contents of the host's data blocks.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "engine-support/QuantumManager.h"
#include "support/HexFixture.h"
#include "synth/ModAction.h"
#include "synth/ModMatrix.h"
#include "synth/SynthStub.h"

namespace {

using testsupport::SynthStub;
using testsupport::ValueLog;
using VSX::ModMatrixEntry;

TEST(ModMatrixText, LinesBecomeEntries) {
    struct Case {
        const char* line;
        bool kept;
        const char* source;
        const char* destination;
        float amount;
        uint8_t math;
        uint16_t zones;
    };
    const Case cases[] = {
        {"SOURCE=CC1;DESTINATION=Cutoff", true, "CC1", "CUTOFF", 1.0f, 2, 0xFFFF},
        {"source=polyvel;destination=l01 amp;math=scale", true, "POLYVEL", "L01 AMP", 1, 8, 0xFFFF},
        {"SOURCE=PB;DESTINATION=X;MATH=REPLACE", true, "PB", "X", 1, 1, 0xFFFF},
        {"SOURCE=PB;DESTINATION=X;MATH=accum", true, "PB", "X", 1, 4, 0xFFFF},
        {"SOURCE=PB;DESTINATION=X;MATH=OFFSETS", true, "PB", "X", 1, 2, 0xFFFF},
        {"SOURCE=PB;DESTINATION=X;AMOUNT=0.5;INV=1", true, "PB", "X", -0.5f, 2, 0xFFFF},
        {"INV=1;AMOUNT=0.5;SOURCE=PB;DESTINATION=X", true, "PB", "X", -0.5f, 2, 0xFFFF},
        {"SOURCE=PB;DESTINATION=X;AMOUNT=-0.5;INV=1", false, "", "", 0, 0, 0},
        {"SOURCE=PB;DESTINATION=X;AMOUNT=0.5;INV=YES", true, "PB", "X", 0.5f, 2, 0xFFFF},
        {"SOURCE=PB;DESTINATION=X;AMOUNT=0,25", true, "PB", "X", 0.25f, 2, 0xFFFF},
        {"SOURCE=PB;DESTINATION=X;AMOUNT=2e-1", true, "PB", "X", 0.2f, 2, 0xFFFF},
        {"SOURCE=PB;DESTINATION=X;AMOUNT=0.5X", true, "PB", "X", 1.0f, 2, 0xFFFF},
        {"SOURCE=PB;DESTINATION=X;AMOUNT=", true, "PB", "X", 1.0f, 2, 0xFFFF},
        {"SOURCE=PB;DESTINATION=X;AMOUNT=0.3;AMOUNT=0.7", true, "PB", "X", 0.7f, 2, 0xFFFF},
        {"SOURCE=PB;DESTINATION=X;AMOUNT=0.5=1;NOEQUALS;;", true, "PB", "X", 1.0f, 2, 0xFFFF},
        {"SOURCE=PB;DESTINATION=X;TRIGGER_ZONE=3", true, "PB", "X", 1, 2, 8},
        {"SOURCE=PB;DESTINATION=X;TRIGGER_ZONE=16", true, "PB", "X", 1, 2, 0},
        {"SOURCE=PB;DESTINATION=X;TRIGGER_ZONE=33", true, "PB", "X", 1, 2, 2},
        {"SOURCE=PB;DESTINATION=X;TRIGGER_ZONE=ZONE", true, "PB", "X", 1, 2, 1},
        {"SOURCE=PB;DESTINATION=", false, "", "", 0, 0, 0},
        {"DESTINATION=X;AMOUNT=0.5", false, "", "", 0, 0, 0},
        {"SOURCE = PB;DESTINATION=X", false, "", "", 0, 0, 0}, // the key is "SOURCE "
        {";;;", false, "", "", 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const std::vector<ModMatrixEntry> entries = VSX::parseModMatrixText(c.line);
        ASSERT_EQ(entries.size(), c.kept ? 1u : 0u);
        if (!c.kept) continue;
        const ModMatrixEntry& e = entries[0];
        EXPECT_EQ(e.source, c.source);
        EXPECT_EQ(e.destination, c.destination);
        EXPECT_FLOAT_EQ(e.amount, c.amount);
        EXPECT_EQ(e.math, c.math);
        EXPECT_EQ(e.zoneMask, c.zones);
    }
}

TEST(ModMatrixText, NumbersCurvesAndControl) {
    const auto e = VSX::parseModMatrixText("SOURCE=PB;DESTINATION=X;SOURCE_FUNC=sqrt_inv;"
                                           "CONTROL=cp;CONTROL_FUNC=SWITCH;OFFSET=-0.25;"
                                           "MIN=1D1;MAX=+2.5e1");
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].sourceCurve, 7u);
    EXPECT_EQ(e[0].control, "CP");
    EXPECT_EQ(e[0].controlCurve, 8u);
    EXPECT_FLOAT_EQ(e[0].offset, -0.25f);
    EXPECT_FLOAT_EQ(e[0].min, 10.0f);
    EXPECT_FLOAT_EQ(e[0].max, 25.0f);
    const auto d = VSX::parseModMatrixText("SOURCE=PB;DESTINATION=X;SOURCE_FUNC=CURVY");
    EXPECT_EQ(d[0].sourceCurve, 0u);
    EXPECT_FLOAT_EQ(d[0].min, -9999.0f);
    EXPECT_FLOAT_EQ(d[0].max, 9999.0f);
}

TEST(ModMatrixText, LineEndsAndHostilText) {
    const std::string text = "SOURCE=A;DESTINATION=1\r\n\r\nSOURCE=B;DESTINATION=2\rSOURCE=C;"
                             "DESTINATION=3\n\n\nSOURCE=D;DESTINATION=4";
    const auto entries = VSX::parseModMatrixText(text);
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[3].source, "D");

    // Any length and any bytes: a huge line of every byte value, a very long
    // name, and thousands of short lines.
    std::string hostile;
    for (int i = 0; i < 200000; ++i) hostile += static_cast<char>(1 + i % 255);
    hostile += "\nSOURCE=" + std::string(100000, 'Q') + ";DESTINATION=X\n";
    for (int i = 0; i < 5000; ++i) hostile += "SOURCE=PB;DESTINATION=Y;AMOUNT=1e999999\n";
    const auto parsed = VSX::parseModMatrixText(hostile);
    ASSERT_GE(parsed.size(), 5001u);
    EXPECT_EQ(parsed[parsed.size() - 5001].source.size(), 100000u);
}

TEST(ModMatrixSources, Ranges) {
    struct Case {
        const char* name;
        bool known;
        float min, max;
    };
    const Case cases[] = {
        {"PB", true, -1, 1},      {"PC", true, 0, 127},      {"POLYKT", true, -127, 127},
        {"EXP_PAN", true, 0, 1},  {"EXP_", false, 0, 0},     {"CC7", true, 0, 1},
        {"CC", false, 0, 0},      {"STEP", true, -128, 127}, {"STEP12", true, -128, 127},
        {"POLYAFT", false, 0, 0}, {"MONOALT", false, 0, 0},  {"MPE_CC74", true, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        float lo = 99, hi = 99;
        EXPECT_EQ(VSX::getModSourceRange(c.name, &lo, &hi), c.known);
        if (!c.known) continue;
        EXPECT_EQ(lo, c.min);
        EXPECT_EQ(hi, c.max);
    }
}

// A synth with one plain, one per-voice, one special and one zoned parameter.
struct MatrixFixture : ::testing::Test {
    void SetUp() override {
        using vantor::ParameterInfo;
        cutoff = testsupport::addParameter(synth, "Cutoff", 0, 1);
        pan = testsupport::addParameter(synth, "Pan", -1, 1, ParameterInfo::kFlagPerVoice);
        special = testsupport::addParameter(synth, "Special", 0, 1, 0, 0x82);
        zoned = testsupport::addParameter(synth, "Zoned", 0, 1, ParameterInfo::kFlagZoneRoutes);
        testsupport::buildActions(synth, log);
    }
    std::vector<VSX::ModRoute>& routes(uint16_t p, size_t v = 0) {
        return synth.paramActions[p][v].routes;
    }

    SynthStub synth;
    ValueLog log;
    uint16_t cutoff = 0, pan = 0, special = 0, zoned = 0;
};

TEST_F(MatrixFixture, SourcesResolvePerDestination) {
    VSX::PartModBank& b = synth.banks[0];
    struct Case {
        const char* text;
        VSX::Modulator* onCutoff;                 // null: no route
        std::vector<VSX::Modulator*> onPanVoices; // empty: no route
    };
    auto pv = [&](auto& poly) {
        std::vector<VSX::Modulator*> m;
        for (auto& x : poly) m.push_back(&x);
        return m;
    };
    std::vector<VSX::Modulator*> mpePb;
    for (uint64_t v = 0; v < 6; ++v) mpePb.push_back(synth.mpePitchBendModulator(0, v));
    const std::vector<VSX::Modulator*> allPb(6, &b.pitchBend);
    const Case cases[] = {
        {"PB", &b.pitchBend, allPb},
        {"POLYVEL", &b.monoVelocity, pv(b.polyVelocity)},
        {"POLYAFT", &b.polyAftertouch[0], pv(b.polyAftertouch)},
        {"MONOKEY", &b.monoKey, std::vector<VSX::Modulator*>(6, &b.monoKey)},
        {"EXP_PAN", nullptr, pv(b.expression[1])},
        {"MPE_PB", synth.mpePitchBendModulator(0, 0), mpePb},
        {"NOPE", nullptr, {}},
        {"CC", nullptr, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const std::string name = c.text;
        synth.setModMatrixText(
            ("SOURCE=" + name + ";DESTINATION=cutoff\nSOURCE=" + name + ";DESTINATION=pan").c_str(),
            0);
        if (c.onCutoff) {
            ASSERT_EQ(routes(cutoff).size(), 1u);
            EXPECT_EQ(routes(cutoff)[0].source, c.onCutoff);
        } else {
            EXPECT_TRUE(routes(cutoff).empty());
        }
        for (size_t v = 0; v < 6; ++v) {
            if (c.onPanVoices.empty()) {
                EXPECT_TRUE(routes(pan, v).empty());
                continue;
            }
            ASSERT_EQ(routes(pan, v).size(), 1u);
            EXPECT_EQ(routes(pan, v)[0].source, c.onPanVoices[v]);
        }
    }
}

TEST_F(MatrixFixture, ControllerNumbersAndControls) {
    synth.setModMatrixText("SOURCE=CC200;DESTINATION=Cutoff;CONTROL=CP;AMOUNT=0.5\n"
                           "SOURCE=CCX;DESTINATION=Pan;CONTROL=NOPE",
                           0);
    ASSERT_EQ(routes(cutoff).size(), 1u);
    EXPECT_EQ(routes(cutoff)[0].source, synth.banks[0].cc[72].get()); // 200 & 127
    EXPECT_EQ(routes(cutoff)[0].control, &synth.banks[0].channelPressure);
    EXPECT_FLOAT_EQ(routes(cutoff)[0].amount, 0.5f);
    ASSERT_EQ(routes(pan, 3).size(), 1u);
    EXPECT_EQ(routes(pan, 3)[0].source, synth.banks[0].cc[0].get());
    EXPECT_EQ(routes(pan, 3)[0].control, nullptr);

    // A controller value reaches the parameter through the route, scaled by
    // the control.
    synth.setChannelPressure(0, 127);
    synth.setControllerValue(0, 72, 127);
    EXPECT_FLOAT_EQ(log.last[0], 0.5f);
    EXPECT_TRUE(log.wasModulated[0]);
}

TEST_F(MatrixFixture, DestinationsAndHooks) {
    synth.setModMatrixText("SOURCE=PB;DESTINATION=special\nSOURCE=PB;DESTINATION=nothing\n"
                           "SOURCE=PB;DESTINATION=CUTOFF;MATH=REPLACE",
                           0);
    EXPECT_EQ(synth.specialRoutes, 1);
    EXPECT_TRUE(routes(special).empty());
    EXPECT_EQ(synth.paramActions[cutoff][0].math, 1);
    ASSERT_EQ(synth.resolved.size(), 1u);
    EXPECT_EQ(synth.resolved[0], std::make_tuple(0u, uint64_t{0}, cutoff));

    // An empty text drops every route and puts MATH back.
    synth.setModMatrixText("", 0);
    EXPECT_TRUE(routes(cutoff).empty());
    EXPECT_EQ(synth.paramActions[cutoff][0].math, 2);
}

TEST_F(MatrixFixture, VoiceModesChooseParts) {
    struct Case {
        int32_t mode;
        const char* extra;
        std::vector<uint64_t> parts; // parts of the routes on Zoned, in order
    };
    const Case cases[] = {
        {1, ";TRIGGER_ZONE=3", {0}},
        {3, "", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
        {3, ";TRIGGER_ZONE=3", {3}},
        {3, ";TRIGGER_ZONE=16", {}},
        {5, ";TRIGGER_ZONE=1", {7}}, // layerTarget[1] = 7
        {9, "", {}},
    };
    synth.layerTarget[1] = 7;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        synth.voiceMode = c.mode;
        synth.setModMatrixText((std::string("SOURCE=MONOVEL;DESTINATION=Zoned") + c.extra).c_str(),
                               0);
        // Each part's bank gives its own modulator, so each part adds a route.
        std::vector<uint64_t> parts;
        for (const VSX::ModRoute& r : routes(zoned)) parts.push_back(r.part);
        EXPECT_EQ(parts, c.parts);
    }
    // MPE sources exist for parts 0 and 1 only.
    synth.voiceMode = 3;
    synth.setModMatrixText("SOURCE=MPE_CP;DESTINATION=Zoned", 0);
    std::vector<uint64_t> parts;
    for (const VSX::ModRoute& r : routes(zoned)) parts.push_back(r.part);
    EXPECT_EQ(parts, (std::vector<uint64_t>{0, 1}));
}

// Records what the automation slots report.
class SlotLog : public VSX::AutomSlotListener {
public:
    void onAutomSlotModulated(uint64_t slot, uint16_t field, bool modulated) override {
        last = {slot, field, modulated};
        ++calls;
    }
    std::tuple<uint64_t, uint16_t, bool> last{};
    int calls = 0;
};

TEST_F(MatrixFixture, SlotFieldsAsDestinations) {
    SlotLog slotLog;
    for (uint64_t n = 0; n < 15; ++n) synth.automSlots[n].initAutomSlotParams(n, &slotLog);
    synth.setModMatrixText("SOURCE=CC1;DESTINATION=step3 speed\nSOURCE=CC1;DESTINATION=STEP3 "
                           "SPEEDY\nSOURCE=CC1;DESTINATION=STEP3 FRAMES",
                           0);
    ASSERT_EQ(synth.resolved.size(), 10u); // one per lane
    EXPECT_EQ(synth.resolved[9], std::make_tuple(1u, uint64_t{3}, uint16_t{6}));
    for (size_t lane = 0; lane < 10; ++lane)
        for (size_t v = 0; v < 6; ++v)
            ASSERT_EQ(synth.automSlots[3].lanes[lane].speedActions[v].routes.size(), 1u);

    // Lane 4 follows controller 1 of part 4; the slot's listener is told.
    synth.setControllerValue(4, 1, 127);
    EXPECT_EQ(slotLog.last, std::make_tuple(uint64_t{3}, uint16_t{6}, true));
    EXPECT_FLOAT_EQ(synth.automSlots[3].lanes[4].speed[0], 8.0f); // 1 + 1 x 8, held at 8
    EXPECT_FLOAT_EQ(synth.automSlots[3].lanes[0].speed[0], 1.0f);
}

// Step-data blocks for the "STEP" sources, reset by an empty text.
struct StepSourceFixture : MatrixFixture {
    void SetUp() override {
        MatrixFixture::SetUp();
        for (auto& b : blocks) b.assign(VSX::StepBlock::kSize, 0);
        for (auto& b : blocks) synth.stepBlocks.push_back({b.data(), 0, 0});
        synth.setModMatrixText(nullptr, 0); // gives every block its step layout
        for (uint64_t n = 0; n < 15; ++n) synth.automSlots[n].initAutomSlotParams(n, nullptr);
        synth.quantumManager = &queue;
        synth.syncProvider = &sync;
        queue.rate = 48000.0;
    }
    std::vector<uint8_t> blocks[16];
    vantor::QuantumManager queue;
    testsupport::FixedSync sync;
};

TEST_F(StepSourceFixture, StepSourcesMakeModActions) {
    synth.setAutomSlotActive(2, true);
    synth.setModMatrixText("SOURCE=STEP2;DESTINATION=Pan\nSOURCE=STEP14;DESTINATION=Cutoff\n"
                           "SOURCE=STEP15;DESTINATION=Cutoff\nSOURCE=STEPX;DESTINATION=Cutoff",
                           0);
    VSX::ModAction* a = synth.banks[0].modActions[2];
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->voiceCount(), 6u);
    EXPECT_EQ(a->getVoice(0)->getKind(), VSX::Modulator::kBipolar); // Pan goes below 0
    EXPECT_EQ(routes(pan, 5)[0].source, a->getVoice(5));
    ASSERT_NE(synth.banks[0].modActions[14], nullptr);
    EXPECT_EQ(synth.banks[0].modActions[14]->voiceCount(), 1u);
    ASSERT_EQ(routes(cutoff).size(), 1u); // STEP15 is past the fifteen slots
    EXPECT_TRUE(synth.stepBlocks[2].used);
    EXPECT_TRUE(synth.stepBlocks[14].used);
    EXPECT_FALSE(synth.stepBlocks[15].used);
    // Slot 2 is on: its six voices run on the queue with cookie 0 x 256 + 2.
    ASSERT_EQ(queue.queue.size(), 6u);
    for (const auto& e : queue.queue) EXPECT_EQ(e.cookie, 2u);
    synth.setAutomSlotActive(14, true);
    EXPECT_EQ(queue.queue.size(), 7u);

    // A new text deletes the mod actions and takes their voices off the queue.
    synth.setModMatrixText("", 0);
    EXPECT_EQ(synth.banks[0].modActions[2], nullptr);
    EXPECT_TRUE(queue.queue.empty());
}

TEST_F(StepSourceFixture, UnknownBlockKindInstallsNothing) {
    std::memset(blocks[1].data(), 0, 4); // neither steps nor curve
    synth.setModMatrixText("SOURCE=STEP1;DESTINATION=Cutoff", 0);
    EXPECT_TRUE(routes(cutoff).empty());
}

TEST(DataBlocks, StepBlockReset) {
    std::vector<uint8_t> block(VSX::StepBlock::kSize, 0xAA);
    VSX::resetStepBlock(block.data(), block.size());
    testsupport::expectBytesMatchFixture(block.data(), 64,
                                         "5A570000 40000000 AAAAAAAA BAAAAAAA"
                                         "AAAAAAAA AAAAAAAA AAAAAAAA AAAAAAAA"
                                         "00007F00 20000000 AAAAAAAA AAAAAAAA"
                                         "AAAAAAAA AAAAAAAA AAAAAAAA AAAAAAAA");
    for (size_t i = 64; i < block.size(); ++i) ASSERT_EQ(block[i], 0) << i;

    // A block shorter than the layout is left alone.
    std::vector<uint8_t> small(100, 0xAA);
    VSX::resetStepBlock(small.data(), small.size());
    EXPECT_EQ(small[0], 0xAA);
}

TEST(DataBlocks, CurveBlockReset) {
    std::vector<uint8_t> block(VSX::CurveBlock::kSize, 0xAB); // flag bit 0 set
    VSX::resetCurveBlock(block.data(), block.size());
    testsupport::expectBytesMatchFixture(block.data(), 116,
                                         "65C60000 74000000 01000000 BAABABAB"
                                         "ABABABAB ABABABAB ABABABAB ABABABAB"
                                         "05000000"
                                         "00000000 00000000 00000000 FE000000"
                                         "CDCCCC3E 0000803F 00000000 FF000000"
                                         "9A99993E 9A99193F 1DC925C1 0A000000"
                                         "9A99993E 9A99193F 00000000 FE000000"
                                         "0000803F 00000000 1DC925C1 0A000000");
    for (size_t i = 116; i < block.size(); ++i) ASSERT_EQ(block[i], 0) << i;

    // Flag bit 0 clear: the host's curve stays.
    std::vector<uint8_t> kept(VSX::CurveBlock::kSize, 0xAA);
    VSX::resetCurveBlock(kept.data(), kept.size());
    EXPECT_EQ(kept[0], 0xAA);
}

TEST(DataBlocks, NewTextResetsOnlyBlocksItDoesNotUse) {
    SynthStub synth;
    ValueLog log;
    testsupport::addParameter(synth, "Anything", 0, 1);
    testsupport::buildActions(synth, log);
    std::vector<uint8_t> used(VSX::StepBlock::kSize, 0), spare(VSX::StepBlock::kSize, 0xAA);
    std::vector<uint8_t> curve(VSX::CurveBlock::kSize, 0x01), shortCurve(64, 0x01);
    synth.stepBlocks = {{used.data(), 0, 0}, {spare.data(), 0, 0}};
    synth.curveBlocks = {{curve.data(), 0, 0}, {shortCurve.data(), 64, 0}};
    synth.setModMatrixText(nullptr, 0);
    used[64] = 5; // a step the host wrote
    spare[64] = 5;
    // Only a line that is installed marks its block.
    synth.setModMatrixText("SOURCE=STEP0;DESTINATION=Anything\nSOURCE=STEP1;DESTINATION=Nothing",
                           0);
    EXPECT_EQ(used[64], 5);
    EXPECT_EQ(spare[64], 0);
    EXPECT_EQ(VSX::readBlockU32(curve.data(), 0), VSX::CurveBlock::kId);
    EXPECT_EQ(shortCurve[0], 0x01); // 64 bytes cannot hold a curve
}

} // namespace
