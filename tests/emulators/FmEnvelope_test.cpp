#include <gtest/gtest.h>

#include <vector>

#include "emulators/FmEnvelope.h"

namespace {

// The counter values of one envelope-counter cycle, from 4, by single ticks.
std::vector<uint16_t> counterCycle() {
    std::vector<uint16_t> cycle;
    uint16_t c = 4;
    do {
        cycle.push_back(c);
        c = egAdvanceCounter(c);
    } while (c != 4 && cycle.size() < 20000);
    return cycle;
}

// One envelope driven sample by sample with the chip's counter.
class EnvelopeFixture : public ::testing::Test {
protected:
    FmEnvelope eg;
    uint16_t counter = 4;
    bool phaseReset = false;

    void useVariant(bool ym2612) {
        eg.keyOnDelayFast = ym2612 ? 1 : 2;
        eg.keyOnDelay = ym2612 ? 0 : 1;
    }
    uint32_t step() {
        phaseReset = false;
        uint32_t out = egStep(eg, counter, phaseReset);
        counter = egAdvanceCounter(counter);
        return out;
    }
    // Steps until the next sample in which the operator's slot is due has run.
    void stepSlot() {
        while ((counter & 3) != eg.egSlot) step();
        step();
    }
};

TEST(FmEnvelopeRates, EffectiveRatesFromRegistersAndKeyCode) {
    struct Case {
        uint8_t attack, release, keyScale, keyCode;
        uint8_t arRate, rrRate;
    };
    const Case cases[] = {
        {31, 0, 0, 0, 62, 2},   {31, 15, 3, 31, 62, 62}, {10, 7, 3, 31, 51, 61},
        {10, 7, 2, 31, 35, 45}, {10, 7, 1, 31, 27, 37},  {10, 7, 0, 31, 23, 33},
        {0, 0, 3, 31, 0, 33},   {1, 1, 0, 8, 3, 7},
    };
    for (const Case& c : cases) {
        FmOperator op;
        op.attackRate = c.attack;
        op.decayRate = c.attack;
        op.sustainRate = c.attack;
        op.releaseRate = c.release;
        op.keyScale = c.keyScale;
        op.keyCode = c.keyCode;
        egRates(op);
        EXPECT_EQ(op.eg.arRate, c.arRate) << int(c.attack) << "/" << int(c.keyScale);
        EXPECT_EQ(op.eg.d1rRate, c.arRate);
        EXPECT_EQ(op.eg.d2rRate, c.arRate);
        EXPECT_EQ(op.eg.rrRate, c.rrRate);
    }
}

TEST(FmEnvelopeRates, SustainLevelFifteenIsNearSilence) {
    EXPECT_EQ(egSustainLevel10(15), 992);
    EXPECT_EQ(egSustainLevel10(14), 448);
    EXPECT_EQ(egSustainLevel10(0), 0);
}

TEST(FmEnvelopeCounter, CyclesThroughLowBitsZeroOneTwo) {
    std::vector<uint16_t> cycle = counterCycle();
    ASSERT_EQ(cycle.size(), 12285u);
    EXPECT_EQ(cycle[1], 5);
    EXPECT_EQ(cycle[2], 6);
    EXPECT_EQ(cycle[3], 8);
    EXPECT_EQ(cycle.back(), 16382);
    for (uint16_t c : cycle) EXPECT_NE(c & 3, 3);
    // From the cleared state after construction the counter enters the cycle.
    EXPECT_EQ(egAdvanceCounter(0), 1);
    EXPECT_EQ(egAdvanceCounter(2), 4);
}

// The closed form must equal n single ticks from every counter position.
TEST(FmEnvelopeCounter, ClosedFormEqualsSingleTicksEverywhere) {
    const std::vector<uint16_t> cycle = counterCycle();
    const uint32_t len = static_cast<uint32_t>(cycle.size());
    int mismatches = 0;
    for (uint32_t start = 0; start < len; ++start) {
        for (uint32_t n = 0; n < len; ++n) {
            uint32_t want = start + n;
            if (want >= len) want -= len;
            if (egAdvanceCounterBy(cycle[start], n) != cycle[want] && ++mismatches < 5)
                ADD_FAILURE() << "counter " << cycle[start] << " n " << n;
        }
    }
    EXPECT_EQ(mismatches, 0);
    // Counts of a cycle or more reduce modulo the cycle length.
    const uint32_t bigCounts[] = {len, len + 1, 2 * len + 77, 1000000, 0xFFFFFFFFu};
    for (uint32_t start : {0u, 1u, 4000u, len - 1}) {
        for (uint32_t n : bigCounts)
            EXPECT_EQ(egAdvanceCounterBy(cycle[start], n), cycle[(start + n % len) % len]) << n;
    }
    // Counter 0, 1, 2 (before the first reset) step singly into the cycle.
    for (uint16_t c0 : {0, 1, 2}) {
        uint16_t single = c0;
        for (uint32_t n = 0; n < 3 * len; ++n) {
            ASSERT_EQ(egAdvanceCounterBy(c0, n), single) << c0 << " " << n;
            single = egAdvanceCounter(single);
        }
    }
}

TEST_F(EnvelopeFixture, FastAttackKeyOnDelayOnYm2612) {
    useVariant(true);
    eg.arRate = 62;
    eg.sustainLevel10 = 992;
    egKey(eg, 1, 0);
    EXPECT_EQ(eg.egState, kEgKeyOnDelay);
    EXPECT_EQ(step(), 0u); // level 0 at once
    EXPECT_EQ(eg.egState, kEgKeyOnDelay);
    step();
    EXPECT_EQ(eg.egState, kEgAttack);
    stepSlot(); // the first rate step leaves the attack
    EXPECT_EQ(eg.egState, kEgDecay);
    EXPECT_EQ(eg.egLevel, 0);
}

TEST_F(EnvelopeFixture, FastAttackNeedsOneMoreStepOnOtherVariants) {
    useVariant(false);
    eg.arRate = 62;
    egKey(eg, 1, 0);
    step();
    step();
    EXPECT_EQ(eg.egState, kEgKeyOnDelay);
    step();
    EXPECT_EQ(eg.egState, kEgAttack);
}

TEST_F(EnvelopeFixture, AttackAtRateSixtyHalvesTheLevelPerStep) {
    useVariant(true);
    eg.arRate = 60;
    egKey(eg, 1, 0);
    step(); // key-on delay of 0 steps
    ASSERT_EQ(eg.egState, kEgAttack);
    const int32_t expected[] = {511, 255, 127, 63, 31, 15, 7, 3, 1, 0};
    for (int32_t level : expected) {
        stepSlot();
        EXPECT_EQ(eg.egLevel, level);
    }
    EXPECT_EQ(eg.egState, kEgDecay);
}

TEST_F(EnvelopeFixture, KeyOnWhileKeyedChangesNothing) {
    useVariant(true);
    eg.arRate = 60;
    egKey(eg, 1, 0);
    for (int i = 0; i < 20; ++i) step();
    FmEnvelope before = eg;
    egKey(eg, 1, 0);
    EXPECT_EQ(eg.egState, before.egState);
    EXPECT_EQ(eg.egStateCounter, before.egStateCounter);
}

TEST_F(EnvelopeFixture, DecayReachesSustainLevelThenSwitchesRate) {
    eg.egState = kEgDecay;
    eg.egKeyOn = 1;
    eg.egLevel = 0;
    eg.d1rRate = 60; // +8 per step
    eg.d2rRate = 0;
    eg.sustainLevel10 = egSustainLevel10(15);
    for (int i = 0; i < 124; ++i) stepSlot();
    EXPECT_EQ(eg.egLevel, 992);
    EXPECT_EQ(eg.egState, kEgDecay);
    stepSlot();
    EXPECT_EQ(eg.egState, kEgSustain);
    EXPECT_EQ(eg.egLevel, 992);
}

// Increments added over one whole counter cycle (4095 envelope cycles) at a
// fixed rate, with the key held in the sustain state.
TEST(FmEnvelopeRateStep, IncrementsPerCounterCycle) {
    struct Case {
        uint8_t rate;
        int32_t total;
    };
    const Case cases[] = {{0, 0},     {2, 1},     {4, 2},     {44, 2048},  {45, 2560}, {46, 3072},
                          {47, 3584}, {48, 4095}, {49, 5118}, {60, 32760}, {63, 32760}};
    const std::vector<uint16_t> cycle = counterCycle();
    for (const Case& c : cases) {
        FmEnvelope eg;
        eg.egState = kEgSustain;
        eg.egKeyOn = 1;
        eg.egLevel = 0;
        eg.d2rRate = c.rate;
        int32_t total = 0;
        bool reset = false;
        for (uint16_t counter : cycle) {
            int32_t before = eg.egLevel;
            egStep(eg, counter, reset);
            total += eg.egLevel - before;
            if (eg.egLevel > 500) eg.egLevel = 0;
        }
        EXPECT_EQ(total, c.total) << "rate " << int(c.rate);
    }
}

TEST_F(EnvelopeFixture, SlotOneStepsOnlyWhenCounterLowBitsAreOne) {
    eg.egSlot = 1;
    eg.egState = kEgSustain;
    eg.egKeyOn = 1;
    eg.egLevel = 0;
    eg.d2rRate = 60;
    for (int i = 0; i < 30; ++i) {
        uint16_t c = counter;
        int32_t before = eg.egLevel;
        step();
        EXPECT_EQ(eg.egLevel != before, (c & 3) == 1) << c;
    }
}

TEST_F(EnvelopeFixture, ReleaseRegisterZeroStillReleases) {
    FmOperator op;
    op.releaseRate = 0;
    egRates(op);
    EXPECT_EQ(op.eg.rrRate, 2);
    eg.rrRate = op.eg.rrRate;
    eg.egState = kEgDecay;
    eg.egKeyOn = 1;
    eg.egLevel = 100;
    egKey(eg, 0, 0);
    for (size_t i = 0; i < counterCycle().size(); ++i) step();
    EXPECT_EQ(eg.egState, kEgSustain);
    EXPECT_EQ(eg.egLevel, 101);
}

TEST_F(EnvelopeFixture, SsgModeNineHoldsSilenceAfterDecayPasses512) {
    useVariant(true);
    eg.ssgEg = 9;
    eg.arRate = 62;
    eg.d1rRate = 60; // +32 per step in SSG mode
    eg.sustainLevel10 = egSustainLevel10(15);
    egKey(eg, 1, 0);
    EXPECT_EQ(step(), 0u);
    int guard = 0;
    while (eg.egLevel < 512 && ++guard < 1000) step();
    ASSERT_EQ(eg.egLevel, 512);
    step();
    EXPECT_EQ(eg.egLevel, 1023);
    for (int i = 0; i < 500; ++i) EXPECT_EQ(step(), 1023u);
}

TEST_F(EnvelopeFixture, SsgModeTenTogglesInversionAndRestartsAttack) {
    useVariant(true);
    eg.ssgEg = 10;
    eg.arRate = 62;
    eg.d1rRate = 60;
    eg.sustainLevel10 = egSustainLevel10(15);
    egKey(eg, 1, 0);
    std::vector<int> inversions;
    uint8_t last = eg.ssgInverted;
    for (int i = 0; i < 2000; ++i) {
        step();
        if (eg.ssgInverted != last) {
            last = eg.ssgInverted;
            inversions.push_back(last);
            EXPECT_EQ(eg.egLevel, 0) << "attack restarts at once with rate 62";
            EXPECT_NE(eg.egState, kEgSustain);
        }
    }
    ASSERT_GE(inversions.size(), 4u);
    for (size_t i = 0; i < inversions.size(); ++i) EXPECT_EQ(inversions[i], i % 2 == 0 ? 1 : 0);
}

TEST_F(EnvelopeFixture, SsgModeEightAsksForPhaseReset) {
    useVariant(true);
    eg.ssgEg = 8;
    eg.arRate = 62;
    eg.d1rRate = 60;
    eg.sustainLevel10 = egSustainLevel10(15);
    egKey(eg, 1, 0);
    int resets = 0;
    for (int i = 0; i < 400; ++i) {
        step();
        if (phaseReset) ++resets;
    }
    EXPECT_GE(resets, 2);
}

TEST_F(EnvelopeFixture, SsgKeyOffDuringAttackPendingFoldsTotalLevel) {
    struct Case {
        uint8_t totalLevel;
        int32_t level;
    };
    for (const Case& c : {Case{10, 432}, Case{127, 1023}}) {
        eg = FmEnvelope{};
        useVariant(true);
        eg.ssgEg = 12;
        eg.arRate = 62;
        egKey(eg, 1, c.totalLevel);
        step();
        ASSERT_EQ(eg.ssgAttackPending, 1);
        ASSERT_EQ(eg.egLevel, 0);
        egKey(eg, 0, c.totalLevel);
        EXPECT_EQ(eg.egLevel, c.level);
        EXPECT_EQ(eg.ssgKeyOffLatch, 1);
        EXPECT_EQ(eg.egKeyOn, 0);
        EXPECT_EQ(eg.ssgInverted, 0);
    }
}

TEST_F(EnvelopeFixture, KeyOffReleasesAtNextRateStep) {
    eg.egState = kEgDecay;
    eg.egKeyOn = 1;
    eg.egLevel = 200;
    eg.d1rRate = 0;
    eg.rrRate = 62;
    eg.sustainLevel10 = 992;
    egKey(eg, 0, 0);
    EXPECT_EQ(eg.egState, kEgDecay); // unchanged until the rate step
    stepSlot();
    EXPECT_EQ(eg.egState, kEgSustain);
    EXPECT_EQ(eg.egLevel, 208);
}

} // namespace
