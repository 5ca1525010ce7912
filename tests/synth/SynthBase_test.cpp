// The synth base: parameter lookup by name, the note-on and MIDI values of
// the modulator banks, bank resets and route clearing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "synth/SynthStub.h"

namespace {

using vantor::ParameterInfo;

// Logs the two notifications of a publish in order.
class Order : public VSX::ModListener {
public:
    void onModulatorChanged(VSX::Modulator*, bool) override { log += "C"; }
    void onModulatorEvent(VSX::Modulator*, int a, int b) override {
        log += "E" + std::to_string(a) + std::to_string(b);
    }
    std::string log;
};

TEST(SynthParams, FindParameter) {
    testsupport::SynthStub synth;
    auto add = [&](const char* label) { synth.parameters.emplace_back(label, 0, 0, 1, 0, 0, 0); };
    add("Volume");
    add(nullptr);  // no label: never found
    add("VOLUME"); // differs only in case: the lower index wins
    add("L01 Amp (steps)");
    add("L01 Amp");
    add("Amp");
    synth.parameters.emplace_back();
    synth.parameters.back().label = new char[1]{0}; // an empty label

    struct Case {
        const char* name;
        size_t length;
        int expected; // -1: no match
    };
    const Case cases[] = {
        {"VOLUME", 6, 0},   {"VOLUMEX", 6, 0}, // only `length` bytes of the query count
        {"volume", 6, -1},                     // the query is not upper-cased
        {"VOL", 3, -1},                        // a longer label is not a prefix match
        {"VOLUMES", 7, -1},                    // a shorter label stops at its end
        {"L01 AMP", 7, 4},  {"L01 AMP (STEPS)", 15, 3}, {"AMP", 3, 5},
        {"", 0, 6},         {"NOTHING", 7, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        uint16_t index = 1234;
        ParameterInfo* p = synth.findParameter(c.name, c.length, &index);
        if (c.expected < 0) {
            EXPECT_EQ(p, nullptr);
            EXPECT_EQ(index, 0xFFFF);
        } else {
            EXPECT_EQ(p, &synth.parameters[c.expected]);
            EXPECT_EQ(index, c.expected);
        }
    }
}

TEST(SynthBase, NoteOnValues) {
    testsupport::SynthStub synth;
    VSX::PartModBank& b = synth.banks[3];
    Order order;
    b.polyVelocity[2].addListener(&order);

    synth.noteOnModulators(3, 2, 127, 127);
    EXPECT_EQ(order.log, "E10C");
    EXPECT_FLOAT_EQ(b.polyAlt[2].value, 1.0f);
    EXPECT_FLOAT_EQ(b.monoAlt.value, 1.0f);
    EXPECT_FLOAT_EQ(b.polyKeyTrack[2].value, 67.0f);
    EXPECT_FLOAT_EQ(b.polyVelocity[2].value, 127 * 0.007874016f);
    EXPECT_FLOAT_EQ(b.polyKey[2].value, 127.0f);
    EXPECT_FLOAT_EQ(b.monoKey.value, 127.0f);
    EXPECT_TRUE(b.polyRandom[2].active && b.monoRandom.active);
    EXPECT_FALSE(b.polyAlt[0].active);

    synth.noteOnModulators(3, 5, 0, 64); // another voice: the toggle is per part
    EXPECT_FLOAT_EQ(b.polyAlt[5].value, 0.0f);
    EXPECT_FLOAT_EQ(b.monoAlt.value, 0.0f);
    EXPECT_FLOAT_EQ(b.polyKeyTrack[5].value, -60.0f);
    EXPECT_FLOAT_EQ(b.monoKeyTrack.value, -60.0f);
    EXPECT_FLOAT_EQ(b.polyKeyTrack[5].getMin(), -127.0f);
    EXPECT_FLOAT_EQ(b.polyKeyTrack[5].getMax(), 127.0f);

    // Outside parts and voices change nothing.
    synth.noteOnModulators(10, 0, 60, 100);
    synth.noteOnModulators(3, 6, 60, 100);
    EXPECT_FLOAT_EQ(b.monoKey.value, 0.0f);
}

TEST(SynthBase, MidiValues) {
    testsupport::SynthStub synth;
    VSX::PartModBank& b = synth.banks[0];
    struct Case {
        float bend, pb, pos, neg;
    };
    for (const Case& c : {Case{0.5f, 0.5f, 0.5f, 0.0f}, Case{-1.0f, -1.0f, 0.0f, 1.0f}}) {
        synth.setPitchBend(0, c.bend);
        EXPECT_FLOAT_EQ(b.pitchBend.value, c.pb);
        EXPECT_FLOAT_EQ(b.pitchBendPos.value, c.pos);
        EXPECT_FLOAT_EQ(b.pitchBendNeg.value, c.neg);
    }
    synth.setProgram(0, 5);
    EXPECT_FLOAT_EQ(b.programChange.value, 5.0f);
    synth.setChannelPressure(0, 127);
    EXPECT_NEAR(b.channelPressure.value, 1.0f, 1e-6f);
    synth.setPolyAftertouch(0, 4, 0);
    EXPECT_TRUE(b.polyAftertouch[4].active);
    synth.setExpression(0, 1, 2, -30.0f);
    EXPECT_FLOAT_EQ(b.expression[2][1].value, -30.0f);
    synth.setExpression(0, 1, 8, 1.0f); // no such kind

    // Controller messages never create a controller modulator.
    synth.setControllerValue(0, 7, 100);
    EXPECT_EQ(b.cc[7], nullptr);
    VSX::MIDI7Modulator* cc7 = synth.useControllerModulator(0, 7);
    ASSERT_NE(cc7, nullptr);
    EXPECT_FALSE(cc7->active);
    synth.setControllerValue(0, 7, 127);
    EXPECT_FLOAT_EQ(cc7->value, 1.0f);
    EXPECT_TRUE(cc7->active);
    synth.resetPartBank(0);
    EXPECT_FALSE(cc7->active);
    EXPECT_EQ(synth.useControllerModulator(0, 7), cc7); // holds a value: active again
    EXPECT_TRUE(cc7->active);
    EXPECT_EQ(synth.useControllerModulator(0, 200), nullptr);
    EXPECT_EQ(synth.useControllerModulator(10, 1), nullptr);

    synth.setMpePressure(1, 5, 127);
    EXPECT_NEAR(synth.mpePressureModulator(1, 5)->value, 1.0f, 1e-6f);
    synth.setMpeTimbre(1, 5, 0);
    EXPECT_TRUE(synth.mpeTimbreModulator(1, 5)->active);
    EXPECT_FALSE(synth.mpePressureModulator(0, 5)->active);
    EXPECT_EQ(synth.mpePressureModulator(2, 0), nullptr); // only parts 0 and 1
    EXPECT_EQ(synth.mpeTimbreModulator(0, 16), nullptr);
    EXPECT_EQ(synth.mpePitchBendModulator(1, 16), nullptr);
}

TEST(SynthBase, ClearingRoutes) {
    testsupport::SynthStub synth;
    synth.parameters.emplace_back("Cutoff", 0, 0, 1, 0.25f, 0x0F, 0);
    struct Sink : VSX::ParameterActionListener {
        void onParameterAction(float v, uint64_t, uint16_t, bool) override { value = v; }
        float value = -1.0f;
    } sink;
    synth.paramActions.resize(1);
    synth.paramActions[0].resize(1);
    synth.paramActions[0][0].init(0, 0, &synth.parameters[0], &sink);
    VSX::PartModBank& b = synth.banks[0];
    synth.noteOnModulators(0, 0, 64, 127);
    VSX::ModRoute r;
    r.source = &b.polyVelocity[0];
    r.amount = 0.5f;
    synth.paramActions[0][0].addRoute(r);
    synth.paramActions[0][0].setMath(VSX::ParameterAction::kAccum);
    EXPECT_NEAR(sink.value, 0.75f, 1e-6f);
    synth.setMpePressure(0, 0, 10);
    synth.stepBlocks.push_back({nullptr, 0, 1});

    synth.clearModRoutes();
    EXPECT_TRUE(synth.paramActions[0][0].routes.empty());
    EXPECT_EQ(synth.paramActions[0][0].math, VSX::ParameterAction::kOffset);
    EXPECT_FLOAT_EQ(sink.value, 0.25f);
    EXPECT_TRUE(b.polyVelocity[0].listeners.empty());
    EXPECT_FALSE(b.polyVelocity[0].active);
    EXPECT_FLOAT_EQ(b.polyVelocity[0].value, 1.0f); // values stay
    EXPECT_TRUE(b.polyAlt[0].active);               // the alternation is never reset
    EXPECT_TRUE(b.monoAlt.active);
    EXPECT_FALSE(synth.mpePressureModulator(0, 0)->active);
    EXPECT_EQ(synth.stepBlocks[0].used, 0);
}

} // namespace
