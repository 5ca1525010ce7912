#include <gtest/gtest.h>

#include <algorithm>

#include "emulators/FmPhase.h"
#include "emulators/FmTables.h"

namespace {

class PhaseFixture : public ::testing::Test {
protected:
    FmSharedState shared;
    FmChannel ch;

    void SetUp() override {
        ensureFmTables();
        ch.shared = &shared;
    }
    void setFrequency(uint32_t variant, uint16_t fnum, uint8_t block) {
        shared.variant = variant;
        ch.fnum[3] = fnum;
        ch.block[3] = block;
    }
};

TEST(FmPitchModulation, OffsetsForFullFnum) {
    struct Case {
        uint8_t pms;
        uint8_t step;
        int32_t pm;
    };
    // Steps 0-63 raise the pitch, steps 64-127 lower it.
    const Case cases[] = {
        {7, 28, 190}, {7, 92, -190}, {1, 28, 7},   {1, 92, -7},
        {0, 92, 0},   {6, 92, -95},  {5, 92, -47}, {4, 28, 31}, // e = 4: x = 127, quartered
        {7, 32, 190}, {7, 35, 190},  {7, 36, 158},              // bit 5 mirrors i
        {7, 0, 0},    {7, 64, 0},    {7, 127, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(pmOffset(0x7FF, c.pms, c.step), c.pm) << int(c.pms) << " @" << int(c.step);
}

TEST_F(PhaseFixture, PhaseIncrementsFromFrequencyDetuneAndMultiple) {
    struct Case {
        uint32_t variant;
        uint16_t fnum;
        uint8_t block, detune, multiple;
        uint32_t keyCode;
        uint32_t phaseInc;
    };
    const Case cases[] = {
        {4, 0x400, 4, 0, 1, 18, 16384},
        {4, 0x400, 4, 0, 0, 18, 8192}, // multiple 0 is half of multiple 1
        {4, 0x400, 4, 0, 2, 18, 32768},
        {4, 0x7FF, 7, 3, 15, 31, 3930900},
        {4, 0x000, 0, 7, 1, 0, 262140}, // negative detune wraps modulo 2^17
        {4, 0x380, 2, 1, 1, 9, 0x380 * 4 + 2},
        {1, 0x400, 4, 0, 1, 18, 16384},
        {0, 0x400, 4, 0, 1, 18, 16384},
        {0, 0x000, 0, 7, 1, 0, 0xFFFFFFFCu}, // YM2203: (2 x (0 - 4)) >> 1
        {4, 0x7FF, 0, 3, 15, 3, 30750},      // (1023 + 2) x 30
        {0, 0x7FF, 0, 3, 15, 3, 30765},      // YM2203: (30 x (2047 + 4)) >> 1
    };
    for (const Case& c : cases) {
        setFrequency(c.variant, c.fnum, c.block);
        for (FmOperator& op : ch.operators) {
            op.detune = c.detune;
            op.multiple = c.multiple;
        }
        updateFrequencies(ch, 0, 0);
        for (const FmOperator& op : ch.operators) {
            EXPECT_EQ(op.keyCode, c.keyCode) << c.fnum;
            EXPECT_EQ(op.phaseInc, c.phaseInc) << "variant " << c.variant << " fnum " << c.fnum;
        }
    }
}

TEST_F(PhaseFixture, KeyCodeFeedsEnvelopeRates) {
    setFrequency(4, 0x7FF, 7); // key code 31
    FmOperator& op = ch.operators[kOpS1];
    op.attackRate = 10;
    op.keyScale = 3;
    updateFrequencies(ch, 0, 0);
    EXPECT_EQ(op.eg.arRate, 51);
}

TEST_F(PhaseFixture, SpecialModeGivesChannelThreeOperatorsTheirOwnFrequency) {
    setFrequency(4, 0x400, 4);
    ch.fnum[0] = 0x100; // S1
    ch.block[0] = 4;
    ch.fnum[1] = 0x200; // S3
    ch.block[1] = 4;
    ch.fnum[2] = 0x300; // S2
    ch.block[2] = 4;
    for (FmOperator& op : ch.operators) op.multiple = 1;
    updateFrequencies(ch, 0, 0);
    for (const FmOperator& op : ch.operators) EXPECT_EQ(op.phaseInc, 16384u);
    ch.specialMode = 1;
    updateFrequencies(ch, 0, 0);
    EXPECT_EQ(ch.operators[kOpS1].phaseInc, 4096u);
    EXPECT_EQ(ch.operators[kOpS3].phaseInc, 8192u);
    EXPECT_EQ(ch.operators[kOpS2].phaseInc, 12288u);
    EXPECT_EQ(ch.operators[kOpS4].phaseInc, 16384u);
}

TEST_F(PhaseFixture, PitchModulationWrapsModulo4096AndS1UsesCurrentStep) {
    setFrequency(4, 0x7FF, 0);
    ch.pms = 7;
    for (FmOperator& op : ch.operators) op.multiple = 1;
    updateFrequencies(ch, 28, 92); // S1: +190, the others: -190
    // S1: (4094 + 190) mod 4096 = 188 -> (188 >> 2) x 2; others: 3904 -> 976 x 2.
    EXPECT_EQ(ch.operators[kOpS1].phaseInc, 94u);
    EXPECT_EQ(ch.operators[kOpS3].phaseInc, 1952u);
    EXPECT_EQ(ch.operators[kOpS2].phaseInc, 1952u);
    EXPECT_EQ(ch.operators[kOpS4].phaseInc, 1952u);
}

TEST(FmPhaseGenerator, StepReturnsPhaseBeforeIncrementAndWraps) {
    FmOperator op;
    op.phase = 0x1FFFFF;
    op.phaseInc = 0x1000;
    EXPECT_EQ(pgStep(op, false), 0x3FFu);
    EXPECT_EQ(op.phase, 0xFFFu);
    EXPECT_EQ(pgStep(op, true), 0u); // a reset restarts from 0 before the increment
    EXPECT_EQ(op.phase, 0x1000u);
}

TEST(FmPhaseGenerator, AdvanceByEqualsSingleSteps) {
    const uint32_t incs[] = {0, 1, 16384, 3930900, 0xFFFFFFFCu};
    const uint32_t counts[] = {0, 1, 127, 128, 100000, 3000000};
    for (uint32_t inc : incs) {
        for (uint32_t n : counts) {
            FmOperator a, b;
            a.phase = b.phase = 12345;
            a.phaseInc = b.phaseInc = inc;
            for (uint32_t i = 0; i < n; ++i) pgStep(a, false);
            pgAdvanceBy(b, n);
            EXPECT_EQ(a.phase, b.phase) << inc << " x " << n;
        }
    }
}

TEST(FmPhaseGenerator, OnlyARisingKeyResetsThePhase) {
    FmOperator op;
    op.phase = 5000;
    pgKey(op, 1);
    EXPECT_EQ(op.phase, 0u);
    op.phase = 5000;
    pgKey(op, 1); // already keyed
    EXPECT_EQ(op.phase, 5000u);
    pgKey(op, 0);
    EXPECT_EQ(op.phase, 5000u);
    pgKey(op, 1);
    EXPECT_EQ(op.phase, 0u);
}

TEST(FmLfo, StepsOncePerPeriodAndBuildsTheAmTriangle) {
    ensureFmTables();
    FmSharedState s;
    s.lfoOn = 1;
    s.lfoRate = 0; // 108 samples per step
    int changes = 0;
    for (int i = 0; i < 108 * 3; ++i)
        if (lfoTick(s)) ++changes;
    EXPECT_EQ(s.lfoStep, 3);
    EXPECT_EQ(changes, 5); // each step change, and the previous step catching up
    EXPECT_EQ(s.lfoAm, 60u);

    s.lfoRate = 7; // 5 samples per step
    uint32_t least = 63;
    while (s.lfoStep != 64) {
        lfoTick(s);
        least = std::min(least, s.lfoAm);
    }
    EXPECT_EQ(s.lfoAm, 0u); // step 64: bit 6 set, 0 + 0
    EXPECT_EQ(least, 0u);
    while (s.lfoStep != 127) lfoTick(s);
    EXPECT_EQ(s.lfoAm, 63u);
}

TEST(FmLfo, PreviousStepAndAmLagOneSample) {
    ensureFmTables();
    FmSharedState s;
    s.lfoOn = 1;
    s.lfoRate = 7;
    for (int i = 0; i < 5; ++i) lfoTick(s);
    EXPECT_EQ(s.lfoStep, 1);
    EXPECT_EQ(s.lfoPrevStep, 0);
    EXPECT_EQ(s.lfoAm, 62u);
    EXPECT_EQ(s.lfoPrevAm, 63u);
    EXPECT_TRUE(lfoTick(s));
    EXPECT_EQ(s.lfoPrevStep, 1);
    EXPECT_EQ(s.lfoPrevAm, 62u);
}

TEST(FmLfo, TurningOffResetsStepAndThenStaysQuiet) {
    ensureFmTables();
    FmSharedState s;
    s.lfoOn = 1;
    s.lfoRate = 7;
    for (int i = 0; i < 52; ++i) lfoTick(s);
    ASSERT_GT(s.lfoStep, 0);
    s.lfoOn = 0;
    EXPECT_TRUE(lfoTick(s));
    EXPECT_EQ(s.lfoStep, 0);
    EXPECT_EQ(s.lfoAm, 0u);
    EXPECT_EQ(s.lfoSubCounter, 0u);
    lfoTick(s); // the previous step catches up
    for (int i = 0; i < 50; ++i) EXPECT_FALSE(lfoTick(s));
    EXPECT_EQ(lfoSamplesToEvent(s), UINT32_MAX);
}

TEST(FmLfo, SamplesToNextEvent) {
    ensureFmTables();
    FmSharedState s;
    s.lfoOn = 1;
    s.lfoRate = 0;
    EXPECT_EQ(lfoSamplesToEvent(s), 1u); // just switched on: AM jumps to 63
    s.lfoAm = 63;
    s.lfoSubCounter = 8;
    EXPECT_EQ(lfoSamplesToEvent(s), 100u);
    s.lfoSubCounter = 108;
    EXPECT_EQ(lfoSamplesToEvent(s), 1u);
    s.lfoSubCounter = 0;
    s.lfoStep = 4;
    EXPECT_EQ(lfoSamplesToEvent(s), 1u); // previous step lags
    s.lfoPrevStep = 4;
    s.lfoOn = 0;
    EXPECT_EQ(lfoSamplesToEvent(s), 1u); // off with a step to clear
}

} // namespace
