#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "emulators/FmEnvelope.h"
#include "emulators/FmPhase.h"
#include "emulators/FmRegisters.h"
#include "emulators/FmTables.h"

namespace {

class ChipFixture : public ::testing::Test {
protected:
    FmChipState chip;

    void build(uint32_t variant) {
        fmInitChip(chip, variant);
        fmResetChip(chip);
    }
    void SetUp() override { build(kFmYM2612); }
    void w(uint8_t address, uint8_t data, uint64_t port = 0) { fmWrite(chip, address, data, port); }
    FmOperator& op(int record, int slot) { return chip.channels[record].operators[slot]; }

    // One output sample of the register model: timer A and CSM, every used
    // operator's envelope and phase, then the EG counter and LFO ticks.
    void sample() {
        fmTimerStep(chip);
        const FmChannelRecords& used = fmChannelRecords(chip.shared.variant);
        for (int i = 0; i < used.count; ++i) {
            for (FmOperator& o : chip.channels[used.records[i]].operators) {
                bool reset = false;
                egStep(o.eg, chip.shared.egCounter, reset);
                pgStep(o, reset);
            }
        }
        fmEndSample(chip);
    }
    bool channelsEqual(const FmChannel* before) {
        return std::memcmp(before, chip.channels, sizeof chip.channels) == 0;
    }
};

TEST_F(ChipFixture, OperatorRegistersReachTheirRecord) {
    w(0x30, 0x71);
    EXPECT_EQ(op(0, kOpS1).detune, 7);
    EXPECT_EQ(op(0, kOpS1).multiple, 1);
    w(0x45, 0xFF, 1); // port 1, group 1, S3
    EXPECT_EQ(op(4, kOpS3).totalLevel, 0x7F);
    w(0x5A, 0xDF); // group 2, S2
    EXPECT_EQ(op(2, kOpS2).keyScale, 3);
    EXPECT_EQ(op(2, kOpS2).attackRate, 31);
    EXPECT_EQ(op(2, kOpS2).eg.arRate, 62);
    w(0x6E, 0x9F, 1);
    EXPECT_EQ(op(5, kOpS4).amOn, 1);
    EXPECT_EQ(op(5, kOpS4).decayRate, 31);
    EXPECT_EQ(op(5, kOpS4).eg.d1rRate, 62);
    w(0x71, 0x1F);
    EXPECT_EQ(op(1, kOpS1).sustainRate, 31);
    EXPECT_EQ(op(1, kOpS1).eg.d2rRate, 62);
    w(0x84, 0xF3);
    EXPECT_EQ(op(0, kOpS3).sustainLevel, 15);
    EXPECT_EQ(op(0, kOpS3).releaseRate, 3);
    EXPECT_EQ(op(0, kOpS3).eg.sustainLevel10, 992);
    EXPECT_EQ(op(0, kOpS3).eg.rrRate, 14);
    w(0x9C, 0x0B);
    EXPECT_EQ(op(0, kOpS4).eg.ssgEg, 11);
    w(0xB2, 0x3D, 1);
    EXPECT_EQ(chip.channels[5].feedback, 7);
    EXPECT_EQ(chip.channels[5].algorithm, 5);
}

TEST_F(ChipFixture, GroupThreeAddressesAreIgnored) {
    FmChannel before[6];
    std::memcpy(before, chip.channels, sizeof before);
    for (int port = 0; port < 2; ++port)
        for (int a = 0x33; a <= 0xB7; a += 4) w(static_cast<uint8_t>(a), 0xFF, port);
    EXPECT_TRUE(channelsEqual(before));
}

TEST_F(ChipFixture, FrequencyLatchIsSharedByAllChannels) {
    w(0xA4, 0x22); // written as channel 1's high byte
    w(0xA1, 0x34); // channel 2's low byte takes it
    EXPECT_EQ(chip.channels[1].fnum[3], 0x234);
    EXPECT_EQ(chip.channels[1].block[3], 4);
    EXPECT_EQ(chip.channels[0].fnum[3], 0);
    w(0xA2, 0x56, 1); // the latch is shared by both ports too
    EXPECT_EQ(chip.channels[5].fnum[3], 0x256);
    EXPECT_EQ(chip.channels[5].block[3], 4);
    w(0xA5, 0x07); // a latch write alone changes nothing
    EXPECT_EQ(chip.channels[1].fnum[3], 0x234);
}

TEST_F(ChipFixture, SpecialFrequenciesAlwaysGoToChannelThree) {
    struct Case {
        uint8_t address;
        int entry;
    };
    for (const Case& c : {Case{0xA9, 0}, Case{0xA8, 1}, Case{0xAA, 2}}) {
        w(0xAC, 0x1B, 1);
        w(c.address, 0x45, 1);
        EXPECT_EQ(chip.channels[2].fnum[c.entry], 0x345) << int(c.address);
        EXPECT_EQ(chip.channels[2].block[c.entry], 3);
        EXPECT_EQ(chip.channels[5].fnum[c.entry], 0);
    }
    EXPECT_EQ(chip.channels[2].fnum[3], 0);
}

TEST_F(ChipFixture, KeyOnBitsKeyOperatorsInRegisterOrder) {
    struct Case {
        uint8_t data;
        int record;
        uint8_t s1, s3, s2, s4;
    };
    const Case cases[] = {
        {0x10, 0, 1, 0, 0, 0}, {0x21, 1, 0, 0, 1, 0}, {0x42, 2, 0, 1, 0, 0},
        {0x84, 3, 0, 0, 0, 1}, {0xF6, 5, 1, 1, 1, 1}, {0x05, 4, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        w(0x28, c.data);
        FmChannel& ch = chip.channels[c.record];
        EXPECT_EQ(ch.operators[kOpS1].regKeyOn, c.s1) << int(c.data);
        EXPECT_EQ(ch.operators[kOpS3].regKeyOn, c.s3) << int(c.data);
        EXPECT_EQ(ch.operators[kOpS2].regKeyOn, c.s2) << int(c.data);
        EXPECT_EQ(ch.operators[kOpS4].regKeyOn, c.s4) << int(c.data);
        EXPECT_EQ(ch.operators[kOpS1].eg.egKeyOn, c.s1);
        EXPECT_EQ(ch.operators[kOpS1].pgKeyOn, c.s1);
    }
}

TEST_F(ChipFixture, KeyOnCodesWithoutChannelAreIgnored) {
    FmChannel before[6];
    std::memcpy(before, chip.channels, sizeof before);
    w(0x28, 0xF3);
    w(0x28, 0xF7);
    w(0x28, 0xF0, 1); // 0x28 exists on port 0 only
    EXPECT_TRUE(channelsEqual(before));

    build(kFmYM2203);
    std::memcpy(before, chip.channels, sizeof before);
    for (uint8_t d : {0xF4, 0xF5, 0xF6}) w(0x28, d);
    EXPECT_TRUE(channelsEqual(before));
    w(0x28, 0xF2);
    EXPECT_EQ(op(2, kOpS4).regKeyOn, 1);
}

TEST_F(ChipFixture, TimerAReloadAndModeRegister) {
    w(0x24, 0xAB);
    EXPECT_EQ(chip.shared.timerAReload, 0xAB * 4);
    w(0x25, 0x03);
    EXPECT_EQ(chip.shared.timerAReload, 0xAB * 4 + 3);
    w(0x24, 0x01);
    EXPECT_EQ(chip.shared.timerAReload, 4 + 3);

    w(0x27, 0x01);
    EXPECT_EQ(chip.shared.timerARunning, 1);
    EXPECT_EQ(chip.shared.timerAOverflow, 1); // loading counts as an overflow
    chip.shared.timerAOverflow = 0;
    w(0x27, 0x01); // bit 0 already set: no second load
    EXPECT_EQ(chip.shared.timerAOverflow, 0);

    struct Case {
        uint8_t data, special, csm;
    };
    for (const Case& c : {Case{0x40, 1, 0}, Case{0x80, 1, 1}, Case{0xC0, 1, 0}, Case{0x00, 0, 0}}) {
        w(0x27, c.data);
        EXPECT_EQ(chip.channels[2].specialMode, c.special) << int(c.data);
        EXPECT_EQ(chip.shared.csmMode, c.csm) << int(c.data);
    }
}

TEST_F(ChipFixture, TimerACountsUpAndReloadsOnOverflow) {
    w(0x24, 1000 >> 2);
    w(0x25, 0);
    w(0x27, 0x01);
    sample(); // the load: counter takes the reload value
    EXPECT_EQ(chip.shared.timerACounter, 1000);
    for (int i = 0; i < 23; ++i) sample();
    EXPECT_EQ(chip.shared.timerACounter, 1023);
    sample();
    EXPECT_EQ(chip.shared.timerACounter, 1000);
}

// CSM: S1 of channel 3 is keyed on the overflow sample, S3, S2 and S4 one
// sample later, and all four return to their register keys after two.
TEST_F(ChipFixture, CsmKeySequenceOnTimerOverflow) {
    w(0x24, 1000 >> 2);
    w(0x25, 0);
    w(0x28, 0x22); // S2 of channel 3 keyed by register
    w(0x27, 0x81); // CSM mode, timer A running
    auto keys = [&] {
        FmChannel& ch = chip.channels[2];
        return std::array<int, 4>{ch.operators[kOpS1].eg.egKeyOn, ch.operators[kOpS3].eg.egKeyOn,
                                  ch.operators[kOpS2].eg.egKeyOn, ch.operators[kOpS4].eg.egKeyOn};
    };
    using K = std::array<int, 4>;
    for (int round = 0; round < 2; ++round) {
        if (round == 1)
            for (int i = 0; i < 21; ++i) sample(); // counter 1003 -> 1023
        sample();
        EXPECT_EQ(keys(), (K{1, 0, 1, 0})) << round;
        sample();
        EXPECT_EQ(keys(), (K{0, 1, 1, 1})) << round;
        sample();
        EXPECT_EQ(keys(), (K{0, 0, 1, 0})) << round;
        EXPECT_EQ(chip.channels[2].operators[kOpS2].csmKeyOn, 0);
    }
}

TEST_F(ChipFixture, DacRegistersOnlyOnYm2612) {
    w(0x2A, 0x55);
    w(0x2B, 0x80);
    EXPECT_EQ(chip.dacData, 0x55);
    EXPECT_EQ(chip.dacEnabled, 1);
    w(0x2B, 0x7F);
    EXPECT_EQ(chip.dacEnabled, 0);
    build(kFmYM2608);
    w(0x2A, 0x55);
    w(0x2B, 0x80);
    EXPECT_EQ(chip.dacData, 0);
    EXPECT_EQ(chip.dacEnabled, 0);
}

TEST_F(ChipFixture, LfoRegister) {
    w(0x22, 0x0D);
    EXPECT_EQ(chip.shared.lfoOn, 1);
    EXPECT_EQ(chip.shared.lfoRate, 5);
    build(kFmYM2203);
    w(0x22, 0x0D);
    EXPECT_EQ(chip.shared.lfoOn, 0);
}

TEST_F(ChipFixture, PanRegisterAndMutes) {
    w(0xB5, 0xB7); // left only, ams 3, pms 7
    FmChannel& ch = chip.channels[1];
    EXPECT_EQ(ch.panBits, 2);
    EXPECT_EQ(ch.pan, 2);
    EXPECT_EQ(ch.ams, 3);
    EXPECT_EQ(ch.pms, 7);
    fmSetChannelMute(chip, 1, 1.0f);
    EXPECT_EQ(ch.pan, 0);
    w(0xB5, 0x40); // pan bits still follow the register while muted
    EXPECT_EQ(ch.panBits, 1);
    EXPECT_EQ(ch.pan, 0);
    fmSetChannelMute(chip, 1, 0.0f);
    EXPECT_EQ(ch.pan, 1);
    fmSetChannelMute(chip, 6, 1.0f); // no such channel
    for (const FmChannel& c : chip.channels) EXPECT_EQ(c.muted, 0);
}

TEST_F(ChipFixture, ResetKeepsPanBitsExceptOnYm2612) {
    build(kFmYM2608);
    w(0xB4, 0x80);
    w(0x28, 0xF0);
    w(0x24, 0x10);
    fmResetChip(chip);
    EXPECT_EQ(chip.channels[0].panBits, 2);
    EXPECT_EQ(chip.channels[0].pan, 2);
    EXPECT_EQ(op(0, kOpS1).regKeyOn, 0);
    EXPECT_EQ(op(0, kOpS1).eg.egKeyOn, 0);
    EXPECT_EQ(op(0, kOpS1).eg.egLevel, 1023);
    EXPECT_EQ(chip.shared.timerAReload, 0);
    EXPECT_EQ(chip.shared.egCounter, 4);

    build(kFmYM2612);
    w(0xB4, 0x80);
    fmSetChannelMute(chip, 3, 1.0f);
    fmResetChip(chip);
    for (int c = 0; c < 6; ++c) {
        EXPECT_EQ(chip.channels[c].panBits, 3);
        EXPECT_EQ(chip.channels[c].pan, c == 3 ? 0 : 3);
        EXPECT_EQ(chip.channels[c].operators[kOpS1].eg.rrRate, 2); // frequencies recomputed
    }
}

TEST_F(ChipFixture, Ym2610UsesFourRecordsEverywhere) {
    build(kFmYM2610);
    EXPECT_EQ(chip.channelCount, 4);
    w(0x28, 0xF1);
    EXPECT_EQ(op(1, kOpS1).regKeyOn, 1);
    w(0x28, 0xF6);
    EXPECT_EQ(op(5, kOpS4).regKeyOn, 1);
    w(0x31, 0x05); // port 0 group 1
    EXPECT_EQ(op(1, kOpS1).multiple, 5);
    w(0x3A, 0x06, 1); // port 1 group 2
    EXPECT_EQ(op(5, kOpS2).multiple, 6);
    w(0xB5, 0x80); // pans belong to the same records that are keyed
    w(0xB6, 0x40, 1);
    EXPECT_EQ(chip.channels[1].pan, 2);
    EXPECT_EQ(chip.channels[5].pan, 1);
    fmSetChannelMute(chip, 0, 1.0f);
    EXPECT_EQ(chip.channels[1].muted, 1);
    fmSetChannelMute(chip, 3, 1.0f);
    EXPECT_EQ(chip.channels[5].muted, 1);
    // Records 0 and 3 are never touched.
    FmChannel before[6];
    std::memcpy(before, chip.channels, sizeof before);
    for (int a = 0x30; a < 0xB8; a += 4) {
        w(static_cast<uint8_t>(a), 0xFF, 0);
        w(static_cast<uint8_t>(a), 0xFF, 1);
    }
    w(0x28, 0xF0);
    w(0x28, 0xF4);
    EXPECT_EQ(std::memcmp(&before[0], &chip.channels[0], sizeof(FmChannel)), 0);
    EXPECT_EQ(std::memcmp(&before[3], &chip.channels[3], sizeof(FmChannel)), 0);
}

TEST_F(ChipFixture, Ym2203IgnoresPortOneAndPanRegister) {
    build(kFmYM2203);
    FmChannel before[6];
    std::memcpy(before, chip.channels, sizeof before);
    for (int a = 0; a < 256; ++a) w(static_cast<uint8_t>(a), 0xFF, 1);
    w(0xB4, 0xC0);
    EXPECT_TRUE(channelsEqual(before));
}

TEST_F(ChipFixture, UnknownVariantIgnoresEveryWrite) {
    build(9);
    EXPECT_EQ(chip.channelCount, 0);
    FmChannel before[6];
    std::memcpy(before, chip.channels, sizeof before);
    for (int port = 0; port < 2; ++port)
        for (int a = 0; a < 256; ++a) w(static_cast<uint8_t>(a), 0xFF, port);
    EXPECT_TRUE(channelsEqual(before));
    EXPECT_EQ(chip.shared.timerAReload, 0);
}

// A YM2612 channel programmed through its registers, stepped sample by
// sample: envelope through key-on delay, attack, decay, sustain and release,
// phase accumulation, and LFO pitch modulation reaching S1 one sample before
// the other operators.
TEST_F(ChipFixture, Ym2612ChannelStepsSampleBySample) {
    w(0x30, 0x01); // S1: multiple 1
    w(0x40, 0x00);
    w(0x50, 0x1F); // AR 31
    w(0x60, 0x1F); // DR 31
    w(0x70, 0x00); // SR 0
    w(0x80, 0x1F); // SL 1 (32), RR 15
    w(0xA4, 0x22);
    w(0xA0, 0x69); // fnum 0x269, block 4: key code 16
    FmOperator& s1 = op(0, kOpS1);
    EXPECT_EQ(s1.keyCode, 16);
    EXPECT_EQ(s1.eg.arRate, 62);
    EXPECT_EQ(s1.phaseInc, 9872u);
    w(0x28, 0x10);

    struct Step {
        int sample;
        int32_t state;
        int32_t level;
    };
    const Step steps[] = {
        {1, kEgKeyOnDelay, 0}, {2, kEgAttack, 0},    {3, kEgAttack, 0},
        {4, kEgDecay, 8},      {7, kEgDecay, 16},    {10, kEgDecay, 24},
        {13, kEgDecay, 32},    {16, kEgSustain, 32}, {100, kEgSustain, 32},
    };
    int n = 0;
    for (const Step& s : steps) {
        while (n < s.sample) {
            sample();
            ++n;
        }
        EXPECT_EQ(s1.eg.egState, s.state) << "sample " << s.sample;
        EXPECT_EQ(s1.eg.egLevel, s.level) << "sample " << s.sample;
    }
    EXPECT_EQ(s1.phase, (100u * 9872u) & 0x1FFFFFu);

    w(0x28, 0x00); // release at rate 62: +8 per step of S1's slot
    int samples = 0;
    while (s1.eg.egLevel < 1023 && samples < 1000) {
        sample();
        ++samples;
    }
    EXPECT_EQ(s1.eg.egState, kEgSustain);
    EXPECT_GE(samples, 3 * 123);
    EXPECT_LE(samples, 3 * 124);

    // LFO rate 7 (5 samples per step), pms 7: step 8 gives pm +19 for fnum 0x269.
    fmResetChip(chip);
    w(0x30, 0x01);
    w(0x34, 0x01);
    w(0xA4, 0x22);
    w(0xA0, 0x69);
    w(0xB4, 0xC7);
    w(0x22, 0x0F);
    for (int i = 0; i < 39; ++i) sample();
    EXPECT_EQ(chip.shared.lfoStep, 7);
    EXPECT_EQ(op(0, kOpS1).phaseInc, 9872u);
    sample();
    EXPECT_EQ(chip.shared.lfoStep, 8);
    EXPECT_EQ(op(0, kOpS1).phaseInc, 10024u);
    EXPECT_EQ(op(0, kOpS3).phaseInc, 9872u);
    sample();
    EXPECT_EQ(op(0, kOpS3).phaseInc, 10024u);
}

} // namespace
