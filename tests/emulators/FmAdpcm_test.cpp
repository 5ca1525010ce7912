#include <gtest/gtest.h>

#include <vector>

#include "emulators/FmAdpcm.h"

namespace {

TEST(FmAdpcmMemory, MaskIsNextPowerOfTwoMinusOne) {
    struct Case {
        uint64_t size, mask;
    };
    const Case cases[] = {
        {5, 7}, {0, 0}, {1, 0}, {2, 1}, {1024, 1023}, {1025, 2047}, {1073741824, 1073741823}};
    static const uint8_t byte = 0;
    for (const Case& c : cases) {
        FmAdpcm adpcm;
        ASSERT_TRUE(adpcmSetSampleMemory(adpcm, 0, &byte, c.size));
        for (const FmAdpcmVoice& v : adpcm.a) EXPECT_EQ(v.memory.mask, c.mask) << c.size;
        EXPECT_EQ(adpcm.b.memory.data, nullptr);
    }
}

TEST(FmAdpcmMemory, RefusesOversizeAndUnknownRegions) {
    static const uint8_t byte = 0;
    FmAdpcm adpcm;
    EXPECT_FALSE(adpcmSetSampleMemory(adpcm, 0, &byte, 1073741825));
    EXPECT_FALSE(adpcmSetSampleMemory(adpcm, 2, &byte, 16));
    EXPECT_EQ(adpcm.a[0].memory.data, nullptr);
    EXPECT_TRUE(adpcmSetSampleMemory(adpcm, 1, &byte, 16));
    EXPECT_EQ(adpcm.b.memory.data, &byte);
    EXPECT_EQ(adpcm.a[0].memory.data, nullptr);
}

class AdpcmFixture : public ::testing::Test {
protected:
    FmAdpcm adpcm;
    std::vector<uint8_t> memory = std::vector<uint8_t>(1024, 0);
    int32_t left = 0, right = 0;

    void SetUp() override { adpcmInit(adpcm); }
    void attach() {
        ASSERT_TRUE(adpcmSetSampleMemory(adpcm, 0, memory.data(), memory.size()));
        ASSERT_TRUE(adpcmSetSampleMemory(adpcm, 1, memory.data(), memory.size()));
    }
    void setA(int k, uint16_t start, uint16_t end) {
        adpcmAWrite(adpcm, static_cast<uint8_t>(0x10 + k), start & 0xFF);
        adpcmAWrite(adpcm, static_cast<uint8_t>(0x18 + k), start >> 8);
        adpcmAWrite(adpcm, static_cast<uint8_t>(0x20 + k), end & 0xFF);
        adpcmAWrite(adpcm, static_cast<uint8_t>(0x28 + k), end >> 8);
    }
    void setB(uint16_t start, uint16_t end, uint16_t deltaN) {
        adpcmBWrite(adpcm, 0x12, start & 0xFF);
        adpcmBWrite(adpcm, 0x13, start >> 8);
        adpcmBWrite(adpcm, 0x14, end & 0xFF);
        adpcmBWrite(adpcm, 0x15, end >> 8);
        adpcmBWrite(adpcm, 0x19, deltaN & 0xFF);
        adpcmBWrite(adpcm, 0x1A, deltaN >> 8);
        adpcmBWrite(adpcm, 0x11, 0xC0);
        adpcmBWrite(adpcm, 0x1B, 0xFF);
    }
    void sample() {
        left = right = 0;
        adpcmSample(adpcm, left, right);
    }
};

TEST_F(AdpcmFixture, KeyOnWithoutMemoryIsIgnored) {
    adpcmAWrite(adpcm, 0x00, 0x3F);
    for (const FmAdpcmVoice& v : adpcm.a) EXPECT_EQ(v.playing, 0);
    adpcmBWrite(adpcm, 0x10, 0x80);
    EXPECT_EQ(adpcm.b.playing, 0);
}

TEST_F(AdpcmFixture, AdpcmADecodesNibblesAndAdaptsTheStep) {
    memory[256] = 0x70;
    memory[257] = 0x88;
    attach();
    setA(0, 1, 1);
    adpcmAWrite(adpcm, 0x00, 0x01);
    FmAdpcmVoice& v = adpcm.a[0];
    ASSERT_EQ(v.playing, 1);
    struct Expect {
        int32_t accumulator, step;
    };
    for (const Expect& e : {Expect{30, 9}, Expect{34, 8}, Expect{30, 7}, Expect{27, 6}}) {
        adpcmStep(v);
        EXPECT_EQ(v.accumulator, e.accumulator);
        EXPECT_EQ(v.step, e.step);
    }
}

TEST_F(AdpcmFixture, AdpcmAAccumulatorWrapsAtTwelveBits) {
    FmAdpcmVoice& v = adpcm.a[0];
    v.playing = 1;
    v.accumulator = 2040;
    v.step = 0;
    v.secondNibble = 1;
    v.currentByte = 0x07; // +30
    adpcmStep(v);
    EXPECT_EQ(v.accumulator, 2070 - 4096);
}

TEST_F(AdpcmFixture, AdpcmAStopsBeforeTheLastByteOfEnd) {
    for (size_t i = 0; i < memory.size(); ++i) memory[i] = static_cast<uint8_t>(i);
    attach();
    setA(3, 1, 1);
    adpcmAWrite(adpcm, 0x00, 0x08);
    FmAdpcmVoice& v = adpcm.a[3];
    int steps = 0;
    while (v.playing && steps < 5000) {
        adpcmStep(v);
        ++steps;
    }
    EXPECT_EQ(steps, 2 * 255 + 1); // bytes 256..510, two nibbles each, then the stop
    EXPECT_EQ(v.currentByte, 510 & 0xFF);
}

TEST_F(AdpcmFixture, AdpcmAOutputByAttenuation) {
    struct Case {
        uint8_t totalLevel, instrumentLevel;
        int32_t value;
    };
    const Case cases[] = {
        {63, 31, ((15 * 30) >> 3) * 4}, // attenuation 0
        {63, 22, ((14 * 30) >> 4) * 4}, // attenuation 9
        {0, 31, 0},                     // attenuation 63: silent
        {0, 0, 0},
    };
    for (const Case& c : cases) {
        FmAdpcm a;
        adpcmInit(a);
        adpcmAWrite(a, 0x01, c.totalLevel);
        adpcmAWrite(a, 0x08, static_cast<uint8_t>(0x80 | c.instrumentLevel)); // left only
        a.a[0].playing = 1;
        a.a[0].accumulator = 30;
        int32_t l = 0, r = 0;
        adpcmOutput(a.a[0], l, r);
        EXPECT_EQ(l, c.value) << int(c.totalLevel) << "/" << int(c.instrumentLevel);
        EXPECT_EQ(r, 0);
    }
}

TEST_F(AdpcmFixture, AdpcmAIsEvaluatedEveryThirdSampleOutputFirst) {
    memory[0] = 0x70;
    attach();
    setA(0, 0, 0);
    adpcmAWrite(adpcm, 0x01, 63);
    adpcmAWrite(adpcm, 0x08, 0xC0 | 31);
    adpcmAWrite(adpcm, 0x00, 0x01);
    const int32_t expected[] = {0, 0, 0, 224, 224, 224, 252};
    for (int32_t e : expected) {
        sample();
        EXPECT_EQ(left, e);
        EXPECT_EQ(right, e);
    }
}

// Six voices at full level add up to far more than 16 bits: the held sum
// saturates at the limit of its sign instead of wrapping to the other one.
TEST_F(AdpcmFixture, AdpcmASumSaturates) {
    attach();
    adpcmAWrite(adpcm, 0x01, 63);
    for (int k = 0; k < 6; ++k) {
        setA(k, 0, 0);
        adpcmAWrite(adpcm, static_cast<uint8_t>(0x08 + k), 0xC0 | 31);
    }
    for (int32_t level : {2047, -2048}) {
        adpcmAWrite(adpcm, 0x00, 0x3F);
        for (FmAdpcmVoice& v : adpcm.a) v.accumulator = level;
        adpcm.divider = 0; // evaluate the voices on the next sample
        sample();
        EXPECT_EQ(left, level > 0 ? 32767 : -32768) << level;
        EXPECT_EQ(right, left) << level;
    }
}

TEST_F(AdpcmFixture, AdpcmBDecodesFirstNibble) {
    memory[0] = 0x70;
    attach();
    setB(0, 0, 0xFFFF);
    adpcmBWrite(adpcm, 0x10, 0x80);
    FmAdpcmVoice& v = adpcm.b;
    ASSERT_EQ(v.playing, 1);
    ASSERT_EQ(v.ended, 0);
    adpcmStep(v);
    EXPECT_EQ(v.current, 118);
    EXPECT_EQ(v.delta, 118);
    EXPECT_EQ(v.previous, 0);
    EXPECT_EQ(v.accumulator, 236);
    EXPECT_EQ(v.step, 303);
}

TEST_F(AdpcmFixture, AdpcmBWithZeroRateNeverSteps) {
    memory[0] = 0x77;
    attach();
    setB(0, 0, 0);
    adpcmBWrite(adpcm, 0x10, 0x80);
    for (int i = 0; i < 100; ++i) sample();
    EXPECT_EQ(adpcm.b.accumulator, 0);
    EXPECT_EQ(adpcm.b.address, 0u);
}

TEST_F(AdpcmFixture, AdpcmBEndsAfterByte254OfEndAndHolds) {
    for (size_t i = 0; i < memory.size(); ++i) memory[i] = static_cast<uint8_t>(i * 37);
    attach();
    setB(0, 0, 0xFFFF);
    adpcmBWrite(adpcm, 0x10, 0x80);
    FmAdpcmVoice& v = adpcm.b;
    int guard = 0;
    while (!v.restartPending && ++guard < 5000) sample();
    EXPECT_EQ(v.address, 255u); // the last byte read was 254
    sample();
    EXPECT_EQ(v.ended, 1);
    EXPECT_EQ(v.playing, 1);
    const int32_t held = left;
    EXPECT_EQ(held, v.heldOutput * 4);
    for (int i = 0; i < 10; ++i) {
        sample();
        EXPECT_EQ(left, held);
    }
}

TEST_F(AdpcmFixture, AdpcmBRepeatRestartsFromStart) {
    for (size_t i = 0; i < memory.size(); ++i) memory[i] = static_cast<uint8_t>(i * 37);
    attach();
    setB(0, 0, 0xFFFF);
    adpcmBWrite(adpcm, 0x10, 0x90); // start with repeat
    FmAdpcmVoice& v = adpcm.b;
    int guard = 0;
    while (!v.restartPending && ++guard < 5000) sample();
    sample();
    EXPECT_EQ(v.ended, 0);
    EXPECT_LE(v.address, 1u);
}

TEST_F(AdpcmFixture, AdpcmBOutputInterpolatesAndDropsPlusMinusOne) {
    struct Case {
        int32_t delta, previous;
        uint8_t volume;
        int32_t value;
    };
    const Case cases[] = {
        {1000, 200, 128, 43 * 4},
        {-1000, -200, 128, -44 * 4}, // arithmetic shifts round toward minus infinity
        {1000, 200, 3, 0},           // 1 becomes 0
        {-1000, -200, 3, -2 * 4},    // -2 stays
    };
    for (const Case& c : cases) {
        FmAdpcmVoice v;
        v.playing = 1;
        v.panBits = 3;
        v.ratePhase = 0x8000;
        v.delta = c.delta;
        v.previous = c.previous;
        v.volume = c.volume;
        int32_t l = 0, r = 0;
        adpcmOutput(v, l, r);
        EXPECT_EQ(l, c.value) << c.delta << " " << int(c.volume);
        EXPECT_EQ(l, r);
    }
}

TEST_F(AdpcmFixture, AdpcmBHoldsOutputForTwoCallsAfterStart) {
    attach();
    setB(0, 0, 0x100);
    FmAdpcmVoice& v = adpcm.b;
    v.heldOutput = 50;
    adpcmBWrite(adpcm, 0x10, 0x80);
    EXPECT_EQ(v.holdCount, 2);
    int32_t l = 0, r = 0;
    adpcmOutput(v, l, r);
    EXPECT_EQ(l, 200);
    adpcmOutput(v, l, r);
    EXPECT_EQ(l, 400);
    EXPECT_EQ(v.holdCount, 0);
}

TEST_F(AdpcmFixture, StopWriteAndResetSilenceTheVoices) {
    memory[0] = 0x77;
    attach();
    setB(0, 3, 0x100);
    adpcmBWrite(adpcm, 0x10, 0x80);
    for (int i = 0; i < 10; ++i) sample();
    adpcmBWrite(adpcm, 0x10, 0x00);
    EXPECT_EQ(adpcm.b.playing, 0);
    EXPECT_EQ(adpcm.b.ended, 1);
    EXPECT_EQ(adpcm.b.stoppedByWrite, 1);
    sample();
    EXPECT_EQ(left, 0);
    adpcmBWrite(adpcm, 0x10, 0x01); // reset flag clears the write stop
    EXPECT_EQ(adpcm.b.stoppedByWrite, 0);

    setA(2, 0, 3);
    adpcmAWrite(adpcm, 0x00, 0x04);
    adpcmBWrite(adpcm, 0x10, 0x80);
    ASSERT_EQ(adpcm.a[2].playing, 1);
    adpcmReset(adpcm);
    EXPECT_EQ(adpcm.a[2].playing, 0);
    EXPECT_EQ(adpcm.b.playing, 0);
    EXPECT_EQ(adpcm.a[2].end, 3);
    EXPECT_EQ(adpcm.a[2].memory.data, memory.data());
    adpcmAWrite(adpcm, 0x00, 0x04);
    ASSERT_EQ(adpcm.a[2].playing, 1);
    adpcmAWrite(adpcm, 0x00, 0x84); // dump bit stops
    EXPECT_EQ(adpcm.a[2].playing, 0);
}

} // namespace
