// FM channel renderers: operator lookups, algorithm kernels and output modes
// against values worked out by hand, and the block renderers against the
// plain per-sample model over random sessions.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "emulators/FmChannelRender.h"
#include "emulators/FmChannelRenderKernels.h"
#include "emulators/FmChannelRenderTables.h"
#include "emulators/FmRandomSession.h"
#include "emulators/FmReferenceModel.h"
#include "emulators/FmRegisters.h"
#include "emulators/OPN2_Emu.h"

namespace {

// A DAC curve with a non-zero middle entry, and the linear curve.
std::vector<int16_t> offsetCurve() {
    std::vector<int16_t> c(512);
    for (int i = 0; i < 512; ++i) c[i] = static_cast<int16_t>((i - 256) * 60 + 7);
    return c;
}
std::vector<int16_t> linearCurve() {
    std::vector<int16_t> c(512);
    for (int i = 0; i < 512; ++i) c[i] = static_cast<int16_t>((i - 256) * 64);
    return c;
}

TEST(FmRenderTables, OperatorOutputMatchesLogSineAndExponent) {
    OPN2_Emu chip; // builds the tables
    for (int32_t p = 0; p < 1024; ++p)
        for (uint32_t e = 0; e < 1100; ++e)
            ASSERT_EQ(fmOperatorOutput(p, fmAtten4(e)), fmref::operatorOutput(p, e))
                << "phase " << p << " attenuation " << e;
}

TEST(FmRenderTables, GoldenOperatorOutputs) {
    OPN2_Emu chip;
    struct Case {
        int32_t phase;
        uint32_t attenuation;
        int32_t out;
    };
    const Case cases[] = {
        {256, 0, 8168},                       // log value 0: (1018 x 4 + 4096)
        {768, 0, -8168},                      // most negative full-scale point
        {256, 256, 510},                      // one octave per 256: 8168 >> 4
        {1024 + 256, 0, 8168},                // phases wrap at 1024
        {-768, 0, 8168},       {256, 960, 0}, // attenuations of 960 and above are silent
        {256, 5000, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fmOperatorOutput(c.phase, fmAtten4(c.attenuation)), c.out) << c.phase;
}

// A channel whose operators hold level 0 and a fixed phase (no increment).
class KernelTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureFmRenderTables();
        shared.egCounter = 4;
        ch.shared = &shared;
        for (FmOperator& op : ch.operators) {
            op.eg.egState = kEgSustain;
            op.eg.egLevel = 0;
            op.eg.egKeyOn = 1;
            op.phase = 256u << 11; // positive peak
        }
    }
    int32_t value(bool truncated) {
        prepareOperators(ch, shared.egCounter, 0, 0, 0, scratch, 1);
        if (truncated)
            computeAlgorithmTruncated(ch, scratch, 1);
        else
            computeAlgorithm(ch, scratch, 1);
        return scratch.values[0];
    }
    FmSharedState shared;
    FmChannel ch;
    FmChunkScratch scratch;
};

TEST_F(KernelTest, FourFullScaleCarriersSaturate) {
    struct Case {
        uint32_t phase;
        bool truncated;
        int32_t s;
    };
    const Case cases[] = {
        {256, true, 4080}, {768, true, -4096}, {256, false, 4095}, {768, false, -4096}};
    for (const Case& c : cases) {
        SetUp();
        ch.algorithm = 7;
        const int32_t full = c.phase == 256 ? 8168 : -8168;
        ch.outputs[0] = ch.outputs[2] = full; // S1(t-1)
        for (FmOperator& op : ch.operators) op.phase = c.phase << 11;
        EXPECT_EQ(value(c.truncated), c.s) << c.phase << " " << c.truncated;
    }
}

TEST_F(KernelTest, SingleCarrierAlgorithmsHalveS4) {
    // Algorithms 0-3 give S4 >> 1 in both kernels; modes 0 and 1 drop the low
    // bits in the mix.
    ch.algorithm = 3;
    ch.operators[kOpS2].eg.egLevel = ch.operators[kOpS3].eg.egLevel = 1023;
    ch.operators[kOpS1].eg.egLevel = 1023;
    EXPECT_EQ(value(true), 4084);
    SetUp();
    ch.algorithm = 3;
    ch.operators[kOpS2].eg.egLevel = ch.operators[kOpS3].eg.egLevel = 1023;
    ch.operators[kOpS1].eg.egLevel = 1023;
    EXPECT_EQ(value(false), 4084);
}

TEST_F(KernelTest, FeedbackShiftsTheSumOfTheTwoPreviousOutputs) {
    // S1 at phase 0 with FB 7 and previous outputs 1024 + 1024: phase + 256,
    // the positive peak. FB 0 leaves phase 0.
    for (uint8_t fb : {7, 0}) {
        SetUp();
        ch.feedback = fb;
        ch.operators[kOpS1].phase = 0;
        ch.outputs[0] = ch.outputs[1] = 1024;
        value(false);
        EXPECT_EQ(ch.outputs[0], fb ? 8168 : fmref::operatorOutput(0, 0)) << int(fb);
        EXPECT_EQ(ch.outputs[1], 1024);
        EXPECT_EQ(ch.outputs[2], ch.outputs[0]);
    }
}

TEST(FmBlockRenderer, DacValueByMode) {
    ensureFmRenderTables();
    const std::vector<int16_t> curve = offsetCurve();
    struct Case {
        uint32_t mode;
        uint8_t data;
        int32_t value;
    };
    const Case cases[] = {{3, 128, 0},          {3, 255, 4064},      {3, 0, -4096},
                          {2, 128, 0},          {2, 0, -16384},      {1, 255, 16256},
                          {0, 128, curve[256]}, {0, 255, curve[510]}};
    for (const Case& c : cases) {
        FmSharedState st;
        st.egCounter = 4;
        FmChannel ch; // silent: the DAC still sounds every sample
        ch.shared = &st;
        ch.pan = 3;
        std::vector<int32_t> l(5, 1), r(5, 1);
        renderChannelBlock(FmLayout::A, FmBlockKind::Dac,
                           c.mode)(ch, st, 0, c.data, 1, curve.data(), l.data(), r.data(), 5);
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(l[i], 1 + c.value) << c.mode << " " << int(c.data);
            EXPECT_EQ(r[i], 1 + c.value);
        }
    }
}

TEST(FmBlockRenderer, ZeroFramesOnlyWritesTheCounterBack) {
    OPN2_Emu chip;
    chip.reset();
    chip.write(0x28, 0xF0, 0);
    FmChipState& st = chip.state();
    const FmChannel before = st.channels[0];
    int32_t l = 0, r = 0;
    renderChannelBlock(FmLayout::A, FmBlockKind::Plain, 3)(st.channels[0], st.shared, 0, 0, 0,
                                                           nullptr, &l, &r, 0);
    EXPECT_EQ(fmref::diffState(st, st), "");
    EXPECT_EQ(st.channels[0].operators[0].phase, before.operators[0].phase);
    EXPECT_EQ(st.channels[0].operators[0].eg.egState, before.operators[0].eg.egState);
    EXPECT_EQ(l, 0);
}

TEST(FmBlockRenderer, CsmKeysS1ThenTheOtherOperatorsThenReleases) {
    OPN2_Emu chip;
    chip.reset();
    chip.write(0x24, 0xFA, 0); // reload 1000
    chip.write(0x25, 0x00, 0);
    chip.write(0x27, 0x81, 0); // CSM, load timer A: counts as an overflow
    FmChannel& ch3 = chip.state().channels[2];
    int32_t l = 0, r = 0;
    int32_t* out[2] = {&l, &r};
    // After each sample: csmKeyOn of S1, S3, S2, S4.
    const int expected[4][4] = {{1, 0, 0, 0}, {0, 1, 1, 1}, {0, 0, 0, 0}, {0, 0, 0, 0}};
    for (const auto& row : expected) {
        chip.render32(out, 1);
        for (int k = 0; k < 4; ++k) EXPECT_EQ(ch3.operators[k].csmKeyOn, row[k]) << k;
    }
    // The next overflow: 1024 - 1000 counts after the reload.
    for (int i = 0; i < 20; ++i) chip.render32(out, 1);
    EXPECT_EQ(ch3.operators[kOpS1].csmKeyOn, 0);
    chip.render32(out, 1);
    EXPECT_EQ(ch3.operators[kOpS1].csmKeyOn, 1);
}

TEST(FmBlockRenderer, PlainChannel3LeavesTimerAAlone) {
    OPN2_Emu chip;
    chip.reset();
    chip.write(0x24, 0x10, 0);
    FmChipState& st = chip.state();
    st.shared.timerACounter = 77;
    int32_t buf[2][64] = {};
    int32_t* out[2] = {buf[0], buf[1]};
    chip.render32(out, 64);
    EXPECT_EQ(st.shared.timerACounter, 77);
    EXPECT_EQ(st.shared.timerAOverflow, 0);
}

// ---- Block renderers against single samples and the per-sample model -------

struct EquivalenceCase {
    uint32_t seed;
    uint32_t mode;
    int curve;         // 0 none, 1 offset curve, 2 linear curve
    bool reset = true; // false: straight from construction
};

class BlockEquivalence : public ::testing::TestWithParam<EquivalenceCase> {};

TEST_P(BlockEquivalence, RandomBlocksMatchSingleSamplesAndTheModel) {
    const EquivalenceCase c = GetParam();
    const std::vector<int16_t> offset = offsetCurve(), linear = linearCurve();
    const int16_t* curve = c.curve == 1 ? offset.data() : c.curve == 2 ? linear.data() : nullptr;
    const uint64_t length = 24000;
    const auto events = fmsession::Builder(c.seed).session(length);

    OPN2_Emu block, single, model;
    if (c.reset)
        for (OPN2_Emu* chip : {&block, &single, &model}) chip->reset();
    std::vector<int32_t> bl(length), br(length), sl(length), sr(length), ml(length), mr(length);
    std::mt19937 rng(c.seed * 31 + 7);
    auto render = [&](OPN2_Emu& chip, int32_t* l, int32_t* r, uint64_t n) {
        FmChipState& st = chip.state();
        renderChannels(st, FmDispatch::Direct, st.shared.timerARunning, st.dacEnabled, curve,
                       c.mode, l, r, static_cast<uint32_t>(n));
    };
    size_t e = 0;
    uint64_t t = 0;
    while (t < length) {
        for (; e < events.size() && events[e].at == t; ++e)
            for (OPN2_Emu* chip : {&block, &single, &model}) fmsession::apply(*chip, events[e]);
        const uint64_t next = e < events.size() ? events[e].at : length;
        const uint64_t n =
            std::min<uint64_t>(next - t, std::uniform_int_distribution<int>(1, 700)(rng));
        render(block, &bl[t], &br[t], n);
        for (uint64_t i = t; i < t + n; ++i) {
            render(single, &sl[i], &sr[i], 1);
            const fmref::Sample s = fmref::step(model.state(), c.mode, curve);
            for (int k = 0; k < 6; ++k) {
                ml[i] += s.left[k];
                mr[i] += s.right[k];
            }
        }
        t += n;
        ASSERT_EQ(fmref::diffState(block.state(), single.state()), "") << "at " << t;
        ASSERT_EQ(fmref::diffState(block.state(), model.state()), "") << "at " << t;
    }
    for (uint64_t i = 0; i < length; ++i) {
        ASSERT_EQ(bl[i], sl[i]) << "left " << i;
        ASSERT_EQ(br[i], sr[i]) << "right " << i;
        ASSERT_EQ(bl[i], ml[i]) << "left " << i;
        ASSERT_EQ(br[i], mr[i]) << "right " << i;
    }
    // Something must have sounded.
    EXPECT_TRUE(std::any_of(bl.begin(), bl.end(), [](int32_t v) { return v != 0; }));
}

INSTANTIATE_TEST_SUITE_P(Sessions, BlockEquivalence,
                         ::testing::Values(EquivalenceCase{1, 3, 0}, EquivalenceCase{2, 3, 0},
                                           EquivalenceCase{3, 2, 0}, EquivalenceCase{4, 1, 0},
                                           EquivalenceCase{5, 0, 1}, EquivalenceCase{6, 0, 2},
                                           EquivalenceCase{7, 3, 0}, EquivalenceCase{8, 0, 1},
                                           EquivalenceCase{9, 1, 0}, EquivalenceCase{10, 2, 0},
                                           EquivalenceCase{11, 3, 0, false},
                                           EquivalenceCase{12, 0, 1, false}));

TEST(FmBlockRenderer, FreshChipKeepsDerivedRatesAcrossLfoSteps) {
    // Straight from construction, with only the LFO written: the block path
    // and the model (which recomputes every channel at each LFO step) agree.
    OPN2_Emu block, model;
    block.write(0x22, 0x0F, 0);
    model.write(0x22, 0x0F, 0);
    std::vector<int32_t> l(400), r(400);
    FmChipState& st = block.state();
    renderChannels(st, FmDispatch::Direct, 0, 0, nullptr, 3, l.data(), r.data(), 400);
    for (int i = 0; i < 400; ++i) fmref::step(model.state(), 3, nullptr);
    EXPECT_EQ(fmref::diffState(block.state(), model.state()), "");
    EXPECT_EQ(block.state().channels[0].operators[0].eg.rrRate, 2);
}

TEST(FmBlockRenderer, LinearCurveGivesModeOne) {
    const std::vector<int16_t> linear = linearCurve();
    const uint64_t length = 6000;
    const auto events = fmsession::Builder(42).session(length);
    OPN2_Emu a, b;
    a.reset();
    b.reset();
    std::vector<int32_t> al(length), ar(length), bl(length), br(length);
    size_t e = 0;
    for (uint64_t t = 0; t < length; ++t) {
        for (; e < events.size() && events[e].at == t; ++e) {
            fmsession::apply(a, events[e]);
            fmsession::apply(b, events[e]);
        }
        renderChannels(a.state(), FmDispatch::Direct, a.state().shared.timerARunning,
                       a.state().dacEnabled, linear.data(), 0, &al[t], &ar[t], 1);
        renderChannels(b.state(), FmDispatch::Direct, b.state().shared.timerARunning,
                       b.state().dacEnabled, nullptr, 1, &bl[t], &br[t], 1);
    }
    EXPECT_EQ(al, bl);
    EXPECT_EQ(ar, br);
}

} // namespace

TEST(FmBlockRenderer, SilentAdvanceMovesTheChipAsTheRender) {
    // Every channel silent with its own pitch sensitivity and pitch: moved on
    // in closed form, the chip reaches the state the block render gives it
    // (phases, increments, LFO, EG counter), under each LFO rate.
    for (uint8_t lfo : {0x00, 0x08, 0x0B, 0x0E, 0x0F}) {
        SCOPED_TRACE(int(lfo));
        OPN2_Emu rendered, advanced;
        for (OPN2_Emu* chip : {&rendered, &advanced}) {
            chip->write(0x22, lfo, 0);
            for (uint8_t c = 0; c < 6; ++c) {
                const uint64_t port = c / 3;
                const uint8_t ch = c % 3;
                chip->write(0xB4 + ch, uint8_t(0xC0 | (c == 4 ? 0 : c + 2)), port);
                chip->write(0xA4 + ch, uint8_t((c << 3) | (c & 3)), port);
                chip->write(0xA0 + ch, uint8_t(0x35 + 37 * c), port);
                for (uint8_t slot : {0, 4, 8, 12}) chip->write(0x30 + slot + ch, 0x31, port);
            }
        }
        std::vector<int32_t> l(700), r(700);
        for (uint32_t n : {1u, 5u, 700u, 13u, 333u, 64u, 2u, 600u}) {
            ASSERT_TRUE(fmChannelsSilent(advanced.state()));
            renderChannels(rendered.state(), FmDispatch::Direct, 0, 0, nullptr, 3, l.data(),
                           r.data(), n);
            advanceSilentChannels(advanced.state(), n);
            EXPECT_EQ(fmref::diffState(advanced.state(), rendered.state()), "") << n;
        }
    }
}
